// The handle record and the layout of a handle's memory block.
//
// A handle lives at the first multiple of 256 above the block that the
// caller's allocate callback returned. Above it lie, in order, the unused rest
// of its header, hash_heads (levels 2 and up), BlockState ending at `work`, and
// from `work` upwards the level's table. The request size leaves 512 bytes of
// slack, so the layout fits whatever the alignment of the block.
#pragma once

#include <cstdint>

#include "encoder/fold_encoder.h"

struct EncoderHandle {
    std::uint32_t magic;            // handle_magic while valid, 0 after close
    void* allocation;               // what the allocate callback returned
    std::uint8_t* work;             // just past the driver's BlockState
    std::uint32_t max_len_minus_1;  // largest block accepted, minus 1
    std::int32_t level;             // requested level, lowered to 9
    std::int32_t level_limit;       // level when it is 1 or less, else 9
};

namespace romfold::encoder {

inline constexpr std::uint32_t handle_magic = 0x53E7C0DE;
inline constexpr std::uint32_t position_table_entries = 2806;  // 8*255 + 2*255 + 255 + 1
inline constexpr std::uint32_t offset_table_entries = 32768;

// Room between the handle and `work`: (X + 851) rounded down to 256, where X
// is the 64 KB hash_heads table for levels 2 and up.
inline constexpr std::uint32_t header_size(std::int32_t level) { return ((level >= 2 ? 65536u : 0u) + 851u) & ~255u; }

inline constexpr std::uint32_t table_size(std::int32_t level, std::uint32_t max_len) {
    if (level <= 0) return position_table_entries * 4;  // 32-bit offsets on every host
    if (level == 1) return offset_table_entries * 2;
    return 2 * max_len;  // chain: one 16-bit link per input position
}

inline constexpr std::uint32_t request_size(std::int32_t level, std::uint32_t max_len) {
    return table_size(level, max_len) + header_size(level) + 544;
}

}  // namespace romfold::encoder
