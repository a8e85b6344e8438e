// Length of a verified match. Every finder has checked that the first four
// bytes at `cur` and `source` agree before it asks; bytes 4 to 7 are then
// compared as one little-endian word, whose lowest differing byte gives
// lengths 4 to 7 at once. Only matches of 8 bytes and more reach the loop,
// which compares 8 bytes a step up to the block's end.
#pragma once

#include <bit>
#include <cstdint>

#include "encoder/byte_order.h"
#include "encoder/compiler_hints.h"

namespace romfold::encoder {

// The length of a match whose first 8 bytes agree, compared on up to the
// block's end.
ROMFOLD_FORCE_INLINE std::uint32_t match_length_after8(const std::uint8_t* cur, const std::uint8_t* source,
                                                       const std::uint8_t* in_end) {
    const std::uint8_t* a = cur + 8;
    const std::uint8_t* b = source + 8;
    while (in_end - a >= 8) {
        const std::uint64_t d = load_le64(a) ^ load_le64(b);
        if (d != 0) return static_cast<std::uint32_t>(a - cur) + (static_cast<std::uint32_t>(std::countr_zero(d)) >> 3);
        a += 8;
        b += 8;
    }
    while (a < in_end && *a == *b) {
        ++a;
        ++b;
    }
    return static_cast<std::uint32_t>(a - cur);
}

// `source` lies before `cur`, and cur + 8 lies inside the block.
ROMFOLD_FORCE_INLINE std::uint32_t match_length_after4(const std::uint8_t* cur, const std::uint8_t* source,
                                                       const std::uint8_t* in_end) {
    const std::uint32_t diff = load_le32(cur + 4) ^ load_le32(source + 4);
    if (diff != 0) return 4 + (static_cast<std::uint32_t>(std::countr_zero(diff)) >> 3);
    return match_length_after8(cur, source, in_end);
}

// Length of the common start of `cur` and `source` when it is shorter than 8
// bytes (0 to 7), or 8 when the first 8 bytes all agree; from one 8-byte
// compare, with no branch. Both have 8 bytes inside the block.
ROMFOLD_FORCE_INLINE std::uint32_t common_prefix_up_to8(const std::uint8_t* cur, const std::uint8_t* source) {
    const std::uint64_t diff = load_le64(cur) ^ load_le64(source);
    return diff != 0 ? static_cast<std::uint32_t>(std::countr_zero(diff)) >> 3 : 8;
}

}  // namespace romfold::encoder
