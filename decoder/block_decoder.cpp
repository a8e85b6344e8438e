// Strict decoder for one compressed block.
//
// The format
// ----------
// A block is a series of groups. Each group is a 32-bit little-endian flag
// word followed by up to 32 items; bit 31 describes the first item, bit 0 the
// 32nd; 0 is a literal (one byte, copied out), 1 a match. A match is a 16-bit
// little-endian token: bits 15..3 hold offset - 1, bits 2..0 hold length - 3
// for lengths 3 to 9, or 7 for "length 10 or more". Code 7 is followed by a
// length extension:
//
//   * a half-byte N = min(length - 10, 15). Half-bytes travel in shared bytes:
//     the first extended match appends a byte and takes its low half, the next
//     extended match (possibly groups later) takes its high half and appends
//     nothing. A byte whose high half no second match claims keeps it 0;
//   * when N is 15, a byte E: length E + 25 when E < 255; E = 255 is followed
//     by a 16-bit value V, length V + 3.
//
// The extension bytes sit directly behind their token, so the byte stream
// stays in item order apart from the one held half-byte. Only the last group
// may hold fewer than 32 items; its unused flag positions are filled with 1s.
// A group is followed by the next flag word as soon as its 32nd item is
// written, so a block whose items fill their last group exactly ends with an
// all-ones flag word that describes no item (and a block of no items is that
// word alone).
//
// How the decoder checks it
// -------------------------
// The decoder walks the block once, producing output until it has exactly the
// caller's expected size, and then demands the end that the writer produces
// for that size and nothing else:
//
//   * the flag positions left in the open group are all 1s, or, when the last
//     item filled its group, a closing word 0xFFFFFFFF follows;
//   * a half-byte byte still held at the end has a zero high half;
//   * the block ends right there.
//
// Before that point every read is bounded by the bytes left in the block, and
// every match is checked to reach no further back than the output produced so
// far and no further forward than the expected size. A block that ends
// cleanly (its remaining flags are filler) before the output is complete is
// reported as too short rather than as a cut-off token, since that is the
// likelier story: a block written for a smaller length.
//
// Offsets 1 to 8192 and any 16-bit long length are taken as the token and V
// give them: the encoding has room for them and the decoder does not second-
// guess which of them a match finder chooses to write.
//
// Speed
// -----
// State lives in locals. Runs of literals are found with a count of leading
// zero flag bits and copied with one memcpy after one bounds test. A match
// copy is a memcpy when source and destination do not overlap, 8-byte chunks
// when they overlap at a distance of 8 or more, and a byte loop below that,
// where the overlap is the point (offset 1 repeats one byte).

#include "decoder/block_decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace romfold {

namespace {

constexpr std::uint32_t no_pending = UINT32_MAX;
constexpr std::uint32_t items_per_group = 32;
constexpr std::uint32_t closing_word = 0xFFFFFFFFu;

inline std::uint32_t load_le16(const std::uint8_t* p) { return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8); }

inline std::uint32_t load_le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

// True when the top `count` bits of `flags` (1 <= count <= 32) are all 1.
inline bool top_bits_all_ones(std::uint32_t flags, std::uint32_t count) { return (~flags >> (32 - count)) == 0; }

// Copies `length` bytes that start `offset` bytes before dst, front to back,
// so that an overlapping source repeats what the copy itself has just written.
inline void copy_match(std::uint8_t* dst, std::uint32_t offset, std::uint32_t length) {
    const std::uint8_t* src = dst - offset;
    if (offset >= length) {
        std::memcpy(dst, src, length);
        return;
    }
    if (offset >= 8) {
        while (length >= 8) {
            std::memcpy(dst, src, 8);
            dst += 8;
            src += 8;
            length -= 8;
        }
    }
    while (length-- != 0) *dst++ = *src++;
}

}  // namespace

BlockDecodeResult decode_block(const std::uint8_t* block, std::uint32_t block_size, std::uint8_t* out,
                               std::uint32_t expected_size) {
    std::uint32_t ip = 0;                // next block byte
    std::uint32_t op = 0;                // next output byte
    std::uint32_t flags = 0;             // open flag word, the next item's flag in bit 31
    std::uint32_t items_left = 0;        // flag positions not yet used in the open word
    std::uint32_t flag_at = 0;           // offset of the open flag word
    std::uint32_t pending = no_pending;  // offset of the held half-byte byte

    auto fail = [&](BlockDecodeError error, std::uint32_t at) { return BlockDecodeResult{error, at, op}; };

    while (op < expected_size) {
        if (items_left == 0) {
            if (block_size - ip < 4) return fail(BlockDecodeError::flag_word_cut_off, ip);
            flags = load_le32(block + ip);
            flag_at = ip;
            ip += 4;
            items_left = items_per_group;
        }

        if ((flags & 0x80000000u) == 0) {
            std::uint32_t run = flags == 0 ? 32 : std::uint32_t(std::countl_zero(flags));
            run = std::min({run, items_left, expected_size - op});
            const std::uint32_t available = block_size - ip;
            if (available < run) {
                if (available != 0) std::memcpy(out + op, block + ip, available);
                op += available;
                return fail(BlockDecodeError::literal_cut_off, block_size);
            }
            std::memcpy(out + op, block + ip, run);
            ip += run;
            op += run;
            flags = run < 32 ? flags << run : 0;
            items_left -= run;
            continue;
        }

        const std::uint32_t token_at = ip;
        if (block_size - ip < 2) {
            if (ip == block_size && top_bits_all_ones(flags, items_left)) {
                return fail(BlockDecodeError::output_too_short, block_size);
            }
            return fail(BlockDecodeError::token_cut_off, ip);
        }
        const std::uint32_t token = load_le16(block + ip);
        ip += 2;
        const std::uint32_t offset = (token >> 3) + 1;
        std::uint32_t length = (token & 7) + 3;
        if ((token & 7) == 7) {
            std::uint32_t half;
            if (pending == no_pending) {
                if (ip == block_size) return fail(BlockDecodeError::length_byte_cut_off, ip);
                half = block[ip] & 0x0F;
                pending = ip;
                ip += 1;
            } else {
                half = block[pending] >> 4;
                pending = no_pending;
            }
            length = half + 10;
            if (half == 15) {
                if (ip == block_size) return fail(BlockDecodeError::length_byte_cut_off, ip);
                const std::uint32_t extra = block[ip];
                ip += 1;
                length = extra + 25;
                if (extra == 255) {
                    if (block_size - ip < 2) return fail(BlockDecodeError::length_byte_cut_off, ip);
                    length = load_le16(block + ip) + 3;
                    ip += 2;
                }
            }
        }
        if (offset > op) return fail(BlockDecodeError::offset_before_start, token_at);
        if (length > expected_size - op) return fail(BlockDecodeError::output_too_long, token_at);
        copy_match(out + op, offset, length);
        op += length;
        flags <<= 1;
        items_left -= 1;
    }

    if (items_left == 0) {
        if (block_size - ip < 4) return fail(BlockDecodeError::flag_word_cut_off, ip);
        if (load_le32(block + ip) != closing_word) return fail(BlockDecodeError::bad_filler, ip);
        ip += 4;
    } else if (!top_bits_all_ones(flags, items_left)) {
        return fail(BlockDecodeError::bad_filler, flag_at);
    }
    if (pending != no_pending && (block[pending] >> 4) != 0) {
        return fail(BlockDecodeError::bad_filler, pending);
    }
    if (ip != block_size) return fail(BlockDecodeError::trailing_bytes, ip);
    return BlockDecodeResult{BlockDecodeError::none, block_size, op};
}

const char* describe(BlockDecodeError error) {
    switch (error) {
        case BlockDecodeError::none: return "no error";
        case BlockDecodeError::flag_word_cut_off: return "flag word cut off";
        case BlockDecodeError::literal_cut_off: return "literal cut off";
        case BlockDecodeError::token_cut_off: return "match token cut off";
        case BlockDecodeError::length_byte_cut_off: return "match length cut off";
        case BlockDecodeError::offset_before_start: return "match offset before start of block";
        case BlockDecodeError::output_too_long: return "match runs past the uncompressed size";
        case BlockDecodeError::output_too_short: return "block ends before the uncompressed size";
        case BlockDecodeError::trailing_bytes: return "bytes after the end of the block";
        case BlockDecodeError::bad_filler: return "bad filler bits";
    }
    return "unknown error";
}

}  // namespace romfold
