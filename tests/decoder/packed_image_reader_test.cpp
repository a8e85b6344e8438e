#include "decoder/packed_image_reader.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/support/bytes.h"
#include "tests/support/container_builder.h"
#include "tests/support/packed_image_builder.h"
#include "tests/support/scratch_dir.h"

namespace romfold {
namespace {

using test::Bytes;
using test::bytes_of;
using test::concat;
using test::ContainerBuilder;
using test::ScratchFile;

// A 21-byte container holding the 5 bytes "hello", stored.
const Bytes hello_container = ContainerBuilder(5).stored_block(bytes_of("hello"), true).bytes();

struct FileResult {
    bool ok;
    PackedImage image;
    DecodeFailure failure;
};

FileResult read_bytes(const Bytes& file_bytes) {
    ScratchFile file(file_bytes);
    FileResult result{};
    result.ok = read_packed_image_file(file.path(), result.image, result.failure);
    return result;
}

TEST(DecoderPackedImage, WithoutSplash) {
    const Bytes file_bytes = test::packed_image(hello_container);
    ASSERT_EQ(file_bytes.size(), 16u + 21);
    const FileResult result = read_bytes(file_bytes);
    ASSERT_TRUE(result.ok) << result.failure.message;
    EXPECT_EQ(result.image.stream, hello_container);
    EXPECT_EQ(result.image.image, bytes_of("hello"));
    EXPECT_FALSE(result.image.has_splash);
    EXPECT_EQ(result.image.width, 0);
    EXPECT_EQ(result.image.height, 0);
    EXPECT_TRUE(result.image.pixels.empty());
}

TEST(DecoderPackedImage, WithSplash) {
    struct Case {
        std::int32_t width;
        std::int32_t height;
    };
    const Case cases[] = {{3, 2}, {0, 5}, {7, 0}, {1920, 1080}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        const Bytes pixels = test::random_bytes(size_t(2 * c.width * c.height), 9);
        const FileResult result = read_bytes(test::packed_image(hello_container, c.width, c.height, pixels));
        ASSERT_TRUE(result.ok) << result.failure.message;
        EXPECT_EQ(result.image.stream, hello_container);
        EXPECT_EQ(result.image.image, bytes_of("hello"));
        EXPECT_TRUE(result.image.has_splash);
        EXPECT_EQ(result.image.width, c.width);
        EXPECT_EQ(result.image.height, c.height);
        EXPECT_EQ(result.image.pixels, pixels);
    }
}

TEST(DecoderPackedImage, FaultsAreFoundWhereTheyLie) {
    // 16-byte header, container at 16 (21 bytes), splash block at 37:
    // marker, width 3 at 41, height 2 at 45, 12 pixel bytes at 49; 61 in all.
    const Bytes good = test::packed_image(hello_container, 3, 2, Bytes(12, 0x5A));
    struct Case {
        const char* name;
        std::function<void(Bytes&)> change;
        const char* message;
        std::uint64_t offset;
    };
    const Case cases[] = {
        {"shorter than the header", [](Bytes& b) { b.resize(15); }, "file of 15 bytes is shorter than its header", 0},
        {"bad magic", [](Bytes& b) { b[3] = 'X'; }, "bad packed image magic", 0},
        {"header size not 16", [](Bytes& b) { test::store_le32(b, 4, 20); }, "header size 20 is not 16", 4},
        {"a byte after the splash block", [](Bytes& b) { b.push_back(0); },
         "header sizes add up to 61 bytes, but the file has 62", 8},
        {"last pixel byte missing", [](Bytes& b) { b.pop_back(); },
         "header sizes add up to 61 bytes, but the file has 60", 8},
        {"container size beyond the file", [](Bytes& b) { test::store_le32(b, 8, 0xFFFFFFF0); },
         "header sizes add up to 4294967320 bytes, but the file has 61", 8},
        {"splash block shorter than its header",
         [](Bytes& b) {
             b.resize(16 + 21 + 5);
             test::store_le32(b, 12, 5);
         },
         "splash block size 5 is below 12", 12},
        {"bad splash marker", [](Bytes& b) { b[40] = 'D'; }, "bad splash marker", 37},
        {"too wide", [](Bytes& b) { test::store_le32(b, 41, 1921); }, "splash screen of 1921x2 pixels is too big", 41},
        {"too high", [](Bytes& b) { test::store_le32(b, 45, 1081); }, "splash screen of 3x1081 pixels is too big", 41},
        {"dimensions disagree with the block size", [](Bytes& b) { test::store_le32(b, 41, 4); },
         "splash block size 24 does not match 4x2 pixels", 12},
        {"negative width", [](Bytes& b) { test::store_le32(b, 41, std::uint32_t(-3)); },
         "splash screen of -3x2 pixels has a negative dimension", 41},
        {"negative width and height",
         [](Bytes& b) {
             test::store_le32(b, 41, std::uint32_t(-3));
             test::store_le32(b, 45, std::uint32_t(-2));
         },
         "splash screen of -3x-2 pixels has a negative dimension", 41},
        {"fault in the container", [](Bytes& b) { b[27] = 0x80; }, "block 0: last block not marked last", 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file_bytes = good;
        c.change(file_bytes);
        const FileResult result = read_bytes(file_bytes);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.failure.message, c.message);
        EXPECT_EQ(result.failure.offset, c.offset);
    }
}

TEST(DecoderPackedImage, MissingFile) {
    PackedImage image;
    DecodeFailure failure;
    const std::string path = ::testing::TempDir() + "romfold_decoder_no_such_image";
    EXPECT_FALSE(read_packed_image_file(path, image, failure));
    EXPECT_EQ(failure.message, "cannot open " + path);
}

}  // namespace
}  // namespace romfold
