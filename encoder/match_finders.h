// The match finders, one per group of levels, and what a level runs.
//
// Each finder takes the work pointer (BlockState just below it, its table at
// it), encodes positions from in_pos while they lie below slice_end, and
// stores in_pos and the writer state back. The driver guarantees
// in_pos < slice_end <= in_len - 8 and the output room.
#pragma once

#include <cstdint>

#include "encoder/block_state.h"

namespace romfold::encoder {

using MatchFinder = void (*)(std::uint8_t* work);

void find_level0(std::uint8_t* work);
void find_level1(std::uint8_t* work);
void find_level2(std::uint8_t* work);
void find_level3_9(std::uint8_t* work);

// What differs between levels: how the tables are made ready for a block, and
// the finder that then runs over its slices.
struct LevelRoutines {
    void (*prepare_tables)(std::uint8_t* work, const BlockState& state);
    MatchFinder find;
};

// The routines of an effective level, 0 to 9.
const LevelRoutines& level_routines(std::int32_t level);

}  // namespace romfold::encoder
