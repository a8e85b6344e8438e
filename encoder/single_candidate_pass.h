// The pass shared by levels 0 and 1, which differ only in their table.
//
// Each keeps one table that remembers, per index of the next three bytes, the
// latest position that had that index. For each position the finder looks up
// its one remembered candidate and at once enters the current position in its
// place; the candidate gives a match if at least three bytes agree and it lies
// at most 8191 bytes back, otherwise the position is a literal. Fresh entries
// name position 0, so an untouched slot offers position 0 as a candidate. The
// positions inside an emitted match are entered too (those below in_len - 3),
// so later repeats of them are found.
//
// `Memory` is the handle layout of the level (encoder_handle.h), whose table
// holds `entries`; `Index` gives the entry of a position:
//     static std::uint32_t of(const std::uint8_t* p);
#pragma once

#include <cstdint>
#include <type_traits>

#include "encoder/block_state.h"
#include "encoder/byte_order.h"
#include "encoder/compiler_hints.h"
#include "encoder/encoder_handle.h"
#include "encoder/finder_pass.h"
#include "encoder/match_length.h"
#include "encoder/token_writer.h"

namespace romfold::encoder {

template <class Memory, class Index>
ROMFOLD_FORCE_INLINE void run_single_candidate_pass(std::uint8_t* work) {
    Memory& memory = memory_at<Memory>(work);
    BlockState& state = memory.header.state;
    auto* const table = memory.table.entries;
    using Entry = std::remove_reference_t<decltype(table[0])>;
    const std::uint8_t* const in = state.in_base;
    const std::uint8_t* const in_end = state.in_end;
    const std::uint32_t hash_limit = static_cast<std::uint32_t>(state.hash_end - in);

    run_finder_pass(state, [&](TokenWriter& writer, std::uint32_t pos, std::uint32_t slice_end) {
        while (pos < slice_end) {
            const std::uint8_t* const cur = in + pos;
            Entry& slot = table[Index::of(cur)];
            const std::uint32_t candidate = slot;
            slot = static_cast<Entry>(pos);
            // One branch decides literal or match: the distance test and the
            // three-byte compare are combined without a branch of their own.
            const std::uint32_t diff = load_le32(cur) ^ load_le32(in + candidate);
            const bool near = pos - candidate <= max_match_offset;
            if (near & ((diff & 0x00FFFFFF) == 0)) {
                const std::uint32_t length = diff == 0 ? match_length_after4(cur, in + candidate, in_end) : 3;
                writer.emit_match(pos - candidate, length);
                const std::uint32_t match_end = pos + length;
                const std::uint32_t enter_end = match_end < hash_limit ? match_end : hash_limit;
                for (std::uint32_t inner = pos + 1; inner < enter_end; ++inner) {
                    table[Index::of(in + inner)] = static_cast<Entry>(inner);
                }
                pos = match_end;
                continue;
            }
            writer.emit_literal(*cur);
            ++pos;
        }
        return pos;
    });
}

}  // namespace romfold::encoder
