// Compresses one whole file into a block container:
//
//     "XPRS"  total uncompressed size  record...
//
// with one record per 64 KB block of the source, in order. A record is a
// block word (bits 0-29 the data size, bit 30 last block, bit 31 stored), for
// the last block its uncompressed size, then the data: the compressed block
// padded with zeros to a multiple of 4, or the block's bytes unchanged when
// compression does not make it smaller. All integers are 32-bit little-endian.
#pragma once

#include <cstdint>

namespace romfold {

enum FoldEncodeFileStatus : int {
    fold_ok = 0,
    fold_bad_arguments_or_source = 1,  // null path, or the source cannot be opened
    fold_destination_failed = 2,
    fold_read_failed = 3,
    fold_write_failed = 4,
    fold_encode_failed = 7,
    fold_create_failed = 20,
};

// Compresses `source` into `destination` at level 9 and prints the input
// size, output size and gain. Returns 0 or one of the codes above, having
// printed its message first. A partial destination is left on disk.
//
// `workers` threads compress the blocks (at most one per block; 1 compresses
// on the calling thread). Their number changes nothing but the time: the
// destination, the messages and the status are those of one worker, after a
// failure too.
int FoldEncodeFile(const char* source, const char* destination, unsigned workers = 1);

// "\nInput file size : ...", "Output file size: ..." and the gain line.
void print_statistics(std::uint32_t input_size, std::uint32_t output_size);

}  // namespace romfold
