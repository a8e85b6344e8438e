#include "tests/support/bytes.h"

#include <stdexcept>

#include "encoder/byte_order.h"

namespace romfold::test {

namespace {

// The offset of a `width`-byte field at `at`, checked against the vector.
std::size_t checked(const Bytes& bytes, std::size_t at, std::size_t width) {
    if (at > bytes.size() || bytes.size() - at < width) {
        throw std::out_of_range("field outside the bytes");
    }
    return at;
}

}  // namespace

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes concat(Bytes front, const Bytes& back) {
    front.insert(front.end(), back.begin(), back.end());
    return front;
}

void append_le16(Bytes& bytes, std::uint32_t value) {
    bytes.resize(bytes.size() + 2);
    romfold::store_le16(bytes.data() + bytes.size() - 2, value);
}

void append_le32(Bytes& bytes, std::uint32_t value) {
    bytes.resize(bytes.size() + 4);
    romfold::store_le32(bytes.data() + bytes.size() - 4, value);
}

std::uint32_t load_le16(const Bytes& bytes, std::size_t at) {
    return romfold::load_le16(bytes.data() + checked(bytes, at, 2));
}

std::uint32_t load_le32(const Bytes& bytes, std::size_t at) {
    return romfold::load_le32(bytes.data() + checked(bytes, at, 4));
}

void store_le32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    romfold::store_le32(bytes.data() + checked(bytes, at, 4), value);
}

Bytes random_bytes(std::size_t size, std::uint32_t seed) {
    std::uint32_t state = seed * 2654435761u + 1;
    Bytes bytes(size);
    for (std::uint8_t& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

}  // namespace romfold::test
