#include "tests/decoder/test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace romfold::test {

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

void append_le16(Bytes& bytes, std::uint32_t value) {
    bytes.push_back(std::uint8_t(value));
    bytes.push_back(std::uint8_t(value >> 8));
}

void append_le32(Bytes& bytes, std::uint32_t value) {
    append_le16(bytes, value & 0xFFFF);
    append_le16(bytes, value >> 16);
}

void put_le32(Bytes& bytes, size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.at(at + i) = std::uint8_t(value >> (8 * i));
}

Bytes concat(const Bytes& a, const Bytes& b) {
    Bytes joined = a;
    joined.insert(joined.end(), b.begin(), b.end());
    return joined;
}

BlockBuilder::BlockBuilder() : block_(4, 0) {}

void BlockBuilder::shift_flag(std::uint32_t flag) {
    const bool full = (flag_bits_ & 0x80000000u) != 0;
    flag_bits_ = flag_bits_ * 2 + flag;
    if (full) {
        put_le32(block_, flag_slot_, flag_bits_);
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
    put_le32(block_, flag_slot_, flag_bits_ * 2 + 1);
    return block_;
}

ContainerBuilder::ContainerBuilder(std::uint32_t total_size) : bytes_(bytes_of("XPRS")) {
    append_le32(bytes_, total_size);
}

ContainerBuilder& ContainerBuilder::stored_block(const Bytes& data, bool is_last) {
    append_le32(bytes_, std::uint32_t(data.size()) | stored | (is_last ? last : 0));
    if (is_last) append_le32(bytes_, std::uint32_t(data.size()));
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    return *this;
}

ContainerBuilder& ContainerBuilder::compressed_block(const Bytes& block, std::uint32_t size, bool is_last) {
    append_le32(bytes_, std::uint32_t(block.size()) | (is_last ? last : 0));
    if (is_last) append_le32(bytes_, size);
    bytes_.insert(bytes_.end(), block.begin(), block.end());
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
    return *this;
}

ContainerBuilder& ContainerBuilder::raw(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

Bytes packed_image(const Bytes& container) {
    Bytes file = bytes_of("IORW");
    append_le32(file, 16);
    append_le32(file, std::uint32_t(container.size()));
    append_le32(file, 0);
    return concat(file, container);
}

Bytes packed_image(const Bytes& container, std::int32_t width, std::int32_t height, const Bytes& pixels) {
    Bytes file = bytes_of("IORW");
    append_le32(file, 16);
    append_le32(file, std::uint32_t(container.size()));
    append_le32(file, std::uint32_t(12 + pixels.size()));
    file = concat(file, container);
    file = concat(file, bytes_of("ECEC"));
    append_le32(file, std::uint32_t(width));
    append_le32(file, std::uint32_t(height));
    return concat(file, pixels);
}

Bytes pseudo_random_bytes(size_t count, std::uint32_t seed) {
    Bytes bytes(count);
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::uint8_t& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = std::uint8_t(state >> 24);
    }
    return bytes;
}

ScratchFile::ScratchFile(const Bytes& contents) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    static int serial = 0;
    std::string name = std::string(info->test_suite_name()) + "_" + info->name() + "_" + std::to_string(getpid()) +
                       "_" + std::to_string(serial++);
    for (char& c : name) {
        if (c == '/') c = '_';
    }
    path_ = ::testing::TempDir() + "romfold_decoder_" + name;
    std::FILE* file = std::fopen(path_.c_str(), "wb");
    if (file == nullptr) throw std::runtime_error("cannot create " + path_);
    const size_t written = std::fwrite(contents.data(), 1, contents.size(), file);
    std::fclose(file);
    if (written != contents.size()) throw std::runtime_error("cannot write " + path_);
}

ScratchFile::~ScratchFile() { std::remove(path_.c_str()); }

}  // namespace romfold::test
