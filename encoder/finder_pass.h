// The frame of every finder's pass over one slice.
//
// The token writer's state is taken into locals, position 0 of a block is
// written as a literal before any table is consulted (nothing lies before
// it), the finder's own loop encodes the positions below slice_end, and the
// writer state and the position reached are stored back. The last match may
// run past slice_end; the next pass, or the driver's tail, starts there.
#pragma once

#include <cstdint>

#include "encoder/block_state.h"
#include "encoder/compiler_hints.h"
#include "encoder/token_writer.h"

namespace romfold::encoder {

// `encode_positions(writer, pos, slice_end)` encodes from pos while it lies
// below slice_end and returns the position after the last item it wrote.
template <class EncodePositions>
ROMFOLD_FORCE_INLINE void run_finder_pass(BlockState& state, EncodePositions&& encode_positions) {
    TokenWriter writer(state);
    std::uint32_t pos = static_cast<std::uint32_t>(state.in_pos);
    if (pos == 0) {
        writer.emit_literal(state.in_base[0]);
        pos = 1;
    }
    pos = encode_positions(writer, pos, static_cast<std::uint32_t>(state.slice_end));
    writer.store(state);
    state.in_pos = static_cast<std::int32_t>(pos);
}

}  // namespace romfold::encoder
