// Unaligned little-endian loads and stores: the one byte-order helper of the
// packer, the encoder and romfold-check. (The decoder keeps its own: it is
// written from the format alone, independently of the encoder, so that each
// checks the other.)
//
// The formats are little-endian on every host; memcpy keeps the accesses free
// of alignment and aliasing trouble and compiles to a single move on the
// usual targets.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace romfold {

// Reverses the bytes of a word; compilers turn it into one instruction.
constexpr std::uint32_t byte_swap32(std::uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

constexpr std::uint64_t byte_swap64(std::uint64_t v) {
    return (std::uint64_t{byte_swap32(static_cast<std::uint32_t>(v))} << 32) |
           byte_swap32(static_cast<std::uint32_t>(v >> 32));
}

inline std::uint16_t load_u16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;  // host order: only ever compared for equality
}

inline std::uint32_t load_le16(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}

inline std::uint32_t load_le32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) v = byte_swap32(v);
    return v;
}

inline std::uint64_t load_le64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) v = byte_swap64(v);
    return v;
}

inline void store_le16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void store_le32(std::uint8_t* p, std::uint32_t v) {
    if constexpr (std::endian::native == std::endian::big) v = byte_swap32(v);
    std::memcpy(p, &v, sizeof v);
}

}  // namespace romfold
