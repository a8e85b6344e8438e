// The longest-match finder of levels 3 to 9, through the public call.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "encoder/byte_hash_tables.h"
#include "encoder_test_support.h"

namespace romfold::test {
namespace {

TEST(FindLevel3To9, AbcRepeatedIsFourLiteralsAndOneMatchToTheEnd) {
    const Encoded encoded = encode_at(9, repeat("abc", 160));
    EXPECT_EQ(encoded.block,
              (Bytes{0xFF, 0xFF, 0xFF, 0x0F, 0x61, 0x62, 0x63, 0x61, 0x17, 0x00, 0x0F, 0xFF, 0xD9, 0x01}));
}

TEST(FindLevel3To9, WalkReachesPositionZeroAndPrefersTheLongerMatch) {
    Bytes input = bytes_of("xyzCDEFG0123456789xyzBabcdefghijxyzCDEFG");
    input.insert(input.end(), 60, '.');
    ASSERT_EQ(input.size(), 100u);
    // A flag word of 32 literals, then the literals.
    Bytes expected(4 + 32, 0);
    std::copy(input.begin(), input.begin() + 32, expected.begin() + 4);
    for (std::uint8_t b : {0xFF, 0xFF, 0xFF, 0xBF, 0xFD, 0x00, 0x2E, 0x07, 0x00, 0x0F, 0x22}) expected.push_back(b);
    EXPECT_EQ(encode_at(9, input).block, expected);
}

// Items of `input` followed by a long run of zeros. The run makes the block
// compressible, and the first slice (7/8 of the room) reaches past `input`,
// so the items of the interesting part are written whatever their cost.
std::vector<Item> items_with_zero_tail(std::int32_t level, Bytes input) {
    const std::size_t size = input.size();
    input.resize(size * 5, 0);
    const Encoded encoded = encode_at(level, input);
    EXPECT_FALSE(encoded.block.empty());
    return list_items(encoded.block, static_cast<std::uint32_t>(input.size()));
}

// Random bytes with one 24-byte copy of [100, 124) placed `distance` later.
Bytes copy_at_distance(std::uint32_t distance) {
    Bytes input = random_bytes(distance + 400, distance);
    std::memcpy(input.data() + 100 + distance, input.data() + 100, 24);
    return input;
}

TEST(FindLevel3To9, SourceAtMost8191BytesBack) {
    struct Case {
        std::uint32_t distance;
        bool matched;
    };
    for (const Case c : {Case{8190, true}, Case{8191, true}, Case{8192, false}, Case{8193, false}}) {
        for (std::int32_t level : {3, 9}) {
            const std::vector<Item> items = items_with_zero_tail(level, copy_at_distance(c.distance));
            const Item* item = item_at(items, 100 + c.distance);
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(item->is_match, c.matched) << c.distance << " level " << level;
            if (c.matched) {
                EXPECT_EQ(item->offset, c.distance);
                EXPECT_EQ(item->length, 24u);
            }
        }
    }
}

TEST(FindLevel3To9, NearestOfEqualLengthsWins) {
    Bytes input = random_bytes(300, 9);
    const Bytes pattern = bytes_of("WXYZ1234");
    for (std::uint32_t at : {50u, 120u, 200u}) std::memcpy(input.data() + at, pattern.data(), 8);
    input[58] = 'A';
    input[128] = 'B';
    input[208] = 'C';
    const std::vector<Item> items = items_with_zero_tail(9, input);
    const Item* item = item_at(items, 200);
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->is_match);
    EXPECT_EQ(item->offset, 80u);
    EXPECT_EQ(item->length, 8u);
}

TEST(FindLevel3To9, LongerOlderMatchBeatsShorterNearerOne) {
    Bytes input = random_bytes(300, 10);
    const Bytes pattern = bytes_of("WXYZ123456789");
    std::memcpy(input.data() + 50, pattern.data(), 13);  // 13 bytes agree with the last copy
    std::memcpy(input.data() + 120, pattern.data(), 6);  // only 6 agree
    std::memcpy(input.data() + 200, pattern.data(), 13);
    input[126] = '#';
    input[213] = '!';
    input[63] = '?';
    const std::vector<Item> items = items_with_zero_tail(9, input);
    const Item* item = item_at(items, 200);
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->is_match);
    EXPECT_EQ(item->offset, 150u);
    EXPECT_EQ(item->length, 13u);
}

// "abcdefgh" at position 8, then `colliders` triples with the hash of "abc"
// but other bytes, then "abcdefgh" again: its source is link colliders + 1.
Bytes source_behind_colliders(std::size_t colliders) {
    const std::vector<Bytes> triples = hash_colliders(bytes_of("abc"), colliders);
    Bytes input = random_bytes(8, 1);
    const Bytes word = bytes_of("abcdefgh");
    input.insert(input.end(), word.begin(), word.end());
    for (const Bytes& t : triples) {
        input.insert(input.end(), t.begin(), t.end());
        input.push_back('|');  // keeps the triples apart
    }
    input.insert(input.end(), word.begin(), word.end());
    for (int i = 0; i < 40; ++i) input.push_back(static_cast<std::uint8_t>('A' + i % 26));
    return input;
}

std::size_t links_before(const Bytes& input, std::size_t from, std::size_t to) {
    encoder::generate_byte_hash_tables();
    const std::uint32_t h = encoder::three_byte_hash(input.data() + to);
    std::size_t count = 0;
    for (std::size_t i = from + 1; i < to; ++i) count += encoder::three_byte_hash(input.data() + i) == h ? 1 : 0;
    return count;
}

TEST(FindLevel3To9, StepBudgetBoundsTheLinksFollowed) {
    struct Case {
        std::int32_t level;
        std::size_t colliders;
        bool matched;
    };
    // A walk in which no candidate passes follows at most 8 * level links.
    for (const Case c : {Case{3, 23, true}, Case{3, 24, false}, Case{4, 31, true}, Case{4, 32, false},
                         Case{9, 71, true}, Case{9, 72, false}}) {
        const Bytes input = source_behind_colliders(c.colliders);
        const std::uint32_t target = static_cast<std::uint32_t>(8 + 3 + 4 * c.colliders + 5);
        ASSERT_EQ(links_before(input, 8, target), c.colliders);  // the chain is as built here
        const std::vector<Item> items = items_with_zero_tail(c.level, input);
        const Item* item = item_at(items, target);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->is_match, c.matched) << "level " << c.level << " colliders " << c.colliders;
    }
}

}  // namespace
}  // namespace romfold::test
