// The token writer: the only code that appends to a compressed block.
//
// Format. A block is a series of groups, each a 32-bit little-endian flag word
// followed by up to 32 items. Flag bit 31 describes the group's first item, a 0
// a literal (one raw byte) and a 1 a match. A match is a 16-bit token holding
// offset - 1 in bits 15..3 and a length code in bits 2..0: length - 3 for
// lengths 3 to 9, and 7 for longer ones, which carry an extension:
//   a half-byte N = min(length - 10, 15), kept in a byte two matches share
//   (the first opens it in its low half, the next one fills its high half);
//   when N is 15, a byte E = length - 25 if below 255, otherwise 0xFF and
//   length - 3 as 16 bits.
// The last flag word is filled up with 1 bits; a block whose items fill their
// last group exactly ends with a word of 32 one bits.
//
// Flag accumulator. flag_bits starts at 1, a sentinel bit above the flags. Each
// item shifts its flag in below it; when the sentinel leaves bit 31 the word
// holds 32 flags, is stored into its reserved slot, and the next slot is
// reserved directly behind the item just written. So the test for a full word
// is the carry out of the shift, and no item counter exists.
//
// The writer holds its state in locals (a finder constructs one on entry and
// stores it back on exit) and never tests the output bounds: the block
// driver's budget guarantees the room for every slice.
#pragma once

#include <cstdint>

#include "encoder/block_state.h"
#include "encoder/byte_order.h"
#include "encoder/compiler_hints.h"

namespace romfold::encoder {

struct TokenWriter {
    std::uint8_t* out_pos;
    std::uint32_t flag_bits;
    std::uint8_t* flag_slot;
    std::uint8_t* pending_nibble;

    explicit TokenWriter(const BlockState& state)
        : out_pos(state.out_pos),
          flag_bits(state.flag_bits),
          flag_slot(state.flag_slot),
          pending_nibble(state.pending_nibble) {}

    void store(BlockState& state) const {
        state.out_pos = out_pos;
        state.flag_bits = flag_bits;
        state.flag_slot = flag_slot;
        state.pending_nibble = pending_nibble;
    }

    ROMFOLD_FORCE_INLINE void push_flag(std::uint32_t flag) {
        const std::uint32_t full = flag_bits >> 31;
        flag_bits = (flag_bits << 1) | flag;
        if (full != 0) [[unlikely]] {
            store_le32(flag_slot, flag_bits);
            flag_slot = out_pos;
            out_pos += 4;
            flag_bits = 1;
        }
    }

    ROMFOLD_FORCE_INLINE void emit_literal(std::uint8_t byte) {
        *out_pos++ = byte;
        push_flag(0);
    }

    // offset 1 to 8191, length 3 or more.
    ROMFOLD_FORCE_INLINE void emit_match(std::uint32_t offset, std::uint32_t length) {
        if (length < 10) [[likely]] {
            store_le16(out_pos, ((offset - 1) << 3) | (length - 3));
            out_pos += 2;
        } else {
            store_le16(out_pos, ((offset - 1) << 3) | 7);
            out_pos += 2;
            const std::uint32_t nibble = length - 10 < 15 ? length - 10 : 15;
            if (pending_nibble != nullptr) {
                *pending_nibble = static_cast<std::uint8_t>(*pending_nibble | (nibble << 4));
                pending_nibble = nullptr;
            } else {
                *out_pos = static_cast<std::uint8_t>(nibble);
                pending_nibble = out_pos;
                out_pos += 1;
            }
            if (length >= 25) {
                const std::uint32_t extra = length - 25;
                if (extra < 255) {
                    *out_pos++ = static_cast<std::uint8_t>(extra);
                } else {
                    out_pos[0] = 0xFF;
                    store_le16(out_pos + 1, length - 3);
                    out_pos += 3;
                }
            }
        }
        push_flag(1);
    }

    // Fills the open word with 1 bits and stores it; reserves no further slot.
    void close_flag_word() {
        std::uint32_t full;
        do {
            full = flag_bits >> 31;
            flag_bits = (flag_bits << 1) | 1;
        } while (full == 0);
        store_le32(flag_slot, flag_bits);
    }
};

}  // namespace romfold::encoder
