// The first-of-nine finder of level 2.
#include <gtest/gtest.h>

#include <cstring>

#include "encoder_test_support.h"

namespace romfold::test {
namespace {

std::vector<Item> items_of(std::int32_t level, const Bytes& input) {
    const Encoded encoded = encode_at(level, input);
    EXPECT_FALSE(encoded.block.empty());
    return list_items(encoded.block, static_cast<std::uint32_t>(input.size()));
}

TEST(FindLevel2, AbcRepeatedIsFourLiteralsAndOneMatchOf59) {
    const std::vector<Item> items = items_of(2, repeat("abc", 21));
    ASSERT_EQ(items.size(), 5u);
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(items[i].is_match);
    EXPECT_TRUE(items[4].is_match);
    EXPECT_EQ(items[4].offset, 3u);
    EXPECT_EQ(items[4].length, 59u);
}

// 41 42 43 ... a triple with the hash of 41 42 43 but other bytes ... 41 42 43.
// The walk from the collider reaches position 0 through a 0 link.
TEST(FindLevel2, ZeroLinkInsideTheWalkIsPositionZero) {
    const std::vector<Bytes> colliders = hash_colliders(bytes_of("ABC"), 1);
    struct Case {
        std::string start;
        bool matched;
    };
    for (const Case& c : {Case{"ZBC", false}, Case{"ABC", true}}) {
        Bytes input = bytes_of(c.start + "defgh");
        input.insert(input.end(), colliders[0].begin(), colliders[0].end());
        const Bytes tail = bytes_of("ABCdefgh");
        input.insert(input.end(), tail.begin(), tail.end());
        input.resize(input.size() + 200, 0);
        const std::vector<Item> items = items_of(2, input);
        const Item* item = item_at(items, 11);
        ASSERT_NE(item, nullptr) << c.start;
        EXPECT_EQ(item->is_match, c.matched) << c.start;
        if (c.matched) {
            EXPECT_EQ(item->offset, 11u);
        }
    }
}

TEST(FindLevel2, NinePositionsAtMost) {
    // "abcdefgh" at 0 ... then `colliders` triples with its hash ... then "abcdefgh".
    struct Case {
        std::size_t colliders;
        bool matched;
    };
    for (const Case c : {Case{7, true}, Case{8, true}, Case{9, false}}) {
        const std::vector<Bytes> triples = hash_colliders(bytes_of("abc"), c.colliders);
        Bytes input = bytes_of("Qabcdefgh");
        for (const Bytes& t : triples) {
            input.insert(input.end(), t.begin(), t.end());
            input.push_back('|');
        }
        const std::uint32_t target = static_cast<std::uint32_t>(input.size());
        const Bytes word = bytes_of("abcdefgh");
        input.insert(input.end(), word.begin(), word.end());
        input.resize(input.size() * 5, 0);
        const std::vector<Item> items = items_of(2, input);
        const Item* item = item_at(items, target);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->is_match, c.matched) << c.colliders;
    }
}

TEST(FindLevel2, SourceAtMost8191BytesBack) {
    for (std::uint32_t distance : {8190u, 8191u, 8192u}) {
        Bytes input(distance + 4000, 0);
        const Bytes pattern = bytes_of("PQRSTUVWXYZ");
        std::memcpy(input.data() + 100, pattern.data(), pattern.size());
        std::memcpy(input.data() + 100 + distance, pattern.data(), pattern.size());
        const std::vector<Item> items = items_of(2, input);
        const Item* item = item_at(items, 100 + distance);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->is_match, distance <= 8191) << distance;
    }
}

}  // namespace
}  // namespace romfold::test
