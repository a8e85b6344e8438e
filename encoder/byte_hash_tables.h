// The three byte tables of the three-byte hash used by levels 1 to 9.
//
// hash(i) = T0[b[i]] ^ T1[b[i+1]] ^ T2[b[i+2]]. Every value is below 32768,
// so three loads and two XORs give a 15-bit hash with no mask or multiply.
// The 256 values of T0 are all different, so two positions on one chain whose
// second and third bytes agree also agree in their first.
//
// The tables are generated once per process, by the first handle creation,
// and only read afterwards. They are the encoder's only global state.
#pragma once

#include <cstdint>

#include "encoder/compiler_hints.h"

namespace romfold::encoder {

inline constexpr std::uint32_t byte_hash_table_size = 256;

// T0, then T1, then T2.
extern std::uint16_t byte_hash_tables[3 * byte_hash_table_size];
extern std::uint32_t byte_hash_tables_ready;

// Fills the tables unless they are ready already.
void generate_byte_hash_tables();

ROMFOLD_FORCE_INLINE std::uint32_t three_byte_hash(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(byte_hash_tables[p[0]] ^ byte_hash_tables[byte_hash_table_size + p[1]] ^
                                      byte_hash_tables[2 * byte_hash_table_size + p[2]]);
}

}  // namespace romfold::encoder
