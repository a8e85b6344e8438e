#include "decoder/packed_image_reader.h"

#include <cstring>
#include <string>
#include <utility>

#include "decoder/container_reader.h"
#include "decoder/input_file.h"

namespace romfold {

namespace {

constexpr std::uint8_t splash_marker[4] = {'E', 'C', 'E', 'C'};
constexpr std::uint32_t header_size = 16;
constexpr std::uint32_t splash_header_size = 12;

bool fail(DecodeFailure& failure, std::uint64_t offset, std::string message) {
    failure.message = std::move(message);
    failure.offset = offset;
    return false;
}

}  // namespace

bool read_packed_image_layout(std::FILE* file, std::uint64_t file_size, PackedImageLayout& layout,
                              DecodeFailure& failure) {
    layout = PackedImageLayout{};
    if (file_size < header_size) {
        return fail(failure, 0, "file of " + byte_count(file_size) + " is shorter than its header");
    }
    std::uint8_t header[header_size];
    if (!seek_to(file, 0, failure)) return false;
    if (!read_exactly(file, header, header_size, 0, failure)) return false;
    if (std::memcmp(header, packed_image_magic, 4) != 0) return fail(failure, 0, "bad packed image magic");
    const std::uint32_t declared_header_size = get_le32(header + 4);
    if (declared_header_size != header_size) {
        return fail(failure, 4, "header size " + std::to_string(declared_header_size) + " is not 16");
    }
    const std::uint32_t stream_size = get_le32(header + 8);
    const std::uint32_t splash_size = get_le32(header + 12);
    const std::uint64_t expected_size = std::uint64_t(header_size) + stream_size + splash_size;
    if (expected_size != file_size) {
        return fail(
            failure, 8,
            "header sizes add up to " + byte_count(expected_size) + ", but the file has " + std::to_string(file_size));
    }
    layout.stream_size = stream_size;
    if (splash_size == 0) return true;

    const std::uint64_t splash_at = std::uint64_t(header_size) + stream_size;
    if (splash_size < splash_header_size) {
        return fail(failure, 12, "splash block size " + std::to_string(splash_size) + " is below 12");
    }
    std::uint8_t splash_header[splash_header_size];
    if (!seek_to(file, splash_at, failure)) return false;
    if (!read_exactly(file, splash_header, splash_header_size, splash_at, failure)) return false;
    if (std::memcmp(splash_header, splash_marker, 4) != 0) {
        return fail(failure, splash_at, "bad splash marker");
    }
    const std::int32_t width = std::int32_t(get_le32(splash_header + 4));
    const std::int32_t height = std::int32_t(get_le32(splash_header + 8));
    if (width < 0 || height < 0) {
        return fail(failure, splash_at + 4,
                    "splash screen of " + std::to_string(width) + "x" + std::to_string(height) +
                        " pixels has a negative dimension");
    }
    if (width > splash_max_width || height > splash_max_height) {
        return fail(failure, splash_at + 4,
                    "splash screen of " + std::to_string(width) + "x" + std::to_string(height) + " pixels is too big");
    }
    // The writer computes the pixel byte count in 32 bits.
    const std::uint32_t pixel_size = 2u * std::uint32_t(width) * std::uint32_t(height);
    if (std::uint64_t(splash_header_size) + pixel_size != splash_size) {
        return fail(failure, 12,
                    "splash block size " + std::to_string(splash_size) + " does not match " + std::to_string(width) +
                        "x" + std::to_string(height) + " pixels");
    }
    layout.splash_size = splash_size;
    layout.has_splash = true;
    layout.width = width;
    layout.height = height;
    return true;
}

bool read_packed_image_file(const std::string& path, PackedImage& result, DecodeFailure& failure) {
    result = PackedImage{};
    InputFile file;
    if (!file.open(path, failure)) return false;

    // The header and the splash header are checked before the container so
    // that no size is taken on trust when the buffers are allocated.
    PackedImageLayout layout;
    if (!read_packed_image_layout(file.get(), file.size(), layout, failure)) return false;
    const std::uint32_t stream_size = layout.stream_size;
    const std::uint64_t stream_at = PackedImageLayout::stream_offset;
    result.has_splash = layout.has_splash;
    result.width = layout.width;
    result.height = layout.height;

    result.stream.resize(stream_size);
    if (!seek_to(file.get(), stream_at, failure)) return false;
    if (!read_exactly(file.get(), result.stream.data(), stream_size, stream_at, failure)) {
        return false;
    }

    ContainerReader reader(file.get(), stream_at, stream_size);
    if (!reader.read_header(failure)) return false;
    result.image.reserve(reader.total_size());
    const bool decoded = reader.read_blocks(
        [&result](const ContainerBlock& block, DecodeFailure&) {
            result.image.insert(result.image.end(), block.bytes, block.bytes + block.size);
            return true;
        },
        failure);
    if (!decoded) return false;

    if (result.has_splash) {
        const std::uint64_t pixels_at = layout.pixels_offset();
        const std::uint32_t pixel_size = layout.pixel_size();
        result.pixels.resize(pixel_size);
        if (!seek_to(file.get(), pixels_at, failure)) return false;
        if (!read_exactly(file.get(), result.pixels.data(), pixel_size, pixels_at, failure)) {
            return false;
        }
    }
    return true;
}

}  // namespace romfold
