#include "tools/input_file.h"

#include <sys/types.h>

#include "container/utf8_paths.h"

namespace romfold::check {

namespace {

// 64-bit positions through each platform's own calls (off_t is 32-bit on Windows).
int seek64(std::FILE* file, std::uint64_t offset, int origin) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<__int64>(offset), origin);
#else
    return fseeko(file, off_t(offset), origin);
#endif
}

std::int64_t tell64(std::FILE* file) {
#ifdef _WIN32
    return _ftelli64(file);
#else
    return ftello(file);
#endif
}

}  // namespace

InputFile::~InputFile() {
    if (file_ != nullptr) std::fclose(file_);
}

bool InputFile::open(const std::string& path) {
#ifdef _WIN32
    file_ = ::_wfopen(widen(path).c_str(), L"rb");  // paths are UTF-8
#else
    file_ = std::fopen(path.c_str(), "rb");
#endif
    if (file_ == nullptr || seek64(file_, 0, SEEK_END) != 0) return false;
    const std::int64_t end = tell64(file_);
    if (end < 0) return false;
    size_ = std::uint64_t(end);
    return seek64(file_, 0, SEEK_SET) == 0;
}

bool seek_to(std::FILE* file, std::uint64_t offset, std::string& message) {
    if (seek64(file, offset, SEEK_SET) != 0) {
        message = "cannot seek to offset " + std::to_string(offset);
        return false;
    }
    return true;
}

bool read_exactly(std::FILE* file, std::uint8_t* dst, size_t size, std::uint64_t offset, std::string& message) {
    if (size != 0 && std::fread(dst, 1, size, file) != size) {
        message = "read failed at offset " + std::to_string(offset);
        return false;
    }
    return true;
}

}  // namespace romfold::check
