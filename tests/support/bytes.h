// The byte vector of the tests and the helpers that make and read one: text
// as bytes, joining, little-endian fields, and seeded random bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace romfold::test {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes_of(std::string_view text);
Bytes concat(Bytes front, const Bytes& back);

// Little-endian fields appended to bytes, read from bytes at `at`, or written
// over the bytes at `at`; out-of-range offsets throw.
void append_le16(Bytes& bytes, std::uint32_t value);
void append_le32(Bytes& bytes, std::uint32_t value);
std::uint32_t load_le16(const Bytes& bytes, std::size_t at);
std::uint32_t load_le32(const Bytes& bytes, std::size_t at);
void store_le32(Bytes& bytes, std::size_t at, std::uint32_t value);

// Deterministic bytes without structure (a xorshift generator); different
// seeds give different bytes, so that a misplaced chunk shows. The encoder's
// golden digests hash this output: the generator must not change.
Bytes random_bytes(std::size_t size, std::uint32_t seed);

}  // namespace romfold::test
