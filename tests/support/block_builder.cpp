#include "tests/support/block_builder.h"

#include <algorithm>
#include <stdexcept>

namespace romfold::test {

BlockBuilder::BlockBuilder() : block_(4, 0) {}

void BlockBuilder::shift_flag(std::uint32_t flag) {
    const bool full = (flag_bits_ & 0x80000000u) != 0;
    flag_bits_ = flag_bits_ * 2 + flag;
    if (full) {
        store_le32(block_, flag_slot_, flag_bits_);
        flag_slot_ = block_.size();
        block_.resize(block_.size() + 4);
        flag_bits_ = 1;
    }
}

BlockBuilder& BlockBuilder::literal(std::uint8_t byte) {
    block_.push_back(byte);
    output_.push_back(byte);
    shift_flag(0);
    return *this;
}

BlockBuilder& BlockBuilder::literals(const Bytes& bytes) {
    for (std::uint8_t byte : bytes) literal(byte);
    return *this;
}

BlockBuilder& BlockBuilder::match(std::uint32_t offset, std::uint32_t length) {
    if (offset < 1 || offset > 8192 || offset > output_.size() || length < 3) {
        throw std::invalid_argument("match outside what the block can hold");
    }
    append_le16(block_, ((offset - 1) << 3) | (length < 10 ? length - 3 : 7));
    if (length >= 10) {
        const std::uint32_t half = std::min(length - 10, 15u);
        if (pending_) {
            block_[*pending_] |= std::uint8_t(half << 4);
            pending_.reset();
        } else {
            pending_ = block_.size();
            block_.push_back(std::uint8_t(half));
        }
    }
    if (length >= 25) {
        if (length - 25 < 255) {
            block_.push_back(std::uint8_t(length - 25));
        } else {
            block_.push_back(0xFF);
            append_le16(block_, length - 3);
        }
    }
    for (std::uint32_t i = 0; i < length; ++i) output_.push_back(output_[output_.size() - offset]);
    shift_flag(1);
    return *this;
}

Bytes BlockBuilder::finish() {
    while ((flag_bits_ & 0x80000000u) == 0) flag_bits_ = flag_bits_ * 2 + 1;
    store_le32(block_, flag_slot_, flag_bits_ * 2 + 1);
    return block_;
}

}  // namespace romfold::test
