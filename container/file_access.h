// Opening the tool's files. Each routine prints one line of its own when it
// fails and returns a status; the caller then prints a message naming the file.
#pragma once

#include <cstdint>
#include <cstdio>

namespace romfold {

enum OpenStatus : int {
    open_ok = 0,
    open_bad_arguments = 1,
    open_failed = 2,
    open_seek_failed = 3,
    open_position_failed = 4,
    open_too_large = 5,  // 4 GB or more
};

// Opens `path` for binary reading, measures it and leaves it positioned at its
// first byte. On 0 the caller owns *stream and *size holds the file's size; on
// any other status no stream is left open and *stream must not be used.
int OpenForReading(const char* path, std::FILE** stream, std::uint32_t* size);

// Creates (or truncates) `path` for binary writing. On 0 the caller owns *stream.
int OpenForWriting(const char* path, std::FILE** stream);

}  // namespace romfold
