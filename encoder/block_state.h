// The per-call record of the encoder.
//
// The driver zeroes and fills the record at the start of every call; the token
// writer and the match finders update it; nothing in it outlives the call. It
// lies directly below the handle's `work` pointer (encoder_handle.h gives the
// whole layout).
#pragma once

#include <cstdint>

namespace romfold::encoder {

struct BlockState {
    std::uint8_t* pending_nibble;  // length byte whose high half is still free, or null
    std::int32_t level;            // effective level of this call, 0 to 9
    std::uint8_t* out_base;        // the caller's output buffer, where the block begins
    std::uint8_t* out_pos;         // next output byte to write
    std::uint8_t* flag_slot;       // the 4 bytes reserved for the open flag word
    std::uint32_t flag_bits;       // sentinel 1 followed by the open group's flags
    std::int32_t in_pos;           // offset of the next input byte to encode
    std::int32_t in_len;           // input length
    std::int32_t slice_end;        // offset at which the current slice ends
    std::int32_t progress_mark;    // in_pos at the last progress report
    const std::uint8_t* in_base;   // first input byte
    const std::uint8_t* in_end;    // in_base + in_len: no match extends past it
    const std::uint8_t* hash_end;  // in_end - 3: levels 0 and 1 enter no position at or past it
};

inline constexpr std::uint32_t max_match_offset = 8191;  // the format could carry 8192; no finder uses it

}  // namespace romfold::encoder
