/*
 * A C loader-like program using the installed decoder, built with the flags
 * of `pkg-config --cflags --libs romfold_decoder`. It unpacks a small packed
 * image (one compressed block and a 2x1 splash screen) from memory, then
 * again fed one byte at a time, and checks each result against what
 * <romfold/fold_decoder.h> promises. Prints every broken promise and exits 1.
 */
#include <romfold/fold_decoder.h>

#include <stdio.h>
#include <string.h>

static int failures = 0;

static void check(int ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "pkg_config_decoder_consumer: %s\n", what);
        ++failures;
    }
}

/* "IORW", 16, S = 28, splash size 16; the container ("XPRS", total 12, the
   last block's word and size, the 9-byte block for abcabcabcabc and 3 bytes
   of padding); "ECEC", 2, 1 and four pixel bytes. */
static const uint8_t packed[] = {
    'I',  'O', 'R', 'W', 16,  0,   0,   0,    28, 0, 0, 0, 16,   0,    0,    0,    'X',  'P',  'R',  'S',
    12,   0,   0,   0,   9,   0,   0,   0x40, 12, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x1F, 'a',  'b',  'c',  0x16,
    0x00, 0,   0,   0,   'E', 'C', 'E', 'C',  2,  0, 0, 0, 1,    0,    0,    0,    0x11, 0x22, 0x33, 0x44,
};

int main(void) {
    static uint8_t image[16];
    static uint8_t block[FOLD_BLOCK_SIZE];
    static uint8_t work[FOLD_WALK_WORK_SIZE];
    static uint8_t broken[sizeof packed];
    FoldImageInfo info;
    FoldFault fault;
    FoldWalker walker;
    const uint8_t* input = packed;
    size_t left = 0;
    size_t fed = 0;
    int blocks = 0;
    int pixel_bytes = 0;
    FoldEvent event;

    check(FoldDecoderVersion() == FOLD_DECODER_VERSION_NUMBER, "FoldDecoderVersion differs from the header");
    check(FoldWalkWorkSize() == FOLD_WALK_WORK_SIZE, "FoldWalkWorkSize differs from FOLD_WALK_WORK_SIZE");

    check(FoldDecodeImage(packed, sizeof packed, image, sizeof image, FOLD_PACKED_IMAGE, &info, &fault) == FOLD_OK,
          "FoldDecodeImage refused the image");
    check(memcmp(image, "abcabcabcabc", 12) == 0, "FoldDecodeImage gave other bytes");
    check(info.image_size == 12 && info.block_count == 1, "wrong image size or block count");
    check(info.width == 2 && info.height == 1 && info.pixels_at == 56 && packed[info.pixels_at] == 0x11,
          "wrong splash dimensions or pixel location");

    check(FoldWalkBegin(&walker, FOLD_PACKED_IMAGE | FOLD_BLOCK_OUTPUT, sizeof packed, block, sizeof block, work,
                        sizeof work) == FOLD_OK,
          "FoldWalkBegin refused its arguments");
    do {
        if (left == 0 && fed < sizeof packed) {
            input = packed + fed;
            left = 1;
            ++fed;
        }
        event = FoldWalk(&walker, &input, &left);
        if (event == FOLD_BLOCK) {
            ++blocks;
            check(walker.block.size == 12 && memcmp(walker.block.bytes, "abcabcabcabc", 12) == 0,
                  "the walk decoded other bytes");
        }
        if (event == FOLD_PIXELS) pixel_bytes += (int)walker.pixel_size;
    } while (event != FOLD_DONE && event != FOLD_FAULT && fed <= sizeof packed);
    check(event == FOLD_DONE, "the walk in 1-byte pieces did not end with FOLD_DONE");
    check(blocks == 1 && pixel_bytes == 4, "the walk did not report one block and four pixel bytes");

    /* A padding byte that is not zero: refused when strict, taken when lenient. */
    memcpy(broken, packed, sizeof packed);
    broken[42] = 1;
    check(FoldDecodeImage(broken, sizeof broken, image, sizeof image, FOLD_PACKED_IMAGE, &info, &fault) ==
                  FOLD_PADDING_NOT_ZERO &&
              fault.offset == 42,
          "non-zero padding not refused at its offset");
    check(FoldDecodeImage(broken, sizeof broken, image, sizeof image, FOLD_PACKED_IMAGE | FOLD_LENIENT, &info,
                          &fault) == FOLD_OK,
          "lenient mode refused non-zero padding");

    if (failures != 0) return 1;
    printf("pkg_config_decoder_consumer: %u bytes unpacked\n", (unsigned)info.image_size);
    return 0;
}
