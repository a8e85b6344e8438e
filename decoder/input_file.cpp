#include "decoder/input_file.h"

#include <sys/types.h>

namespace romfold {

InputFile::~InputFile() {
    if (file_ != nullptr) std::fclose(file_);
}

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

bool InputFile::open(const std::string& path, DecodeFailure& failure) {
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) {
        failure = {"cannot open " + path, 0, true};
        return false;
    }
    if (seek64(file_, 0, SEEK_END) != 0) {
        failure = {"cannot seek in " + path, 0, true};
        return false;
    }
    const std::int64_t end = tell64(file_);
    if (end < 0) {
        failure = {"cannot measure " + path, 0, true};
        return false;
    }
    size_ = std::uint64_t(end);
    return seek_to(file_, 0, failure);
}

bool seek_to(std::FILE* file, std::uint64_t offset, DecodeFailure& failure) {
    if (seek64(file, offset, SEEK_SET) != 0) {
        failure = {"cannot seek to offset " + std::to_string(offset), offset, true};
        return false;
    }
    return true;
}

bool read_exactly(std::FILE* file, std::uint8_t* dst, size_t size, std::uint64_t offset, DecodeFailure& failure) {
    if (size != 0 && std::fread(dst, 1, size, file) != size) {
        failure = {"read failed at offset " + std::to_string(offset), offset, true};
        return false;
    }
    return true;
}

}  // namespace romfold
