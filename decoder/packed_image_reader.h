// Strict reader of the packed image file.
//
// Layout (integers little-endian):
//
//   0        4   magic "IORW"
//   4        4   header size, 16: the container starts here
//   8        4   container size S
//   12       4   splash block size: 12 + 2*W*H, or 0 when there is none
//   16       S   the block container
//   16+S     4   splash marker "ECEC"          } only when the splash
//   20+S     4   width W, signed               } block size is not 0
//   24+S     4   height H, signed              }
//   28+S  2*W*H  pixels, 16 bits each          }
//
// and nothing after. Every size is checked against the file's length before
// anything is allocated for it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "decoder/decode_failure.h"

namespace romfold {

// The first four bytes of a packed image, and the largest splash screen.
inline constexpr std::uint8_t packed_image_magic[4] = {'I', 'O', 'R', 'W'};
inline constexpr std::int32_t splash_max_width = 1920;
inline constexpr std::int32_t splash_max_height = 1080;

struct PackedImage {
    std::vector<std::uint8_t> stream;  // the container bytes, unchanged
    std::vector<std::uint8_t> image;   // the container decoded
    bool has_splash = false;
    std::int32_t width = 0;  // 0 when there is no splash block
    std::int32_t height = 0;
    std::vector<std::uint8_t> pixels;  // 2*W*H bytes as stored
};

// Where the parts of a packed image lie, from its checked header.
struct PackedImageLayout {
    static constexpr std::uint64_t stream_offset = 16;
    std::uint32_t stream_size = 0;  // S
    std::uint32_t splash_size = 0;  // the splash block size field: 0, or 12 + 2*W*H
    bool has_splash = false;
    std::int32_t width = 0;  // 0 when there is no splash block
    std::int32_t height = 0;

    std::uint64_t splash_offset() const { return stream_offset + stream_size; }
    std::uint64_t pixels_offset() const { return splash_offset() + 12; }
    std::uint32_t pixel_size() const { return splash_size == 0 ? 0 : splash_size - 12; }
};

// Reads and checks the 16-byte header and, when there is a splash block, the
// splash header of the packed image open in file, whose length is file_size:
// every size against the file's length, the splash dimensions against their
// limits and the block size. Reads nothing of the container or the pixels,
// so that a caller can stream them; leaves the file position unspecified.
bool read_packed_image_layout(std::FILE* file, std::uint64_t file_size, PackedImageLayout& layout,
                              DecodeFailure& failure);

// Reads and checks the packed image at path, decoding its container. On
// failure, result holds no meaningful data and failure says what and where.
bool read_packed_image_file(const std::string& path, PackedImage& result, DecodeFailure& failure);

}  // namespace romfold
