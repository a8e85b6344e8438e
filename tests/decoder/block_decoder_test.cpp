#include <gtest/gtest.h>
#include <romfold/fold_decoder.h>

#include <memory>

#include "tests/support/block_builder.h"
#include "tests/support/bytes.h"

namespace romfold::test {
namespace {

struct Decoded {
    FoldError error;
    FoldBlockResult result;
    Bytes output;
};

// Decodes from and into buffers of exactly the sizes given, so that the
// sanitizers see any read or write outside them.
Decoded decode(const Bytes& block, std::uint32_t expected_size, std::uint32_t flags = 0) {
    auto input = std::make_unique<std::uint8_t[]>(block.size());
    std::copy(block.begin(), block.end(), input.get());
    auto output = std::make_unique<std::uint8_t[]>(expected_size);
    FoldBlockResult result{};
    const FoldError error = FoldDecodeBlock(input.get(), block.size(), output.get(), expected_size, flags, &result);
    return {error, result, Bytes(output.get(), output.get() + result.produced)};
}

Bytes flag_word(std::uint32_t value) {
    Bytes bytes;
    append_le32(bytes, value);
    return bytes;
}

// One group of 32 literals "a", the slot of the next group right behind them.
Bytes full_group_of_literals() { return concat(flag_word(0), Bytes(32, 'a')); }

TEST(DecoderBlock, LiteralsAndAnOverlappingMatch) {
    const Decoded decoded = decode(abc_block, 12);
    EXPECT_EQ(decoded.error, FOLD_OK);
    EXPECT_EQ(decoded.result.offset, 9u);
    EXPECT_EQ(decoded.output, bytes_of("abcabcabcabc"));

    BlockBuilder builder;
    builder.literals(bytes_of("abc")).match(3, 9);
    EXPECT_EQ(builder.finish(), abc_block) << "test builder disagrees with the hand-made bytes";
}

TEST(DecoderBlock, ExtendedMatchesSharingHalfBytes) {
    // "x", then (1, 8000) and (1, 200) to make 8201 bytes and leave no
    // half-byte pending, then three extended matches, the first two sharing one
    // half-byte byte and the last holding one that nothing shares.
    const Bytes block = {
        0xFF, 0xFF, 0xFF, 0x7F,              // flags 0 1 1 1 1 1, filler
        0x78,                                // literal x
        0x07, 0x00, 0xFF, 0xFF, 0x3D, 0x1F,  // (1, 8000): half 15 here, FF, V 7997
        0x07, 0x00, 0xAF,                    // (1, 200): half 15 above, E 175
        0x27, 0x00, 0xF2, 0x07, 0x00, 0x0F,  // (5, 12), (1, 40)
        0xF7, 0xFF, 0x0F, 0xFF, 0x29, 0x01,  // (8191, 300)
    };
    const Decoded decoded = decode(block, 8553);
    EXPECT_EQ(decoded.error, FOLD_OK);
    EXPECT_EQ(decoded.output, Bytes(8553, 'x'));

    BlockBuilder builder;
    builder.literal('x').match(1, 8000).match(1, 200).match(5, 12).match(1, 40).match(8191, 300);
    EXPECT_EQ(builder.finish(), block) << "test builder disagrees with the hand-made bytes";
}

TEST(DecoderBlock, LengthEncodings) {
    struct Case {
        std::uint32_t length;
        Bytes token_and_extension;
    };
    const Case cases[] = {
        {3, {0x00, 0x00}},
        {9, {0x06, 0x00}},
        {10, {0x07, 0x00, 0x00}},
        {24, {0x07, 0x00, 0x0E}},
        {25, {0x07, 0x00, 0x0F, 0x00}},
        {279, {0x07, 0x00, 0x0F, 0xFE}},
        {280, {0x07, 0x00, 0x0F, 0xFF, 0x15, 0x01}},
        {65535, {0x07, 0x00, 0x0F, 0xFF, 0xFC, 0xFF}},
        // The long form of a length that has a shorter one is taken as written.
        {10, {0x07, 0x00, 0x0F, 0xFF, 0x07, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("length " + std::to_string(c.length));
        const Bytes block = concat(Bytes{0xFF, 0xFF, 0xFF, 0x7F, 'a'}, c.token_and_extension);
        const Decoded decoded = decode(block, c.length + 1);
        EXPECT_EQ(decoded.error, FOLD_OK);
        EXPECT_EQ(decoded.output, Bytes(c.length + 1, 'a'));
    }
}

TEST(DecoderBlock, OffsetsAndOverlappingCopies) {
    struct Case {
        std::uint32_t offset;
        std::uint32_t length;
    };
    const Case cases[] = {
        {1, 40},  {2, 7},    {3, 9},     {7, 30},   {8, 8},      {8, 20},    {9, 30},
        {16, 17}, {100, 50}, {500, 500}, {8000, 3}, {8191, 300}, {8192, 10}, {1, 65535 - 9000},
    };
    const Bytes prefix = random_bytes(9000, 7);
    for (const Case& c : cases) {
        SCOPED_TRACE("offset " + std::to_string(c.offset) + " length " + std::to_string(c.length));
        BlockBuilder builder;
        builder.literals(prefix).match(c.offset, c.length).literal('z');
        const Bytes block = builder.finish();
        const Decoded decoded = decode(block, std::uint32_t(builder.output().size()));
        EXPECT_EQ(decoded.error, FOLD_OK);
        EXPECT_EQ(decoded.output, builder.output());
    }
}

TEST(DecoderBlock, GroupEnds) {
    struct Case {
        const char* name;
        Bytes block;
        Bytes output;
    };
    const Bytes literals_31(31, 'a');
    const Case cases[] = {
        {"no items: one all-filler word", {0xFF, 0xFF, 0xFF, 0xFF}, {}},
        {"31 items: bit 0 is filler", concat(flag_word(1), literals_31), literals_31},
        {"32 items: closing word", concat(full_group_of_literals(), flag_word(0xFFFFFFFF)), Bytes(32, 'a')},
        {"33 items: second group of one", concat(concat(full_group_of_literals(), flag_word(0x7FFFFFFF)), {'b'}),
         concat(Bytes(32, 'a'), {'b'})},
        // Item 32 of the first group takes the low half of 0x32 (length 12);
        // the only item of the second group takes its high half (length 13).
        {"half-byte shared across groups",
         concat(concat(flag_word(1), literals_31), {0x07, 0x00, 0x32, 0xFF, 0xFF, 0xFF, 0xFF, 0x07, 0x00}),
         Bytes(31 + 12 + 13, 'a')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded decoded = decode(c.block, std::uint32_t(c.output.size()));
        EXPECT_EQ(decoded.error, FOLD_OK);
        EXPECT_EQ(decoded.output, c.output);
    }
}

TEST(DecoderBlock, FaultsAreFoundWhereTheyLie) {
    struct Case {
        const char* name;
        Bytes block;
        std::uint32_t expected_size;
        FoldError error;
        std::uint32_t offset;
        std::uint32_t produced;
    };
    const Bytes group = full_group_of_literals();
    const Case cases[] = {
        {"empty block", {}, 1, FOLD_FLAG_WORD_CUT_OFF, 0, 0},
        {"empty block for no output", {}, 0, FOLD_FLAG_WORD_CUT_OFF, 0, 0},
        {"flag word of 3 bytes", {0xFF, 0xFF, 0xFF}, 1, FOLD_FLAG_WORD_CUT_OFF, 0, 0},
        {"full group without closing word", group, 32, FOLD_FLAG_WORD_CUT_OFF, 36, 32},
        {"full group without next flag word", group, 33, FOLD_FLAG_WORD_CUT_OFF, 36, 32},
        {"closing word cut off", concat(group, {0xFF, 0xFF}), 32, FOLD_FLAG_WORD_CUT_OFF, 36, 32},
        {"literals cut off", {0xFF, 0xFF, 0xFF, 0x0F, 'a', 'b'}, 5, FOLD_LITERAL_CUT_OFF, 6, 2},
        {"first literal missing", {0, 0, 0, 0}, 1, FOLD_LITERAL_CUT_OFF, 4, 0},
        {"token of one byte", {0xFF, 0xFF, 0xFF, 0x7F, 'a', 0x16}, 10, FOLD_TOKEN_CUT_OFF, 5, 1},
        {"token missing, literal flagged after it", {0xFF, 0xFF, 0xFF, 0x5F, 'a'}, 10, FOLD_TOKEN_CUT_OFF, 5, 1},
        {"clean end, output short", {0xFF, 0xFF, 0xFF, 0x7F, 'a'}, 5, FOLD_OUTPUT_TOO_SHORT, 5, 1},
        {"abc block for 13 bytes", abc_block, 13, FOLD_OUTPUT_TOO_SHORT, 9, 12},
        {"closing word, output short", concat(group, flag_word(0xFFFFFFFF)), 33, FOLD_OUTPUT_TOO_SHORT, 40, 32},
        {"half-byte byte missing", {0xFF, 0xFF, 0xFF, 0x7F, 'a', 0x07, 0x00}, 20, FOLD_LENGTH_CUT_OFF, 7, 1},
        {"byte E missing", {0xFF, 0xFF, 0xFF, 0x7F, 'a', 0x07, 0x00, 0x0F}, 30, FOLD_LENGTH_CUT_OFF, 8, 1},
        {"16-bit length cut off",
         {0xFF, 0xFF, 0xFF, 0x7F, 'a', 0x07, 0x00, 0x0F, 0xFF, 0x15},
         300,
         FOLD_LENGTH_CUT_OFF,
         9,
         1},
        {"offset 2 after one byte", {0xFF, 0xFF, 0xFF, 0x7F, 'a', 0x08, 0x00}, 4, FOLD_OFFSET_BEFORE_START, 5, 1},
        {"match as first item", {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}, 3, FOLD_OFFSET_BEFORE_START, 4, 0},
        {"abc block for 11 bytes", abc_block, 11, FOLD_OUTPUT_TOO_LONG, 7, 3},
        {"extended match one byte too long",
         {0xFF, 0xFF, 0xFF, 0x7F, 'a', 0x07, 0x00, 0x00},
         10,
         FOLD_OUTPUT_TOO_LONG,
         5,
         1},
        {"byte after the last item", concat(abc_block, {0x00}), 12, FOLD_TRAILING_BYTES, 9, 12},
        {"match after the output is complete", abc_block, 3, FOLD_TRAILING_BYTES, 7, 3},
        {"byte after the closing word", concat(concat(group, flag_word(0xFFFFFFFF)), {0x00}), 32, FOLD_TRAILING_BYTES,
         40, 32},
        {"filler bit 0 is 0", {0xFE, 0xFF, 0xFF, 0x1F, 'a', 'b', 'c', 0x16, 0x00}, 12, FOLD_BAD_FILLER, 0, 12},
        {"literal where filler is due", abc_block, 2, FOLD_BAD_FILLER, 0, 2},
        {"closing word not all ones", concat(group, flag_word(0xFFFFFFFE)), 32, FOLD_BAD_FILLER, 36, 32},
        {"unshared half-byte with high half set",
         {0xFF, 0xFF, 0xFF, 0x7F, 'a', 0x07, 0x00, 0x10},
         11,
         FOLD_BAD_FILLER,
         7,
         11},
        {"no output, filler word with a 0", {0xFF, 0xFF, 0xFF, 0x7F}, 0, FOLD_BAD_FILLER, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded decoded = decode(c.block, c.expected_size);
        EXPECT_EQ(decoded.error, c.error);
        EXPECT_EQ(decoded.result.offset, c.offset);
        EXPECT_EQ(decoded.result.produced, c.produced);

        // Lenient mode stops looking once the output is complete: the faults
        // found after that point go, the others stay as they are.
        const Decoded lenient = decode(c.block, c.expected_size, FOLD_LENIENT);
        if (c.produced == c.expected_size) {
            EXPECT_EQ(lenient.error, FOLD_OK);
            EXPECT_EQ(lenient.output, decoded.output);
        } else {
            EXPECT_EQ(lenient.error, c.error);
            EXPECT_EQ(lenient.result.offset, c.offset);
            EXPECT_EQ(lenient.result.produced, c.produced);
        }
    }
}

// Near the end of the output the chunked copies must give way to exact ones:
// 29 literals fill all but 3 bytes of a 32-byte output, and a 3-byte match
// from 16 back ends it (the block has plenty of bytes after it, so that the
// whole-group loop runs).
TEST(DecoderBlock, CopiesStayInsideTheOutput) {
    const Bytes literals = random_bytes(29, 5);
    const Bytes items = concat(concat(flag_word(0x00000007), literals), {0x78, 0x00});
    Bytes expected = literals;
    for (int i = 0; i < 3; ++i) expected.push_back(expected[expected.size() - 16]);
    for (const std::uint32_t flags : {0u, std::uint32_t(FOLD_LENIENT)}) {
        SCOPED_TRACE(flags == 0 ? "strict" : "lenient");
        const Decoded decoded = decode(concat(items, Bytes(300, 0)), 32, flags);
        EXPECT_EQ(decoded.error, flags == 0 ? FOLD_TRAILING_BYTES : FOLD_OK);
        EXPECT_EQ(decoded.output, expected);
    }
}

TEST(DecoderBlock, NullBuffersOnlyWithoutBytes) {
    const std::uint8_t byte = 0;
    std::uint8_t out = 0;
    FoldBlockResult result{};
    EXPECT_EQ(FoldDecodeBlock(nullptr, 4, &out, 1, 0, &result), FOLD_BAD_ARGUMENT);
    EXPECT_EQ(FoldDecodeBlock(&byte, 1, nullptr, 1, 0, &result), FOLD_BAD_ARGUMENT);
    EXPECT_EQ(result.produced, 0u);
    // No bytes on either side: the lenient mode has nothing to check, the
    // strict one misses the closing flag word.
    EXPECT_EQ(FoldDecodeBlock(nullptr, 0, nullptr, 0, FOLD_LENIENT, nullptr), FOLD_OK);
    EXPECT_EQ(FoldDecodeBlock(nullptr, 0, nullptr, 0, 0, nullptr), FOLD_FLAG_WORD_CUT_OFF);
}

// A block of several groups with literal runs, short, extended and long
// matches, and half-bytes shared within and across groups.
BlockBuilder varied_block(std::uint32_t seed, size_t target_size) {
    BlockBuilder builder;
    const Bytes noise = random_bytes(target_size + 64, seed);
    const Bytes choices = random_bytes(target_size, seed + 1);
    builder.literals(Bytes(noise.begin(), noise.begin() + 16));
    size_t step = 0;
    while (builder.output().size() < target_size) {
        const std::uint8_t choice = choices[step++ % choices.size()];
        const size_t room = target_size - builder.output().size();
        const std::uint32_t reach = std::uint32_t(std::min<size_t>(builder.output().size(), 8192));
        std::uint32_t length = 0;
        switch (choice % 5) {
            case 0: length = 3 + choice % 7; break;
            case 1: length = 10 + choice % 15; break;
            case 2: length = 25 + choice; break;
            case 3: length = 280 + choice * 7u; break;
            default: break;
        }
        if (length == 0 || length > room) {
            builder.literal(noise[step % noise.size()]);
        } else {
            builder.match(1 + (choice * 977u + std::uint32_t(step)) % reach, length);
        }
    }
    return builder;
}

TEST(DecoderBlock, VariedBlocksDecodeToTheirItems) {
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        BlockBuilder builder = varied_block(seed, seed == 20 ? 65536 : 3000 + seed * 500);
        const Bytes block = builder.finish();
        const Decoded decoded = decode(block, std::uint32_t(builder.output().size()));
        ASSERT_EQ(decoded.error, FOLD_OK);
        EXPECT_EQ(decoded.output, builder.output());
    }
}

TEST(DecoderBlock, EveryTruncationIsRefused) {
    BlockBuilder builder = varied_block(3, 2000);
    const Bytes block = builder.finish();
    const std::uint32_t size = std::uint32_t(builder.output().size());
    for (size_t cut = 0; cut < block.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        const Decoded decoded = decode(Bytes(block.begin(), block.begin() + cut), size);
        ASSERT_NE(decoded.error, FOLD_OK);
        ASSERT_LE(decoded.result.offset, cut);
        ASSERT_TRUE(std::equal(decoded.output.begin(), decoded.output.end(), builder.output().begin()));
    }
}

TEST(DecoderBlock, CorruptedBlocksStayInBounds) {
    BlockBuilder builder = varied_block(5, 4000);
    const Bytes block = builder.finish();
    const Bytes noise = random_bytes(3 * 4000, 11);
    for (size_t round = 0; round < 4000; ++round) {
        Bytes corrupted = block;
        const size_t at = (size_t(noise[3 * round]) << 8 | noise[3 * round + 1]) % block.size();
        corrupted[at] ^= std::uint8_t(noise[3 * round + 2] | 1);
        const std::uint32_t expected_size = std::uint32_t(builder.output().size()) - 8 + round % 16;
        const Decoded decoded = decode(corrupted, expected_size);
        ASSERT_LE(decoded.result.produced, expected_size);
        ASSERT_LE(decoded.result.offset, corrupted.size());
        if (decoded.error == FOLD_OK) {
            ASSERT_EQ(decoded.result.produced, expected_size);
            ASSERT_EQ(decoded.result.offset, corrupted.size());
        }
    }
}

}  // namespace
}  // namespace romfold::test
