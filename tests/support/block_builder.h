// A test-only token writer for compressed blocks: it writes a block item by
// item, following the token layout, and keeps the bytes that the items stand
// for, computed by a plain byte copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "tests/support/bytes.h"

namespace romfold::test {

// The 12 bytes abcabcabcabc as a 9-byte compressed block: three literals and
// a match of offset 3, length 9, in one group closed with filler bits.
inline const Bytes abc_block = {0xFF, 0xFF, 0xFF, 0x1F, 0x61, 0x62, 0x63, 0x16, 0x00};

class BlockBuilder {
public:
    BlockBuilder();
    BlockBuilder& literal(std::uint8_t byte);
    BlockBuilder& literals(const Bytes& bytes);
    BlockBuilder& match(std::uint32_t offset, std::uint32_t length);
    // Closes the open flag word and returns the block.
    Bytes finish();
    const Bytes& output() const { return output_; }

private:
    void shift_flag(std::uint32_t flag);

    Bytes block_;
    std::size_t flag_slot_ = 0;
    std::uint32_t flag_bits_ = 1;
    std::optional<std::size_t> pending_;
    Bytes output_;
};

}  // namespace romfold::test
