// Hand-made inputs for the decoder tests: a test-only token writer for
// compressed blocks, a container builder, and scratch files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace romfold::test {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes_of(std::string_view text);
void append_le16(Bytes& bytes, std::uint32_t value);
void append_le32(Bytes& bytes, std::uint32_t value);
void put_le32(Bytes& bytes, size_t at, std::uint32_t value);
Bytes concat(const Bytes& a, const Bytes& b);

// Writes a compressed block item by item, following the token layout, and
// keeps the bytes that the items stand for, computed by a plain byte copy.
class BlockBuilder {
public:
    BlockBuilder();
    BlockBuilder& literal(std::uint8_t byte);
    BlockBuilder& literals(const Bytes& bytes);
    BlockBuilder& match(std::uint32_t offset, std::uint32_t length);
    // Closes the open flag word and returns the block.
    Bytes finish();
    const Bytes& output() const { return output_; }

private:
    void shift_flag(std::uint32_t flag);

    Bytes block_;
    size_t flag_slot_ = 0;
    std::uint32_t flag_bits_ = 1;
    std::optional<size_t> pending_;
    Bytes output_;
};

// Builds a container record by record. Sizes and flags are written as given,
// so that faulty containers can be made as easily as good ones.
class ContainerBuilder {
public:
    static constexpr std::uint32_t last = 0x40000000u;
    static constexpr std::uint32_t stored = 0x80000000u;

    explicit ContainerBuilder(std::uint32_t total_size);
    // A stored record; marked last (with its size word) when last is true.
    ContainerBuilder& stored_block(const Bytes& data, bool is_last);
    // A compressed record with its zero padding.
    ContainerBuilder& compressed_block(const Bytes& block, std::uint32_t size, bool is_last);
    ContainerBuilder& raw(const Bytes& bytes);
    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
};

// The packed image layout around a container, with an optional splash block.
Bytes packed_image(const Bytes& container);
Bytes packed_image(const Bytes& container, std::int32_t width, std::int32_t height, const Bytes& pixels);

// Bytes from a small deterministic generator, so that offsets matter.
Bytes pseudo_random_bytes(size_t count, std::uint32_t seed);

// A file under the test temporary directory, removed when it goes out of scope.
class ScratchFile {
public:
    explicit ScratchFile(const Bytes& contents);
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    ~ScratchFile();
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace romfold::test
