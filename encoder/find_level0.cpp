// Match finder for level 0: one candidate per position from `position_table`,
// 2806 entries indexed by 8*b0 + 2*b1 + b2 of the next three bytes (0 for
// three zero bytes, 2805 for three 0xFF bytes). No hash table is needed; the
// many triples that share an index are told apart by the byte compare. Entries
// are 32-bit offsets from the block start, which the driver sets to 0 (the
// block's first byte) before every block.
#include "encoder/match_finders.h"
#include "encoder/single_candidate_pass.h"

namespace romfold::encoder {
namespace {

struct WeightedSum {
    static std::uint32_t of(const std::uint8_t* p) { return 8u * p[0] + 2u * p[1] + p[2]; }
};

}  // namespace

void find_level0(std::uint8_t* work) { run_single_candidate_pass<Level0Memory, WeightedSum>(work); }

}  // namespace romfold::encoder
