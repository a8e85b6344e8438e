#include "tests/support/splash_file.h"

namespace romfold::test {

Bytes splash_file(const SplashFields& f, const Bytes& pixels) {
    Bytes bytes{f.type[0], f.type[1]};
    append_le32(bytes, static_cast<std::uint32_t>(f.pixel_offset + pixels.size()));  // file size
    append_le32(bytes, 0);                                                           // reserved
    append_le32(bytes, f.pixel_offset);
    append_le32(bytes, f.info_size);
    append_le32(bytes, static_cast<std::uint32_t>(f.width));
    append_le32(bytes, static_cast<std::uint32_t>(f.height));
    append_le16(bytes, 1);  // planes
    append_le16(bytes, f.bits_per_pixel);
    append_le32(bytes, f.compression);
    append_le32(bytes, static_cast<std::uint32_t>(pixels.size()));  // image size
    append_le32(bytes, 2835);                                       // pixels per metre
    append_le32(bytes, 2835);
    append_le32(bytes, 0);        // colours used
    append_le32(bytes, 0);        // colours important
    append_le32(bytes, 0xF800u);  // red, green and blue masks of 5-6-5 pixels
    append_le32(bytes, 0x07E0u);
    append_le32(bytes, 0x001Fu);
    bytes.resize(f.pixel_offset, 0);
    return concat(bytes, pixels);
}

}  // namespace romfold::test
