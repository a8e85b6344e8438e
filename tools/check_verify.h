// Verification of a packed image or a bare block container, streamed: the
// file is read front to back once, one block (two per worker when several
// decode) and one splash row at a time, and what has been checked is handed
// to the observers as it comes, in file order, so that listing, comparing
// and extracting never need the whole image in memory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/check_messages.h"
#include "tools/input_file.h"

namespace romfold::check {

// Exit statuses of romfold-check.
constexpr int status_valid = 0;
constexpr int status_invalid = 1;  // bad data, or a mismatch with the compare image
constexpr int status_error = 2;    // usage or I/O error

// The first thing found wrong.
struct CheckError {
    int status = status_invalid;
    std::string file;                     // the file it concerns
    std::optional<std::uint64_t> offset;  // where in that file, when it is about a place
    std::string message;
};

// "romfold-check: FILE: offset N: message\n", or without the offset part.
std::string format_error(const CheckError& error);

enum class FileKind { packed_image, container };

// One decoded block, as the observers get it. bytes is valid only during the
// call.
struct ContainerBlock {
    std::uint32_t index;          // record number, from 0
    std::uint64_t record_offset;  // file offset of the record's block word
    std::uint64_t image_offset;   // offset of the block's first byte in the image
    bool stored;                  // the record holds the bytes unchanged
    std::uint32_t data_size;      // data bytes in the record, padding excluded
    const std::uint8_t* bytes;    // the block's uncompressed bytes
    std::uint32_t size;           // their number
};

struct CheckSummary {
    FileKind kind = FileKind::packed_image;
    std::uint64_t file_size = 0;
    std::uint64_t stream_size = 0;  // the container's bytes
    std::uint32_t image_size = 0;   // the container's total uncompressed size
    std::uint32_t blocks = 0;
    std::uint32_t compressed_blocks = 0;
    std::uint32_t stored_blocks = 0;
    bool has_splash = false;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t splash_size = 0;  // the splash block size field
};

// Receives the checked content in file order. Each call may stop the check
// by filling error and returning false.
class CheckObserver {
public:
    virtual ~CheckObserver() = default;
    // The headers are checked: kind, sizes and splash dimensions are known.
    virtual bool begin(const CheckSummary& summary, CheckError& error);
    // One block, checked and decoded.
    virtual bool block(const ContainerBlock& block, CheckError& error);
    // One row of splash pixels (2*W bytes), bottom row first as stored.
    virtual bool splash_row(const std::uint8_t* row, std::uint32_t size, CheckError& error);
    // The whole file has been checked and found valid.
    virtual bool end(const CheckSummary& summary, CheckError& error);
};

// Checks the file at path, telling a packed image from a container by its
// magic. Returns true when it is valid and no observer objected; otherwise
// error says what was found first. Up to `workers` threads decode the blocks
// (at most one per block; with one, this thread decodes them); their number
// changes nothing but the time: the observers get the same calls, on this
// thread and in file order, and the same first fault is reported.
bool check_file(const std::string& path, const std::vector<CheckObserver*>& observers, CheckSummary& summary,
                CheckError& error, unsigned workers = 1);

// Opens path for reading after making sure that it names a regular file;
// fills error (status_error) when it cannot.
bool open_regular_file(const std::string& path, InputFile& file, CheckError& error);

}  // namespace romfold::check
