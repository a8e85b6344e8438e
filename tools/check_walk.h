// The container part of a check, between check_file (which has checked the
// headers and opened the file) and the two walks over the records: the
// serial one, which decodes each block as the walker reaches it, and the
// parallel one (check_parallel.cpp), which walks the records and leaves the
// blocks to workers. Both read the same pieces, tell the observers the same
// things in the same order and stop at the same first fault.
#pragma once

#include <romfold/fold_decoder.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/check_verify.h"

namespace romfold::check {

// The container is read in pieces of this size; a record that spans pieces is
// gathered in the walker's work memory.
constexpr size_t piece_size = 16384;

class ContainerCheck {
public:
    ContainerCheck(const std::string& path, InputFile& file, std::uint64_t stream_at,
                   const std::vector<CheckObserver*>& observers, CheckSummary& summary, CheckError& error);

    // Moves to the container and, when it is long enough to hold a header,
    // reads its first piece (the walker would ask for it first), so that
    // announced_blocks can tell the records before the walk begins. Returns
    // false (error filled) on an I/O error.
    bool start(const std::uint8_t** next, size_t* left);

    // The records the container's header announces; 0 when it is too short
    // to say.
    std::uint32_t announced_blocks() const;

    // Reads the next piece of the container into the piece buffer. The
    // walker checks every part against the container's length before it asks
    // for its bytes, so a short read is an I/O error: error is filled.
    bool read_piece(const std::uint8_t** next, size_t* left);

    // The walker's events: the header checked (the observers begin), one
    // block decoded (bytes: its decoded bytes), a fault of the container
    // (error is filled). Each returns false when the check stops there.
    bool header(const FoldWalker& walker);
    bool block(const FoldBlock& block, const std::uint8_t* bytes);
    bool fault(const FoldFault& fault, const FoldImageInfo& info);

    std::uint64_t stream_size() const { return summary_.stream_size; }
    CheckError& error() { return error_; }

private:
    const std::string& path_;
    InputFile& file_;
    std::uint64_t stream_at_;
    const std::vector<CheckObserver*>& observers_;
    CheckSummary& summary_;
    CheckError& error_;
    std::unique_ptr<std::uint8_t[]> piece_;
    std::uint64_t read_ = 0;  // container bytes read so far
};

// Walks the container on this thread, decoding each block as it comes;
// next and left hold what start read.
bool walk_serial(ContainerCheck& check, const std::uint8_t* next, size_t left);

// Walks the records on this thread while `workers` workers decode the
// blocks (this thread, whenever it would wait, and workers - 1 others), at
// most two blocks in flight per worker; the observers get the blocks in
// order on this thread, and the first fault in file order is the one
// reported, exactly as walk_serial reports it.
bool walk_parallel(ContainerCheck& check, const std::uint8_t* next, size_t left, unsigned workers);

}  // namespace romfold::check
