// The byte tables of the three-byte hash and the chain built from them.
#include "encoder/byte_hash_tables.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "encoder/chain_build.h"
#include "encoder_test_support.h"

namespace romfold::encoder {
namespace {

using test::Bytes;

struct Row {
    int table;
    int first;
    std::vector<std::uint16_t> values;
};

TEST(ByteHashTables, TellingRows) {
    const Row rows[] = {
        {0, 0, {0x42AA, 0x1B9E, 0x6201, 0x71E7, 0x7792, 0x59BE, 0x0F19, 0x2556}},
        {1, 0, {0x222F, 0x3E65, 0x6F81, 0x578F}},
        {2, 0, {0x2984, 0x509F, 0x5866, 0x78EF}},
        {2, 252, {0x5B29, 0x704B, 0x4428, 0x1D25}},
    };
    for (const Row& row : rows) {
        for (std::size_t i = 0; i < row.values.size(); ++i) {
            EXPECT_EQ(byte_hash_tables[row.table * 256 + row.first + i], row.values[i])
                << "T" << row.table << "[" << row.first + i << "]";
        }
    }
}

TEST(ByteHashTables, FifteenBitValuesAndDistinctFirstTable) {
    std::set<std::uint16_t> first;
    for (int i = 0; i < 768; ++i) EXPECT_LT(byte_hash_tables[i], 32768) << i;
    for (int i = 0; i < 256; ++i) first.insert(byte_hash_tables[i]);
    EXPECT_EQ(first.size(), 256u);
}

// The tables are constants of the program, usable before any handle exists.
static_assert(byte_hash_tables[0] == 0x42AA && byte_hash_tables[2 * 256 + 255] == 0x1D25);

std::vector<std::uint16_t> chain_of(const Bytes& in) {
    std::vector<std::uint16_t> heads(32768, 0);
    std::vector<std::uint16_t> chain(in.size(), 0xBEEF);
    build_chain(in.data(), static_cast<std::uint32_t>(in.size()), heads.data(), chain.data());
    return chain;
}

TEST(ChainBuild, RunLinksEachPositionToThePreviousOne) {
    const Bytes run(12, 0x55);
    EXPECT_EQ(chain_of(run), (std::vector<std::uint16_t>{0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 0, 0}));
}

TEST(ChainBuild, PositionZeroIsEnteredAsZeroAndTheLastTwoAreZero) {
    // abcXabcYabc: position 4 links to 0 (indistinguishable from none), 8 to 4;
    // the final "bc" positions get 0 although they repeat earlier bytes.
    const std::vector<std::uint16_t> chain = chain_of(test::bytes_of("abcXabcYabc"));
    EXPECT_EQ(chain[0], 0);
    EXPECT_EQ(chain[4], 0);
    EXPECT_EQ(chain[8], 4);
    EXPECT_EQ(chain[9], 0);
    EXPECT_EQ(chain[10], 0);
}

TEST(ChainBuild, FullBlockUsesTopPositions) {
    const Bytes zeros(65536, 0);
    const std::vector<std::uint16_t> chain = chain_of(zeros);
    EXPECT_EQ(chain[65533], 65532);
    EXPECT_EQ(chain[65534], 0);
    EXPECT_EQ(chain[65535], 0);
}

}  // namespace
}  // namespace romfold::encoder
