#include "encoder/byte_hash_tables.h"

namespace romfold::encoder {

std::uint16_t byte_hash_tables[3 * byte_hash_table_size];
std::uint32_t byte_hash_tables_ready = 0;

namespace {

// Shift right copying the sign bit, on the word taken as signed.
std::uint32_t arithmetic_shift_right(std::uint32_t x, int n) {
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(x) >> n);
}

}  // namespace

// Two words carry over from value to value; each value takes 32 rounds of a
// small add-xor-shift mix of them and keeps 15 bits. Every addition wraps.
void generate_byte_hash_tables() {
    if (byte_hash_tables_ready != 0) return;
    std::uint32_t a = 0x13579BDF;
    std::uint32_t b = 0x87654321;
    for (std::uint16_t& value : byte_hash_tables) {
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
    byte_hash_tables_ready = 1;
}

}  // namespace romfold::encoder
