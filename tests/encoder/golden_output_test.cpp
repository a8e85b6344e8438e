// Golden digests of every level's output on fixed inputs. The byte format and
// every level's choices are fixed; any change to the encoder's output, from a
// speed-up or otherwise, fails here.
#include <gtest/gtest.h>

#include "encoder_test_support.h"
#include "sha256.h"

namespace romfold::test {
namespace {

TEST(Sha256, KnownDigests) {
    EXPECT_EQ(sha256_hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256_hex(bytes_of("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

// Every block's result and bytes, for a fixed set of inputs, in one digest.
std::string output_digest(std::int32_t level) {
    Encoder encoder(level);
    Bytes all;
    auto add = [&](const Bytes& input) {
        const Encoded encoded = encode(encoder.handle(), input);
        append_le32(all, static_cast<std::uint32_t>(encoded.result));
        all.insert(all.end(), encoded.block.begin(), encoded.block.end());
    };
    for (std::uint32_t seed = 0; seed < 4; ++seed) {
        add(code_like(65536, seed));
        add(text_like(65536, seed));
        add(runs(65536, seed));
        add(code_like(1000 + 777 * seed, seed));
    }
    add(random_bytes(65536, 1));
    add(repeat("abc", 21845));
    add(Bytes(65536, 0));
    return sha256_hex(all);
}

TEST(GoldenOutput, EveryLevel) {
    const char* const expected[10] = {
        "17429b8cede2f9b314b5ca332e3913dfb8492c8a64f82beb1281fdc1c3974384",  // level 0
        "c54a0c51136c0b03798a587201bd292dbe495e5cbcea5a5e41784f1efbab1489",  // level 1
        "cb202f8af0cc78c360566724f540e89c820122e042c9ada0f3d1a761891b4a79",  // level 2
        "95c7a39dd29163117ccaacedd23f3e1ee72ba95e1e007e1e48e661776d5fb5d2",  // level 3
        "aaffbfccb0e9544b0e88a3d1f1d906edd9752ffabb46a743b41f3b1a078ced2e",  // level 4
        "db92a2007c97798b1ad598bec1f40cad531c11454b06456f085660e3367f4a93",  // level 5
        "106f868479c15564ca78aeba872a0902769b7c0dc3a057b5c43089182613e86a",  // level 6
        "5554406e8bd25703b0b4591567b75a3ce7f1c980eeb22e7aeaae72faef3f9e98",  // level 7
        "c8b2bc25bc00bf66cebd452e5dfbb359f435f9bc83c60f92eb5a8bbcb99d9a32",  // level 8
        "7397976f55a38336c54afee9a0a0a957942c24ca1fca38a63636594e093f2061",  // level 9
    };
    for (std::int32_t level = 0; level <= 9; ++level) {
        EXPECT_EQ(output_digest(level), expected[level]) << "level " << level;
    }
}

}  // namespace
}  // namespace romfold::test
