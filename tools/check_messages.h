// The words of romfold-check for what the decoder library finds wrong: one
// English line per fault kind, with the values the fault and the headers
// give, without a line end.
#pragma once

#include <romfold/fold_decoder.h>

#include <cstdint>
#include <string>

namespace romfold::check {

// "1 byte", "N bytes": counts in messages.
std::string byte_count(std::uint64_t count);

// A fault of the 16-byte header or the splash header of a packed image of
// file_size bytes; info as FoldReadImageHeader and FoldReadSplashHeader
// left it.
std::string describe_image_fault(const FoldFault& fault, const FoldImageInfo& info, std::uint64_t file_size);

// A fault of a block container walked on its own (offsets relative to its
// start); info as the walker left it.
std::string describe_container_fault(const FoldFault& fault, const FoldImageInfo& info);

// A fault of one compressed block, as FoldDecodeBlock reports it.
const char* describe_block_fault(FoldError error);

}  // namespace romfold::check
