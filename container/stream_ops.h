// Every file operation of the tool goes through this small table of stream
// routines. The tool itself always runs on the platform's standard streams;
// the table exists so that a test build can make one chosen operation fail
// (a read that falls short, a close that reports a full disk) and watch the
// real pipeline handle it, which plain files cannot always provoke.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "encoder/byte_order.h"

namespace romfold {

struct StreamOps {
    std::FILE* (*open)(const char* path, const char* mode);
    std::size_t (*read)(void* buffer, std::size_t size, std::FILE* stream);
    std::size_t (*write)(const void* buffer, std::size_t size, std::FILE* stream);
    int (*seek)(std::FILE* stream, std::int64_t offset, int origin);  // 0 on success
    std::int64_t (*tell)(std::FILE* stream);                          // -1 on failure
    int (*error)(std::FILE* stream);                                  // non-zero when the error indicator is set
    int (*flush)(std::FILE* stream);                                  // 0 on success
    int (*close)(std::FILE* stream);                                  // 0 on success
};

// The platform's buffered streams.
const StreamOps& standard_stream_ops();

// Installs another table (a test seam); null restores the standard streams.
void set_stream_ops(const StreamOps* ops);

const StreamOps& stream_ops();

inline std::FILE* stream_open(const char* path, const char* mode) { return stream_ops().open(path, mode); }
inline std::size_t stream_read(void* buffer, std::size_t size, std::FILE* stream) {
    return stream_ops().read(buffer, size, stream);
}
inline std::size_t stream_write(const void* buffer, std::size_t size, std::FILE* stream) {
    return stream_ops().write(buffer, size, stream);
}
inline int stream_seek(std::FILE* stream, std::int64_t offset, int origin) {
    return stream_ops().seek(stream, offset, origin);
}
inline std::int64_t stream_tell(std::FILE* stream) { return stream_ops().tell(stream); }
inline int stream_error(std::FILE* stream) { return stream_ops().error(stream); }
inline int stream_flush(std::FILE* stream) { return stream_ops().flush(stream); }
inline int stream_close(std::FILE* stream) { return stream_ops().close(stream); }

// Writes one 32-bit little-endian word; false when it is not written whole.
inline bool stream_write_le32(std::FILE* stream, std::uint32_t value) {
    std::uint8_t bytes[4];
    store_le32(bytes, value);
    return stream_write(bytes, sizeof bytes, stream) == sizeof bytes;
}

}  // namespace romfold
