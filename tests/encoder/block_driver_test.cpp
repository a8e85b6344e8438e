// The compression call's result rules, the output budget, the literal tail and
// progress reporting.
#include "encoder/block_driver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "encoder_test_support.h"

namespace romfold::test {
namespace {

struct ResultCase {
    const char* name;
    std::int32_t max_len;
    Bytes input;
    std::int32_t in_len;    // passed length (may differ from the buffer's)
    std::int32_t capacity;  // the output buffer is exactly this large (at least 1)
    bool null_out;
    bool null_in;
    std::int32_t expected;
};

std::vector<ResultCase> result_cases() {
    const Bytes zeros33(33, 0);
    const Bytes zeros100(100, 0);
    const Bytes big(65537, 0);
    const Bytes random1000 = random_bytes(1000, 8);
    return {
        {"empty input", 65536, zeros100, 0, 100, false, false, 0},
        {"eight bytes", 65536, zeros100, 8, 100, false, false, 8},
        {"nine bytes, capacity lowered to 8", 65536, zeros100, 9, 100, false, false, 9},
        {"negative length", 65536, zeros100, -5, 100, false, false, -5},
        {"above the handle's maximum", 65536, big, 65537, 70000, false, false, 65537},
        {"above a smaller maximum", 1000, random1000, 1000, 1000, false, false, 1000},
        {"null output", 65536, zeros100, 100, 100, true, false, 100},
        {"null input", 65536, zeros100, 100, 100, false, true, 100},
        {"capacity 7", 65536, zeros100, 100, 7, false, false, 100},
        {"capacity 31: first budget 16", 65536, zeros33, 33, 31, false, false, 33},
        {"capacity 32: first budget 17", 65536, zeros33, 33, 32, false, false, 10},
        {"32 bytes are never compressed", 65536, Bytes(32, 0), 32, 100, false, false, 32},
        {"random data does not shrink", 65536, random1000, 1000, 2000, false, false, 1000},
        {"budget runs out", 65536, random1000, 1000, 600, false, false, 1000},
    };
}

TEST(CompressionResult, Rules) {
    for (const ResultCase& c : result_cases()) {
        Encoder encoder(9, static_cast<std::uint32_t>(c.max_len));
        std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[c.capacity > 0 ? c.capacity : 1]);
        const std::int32_t result = FoldEncode(encoder.handle(), c.null_out ? nullptr : out.get(), c.capacity,
                                               c.null_in ? nullptr : c.input.data(), c.in_len);
        EXPECT_EQ(result, c.expected) << c.name;
    }
}

TEST(CompressionResult, BadHandleGivesZero) {
    const Bytes input = text_like(1000, 1);
    Bytes out(1000);
    EXPECT_EQ(FoldEncode(nullptr, out.data(), 1000, input.data(), 1000), 0);
    alignas(8) std::uint8_t junk[256] = {};
    EXPECT_EQ(FoldEncode(reinterpret_cast<EncoderHandle*>(junk), out.data(), 1000, input.data(), 1000), 0);
}

TEST(CompressionResult, ThirtyThreeZerosAsOneFlagWordTwoLiteralsAndAMatch) {
    const Encoded encoded = encode_at(9, Bytes(33, 0), 32);
    EXPECT_EQ(encoded.block, (Bytes{0xFF, 0xFF, 0xFF, 0x3F, 0x00, 0x00, 0x07, 0x00, 0x0F, 0x06}));
}

TEST(CompressionResult, CompressedBlockIsAtLeastTwoBytesShorter) {
    // The capacity is lowered to in_len - 1, and only sizes below it count.
    for (std::size_t size : {33u, 100u, 1000u, 65536u}) {
        for (std::int32_t level : {0, 2, 9}) {
            const Bytes input = runs(size, static_cast<std::uint32_t>(size));
            const Encoded encoded = encode_at(level, input, static_cast<std::int32_t>(size) + 50);
            if (!encoded.block.empty()) {
                EXPECT_LE(encoded.block.size(), size - 2);
            }
        }
    }
}

TEST(OutputBudget, SevenEighthsOfTheRoomAfterEightBytes) {
    struct Case {
        std::int32_t capacity;
        std::int32_t written;
        std::int32_t budget;
    };
    std::uint8_t buffer[1];
    for (const Case c : {Case{32, 4, 17}, Case{31, 4, 16}, Case{65535, 4, 57332}, Case{20, 4, 7}, Case{12, 4, 0},
                         Case{11, 4, -1}, Case{8, 4, -4}}) {
        encoder::BlockState state{};
        state.out_base = buffer;
        state.out_pos = buffer + c.written;
        EXPECT_EQ(encoder::slice_budget(state, c.capacity), c.budget) << c.capacity;
    }
}

TEST(OutputBudget, UnfinishedBlockReportsWhatItConsumed) {
    // Through the driver directly: a budget of 16 or less encodes nothing and
    // still closes the flag word.
    Encoder encoder(9);
    const Bytes input(100, 0);
    Bytes out(20);
    std::int32_t consumed = -1;
    const std::int32_t size =
        encoder::encode_block(encoder.handle(), out.data(), 20, input.data(), 100, &consumed, nullptr, nullptr, 0, 9);
    EXPECT_EQ(size, 4);
    EXPECT_EQ(consumed, 0);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(LiteralTail, LastEightBytesNeverStartAMatch) {
    // 32 zeros, QRSTUVWX, QRSTUVWX: the repeat lies in the last 8 bytes, so
    // it is written by the tail as literals at every level.
    Bytes input(32, 0);
    for (int copy = 0; copy < 2; ++copy) {
        for (char c : std::string("QRSTUVWX")) input.push_back(static_cast<std::uint8_t>(c));
    }
    for (std::int32_t level = 0; level <= 9; ++level) {
        const Encoded encoded = encode_at(level, input);
        ASSERT_FALSE(encoded.block.empty()) << level;
        const std::vector<Item> items = list_items(encoded.block, 48);
        for (std::uint32_t position = 40; position < 48; ++position) {
            const Item* item = item_at(items, position);
            ASSERT_NE(item, nullptr) << "level " << level << " position " << position;
            EXPECT_FALSE(item->is_match);
        }
    }
}

struct ProgressLog {
    std::vector<std::int32_t> reports;
    static void record(void* context, std::int32_t position) {
        static_cast<ProgressLog*>(context)->reports.push_back(position);
    }
};

Encoded encode_with_progress(const Bytes& input, std::int32_t step, ProgressLog* log, std::int32_t level = 9) {
    Encoder encoder(level);
    std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[input.size()]);
    Encoded encoded;
    encoded.result = FoldEncodeWithProgress(encoder.handle(), out.get(), static_cast<std::int32_t>(input.size()),
                                            input.data(), static_cast<std::int32_t>(input.size()),
                                            log != nullptr ? ProgressLog::record : nullptr, log, step);
    if (encoded.result < static_cast<std::int32_t>(input.size())) {
        encoded.block.assign(out.get(), out.get() + encoded.result);
    }
    return encoded;
}

TEST(Progress, ZeroFirstLengthLastFifteenSixteenthsBetween) {
    const Bytes input = code_like(65536, 2);
    ProgressLog log;
    encode_with_progress(input, 1000, &log);
    ASSERT_GE(log.reports.size(), 3u);
    EXPECT_EQ(log.reports.front(), 0);
    EXPECT_EQ(log.reports.back(), 65536);
    // Between: (in_pos * 15) >> 4 for positions at least 1000 apart.
    std::int32_t previous_position = 0;
    for (std::size_t i = 1; i + 1 < log.reports.size(); ++i) {
        const std::int32_t value = log.reports[i];
        EXPECT_LE(value, (65536 * 15) >> 4);
        const std::int32_t position_at_least = (value << 4) / 15;  // the position that gives this value
        EXPECT_GE(position_at_least - previous_position, 1000 - 16) << i;
        previous_position = position_at_least;
    }
    EXPECT_LE(log.reports.size(), 2u + 65536u / 1000u);
}

TEST(Progress, ReportsTheLengthLastAlsoWhenNotCompressed) {
    const Bytes input = random_bytes(5000, 3);
    ProgressLog log;
    const Encoded encoded = encode_with_progress(input, 100, &log);
    EXPECT_EQ(encoded.result, 5000);
    EXPECT_EQ(log.reports.front(), 0);
    EXPECT_EQ(log.reports.back(), 5000);
}

TEST(Progress, RefusedCallsReportNothing) {
    Encoder encoder(9);
    ProgressLog log;
    const Bytes input(8, 0);
    Bytes out(100);
    EXPECT_EQ(FoldEncodeWithProgress(encoder.handle(), out.data(), 100, input.data(), 8, ProgressLog::record, &log, 1),
              8);
    EXPECT_TRUE(log.reports.empty());
}

TEST(Progress, StepNeverChangesTheOutput) {
    for (std::int32_t level : {0, 1, 2, 3, 9}) {
        const Bytes input = text_like(65536, 11);
        const Encoded plain = encode_with_progress(input, 0, nullptr, level);
        ASSERT_FALSE(plain.block.empty());
        for (std::int32_t step : {1, 7, 1000, 4096, 65536, 70000, 0, -5}) {
            ProgressLog log;
            EXPECT_EQ(encode_with_progress(input, step, &log, level).block, plain.block)
                << "level " << level << " step " << step;
        }
    }
}

TEST(Determinism, SameInputTwiceGivesIdenticalOutput) {
    for (std::int32_t level = 0; level <= 9; ++level) {
        Encoder encoder(level);
        const Bytes a = code_like(65536, 21);
        const Bytes b = text_like(30000, 22);
        const Encoded first = encode(encoder.handle(), a);
        encode(encoder.handle(), b);  // a different block in between leaves nothing behind
        const Encoded second = encode(encoder.handle(), a);
        EXPECT_EQ(first.block, second.block) << level;
        EXPECT_FALSE(first.block.empty());
    }
}

}  // namespace
}  // namespace romfold::test
