// A packed image at the start of a flash partition: its length from its
// header (FoldPackedImageSize), and the decode and the walk of an input that
// goes on after the image.
#include <gtest/gtest.h>
#include <romfold/fold_decoder.h>

#include <functional>
#include <memory>
#include <vector>

#include "tests/support/bytes.h"
#include "tests/support/container_builder.h"
#include "tests/support/packed_image_builder.h"

namespace romfold::test {
namespace {

// 16-byte header, a 21-byte container holding "hello", a 3x2 splash block:
// 61 bytes.
const Bytes hello_image =
    packed_image(ContainerBuilder(5).stored_block(bytes_of("hello"), true).bytes(), 3, 2, Bytes(12, 0x5A));

// The image followed by erased flash.
Bytes in_partition(const Bytes& image, size_t partition_size) {
    Bytes flash(partition_size, 0xFF);
    std::copy(image.begin(), image.end(), flash.begin());
    return flash;
}

TEST(DecoderPackedImageSize, LengthFromTheHeader) {
    struct Case {
        const char* name;
        std::function<void(Bytes&)> change;
        size_t available;
        FoldError error;
        size_t offset;
        size_t value;
    };
    const Case cases[] = {
        {"the image alone", [](Bytes&) {}, 61, FOLD_OK, 0, 0},
        {"erased flash after it", [](Bytes&) {}, 4096, FOLD_OK, 0, 0},
        {"no splash block",
         [](Bytes& b) {
             store_le32(b, 12, 0);
             b.resize(37);
         },
         37, FOLD_OK, 0, 0},
        {"header only",
         [](Bytes& b) {
             store_le32(b, 8, 0);
             store_le32(b, 12, 0);
             b.resize(16);
         },
         16, FOLD_OK, 0, 0},
        {"fewer than 16 bytes", [](Bytes&) {}, 15, FOLD_IMAGE_TOO_SHORT, 0, 15},
        {"last pixel byte beyond the partition", [](Bytes&) {}, 60, FOLD_IMAGE_SIZE, 8, 61},
        {"bad magic", [](Bytes& b) { b[0] = 'J'; }, 4096, FOLD_IMAGE_MAGIC, 0, 0},
        {"erased flash only", [](Bytes& b) { b.assign(16, 0xFF); }, 4096, FOLD_IMAGE_MAGIC, 0, 0},
        {"header size not 16", [](Bytes& b) { store_le32(b, 4, 17); }, 4096, FOLD_HEADER_SIZE, 4, 17},
        // The magic and header size are checked before the sizes, even when
        // the sizes do not fit either.
        {"bad magic and sizes beyond the partition",
         [](Bytes& b) {
             b[0] = 'J';
             store_le32(b, 8, 0xFFFFFFF0);
         },
         4096, FOLD_IMAGE_MAGIC, 0, 0},
        {"stream size beyond the partition", [](Bytes& b) { store_le32(b, 8, 0xFFFFFFF0); }, 4096, FOLD_IMAGE_SIZE, 8,
         size_t(16 + 0xFFFFFFF0ull + 24)},
        {"sizes that wrap around in 32 bits",
         [](Bytes& b) {
             store_le32(b, 8, 0xFFFFFFF0);
             store_le32(b, 12, 0x20);
         },
         4096, FOLD_IMAGE_SIZE, 8, size_t(16 + 0xFFFFFFF0ull + 0x20)},
        {"splash size field below 12", [](Bytes& b) { store_le32(b, 12, 5); }, 4096, FOLD_SPLASH_SIZE_TOO_SMALL, 12, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes image = hello_image;
        c.change(image);
        const Bytes flash = in_partition(image, std::max(c.available, image.size()));
        size_t length = 12345;
        FoldFault fault{};
        EXPECT_EQ(FoldPackedImageSize(flash.data(), c.available, &length, &fault), c.error);
        if (c.error == FOLD_OK) {
            EXPECT_EQ(length, image.size());
        } else {
            EXPECT_EQ(length, 0u);
            EXPECT_EQ(fault.error, c.error);
            EXPECT_EQ(fault.offset, c.offset);
            EXPECT_EQ(fault.value, c.value);
        }
    }
}

TEST(DecoderPackedImageSize, NullArguments) {
    size_t length = 1;
    EXPECT_EQ(FoldPackedImageSize(nullptr, 64, &length, nullptr), FOLD_BAD_ARGUMENT);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(FoldPackedImageSize(hello_image.data(), hello_image.size(), nullptr, nullptr), FOLD_BAD_ARGUMENT);
    EXPECT_EQ(FoldPackedImageSize(hello_image.data(), hello_image.size(), &length, nullptr), FOLD_OK);
    EXPECT_EQ(length, 61u);
}

// With the length from the header, a partition of erased flash decodes in
// one piece and in pieces that run past the image's end; the walk takes no
// byte after the image and leaves the rest of the last piece.
TEST(DecoderPackedImageSize, PartitionDecodesWholeAndInPieces) {
    const Bytes flash = in_partition(hello_image, 1000);
    size_t length = 0;
    ASSERT_EQ(FoldPackedImageSize(flash.data(), flash.size(), &length, nullptr), FOLD_OK);

    // The whole partition as the input is refused: the sizes must add up.
    std::vector<std::uint8_t> image(5);
    FoldFault fault{};
    EXPECT_EQ(
        FoldDecodeImage(flash.data(), flash.size(), image.data(), image.size(), FOLD_PACKED_IMAGE, nullptr, &fault),
        FOLD_IMAGE_SIZE);
    FoldImageInfo info{};
    ASSERT_EQ(FoldDecodeImage(flash.data(), length, image.data(), image.size(), FOLD_PACKED_IMAGE, &info, nullptr),
              FOLD_OK);
    EXPECT_EQ(image, bytes_of("hello"));
    EXPECT_EQ(info.pixels_at, 49u);

    for (const size_t piece : {size_t(1), size_t(7), size_t(60), size_t(512), size_t(1000)}) {
        SCOPED_TRACE("pieces of " + std::to_string(piece));
        std::vector<std::uint8_t> out(5);
        std::vector<std::uint8_t> work(FOLD_WALK_WORK_SIZE);
        FoldWalker walker;
        ASSERT_EQ(FoldWalkBegin(&walker, FOLD_PACKED_IMAGE, length, out.data(), out.size(), work.data(), work.size()),
                  FOLD_OK);
        size_t fed = 0;
        size_t left = 0;
        size_t pixel_bytes = 0;
        const std::uint8_t* next = nullptr;
        FoldEvent event;
        while ((event = FoldWalk(&walker, &next, &left)) != FOLD_DONE && event != FOLD_FAULT) {
            if (event == FOLD_PIXELS) pixel_bytes += walker.pixel_size;
            if (event != FOLD_NEED_INPUT) continue;
            ASSERT_LT(fed, flash.size());
            next = flash.data() + fed;
            left = std::min(piece, flash.size() - fed);
            fed += left;
        }
        ASSERT_EQ(event, FOLD_DONE);
        EXPECT_EQ(out, bytes_of("hello"));
        EXPECT_EQ(pixel_bytes, 12u);
        // The piece that holds the image's end keeps the bytes after it.
        EXPECT_EQ(size_t(next - flash.data()), length);
        EXPECT_EQ(fed - left, length);
    }
}

TEST(DecoderErrorName, EveryResultByItsName) {
    struct Case {
        int value;
        const char* name;
    };
    const Case cases[] = {
        {0, "FOLD_OK"},
        {1, "FOLD_FLAG_WORD_CUT_OFF"},
        {2, "FOLD_LITERAL_CUT_OFF"},
        {3, "FOLD_TOKEN_CUT_OFF"},
        {4, "FOLD_LENGTH_CUT_OFF"},
        {5, "FOLD_OFFSET_BEFORE_START"},
        {6, "FOLD_OUTPUT_TOO_LONG"},
        {7, "FOLD_OUTPUT_TOO_SHORT"},
        {8, "FOLD_TRAILING_BYTES"},
        {9, "FOLD_BAD_FILLER"},
        {20, "FOLD_CONTAINER_TOO_SHORT"},
        {21, "FOLD_CONTAINER_MAGIC"},
        {22, "FOLD_TOTAL_TOO_BIG"},
        {23, "FOLD_BLOCK_WORD_CUT_OFF"},
        {24, "FOLD_LAST_TOO_EARLY"},
        {25, "FOLD_LAST_NOT_MARKED"},
        {26, "FOLD_SIZE_WORD_CUT_OFF"},
        {27, "FOLD_SIZE_MISMATCH"},
        {28, "FOLD_STORED_SIZE"},
        {29, "FOLD_COMPRESSED_SIZE"},
        {30, "FOLD_DATA_CUT_OFF"},
        {31, "FOLD_PADDING_NOT_ZERO"},
        {32, "FOLD_DATA_AFTER_END"},
        {40, "FOLD_IMAGE_TOO_SHORT"},
        {41, "FOLD_IMAGE_MAGIC"},
        {42, "FOLD_HEADER_SIZE"},
        {43, "FOLD_IMAGE_SIZE"},
        {44, "FOLD_SPLASH_SIZE_TOO_SMALL"},
        {45, "FOLD_SPLASH_MARKER"},
        {46, "FOLD_SPLASH_NEGATIVE"},
        {47, "FOLD_SPLASH_TOO_BIG"},
        {48, "FOLD_SPLASH_SIZE_MISMATCH"},
        {60, "FOLD_BAD_ARGUMENT"},
        {61, "FOLD_BUFFER_TOO_SMALL"},
        {62, "FOLD_NO_WORK_MEMORY"},
    };
    // Every value the enumeration can hold: the named ones by name, the
    // gaps between the groups and the values after them as unknown.
    for (int value = 0; value <= 63; ++value) {
        const char* expected = "unknown";
        for (const Case& c : cases) {
            if (c.value == value) expected = c.name;
        }
        EXPECT_STREQ(FoldErrorName(static_cast<FoldError>(value)), expected) << value;
    }
}

}  // namespace
}  // namespace romfold::test
