// Match finder for level 1: one candidate per position from `offset_table`,
// 32768 16-bit positions indexed by the 15-bit three-byte hash. The driver
// clears the table to 0 (position 0) before every block.
#include "encoder/byte_hash_tables.h"
#include "encoder/match_finders.h"
#include "encoder/single_candidate_pass.h"

namespace romfold::encoder {
namespace {

struct ThreeByteHash {
    static std::uint32_t of(const std::uint8_t* p) { return three_byte_hash(p); }
};

}  // namespace

void find_level1(std::uint8_t* work) { run_single_candidate_pass<Level1Memory, ThreeByteHash>(work); }

}  // namespace romfold::encoder
