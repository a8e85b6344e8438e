// Level-9 blocks for tests that state a container byte for byte: the block
// the container writer must store for a given source, and a one-block image
// whose compressed size has a chosen remainder modulo 4 (to show padding).
#pragma once

#include <cstdint>

#include "tests/support/bytes.h"

namespace romfold::test {

// The level-9 block of `block` as the container writer makes it (65536 bytes
// of room); empty when the block would be stored.
Bytes compressed(const Bytes& block);

// An image of one block whose level-9 block is 4k + remainder bytes long,
// that block, and the image's container: the block padded with zeros to a
// multiple of 4.
struct OneCompressedBlock {
    Bytes image;
    Bytes block;
    Bytes container;
};
OneCompressedBlock one_compressed_block(std::uint32_t remainder);

}  // namespace romfold::test
