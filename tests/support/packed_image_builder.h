// Packed images for tests: the "IORW" header around a container, with an
// optional splash block.
#pragma once

#include <cstdint>

#include "tests/support/bytes.h"

namespace romfold::test {

// Without a splash block.
Bytes packed_image(const Bytes& container);
// With a splash block of width x height and the pixel bytes as given.
Bytes packed_image(const Bytes& container, std::int32_t width, std::int32_t height, const Bytes& pixels);
// With the splash block the packer makes of `splash` (a splash screen file:
// width and height at 18 and 22, 2*W*H pixel bytes from 138); without one
// when `splash` is empty.
Bytes packed_image_with_splash_file(const Bytes& container, const Bytes& splash);

}  // namespace romfold::test
