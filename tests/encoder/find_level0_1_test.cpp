// The one-candidate finders of levels 0 and 1.
#include <gtest/gtest.h>

#include <cstring>

#include "encoder_test_support.h"

namespace romfold::test {
namespace {

std::vector<Item> items_of(std::int32_t level, const Bytes& input) {
    const Encoded encoded = encode_at(level, input);
    EXPECT_FALSE(encoded.block.empty()) << "level " << level;
    return list_items(encoded.block, static_cast<std::uint32_t>(input.size()));
}

class SingleCandidate : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(SingleCandidate, AbcRepeatedIsThreeLiteralsAndOneMatchOf60) {
    const std::vector<Item> items = items_of(GetParam(), repeat("abc", 21));
    ASSERT_EQ(items.size(), 4u);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(items[i].is_match);
    EXPECT_TRUE(items[3].is_match);
    EXPECT_EQ(items[3].offset, 3u);
    EXPECT_EQ(items[3].length, 60u);
}

TEST_P(SingleCandidate, SourceAtMost8191BytesBack) {
    for (std::uint32_t distance : {8190u, 8191u, 8192u}) {
        Bytes input(distance + 4000, 0);
        const Bytes pattern = bytes_of("PQRSTUVWXYZ");
        std::memcpy(input.data() + 100, pattern.data(), pattern.size());
        std::memcpy(input.data() + 100 + distance, pattern.data(), pattern.size());
        const std::vector<Item> items = items_of(GetParam(), input);
        const Item* item = item_at(items, 100 + distance);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->is_match, distance <= 8191) << distance;
        if (distance <= 8191) {
            EXPECT_EQ(item->offset, distance);
        }
    }
}

TEST_P(SingleCandidate, PositionsInsideAMatchAreEntered) {
    // "KLM" first occurs inside the match that repeats "xKLMNOPQRS"; a later
    // "KLMN" is found against the position inside that match (latest wins).
    Bytes input = bytes_of("xKLMNOPQRS__xKLMNOPQRS__");
    input.resize(60, '.');
    const Bytes later = bytes_of("KLMN#");
    input.insert(input.end(), later.begin(), later.end());
    input.resize(140, ',');
    const std::vector<Item> items = items_of(GetParam(), input);
    const Item* item = item_at(items, 60);
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->is_match);
    EXPECT_EQ(item->offset, 60u - 13u);
    EXPECT_EQ(item->length, 4u);
}

TEST_P(SingleCandidate, MatchToTheEndOfTheBlockEndsIt) {
    // Nothing follows a match that reaches the block's end: no literal tail.
    const Bytes input = repeat("0123456789", 7);
    const std::vector<Item> items = items_of(GetParam(), input);
    ASSERT_EQ(items.size(), 11u);
    EXPECT_EQ(items.back().length, 60u);
}

INSTANTIATE_TEST_SUITE_P(Levels, SingleCandidate, ::testing::Values(0, 1), level_param_name);

TEST(FindLevel1, TriplesSharingAHashTakeTheSlotOver) {
    // "abc", then a triple with the same hash, then "abc" again: the slot now
    // names the other triple, so the lookup costs a literal, never a wrong
    // token; a third "abc" is then found against the second.
    const Bytes other = hash_colliders(bytes_of("abc"), 1).front();
    Bytes input = bytes_of("Qabcd#");
    input.insert(input.end(), other.begin(), other.end());
    const Bytes rest = bytes_of("%abce&abcf");
    input.insert(input.end(), rest.begin(), rest.end());
    input.resize(input.size() + 100, '=');
    const std::vector<Item> items = items_of(1, input);
    const Item* after_collision = item_at(items, 10);
    ASSERT_NE(after_collision, nullptr);
    EXPECT_FALSE(after_collision->is_match);
    const Item* found = item_at(items, 15);
    ASSERT_NE(found, nullptr);
    EXPECT_TRUE(found->is_match);
    EXPECT_EQ(found->offset, 5u);
    EXPECT_EQ(found->length, 3u);
}

TEST(FindLevel0, TriplesSharingAnIndexTakeTheEntryOver) {
    // 01 00 00, 00 04 00 and 00 00 08 all index entry 8. After "00 04 00" has
    // replaced "01 00 00", its next occurrence matches; "01 00 00" no longer does.
    Bytes input(32, 0xAA);
    const Bytes first{0x01, 0x00, 0x00, 0x55};
    const Bytes second{0x00, 0x04, 0x00, 0x66};
    auto put = [&](const Bytes& b) {
        input.insert(input.end(), b.begin(), b.end());
        input.push_back(0x77);
        input.push_back(0x78 + (input.size() & 7));
    };
    put(first);   // at 32
    put(second);  // at 38
    const std::uint32_t second_again = static_cast<std::uint32_t>(input.size());
    put(second);
    const std::uint32_t first_again = static_cast<std::uint32_t>(input.size());
    put(first);
    input.resize(input.size() + 100, 0xAA);
    const std::vector<Item> items = items_of(0, input);
    const Item* hit = item_at(items, second_again);
    ASSERT_NE(hit, nullptr);
    EXPECT_TRUE(hit->is_match);
    EXPECT_EQ(hit->offset, second_again - 38);
    const Item* miss = item_at(items, first_again);
    ASSERT_NE(miss, nullptr);
    EXPECT_FALSE(miss->is_match);
}

TEST(FindLevel0, ThreeFFBytesUseTheLastEntry) {
    Bytes input(20, 0x11);
    for (int copy = 0; copy < 2; ++copy) {
        for (std::uint8_t b : {0xFF, 0xFF, 0xFF, 0xFE, 0x22, 0x33}) input.push_back(b);
    }
    input.resize(80, 0x11);
    const std::vector<Item> items = items_of(0, input);
    const Item* item = item_at(items, 26);
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->is_match);
    EXPECT_EQ(item->offset, 6u);
}

}  // namespace
}  // namespace romfold::test
