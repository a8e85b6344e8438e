// The handle record and the layout of a handle's memory block.
//
// The caller's allocate callback returns one block at A. The handle lies at
// H, the first multiple of 256 above A (1 to 256 bytes in), and the rest of
// what a handle needs follows it as one record, HandleMemory:
//
//     H          slot     the handle, in a slot of 256 bytes
//     H + 256    header   unused bytes, hash_heads (levels 2 to 9), BlockState
//     work       table    position_table (level 0), offset_table (level 1)
//                         or chain (levels 2 to 9, one link per input byte)
//
// BlockState ends exactly at `work`, where the level's table begins, so the
// driver and the finders reach both from one pointer. The records below are
// the only description of this layout: the request sizes of the public
// interface are derived from them and pinned by static_asserts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "encoder/block_state.h"
#include "encoder/fold_encoder.h"

namespace romfold::encoder {
struct LevelRoutines;
}

struct EncoderHandle {
    std::uint32_t magic;            // handle_magic while valid, 0 after close
    void* allocation;               // what the allocate callback returned
    std::uint8_t* work;             // just past the driver's BlockState
    std::uint32_t max_len_minus_1;  // largest block accepted, minus 1
    std::int32_t level;             // requested level, lowered to 9
    std::int32_t level_limit;       // level when it is 1 or less, else 9
    // Table preparation and match finder of `level`, chosen at creation.
    const romfold::encoder::LevelRoutines* routines;
};

namespace romfold::encoder {

inline constexpr std::uint32_t handle_magic = 0x53E7C0DE;
inline constexpr std::uint32_t handle_alignment = 256;
inline constexpr std::uint32_t hash_head_count = 32768;        // one per 15-bit hash value
inline constexpr std::uint32_t position_table_entries = 2806;  // 8*255 + 2*255 + 255 + 1
inline constexpr std::uint32_t offset_table_entries = 32768;   // one per 15-bit hash value
inline constexpr std::uint32_t max_block_size = 65536;

// The handle in a slot of its own, so that the header starts 256 bytes in.
union HandleSlot {
    EncoderHandle handle;
    std::uint8_t bytes[handle_alignment];
};

// Room from the end of the slot to `work` at levels 0 and 1, and above
// hash_heads at levels 2 to 9: three units of 256 bytes, which hold BlockState
// on every host and leave the rest unused.
inline constexpr std::size_t header_room = 768;

struct PlainHeader {  // levels 0 and 1
    std::uint8_t unused[header_room - sizeof(BlockState)];
    BlockState state;
};

struct ChainHeader {  // levels 2 to 9
    std::uint8_t unused[header_room - sizeof(BlockState)];
    std::uint16_t hash_heads[hash_head_count];
    BlockState state;
};

// Level 0: the offset from in_base of the latest position with each index
// (32-bit on every host, so the table keeps its published size).
struct PositionTable {
    std::uint32_t entries[position_table_entries];
};

// Level 1: the latest position with each 15-bit hash.
struct OffsetTable {
    std::uint16_t entries[offset_table_entries];
};

// Levels 2 to 9: one 16-bit link per input position. Only the first max_len
// links lie inside the block; the request covers exactly those.
struct Chain {
    std::uint16_t links[max_block_size];
};

template <class Header, class Table>
struct HandleMemory {
    HandleSlot slot;
    Header header;
    Table table;  // starts at `work`
};

using Level0Memory = HandleMemory<PlainHeader, PositionTable>;
using Level1Memory = HandleMemory<PlainHeader, OffsetTable>;
using ChainMemory = HandleMemory<ChainHeader, Chain>;

// From the handle to `work`.
template <class Memory>
inline constexpr std::uint32_t work_offset = offsetof(Memory, table);

// Every layout puts BlockState directly below `work`, so the driver reaches
// it the same way at every level.
template <class Memory>
inline constexpr bool state_ends_at_work =
    offsetof(Memory, header) + offsetof(decltype(Memory::header), state) + sizeof(BlockState) == work_offset<Memory>;
static_assert(state_ends_at_work<Level0Memory> && state_ends_at_work<Level1Memory> && state_ends_at_work<ChainMemory>);
static_assert(sizeof(EncoderHandle) <= sizeof(HandleSlot) && alignof(HandleMemory<ChainHeader, Chain>) <= 256);

// The records around `work`, as the level lays them out.
template <class Memory>
Memory& memory_at(std::uint8_t* work) {
    return *reinterpret_cast<Memory*>(work - work_offset<Memory>);
}

inline BlockState& block_state_at(std::uint8_t* work) { return memory_at<Level0Memory>(work).header.state; }

// Bytes from the end of the handle's slot to `work`: 768, or 66304 with hash_heads.
inline constexpr std::uint32_t header_size(std::int32_t level) {
    return (level >= 2 ? work_offset<ChainMemory> : work_offset<Level0Memory>)-sizeof(HandleSlot);
}

// The request covers the furthest layout: the handle up to 256 bytes into the
// block, then the records up to the end of the table. 32 more bytes are asked
// for that no layout uses; the published sizes have always carried them.
inline constexpr std::uint32_t placement_slack = handle_alignment;
inline constexpr std::uint32_t unused_tail = 32;

inline constexpr std::uint32_t request_size(std::int32_t level, std::uint32_t max_len) {
    if (level <= 0) return placement_slack + work_offset<Level0Memory> + sizeof(PositionTable) + unused_tail;
    if (level == 1) return placement_slack + work_offset<Level1Memory> + sizeof(OffsetTable) + unused_tail;
    return placement_slack + work_offset<ChainMemory> + 2 * max_len + unused_tail;
}

static_assert(header_size(0) == 768 && header_size(1) == 768 && header_size(2) == 66304);
static_assert(request_size(0, 1000) == 12536 && request_size(-3, 65536) == 12536);
static_assert(request_size(1, 1000) == 66848);
static_assert(request_size(2, 1000) == 2 * 1000 + 66848 && request_size(9, 65536) == 197920);

}  // namespace romfold::encoder
