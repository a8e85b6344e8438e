#include "decoder/container_reader.h"

#include <cstring>
#include <utility>

#include "decoder/block_decoder.h"
#include "decoder/input_file.h"

namespace romfold {

namespace {

constexpr std::uint32_t header_size = 8;
constexpr std::uint32_t last_flag = 0x40000000u;
constexpr std::uint32_t stored_flag = 0x80000000u;
constexpr std::uint32_t data_size_mask = 0x3FFFFFFFu;

// The fewest bytes that records for `blocks` blocks can take: every record
// but the last has a block word and at least 4 data bytes (a compressed block
// holds at least a flag word, a stored one all 65536 of its bytes); the last
// has a block word, a size word and at least 1 data byte. This bounds the
// total that a container of a given length can claim.
std::uint64_t minimum_records_size(std::uint32_t blocks) {
    return blocks == 0 ? 0 : (std::uint64_t(blocks) - 1) * 8 + 9;
}

std::string block_name(std::uint32_t index) { return "block " + std::to_string(index); }

}  // namespace

ContainerReader::ContainerReader(std::FILE* file, std::uint64_t start, std::uint64_t length)
    : file_(file), start_(start), length_(length) {}

bool ContainerReader::fail(DecodeFailure& failure, std::uint64_t relative_offset, std::string message) const {
    failure.message = std::move(message);
    failure.offset = start_ + relative_offset;
    return false;
}

bool ContainerReader::read(std::uint8_t* dst, std::uint32_t size, DecodeFailure& failure) {
    if (!read_exactly(file_, dst, size, start_ + position_, failure)) return false;
    position_ += size;
    return true;
}

bool ContainerReader::read_header(DecodeFailure& failure) {
    if (length_ < header_size) {
        return fail(failure, 0, "container of " + byte_count(length_) + " is shorter than its header");
    }
    if (!seek_to(file_, start_, failure)) return false;
    position_ = 0;
    std::uint8_t header[header_size];
    if (!read(header, header_size, failure)) return false;
    if (std::memcmp(header, container_magic, 4) != 0) {
        return fail(failure, 0, "bad container magic");
    }
    total_size_ = get_le32(header + 4);
    block_count_ = total_size_ / block_size + (total_size_ % block_size != 0 ? 1 : 0);
    if (header_size + minimum_records_size(block_count_) > length_) {
        return fail(
            failure, 4,
            "total size " + std::to_string(total_size_) + " does not fit in a container of " + byte_count(length_));
    }
    header_read_ = true;
    return true;
}

bool ContainerReader::read_blocks(const ContainerBlockSink& sink, DecodeFailure& failure) {
    if (!header_read_ || blocks_read_) {
        return fail(failure, position_, "container read out of order");
    }
    blocks_read_ = true;
    data_.resize(block_size);
    block_.resize(block_size);

    std::uint64_t image_offset = 0;
    for (std::uint32_t index = 0; index < block_count_; ++index) {
        const std::uint64_t record_at = position_;
        const std::string name = block_name(index);
        const bool expect_last = index + 1 == block_count_;

        std::uint8_t word_bytes[4];
        if (length_ - position_ < 4) return fail(failure, position_, name + ": block word cut off");
        if (!read(word_bytes, 4, failure)) return false;
        const std::uint32_t word = get_le32(word_bytes);
        const bool stored = (word & stored_flag) != 0;
        const bool last = (word & last_flag) != 0;
        const std::uint32_t data_size = word & data_size_mask;

        if (last && !expect_last) {
            return fail(failure, record_at,
                        name + ": marked last, but the total size needs " + std::to_string(block_count_) + " blocks");
        }
        if (!last && expect_last) return fail(failure, record_at, name + ": last block not marked last");

        std::uint32_t size = block_size;
        if (last) {
            const std::uint64_t size_at = position_;
            if (length_ - position_ < 4) return fail(failure, position_, name + ": size word cut off");
            std::uint8_t size_bytes[4];
            if (!read(size_bytes, 4, failure)) return false;
            size = get_le32(size_bytes);
            const std::uint64_t rest = std::uint64_t(total_size_) - image_offset;
            if (size != rest) {
                return fail(failure, size_at,
                            name + ": size " + std::to_string(size) + " does not match the " + byte_count(rest) +
                                " left of the total size");
            }
        }

        if (stored ? data_size != size : data_size >= size) {
            return fail(failure, record_at,
                        name + ": " + (stored ? "stored" : "compressed") + " data size " + std::to_string(data_size) +
                            " does not fit a block of " + byte_count(size));
        }
        const std::uint32_t padding = stored ? 0 : (4 - data_size % 4) % 4;
        const std::uint64_t data_at = position_;
        if (length_ - position_ < std::uint64_t(data_size) + padding) {
            return fail(failure, position_, name + ": data cut off");
        }
        if (!read(data_.data(), data_size, failure)) return false;

        const std::uint8_t* bytes = data_.data();
        if (!stored) {
            const BlockDecodeResult result = decode_block(data_.data(), data_size, block_.data(), size);
            if (result.error != BlockDecodeError::none) {
                return fail(failure, data_at + result.offset, name + ": " + describe(result.error));
            }
            bytes = block_.data();
        }

        std::uint8_t padding_bytes[3];
        const std::uint64_t padding_at = position_;
        if (!read(padding_bytes, padding, failure)) return false;
        for (std::uint32_t i = 0; i < padding; ++i) {
            if (padding_bytes[i] != 0) return fail(failure, padding_at + i, name + ": padding not zero");
        }

        const ContainerBlock decoded{index, start_ + record_at, image_offset, stored, data_size, bytes, size};
        if (!sink(decoded, failure)) return false;
        image_offset += size;
    }

    if (position_ != length_) {
        return fail(failure, position_, "data after the last block (" + byte_count(length_ - position_) + ")");
    }
    return true;
}

bool decode_container_file(const std::string& path, std::vector<std::uint8_t>& image, DecodeFailure& failure) {
    image.clear();
    InputFile file;
    if (!file.open(path, failure)) return false;
    ContainerReader reader(file.get(), 0, file.size());
    if (!reader.read_header(failure)) return false;
    image.reserve(reader.total_size());
    return reader.read_blocks(
        [&image](const ContainerBlock& block, DecodeFailure&) {
            image.insert(image.end(), block.bytes, block.bytes + block.size);
            return true;
        },
        failure);
}

}  // namespace romfold
