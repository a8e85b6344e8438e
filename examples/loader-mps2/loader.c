/*
 * A reference boot loader for romfold's packed image, on QEMU's mps2-an385
 * board (Cortex-M3).
 *
 * nk.nbx lies at the start of a flash partition, erased after it; the loader
 * knows the partition, not the file, so it takes the image's length from the
 * header (FoldPackedImageSize). It then unpacks the image into RAM three
 * ways, as loaders do:
 *   - in one piece, straight from memory-mapped flash (FoldDecodeImage);
 *   - in place: nk.nbx copied to the end of the RAM buffer, and the image
 *     decoded towards its start (FOLD_IN_PLACE_BUFFER_SIZE bytes in all);
 *   - in 512-byte pieces, as a flash driver hands out pages (FoldWalk), with
 *     64 KiB of work memory for records that span pages.
 * Each way prints the image's length and CRC-32 and the splash screen's
 * dimensions and the CRC-32 of its pixels, which the host compares with its
 * own. A fault is printed by name with its offset, and the image is not
 * started: the run ends with status 1. Where a real loader would jump to the
 * image, this one ends the run with status 0.
 */
#include <romfold/fold_decoder.h>
#include <string.h>

#include "semihosting.h"

extern const uint8_t partition_start[], partition_end[];
extern uint8_t __image_ram[], __image_ram_end[];

#define PAGE_SIZE 512u

static uint8_t work[FOLD_WALK_WORK_SIZE];
static uint8_t page[PAGE_SIZE];

/* ------------------------------------------------------------ output */

static void put(const char* text) { semihosting_write(text); }

static void put_number(uint32_t value) {
    char text[11];
    char* p = text + sizeof text - 1;
    *p = '\0';
    do *--p = (char)('0' + value % 10u);
    while ((value /= 10u) != 0);
    put(p);
}

static void put_hex(uint32_t value) {
    static const char digits[] = "0123456789abcdef";
    char text[9];
    int i;
    for (i = 7; i >= 0; --i, value >>= 4) text[i] = digits[value & 15u];
    text[8] = '\0';
    put(text);
}

/* --------------------------------------------------------------- CRC */

/* CRC-32 of zlib and zip, four bits at a time. Start with crc 0. */
static uint32_t crc32(uint32_t crc, const uint8_t* bytes, size_t size) {
    static const uint32_t table[16] = {0x00000000u, 0x1DB71064u, 0x3B6E20C8u, 0x26D930ACu, 0x76DC4190u, 0x6B6B51F4u,
                                       0x4DB26158u, 0x5005713Cu, 0xEDB88320u, 0xF00F9344u, 0xD6D6A3E8u, 0xCB61B38Cu,
                                       0x9B64C2B0u, 0x86D3D2D4u, 0xA00AE278u, 0xBDBDF21Cu};
    crc = ~crc;
    while (size-- != 0) {
        crc ^= *bytes++;
        crc = (crc >> 4) ^ table[crc & 15u];
        crc = (crc >> 4) ^ table[crc & 15u];
    }
    return ~crc;
}

/* ---------------------------------------------------------- unpacking */

/* What one way of unpacking gives. */
struct outcome {
    FoldError error;
    size_t offset;
    uint32_t image_size;
    uint32_t image_crc;
    int32_t width, height;
    uint32_t pixels_crc;
};

static void finish(struct outcome* out, const FoldImageInfo* info, const uint8_t* pixels) {
    out->image_size = info->image_size;
    out->image_crc = crc32(0, __image_ram, info->image_size);
    out->width = info->width;
    out->height = info->height;
    if (pixels != NULL) out->pixels_crc = crc32(0, pixels, info->splash_size - 12u);
}

static struct outcome from_flash(const uint8_t* nbx, size_t size) {
    struct outcome out = {FOLD_OK, 0, 0, 0, 0, 0, 0};
    FoldImageInfo info;
    FoldFault fault;
    out.error = FoldDecodeImage(nbx, size, __image_ram, (size_t)(__image_ram_end - __image_ram), FOLD_PACKED_IMAGE,
                                &info, &fault);
    out.offset = fault.offset;
    if (out.error == FOLD_OK) finish(&out, &info, info.splash_size != 0 ? nbx + info.pixels_at : NULL);
    return out;
}

static uint32_t load_le32(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static struct outcome in_place(const uint8_t* nbx, size_t size) {
    struct outcome out = {FOLD_BUFFER_TOO_SMALL, 0, 0, 0, 0, 0, 0};
    FoldImageInfo info;
    FoldFault fault;
    /* The container's total size and the splash size, from the headers
       (FoldDecodeImage checks them; a packed image has at least 24 bytes). */
    const uint32_t image_size = size >= 24 ? load_le32(nbx + 20) : 0;
    const size_t buffer_size = FOLD_IN_PLACE_BUFFER_SIZE((size_t)image_size, (size_t)load_le32(nbx + 12));
    uint8_t* input;
    if (buffer_size > (size_t)(__image_ram_end - __image_ram) || buffer_size < size) return out;
    input = __image_ram + buffer_size - size;
    memcpy(input, nbx, size);
    out.error = FoldDecodeImage(input, size, __image_ram, buffer_size, FOLD_PACKED_IMAGE, &info, &fault);
    out.offset = fault.offset;
    if (out.error == FOLD_OK) finish(&out, &info, info.splash_size != 0 ? input + info.pixels_at : NULL);
    return out;
}

static struct outcome in_pages(const uint8_t* nbx, size_t size) {
    struct outcome out = {FOLD_OK, 0, 0, 0, 0, 0, 0};
    static FoldWalker walker;
    const uint8_t* next = NULL;
    size_t left = 0;
    size_t read = 0;
    FoldEvent event;
    FoldWalkBegin(&walker, FOLD_PACKED_IMAGE, size, __image_ram, (size_t)(__image_ram_end - __image_ram), work,
                  sizeof work);
    while ((event = FoldWalk(&walker, &next, &left)) != FOLD_DONE && event != FOLD_FAULT) {
        if (event == FOLD_NEED_INPUT) {
            /* The flash driver reads the next page. */
            left = size - read < PAGE_SIZE ? size - read : PAGE_SIZE;
            memcpy(page, nbx + read, left);
            next = page;
            read += left;
        } else if (event == FOLD_PIXELS) {
            out.pixels_crc = crc32(out.pixels_crc, walker.pixels, walker.pixel_size);
        }
    }
    if (event == FOLD_FAULT) {
        out.error = walker.fault.error;
        out.offset = walker.fault.offset;
        return out;
    }
    finish(&out, &walker.info, NULL);
    return out;
}

/* One line per way: the image and the splash screen, or the fault. */
static int report(const char* way, struct outcome out) {
    put("loader: ");
    put(way);
    put(": ");
    if (out.error != FOLD_OK) {
        put(FoldErrorName(out.error));
        put(" at offset ");
        put_number((uint32_t)out.offset);
        put("\n");
        return 0;
    }
    put("image ");
    put_number(out.image_size);
    put(" bytes, CRC-32 ");
    put_hex(out.image_crc);
    if (out.width != 0 || out.height != 0) {
        put("; splash ");
        put_number((uint32_t)out.width);
        put("x");
        put_number((uint32_t)out.height);
        put(", CRC-32 ");
        put_hex(out.pixels_crc);
    }
    put("\n");
    return 1;
}

int main(void) {
    const size_t partition_size = (size_t)(partition_end - partition_start);
    size_t size;
    FoldFault fault;
    int good;
    put("loader: partition of ");
    put_number((uint32_t)partition_size);
    put(" bytes\n");
    if (FoldPackedImageSize(partition_start, partition_size, &size, &fault) != FOLD_OK) {
        good = report("nk.nbx", (struct outcome){fault.error, fault.offset, 0, 0, 0, 0, 0});
    } else {
        put("loader: nk.nbx of ");
        put_number((uint32_t)size);
        put(" bytes\n");
        good = report("from flash", from_flash(partition_start, size));
        good &= report("in place", in_place(partition_start, size));
        good &= report("in 512-byte pages", in_pages(partition_start, size));
    }
    put(good ? "loader: starting the image\n" : "loader: not starting a damaged image\n");
    return good ? 0 : 1;
}
