#include "tests/support/packed_image_builder.h"

#include <cstddef>

namespace romfold::test {

Bytes packed_image(const Bytes& container) {
    Bytes file = bytes_of("IORW");
    append_le32(file, 16);
    append_le32(file, std::uint32_t(container.size()));
    append_le32(file, 0);
    return concat(file, container);
}

Bytes packed_image(const Bytes& container, std::int32_t width, std::int32_t height, const Bytes& pixels) {
    Bytes file = bytes_of("IORW");
    append_le32(file, 16);
    append_le32(file, std::uint32_t(container.size()));
    append_le32(file, std::uint32_t(12 + pixels.size()));
    file = concat(file, container);
    file = concat(file, bytes_of("ECEC"));
    append_le32(file, std::uint32_t(width));
    append_le32(file, std::uint32_t(height));
    return concat(file, pixels);
}

Bytes packed_image_with_splash_file(const Bytes& container, const Bytes& splash) {
    if (splash.empty()) return packed_image(container);
    const std::uint32_t width = load_le32(splash, 18);
    const std::uint32_t height = load_le32(splash, 22);
    const auto pixels_end = splash.begin() + static_cast<std::ptrdiff_t>(138 + 2 * width * height);
    return packed_image(container, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                        Bytes(splash.begin() + 138, pixels_end));
}

}  // namespace romfold::test
