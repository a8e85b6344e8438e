// Every level's blocks decode, through the independent strict decoder, to
// exactly their input; output buffers are exactly the capacity given, so the
// sanitizer build catches any write past the budget.
#include <gtest/gtest.h>
#include <romfold/fold_decoder.h>

#include <cstring>
#include <memory>
#include <string>

#include "encoder_test_support.h"

namespace romfold::test {
namespace {

struct Kind {
    const char* name;
    Bytes (*make)(std::size_t size, std::uint32_t seed);
};

Bytes zeros(std::size_t size, std::uint32_t) { return Bytes(size, 0); }

Bytes repeats_near_the_distance_bound(std::size_t size, std::uint32_t seed) {
    // Random bytes with copies at distances 8190 to 8193 and some shorter ones.
    Bytes out = random_bytes(size, seed);
    for (std::size_t distance : {8190u, 8191u, 8192u, 8193u, 3000u, 17u}) {
        for (std::size_t at = 0; at + distance + 64 <= size; at += 9001) {
            std::memmove(out.data() + at + distance, out.data() + at, 64);
        }
    }
    return out;
}

const Kind kinds[] = {
    {"zeros", zeros},    {"runs", runs},           {"text", text_like},
    {"code", code_like}, {"random", random_bytes}, {"distance_bound", repeats_near_the_distance_bound},
};

const std::size_t sizes[] = {9, 10, 31, 32, 33, 34, 64, 100, 1000, 4097, 8193, 20000, 65535, 65536};

void expect_round_trip(EncoderHandle* handle, const Bytes& input, std::int32_t capacity, const std::string& what) {
    std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[capacity]);
    const std::int32_t in_len = static_cast<std::int32_t>(input.size());
    const std::int32_t result = FoldEncode(handle, out.get(), capacity, input.data(), in_len);
    ASSERT_GT(result, 0) << what;
    ASSERT_LE(result, in_len) << what;
    if (result == in_len) return;  // stored raw by the caller
    ASSERT_LT(result, std::min(capacity, in_len - 1)) << what;
    std::unique_ptr<std::uint8_t[]> decoded(new std::uint8_t[input.size()]);
    FoldBlockResult r{};
    const FoldError error =
        FoldDecodeBlock(out.get(), static_cast<std::size_t>(result), decoded.get(), input.size(), 0, &r);
    ASSERT_EQ(error, FOLD_OK) << what << ": fault " << int(error) << " at " << r.offset;
    ASSERT_EQ(std::memcmp(decoded.get(), input.data(), input.size()), 0) << what;
}

class RoundTrip : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(RoundTrip, VariedDataAndSizes) {
    Encoder encoder(GetParam());
    ASSERT_NE(encoder.handle(), nullptr);
    for (const Kind& kind : kinds) {
        for (std::size_t size : sizes) {
            const Bytes input = kind.make(size, static_cast<std::uint32_t>(size));
            const std::int32_t n = static_cast<std::int32_t>(size);
            for (std::int32_t capacity : {n, n - 1, n / 2, n / 8 + 8, 32, 8}) {
                if (capacity < 1) continue;
                expect_round_trip(
                    encoder.handle(), input, capacity,
                    std::string(kind.name) + " size " + std::to_string(size) + " capacity " + std::to_string(capacity));
            }
        }
    }
}

TEST_P(RoundTrip, CompressibleDataDoesCompress) {
    for (const Kind& kind : kinds) {
        const std::string name = kind.name;
        if (name == "random" || name == "distance_bound") continue;  // mostly incompressible
        const Bytes input = kind.make(65536, 5);
        const Encoded encoded = encode_at(GetParam(), input);
        EXPECT_FALSE(encoded.block.empty()) << kind.name;
        EXPECT_LT(encoded.block.size(), input.size() * 7 / 8) << kind.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, RoundTrip, ::testing::Range(0, 10), level_param_name);

}  // namespace
}  // namespace romfold::test
