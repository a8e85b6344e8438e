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
 * State lives in locals. While the block holds the longest possible group
 * and the output has room for a group of short matches to spare, whole
 * groups are decoded without a bound per read: the group's flags are
 * reversed, with a sentinel bit above them, so one count of trailing zeros
 * finds the next match (or the group's end) and clearing the lowest set bit
 * moves on, a short dependency from one match to the next. A literal run
 * is one fixed 32-byte copy and a match is copied in 8-byte chunks, 16
 * bytes at once, 48 for an extended length; both may write past the item's
 * end, into bytes that later items overwrite. Matches that fail a check, and the ends of both buffers, are
 * left to the general loop, which takes over from the same state with
 * exact copies. A match at distance 1 is a fill; other short distances are
 * repeated in registers, or in the general loop widened to a multiple of
 * themselves of at least 8, after which chunk copies repeat the pattern
 * correctly. Builds for size (FOLD_SMALL_CODE) keep only the general loop,
 * copying a byte at a time.
 *
 * On 32-bit targets the fast loop stays in 32-bit operations: the flags in
 * one register, tested for 0 at the group's end instead of a sentinel bit;
 * 16-byte copies as two of 8; a close match's first 8 bytes copied one by
 * one. Fixed-size copies are always inline moves, and counting bits never
 * calls the compiler's runtime, so that the decoder calls nothing but the
 * two routines below on 32-bit cores too, at any level of optimisation.
 *
 * In place
 * --------
 * A loader may put the packed image at the end of the image buffer and
 * decode over it (FOLD_IN_PLACE_MARGIN in the header says how far behind the
 * image it must end). That holds as long as the writes stay behind the
 * reading position by more than the decoder ever looks back, so the decoder
 * keeps to three rules: no copy writes more than 48 bytes past the start of
 * the item it copies (nor past the block); a consumed byte is read again
 * only within its group (the flag word, when the fast path hands over, at
 * most 196 bytes back), and the shared half-byte byte is kept by value, as
 * it may be needed a whole block later; and a stored record is copied
 * forwards in pieces no longer than its distance from its output, which may
 * overlap it. Copies from the block to the output are otherwise disjoint:
 * the margin keeps the output at least 244 bytes behind.
 *
 * The walk
 * --------
 * The walker is a small state machine over the input's fixed-size parts
 * (headers and words, gathered into a 16-byte buffer) and its variable parts
 * (record data: used in place when a piece holds it whole, else gathered into
 * the caller's work memory; splash pixels: handed out in place). Every size
 * is checked against the input's known length before a byte of its part is
 * taken, so cut-off records are reported where they start, and the walker
 * never waits for bytes that cannot come. A record's block is decoded by
 * decode_record, with its padding checked after it; a records-only walk
 * (FOLD_RECORDS_ONLY) hands the record out before that step, and
 * FoldDecodeRecord takes it up later, with the same routine, so both routes
 * find the same faults at the same offsets.
 */
#include "romfold/fold_decoder.h"

/* The only routines the decoder calls: memcpy and memset, or replacements
   with the same arguments and results named by FOLD_MEMCPY and FOLD_MEMSET.
   Declared here rather than taken from <string.h>, which a freestanding
   build need not have. */
#ifndef FOLD_MEMCPY
#define FOLD_MEMCPY memcpy
#endif
#ifndef FOLD_MEMSET
#define FOLD_MEMSET memset
#endif
void* FOLD_MEMCPY(void* to, const void* from, size_t size);
void* FOLD_MEMSET(void* to, int byte, size_t size);

/* Builds optimised for size (GCC and clang define __OPTIMIZE_SIZE__ at -Os)
   leave out the chunked copies: plain copies decode the same bytes in less
   code. FOLD_SMALL_CODE=0 or 1 chooses either way explicitly. */
#ifndef FOLD_SMALL_CODE
#ifdef __OPTIMIZE_SIZE__
#define FOLD_SMALL_CODE 1
#else
#define FOLD_SMALL_CODE 0
#endif
#endif

#define NO_PENDING ((size_t)-1)
#define LAST_FLAG 0x40000000u
#define STORED_FLAG 0x80000000u
#define DATA_SIZE_MASK 0x3FFFFFFFu
/* Room both buffers need for the chunked copies, which may overrun an item. */
#define COPY_SLACK 32u
/* The most block bytes a group can take (a flag word and 32 matches of 6
   bytes), and a 32-byte literal copy from the last of them. */
#define FAST_GROUP_INPUT (4u + 32u * 6u + COPY_SLACK)
/* The most output a group gives without a length extension. */
#define FAST_GROUP_OUTPUT (32u * 9u)

/* A word load is smaller than a call to one: inline even when optimising
   for size, where the compiler would not. */
#if defined(__GNUC__) || defined(__clang__)
#define FOLD_INLINE __attribute__((always_inline)) inline
#elif defined(_MSC_VER)
#define FOLD_INLINE __forceinline
#else
#define FOLD_INLINE inline
#endif

static uint32_t load_le16(const uint8_t* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8; }

static FOLD_INLINE uint32_t load_le32(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

/* Counts of zero bits take one instruction where the target has one (GCC's
   and clang's builtins, MSVC's intrinsics); elsewhere a multiplication and a
   table, rather than a call to the compiler's runtime (__clzsi2, __ctzsi2),
   which a loader need not link. FOLD_BIT_SCAN_BUILTIN=0 forces the tables. */
#ifndef FOLD_BIT_SCAN_BUILTIN
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__) || defined(__aarch64__) || \
                                                  defined(__ARM_FEATURE_CLZ) || defined(__powerpc__))
#define FOLD_BIT_SCAN_BUILTIN 1
#else
#define FOLD_BIT_SCAN_BUILTIN 0
#endif
#endif

/* The fast loop works in 64-bit words (flags, 16-byte moves, the pattern of
   a close match) on 64-bit targets that count bits in one instruction, and
   in 32-bit operations everywhere else, where 64-bit ones would take pairs
   of registers or calls to the compiler's runtime (__aeabi_llsl, __ctzdi2,
   __aeabi_lmul). FOLD_WORD_64=0 forces the 32-bit code. */
#ifndef FOLD_WORD_64
#if SIZE_MAX > 0xFFFFFFFFu && (FOLD_BIT_SCAN_BUILTIN || (defined(_MSC_VER) && (defined(_M_X64) || defined(_M_ARM64))))
#define FOLD_WORD_64 1
#else
#define FOLD_WORD_64 0
#endif
#endif

/* Copies of a fixed size (the fast loop's 8- and 16-byte chunks) are a few
   moves written inline, never calls, whatever routine is named and under
   -ffreestanding too (which makes every plain memcpy a call): GCC and clang
   expand their builtin, except where the target has no unaligned word
   access (ARMv6-M), for which they would call memcpy, and bytes are copied
   one by one. The named routine gets the copies whose length varies. */
#if defined(__GNUC__) || defined(__clang__)
#define FOLD_COPY_FIXED(to, from, size) __builtin_memcpy(to, from, size)
#else
#define FOLD_COPY_FIXED(to, from, size) FOLD_MEMCPY(to, from, size)
#endif
#if (defined(__GNUC__) || defined(__clang__)) && defined(__arm__) && !defined(__ARM_FEATURE_UNALIGNED)
static FOLD_INLINE void copy_bytes8(uint8_t* d, const uint8_t* s) {
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
    d[3] = s[3];
    d[4] = s[4];
    d[5] = s[5];
    d[6] = s[6];
    d[7] = s[7];
}
#define FOLD_COPY8(to, from) copy_bytes8(to, from)
#else
#define FOLD_COPY8(to, from) FOLD_COPY_FIXED(to, from, 8)
#endif
/* 16 bytes: one move in 64-bit words; two 8-byte copies in 32-bit ones,
   where clang would call a routine for 16. */
#if FOLD_WORD_64
#define FOLD_COPY16(to, from) FOLD_COPY_FIXED(to, from, 16)
#else
#define FOLD_COPY16(to, from) (FOLD_COPY8(to, from), FOLD_COPY8((to) + 8, (from) + 8))
#endif

/* True when the top `count` bits of `word` (1 <= count <= 32) are all 1. */
static int top_bits_all_ones(uint32_t word, uint32_t count) { return (~word >> (32u - count)) == 0; }

#if FOLD_SMALL_CODE
/* Copies length bytes from offset bytes back, front to back, so that an
   overlapping source repeats what the copy has just written. */
static void copy_match(uint8_t* d, size_t offset, size_t length, size_t room) {
    (void)room;
    for (; length != 0; --length, ++d) *d = *(d - offset);
}
#else
#if FOLD_BIT_SCAN_BUILTIN
#define FOLD_LEADING_ZEROS(x) ((uint32_t)__builtin_clz(x))
#define FOLD_TRAILING_ZEROS(x) ((uint32_t)__builtin_ctz(x))
#elif defined(_MSC_VER)
#include <intrin.h>
static __inline uint32_t fold_leading_zeros(uint32_t x) {
    unsigned long top;
    _BitScanReverse(&top, x);
    return 31u - (uint32_t)top;
}
static __inline uint32_t fold_trailing_zeros(uint32_t x) {
    unsigned long bottom;
    _BitScanForward(&bottom, x);
    return (uint32_t)bottom;
}
#define FOLD_LEADING_ZEROS(x) fold_leading_zeros(x)
#define FOLD_TRAILING_ZEROS(x) fold_trailing_zeros(x)
#else
/* A single set bit, or a word of ones from bit 0 up to the highest set bit,
   times a de Bruijn sequence (every 5-bit window in it differs) has a
   different value in its top 5 bits for each position. */
static uint32_t fold_trailing_zeros(uint32_t x) {
    static const uint8_t position[32] = {0,  1,  28, 2,  29, 14, 24, 3, 30, 22, 20, 15, 25, 17, 4,  8,
                                         31, 27, 13, 23, 21, 19, 16, 7, 26, 12, 18, 6,  11, 5,  10, 9};
    return position[((x & (0u - x)) * 0x077CB531u) >> 27];
}
static uint32_t fold_leading_zeros(uint32_t x) {
    static const uint8_t highest[32] = {0, 9,  1,  10, 13, 21, 2,  29, 11, 14, 16, 18, 22, 25, 3, 30,
                                        8, 12, 20, 28, 15, 17, 24, 7,  19, 27, 23, 6,  26, 5,  4, 31};
    x |= x >> 1;
    x |= x >> 2;
    x |= x >> 4;
    x |= x >> 8;
    x |= x >> 16;
    return 31u - highest[(x * 0x07C4ACDDu) >> 27];
}
#define FOLD_LEADING_ZEROS(x) fold_leading_zeros(x)
#define FOLD_TRAILING_ZEROS(x) fold_trailing_zeros(x)
#endif

/* A group's flags, reversed (the first item's in bit 0): `fold_flags`, and
   GROUP_NEXT_MATCH, the position of the next match, 32 when none is left.
   In 64-bit words a sentinel bit 32 above the flags lets one count find
   either; in 32-bit ones the flags are tested for 0. */
#if FOLD_WORD_64
typedef uint64_t fold_flags;
#define GROUP_FLAGS(p) ((uint64_t)reverse_flags(p) | (uint64_t)1 << 32)
#if FOLD_BIT_SCAN_BUILTIN
#define GROUP_NEXT_MATCH(flags) ((uint32_t)__builtin_ctzll(flags))
#else
static __inline uint32_t fold_next_match(uint64_t flags) {
    unsigned long bottom;
    _BitScanForward64(&bottom, flags);
    return (uint32_t)bottom;
}
#define GROUP_NEXT_MATCH(flags) fold_next_match(flags)
#endif
#else
typedef uint32_t fold_flags;
#define GROUP_FLAGS(p) reverse_flags(p)
#define GROUP_NEXT_MATCH(flags) ((flags) != 0 ? FOLD_TRAILING_ZEROS(flags) : 32u)
#endif

/* The flag word at p with its bits in reverse order: the first item's flag
   in bit 0. The bytes are taken in reverse order, then the bits of each. */
static uint32_t reverse_flags(const uint8_t* p) {
    uint32_t x = (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | (uint32_t)p[3];
    x = (x >> 4 & 0x0F0F0F0Fu) | (x & 0x0F0F0F0Fu) << 4;
    x = (x >> 2 & 0x33333333u) | (x & 0x33333333u) << 2;
    return (x >> 1 & 0x55555555u) | (x & 0x55555555u) << 1;
}

/* Copies 8-byte chunks from s to d until d reaches end; the last chunk may
   reach up to 7 bytes past end. s lies 8 or more bytes before d. */
static void copy_chunks8(uint8_t* d, const uint8_t* s, const uint8_t* end) {
    do {
        FOLD_COPY8(d, s);
        s += 8;
    } while ((d += 8) < end);
}

/* The same, two chunks at a time (up to 15 bytes past end). */
static void copy_chunks16(uint8_t* d, const uint8_t* s, const uint8_t* end) {
    do {
        FOLD_COPY8(d, s);
        FOLD_COPY8(d + 8, s + 8);
        s += 16;
    } while ((d += 16) < end);
}

#if FOLD_WORD_64
/* 64-bit little-endian loads and stores: one move on little-endian
   targets, bytes elsewhere. */
#if (defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) || \
    defined(_M_IX86) || defined(_M_X64) || defined(_M_ARM64)
static uint64_t load_le64(const uint8_t* p) {
    uint64_t v;
    FOLD_COPY_FIXED(&v, p, 8);
    return v;
}

static void store_le64(uint8_t* p, uint64_t v) { FOLD_COPY_FIXED(p, &v, 8); }
#else
static uint64_t load_le64(const uint8_t* p) { return (uint64_t)load_le32(p) | (uint64_t)load_le32(p + 4) << 32; }

static void store_le64(uint8_t* p, uint64_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
    p[4] = (uint8_t)(v >> 32);
    p[5] = (uint8_t)(v >> 40);
    p[6] = (uint8_t)(v >> 48);
    p[7] = (uint8_t)(v >> 56);
}
#endif

/* Copies a match from 1 to 7 bytes back (offset) in 8-byte chunks, which
   may reach up to 15 bytes past its end. Its first 16 bytes are built in
   registers: the period (the 8 bytes loaded from d - offset reach past d,
   into bytes that later items overwrite; only the first `offset` of them
   are kept), repeated by a multiplication, and rotated to the phase that
   the second 8 bytes start at. Longer matches go on with chunks from the
   smallest whole number of periods back that is 16 or more. */
static void copy_close(uint8_t* d, size_t offset, size_t length) {
    static const uint64_t repeat[8] = {0,
                                       0x0101010101010101u,
                                       0x0001000100010001u,
                                       0x0001000001000001u,
                                       0x0000000100000001u,
                                       0x0000010000000001u,
                                       0x0001000000000001u,
                                       0x0000000000000001u + ((uint64_t)1 << 56)};
    static const uint8_t phase[8] = {0, 0, 0, 2, 0, 3, 2, 1}; /* 8 modulo the offset */
    static const uint8_t widened[8] = {0, 16, 16, 18, 16, 20, 18, 21};
    const uint32_t shift = 8u * phase[offset];
    const uint64_t period = load_le64(d - offset) & (((uint64_t)1 << (8u * offset)) - 1u);
    const uint64_t first = period * repeat[offset];
    store_le64(d, first);
    store_le64(d + 8, first >> shift | first << (8u * (uint32_t)offset - shift));
    if (length > 16) copy_chunks8(d + 16, d + 16 - widened[offset], d + length);
}
#else
/* Copies a match from 1 to 7 bytes back (offset), reaching up to 15 bytes
   past its end: its first 8 bytes one at a time, each repeating the byte
   `offset` back, then 8-byte chunks from the smallest whole number of
   periods back that is 8 or more, which repeat the pattern. */
static void copy_close(uint8_t* d, size_t offset, size_t length) {
    static const uint8_t widened[8] = {0, 8, 8, 9, 8, 10, 12, 14};
    const uint8_t* const s = d - offset;
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
    d[3] = s[3];
    d[4] = s[4];
    d[5] = s[5];
    d[6] = s[6];
    d[7] = s[7];
    copy_chunks8(d + 8, d + 8 - widened[offset], d + length);
}
#endif

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
                FOLD_COPY16(d, s);
                d += 16;
                s += 16;
            }
        } else {
            while (d < end) {
                FOLD_COPY8(d, s);
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
#endif

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
    uint32_t held_byte = 0;      /* its value, kept: in place, the byte itself may be overwritten */
    FoldError error = FOLD_OK;
    size_t at = src_size;

    /* A null buffer of size 0 is fine. (Bitwise: one test, not four.) */
    if (((src == NULL) & (src_size != 0)) | ((dst == NULL) & (dst_size != 0))) {
        error = FOLD_BAD_ARGUMENT;
        at = 0;
        goto done;
    }

#if !FOLD_SMALL_CODE
    /* Whole groups while the block has room for the longest group and the
       output room for 32 matches of up to 9 bytes and the copies' overrun:
       no read needs a bound of its own, nor does a match without a length
       extension, and a literal run is one fixed copy. The group's flags
       are reversed, the first item's in bit 0: the next match is the
       lowest set bit, clearing it is a subtraction and a mask, and
       GROUP_NEXT_MATCH gives 32 when only literals are left. An extended
       match is checked against the end of the output, every match against
       its start. Any match that fails a check, and the ends of both
       buffers, are left to the general loop below, which takes over from
       the same state. */
    if (src_size >= FAST_GROUP_INPUT && dst_size >= COPY_SLACK + FAST_GROUP_OUTPUT) {
        const uint8_t* in = src;
        uint8_t* out = dst;
        const uint8_t* const in_limit = src + (src_size - FAST_GROUP_INPUT);
        uint8_t* const out_limit = dst + (dst_size - COPY_SLACK);
        uint8_t* const group_limit = out_limit - FAST_GROUP_OUTPUT;
        const uint8_t* held = NULL; /* the held half-byte byte, if any */
        uint32_t next = 0;          /* the group's next item */
        while (in <= in_limit && out <= group_limit) {
            fold_flags flags = GROUP_FLAGS(in);
            word_at = (size_t)(in - src);
            in += 4;
            next = 0;
            for (;;) {
                /* The output has reached group_limit + 9 * (the items
                   since the group's start or its last extended match) at
                   most, out_limit at most: the 32-byte copy fits, and so
                   do a match of up to 9 bytes and its overrun. */
                const uint32_t at_match = GROUP_NEXT_MATCH(flags);
                const uint32_t run = at_match - next;
                const uint8_t* match_from;
                uint32_t token;
                size_t offset, length;
                /* The literal run: 32 bytes at once in 64-bit words; in
                   32-bit ones, where that is 16 moves, the second 16 bytes
                   only for a run longer than 16, which is rare. */
                FOLD_COPY16(out, in);
#if FOLD_WORD_64
                FOLD_COPY16(out + 16, in + 16);
#else
                if (run > 16) FOLD_COPY16(out + 16, in + 16);
#endif
                in += run;
                out += run;
                next = at_match;
                if (at_match == 32) break;

                token = load_le16(in);
                offset = (token >> 3) + 1;
                length = (token & 7) + 3;
                if (offset > (size_t)(out - dst)) goto leave_fast;
                match_from = out - offset;
                if ((token & 7) != 7) {
                    /* 3 to 9 bytes: two 8-byte chunks, or the pattern of a
                       close source, which may reach past the match. */
                    in += 2;
                    if (offset >= 8) {
                        FOLD_COPY8(out, match_from);
                        FOLD_COPY8(out + 8, match_from + 8);
                    } else {
                        copy_close(out, offset, length);
                    }
                } else {
                    const uint8_t* const held_before = held;
                    const uint8_t* p = in + 2;
                    uint32_t half;
                    if (held == NULL) {
                        held_byte = *p;
                        half = held_byte & 0x0Fu;
                        held = p++;
                    } else {
                        half = held_byte >> 4;
                        held = NULL;
                    }
                    length = half + 10;
                    if (half == 15) {
                        length = (size_t)*p++ + 25;
                        if (length == 255 + 25) {
                            length = load_le16(p) + 3;
                            p += 2;
                        }
                    }
                    /* It ends by group_limit, which leaves room for the
                       group's other items as if new (out may lie past
                       group_limit here: the difference is signed). */
                    if ((ptrdiff_t)length > group_limit - out) {
                        held = held_before;
                        goto leave_fast;
                    }
                    in = p;
                    if (offset >= 8) {
                        /* 48 bytes in 8-byte chunks, enough for most
                           extended matches (a length test would often
                           mispredict), then 16 at a time; all may reach
                           past the match, by less than group_limit leaves
                           to spare. */
                        FOLD_COPY8(out, match_from);
                        FOLD_COPY8(out + 8, match_from + 8);
                        FOLD_COPY8(out + 16, match_from + 16);
                        FOLD_COPY8(out + 24, match_from + 24);
                        FOLD_COPY8(out + 32, match_from + 32);
                        FOLD_COPY8(out + 40, match_from + 40);
                        if (length > 48) copy_chunks16(out + 48, match_from + 48, out + length);
                    } else if (offset == 1) {
                        FOLD_MEMSET(out, *match_from, length);
                    } else {
                        copy_close(out, offset, length);
                    }
                }
                out += length;
                next += 1;
                flags &= flags - 1;
            }
        }
        /* Between groups. */
        ip = (size_t)(in - src);
        op = (size_t)(out - dst);
        pending = held != NULL ? (size_t)(held - src) : NO_PENDING;
        goto general;
    leave_fast:
        /* Inside a group, at the match of item `next`. */
        ip = (size_t)(in - src);
        op = (size_t)(out - dst);
        pending = held != NULL ? (size_t)(held - src) : NO_PENDING;
        word = load_le32(src + word_at) << next;
        items_left = 32 - next;
    }
general:
#endif
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

#if FOLD_SMALL_CODE
        if ((word & 0x80000000u) == 0) {
            if (ip == src_size) {
                error = FOLD_LITERAL_CUT_OFF;
                goto done;
            }
            dst[op++] = src[ip++];
            word <<= 1;
            items_left -= 1;
            continue;
        }
#else
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
                FOLD_COPY16(dst + op, src + ip);
                FOLD_COPY16(dst + op + 16, src + ip + 16);
            } else {
                FOLD_MEMCPY(dst + op, src + ip, run);
            }
            ip += run;
            op += run;
            word = run < 32 ? word << run : 0;
            items_left -= (uint32_t)run;
            continue;
        }
#endif

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
                held_byte = src[ip];
                half = held_byte & 0x0Fu;
                pending = ip;
                ip += 1;
            } else {
                half = held_byte >> 4;
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
        if (!FOLD_SMALL_CODE && offset >= 16 && dst_size - op >= length + COPY_SLACK) {
            /* The common case, inline: a source at least 16 bytes back and
               room for whole 16-byte chunks. */
            uint8_t* d = dst + op;
            const uint8_t* s = d - offset;
            uint8_t* const end = d + length;
            FOLD_COPY16(d, s);
            while ((d += 16) < end) {
                s += 16;
                FOLD_COPY16(d, s);
            }
        } else {
            copy_match(dst + op, offset, length, dst_size - op);
        }
        op += length;
        word <<= 1;
        items_left -= 1;
    }

    if ((flags & FOLD_LENIENT) == 0) {
        if (items_left == 0) {
            /* After a full group, the closing word: a flag word of filler
               only. */
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
        if (!top_bits_all_ones(word, items_left)) {
            error = FOLD_BAD_FILLER;
            at = word_at;
            goto done;
        }
        if (pending != NO_PENDING && (held_byte >> 4) != 0) {
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

/* The signatures of the header, as little-endian words. */
#define MAGIC_IORW 0x57524F49u
#define MAGIC_XPRS 0x53525058u
#define MAGIC_ECEC 0x43454345u

static FoldError fault_at(FoldFault* fault, FoldError error, size_t offset, size_t value) {
    fault->error = error;
    fault->offset = offset;
    fault->value = value;
    return error;
}

/* FoldReadImageHeader with non-null arguments and an input of at least 16
   bytes (the walk checks that before it gathers the header). */
static FoldError read_image_header(const uint8_t* header, size_t input_size, FoldImageInfo* info, FoldFault* fault) {
    const uint32_t header_size = load_le32(header + 4);
    const uint32_t stream_size = load_le32(header + 8);
    const uint32_t splash_size = load_le32(header + 12);
    /* On 32-bit targets modulo 2^32, as documented. */
    const size_t expected = 16u + (size_t)stream_size + splash_size;
    /* Each check names its fault, offset and value before it tests. */
    FoldError error = FOLD_IMAGE_MAGIC;
    size_t at = 0, value = 0;
    if (load_le32(header) != MAGIC_IORW) goto fault;
    error = FOLD_HEADER_SIZE;
    at = 4;
    value = header_size;
    if (header_size != 16) goto fault;
    error = FOLD_IMAGE_SIZE;
    at = 8;
    value = expected;
    /* The sizes must add up to the input's length exactly, without a
       carry out of size_t. */
    if (stream_size > input_size - 16 || input_size - 16 - stream_size != splash_size) goto fault;
    error = FOLD_SPLASH_SIZE_TOO_SMALL;
    at = 12;
    value = splash_size;
    if (splash_size != 0 && splash_size < 12) goto fault;
    info->stream_at = 16;
    info->stream_size = stream_size;
    info->splash_size = splash_size;
    info->pixels_at = splash_size != 0 ? 28u + (size_t)stream_size : 0;
    return FOLD_OK;
fault:
    return fault_at(fault, error, at, value);
}

/* FoldReadSplashHeader with non-null arguments. */
static FoldError read_splash_header(const uint8_t* splash, FoldImageInfo* info, FoldFault* fault) {
    size_t at = info->stream_at + info->stream_size;
    const uint32_t width = load_le32(splash + 4);
    const uint32_t height = load_le32(splash + 8);
    FoldError error = FOLD_SPLASH_MARKER;
    size_t value = 0;
    if (load_le32(splash) != MAGIC_ECEC) goto fault;
    info->width = (int32_t)width;
    info->height = (int32_t)height;
    /* A negative dimension is above the limit too, as an unsigned value. */
    at += 4;
    error = (width | height) >> 31 ? FOLD_SPLASH_NEGATIVE : FOLD_SPLASH_TOO_BIG;
    if (width > FOLD_SPLASH_MAX_WIDTH || height > FOLD_SPLASH_MAX_HEIGHT) goto fault;
    /* The packer computes the pixel byte count in 32 bits. */
    error = FOLD_SPLASH_SIZE_MISMATCH;
    at = 12;
    value = info->splash_size;
    if (12u + (uint64_t)(uint32_t)(2u * width * height) != value) goto fault;
    return FOLD_OK;
fault:
    return fault_at(fault, error, at, value);
}

FoldError FoldReadImageHeader(const uint8_t header[16], size_t input_size, FoldImageInfo* info, FoldFault* fault) {
    FoldFault ignored;
    if (fault == NULL) fault = &ignored;
    if (header == NULL || info == NULL) return fault_at(fault, FOLD_BAD_ARGUMENT, 0, 0);
    FOLD_MEMSET(info, 0, sizeof *info);
    if (input_size < 16) return fault_at(fault, FOLD_IMAGE_TOO_SHORT, 0, input_size);
    return read_image_header(header, input_size, info, fault);
}

FoldError FoldPackedImageSize(const void* header, size_t available, size_t* image_size, FoldFault* fault) {
    const uint8_t* const h = (const uint8_t*)header;
    FoldImageInfo info;
    FoldFault ignored;
    size_t length = available;
    if (fault == NULL) fault = &ignored;
    if (image_size == NULL) return fault_at(fault, FOLD_BAD_ARGUMENT, 0, 0);
    *image_size = 0;
    if (h == NULL) return fault_at(fault, FOLD_BAD_ARGUMENT, 0, 0);
    if (available < 16) return fault_at(fault, FOLD_IMAGE_TOO_SHORT, 0, available);
    {
        /* The length the sizes give when it fits in what is available;
           otherwise the header is checked against all of it, which reports
           the same faults in the same order and FOLD_IMAGE_SIZE last. */
        const uint32_t stream_size = load_le32(h + 8);
        const uint32_t splash_size = load_le32(h + 12);
        if (stream_size <= available - 16 && splash_size <= available - 16 - stream_size) {
            length = 16u + (size_t)stream_size + splash_size;
        }
    }
    if (read_image_header(h, length, &info, fault) != FOLD_OK) return fault->error;
    *image_size = length;
    return FOLD_OK;
}

FoldError FoldReadSplashHeader(const uint8_t splash[12], FoldImageInfo* info, FoldFault* fault) {
    FoldFault ignored;
    if (fault == NULL) fault = &ignored;
    if (splash == NULL || info == NULL) return fault_at(fault, FOLD_BAD_ARGUMENT, 0, 0);
    return read_splash_header(splash, info, fault);
}

/* The one decode of a record, for the walk and for FoldDecodeRecord: the
   block decoded into out, or copied when stored, then its padding checked.
   On a fault *at is its input offset. Inline: a loader's walk pays no call
   for it. */
static FOLD_INLINE FoldError decode_record(const FoldBlock* record, uint32_t flags, uint8_t* out, size_t* at) {
    const uint8_t* const part = record->bytes;
    const uint32_t size = record->size;
    if (record->stored) {
        /* In place the data may lie a little after its output, overlapping
           it: copied forwards, a byte at a time in the small code (a block
           has at least one byte), else in pieces no longer than the
           distance, each of them disjoint. */
#if FOLD_SMALL_CODE
        uint32_t i = 0;
        do out[i] = part[i];
        while (++i != size);
#else
        const uintptr_t distance = (uintptr_t)part - (uintptr_t)out;
        const uint32_t step = distance - 1u < size ? (uint32_t)distance : size;
        uint32_t done;
        for (done = 0; done < size; done += step) {
            FOLD_MEMCPY(out + done, part + done, size - done < step ? size - done : step);
        }
#endif
    } else {
        FoldBlockResult result;
        uint32_t i;
        const FoldError error = FoldDecodeBlock(part, record->data_size, out, size, flags, &result);
        if (error != FOLD_OK) {
            *at = record->data_offset + result.offset;
            return error;
        }
        for (i = record->data_size; i < record->padded_size && (flags & FOLD_LENIENT) == 0; ++i) {
            if (part[i] != 0) {
                *at = record->data_offset + i;
                return FOLD_PADDING_NOT_ZERO;
            }
        }
    }
    return FOLD_OK;
}

FoldError FoldDecodeRecord(const FoldBlock* record, uint32_t flags, void* out, size_t out_size, FoldFault* fault) {
    FoldFault ignored;
    if (fault == NULL) fault = &ignored;
    fault->block = 0;
    if (record == NULL || record->bytes == NULL || out == NULL) return fault_at(fault, FOLD_BAD_ARGUMENT, 0, 0);
    fault->block = record->index;
    /* Only the sizes a walk hands out: the decode reads padded_size bytes
       and writes size. */
    if (record->size - 1u >= FOLD_BLOCK_SIZE ||
        (record->stored
             ? record->data_size != record->size || record->padded_size != record->size
             : record->data_size >= record->size || record->padded_size != ((record->data_size + 3u) & ~3u))) {
        return fault_at(fault, FOLD_BAD_ARGUMENT, record->data_offset, 0);
    }
    if (out_size < record->size) return fault_at(fault, FOLD_BUFFER_TOO_SMALL, record->data_offset, record->size);
    {
        size_t at = 0;
        const FoldError error = decode_record(record, flags & FOLD_LENIENT, (uint8_t*)out, &at);
        return fault_at(fault, error, at, 0);
    }
}

/* --------------------------------------------------------------- walk */

/* The parts of the input. Those before STEP_DATA (headers and words) are
   gathered whole into the header buffer before they are looked at; record
   data is used in place or gathered into the work memory; pixels are handed
   out as they come. cut_off_fault names what is cut off when the input ends
   inside a part. */
enum {
    STEP_FAILED,
    STEP_IMAGE_HEADER,
    STEP_CONTAINER_HEADER,
    STEP_BLOCK_WORD,
    STEP_SIZE_WORD,
    STEP_SPLASH_HEADER,
    STEP_DATA,
    STEP_PIXELS,
    STEP_DONE
};

static const uint8_t cut_off_fault[STEP_DATA + 1] = {
    FOLD_BAD_ARGUMENT,      FOLD_IMAGE_TOO_SHORT, FOLD_CONTAINER_TOO_SHORT, FOLD_BLOCK_WORD_CUT_OFF,
    FOLD_SIZE_WORD_CUT_OFF, FOLD_SPLASH_MARKER,   FOLD_DATA_CUT_OFF,
};

/* Moves to `step`, which takes `need` bytes (none of which it has yet). */
static void expect(FoldWalker* walker, uint32_t step, uint32_t need) {
    walker->state.step = step;
    walker->state.need = need;
}

FoldError FoldWalkBegin(FoldWalker* walker, uint32_t flags, size_t input_size, void* out, size_t out_size, void* work,
                        size_t work_size) {
    if (walker == NULL) return FOLD_BAD_ARGUMENT;
    FOLD_MEMSET(walker, 0, sizeof *walker);
    walker->info.stream_size = input_size;
    if ((out == NULL && out_size != 0) || (work == NULL && work_size != 0)) {
        /* Failed: the step stays STEP_FAILED. */
        walker->fault.error = FOLD_BAD_ARGUMENT;
        return FOLD_BAD_ARGUMENT;
    }
    walker->state.flags = flags;
    walker->state.out = (uint8_t*)out;
    walker->state.out_size = out_size;
    walker->state.work = (uint8_t*)work;
    walker->state.work_size = work_size;
    walker->state.stream_end = input_size;
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
    FoldWalker* const w = walker;
    FoldError error = FOLD_BAD_ARGUMENT;
    size_t at, value = 0;
    if (w == NULL) return FOLD_FAULT;
    if (input == NULL || input_size == NULL) {
        input = &empty;
        input_size = &none;
    }
    at = w->state.position;
    if (*input == NULL && *input_size != 0) goto fault;

    for (;;) {
        const uint32_t step = w->state.step;
        const size_t position = w->state.position;
        /* Input bytes left up to the end of the current stream. */
        const size_t rest = w->state.stream_end - position;
        uint32_t need = w->state.need;
        const uint8_t* part = *input;
        size_t take;
        at = position;
        if (step == STEP_FAILED) return FOLD_FAULT;
        if (step == STEP_DONE) return FOLD_DONE;

        if (step == STEP_PIXELS) {
            /* The pixels run to the end of the input; a piece passes on as
               many as it holds. */
            if (rest == 0) {
                w->state.step = STEP_DONE;
                return FOLD_DONE;
            }
            need = (uint32_t)rest;
        }

        if (step == STEP_BLOCK_WORD && w->state.index == w->info.block_count) {
            if (rest != 0) {
                error = FOLD_DATA_AFTER_END;
                value = rest;
                goto fault;
            }
            if (w->info.splash_size == 0) {
                w->state.step = STEP_DONE;
                return FOLD_DONE;
            }
            w->state.stream_end += w->info.splash_size;
            expect(w, STEP_SPLASH_HEADER, 12);
            continue;
        }

        /* Gather the part. Its size is checked against the input before its
           first byte is taken (later, what is still to come always fits): a
           cut-off part is reported where it starts. */
        take = need - w->state.have;
        if (rest < take) {
            error = (FoldError)cut_off_fault[step];
            value = rest;
            goto fault;
        }
        if (take > *input_size) {
            if (*input_size == 0) return FOLD_NEED_INPUT;
            take = *input_size;
        }
        if (step < STEP_DATA || (step == STEP_DATA && take != need)) {
            /* Headers and words go to the header buffer; record data that
               the piece does not hold whole goes to the work memory. Either
               way at least one byte is taken here, so a walk without work
               memory (work_size 0) fails on such data. */
            uint8_t* into = w->state.head;
            if (step == STEP_DATA) {
                if (w->state.work_size < need) {
                    error = FOLD_NO_WORK_MEMORY;
                    value = need;
                    goto fault;
                }
                into = w->state.work;
            }
            FOLD_MEMCPY(into + w->state.have, part, take);
            part = into;
        }
        *input += take;
        *input_size -= take;
        w->state.position += take;
        if (step == STEP_PIXELS) {
            w->pixels = part;
            w->pixel_size = take;
            return FOLD_PIXELS;
        }
        w->state.have += (uint32_t)take;
        if (w->state.have < need) return FOLD_NEED_INPUT;
        /* The part is whole; the next starts empty. */
        w->state.have = 0;

        /* The two headers are tested for apart from the records' parts: a
           switch with as few cases compiles to comparisons on every target,
           where a larger one may call the compiler's case-table routine
           (GCC for Thumb-1 at -Os). */
        if (step == STEP_IMAGE_HEADER) {
            if (read_image_header(part, w->state.stream_end, &w->info, &w->fault) != FOLD_OK) goto failed;
            w->state.stream_end = 16u + w->info.stream_size;
            expect(w, STEP_CONTAINER_HEADER, 8);
            continue;
        }
        if (step == STEP_SPLASH_HEADER) {
            if (read_splash_header(part, &w->info, &w->fault) != FOLD_OK) goto failed;
            w->state.step = STEP_PIXELS;
            return FOLD_SPLASH;
        }
        switch (step) {
            case STEP_CONTAINER_HEADER: {
                const size_t length = w->info.stream_size;
                const uint32_t total = load_le32(part + 4);
                const uint32_t count = (total >> 16) + ((total & 0xFFFFu) != 0);
                /* Image or block buffer room; none when nothing is decoded. */
                const uint32_t needed = (w->state.flags & FOLD_RECORDS_ONLY) ? 0
                                        : (w->state.flags & FOLD_BLOCK_OUTPUT) && total > FOLD_BLOCK_SIZE
                                            ? FOLD_BLOCK_SIZE
                                            : total;
                at = w->info.stream_at;
                if (load_le32(part) != MAGIC_XPRS) {
                    error = FOLD_CONTAINER_MAGIC;
                    goto fault;
                }
                w->info.image_size = total;
                w->info.block_count = count;
                at += 4;
                /* The fewest bytes such records take: a block word and 4 data
                   bytes for every block but the last, which has a block word,
                   a size word and at least 1 data byte. */
                if (count != 0 && length < (size_t)count * 8 + 9) {
                    error = FOLD_TOTAL_TOO_BIG;
                    value = total;
                    goto fault;
                }
                if (w->state.out_size < needed) {
                    error = FOLD_BUFFER_TOO_SMALL;
                    value = needed;
                    goto fault;
                }
                expect(w, STEP_BLOCK_WORD, 4);
                return FOLD_HEADER;
            }

            case STEP_BLOCK_WORD: {
                const uint32_t word = load_le32(part);
                w->state.word = word;
                w->state.size = FOLD_BLOCK_SIZE;
                w->state.record_at = w->state.position - 4;
                at = w->state.record_at;
                /* Only the last record is marked last; it has a size word. */
                error = FOLD_LAST_NOT_MARKED;
                if (w->state.index + 1 == w->info.block_count) {
                    if ((word & LAST_FLAG) == 0) goto fault;
                    expect(w, STEP_SIZE_WORD, 4);
                    break;
                }
                error = FOLD_LAST_TOO_EARLY;
                if (word & LAST_FLAG) goto fault;
                goto data_size;
            }

            case STEP_SIZE_WORD: {
                const uint32_t size = load_le32(part);
                w->state.size = size;
                if (size != w->info.image_size - (w->state.index << 16)) {
                    error = FOLD_SIZE_MISMATCH;
                    at = w->state.position - 4;
                    value = size;
                    goto fault;
                }
                at = w->state.record_at;
            }
            data_size:
                /* The record's data size against its block size; compressed
                   data is padded to a multiple of 4. */
                value = w->state.word & DATA_SIZE_MASK;
                if (w->state.word & STORED_FLAG) {
                    error = FOLD_STORED_SIZE;
                    if (value != w->state.size) goto fault;
                    expect(w, STEP_DATA, (uint32_t)value);
                } else {
                    error = FOLD_COMPRESSED_SIZE;
                    if (value >= w->state.size) goto fault;
                    expect(w, STEP_DATA, ((uint32_t)value + 3u) & ~3u);
                }
                value = 0;
                break;

            default: { /* STEP_DATA */
                /* The record's data and padding lie in part[0, need). */
                FoldBlock* const block = &w->block;
                const uint32_t word = w->state.word;
                block->index = w->state.index;
                block->record_offset = w->state.record_at;
                block->data_offset = w->state.position - need;
                block->image_offset = w->state.index << 16;
                block->size = w->state.size;
                block->data_size = word & DATA_SIZE_MASK;
                block->padded_size = need;
                block->stored = (word & STORED_FLAG) != 0;
                block->bytes = part;
                if ((w->state.flags & FOLD_RECORDS_ONLY) == 0) {
                    uint8_t* const out =
                        w->state.out + ((w->state.flags & FOLD_BLOCK_OUTPUT) ? 0 : (size_t)w->state.index << 16);
                    error = decode_record(block, w->state.flags, out, &at);
                    if (error != FOLD_OK) goto fault;
                    block->bytes = out;
                }
                w->state.index += 1;
                expect(w, STEP_BLOCK_WORD, 4);
                return FOLD_BLOCK;
            }
        }
    }

fault:
    w->fault.error = error;
    w->fault.offset = at;
    w->fault.block = w->state.index;
    w->fault.value = value;
failed:
    /* Header faults are filled in by the header checks (record number 0). */
    w->state.step = STEP_FAILED;
    return FOLD_FAULT;
}

/* Whether the input of FoldDecodeImage, once the headers are read, lies
   clear of the image buffer, or inside it with at least the in-place margin
   behind the image; if not, the walker is failed with FOLD_BUFFER_TOO_SMALL
   as for a short buffer. Addresses are compared as integers: the input and
   the buffer may be distinct objects. */
static int fits_in_place(FoldWalker* walker, const uint8_t* src, size_t src_size) {
    const uintptr_t begin = (uintptr_t)src;
    const uintptr_t out = (uintptr_t)walker->state.out;
    const size_t total = walker->info.image_size;
    const size_t splash_size = walker->info.splash_size;
    const size_t margin = FOLD_IN_PLACE_MARGIN(total);
    /* From the buffer's start to the input's end, when the input starts in
       the buffer. */
    const size_t room = (size_t)(begin - out) + src_size;
    /* Disjoint: each starts at or after the other's end (differences of
       unsigned addresses wrap when the other one starts first). */
    if (total == 0 || (begin - out >= walker->state.out_size && out - begin >= src_size)) return 1;
    if (begin >= out && room >= total && room - total >= margin && room - total - margin >= splash_size) return 1;
    walker->fault.error = FOLD_BUFFER_TOO_SMALL;
    walker->fault.offset = walker->info.stream_at + 4;
    walker->fault.value = total + margin + splash_size;
    walker->state.step = STEP_FAILED;
    return 0;
}

FoldError FoldDecodeImage(const void* src, size_t src_size, void* image, size_t image_size, uint32_t flags,
                          FoldImageInfo* info, FoldFault* fault) {
    FoldWalker walker;
    const uint8_t* input = (const uint8_t*)src;
    size_t left = src_size;
    FoldEvent event = FOLD_FAULT;
    if (FoldWalkBegin(&walker, flags & (FOLD_PACKED_IMAGE | FOLD_LENIENT), src_size, image, image_size, NULL, 0) ==
        FOLD_OK) {
        /* The whole input is there, so the walk never waits for more. */
        do {
            event = FoldWalk(&walker, &input, &left);
            if (event == FOLD_HEADER && !fits_in_place(&walker, (const uint8_t*)src, src_size)) event = FOLD_FAULT;
        } while (event == FOLD_HEADER || event == FOLD_BLOCK || event == FOLD_SPLASH || event == FOLD_PIXELS);
    }
    /* Copied by the named routine: a struct assignment may call a runtime
       routine of the compiler's own (__aeabi_memcpy). */
    if (info != NULL) FOLD_MEMCPY(info, &walker.info, sizeof *info);
    if (fault != NULL) FOLD_MEMCPY(fault, &walker.fault, sizeof *fault);
    return event == FOLD_DONE ? FOLD_OK : walker.fault.error;
}

const char* FoldErrorName(FoldError error) {
    /* The results in groups of consecutive values, each named in order. */
    static const char* const block[] = {"FOLD_OK",
                                        "FOLD_FLAG_WORD_CUT_OFF",
                                        "FOLD_LITERAL_CUT_OFF",
                                        "FOLD_TOKEN_CUT_OFF",
                                        "FOLD_LENGTH_CUT_OFF",
                                        "FOLD_OFFSET_BEFORE_START",
                                        "FOLD_OUTPUT_TOO_LONG",
                                        "FOLD_OUTPUT_TOO_SHORT",
                                        "FOLD_TRAILING_BYTES",
                                        "FOLD_BAD_FILLER"};
    static const char* const container[] = {"FOLD_CONTAINER_TOO_SHORT", "FOLD_CONTAINER_MAGIC", "FOLD_TOTAL_TOO_BIG",
                                            "FOLD_BLOCK_WORD_CUT_OFF",  "FOLD_LAST_TOO_EARLY",  "FOLD_LAST_NOT_MARKED",
                                            "FOLD_SIZE_WORD_CUT_OFF",   "FOLD_SIZE_MISMATCH",   "FOLD_STORED_SIZE",
                                            "FOLD_COMPRESSED_SIZE",     "FOLD_DATA_CUT_OFF",    "FOLD_PADDING_NOT_ZERO",
                                            "FOLD_DATA_AFTER_END"};
    static const char* const image[] = {
        "FOLD_IMAGE_TOO_SHORT", "FOLD_IMAGE_MAGIC",           "FOLD_HEADER_SIZE",
        "FOLD_IMAGE_SIZE",      "FOLD_SPLASH_SIZE_TOO_SMALL", "FOLD_SPLASH_MARKER",
        "FOLD_SPLASH_NEGATIVE", "FOLD_SPLASH_TOO_BIG",        "FOLD_SPLASH_SIZE_MISMATCH"};
    static const char* const caller[] = {"FOLD_BAD_ARGUMENT", "FOLD_BUFFER_TOO_SMALL", "FOLD_NO_WORK_MEMORY"};
    const unsigned e = (unsigned)error;
    if (e <= FOLD_BAD_FILLER) return block[e];
    if (e - FOLD_CONTAINER_TOO_SHORT <= FOLD_DATA_AFTER_END - FOLD_CONTAINER_TOO_SHORT) {
        return container[e - FOLD_CONTAINER_TOO_SHORT];
    }
    if (e - FOLD_IMAGE_TOO_SHORT <= FOLD_SPLASH_SIZE_MISMATCH - FOLD_IMAGE_TOO_SHORT) {
        return image[e - FOLD_IMAGE_TOO_SHORT];
    }
    if (e - FOLD_BAD_ARGUMENT <= FOLD_NO_WORK_MEMORY - FOLD_BAD_ARGUMENT) return caller[e - FOLD_BAD_ARGUMENT];
    return "unknown";
}

unsigned FoldDecoderVersion(void) { return FOLD_DECODER_VERSION_NUMBER; }

size_t FoldWalkWorkSize(void) { return FOLD_WALK_WORK_SIZE; }
