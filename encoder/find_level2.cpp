// Match finder for level 2: the first of at most nine chain candidates.
//
// For each position the finder looks at the head link and up to 8 further
// links of the prebuilt hash chain and takes the first candidate whose second
// and third bytes agree with the current position's. That one candidate gives
// a match if its first byte agrees too and it lies at most 8191 bytes back;
// otherwise the position is a literal. No two candidates are weighed against
// each other and no table changes, apart from the walk sentinel in chain[0]:
// a walk that passes position 0 (a 0 link inside the walk) arrives back at
// the current position, which then counts as no candidate.
//
// The nine tests are unrolled, one 16-bit compare each, with no counter.
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

void find_level2(std::uint8_t* work) {
    ChainMemory& memory = memory_at<ChainMemory>(work);
    BlockState& state = memory.header.state;
    std::uint16_t* const chain = memory.table.links;
    const std::uint8_t* const in = state.in_base;
    const std::uint8_t* const in_end = state.in_end;

    run_finder_pass(state, [&](TokenWriter& writer, std::uint32_t pos, std::uint32_t slice_end) {
        while (pos < slice_end) {
            const std::uint8_t* const cur = in + pos;
            std::uint32_t candidate = chain[pos];
            if (candidate == 0) goto literal;  // a head link of 0 is never a candidate
            {
                const std::uint16_t wanted = load_u16(cur + 1);
                if (load_u16(in + candidate + 1) != wanted) {
                    chain[0] = static_cast<std::uint16_t>(pos);
                    ROMFOLD_UNROLL(8)
                    for (int link = 0; link < 8; ++link) {
                        candidate = chain[candidate];
                        if (load_u16(in + candidate + 1) == wanted) goto found;
                    }
                    goto literal;
                found:
                    if (candidate == pos) goto literal;  // came round through the sentinel
                }
                if (in[candidate] != cur[0] || pos - candidate > max_match_offset) goto literal;
                const std::uint32_t length =
                    cur[3] != in[candidate + 3] ? 3 : match_length_after4(cur, in + candidate, in_end);
                writer.emit_match(pos - candidate, length);
                pos += length;
                continue;
            }
        literal:
            writer.emit_literal(*cur);
            ++pos;
        }
        return pos;
    });
}

}  // namespace romfold::encoder
