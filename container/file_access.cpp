#include "container/file_access.h"

#include "container/stream_ops.h"

namespace romfold {

int OpenForReading(const char* path, std::FILE** stream, std::uint32_t* size) {
    if (path == nullptr || stream == nullptr || size == nullptr) {
        std::printf("OpenForReading: bad arguments\n");
        return open_bad_arguments;
    }
    *stream = stream_open(path, "rb");
    if (*stream == nullptr) {
        std::printf("OpenForReading: fopen() failed\n");
        return open_failed;
    }
    if (stream_seek(*stream, 0, SEEK_END) != 0) {
        std::printf("OpenForReading: fseek() failed\n");
        stream_close(*stream);
        return open_seek_failed;
    }
    const std::int64_t end = stream_tell(*stream);
    if (end < 0) {
        std::printf("OpenForReading: fgetpos() failed\n");
        stream_close(*stream);
        return open_position_failed;
    }
    if ((static_cast<std::uint64_t>(end) >> 32) != 0) {
        std::printf("Files longer than 4GB are not supported\n");
        stream_close(*stream);
        return open_too_large;
    }
    *size = static_cast<std::uint32_t>(end);
    if (stream_seek(*stream, 0, SEEK_SET) != 0) {
        std::printf("OpenForReading: fseek() failed\n");
        stream_close(*stream);
        return open_seek_failed;
    }
    return open_ok;
}

int OpenForWriting(const char* path, std::FILE** stream) {
    if (path == nullptr || stream == nullptr) {
        std::printf("OpenForWriting: bad arguments\n");
        return open_bad_arguments;
    }
    *stream = stream_open(path, "wb");
    if (*stream == nullptr) {
        std::printf("OpenForWriting: fopen() failed\n");
        return open_failed;
    }
    return open_ok;
}

}  // namespace romfold
