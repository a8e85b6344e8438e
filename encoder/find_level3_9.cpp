// Match finder for levels 3 to 9: the longest match along the hash chain.
//
// Algorithm
//
// The driver has linked every position to the previous one with the same
// three-byte hash (chain_build.h). For each position P the finder walks that
// chain from the nearest candidate towards older ones and keeps the longest
// match whose source lies at most 8191 bytes back; among equal lengths the
// nearest wins, because only a strictly longer match replaces the best.
//
// A candidate Q is worth a look only if it agrees with P where a longer match
// must agree: the two bytes at offsets best_len - 1 and best_len (at first,
// with best_len = 2, bytes 1 and 2). Passing candidates are then measured:
// four equal leading bytes go to the shared length measurement, three give a
// 3-byte match if nothing better is known yet.
//
// The effort is bounded by a step budget of level - 1 units: one unit for
// every 8 links that do not pass, and one for every candidate that passes and
// is measured. A position with no passing candidate follows at most 8 * level
// links. A match that runs to the end of the block ends the search at once.
//
// Optimizations
//
// - Walk sentinel: chain[0] is set to P before the walk. A walk that reaches
//   position 0 (a 0 link) examines it and then arrives at P itself, whose bytes
//   always pass; arriving at P ends the walk. So the link loop has no
//   end-of-chain test: one load of the link, the reach test and one 16-bit
//   compare a link.
// - The 8 links of a group are unrolled, and the budget is charged once per
//   group.
// - Links only lead further back (apart from the sentinel, which is P), so
//   once a link lies more than 8191 bytes back no later candidate can be
//   taken: a passing one would end the search and the others change nothing.
//   The walk stops at that link instead of spending the rest of its budget
//   on distant links, which also keeps it inside the recent part of the
//   chain, and a candidate that passes is always within reach. The test is
//   off the walk's critical path, which is the chain of dependent link loads.
// - Lengths 4 to 7 come from one word compare; only matches of 8 bytes and
//   more are compared in a loop.
// - Position, budget, best match and the writer state are locals for the
//   whole slice.
#include <cstdint>

#include "encoder/block_state.h"
#include "encoder/byte_order.h"
#include "encoder/compiler_hints.h"
#include "encoder/match_finders.h"
#include "encoder/match_length.h"
#include "encoder/token_writer.h"

namespace romfold::encoder {

void find_level3_9(std::uint8_t* work) {
    BlockState& state = block_state_of(work);
    std::uint16_t* const chain = reinterpret_cast<std::uint16_t*>(work);
    const std::uint8_t* const in = state.in_base;
    const std::uint8_t* const in_end = state.in_end;
    const std::uint32_t in_len = static_cast<std::uint32_t>(state.in_len);
    const std::uint32_t slice_end = static_cast<std::uint32_t>(state.slice_end);
    const std::int32_t level = state.level;
    state.slice_limit = in + slice_end;

    TokenWriter writer(state);
    std::uint32_t pos = static_cast<std::uint32_t>(state.in_pos);
    if (pos == 0) {
        writer.emit_literal(in[0]);
        pos = 1;
    }

    while (pos < slice_end) {
        const std::uint32_t first = chain[pos];
        // No earlier position with this hash (or only position 0), or the
        // nearest one is already out of reach: a literal.
        if (first == 0 || first + max_match_offset < pos) {
            writer.emit_literal(in[pos]);
            ++pos;
            continue;
        }
        chain[0] = static_cast<std::uint16_t>(pos);
        const std::uint8_t* const cur = in + pos;
        const std::uint32_t head = load_le32(cur);
        std::uint32_t best_len = 2;  // 2: no match yet
        std::uint32_t best_pos = 0;
        std::int32_t budget = level - 1;
        std::uint32_t candidate = pos;

        for (;;) {
            // Walk: the first candidate that agrees at best_len - 1 and best_len.
            const std::uint16_t wanted = load_u16(cur + best_len - 1);
            const std::uint8_t* const probe = in + best_len - 1;
            for (;;) {
                ROMFOLD_UNROLL(8)
                for (int link = 0; link < 8; ++link) {
                    candidate = chain[candidate];
                    if (candidate + max_match_offset < pos) goto emit;
                    if (load_u16(probe + candidate) == wanted) goto passed;
                }
                if (--budget < 0) goto emit;
            }
        passed:
            if (candidate == pos) goto emit;  // the sentinel: the chain is used up
            if (load_le32(in + candidate) == head) {
                const std::uint32_t length = match_length_after4(cur, in + candidate, in_end);
                if (pos + length == in_len) {  // nothing can beat a match to the end
                    best_len = length;
                    best_pos = candidate;
                    goto emit;
                }
                if (length > best_len) {
                    best_len = length;
                    best_pos = candidate;
                }
            } else if (best_len < 3 && in[candidate] == cur[0]) {
                best_len = 3;
                best_pos = candidate;
            }
            if (--budget < 0) goto emit;
        }

    emit:
        if (best_len == 2) {
            writer.emit_literal(*cur);
            ++pos;
        } else {
            writer.emit_match(pos - best_pos, best_len);
            pos += best_len;
        }
    }

    writer.store(state);
    state.in_pos = static_cast<std::int32_t>(pos);
}

}  // namespace romfold::encoder
