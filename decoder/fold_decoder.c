/*
 * The decoder library: one compressed block, and the walk over a block
 * container or a packed image fed in pieces.
 *
 * Block format
 * ------------
 * A block is a series of groups. Each group is a 32-bit flag word followed by
 * up to 32 items; bit 31 describes the first item, bit 0 the 32nd; 0 is a
 * literal (one byte, copied out), 1 a match. A match is a 16-bit token: bits
 * 15..3 hold offset - 1, bits 2..0 length - 3 for lengths 3 to 9, or 7 for
 * "length 10 or more". Code 7 is followed by a length extension:
 *
 *   - a half-byte N = min(length - 10, 15). Half-bytes travel in shared
 *     bytes: the first extended match appends a byte and takes its low half,
 *     the next extended match (possibly groups later) takes its high half and
 *     appends nothing. A byte whose high half no second match claims keeps 0;
 *   - when N is 15, a byte E: length E + 25 when E < 255; E = 255 is followed
 *     by a 16-bit value V, length V + 3.
 *
 * Only the last group may hold fewer than 32 items; its unused flag positions
 * are 1s. The next flag word follows a group as soon as its 32nd item is
 * written, so a block whose items fill their last group ends with an all-ones
 * word that describes no item.
 *
 * How a block is checked
 * ----------------------
 * The decoder produces output until it has exactly the caller's size, and in
 * strict mode then demands the end that the writer produces for that size:
 * the remaining flag positions all 1s (or a closing word 0xFFFFFFFF after a
 * full group), a zero high half in a half-byte byte still held, and nothing
 * after. Lenient mode stops as soon as the output is complete. Before that
 * point every read is bounded by the bytes left in the block and every match
 * by the output produced so far (backwards) and the size (forwards), in both
 * modes. A block that ends cleanly (its remaining flags filler) before the
 * output is complete is reported as too short rather than as a cut-off token:
 * that is the likelier story, a block written for a smaller size.
 *
 * Speed
 * -----
 * State lives in locals. A run of literals is found with one count of leading
 * zero flag bits and copied at once. Where both buffers have 32 bytes to
 * spare, literal runs and matches are copied in fixed 16- or 8-byte chunks
 * that may write past the item's end (into bytes that later items overwrite);
 * near the end of a buffer every copy is exact. A match at distance 1 is a
 * fill; other short distances are widened to a multiple of themselves of at
 * least 8, after which the chunk copy repeats the pattern correctly.
 *
 * The walk
 * --------
 * The walker is a small state machine over the input's fixed-size parts
 * (headers and words, gathered into a 16-byte buffer) and its variable parts
 * (record data: used in place when a piece holds it whole, else gathered into
 * the caller's work memory; splash pixels: handed out in place). Every size
 * is checked against the input's known length before a byte of its part is
 * taken, so cut-off records are reported where they start, and the walker
 * never waits for bytes that cannot come.
 */
#include "romfold/fold_decoder.h"

#if !defined(FOLD_MEMCPY) || !defined(FOLD_MEMSET)
#include <string.h>
#endif
#ifndef FOLD_MEMCPY
#define FOLD_MEMCPY memcpy
#endif
#ifndef FOLD_MEMSET
#define FOLD_MEMSET memset
#endif

/* Leading zero bits of a non-zero word: one instruction where the compiler
   offers it, a loop elsewhere. */
#if defined(__GNUC__) || defined(__clang__)
#define FOLD_LEADING_ZEROS(x) ((uint32_t)__builtin_clz(x))
#elif defined(_MSC_VER)
#include <intrin.h>
static __inline uint32_t fold_leading_zeros(uint32_t x) {
    unsigned long top;
    _BitScanReverse(&top, x);
    return 31u - (uint32_t)top;
}
#define FOLD_LEADING_ZEROS(x) fold_leading_zeros(x)
#else
static uint32_t fold_leading_zeros(uint32_t x) {
    uint32_t n = 0;
    while ((x & 0x80000000u) == 0) {
        x <<= 1;
        ++n;
    }
    return n;
}
#define FOLD_LEADING_ZEROS(x) fold_leading_zeros(x)
#endif

#define NO_PENDING ((size_t)-1)
#define CLOSING_WORD 0xFFFFFFFFu
#define LAST_FLAG 0x40000000u
#define STORED_FLAG 0x80000000u
#define DATA_SIZE_MASK 0x3FFFFFFFu
#define SPLASH_MAX_WIDTH 1920
#define SPLASH_MAX_HEIGHT 1080
/* Room both buffers need for the chunked copies, which may overrun an item. */
#define COPY_SLACK 32u

static uint32_t load_le16(const uint8_t* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8; }

static uint32_t load_le32(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static int is_magic(const uint8_t* p, const char* magic) {
    return p[0] == (uint8_t)magic[0] && p[1] == (uint8_t)magic[1] && p[2] == (uint8_t)magic[2] &&
           p[3] == (uint8_t)magic[3];
}

/* True when the top `count` bits of `word` (1 <= count <= 32) are all 1. */
static int top_bits_all_ones(uint32_t word, uint32_t count) { return (~word >> (32u - count)) == 0; }

/* Copies length bytes from offset bytes back, so that an overlapping source
   repeats what the copy has just written. The caller has checked that
   [d - offset, d + length) lies in the output; `room` is the number of bytes
   from d to the end of the output. */
static void copy_match(uint8_t* d, size_t offset, size_t length, size_t room) {
    const uint8_t* s = d - offset;
    uint8_t* const end = d + length;
    if (offset == 1) {
        FOLD_MEMSET(d, *s, length);
        return;
    }
    if (room >= length + COPY_SLACK) {
        if (offset < 8) {
            /* Copy one widened period byte by byte; from there on the
               pattern repeats at a distance of at least 8. */
            size_t period = offset;
            while (period < 8) period += offset;
            while (d < end && (size_t)(d - (end - length)) < period) *d++ = *s++;
            s = d - period;
        }
        if (s + 16 <= d) {
            while (d < end) {
                FOLD_MEMCPY(d, s, 16);
                d += 16;
                s += 16;
            }
        } else {
            while (d < end) {
                FOLD_MEMCPY(d, s, 8);
                d += 8;
                s += 8;
            }
        }
        return;
    }
    if (offset >= length) {
        FOLD_MEMCPY(d, s, length);
        return;
    }
    while (d < end) *d++ = *s++;
}

FoldError FoldDecodeBlock(const void* src_bytes, size_t src_size, void* dst_bytes, size_t dst_size, uint32_t flags,
                          FoldBlockResult* result) {
    const uint8_t* const src = (const uint8_t*)src_bytes;
    uint8_t* const dst = (uint8_t*)dst_bytes;
    size_t ip = 0;               /* next block byte */
    size_t op = 0;               /* next output byte */
    uint32_t word = 0;           /* open flag word, the next item's flag in bit 31 */
    uint32_t items_left = 0;     /* flag positions not yet used in the open word */
    size_t word_at = 0;          /* offset of the open flag word */
    size_t pending = NO_PENDING; /* offset of the held half-byte byte */
    FoldError error = FOLD_OK;
    size_t at = src_size;

    if ((src == NULL && src_size != 0) || (dst == NULL && dst_size != 0)) {
        error = FOLD_BAD_ARGUMENT;
        at = 0;
        goto done;
    }

    while (op < dst_size) {
        size_t token_at, offset, length;
        uint32_t token;
        if (items_left == 0) {
            if (src_size - ip < 4) {
                error = FOLD_FLAG_WORD_CUT_OFF;
                at = ip;
                goto done;
            }
            word = load_le32(src + ip);
            word_at = ip;
            ip += 4;
            items_left = 32;
        }

        if ((word & 0x80000000u) == 0) {
            size_t run = word == 0 ? 32 : FOLD_LEADING_ZEROS(word);
            if (run > items_left) run = items_left;
            if (run > dst_size - op) run = dst_size - op;
            if (src_size - ip < run) {
                const size_t available = src_size - ip;
                if (available != 0) FOLD_MEMCPY(dst + op, src + ip, available);
                op += available;
                error = FOLD_LITERAL_CUT_OFF;
                goto done;
            }
            if (src_size - ip >= COPY_SLACK && dst_size - op >= COPY_SLACK) {
                FOLD_MEMCPY(dst + op, src + ip, 16);
                FOLD_MEMCPY(dst + op + 16, src + ip + 16, 16);
            } else {
                FOLD_MEMCPY(dst + op, src + ip, run);
            }
            ip += run;
            op += run;
            word = run < 32 ? word << run : 0;
            items_left -= (uint32_t)run;
            continue;
        }

        token_at = ip;
        if (src_size - ip < 2) {
            error = ip == src_size && top_bits_all_ones(word, items_left) ? FOLD_OUTPUT_TOO_SHORT : FOLD_TOKEN_CUT_OFF;
            at = ip;
            goto done;
        }
        token = load_le16(src + ip);
        ip += 2;
        offset = (token >> 3) + 1;
        length = (token & 7) + 3;
        if ((token & 7) == 7) {
            uint32_t half;
            if (pending == NO_PENDING) {
                if (ip == src_size) goto length_cut_off;
                half = src[ip] & 0x0Fu;
                pending = ip;
                ip += 1;
            } else {
                half = (uint32_t)src[pending] >> 4;
                pending = NO_PENDING;
            }
            length = half + 10;
            if (half == 15) {
                uint32_t extra;
                if (ip == src_size) goto length_cut_off;
                extra = src[ip];
                ip += 1;
                length = extra + 25;
                if (extra == 255) {
                    if (src_size - ip < 2) goto length_cut_off;
                    length = load_le16(src + ip) + 3;
                    ip += 2;
                }
            }
        }
        if (offset > op) {
            error = FOLD_OFFSET_BEFORE_START;
            at = token_at;
            goto done;
        }
        if (length > dst_size - op) {
            error = FOLD_OUTPUT_TOO_LONG;
            at = token_at;
            goto done;
        }
        copy_match(dst + op, offset, length, dst_size - op);
        op += length;
        word <<= 1;
        items_left -= 1;
    }

    if ((flags & FOLD_LENIENT) == 0) {
        if (items_left == 0) {
            if (src_size - ip < 4) {
                error = FOLD_FLAG_WORD_CUT_OFF;
                at = ip;
                goto done;
            }
            if (load_le32(src + ip) != CLOSING_WORD) {
                error = FOLD_BAD_FILLER;
                at = ip;
                goto done;
            }
            ip += 4;
        } else if (!top_bits_all_ones(word, items_left)) {
            error = FOLD_BAD_FILLER;
            at = word_at;
            goto done;
        }
        if (pending != NO_PENDING && (src[pending] >> 4) != 0) {
            error = FOLD_BAD_FILLER;
            at = pending;
            goto done;
        }
        if (ip != src_size) {
            error = FOLD_TRAILING_BYTES;
            at = ip;
        }
    }
    goto done;

length_cut_off:
    error = FOLD_LENGTH_CUT_OFF;
    at = ip;
done:
    if (result != NULL) {
        result->offset = at;
        result->produced = op;
    }
    return error;
}

/* ------------------------------------------------------------ headers */

static FoldError fault_at(FoldFault* fault, FoldError error, uint64_t offset, uint64_t value, uint64_t limit) {
    fault->error = error;
    fault->offset = offset;
    fault->value = value;
    fault->limit = limit;
    return error;
}

/* FoldReadImageHeader with non-null arguments. */
static FoldError read_image_header(const uint8_t* header, uint64_t input_size, FoldImageInfo* info, FoldFault* fault) {
    uint32_t stream_size, splash_size;
    uint64_t expected;
    if (input_size < 16) return fault_at(fault, FOLD_IMAGE_TOO_SHORT, 0, input_size, 16);
    if (!is_magic(header, "IORW")) return fault_at(fault, FOLD_IMAGE_MAGIC, 0, 0, 0);
    if (load_le32(header + 4) != 16) return fault_at(fault, FOLD_HEADER_SIZE, 4, load_le32(header + 4), 16);
    stream_size = load_le32(header + 8);
    splash_size = load_le32(header + 12);
    expected = 16u + (uint64_t)stream_size + splash_size;
    if (expected != input_size) return fault_at(fault, FOLD_IMAGE_SIZE, 8, expected, input_size);
    if (splash_size != 0 && splash_size < 12) return fault_at(fault, FOLD_SPLASH_SIZE_TOO_SMALL, 12, splash_size, 12);
    info->stream_at = 16;
    info->stream_size = stream_size;
    info->splash_size = splash_size;
    info->pixels_at = splash_size != 0 ? 28u + (uint64_t)stream_size : 0;
    return FOLD_OK;
}

/* FoldReadSplashHeader with non-null arguments. */
static FoldError read_splash_header(const uint8_t* splash, FoldImageInfo* info, FoldFault* fault) {
    const uint64_t at = info->stream_at + info->stream_size;
    const uint32_t width = load_le32(splash + 4);
    const uint32_t height = load_le32(splash + 8);
    if (!is_magic(splash, "ECEC")) return fault_at(fault, FOLD_SPLASH_MARKER, at, 0, 0);
    if ((width | height) & 0x80000000u) return fault_at(fault, FOLD_SPLASH_NEGATIVE, at + 4, width, height);
    if (width > SPLASH_MAX_WIDTH || height > SPLASH_MAX_HEIGHT) {
        return fault_at(fault, FOLD_SPLASH_TOO_BIG, at + 4, width, height);
    }
    /* The packer computes the pixel byte count in 32 bits. */
    if (12u + (uint64_t)(uint32_t)(2u * width * height) != info->splash_size) {
        return fault_at(fault, FOLD_SPLASH_SIZE_MISMATCH, 12, info->splash_size, 0);
    }
    info->width = (int32_t)width;
    info->height = (int32_t)height;
    return FOLD_OK;
}

FoldError FoldReadImageHeader(const uint8_t header[16], uint64_t input_size, FoldImageInfo* info, FoldFault* fault) {
    FoldFault ignored;
    if (fault == NULL) fault = &ignored;
    if (header == NULL || info == NULL) return fault_at(fault, FOLD_BAD_ARGUMENT, 0, 0, 0);
    FOLD_MEMSET(info, 0, sizeof *info);
    return read_image_header(header, input_size, info, fault);
}

FoldError FoldReadSplashHeader(const uint8_t splash[12], FoldImageInfo* info, FoldFault* fault) {
    FoldFault ignored;
    if (fault == NULL) fault = &ignored;
    if (splash == NULL || info == NULL) return fault_at(fault, FOLD_BAD_ARGUMENT, 0, 0, 0);
    return read_splash_header(splash, info, fault);
}

/* --------------------------------------------------------------- walk */

enum {
    STEP_FAILED,
    STEP_IMAGE_HEADER,
    STEP_CONTAINER_HEADER,
    STEP_BLOCK_WORD,
    STEP_SIZE_WORD,
    STEP_DATA,
    STEP_SPLASH_HEADER,
    STEP_PIXELS,
    STEP_DONE
};

static FoldEvent walk_fault(FoldWalker* walker, FoldError error, uint64_t offset, uint64_t value, uint64_t limit) {
    fault_at(&walker->fault, error, offset, value, limit);
    walker->fault.block = walker->state.index;
    walker->state.step = STEP_FAILED;
    return FOLD_FAULT;
}

/* Takes input into the header buffer until it holds `need` bytes. */
static int gather(FoldWalker* walker, const uint8_t** input, size_t* available) {
    size_t take = walker->state.need - walker->state.have;
    if (take > *available) take = *available;
    if (take != 0) {
        FOLD_MEMCPY(walker->state.head + walker->state.have, *input, take);
        *input += take;
        *available -= take;
        walker->state.have += (uint32_t)take;
        walker->state.position += take;
    }
    return walker->state.have == walker->state.need;
}

static void expect(FoldWalker* walker, uint32_t step, uint32_t need) {
    walker->state.step = step;
    walker->state.have = 0;
    walker->state.need = need;
}

/* Checks the record's data size against its block size and moves on to its
   data. Returns FOLD_NEED_INPUT to go on, or FOLD_FAULT. */
static FoldEvent begin_data(FoldWalker* walker) {
    const uint32_t word = walker->state.word;
    const uint32_t data_size = word & DATA_SIZE_MASK;
    const uint32_t size = walker->state.size;
    const int stored = (word & STORED_FLAG) != 0;
    if (stored ? data_size != size : data_size >= size) {
        return walk_fault(walker, stored ? FOLD_STORED_SIZE : FOLD_COMPRESSED_SIZE, walker->state.record_at, data_size,
                          size);
    }
    /* Compressed data is padded to a multiple of 4. */
    expect(walker, STEP_DATA, stored ? data_size : (data_size + 3u) & ~3u);
    if (walker->state.stream_end - walker->state.position < walker->state.need) {
        return walk_fault(walker, FOLD_DATA_CUT_OFF, walker->state.position, 0, 0);
    }
    return FOLD_NEED_INPUT;
}

/* Decodes the record whose data and padding lie in data[0, need) into the
   output and fills walker->block. */
static FoldEvent decode_record(FoldWalker* walker, const uint8_t* data) {
    const uint32_t word = walker->state.word;
    const uint32_t data_size = word & DATA_SIZE_MASK;
    const uint32_t size = walker->state.size;
    const uint32_t image_offset = walker->state.index << 16;
    const uint64_t data_at = walker->state.position - walker->state.need;
    uint8_t* const out = walker->state.out + ((walker->state.flags & FOLD_BLOCK_OUTPUT) ? 0 : image_offset);
    FoldBlock* const block = &walker->block;

    if (word & STORED_FLAG) {
        FOLD_MEMCPY(out, data, size);
    } else {
        FoldBlockResult result;
        uint32_t i;
        const FoldError error = FoldDecodeBlock(data, data_size, out, size, walker->state.flags, &result);
        if (error != FOLD_OK) return walk_fault(walker, error, data_at + result.offset, 0, 0);
        for (i = data_size; i < walker->state.need && (walker->state.flags & FOLD_LENIENT) == 0; ++i) {
            if (data[i] != 0) return walk_fault(walker, FOLD_PADDING_NOT_ZERO, data_at + i, 0, 0);
        }
    }
    block->index = walker->state.index;
    block->record_offset = walker->state.record_at;
    block->image_offset = image_offset;
    block->size = size;
    block->data_size = data_size;
    block->stored = (word & STORED_FLAG) != 0;
    block->bytes = out;
    walker->state.index += 1;
    expect(walker, STEP_BLOCK_WORD, 4);
    return FOLD_BLOCK;
}

FoldError FoldWalkBegin(FoldWalker* walker, uint32_t flags, uint64_t input_size, void* out, size_t out_size, void* work,
                        size_t work_size) {
    if (walker == NULL) return FOLD_BAD_ARGUMENT;
    FOLD_MEMSET(walker, 0, sizeof *walker);
    walker->state.flags = flags & (FOLD_PACKED_IMAGE | FOLD_LENIENT | FOLD_BLOCK_OUTPUT);
    walker->state.input_size = input_size;
    walker->state.out = (uint8_t*)out;
    walker->state.out_size = out_size;
    walker->state.work = (uint8_t*)work;
    walker->state.work_size = work_size;
    walker->state.stream_end = input_size;
    walker->info.stream_size = input_size;
    if ((out == NULL && out_size != 0) || (work == NULL && work_size != 0)) {
        walk_fault(walker, FOLD_BAD_ARGUMENT, 0, 0, 0);
        return FOLD_BAD_ARGUMENT;
    }
    if (flags & FOLD_PACKED_IMAGE) {
        expect(walker, STEP_IMAGE_HEADER, 16);
    } else {
        expect(walker, STEP_CONTAINER_HEADER, 8);
    }
    return FOLD_OK;
}

FoldEvent FoldWalk(FoldWalker* walker, const uint8_t** input, size_t* input_size) {
    const uint8_t* empty = NULL;
    size_t none = 0;
    if (walker == NULL) return FOLD_FAULT;
    if (input == NULL || input_size == NULL) {
        input = &empty;
        input_size = &none;
    }
    if (*input == NULL && *input_size != 0) return walk_fault(walker, FOLD_BAD_ARGUMENT, walker->state.position, 0, 0);

    for (;;) {
        FoldWalker* const w = walker;
        switch (w->state.step) {
            case STEP_IMAGE_HEADER:
                if (w->state.input_size < 16) return walk_fault(w, FOLD_IMAGE_TOO_SHORT, 0, w->state.input_size, 16);
                if (!gather(w, input, input_size)) return FOLD_NEED_INPUT;
                if (read_image_header(w->state.head, w->state.input_size, &w->info, &w->fault) != FOLD_OK) {
                    w->state.step = STEP_FAILED;
                    return FOLD_FAULT;
                }
                w->state.stream_end = 16u + w->info.stream_size;
                expect(w, STEP_CONTAINER_HEADER, 8);
                break;

            case STEP_CONTAINER_HEADER: {
                const uint64_t length = w->info.stream_size;
                uint32_t total, count;
                uint64_t needed;
                if (length < 8) return walk_fault(w, FOLD_CONTAINER_TOO_SHORT, w->info.stream_at, length, 8);
                if (!gather(w, input, input_size)) return FOLD_NEED_INPUT;
                if (!is_magic(w->state.head, "XPRS"))
                    return walk_fault(w, FOLD_CONTAINER_MAGIC, w->info.stream_at, 0, 0);
                total = load_le32(w->state.head + 4);
                count = (total >> 16) + ((total & 0xFFFFu) != 0);
                /* The fewest bytes such records take: a block word and 4 data
                   bytes for every block but the last, which has a block word,
                   a size word and at least 1 data byte. */
                if (count != 0 && 8u + (uint64_t)(count - 1) * 8u + 9u > length) {
                    return walk_fault(w, FOLD_TOTAL_TOO_BIG, w->info.stream_at + 4, total, length);
                }
                needed = (w->state.flags & FOLD_BLOCK_OUTPUT) && total > FOLD_BLOCK_SIZE ? FOLD_BLOCK_SIZE : total;
                if (w->state.out_size < needed) {
                    return walk_fault(w, FOLD_BUFFER_TOO_SMALL, w->info.stream_at + 4, needed, w->state.out_size);
                }
                w->info.image_size = total;
                w->info.block_count = count;
                w->state.total = total;
                expect(w, STEP_BLOCK_WORD, 4);
                return FOLD_HEADER;
            }

            case STEP_BLOCK_WORD: {
                uint32_t last, expect_last;
                if (w->state.index == w->info.block_count) {
                    const uint64_t rest = w->state.stream_end - w->state.position;
                    if (rest != 0) return walk_fault(w, FOLD_DATA_AFTER_END, w->state.position, rest, 0);
                    if (w->info.splash_size != 0) {
                        expect(w, STEP_SPLASH_HEADER, 12);
                    } else {
                        w->state.step = STEP_DONE;
                    }
                    break;
                }
                if (w->state.have == 0) {
                    w->state.record_at = w->state.position;
                    if (w->state.stream_end - w->state.position < 4) {
                        return walk_fault(w, FOLD_BLOCK_WORD_CUT_OFF, w->state.position, 0, 0);
                    }
                }
                if (!gather(w, input, input_size)) return FOLD_NEED_INPUT;
                w->state.word = load_le32(w->state.head);
                w->state.size = FOLD_BLOCK_SIZE;
                last = (w->state.word & LAST_FLAG) != 0;
                expect_last = w->state.index + 1 == w->info.block_count;
                if (last && !expect_last) {
                    return walk_fault(w, FOLD_LAST_TOO_EARLY, w->state.record_at, 0, w->info.block_count);
                }
                if (!last && expect_last) return walk_fault(w, FOLD_LAST_NOT_MARKED, w->state.record_at, 0, 0);
                if (last) {
                    expect(w, STEP_SIZE_WORD, 4);
                } else if (begin_data(w) == FOLD_FAULT) {
                    return FOLD_FAULT;
                }
                break;
            }

            case STEP_SIZE_WORD: {
                const uint32_t rest = w->state.total - (w->state.index << 16);
                if (w->state.have == 0 && w->state.stream_end - w->state.position < 4) {
                    return walk_fault(w, FOLD_SIZE_WORD_CUT_OFF, w->state.position, 0, 0);
                }
                if (!gather(w, input, input_size)) return FOLD_NEED_INPUT;
                w->state.size = load_le32(w->state.head);
                if (w->state.size != rest) {
                    return walk_fault(w, FOLD_SIZE_MISMATCH, w->state.position - 4, w->state.size, rest);
                }
                if (begin_data(w) == FOLD_FAULT) return FOLD_FAULT;
                break;
            }

            case STEP_DATA: {
                const uint32_t need = w->state.need;
                size_t take;
                if (w->state.have == 0 && *input_size >= need) {
                    const uint8_t* const data = *input;
                    *input += need;
                    *input_size -= need;
                    w->state.position += need;
                    return decode_record(w, data);
                }
                if (w->state.work == NULL || w->state.work_size < need) {
                    return walk_fault(w, FOLD_NO_WORK_MEMORY, w->state.position, need, w->state.work_size);
                }
                take = need - w->state.have;
                if (take > *input_size) take = *input_size;
                if (take != 0) {
                    FOLD_MEMCPY(w->state.work + w->state.have, *input, take);
                    *input += take;
                    *input_size -= take;
                    w->state.have += (uint32_t)take;
                    w->state.position += take;
                }
                if (w->state.have < need) return FOLD_NEED_INPUT;
                return decode_record(w, w->state.work);
            }

            case STEP_SPLASH_HEADER:
                if (!gather(w, input, input_size)) return FOLD_NEED_INPUT;
                if (read_splash_header(w->state.head, &w->info, &w->fault) != FOLD_OK) {
                    w->state.step = STEP_FAILED;
                    return FOLD_FAULT;
                }
                w->state.left = w->info.splash_size - 12;
                w->state.step = STEP_PIXELS;
                return FOLD_SPLASH;

            case STEP_PIXELS: {
                size_t take = w->state.left;
                if (take == 0) {
                    w->state.step = STEP_DONE;
                    break;
                }
                if (*input_size == 0) return FOLD_NEED_INPUT;
                if (take > *input_size) take = *input_size;
                w->pixels = *input;
                w->pixel_size = take;
                *input += take;
                *input_size -= take;
                w->state.position += take;
                w->state.left -= (uint32_t)take;
                return FOLD_PIXELS;
            }

            case STEP_DONE: return FOLD_DONE;
            default: return FOLD_FAULT;
        }
    }
}

FoldError FoldDecodeImage(const void* src, size_t src_size, void* image, size_t image_size, uint32_t flags,
                          FoldImageInfo* info, FoldFault* fault) {
    FoldWalker walker;
    const uint8_t* input = (const uint8_t*)src;
    size_t left = src_size;
    FoldEvent event;
    FoldError error =
        FoldWalkBegin(&walker, flags & (FOLD_PACKED_IMAGE | FOLD_LENIENT), src_size, image, image_size, NULL, 0);
    if (error == FOLD_OK && src == NULL && src_size != 0) error = FOLD_BAD_ARGUMENT;
    if (error != FOLD_OK) {
        walker.fault.error = error;
    } else {
        do {
            event = FoldWalk(&walker, &input, &left);
        } while (event != FOLD_DONE && event != FOLD_FAULT && event != FOLD_NEED_INPUT);
        /* The whole input is there, so the walk never waits for more. */
        if (event == FOLD_NEED_INPUT) walk_fault(&walker, FOLD_BAD_ARGUMENT, walker.state.position, 0, 0);
        error = event == FOLD_DONE ? FOLD_OK : walker.fault.error;
    }
    if (info != NULL) *info = walker.info;
    if (fault != NULL) *fault = walker.fault;
    return error;
}

unsigned FoldDecoderVersion(void) { return FOLD_DECODER_VERSION_NUMBER; }

size_t FoldWalkWorkSize(void) { return FOLD_WALK_WORK_SIZE; }
