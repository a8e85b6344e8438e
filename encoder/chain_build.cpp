#include "encoder/chain_build.h"

#include "encoder/byte_hash_tables.h"

namespace romfold::encoder {

void build_chain(const std::uint8_t* in, std::uint32_t in_len, std::uint16_t* hash_heads, std::uint16_t* chain) {
    const std::uint32_t hashed = in_len - 2;  // positions with two bytes behind them
    for (std::uint32_t i = 0; i < hashed; ++i) {
        const std::uint32_t h = three_byte_hash(in + i);
        chain[i] = hash_heads[h];
        hash_heads[h] = static_cast<std::uint16_t>(i);
    }
    chain[hashed] = 0;
    chain[hashed + 1] = 0;
}

}  // namespace romfold::encoder
