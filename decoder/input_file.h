// Opening and measuring an input file for the readers, and positioned reads
// that report a fault instead of failing silently.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "decoder/decode_failure.h"

namespace romfold {

// Owns one file opened for binary reading; closes it on destruction.
class InputFile {
public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    // Opens path and measures it. On failure fills failure (offset 0).
    bool open(const std::string& path, DecodeFailure& failure);

    std::FILE* get() const { return file_; }
    std::uint64_t size() const { return size_; }

private:
    std::FILE* file_ = nullptr;
    std::uint64_t size_ = 0;
};

// Moves the stream of file to the absolute offset. On failure fills failure.
bool seek_to(std::FILE* file, std::uint64_t offset, DecodeFailure& failure);

// Reads exactly size bytes at the stream's position into dst; offset is the
// position, used only for the failure report. A short read is a fault: the
// callers have already checked that the bytes lie inside the file, so it means
// that the file changed or could not be read.
bool read_exactly(std::FILE* file, std::uint8_t* dst, size_t size, std::uint64_t offset, DecodeFailure& failure);

// Little-endian fields of the file formats.
inline std::uint32_t get_le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

}  // namespace romfold
