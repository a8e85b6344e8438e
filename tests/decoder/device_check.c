/*
 * The decoder on any machine, reduced to one line per input file, so that
 * the lines of an ARM run under qemu can be compared with those of the host
 * and with the committed expectation (device_check.expected).
 *
 *   device_check [--image OUT] FILE...
 *
 * A file whose name contains "nk.nbx" is a packed image, "nbx.tmp" a block
 * container; anything else is a block as the block_decoder fuzz target takes
 * it (3 bytes of uncompressed size, little-endian, modulo 65537, then the
 * block). Each file is decoded
 *   - whole, strict and lenient (FoldDecodeImage or FoldDecodeBlock), and
 *   - images and containers also walked in pieces of 1, 7 and 4096 bytes into
 *     a block buffer, and the blocks' bytes digested in order;
 * every way must agree, and the line gives the result, the fault offset and a
 * 64-bit FNV-1a digest of the output. --image writes the first file's
 * decoded image to OUT. Exits 1 when two ways disagree, 2 on a usage or I/O
 * error.
 */
#include <romfold/fold_decoder.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define MAX_INPUT (1u << 20)

static uint8_t input[MAX_INPUT];
static uint8_t image[MAX_INPUT];
static uint8_t lenient_image[MAX_INPUT];
static uint8_t block[FOLD_BLOCK_SIZE];
static uint8_t work[FOLD_WALK_WORK_SIZE];

static uint64_t digest(uint64_t hash, const uint8_t* bytes, size_t size) {
    size_t i;
    for (i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 0x100000001B3ull;
    return hash;
}

#define DIGEST_START 0xCBF29CE484222325ull

/* Walks input[0, size) in pieces of `piece` bytes into the block buffer. */
static FoldError walk(size_t size, uint32_t flags, size_t piece, uint64_t* hash, FoldFault* fault) {
    FoldWalker walker;
    const uint8_t* next = input;
    size_t left = 0;
    size_t fed = 0;
    FoldEvent event;
    *hash = DIGEST_START;
    FoldWalkBegin(&walker, flags | FOLD_BLOCK_OUTPUT, size, block, sizeof block, work, sizeof work);
    for (;;) {
        event = FoldWalk(&walker, &next, &left);
        if (event == FOLD_BLOCK) *hash = digest(*hash, walker.block.bytes, walker.block.size);
        if (event == FOLD_DONE || event == FOLD_FAULT) break;
        if (event == FOLD_NEED_INPUT) {
            if (fed == size) break;
            next = input + fed;
            left = size - fed < piece ? size - fed : piece;
            fed += left;
        }
    }
    *fault = walker.fault;
    return event == FOLD_DONE ? FOLD_OK : event == FOLD_FAULT ? walker.fault.error : FOLD_BAD_ARGUMENT;
}

static int check_image(const char* name, size_t size, uint32_t kind, FILE* image_out) {
    static const size_t pieces[] = {1, 7, 4096};
    FoldImageInfo info;
    FoldFault fault, lenient_fault;
    const FoldError error = FoldDecodeImage(input, size, image, sizeof image, kind, &info, &fault);
    const FoldError lenient =
        FoldDecodeImage(input, size, lenient_image, sizeof lenient_image, kind | FOLD_LENIENT, NULL, &lenient_fault);
    const uint64_t hash = error == FOLD_OK ? digest(DIGEST_START, image, info.image_size) : 0;
    size_t i;
    int agree = 1;
    if (error == FOLD_OK && (lenient != FOLD_OK || memcmp(image, lenient_image, info.image_size) != 0)) agree = 0;
    for (i = 0; i < sizeof pieces / sizeof pieces[0]; ++i) {
        uint64_t walked;
        FoldFault walk_fault;
        const FoldError walk_error = walk(size, kind, pieces[i], &walked, &walk_fault);
        if (walk_error != error || (error == FOLD_OK ? walked != hash : walk_fault.offset != fault.offset)) agree = 0;
    }
    if (error == FOLD_OK) {
        printf("%s: image %u bytes in %u blocks, splash %dx%d at %llu, digest %016llx\n", name,
               (unsigned)info.image_size, (unsigned)info.block_count, (int)info.width, (int)info.height,
               (unsigned long long)info.pixels_at, (unsigned long long)hash);
        if (image_out != NULL && fwrite(image, 1, info.image_size, image_out) != info.image_size) return 2;
    } else {
        printf("%s: fault %d at offset %llu, block %u\n", name, (int)error, (unsigned long long)fault.offset,
               (unsigned)fault.block);
    }
    return agree ? 0 : 1;
}

static int check_block(const char* name, size_t size) {
    FoldBlockResult result, lenient_result;
    size_t expected;
    FoldError error, lenient;
    if (size < 3) return 2;
    expected = ((size_t)input[0] | (size_t)input[1] << 8 | (size_t)input[2] << 16) % 65537u;
    error = FoldDecodeBlock(input + 3, size - 3, image, expected, 0, &result);
    lenient = FoldDecodeBlock(input + 3, size - 3, lenient_image, expected, FOLD_LENIENT, &lenient_result);
    printf("%s: block of %u bytes, result %d at offset %u, %u produced, digest %016llx\n", name, (unsigned)expected,
           (int)error, (unsigned)result.offset, (unsigned)result.produced,
           (unsigned long long)digest(DIGEST_START, image, result.produced));
    if (error == FOLD_OK && (lenient != FOLD_OK || memcmp(image, lenient_image, expected) != 0)) return 1;
    return 0;
}

int main(int argc, char** argv) {
    FILE* image_out = NULL;
    int status = 0;
    int i = 1;
    if (argc > 2 && strcmp(argv[1], "--image") == 0) {
        image_out = fopen(argv[2], "wb");
        if (image_out == NULL) return 2;
        i = 3;
    }
    for (; i < argc; ++i) {
        const char* slash = strrchr(argv[i], '/');
        const char* name = slash != NULL ? slash + 1 : argv[i];
        FILE* file = fopen(argv[i], "rb");
        size_t size;
        int result;
        if (file == NULL) {
            fprintf(stderr, "device_check: cannot open %s\n", argv[i]);
            return 2;
        }
        size = fread(input, 1, sizeof input, file);
        fclose(file);
        if (strstr(name, "nk.nbx") != NULL) {
            result = check_image(name, size, FOLD_PACKED_IMAGE, image_out);
        } else if (strstr(name, "nbx.tmp") != NULL) {
            result = check_image(name, size, FOLD_CONTAINER, image_out);
        } else {
            result = check_block(name, size);
        }
        if (image_out != NULL) {
            if (fclose(image_out) != 0) result = 2;
            image_out = NULL;
        }
        if (result != 0) {
            fprintf(stderr, "device_check: %s: %s\n", name,
                    result == 1 ? "the ways of decoding disagree" : "I/O error");
            if (result > status) status = result;
        }
    }
    return status;
}
