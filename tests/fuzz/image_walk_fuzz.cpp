// Fuzz target: the walk over a container or packed image, whole and in
// pieces, strict and lenient.
//
// Input: one byte of mode (bit 0: packed image, else container; bit 1: the
// pieces walk decodes into a block buffer, else into an image buffer), two
// bytes that seed the piece sizes, then the input itself.
//
// Every buffer the decoder sees is an allocation of exactly its size, so that
// the address sanitizer reports any access outside it: the input, each piece
// (copied into its own allocation), the image buffer (of exactly the size that
// FOLD_BUFFER_TOO_SMALL asks for), the block buffer and the work memory.
// Checked:
//   - FoldDecodeImage with no buffer asks for exactly the image size, or
//     fails before it knows it;
//   - the walk in pieces of varying sizes (1 byte to 64 KB) ends as the whole
//     decode does: the same fault at the same offset with the same value, or
//     success with the same blocks, the splash header and every pixel byte in
//     order, and events in the documented order;
//   - lenient mode accepts everything strict mode accepts, with the same
//     image bytes;
//   - an input that decodes unpacks in place, at the end of a buffer of
//     FOLD_IN_PLACE_BUFFER_SIZE bytes, to the same image, and is refused in
//     a buffer one byte shorter;
//   - FoldPackedImageSize gives the length of every packed image that
//     decodes, and never more than the bytes there are.
#include <romfold/fold_decoder.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_check.h"

namespace {

constexpr size_t header_size = 3;
// Images up to this size are decoded; beyond it only the refusal is checked.
constexpr size_t image_limit = 8u << 20;

std::unique_ptr<std::uint8_t[]> copy_of(const std::uint8_t* bytes, size_t size) {
    std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[size]);
    if (size != 0) std::memcpy(copy.get(), bytes, size);
    return copy;
}

struct Whole {
    FoldError error;
    FoldImageInfo info;
    FoldFault fault;
    std::unique_ptr<std::uint8_t[]> image;
};

// Decodes the input whole into an image buffer of exactly the size asked for.
Whole decode_whole(const std::uint8_t* input, size_t size, std::uint32_t flags) {
    Whole whole{};
    whole.error = FoldDecodeImage(input, size, nullptr, 0, flags, &whole.info, &whole.fault);
    if (whole.error != FOLD_BUFFER_TOO_SMALL) {
        // Nothing to decode: an empty image, or a fault before the size was known.
        FUZZ_REQUIRE(whole.error != FOLD_OK || whole.info.image_size == 0);
        return whole;
    }
    FUZZ_REQUIRE(whole.fault.value == whole.info.image_size && whole.info.image_size != 0);
    if (whole.info.image_size > image_limit) return whole;
    whole.image.reset(new std::uint8_t[whole.info.image_size]);
    whole.error =
        FoldDecodeImage(input, size, whole.image.get(), whole.info.image_size, flags, &whole.info, &whole.fault);
    FUZZ_REQUIRE(whole.error != FOLD_BUFFER_TOO_SMALL);
    return whole;
}

// Piece sizes from a small generator: mostly short, sometimes up to 64 KB.
class PieceSizes {
public:
    explicit PieceSizes(std::uint32_t seed) : state_(seed | 1) {}
    size_t next() {
        state_ = state_ * 1103515245u + 12345u;
        const std::uint32_t r = state_ >> 8;
        switch (r % 4) {
            case 0: return 1 + r % 4;
            case 1: return 1 + r % 64;
            case 2: return 1 + r % 4096;
            default: return 1 + r % 65536;
        }
    }

private:
    std::uint32_t state_;
};

void walk_in_pieces(const std::uint8_t* input, size_t size, std::uint32_t flags, bool block_output, std::uint32_t seed,
                    const Whole& whole) {
    const size_t block_buffer_size = whole.info.image_size < FOLD_BLOCK_SIZE ? whole.info.image_size : FOLD_BLOCK_SIZE;
    std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[block_buffer_size]);
    std::unique_ptr<std::uint8_t[]> image(new std::uint8_t[whole.info.image_size]);
    std::unique_ptr<std::uint8_t[]> work(new std::uint8_t[FOLD_WALK_WORK_SIZE]);
    FoldWalker walker;
    FUZZ_REQUIRE(FoldWalkBegin(&walker, flags | (block_output ? FOLD_BLOCK_OUTPUT : 0), size,
                               block_output ? block.get() : image.get(),
                               block_output ? block_buffer_size : whole.info.image_size, work.get(),
                               FOLD_WALK_WORK_SIZE) == FOLD_OK);

    PieceSizes pieces(seed);
    std::unique_ptr<std::uint8_t[]> piece;
    const std::uint8_t* next = nullptr;
    size_t left = 0;
    size_t fed = 0;
    bool header_seen = false;
    bool splash_seen = false;
    std::uint32_t blocks = 0;
    size_t pixel_bytes = 0;
    FoldEvent event;
    for (;;) {
        event = FoldWalk(&walker, &next, &left);
        if (event == FOLD_DONE || event == FOLD_FAULT) break;
        switch (event) {
            case FOLD_NEED_INPUT: {
                FUZZ_REQUIRE(left == 0);
                FUZZ_REQUIRE(fed < size);
                const size_t take = std::min(pieces.next(), size - fed);
                piece = copy_of(input + fed, take);
                next = piece.get();
                left = take;
                fed += take;
                break;
            }
            case FOLD_HEADER:
                FUZZ_REQUIRE(!header_seen);
                header_seen = true;
                FUZZ_REQUIRE(walker.info.image_size == whole.info.image_size);
                FUZZ_REQUIRE(walker.info.block_count == whole.info.block_count);
                break;
            case FOLD_BLOCK: {
                const FoldBlock& b = walker.block;
                FUZZ_REQUIRE(header_seen && !splash_seen);
                FUZZ_REQUIRE(b.index == blocks);
                FUZZ_REQUIRE(b.image_offset == blocks * FOLD_BLOCK_SIZE);
                FUZZ_REQUIRE(b.size >= 1 && b.size <= FOLD_BLOCK_SIZE);
                FUZZ_REQUIRE(b.image_offset + size_t(b.size) <= whole.info.image_size);
                FUZZ_REQUIRE(b.stored ? b.data_size == b.size : b.data_size < b.size);
                FUZZ_REQUIRE(b.record_offset + 4 + b.data_size <= size);
                FUZZ_REQUIRE(b.bytes == (block_output ? block.get() : image.get() + b.image_offset));
                // Blocks that the whole decode also produced must match it.
                if (whole.error == FOLD_OK) {
                    FUZZ_REQUIRE(std::memcmp(b.bytes, whole.image.get() + b.image_offset, b.size) == 0);
                }
                ++blocks;
                break;
            }
            case FOLD_SPLASH:
                FUZZ_REQUIRE(header_seen && !splash_seen && blocks == whole.info.block_count);
                FUZZ_REQUIRE((flags & FOLD_PACKED_IMAGE) != 0);
                splash_seen = true;
                FUZZ_REQUIRE(walker.info.width >= 0 && walker.info.height >= 0);
                FUZZ_REQUIRE(walker.info.pixels_at == 28 + walker.info.stream_size);
                break;
            case FOLD_PIXELS:
                FUZZ_REQUIRE(splash_seen);
                FUZZ_REQUIRE(walker.pixel_size >= 1);
                FUZZ_REQUIRE(walker.pixels >= piece.get() && walker.pixels + walker.pixel_size <= next);
                FUZZ_REQUIRE(
                    std::memcmp(walker.pixels, input + walker.info.pixels_at + pixel_bytes, walker.pixel_size) == 0);
                pixel_bytes += walker.pixel_size;
                break;
            default: FUZZ_REQUIRE(false);
        }
    }

    // Once ended, it stays ended.
    FUZZ_REQUIRE(FoldWalk(&walker, &next, &left) == event);
    if (whole.error == FOLD_OK) {
        FUZZ_REQUIRE(event == FOLD_DONE);
        FUZZ_REQUIRE(blocks == whole.info.block_count);
        FUZZ_REQUIRE(fed == size);
        FUZZ_REQUIRE(pixel_bytes == (whole.info.splash_size == 0 ? 0 : whole.info.splash_size - 12u));
        FUZZ_REQUIRE(walker.info.width == whole.info.width && walker.info.height == whole.info.height);
        if (!block_output && whole.info.image_size != 0) {
            FUZZ_REQUIRE(std::memcmp(image.get(), whole.image.get(), whole.info.image_size) == 0);
        }
    } else {
        FUZZ_REQUIRE(event == FOLD_FAULT);
        FUZZ_REQUIRE(walker.fault.error == whole.fault.error);
        FUZZ_REQUIRE(walker.fault.offset == whole.fault.offset);
        FUZZ_REQUIRE(walker.fault.value == whole.fault.value);
        FUZZ_REQUIRE(walker.fault.block == whole.fault.block);
    }
}

// The input at the end of a buffer of exactly buffer_size bytes, unpacked
// towards its start.
FoldError unpack_in_place(const std::uint8_t* input, size_t size, std::uint32_t flags, size_t buffer_size,
                          const Whole& whole) {
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[buffer_size]);
    std::uint8_t* const at = buffer.get() + (buffer_size - size);
    std::memcpy(at, input, size);
    FoldImageInfo info{};
    const FoldError error = FoldDecodeImage(at, size, buffer.get(), buffer_size, flags, &info, nullptr);
    if (error == FOLD_OK) {
        FUZZ_REQUIRE(std::memcmp(buffer.get(), whole.image.get(), whole.info.image_size) == 0);
        // The splash pixels stay where they lie.
        const size_t pixels_at = whole.info.pixels_at;
        if (whole.info.splash_size != 0) {
            FUZZ_REQUIRE(std::memcmp(at + pixels_at, input + pixels_at, size - pixels_at) == 0);
        }
    }
    return error;
}

void check_in_place(const std::uint8_t* input, size_t size, std::uint32_t flags, const Whole& whole) {
    if (whole.error != FOLD_OK || whole.info.image_size == 0) return;
    const size_t needed = FOLD_IN_PLACE_BUFFER_SIZE(size_t(whole.info.image_size), size_t(whole.info.splash_size));
    FUZZ_REQUIRE(needed >= size);
    FUZZ_REQUIRE(unpack_in_place(input, size, flags, needed, whole) == FOLD_OK);
    FUZZ_REQUIRE(unpack_in_place(input, size, flags, needed - 1, whole) == FOLD_BUFFER_TOO_SMALL);
}

void check_packed_image_size(const std::uint8_t* input, size_t size, const Whole& whole) {
    size_t length = 1;
    FoldFault fault{};
    const FoldError error = FoldPackedImageSize(input, size, &length, &fault);
    if (whole.error == FOLD_OK) FUZZ_REQUIRE(error == FOLD_OK && length == size);
    if (error != FOLD_OK) {
        FUZZ_REQUIRE(length == 0 && fault.error == error);
        return;
    }
    FUZZ_REQUIRE(length <= size);
    FoldImageInfo info{};
    FUZZ_REQUIRE(FoldReadImageHeader(input, length, &info, nullptr) == FOLD_OK);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size < header_size) return -1;
    const std::uint32_t flags = (data[0] & 1) ? FOLD_PACKED_IMAGE : FOLD_CONTAINER;
    const bool block_output = (data[0] & 2) != 0;
    const std::uint32_t seed = std::uint32_t(data[1]) | std::uint32_t(data[2]) << 8;
    const size_t input_size = size - header_size;
    const std::unique_ptr<std::uint8_t[]> input = copy_of(data + header_size, input_size);

    const Whole whole = decode_whole(input.get(), input_size, flags);
    FUZZ_REQUIRE(whole.error == FOLD_OK || whole.fault.error == whole.error);
    if (whole.error != FOLD_OK) FUZZ_REQUIRE(whole.fault.offset <= input_size);
    if (whole.info.image_size > image_limit) return 0;

    walk_in_pieces(input.get(), input_size, flags, block_output, seed, whole);
    check_in_place(input.get(), input_size, flags, whole);
    if (flags & FOLD_PACKED_IMAGE) check_packed_image_size(input.get(), input_size, whole);

    const Whole lenient = decode_whole(input.get(), input_size, flags | FOLD_LENIENT);
    if (whole.error == FOLD_OK) {
        FUZZ_REQUIRE(lenient.error == FOLD_OK);
        FUZZ_REQUIRE(lenient.info.image_size == whole.info.image_size);
        if (whole.info.image_size != 0) {
            FUZZ_REQUIRE(std::memcmp(lenient.image.get(), whole.image.get(), whole.info.image_size) == 0);
        }
    }
    return 0;
}
