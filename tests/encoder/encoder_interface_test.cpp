// Handle creation, memory requests and placement, and release.
#include "encoder/fold_encoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "encoder/encoder_handle.h"
#include "encoder_test_support.h"

namespace romfold::test {
namespace {

struct RequestCase {
    std::uint32_t max_len;
    std::int32_t level;
    std::uint32_t expected;
};

class MemoryRequest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(MemoryRequest, AsksOnceForExactlyTheLevelsSize) {
    const RequestCase& c = GetParam();
    Encoder encoder(c.level, c.max_len);
    ASSERT_NE(encoder.handle(), nullptr);
    EXPECT_EQ(encoder.allocator().requests, std::vector<std::uint32_t>{c.expected});
}

INSTANTIATE_TEST_SUITE_P(Levels, MemoryRequest,
                         ::testing::Values(RequestCase{65536, 9, 197920}, RequestCase{1000, 0, 12536},
                                           RequestCase{1000, 1, 66848}, RequestCase{1000, 5, 68848},
                                           RequestCase{1000, 2, 68848}, RequestCase{1000, -3, 12536},
                                           RequestCase{1000, 12, 68848}, RequestCase{65536, 1, 66848},
                                           RequestCase{1, 9, 66850}),
                         [](const ::testing::TestParamInfo<RequestCase>& info) {
                             return "MaxLen" + std::to_string(info.param.max_len) + level_name(info.param.level);
                         });

TEST(EncoderCreate, ToolsHandleAsksFor197920Bytes) {
    CountingAllocator allocator;
    EncoderHandle* handle = FoldEncodeCreate(65536, &allocator, CountingAllocator::allocate);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(allocator.requests, std::vector<std::uint32_t>{197920});
    FoldEncodeClose(handle, &allocator, CountingAllocator::release);
}

TEST(EncoderCreate, RefusalsCallNothing) {
    struct Case {
        std::uint32_t max_len;
        bool with_callback;
    };
    for (const Case c : {Case{0, true}, Case{65537, true}, Case{0xFFFFFFFF, true}, Case{1000, false}}) {
        CountingAllocator allocator;
        EXPECT_EQ(
            FoldEncodeCreateAtLevel(c.max_len, &allocator, c.with_callback ? CountingAllocator::allocate : nullptr, 9),
            nullptr)
            << c.max_len;
        EXPECT_TRUE(allocator.requests.empty());
    }
}

TEST(EncoderCreate, NullMemoryGivesNull) {
    auto refuse = [](void*, std::uint32_t) -> void* { return nullptr; };
    EXPECT_EQ(FoldEncodeCreateAtLevel(65536, nullptr, refuse, 9), nullptr);
}

// Hands out a block at a chosen distance from a 256-byte boundary.
struct OffsetAllocator {
    std::uintptr_t misalignment;
    std::vector<std::uint8_t> storage;
    std::uint8_t* given = nullptr;
    static void* allocate(void* context, std::uint32_t size) {
        auto* self = static_cast<OffsetAllocator*>(context);
        self->storage.resize(size + 512 + 256);
        // The first multiple of 256 in the storage, then the chosen distance.
        const auto address = reinterpret_cast<std::uintptr_t>(self->storage.data());
        self->given = self->storage.data() + (256 - address % 256) % 256 + self->misalignment;
        return self->given;
    }
    static void release(void* context, void* memory) {
        auto* self = static_cast<OffsetAllocator*>(context);
        EXPECT_EQ(memory, self->given);
        self->storage.clear();
    }
};

TEST(EncoderCreate, HandleLiesAtTheFirstMultipleOf256AboveTheBlock) {
    struct Case {
        std::uintptr_t misalignment;
        std::uintptr_t expected_distance;
    };
    for (const Case c : {Case{0, 256}, Case{1, 255}, Case{255, 1}, Case{128, 128}}) {
        for (std::int32_t level : {0, 1, 2, 9}) {
            OffsetAllocator allocator{c.misalignment, {}};
            EncoderHandle* handle = FoldEncodeCreateAtLevel(65536, &allocator, OffsetAllocator::allocate, level);
            ASSERT_NE(handle, nullptr);
            const auto address = reinterpret_cast<std::uintptr_t>(handle);
            EXPECT_EQ(address % 256, 0u);
            EXPECT_EQ(address - reinterpret_cast<std::uintptr_t>(allocator.given), c.expected_distance);
            EXPECT_EQ(handle->work, reinterpret_cast<std::uint8_t*>(handle) + 256 + encoder::header_size(level));
            // The encoder works in the block wherever it lies.
            const Bytes input = text_like(65536, 3);
            const Encoded encoded = encode(handle, input);
            EXPECT_GT(encoded.result, 0);
            EXPECT_LT(encoded.result, 65536);
            FoldEncodeClose(handle, &allocator, OffsetAllocator::release);
        }
    }
}

TEST(EncoderCreate, HandleFields) {
    struct Case {
        std::int32_t level;
        std::int32_t stored;
        std::int32_t limit;
        std::uint32_t work_offset;
    };
    for (const Case c : {Case{-3, -3, -3, 1024}, Case{0, 0, 0, 1024}, Case{1, 1, 1, 1024}, Case{2, 2, 9, 66560},
                         Case{5, 5, 9, 66560}, Case{12, 9, 9, 66560}}) {
        Encoder encoder(c.level, 4000);
        EncoderHandle* h = encoder.handle();
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(h->magic, 0x53E7C0DEu);
        EXPECT_EQ(h->max_len_minus_1, 3999u);
        EXPECT_EQ(h->level, c.stored);
        EXPECT_EQ(h->level_limit, c.limit);
        EXPECT_EQ(h->work - reinterpret_cast<std::uint8_t*>(h), static_cast<std::ptrdiff_t>(c.work_offset));
    }
}

TEST(EncoderClose, ReleasesOnceAndInvalidates) {
    CountingAllocator allocator;
    EncoderHandle* handle = FoldEncodeCreate(65536, &allocator, CountingAllocator::allocate);
    ASSERT_NE(handle, nullptr);
    const Bytes input = text_like(4096, 1);

    FoldEncodeClose(handle, &allocator, nullptr);  // no release callback: nothing happens
    EXPECT_TRUE(allocator.released.empty());
    const Encoded still_valid = encode(handle, input);
    EXPECT_GT(still_valid.result, 0);
    EXPECT_LT(still_valid.result, 4096);

    void* const memory = handle->allocation;
    handle->magic ^= 1;  // a damaged handle is neither used nor released
    FoldEncodeClose(handle, &allocator, CountingAllocator::release);
    EXPECT_TRUE(allocator.released.empty());
    EXPECT_EQ(encode(handle, input).result, 0);
    handle->magic ^= 1;

    FoldEncodeClose(handle, &allocator, CountingAllocator::release);
    EXPECT_EQ(allocator.released, std::vector<void*>{memory});
    FoldEncodeClose(nullptr, &allocator, CountingAllocator::release);
    EXPECT_EQ(allocator.released.size(), 1u);
}

TEST(EncoderLevels, OutOfRangeLevelsRunTheNearestLevel) {
    const Bytes input = code_like(20000, 5);
    EXPECT_EQ(encode_at(-3, input).block, encode_at(0, input).block);
    EXPECT_EQ(encode_at(-1, input).block, encode_at(0, input).block);
    EXPECT_EQ(encode_at(12, input).block, encode_at(9, input).block);
    EXPECT_FALSE(encode_at(0, input).block.empty());
}

}  // namespace
}  // namespace romfold::test
