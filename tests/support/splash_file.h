// Splash screen files for tests: a bitmap header with the given fields (by
// default "TD", pixel offset 138 and a 124-byte information header for 4 x 3
// pixels of 16 bits in 5-6-5 bit fields), then the pixel bytes.
#pragma once

#include <cstdint>

#include "tests/support/bytes.h"

namespace romfold::test {

struct SplashFields {
    std::int32_t width = 4;
    std::int32_t height = 3;
    std::uint8_t type[2] = {'T', 'D'};
    std::uint32_t pixel_offset = 138;
    std::uint32_t info_size = 124;
    std::uint16_t bits_per_pixel = 16;
    std::uint32_t compression = 3;
};

// The header, cut or padded with zeros to pixel_offset bytes, then `pixels`.
Bytes splash_file(const SplashFields& fields, const Bytes& pixels);

}  // namespace romfold::test
