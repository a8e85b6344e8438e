#include "app/packed_image.h"

#include <cstdint>
#include <cstdio>

#include "container/file_access.h"
#include "container/stream_ops.h"
#include "container/transfer_buffer.h"
#include "encoder/byte_order.h"

namespace romfold {
namespace {

constexpr std::uint32_t splash_pixel_offset = 138;
constexpr std::int32_t splash_max_width = 1920;
constexpr std::int32_t splash_max_height = 1080;

void close_if_open(std::FILE* stream) {
    if (stream != nullptr) stream_close(stream);
}

// The open splash.tss, positioned at its pixels, or none.
struct SplashScreen {
    std::FILE* stream = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t block_size = 0;  // 12 + 2*W*H, 0 without a splash screen
};

enum class SplashCheck { ok, failed };

// Stage 6. A missing or unopenable splash.tss is no failure: the image is
// packed without one. On a failure both nbx.tmp and splash.tss are closed.
SplashCheck check_splash_screen(const std::string& splash_path, std::FILE* container, SplashScreen* splash) {
    const char* path = splash_path.c_str();
    std::FILE* stream = stream_open(path, "rb");
    if (stream == nullptr) {
        std::printf("Splash screen %s not available.\r\n", path);
        return SplashCheck::ok;
    }
    auto fail = [&](const char* message) {
        std::printf(message, path);
        stream_close(container);
        stream_close(stream);
        return SplashCheck::failed;
    };

    // The header is read in three parts, 10, 4 and 124 bytes, so that the
    // stream stands at the pixels afterwards. A part that arrives short is a
    // file cut off inside its header: its fields would be undefined.
    std::uint8_t file_header[10];
    if (stream_read(file_header, sizeof file_header, stream) != sizeof file_header) {
        return fail("Error reading from %s.\r\n");
    }
    if (file_header[0] != 'T' || file_header[1] != 'D') return fail("Invalid splash signature %s.\r\n");
    std::uint8_t offset_field[4];
    if (stream_read(offset_field, sizeof offset_field, stream) != sizeof offset_field) {
        return fail("Error reading from %s.\r\n");
    }
    if (load_le32(offset_field) != splash_pixel_offset) return fail("Invalid splash header %s.\r\n");
    std::uint8_t info[124];
    if (stream_read(info, sizeof info, stream) != sizeof info) return fail("Error reading from %s.\r\n");

    const std::int32_t width = static_cast<std::int32_t>(load_le32(info + 4));
    const std::int32_t height = static_cast<std::int32_t>(load_le32(info + 8));
    const std::uint32_t bits_per_pixel = load_le16(info + 14);
    const std::uint32_t compression = load_le32(info + 16);
    // Negative dimensions would make the pixel count wrap; they are no
    // bitmap this loader can show.
    if (bits_per_pixel != 16 || compression != 3 || width < 0 || height < 0) {
        return fail("Invalid splash file format %s.\r\n");
    }
    if (width > splash_max_width || height > splash_max_height) return fail("Splash screen is too big %s.\r\n");

    splash->stream = stream;
    splash->width = width;
    splash->height = height;
    splash->block_size = 2u * static_cast<std::uint32_t>(width) * static_cast<std::uint32_t>(height) + 12u;
    std::printf("Splash screen %s is %dx%d pixels, %d bytes.\r\n", path, width, height,
                static_cast<std::int32_t>(splash->block_size));
    return SplashCheck::ok;
}

enum class CopyResult { ok, read_short, write_short };

// Copies `count` bytes through transfer_buffer, 64 KB at most at a time.
CopyResult copy_bytes(std::FILE* from, std::FILE* to, std::uint32_t count) {
    while (count > 0) {
        const std::uint32_t chunk =
            count < transfer_buffer_size ? count : static_cast<std::uint32_t>(transfer_buffer_size);
        if (stream_read(transfer_buffer, chunk, from) != chunk) return CopyResult::read_short;
        if (stream_write(transfer_buffer, chunk, to) != chunk) return CopyResult::write_short;
        count -= chunk;
    }
    return CopyResult::ok;
}

}  // namespace

int write_packed_image(const ReleasePaths& paths) {
    // Stage 5: the compressed stream and its size.
    std::FILE* container = nullptr;
    std::uint32_t container_size = 0;
    if (OpenForReading(paths.container.c_str(), &container, &container_size) != open_ok) {
        std::printf("Error opening %s.\r\n", paths.container.c_str());
        return -1;
    }

    // Stage 6: the splash screen, if there is one.
    SplashScreen splash;
    if (check_splash_screen(paths.splash, container, &splash) != SplashCheck::ok) return -1;

    // Stage 7: header, stream, splash block.
    const char* packed_path = paths.packed_image.c_str();
    std::FILE* packed = nullptr;
    if (OpenForWriting(packed_path, &packed) != open_ok) {
        std::printf("Error creating %s.\r\n", packed_path);
        stream_close(container);
        close_if_open(splash.stream);
        return -1;
    }
    auto fail = [&](const char* message, const char* path) {
        std::printf(message, path);
        stream_close(packed);
        close_if_open(container);
        close_if_open(splash.stream);
        return -1;
    };

    std::uint8_t header[16] = {'I', 'O', 'R', 'W'};
    store_le32(header + 4, sizeof header);
    store_le32(header + 8, container_size);
    store_le32(header + 12, splash.block_size);
    if (stream_write(header, sizeof header, packed) != sizeof header)
        return fail("Error writing to %s.\r\n", packed_path);

    switch (copy_bytes(container, packed, container_size)) {
        case CopyResult::read_short: return fail("Error reading from %s.\r\n", paths.container.c_str());
        case CopyResult::write_short: return fail("Error writing to %s.\r\n", packed_path);
        case CopyResult::ok: break;
    }
    stream_close(container);
    container = nullptr;

    if (splash.block_size != 0) {
        if (stream_write("ECEC", 4, packed) != 4 ||
            !stream_write_le32(packed, static_cast<std::uint32_t>(splash.width)) ||
            !stream_write_le32(packed, static_cast<std::uint32_t>(splash.height))) {
            return fail("Error writing to %s.\r\n", packed_path);
        }
        switch (copy_bytes(splash.stream, packed, splash.block_size - 12)) {
            case CopyResult::read_short: return fail("Error reading from %s.\r\n", paths.splash.c_str());
            case CopyResult::write_short: return fail("Error writing to %s.\r\n", packed_path);
            case CopyResult::ok: break;
        }
    }

    // Stage 8. A full disk may only show when the buffered bytes are written
    // out, so the flush and the close are checked too.
    close_if_open(splash.stream);
    const bool flushed = stream_flush(packed) == 0;
    const bool closed = stream_close(packed) == 0;
    if (!flushed || !closed) {
        std::printf("Error writing to %s.\r\n", packed_path);
        return -1;
    }
    std::printf("Image file %s generated successfully", packed_path);
    return 0;
}

}  // namespace romfold
