#include "container/stream_ops.h"

#include <sys/types.h>

#include <cstdint>

#include "container/utf8_paths.h"

namespace romfold {
namespace {

// Paths are UTF-8; Windows opens them only through the wide-character call.
std::FILE* standard_open(const char* path, const char* mode) {
#ifdef _WIN32
    return ::_wfopen(widen(path).c_str(), widen(mode).c_str());
#else
    return std::fopen(path, mode);
#endif
}

std::size_t standard_read(void* buffer, std::size_t size, std::FILE* stream) {
    return std::fread(buffer, 1, size, stream);
}

std::size_t standard_write(const void* buffer, std::size_t size, std::FILE* stream) {
    return std::fwrite(buffer, 1, size, stream);
}

// 64-bit positions through each platform's own calls: off_t is 32-bit on
// Windows, so fseeko and ftello would fail for files of 2 GB and more.
int standard_seek(std::FILE* stream, std::int64_t offset, int origin) {
#ifdef _WIN32
    return _fseeki64(stream, offset, origin);
#else
    return fseeko(stream, static_cast<off_t>(offset), origin);
#endif
}

std::int64_t standard_tell(std::FILE* stream) {
#ifdef _WIN32
    return _ftelli64(stream);
#else
    return static_cast<std::int64_t>(ftello(stream));
#endif
}

int standard_error(std::FILE* stream) { return std::ferror(stream); }

int standard_flush(std::FILE* stream) { return std::fflush(stream); }

int standard_close(std::FILE* stream) { return std::fclose(stream); }

constexpr StreamOps standard_ops = {standard_open, standard_read,  standard_write, standard_seek,
                                    standard_tell, standard_error, standard_flush, standard_close};

const StreamOps* current_ops = &standard_ops;

}  // namespace

const StreamOps& standard_stream_ops() { return standard_ops; }

void set_stream_ops(const StreamOps* ops) { current_ops = ops != nullptr ? ops : &standard_ops; }

const StreamOps& stream_ops() { return *current_ops; }

}  // namespace romfold
