/*
 * fold_decoder.h - the decoder library's whole public contract.
 *
 * Decodes what romfold writes: single compressed blocks, the block container
 * (nbx.tmp) and the packed image (nk.nbx). Written for boot loaders as much as
 * for build machines:
 *
 *   - freestanding C99: no heap, no stdio, no errno, no global state; the only
 *     calls it makes are memcpy and memset (none to the compiler's runtime),
 *     which a loader may replace by its own: define FOLD_MEMCPY and
 *     FOLD_MEMSET as the names of functions with their standard arguments and
 *     results when compiling fold_decoder.c, which declares them (with GCC
 *     and clang its copies of a fixed size stay inline moves);
 *   - safe against any input: no input makes it read outside the bytes it was
 *     given or write outside the buffers it was given, and every fault is
 *     reported with its kind and the byte offset where it was found;
 *   - strict by default: it accepts exactly the byte sequences that romfold
 *     writes. FOLD_LENIENT skips the checks that protect no memory (filler
 *     bits, closing flag word, bytes after a block's last item, container
 *     padding); the bounds are checked in either mode, and an input that the
 *     strict mode accepts decodes to the same bytes in both.
 *
 * Three ways in, smallest first:
 *   FoldDecodeBlock   one compressed block of known uncompressed size;
 *   FoldDecodeImage   a whole container or packed image held in memory, into
 *                     one image buffer;
 *   FoldWalk...       the same input fed in pieces of any size (a loader that
 *                     reads flash in chunks, a checker that reads a file),
 *                     reported event by event, each block decoded either in
 *                     place in a whole-image buffer or into one block buffer,
 *                     or its record only checked and handed out, for
 *                     FoldDecodeRecord to decode later (on other threads).
 *
 * Memory. The caller owns every buffer and the FoldWalker. Nothing is kept
 * between calls but what a FoldWalker holds. All calls are reentrant: distinct
 * walkers and buffers may be used from different threads at once.
 * Stack on 32-bit ARM (Thumb-2, -Os): FoldDecodeBlock 48 bytes, FoldWalk
 * 120 with the block decode it calls, FoldDecodeRecord 104 likewise,
 * FoldDecodeImage 336 (it holds a FoldWalker of its own),
 * FoldPackedImageSize 84. sizeof(FoldWalker) is 164 bytes there.
 *
 * Formats (integers little-endian; see the README for the full layouts):
 *   packed image   "IORW", 16, S, splash size; the container (S bytes); when the
 *                  splash size is not 0: "ECEC", width, height, 2*W*H pixel bytes
 *   container      "XPRS", total size; one record per 65536-byte block: block
 *                  word (bits 0-29 data size, bit 30 last, bit 31 stored), the
 *                  last block's size, the data, zero padding to 4 bytes after
 *                  compressed data
 */
#ifndef ROMFOLD_FOLD_DECODER_H
#define ROMFOLD_FOLD_DECODER_H

#include <stddef.h>
#include <stdint.h>

/* The formats' fixed values: the first four bytes of a packed image and of a
 * container, the marker of a splash block, and the largest splash screen. */
#define FOLD_IMAGE_SIGNATURE "IORW"
#define FOLD_CONTAINER_SIGNATURE "XPRS"
#define FOLD_SPLASH_SIGNATURE "ECEC"
#define FOLD_SPLASH_MAX_WIDTH 1920
#define FOLD_SPLASH_MAX_HEIGHT 1080

/* Version of this header and of the library built from it. */
#define FOLD_DECODER_VERSION_MAJOR 0
#define FOLD_DECODER_VERSION_MINOR 1
#define FOLD_DECODER_VERSION_PATCH 0
#define FOLD_DECODER_VERSION_NUMBER \
    (FOLD_DECODER_VERSION_MAJOR * 10000 + FOLD_DECODER_VERSION_MINOR * 100 + FOLD_DECODER_VERSION_PATCH)

/*
 * Marks the library's calls; every other symbol of the shared library is
 * hidden, so these are all it exports. On Windows they are exported from the
 * DLL while it is built (FOLD_DECODER_BUILDING_DLL) and imported from it by
 * its users. A program linked with the static library, or built with
 * fold_decoder.c among its own sources, defines FOLD_DECODER_STATIC (the
 * CMake target romfold::decoder_static does so for its users).
 */
#if defined(FOLD_DECODER_STATIC)
#define FOLD_DECODER_API
#elif defined(_WIN32)
#if defined(FOLD_DECODER_BUILDING_DLL)
#define FOLD_DECODER_API __declspec(dllexport)
#else
#define FOLD_DECODER_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) && __GNUC__ >= 4
#define FOLD_DECODER_API __attribute__((visibility("default")))
#else
#define FOLD_DECODER_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The uncompressed size of every container block but the last. */
#define FOLD_BLOCK_SIZE 65536u

/* Work memory that FoldWalkBegin needs for input fed in pieces (see there). */
#define FOLD_WALK_WORK_SIZE 65536u

/* Flags. Each call names the ones it takes; others are ignored. */
#define FOLD_CONTAINER 0x0u    /* the input is a block container (nbx.tmp) */
#define FOLD_PACKED_IMAGE 0x1u /* the input is a packed image (nk.nbx) */
#define FOLD_LENIENT 0x2u      /* skip the checks that protect no memory (above) */
#define FOLD_BLOCK_OUTPUT 0x4u /* FoldWalkBegin: decode every block into one block buffer */
#define FOLD_RECORDS_ONLY 0x8u /* FoldWalkBegin: check the records, hand out their data undecoded */

/*
 * Every result. 0 is success; each fault names the first thing found wrong.
 * FoldFault (below) says where: offset, the record's number (block) and,
 * for the kinds that name it here, one value. Where a fault concerns a size
 * that the headers give, FoldImageInfo holds it by then (image_size and
 * block_count from the container header on, width and height from the
 * splash header on). Offsets are input offsets; a cut-off part is reported
 * where it starts, before any of its bytes is taken.
 */
typedef enum FoldError {
    FOLD_OK = 0,

    /* A compressed block (FoldDecodeBlock, and each block of a container,
       at the offset of the fault inside the record's data). */
    FOLD_FLAG_WORD_CUT_OFF = 1, /* the block ends inside, or before, a flag word */
    FOLD_LITERAL_CUT_OFF,       /* the block ends where a literal byte is due */
    FOLD_TOKEN_CUT_OFF,         /* the block ends inside a 16-bit match token */
    FOLD_LENGTH_CUT_OFF,        /* the block ends inside a match's length extension */
    FOLD_OFFSET_BEFORE_START,   /* a match reaches back past the start of the block */
    FOLD_OUTPUT_TOO_LONG,       /* a match runs past the uncompressed size */
    FOLD_OUTPUT_TOO_SHORT,      /* the block ends before the uncompressed size */
    FOLD_TRAILING_BYTES,        /* bytes follow the end of the block (strict only) */
    FOLD_BAD_FILLER,            /* a filler bit, closing word or unused half-byte is not as written (strict only) */

    /* The block container. */
    FOLD_CONTAINER_TOO_SHORT = 20, /* shorter than its 8-byte header; value: its length */
    FOLD_CONTAINER_MAGIC,          /* not "XPRS" */
    FOLD_TOTAL_TOO_BIG,            /* the total size (value) needs more records than the container can hold */
    FOLD_BLOCK_WORD_CUT_OFF,       /* the container ends inside a block word; value: the bytes left */
    FOLD_LAST_TOO_EARLY,           /* a block before the last is marked last */
    FOLD_LAST_NOT_MARKED,          /* the last block is not marked last */
    FOLD_SIZE_WORD_CUT_OFF,        /* the container ends inside the last block's size word; value: the bytes left */
    FOLD_SIZE_MISMATCH,            /* the size word (value) is not what the total leaves for the last block */
    FOLD_STORED_SIZE,              /* a stored record's data size (value) is not its block's size */
    FOLD_COMPRESSED_SIZE,          /* a compressed record's data size (value) is not below its block's size */
    FOLD_DATA_CUT_OFF,             /* the container ends inside a record's data or padding; value: the bytes left */
    FOLD_PADDING_NOT_ZERO,         /* a padding byte is not 0 (strict only) */
    FOLD_DATA_AFTER_END,           /* value: the bytes that follow the last record */

    /* The packed image. */
    FOLD_IMAGE_TOO_SHORT = 40, /* shorter than its 16-byte header; value: its length */
    FOLD_IMAGE_MAGIC,          /* not "IORW" */
    FOLD_HEADER_SIZE,          /* value: the header size field, which must be 16 */
    FOLD_IMAGE_SIZE, /* 16 + S + splash size (value; on 32-bit targets modulo 2^32) is not the input's length */
    FOLD_SPLASH_SIZE_TOO_SMALL, /* value: the splash size field, neither 0 nor 12 or more */
    FOLD_SPLASH_MARKER,         /* not "ECEC" */
    FOLD_SPLASH_NEGATIVE,       /* a splash dimension is negative */
    FOLD_SPLASH_TOO_BIG,        /* the splash screen is wider than 1920 or higher than 1080 */
    FOLD_SPLASH_SIZE_MISMATCH,  /* the splash size field (value) is not 12 + 2*W*H, computed in 32 bits */

    /* The caller's side. */
    FOLD_BAD_ARGUMENT = 60, /* a null pointer where one may not be, or a walker that failed to begin */
    FOLD_BUFFER_TOO_SMALL,  /* the output buffer is smaller than the value, at the total size's offset; in
                               place, the buffer up to the input's end is (FOLD_IN_PLACE_BUFFER_SIZE) */
    FOLD_NO_WORK_MEMORY     /* a record's data (value: its bytes) came in pieces without enough work memory */
} FoldError;

/* ---------------------------------------------------------------- blocks */

/* Where a block decode stopped. */
typedef struct FoldBlockResult {
    size_t offset;   /* in src: src_size on success, else where the faulty item, word or byte starts
                        (for a cut-off: where the missing bytes were due) */
    size_t produced; /* bytes written to dst: dst_size on success, else those decoded before the fault */
} FoldBlockResult;

/*
 * Decodes the compressed block src[0, src_size) into dst, whose size
 * dst_size is the block's uncompressed size (the container keeps it).
 * Flags: FOLD_LENIENT. result may be null.
 *
 * Returns FOLD_OK, one of the block faults (FOLD_FLAG_WORD_CUT_OFF to
 * FOLD_BAD_FILLER), or FOLD_BAD_ARGUMENT when src or dst is null with a
 * non-zero size. Reads only src[0, src_size), writes only dst[0, dst_size);
 * on a fault dst[0, produced) holds the bytes decoded so far and the rest of
 * dst is unspecified.
 */
FOLD_DECODER_API FoldError FoldDecodeBlock(const void* src, size_t src_size, void* dst, size_t dst_size, uint32_t flags,
                                           FoldBlockResult* result);

/* ----------------------------------------------------- containers, images */

/* What the headers of a container or packed image say. */
typedef struct FoldImageInfo {
    uint32_t image_size;  /* the container's total uncompressed size */
    uint32_t block_count; /* records: image_size / 65536, rounded up */
    size_t stream_at;     /* input offset of the container: 16 in a packed image, else 0 */
    size_t stream_size;   /* the container's length: S, or a bare container's input length */
    uint32_t splash_size; /* the splash block size field: 0 (none), or 12 + 2*W*H */
    int32_t width;        /* splash dimensions; 0 without a splash block */
    int32_t height;
    size_t pixels_at; /* input offset of the 2*W*H pixel bytes, 28 + S; 0 without a splash block */
} FoldImageInfo;

/*
 * The splash pixels, as the packer copies them from the splash file: H rows
 * of W pixels, the bottom row first, each row 2*W bytes with no padding
 * between rows (row y from the bottom starts at pixels_at + 2*W*y). A pixel
 * is a little-endian 16-bit value: red in bits 15-11, green in bits 10-5,
 * blue in bits 4-0 (the packer does not read the file's colour masks; these
 * are the fields of a 16-bit splash file's usual 5-6-5 masks). pixels_at is
 * 28 + S, which may be odd: a CPU that cannot load 16 bits from an odd
 * address (Cortex-M0, for one) must assemble each pixel from its two bytes.
 */

/* Where a container or image fault lies. */
typedef struct FoldFault {
    FoldError error;
    size_t offset;  /* in the input */
    uint32_t block; /* the record's number, from 0, for block and record faults */
    size_t value;   /* the value at fault, for the kinds that name one; else 0 */
} FoldFault;

/*
 * Decodes the whole container (FOLD_CONTAINER) or packed image
 * (FOLD_PACKED_IMAGE) src[0, src_size) into image[0, image_size), which
 * must hold the container's total size. Flags: the input kind, FOLD_LENIENT.
 * info and fault may be null; info is filled as far as the headers were read.
 * Needs no work memory. Returns FOLD_OK or the first fault, which fault
 * describes; FOLD_BUFFER_TOO_SMALL when image_size is below the total.
 * The splash pixels stay where they are: src + info->pixels_at.
 */
FOLD_DECODER_API FoldError FoldDecodeImage(const void* src, size_t src_size, void* image, size_t image_size,
                                           uint32_t flags, FoldImageInfo* info, FoldFault* fault);

/*
 * The length of the packed image whose first 16 bytes are at header, for a
 * loader that knows only how many bytes its flash partition holds
 * (available): the image may be followed by anything, such as erased 0xFF
 * bytes. Checks the header as FoldReadImageHeader does, against the bytes
 * available: FOLD_IMAGE_SIZE when 16 + S + splash size is more than that.
 * Pass the length on as the input size of FoldDecodeImage or FoldWalkBegin;
 * the walk takes no byte after it. fault may be null.
 *
 * Returns FOLD_OK with *image_size set, a header fault (FOLD_IMAGE_TOO_SHORT
 * when available is below 16), or FOLD_BAD_ARGUMENT when header or
 * image_size is null; on a fault *image_size is 0.
 */
FOLD_DECODER_API FoldError FoldPackedImageSize(const void* header, size_t available, size_t* image_size,
                                               FoldFault* fault);

/*
 * Unpacking in place, for a loader with RAM for little more than the image:
 * the packed image (N bytes) is placed at the very end of one buffer of
 *
 *   FOLD_IN_PLACE_BUFFER_SIZE(image_size, splash_size)
 *
 * bytes or more, and FoldDecodeImage unpacks it towards the buffer's start:
 * FoldDecodeImage(buffer + size - N, N, buffer, size, ...). The image
 * overwrites the packed bytes that lie behind the decoder's reading position,
 * and never one that it still has to read; the splash pixels stay where they
 * are, at the end of the buffer. image_size and splash_size are the
 * container's total size and the splash size field (at offset 12 of a packed
 * image; 0 for a bare container); the total size is the word at offset 20 of
 * a packed image, 4 of a container. Both arguments are evaluated more than
 * once; the sum must fit in size_t.
 *
 * The margin holds for every input the decoder accepts, not only for what
 * romfold writes: the bytes a block may take beyond what it produces from
 * any point of its decoding (less than 34 KiB: a block is stored when it does
 * not shrink, and no item takes more than twice the bytes it produces), 16
 * per record for the records' words and padding, and 256 for the decoder's
 * own reach: its copies may write up to 48 bytes past an item's start, and
 * it reads a group's flag word again up to 196 bytes after it.
 *
 * FoldDecodeImage checks the layout when the input lies inside the image
 * buffer: it must end at least FOLD_IN_PLACE_BUFFER_SIZE bytes after the
 * buffer's start, or the decode fails with FOLD_BUFFER_TOO_SMALL (value: that
 * size) before anything is written. The walk does not look where its input
 * lies: given the same layout in one piece it unpacks in place as well, but
 * unchecked.
 */
#define FOLD_IN_PLACE_MARGIN(image_size) ((((image_size) >> 16) + 1u) * 16u + 34816u + 256u)
#define FOLD_IN_PLACE_BUFFER_SIZE(image_size, splash_size) \
    ((image_size) + FOLD_IN_PLACE_MARGIN(image_size) + (splash_size))

/*
 * For a caller that can read anywhere in a packed image and wants its faults
 * in romfold-check's order (the splash block before the container):
 * FoldReadImageHeader checks the 16-byte header against the input's length
 * and fills stream_at, stream_size, splash_size and pixels_at;
 * FoldReadSplashHeader then checks the 12 bytes at 16 + S and fills width and
 * height. Both return FOLD_OK or the fault, with its input offset.
 */
FOLD_DECODER_API FoldError FoldReadImageHeader(const uint8_t header[16], size_t input_size, FoldImageInfo* info,
                                               FoldFault* fault);
FOLD_DECODER_API FoldError FoldReadSplashHeader(const uint8_t splash[12], FoldImageInfo* info, FoldFault* fault);

/* ------------------------------------------------------------------ walk */

/* What FoldWalk reports. */
typedef enum FoldEvent {
    FOLD_NEED_INPUT, /* every byte given has been taken: call again with the next piece */
    FOLD_HEADER,     /* the container header is checked: walker->info holds sizes and count */
    FOLD_BLOCK,      /* a block is checked and decoded (FOLD_RECORDS_ONLY: its record checked): walker->block */
    FOLD_SPLASH,     /* the splash header is checked: walker->info holds width, height, pixels_at */
    FOLD_PIXELS,     /* walker->pixels[0, pixel_size): the next splash pixel bytes, inside the caller's piece */
    FOLD_DONE,       /* the whole input is checked; every later call returns FOLD_DONE too */
    FOLD_FAULT       /* walker->fault says what and where; every later call returns FOLD_FAULT too */
} FoldEvent;

/* One decoded block (or checked record), as FOLD_BLOCK hands it over. */
typedef struct FoldBlock {
    uint32_t index;        /* record number, from 0 */
    size_t record_offset;  /* input offset of the record's block word */
    size_t data_offset;    /* input offset of the record's data */
    uint32_t image_offset; /* offset of the block's first byte in the image */
    uint32_t size;         /* uncompressed bytes: 65536, or less for the last block */
    uint32_t data_size;    /* data bytes in the record, padding excluded */
    uint32_t padded_size;  /* data bytes with their padding: data_size rounded up to 4 when compressed */
    int stored;            /* 1 when the record holds the bytes unchanged */
    const uint8_t* bytes;  /* the decoded bytes: in the image buffer, or the block buffer until the next call;
                              FOLD_RECORDS_ONLY: the record's padded_size data bytes, in the caller's piece or
                              the work memory until the next call */
} FoldBlock;

/*
 * The walker: the caller's (static, on the stack or inside a structure of
 * its own); the library allocates nothing. Read info, block, pixels,
 * pixel_size and fault after the events that fill them; never write any
 * field. The state part is private.
 */
typedef struct FoldWalker {
    FoldImageInfo info;
    FoldBlock block;
    const uint8_t* pixels;
    size_t pixel_size;
    FoldFault fault;
    struct {
        uint32_t step, have, need;
        size_t position, stream_end;
        uint32_t index, word, size, flags;
        size_t record_at;
        uint8_t *out, *work;
        size_t out_size, work_size;
        uint8_t head[16];
    } state;
} FoldWalker;

/*
 * Starts a walk over an input of input_size bytes.
 *
 * flags: the input kind (FOLD_CONTAINER or FOLD_PACKED_IMAGE), FOLD_LENIENT,
 * and the output mode:
 *   - default: out is the whole-image buffer; block i is decoded to
 *     out + i * 65536, and out_size must hold the total size (otherwise the
 *     walk stops with FOLD_BUFFER_TOO_SMALL where FOLD_HEADER would come);
 *   - FOLD_BLOCK_OUTPUT: out is one block buffer of at least 65536 bytes
 *     (or the total size when that is less), reused for every block;
 *   - FOLD_RECORDS_ONLY: nothing is decoded, and out may be null (out_size
 *     0). FOLD_BLOCK comes once the record's words are checked and its data
 *     and padding have arrived; block.bytes holds them. The block itself and
 *     its padding are left to FoldDecodeRecord, which may run later, on
 *     another thread, on a copy of the bytes. Records-only walk and record
 *     decode report the faults a decoding walk reports, in its order: at
 *     record k, the walk's fault in its words, sizes or length, else
 *     FoldDecodeRecord's in its block or padding, before anything of record
 *     k + 1 and the rest of the input.
 *
 * work, work_size: FOLD_WALK_WORK_SIZE bytes into which a record whose data
 * comes in more than one piece is gathered. May be null when every record's
 * data and padding arrive within one piece (always so for one piece holding
 * the whole input); otherwise such a record gives FOLD_NO_WORK_MEMORY.
 *
 * Returns FOLD_OK, or FOLD_BAD_ARGUMENT (walker null, or out or work null
 * with a non-zero size) and leaves the walker failed. The walker refers to
 * out and work until the walk ends.
 */
FOLD_DECODER_API FoldError FoldWalkBegin(FoldWalker* walker, uint32_t flags, size_t input_size, void* out,
                                         size_t out_size, void* work, size_t work_size);

/*
 * Takes input from *input (of *input_size bytes), advancing both by what it
 * consumed, until it has an event to report. Pieces may have any size,
 * including 0 (input and input_size may then be null); a null *input with a
 * non-zero size ends the walk with FOLD_BAD_ARGUMENT. The walker takes no byte
 * beyond input_size. Call again after each event, with the rest of the
 * piece, until FOLD_DONE or FOLD_FAULT; a null walker gives FOLD_FAULT.
 *
 * Events come in input order: FOLD_HEADER, then FOLD_BLOCK once per block,
 * then for a packed image with a splash block FOLD_SPLASH and FOLD_PIXELS
 * until all pixel bytes have passed, then FOLD_DONE. Faults are found in the
 * same order, so a packed image's splash header is checked after its blocks.
 */
FOLD_DECODER_API FoldEvent FoldWalk(FoldWalker* walker, const uint8_t** input, size_t* input_size);

/*
 * Decodes the block of one record that a FOLD_RECORDS_ONLY walk handed out:
 * record is that FoldBlock, or a copy of it whose bytes points at a copy of
 * its padded_size data bytes (the walk's bytes last only until its next
 * call). Decodes the block into out[0, record->size), or copies a stored
 * one, and then checks that the padding is zero. Flags: FOLD_LENIENT (no
 * padding check, lenient block decode). fault may be null.
 *
 * Returns FOLD_OK; a block fault (FOLD_FLAG_WORD_CUT_OFF to FOLD_BAD_FILLER)
 * or FOLD_PADDING_NOT_ZERO, with the input offset, record->index as block and
 * value 0, exactly as a decoding walk reports it; FOLD_BUFFER_TOO_SMALL
 * (value: record->size) when out_size is below the block's size; or
 * FOLD_BAD_ARGUMENT when record, its bytes or out is null, or when the
 * record's sizes are none a walk hands out. Reads only
 * record->bytes[0, padded_size), writes only out[0, size); distinct records
 * and buffers may be decoded on different threads at once.
 */
FOLD_DECODER_API FoldError FoldDecodeRecord(const FoldBlock* record, uint32_t flags, void* out, size_t out_size,
                                            FoldFault* fault);

/* ----------------------------------------------------------------- misc */

/*
 * The name of a result, as spelled in this header ("FOLD_DATA_CUT_OFF"), for
 * a loader's fault report; "unknown" for a value that is none of them. It
 * takes about 900 bytes of code and names, which a loader that never calls
 * it leaves out (built with -ffunction-sections -fdata-sections and linked
 * with --gc-sections).
 */
FOLD_DECODER_API const char* FoldErrorName(FoldError error);

/* FOLD_DECODER_VERSION_NUMBER of the library that is linked. */
FOLD_DECODER_API unsigned FoldDecoderVersion(void);

/* Bytes of work memory FoldWalkBegin wants for input in pieces: FOLD_WALK_WORK_SIZE. */
FOLD_DECODER_API size_t FoldWalkWorkSize(void);

#ifdef __cplusplus
}
#endif

#endif
