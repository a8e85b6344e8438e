// The match finders, one per group of levels. Each takes the work pointer
// (BlockState just below it, its table at it), encodes positions from in_pos
// while they lie below slice_end, and stores in_pos and the writer state back.
// The driver guarantees in_pos < slice_end <= in_len - 8 and the output room.
#pragma once

#include <cstdint>

namespace romfold::encoder {

void find_level0(std::uint8_t* work);
void find_level1(std::uint8_t* work);
void find_level2(std::uint8_t* work);
void find_level3_9(std::uint8_t* work);

}  // namespace romfold::encoder
