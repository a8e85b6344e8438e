// The per-call record of the encoder and the work area around it.
//
// One pointer, `work`, reaches everything a compression call uses:
//
//     hash_heads  (levels 2 to 9, 32768 16-bit entries)   ends where BlockState begins
//     BlockState                                          ends exactly at work
//     level table (position_table, offset_table or chain) starts at work
//
// The driver zeroes and fills the record at the start of every call; the token
// writer and the match finders update it; nothing in it outlives the call.
#pragma once

#include <cstdint>

namespace romfold::encoder {

struct BlockState {
    std::uint8_t* pending_nibble;     // length byte whose high half is still free, or null
    std::int32_t level;               // effective level of this call, 0 to 9
    std::uint8_t* out_base;           // the caller's output buffer
    std::uint8_t* out_end;            // end of the output produced so far
    std::uint8_t* out_start;          // where this block's output begins
    std::uint8_t* out_pos;            // next output byte to write
    std::uint8_t* flag_slot;          // the 4 bytes reserved for the open flag word
    std::uint32_t flag_bits;          // sentinel 1 followed by the open group's flags
    std::int32_t chain_budget;        // remaining chain steps (levels 3 to 9)
    std::int32_t best_len;            // best match length so far (levels 3 to 9)
    const std::uint8_t* best_pos;     // source of that match (levels 3 to 9)
    std::int32_t in_pos;              // offset of the next input byte to encode
    std::int32_t in_len;              // input length
    std::int32_t slice_end;           // offset at which the current slice ends
    std::int32_t progress_mark;       // in_pos at the last progress report
    const std::uint8_t* in_base;      // first input byte
    const std::uint8_t* in_end;       // in_base + in_len: no match extends past it
    const std::uint8_t* hash_end;     // in_end - 3: levels 0 and 1 enter no position at or past it
    const std::uint8_t* slice_limit;  // in_base + slice_end
};

inline constexpr std::uint32_t hash_head_count = 32768;
inline constexpr std::uint32_t max_match_offset = 8191;  // the format could carry 8192; no finder uses it

inline BlockState& block_state_of(std::uint8_t* work) {
    return *reinterpret_cast<BlockState*>(work - sizeof(BlockState));
}

inline std::uint16_t* hash_heads_of(std::uint8_t* work) {
    return reinterpret_cast<std::uint16_t*>(work - sizeof(BlockState)) - hash_head_count;
}

// A match finder encodes the slice [in_pos, slice_end) of the block whose
// state ends at `work`; it may run past slice_end with its last match.
using MatchFinder = void (*)(std::uint8_t* work);

}  // namespace romfold::encoder
