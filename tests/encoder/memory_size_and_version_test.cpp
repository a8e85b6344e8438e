// The queries of the public header: the memory a handle will ask for, and the
// library's version.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "encoder/fold_encoder.h"
#include "encoder_test_support.h"

namespace romfold::test {
namespace {

TEST(FoldEncodeMemorySize, IsWhatCreationAsksFor) {
    struct Case {
        std::uint32_t max_len;
        std::int32_t level;
        std::uint32_t expected;
    };
    for (const Case c : {Case{65536, 9, 197920}, Case{1000, 0, 12536}, Case{1000, -3, 12536}, Case{1000, 1, 66848},
                         Case{65536, 1, 66848}, Case{1000, 2, 68848}, Case{1000, 5, 68848}, Case{1000, 12, 68848},
                         Case{1, 9, 66850}}) {
        EXPECT_EQ(FoldEncodeMemorySize(c.max_len, c.level), c.expected) << c.max_len << " at level " << c.level;
        Encoder encoder(c.level, c.max_len);
        EXPECT_EQ(encoder.allocator().requests, std::vector<std::uint32_t>{c.expected});
    }
}

TEST(FoldEncodeMemorySize, IsZeroWhereCreationFails) {
    for (const std::uint32_t max_len : {0u, 65537u, 0xFFFFFFFFu}) {
        EXPECT_EQ(FoldEncodeMemorySize(max_len, 9), 0u) << max_len;
        EXPECT_EQ(FoldEncodeMemorySize(max_len, 0), 0u) << max_len;
    }
}

TEST(FoldEncodeVersion, IsTheHeadersVersion) {
    EXPECT_EQ(FoldEncodeVersion(), static_cast<std::uint32_t>(FOLD_ENCODER_VERSION_NUMBER));
    EXPECT_EQ(FOLD_ENCODER_VERSION_NUMBER,
              FOLD_ENCODER_VERSION_MAJOR * 10000 + FOLD_ENCODER_VERSION_MINOR * 100 + FOLD_ENCODER_VERSION_PATCH);
}

}  // namespace
}  // namespace romfold::test
