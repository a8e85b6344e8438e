// Block containers for tests: a builder that writes one record at a time,
// with sizes and flags exactly as given so that faulty containers are as easy
// to make as good ones, and the container of an image stored whole.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "tests/support/bytes.h"

namespace romfold::test {

class ContainerBuilder {
public:
    static constexpr std::uint32_t last = 0x40000000u;
    static constexpr std::uint32_t stored = 0x80000000u;

    explicit ContainerBuilder(std::uint32_t total_size);
    // A stored record; marked last (with its size word) when is_last is true.
    ContainerBuilder& stored_block(const Bytes& data, bool is_last);
    // A compressed record of `size` source bytes, with its zero padding.
    ContainerBuilder& compressed_block(const Bytes& block, std::uint32_t size, bool is_last);
    ContainerBuilder& raw(const Bytes& bytes);
    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
};

// The container of an image none of whose blocks compresses: every record
// stored, the last one marked and carrying its size.
Bytes stored_container(const Bytes& image);

// "XPRS", then each word as 4 little-endian bytes, then tail: a container
// written word by word, for faults the builder's records cannot make.
Bytes container_of_words(std::initializer_list<std::uint32_t> words, const Bytes& tail = {});

}  // namespace romfold::test
