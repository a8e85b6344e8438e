// Fuzz target: the strict block decoder on arbitrary bytes.
//
// Input: 3 bytes of expected size (little-endian, taken modulo 65537, so
// 0..65536), then the block. The block lies in an allocation of exactly its
// size and the output holds exactly the expected size, so that the address
// sanitizer reports any access outside either. Checked: the result fields
// agree with each other and with the sizes, the description is there, and a
// second decode gives the same result and bytes.
#include <cstdint>
#include <cstring>
#include <memory>

#include "decoder/block_decoder.h"
#include "fuzz_check.h"

namespace {

constexpr size_t header_size = 3;

bool is_known(romfold::BlockDecodeError error) {
    using romfold::BlockDecodeError;
    switch (error) {
        case BlockDecodeError::none:
        case BlockDecodeError::flag_word_cut_off:
        case BlockDecodeError::literal_cut_off:
        case BlockDecodeError::token_cut_off:
        case BlockDecodeError::length_byte_cut_off:
        case BlockDecodeError::offset_before_start:
        case BlockDecodeError::output_too_long:
        case BlockDecodeError::output_too_short:
        case BlockDecodeError::trailing_bytes:
        case BlockDecodeError::bad_filler: return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size < header_size) return -1;
    const std::uint32_t expected_size =
        (std::uint32_t(data[0]) | std::uint32_t(data[1]) << 8 | std::uint32_t(data[2]) << 16) % 65537;
    const std::uint32_t block_size = std::uint32_t(size - header_size);

    std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[block_size]);
    std::memcpy(block.get(), data + header_size, block_size);
    std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[expected_size]);

    const romfold::BlockDecodeResult result = romfold::decode_block(block.get(), block_size, out.get(), expected_size);
    FUZZ_REQUIRE(is_known(result.error));
    FUZZ_REQUIRE(result.produced <= expected_size);
    FUZZ_REQUIRE(result.offset <= block_size);
    if (result.error == romfold::BlockDecodeError::none) {
        FUZZ_REQUIRE(result.produced == expected_size);
        FUZZ_REQUIRE(result.offset == block_size);
    }
    FUZZ_REQUIRE(romfold::describe(result.error) != nullptr);
    FUZZ_REQUIRE(romfold::describe(result.error)[0] != '\0');

    // Stateless: the same call gives the same result and bytes.
    std::unique_ptr<std::uint8_t[]> again(new std::uint8_t[expected_size]);
    const romfold::BlockDecodeResult second =
        romfold::decode_block(block.get(), block_size, again.get(), expected_size);
    FUZZ_REQUIRE(second.error == result.error);
    FUZZ_REQUIRE(second.offset == result.offset);
    FUZZ_REQUIRE(second.produced == result.produced);
    FUZZ_REQUIRE(std::memcmp(again.get(), out.get(), result.produced) == 0);
    return 0;
}
