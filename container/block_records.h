// The two record loops of the block container writer, one worker and several,
// and the steps they share: filling a block from the source and writing one
// block's record. Only block_container_writer.cpp and its loops use this.
#pragma once

#include <cstdint>
#include <cstdio>

#include "encoder/fold_encoder.h"

namespace romfold {

inline constexpr std::uint32_t container_block_size = 65536;

// How a record loop ended: status 0 (fold_ok), or a failure code with the
// message to print (null for a silent failure).
struct RecordStatus {
    int status;
    const char* message;
};

inline constexpr RecordStatus records_written{0, nullptr};

// The files and counters one record loop works on.
struct RecordStreams {
    std::FILE* source;
    std::FILE* destination;
    std::uint32_t total;     // the source's size, measured when it was opened
    std::uint32_t* written;  // output bytes so far; each record adds its size
};

// Reads the next block, of at most `want` bytes, into `block` and sets *got
// to its size. A read that delivers less without the source having ended is
// retried, so that only the end of the source makes a short block. Returns a
// failure when the stream reports an error.
RecordStatus fill_block(std::FILE* source, std::uint8_t* block, std::uint32_t want, std::uint32_t* got);

// Writes the record of one block: `input` holds its n bytes, `output` the c
// bytes FoldEncode returned for it (c >= n: stored). c == 0 is the encoder's
// failure and writes nothing.
RecordStatus write_record(const RecordStreams& streams, const std::uint8_t* input, std::uint32_t n,
                          const std::uint8_t* output, std::int32_t c, bool last);

// Reads, compresses and writes every block in turn on this thread, with
// `block` and `compressed` as its two 64 KB buffers.
RecordStatus write_records_serial(const RecordStreams& streams, EncoderHandle* handle, std::uint8_t* block,
                                  std::uint8_t* compressed);

// The blocks a parallel loop keeps in flight per worker, and the memory one
// block in flight takes: its input and its compressed form.
inline constexpr unsigned blocks_in_flight_per_worker = 2;
inline constexpr std::uint32_t block_in_flight_size = 2 * container_block_size;

// The same records, compressed by `workers` threads with one handle each
// (handles[0] to handles[workers - 1]), while this thread reads the blocks
// and writes the records in order; `memory` holds `in_flight` blocks of
// block_in_flight_size. What it leaves is exactly what the serial loop
// leaves, failures included: a failure at block k is reported after the
// records before k are written, and no record after k is written.
RecordStatus write_records_parallel(const RecordStreams& streams, EncoderHandle* const* handles, unsigned workers,
                                    std::uint8_t* memory, unsigned in_flight);

}  // namespace romfold
