// A container (nbx.tmp) or packed image (nk.nbx) file decoded whole with the
// decoder library, for the tests that check what the packer wrote.
#pragma once

#include <cstdint>
#include <string>

#include "tests/support/bytes.h"

namespace romfold::test {

struct DecodedFile {
    bool ok = false;
    std::string message;  // the fault and where it lies, when not ok
    Bytes image;          // the decoded image
    Bytes stream;         // the container's bytes, unchanged
    bool has_splash = false;
    std::int32_t width = 0;  // 0 when there is no splash block
    std::int32_t height = 0;
    Bytes pixels;  // 2*W*H bytes as stored
};

DecodedFile decode_container_file(const std::string& path);
DecodedFile decode_packed_image_file(const std::string& path);

}  // namespace romfold::test
