// The three byte tables of the three-byte hash used by levels 1 to 9.
//
// hash(i) = T0[b[i]] ^ T1[b[i+1]] ^ T2[b[i+2]]. Every value is below 32768,
// so three loads and two XORs give a 15-bit hash with no mask or multiply.
// The 256 values of T0 are all different, so two positions on one chain whose
// second and third bytes agree also agree in their first.
//
// The values come from a fixed mix of two seeds and are computed by the
// compiler: the tables are read-only data of the program, shared by every
// handle and thread, and no call has to fill them first.
#pragma once

#include <cstdint>

#include "encoder/compiler_hints.h"

namespace romfold::encoder {

inline constexpr std::uint32_t byte_hash_table_size = 256;

struct ByteHashTables {
    std::uint16_t values[3 * byte_hash_table_size];  // T0, then T1, then T2
};

// Two words carry over from value to value; each value takes 32 rounds of a
// small add-xor-shift mix of them and keeps 15 bits. Every addition wraps;
// the right shifts copy the sign bit, taking the word as signed.
constexpr ByteHashTables generate_byte_hash_tables() {
    auto arithmetic_shift_right = [](std::uint32_t x, int n) {
        return static_cast<std::uint32_t>(static_cast<std::int32_t>(x) >> n);
    };
    ByteHashTables tables{};
    std::uint32_t a = 0x13579BDF;
    std::uint32_t b = 0x87654321;
    for (std::uint16_t& value : tables.values) {
        std::uint32_t k0 = a;
        std::uint32_t k1 = b;
        std::uint32_t sum = 0;
        for (int step = 0; step < 32; ++step) {
            sum += 0x9E3779B9;
            k1 += sum;
            k0 += sum;
            a += (arithmetic_shift_right(b, 5) + k0) ^ (k1 + (b << 3)) ^ (sum + b);
            b += (arithmetic_shift_right(a, 5) + k1) ^ (k0 + (a << 3)) ^ (sum + a);
        }
        a += b;
        value = static_cast<std::uint16_t>(a & 0x7FFF);
    }
    return tables;
}

inline constexpr ByteHashTables byte_hash_table_values = generate_byte_hash_tables();

// T0, then T1, then T2, as one array of 768 values.
inline constexpr const std::uint16_t (&byte_hash_tables)[3 * byte_hash_table_size] = byte_hash_table_values.values;

ROMFOLD_FORCE_INLINE std::uint32_t three_byte_hash(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(byte_hash_tables[p[0]] ^ byte_hash_tables[byte_hash_table_size + p[1]] ^
                                      byte_hash_tables[2 * byte_hash_table_size + p[2]]);
}

}  // namespace romfold::encoder
