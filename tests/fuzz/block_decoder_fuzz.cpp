// Fuzz target: the block decoder on arbitrary bytes, strict and lenient.
//
// Input: 3 bytes of uncompressed size (little-endian, taken modulo 65537, so
// 0..65536), then the block. The block lies in an allocation of exactly its
// size and each output holds exactly the uncompressed size, so that the
// address sanitizer reports any access outside either. Checked: the result
// is a block fault or success, its fields agree with each other and with the
// sizes, a second decode gives the same result and bytes, and lenient mode
// accepts every block that strict mode accepts, with the same bytes, and
// refuses only for the same reason at the same place otherwise (apart from
// the checks it skips).
#include <romfold/fold_decoder.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "fuzz_check.h"

namespace {

constexpr size_t header_size = 3;

struct Decoded {
    FoldError error;
    FoldBlockResult result;
    std::unique_ptr<std::uint8_t[]> out;
};

Decoded decode(const std::uint8_t* block, size_t block_size, size_t size, std::uint32_t flags) {
    Decoded decoded{FOLD_OK, {}, std::unique_ptr<std::uint8_t[]>(new std::uint8_t[size])};
    decoded.error = FoldDecodeBlock(block, block_size, decoded.out.get(), size, flags, &decoded.result);
    return decoded;
}

// The checks that lenient mode skips.
bool skipped_by_lenient(FoldError error) { return error == FOLD_TRAILING_BYTES || error == FOLD_BAD_FILLER; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size < header_size) return -1;
    const size_t expected_size =
        (std::uint32_t(data[0]) | std::uint32_t(data[1]) << 8 | std::uint32_t(data[2]) << 16) % 65537;
    const size_t block_size = size - header_size;
    std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[block_size]);
    std::memcpy(block.get(), data + header_size, block_size);

    const Decoded strict = decode(block.get(), block_size, expected_size, 0);
    FUZZ_REQUIRE(strict.error >= FOLD_OK && strict.error <= FOLD_BAD_FILLER);
    FUZZ_REQUIRE(strict.result.produced <= expected_size);
    FUZZ_REQUIRE(strict.result.offset <= block_size);
    if (strict.error == FOLD_OK) {
        FUZZ_REQUIRE(strict.result.produced == expected_size);
        FUZZ_REQUIRE(strict.result.offset == block_size);
    }

    // Stateless: the same call gives the same result and bytes.
    const Decoded again = decode(block.get(), block_size, expected_size, 0);
    FUZZ_REQUIRE(again.error == strict.error);
    FUZZ_REQUIRE(again.result.offset == strict.result.offset);
    FUZZ_REQUIRE(again.result.produced == strict.result.produced);
    FUZZ_REQUIRE(std::memcmp(again.out.get(), strict.out.get(), strict.result.produced) == 0);

    // Lenient mode decodes the same items; it only stops looking once the
    // output is complete.
    const Decoded lenient = decode(block.get(), block_size, expected_size, FOLD_LENIENT);
    if (strict.error == FOLD_OK || skipped_by_lenient(strict.error) ||
        (strict.error == FOLD_FLAG_WORD_CUT_OFF && strict.result.produced == expected_size)) {
        FUZZ_REQUIRE(lenient.error == FOLD_OK);
        FUZZ_REQUIRE(lenient.result.produced == expected_size);
        FUZZ_REQUIRE(std::memcmp(lenient.out.get(), strict.out.get(), expected_size) == 0);
    } else {
        FUZZ_REQUIRE(lenient.error == strict.error);
        FUZZ_REQUIRE(lenient.result.offset == strict.result.offset);
        FUZZ_REQUIRE(lenient.result.produced == strict.result.produced);
    }
    return 0;
}
