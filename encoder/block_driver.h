// The block driver: argument rules, table preparation, output budget and
// slices, literal tail, closing flag word and result of one compression call.
#pragma once

#include <cstdint>

#include "encoder/block_state.h"
#include "encoder/encoder_handle.h"
#include "encoder/fold_encoder.h"
#include "encoder/match_finders.h"

namespace romfold::encoder {

// Encodes one block at `level` (clamped to 0..level_limit). Returns 0 for a bad
// handle, the input length when the arguments are refused or the encoding is
// not smaller than the capacity, and otherwise the size written, which is a
// complete block only when *consumed (if given) equals in_len.
std::int32_t encode_block(EncoderHandle* handle, void* out, std::int32_t capacity, const void* in, std::int32_t in_len,
                          std::int32_t* consumed, ProgressCallback progress, void* progress_context, std::int32_t step,
                          std::int32_t level);

// Input bytes that the output room left after state.out_pos is sure to hold:
// 7/8 of (capacity - bytes written - 8), rounded down. 16 or less ends the block.
std::int32_t slice_budget(const BlockState& state, std::int32_t capacity);

// Runs `finder` over the driver's slice [in_pos, slice_end), cut into pieces of
// `step` input bytes when a progress callback is given.
void encode_slice(std::uint8_t* work, MatchFinder finder, std::int32_t step, ProgressCallback progress,
                  void* progress_context);

}  // namespace romfold::encoder
