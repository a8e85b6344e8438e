// The block format as the token writer writes it: flag words, literals, match
// tokens and the shared half-byte length bytes.
#include "encoder/token_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/support/bytes.h"

namespace romfold::encoder {
namespace {

using test::Bytes;

struct Op {
    bool match;
    std::uint32_t value;   // literal byte, or match offset
    std::uint32_t length;  // match length
};

Op lit(std::uint8_t b) { return {false, b, 0}; }
Op match(std::uint32_t offset, std::uint32_t length) { return {true, offset, length}; }

// Writes the items into a fresh block and closes it, as the driver does.
Bytes write_block(const std::vector<Op>& ops) {
    std::vector<std::uint8_t> out(4 + ops.size() * 8 + 16, 0xEE);
    BlockState state{};
    state.out_base = state.out_start = state.out_end = out.data();
    state.flag_slot = out.data();
    state.out_pos = out.data() + 4;
    state.flag_bits = 1;
    TokenWriter writer(state);
    for (const Op& op : ops) {
        if (op.match) {
            writer.emit_match(op.value, op.length);
        } else {
            writer.emit_literal(static_cast<std::uint8_t>(op.value));
        }
    }
    writer.close_flag_word();
    writer.store(state);
    return Bytes(out.data(), state.out_pos);
}

TEST(TokenWriter, LiteralsAndOneShortMatch) {
    // a, b, c, then offset 3 length 9: the block of abcabcabcabc.
    EXPECT_EQ(write_block({lit('a'), lit('b'), lit('c'), match(3, 9)}),
              (Bytes{0xFF, 0xFF, 0xFF, 0x1F, 0x61, 0x62, 0x63, 0x16, 0x00}));
}

TEST(TokenWriter, ThreeExtendedMatchesShareHalfBytes) {
    EXPECT_EQ(write_block({match(5, 12), match(1, 40), match(8191, 300)}),
              (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x27, 0x00, 0xF2, 0x07, 0x00, 0x0F, 0xF7, 0xFF, 0x0F, 0xFF, 0x29, 0x01}));
}

struct MatchCase {
    std::uint32_t offset;
    std::uint32_t length;
    Bytes bytes;  // what follows the flag word
};

class MatchEncoding : public ::testing::TestWithParam<MatchCase> {};

TEST_P(MatchEncoding, TokenAndExtension) {
    const MatchCase& c = GetParam();
    Bytes expected{0xFF, 0xFF, 0xFF, 0xFF};
    expected.insert(expected.end(), c.bytes.begin(), c.bytes.end());
    EXPECT_EQ(write_block({match(c.offset, c.length)}), expected);
}

INSTANTIATE_TEST_SUITE_P(Lengths, MatchEncoding,
                         ::testing::Values(MatchCase{1, 3, {0x00, 0x00}},                // offset 1: bits 15..3 are 0
                                           MatchCase{1, 9, {0x06, 0x00}},                // code 6, no extension
                                           MatchCase{1, 10, {0x07, 0x00, 0x00}},         // code 7, half-byte 0
                                           MatchCase{1, 24, {0x07, 0x00, 0x0E}},         // half-byte 14, no E
                                           MatchCase{1, 25, {0x07, 0x00, 0x0F, 0x00}},   // half-byte 15, E = 0
                                           MatchCase{1, 279, {0x07, 0x00, 0x0F, 0xFE}},  // E = 254
                                           MatchCase{1, 280, {0x07, 0x00, 0x0F, 0xFF, 0x15, 0x01}},  // 0xFF, then 277
                                           MatchCase{8191, 3, {0xF0, 0xFF}},                         // 0xFFF0 | code
                                           MatchCase{8191, 9, {0xF6, 0xFF}},
                                           MatchCase{4096, 65536, {0xFF, 0x7F, 0x0F, 0xFF, 0xFD, 0xFF}}),
                         [](const ::testing::TestParamInfo<MatchCase>& info) {
                             return "Offset" + std::to_string(info.param.offset) + "Length" +
                                    std::to_string(info.param.length);
                         });

TEST(TokenWriter, FullGroupStoresItsWordAndReservesTheNextSlotBehindIt) {
    std::vector<Op> ops(32, lit('x'));
    const Bytes block = write_block(ops);
    ASSERT_EQ(block.size(), 4u + 32u + 4u);
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 4), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(Bytes(block.end() - 4, block.end()), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));  // closing word, no items
}

TEST(TokenWriter, SlotOfTheNextGroupFollowsThe32ndItemsExtension) {
    std::vector<Op> ops(31, lit('x'));
    ops.push_back(match(2, 30));  // 32nd item: token, half-byte, E
    ops.push_back(lit('y'));
    const Bytes block = write_block(ops);
    // word, 31 literals, 07 00 0F 05 (token offset 2, half-byte 15, E = 5), word, y
    ASSERT_EQ(block.size(), 4u + 31u + 4u + 4u + 1u);
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 4), (Bytes{0x01, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Bytes(block.begin() + 35, block.begin() + 39), (Bytes{0x0F, 0x00, 0x0F, 0x05}));
    EXPECT_EQ(Bytes(block.begin() + 39, block.begin() + 43), (Bytes{0xFF, 0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(block.back(), 'y');
}

TEST(TokenWriter, ThirtyOneItemsAfterAFullGroupLeaveBitZeroAsFiller) {
    std::vector<Op> ops(63, lit('z'));
    const Bytes block = write_block(ops);
    ASSERT_EQ(block.size(), 4u + 32u + 4u + 31u);
    EXPECT_EQ(Bytes(block.begin() + 36, block.begin() + 40), (Bytes{0x01, 0x00, 0x00, 0x00}));
}

TEST(TokenWriter, EmptyBlockIsOneWordOfOnes) { EXPECT_EQ(write_block({}), (Bytes{0xFF, 0xFF, 0xFF, 0xFF})); }

TEST(TokenWriter, LoneExtendedMatchKeepsHighHalfZero) {
    EXPECT_EQ(write_block({lit('q'), match(1, 13)}), (Bytes{0xFF, 0xFF, 0xFF, 0x7F, 'q', 0x07, 0x00, 0x03}));
}

TEST(TokenWriter, HalfByteIsSharedAcrossGroups) {
    std::vector<Op> ops{match(1, 11)};  // opens the half-byte byte at offset 6
    for (int i = 0; i < 40; ++i) ops.push_back(lit('k'));
    ops.push_back(match(1, 22));  // second group: fills its high half
    const Bytes block = write_block(ops);
    EXPECT_EQ(block[6], 0xC1);
    // The second match appends no half-byte of its own: its token is the last item.
    EXPECT_EQ(Bytes(block.end() - 2, block.end()), (Bytes{0x07, 0x00}));
}

}  // namespace
}  // namespace romfold::encoder
