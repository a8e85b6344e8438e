#include "decoder/input_file.h"

#include <sys/types.h>

namespace romfold {

InputFile::~InputFile() {
    if (file_ != nullptr) std::fclose(file_);
}

bool InputFile::open(const std::string& path, DecodeFailure& failure) {
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) {
        failure = {"cannot open " + path, 0, true};
        return false;
    }
    if (fseeko(file_, 0, SEEK_END) != 0) {
        failure = {"cannot seek in " + path, 0, true};
        return false;
    }
    const off_t end = ftello(file_);
    if (end < 0) {
        failure = {"cannot measure " + path, 0, true};
        return false;
    }
    size_ = std::uint64_t(end);
    return seek_to(file_, 0, failure);
}

bool seek_to(std::FILE* file, std::uint64_t offset, DecodeFailure& failure) {
    if (fseeko(file, off_t(offset), SEEK_SET) != 0) {
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
