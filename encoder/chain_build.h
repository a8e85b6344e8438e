// Hash chains for levels 2 to 9, built over the whole block before matching.
//
// chain[i] is the latest position j < i with hash(j) == hash(i), or 0 when
// there is none. A 0 link is ambiguous (no position, or position 0); the
// finders treat a 0 head link as "no candidate" and a 0 met inside a walk as
// position 0. No distance bound is applied here; the finders apply it.
#pragma once

#include <cstdint>

namespace romfold::encoder {

// Fills `chain` (in_len entries) using `hash_heads`, which must be all 0 on
// entry and holds each hash's last position afterwards. in_len is 3 or more.
void build_chain(const std::uint8_t* in, std::uint32_t in_len, std::uint16_t* hash_heads, std::uint16_t* chain);

}  // namespace romfold::encoder
