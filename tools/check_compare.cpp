#include "tools/check_compare.h"

#include <cstdio>

namespace romfold::check {

namespace {

std::string hex_byte(std::uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

}  // namespace

bool ImageComparer::open(CheckError& error) { return open_regular_file(path_, file_, error); }

bool ImageComparer::begin(const CheckSummary& summary, CheckError&) {
    image_size_ = summary.image_size;
    return true;
}

bool ImageComparer::block(const ContainerBlock& block, CheckError& error) {
    const std::uint64_t left = file_.size() - position_;
    const std::uint32_t take = left < block.size ? std::uint32_t(left) : block.size;
    buffer_.resize(take);
    std::string message;
    if (!read_exactly(file_.get(), buffer_.data(), take, position_, message)) {
        error = CheckError{status_error, path_, std::nullopt, message};
        return false;
    }
    for (std::uint32_t i = 0; i < take; ++i) {
        if (buffer_[i] != block.bytes[i]) {
            error = CheckError{status_invalid, path_, position_ + i,
                               "differs from the decoded image: " + hex_byte(buffer_[i]) + " here, " +
                                   hex_byte(block.bytes[i]) + " decoded"};
            return false;
        }
    }
    position_ += take;
    if (take < block.size) {
        error = CheckError{
            status_invalid, path_, position_,
            "file of " + byte_count(file_.size()) + " ends here, but the decoded image has " + byte_count(image_size_)};
        return false;
    }
    return true;
}

bool ImageComparer::end(const CheckSummary& summary, CheckError& error) {
    if (file_.size() != summary.image_size) {
        error = CheckError{status_invalid, path_, std::uint64_t(summary.image_size),
                           "the decoded image ends here, but the file has " + byte_count(file_.size())};
        return false;
    }
    return true;
}

}  // namespace romfold::check
