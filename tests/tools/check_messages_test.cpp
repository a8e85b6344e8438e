// The words of romfold-check for every fault the decoder library finds in
// a container or a packed image, and where it says the fault lies: each row
// is a file with one fault, checked as romfold-check checks it.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/support/block_builder.h"
#include "tests/support/bytes.h"
#include "tests/support/container_builder.h"
#include "tests/support/packed_image_builder.h"
#include "tests/support/scratch_dir.h"
#include "tools/check_verify.h"

namespace romfold::test {
namespace {

// A 21-byte container holding the 5 bytes "hello", stored.
const Bytes hello_container = ContainerBuilder(5).stored_block(bytes_of("hello"), true).bytes();

struct CheckResult {
    bool valid;
    check::CheckError error;
};

CheckResult check_bytes(const Bytes& file_bytes) {
    ScratchFile file(file_bytes);
    CheckResult result{};
    check::CheckSummary summary;
    result.valid = check::check_file(file.path(), {}, summary, result.error);
    return result;
}

TEST(CheckMessages, ContainerFaults) {
    struct Case {
        const char* name;
        Bytes container;
        const char* message;
        std::uint64_t offset;
    };
    const Bytes full(65536, 's');
    const Bytes full_record = ContainerBuilder(0).stored_block(full, false).bytes();
    const Bytes first_of_two(full_record.begin() + 8, full_record.end());
    const Case cases[] = {
        {"shorter than the header", bytes_of(std::string_view("XPRS\0", 5)),
         "container of 5 bytes is shorter than its header", 0},
        {"total with no records", container_of_words({131072}),
         "total size 131072 does not fit in a container of 8 bytes", 4},
        {"total one byte too big for the container", container_of_words({1, 0xC0000001, 1}),
         "total size 1 does not fit in a container of 16 bytes", 4},
        {"block word cut off", concat(container_of_words({65537}, first_of_two), {0x01, 0x00}),
         "block 1: block word cut off", 65548},
        {"marked last too early", container_of_words({65537, 0xC0010000, 65536}, full),
         "block 0: marked last, but the total size needs 2 blocks", 8},
        {"last block not marked", container_of_words({5, 0x80000005}, bytes_of("hello")),
         "block 0: last block not marked last", 8},
        {"size word cut off", concat(container_of_words({65537}, first_of_two), {0x01, 0x00, 0x00, 0xC0, 0x01}),
         "block 1: size word cut off", 65552},
        {"size word disagrees with the total", container_of_words({5, 0xC0000005, 4}, bytes_of("hello")),
         "block 0: size 4 does not match the 5 bytes left of the total size", 12},
        {"stored size differs from the block", container_of_words({5, 0xC0000004, 5}, bytes_of("hell")),
         "block 0: stored data size 4 does not fit a block of 5 bytes", 8},
        {"reserved size bits set", container_of_words({5, 0xE0000005, 5}, bytes_of("hello")),
         "block 0: stored data size 536870917 does not fit a block of 5 bytes", 8},
        {"compressed not smaller than its block", container_of_words({5, 0x40000005, 5}, bytes_of("hello\0\0\0")),
         "block 0: compressed data size 5 does not fit a block of 5 bytes", 8},
        {"stored data cut off", container_of_words({5, 0xC0000005, 5}, bytes_of("hell")), "block 0: data cut off", 16},
        {"padding cut off", container_of_words({12, 0x40000009, 12}, abc_block), "block 0: data cut off", 16},
        {"compressed block for a longer size", ContainerBuilder(13).compressed_block(abc_block, 13, true).bytes(),
         "block 0: block ends before the uncompressed size", 25},
        {"padding not zero", container_of_words({12, 0x40000009, 12}, concat(abc_block, {0, 1, 0})),
         "block 0: padding not zero", 26},
        {"bytes after the last block",
         concat(ContainerBuilder(5).stored_block(bytes_of("hello"), true).bytes(), {0, 0, 0, 0}),
         "data after the last block (4 bytes)", 21},
        {"bytes after an empty container", container_of_words({0, 0}), "data after the last block (4 bytes)", 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CheckResult result = check_bytes(c.container);
        EXPECT_FALSE(result.valid);
        EXPECT_EQ(result.error.status, check::status_invalid);
        EXPECT_EQ(result.error.message, c.message);
        EXPECT_EQ(result.error.offset, c.offset);
    }
}

TEST(CheckMessages, PackedImageFaults) {
    // 16-byte header, container at 16 (21 bytes), splash block at 37:
    // marker, width 3 at 41, height 2 at 45, 12 pixel bytes at 49; 61 in all.
    const Bytes good = packed_image(hello_container, 3, 2, Bytes(12, 0x5A));
    struct Case {
        const char* name;
        std::function<void(Bytes&)> change;
        const char* message;
        std::uint64_t offset;
    };
    const Case cases[] = {
        {"shorter than the header", [](Bytes& b) { b.resize(15); }, "file of 15 bytes is shorter than its header", 0},
        {"header size not 16", [](Bytes& b) { store_le32(b, 4, 20); }, "header size 20 is not 16", 4},
        {"a byte after the splash block", [](Bytes& b) { b.push_back(0); },
         "header sizes add up to 61 bytes, but the file has 62", 8},
        {"last pixel byte missing", [](Bytes& b) { b.pop_back(); },
         "header sizes add up to 61 bytes, but the file has 60", 8},
        {"container size beyond the file", [](Bytes& b) { store_le32(b, 8, 0xFFFFFFF0); },
         "header sizes add up to 4294967320 bytes, but the file has 61", 8},
        {"splash block shorter than its header",
         [](Bytes& b) {
             b.resize(16 + 21 + 5);
             store_le32(b, 12, 5);
         },
         "splash block size 5 is below 12", 12},
        {"bad splash marker", [](Bytes& b) { b[40] = 'D'; }, "bad splash marker", 37},
        {"too wide", [](Bytes& b) { store_le32(b, 41, 1921); }, "splash screen of 1921x2 pixels is too big", 41},
        {"too high", [](Bytes& b) { store_le32(b, 45, 1081); }, "splash screen of 3x1081 pixels is too big", 41},
        {"dimensions disagree with the block size", [](Bytes& b) { store_le32(b, 41, 4); },
         "splash block size 24 does not match 4x2 pixels", 12},
        {"negative width", [](Bytes& b) { store_le32(b, 41, std::uint32_t(-3)); },
         "splash screen of -3x2 pixels has a negative dimension", 41},
        {"negative width and height",
         [](Bytes& b) {
             store_le32(b, 41, std::uint32_t(-3));
             store_le32(b, 45, std::uint32_t(-2));
         },
         "splash screen of -3x-2 pixels has a negative dimension", 41},
        {"fault in the container", [](Bytes& b) { b[27] = 0x80; }, "block 0: last block not marked last", 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file_bytes = good;
        c.change(file_bytes);
        const CheckResult result = check_bytes(file_bytes);
        EXPECT_FALSE(result.valid);
        EXPECT_EQ(result.error.status, check::status_invalid);
        EXPECT_EQ(result.error.message, c.message);
        EXPECT_EQ(result.error.offset, c.offset);
    }
}

}  // namespace
}  // namespace romfold::test
