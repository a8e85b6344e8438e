// Opening and measuring an input file of romfold-check, and positioned reads
// that report a fault instead of failing silently. The one place of 64-bit
// file positions.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace romfold::check {

// Owns one file opened for binary reading; closes it on destruction.
class InputFile {
public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    // Opens path and measures it; false (errno set) when it cannot.
    bool open(const std::string& path);

    std::FILE* get() const { return file_; }
    std::uint64_t size() const { return size_; }

private:
    std::FILE* file_ = nullptr;
    std::uint64_t size_ = 0;
};

// Moves the stream of file to the absolute offset. On failure puts what went
// wrong into message.
bool seek_to(std::FILE* file, std::uint64_t offset, std::string& message);

// Reads exactly size bytes at the stream's position into dst; offset is the
// position, used only for the message. A short read is a fault: the callers
// have already checked that the bytes lie inside the file, so it means that
// the file changed or could not be read.
bool read_exactly(std::FILE* file, std::uint8_t* dst, size_t size, std::uint64_t offset, std::string& message);

}  // namespace romfold::check
