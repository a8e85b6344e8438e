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
// four or more equal leading bytes give a match of that length, three give a
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
// - A passing candidate is measured by one 8-byte compare (the length of the
//   common start, 0 to 8, is a trailing-zero count) and kept or dropped with
//   conditional moves: whether it has 3, 4 or more equal bytes and whether
//   it beats the best are as good as random, and a branch on each cost more
//   than the compare. Only 8 equal bytes go on to the byte loop.
// - The walk is bound less by the latency of its dependent link loads than
//   by the branches that end it (a link out of reach, a passing candidate),
//   which the predictor cannot know: walking two interleaved streams of
//   links (through a table of links two steps ahead) made it no faster.
// - The walk is a function of its own that returns the best match; it is
//   forced inline, so that position, budget, best match and the writer state
//   stay in registers for the whole slice.
#include <cstdint>

#include "encoder/block_state.h"
#include "encoder/byte_order.h"
#include "encoder/compiler_hints.h"
#include "encoder/encoder_handle.h"
#include "encoder/finder_pass.h"
#include "encoder/match_finders.h"
#include "encoder/match_length.h"
#include "encoder/token_writer.h"

namespace romfold::encoder {
namespace {

struct Match {
    std::uint32_t length;  // 2: no match
    std::uint32_t source;  // position of the match's source
};

// The longest match for `pos` along the chain from `first`, its nearest
// same-hash position (within reach, not 0), within a budget of level - 1.
// Sets the walk sentinel chain[0] = pos.
ROMFOLD_FORCE_INLINE Match find_longest_match(std::uint16_t* chain, const std::uint8_t* in, std::uint32_t in_len,
                                              std::uint32_t pos, std::int32_t level) {
    chain[0] = static_cast<std::uint16_t>(pos);
    const std::uint8_t* const cur = in + pos;
    const std::uint8_t* const in_end = in + in_len;
    Match best{2, 0};
    std::int32_t budget = level - 1;
    std::uint32_t candidate = pos;

    for (;;) {
        // Walk: the first candidate that agrees at best.length - 1 and best.length.
        const std::uint16_t wanted = load_u16(cur + best.length - 1);
        const std::uint8_t* const probe = in + best.length - 1;
        for (;;) {
            ROMFOLD_UNROLL(8)
            for (int link = 0; link < 8; ++link) {
                candidate = chain[candidate];
                if (candidate + max_match_offset < pos) return best;
                if (load_u16(probe + candidate) == wanted) goto passed;
            }
            if (--budget < 0) return best;
        }
    passed:
        if (candidate == pos) return best;  // the sentinel: the chain is used up
        {
            // How many leading bytes agree decides, without a branch for
            // each case: 3 only counts while no match is known, 4 to 7
            // count when longer than the best, 8 goes on to the full length.
            std::uint32_t length = common_prefix_up_to8(cur, in + candidate);
            if (length == 8) {
                length = match_length_after8(cur, in + candidate, in_end);
                if (pos + length == in_len) return Match{length, candidate};  // nothing can beat a match to the end
            }
            const std::uint32_t counted = length >= 3 ? length : 0;
            const bool longer = counted > best.length;
            best.length = longer ? counted : best.length;
            best.source = longer ? candidate : best.source;
        }
        if (--budget < 0) return best;
    }
}

}  // namespace

void find_level3_9(std::uint8_t* work) {
    ChainMemory& memory = memory_at<ChainMemory>(work);
    BlockState& state = memory.header.state;
    std::uint16_t* const chain = memory.table.links;
    const std::uint8_t* const in = state.in_base;
    const std::uint32_t in_len = static_cast<std::uint32_t>(state.in_len);
    const std::int32_t level = state.level;

    run_finder_pass(state, [&](TokenWriter& writer, std::uint32_t pos, std::uint32_t slice_end) {
        while (pos < slice_end) {
            const std::uint32_t first = chain[pos];
            // No earlier position with this hash (or only position 0), or the
            // nearest one is already out of reach: a literal.
            if (first == 0 || first + max_match_offset < pos) {
                writer.emit_literal(in[pos]);
                ++pos;
                continue;
            }
            const Match best = find_longest_match(chain, in, in_len, pos, level);
            if (best.length == 2) {
                writer.emit_literal(in[pos]);
                ++pos;
            } else {
                writer.emit_match(pos - best.source, best.length);
                pos += best.length;
            }
        }
        return pos;
    });
}

}  // namespace romfold::encoder
