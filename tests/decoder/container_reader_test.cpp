#include "decoder/container_reader.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/bytes.h"
#include "tests/support/container_builder.h"
#include "tests/support/scratch_dir.h"

namespace romfold {
namespace {

using test::Bytes;
using test::bytes_of;
using test::concat;
using test::ContainerBuilder;
using test::ScratchFile;

// abcabcabcabc as a 9-byte compressed block.
const Bytes abc_block = {0xFF, 0xFF, 0xFF, 0x1F, 0x61, 0x62, 0x63, 0x16, 0x00};
const Bytes abc_output = bytes_of("abcabcabcabc");
// 65536 bytes "a": one literal and a match of offset 1, length 65535.
const Bytes a_block = {0xFF, 0xFF, 0xFF, 0x7F, 0x61, 0x07, 0x00, 0x0F, 0xFF, 0xFC, 0xFF};
const Bytes a_output(65536, 'a');

struct FileResult {
    bool ok;
    Bytes image;
    DecodeFailure failure;
};

FileResult decode_bytes(const Bytes& container) {
    ScratchFile file(container);
    FileResult result{};
    result.ok = decode_container_file(file.path(), result.image, result.failure);
    return result;
}

TEST(DecoderContainer, GoodContainers) {
    struct Case {
        const char* name;
        Bytes container;
        Bytes image;
    };
    const Bytes five = bytes_of("hello");
    const Bytes full = test::random_bytes(65536, 2);
    const Case cases[] = {
        {"empty source", bytes_of(std::string_view("XPRS\0\0\0\0", 8)), {}},
        {"5 bytes stored", concat(bytes_of(std::string_view("XPRS\x05\0\0\0\x05\0\0\xC0\x05\0\0\0", 16)), five), five},
        {"1 byte stored", ContainerBuilder(1).stored_block({'x'}, true).bytes(), {'x'}},
        {"65536 bytes in one stored record", ContainerBuilder(65536).stored_block(full, true).bytes(), full},
        {"65537 bytes in two stored records",
         ContainerBuilder(65537).stored_block(full, false).stored_block({'x'}, true).bytes(), concat(full, {'x'})},
        {"compressed last block with 3 padding bytes",
         ContainerBuilder(12).compressed_block(abc_block, 12, true).bytes(), abc_output},
        {"compressed, stored, compressed",
         ContainerBuilder(2 * 65536 + 12)
             .compressed_block(a_block, 65536, false)
             .stored_block(full, false)
             .compressed_block(abc_block, 12, true)
             .bytes(),
         concat(concat(a_output, full), abc_output)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FileResult result = decode_bytes(c.container);
        EXPECT_TRUE(result.ok) << result.failure.message << " at " << result.failure.offset;
        EXPECT_EQ(result.image, c.image);
    }
}

TEST(DecoderContainer, FaultsAreFoundWhereTheyLie) {
    struct Case {
        const char* name;
        Bytes container;
        const char* message;
        std::uint64_t offset;
    };
    const Bytes full(65536, 's');
    const Bytes full_record = ContainerBuilder(0).stored_block(full, false).bytes();
    const Bytes first_of_two(full_record.begin() + 8, full_record.end());
    auto raw = [](std::initializer_list<std::uint32_t> words, const Bytes& tail = {}) {
        Bytes bytes = bytes_of("XPRS");
        for (std::uint32_t word : words) test::append_le32(bytes, word);
        return concat(bytes, tail);
    };
    const Case cases[] = {
        {"shorter than the header", bytes_of(std::string_view("XPRS\0", 5)),
         "container of 5 bytes is shorter than its header", 0},
        {"bad magic", bytes_of(std::string_view("XPRT\0\0\0\0", 8)), "bad container magic", 0},
        {"total with no records", raw({131072}), "total size 131072 does not fit in a container of 8 bytes", 4},
        {"total one byte too big for the container", raw({1, 0xC0000001, 1}),
         "total size 1 does not fit in a container of 16 bytes", 4},
        {"block word cut off", concat(raw({65537}, first_of_two), {0x01, 0x00}), "block 1: block word cut off", 65548},
        {"marked last too early", raw({65537, 0xC0010000, 65536}, full),
         "block 0: marked last, but the total size needs 2 blocks", 8},
        {"last block not marked", raw({5, 0x80000005}, bytes_of("hello")), "block 0: last block not marked last", 8},
        {"size word cut off", concat(raw({65537}, first_of_two), {0x01, 0x00, 0x00, 0xC0, 0x01}),
         "block 1: size word cut off", 65552},
        {"size word disagrees with the total", raw({5, 0xC0000005, 4}, bytes_of("hello")),
         "block 0: size 4 does not match the 5 bytes left of the total size", 12},
        {"stored size differs from the block", raw({5, 0xC0000004, 5}, bytes_of("hell")),
         "block 0: stored data size 4 does not fit a block of 5 bytes", 8},
        {"reserved size bits set", raw({5, 0xE0000005, 5}, bytes_of("hello")),
         "block 0: stored data size 536870917 does not fit a block of 5 bytes", 8},
        {"compressed not smaller than its block", raw({5, 0x40000005, 5}, bytes_of("hello\0\0\0")),
         "block 0: compressed data size 5 does not fit a block of 5 bytes", 8},
        {"stored data cut off", raw({5, 0xC0000005, 5}, bytes_of("hell")), "block 0: data cut off", 16},
        {"padding cut off", raw({12, 0x40000009, 12}, abc_block), "block 0: data cut off", 16},
        {"compressed block for a longer size", ContainerBuilder(13).compressed_block(abc_block, 13, true).bytes(),
         "block 0: block ends before the uncompressed size", 25},
        {"padding not zero", raw({12, 0x40000009, 12}, concat(abc_block, {0, 1, 0})), "block 0: padding not zero", 26},
        {"bytes after the last block",
         concat(ContainerBuilder(5).stored_block(bytes_of("hello"), true).bytes(), {0, 0, 0, 0}),
         "data after the last block (4 bytes)", 21},
        {"bytes after an empty container", raw({0, 0}), "data after the last block (4 bytes)", 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FileResult result = decode_bytes(c.container);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.failure.message, c.message);
        EXPECT_EQ(result.failure.offset, c.offset);
    }
}

TEST(DecoderContainer, MissingFile) {
    std::vector<std::uint8_t> image;
    DecodeFailure failure;
    const std::string path = ::testing::TempDir() + "romfold_decoder_no_such_file";
    EXPECT_FALSE(decode_container_file(path, image, failure));
    EXPECT_EQ(failure.message, "cannot open " + path);
    EXPECT_EQ(failure.offset, 0u);
}

// The streaming reader inside a larger file: bytes around the window are not
// its business, and failure offsets are offsets in the file.
class DecoderContainerWindow : public ::testing::Test {
protected:
    struct Seen {
        std::uint32_t index;
        std::uint64_t record_offset;
        std::uint64_t image_offset;
        bool stored;
        std::uint32_t data_size;
        std::uint32_t size;
        Bytes bytes;
    };

    bool read_window(const Bytes& container, std::uint64_t extra_length, DecodeFailure& failure) {
        const Bytes file_bytes = concat(concat(Bytes(13, 0xEE), container), Bytes(5, 0xEE));
        ScratchFile file(file_bytes);
        std::FILE* stream = std::fopen(file.path().c_str(), "rb");
        ContainerReader reader(stream, 13, container.size() + extra_length);
        bool ok = reader.read_header(failure);
        if (ok) {
            total_size = reader.total_size();
            block_count = reader.block_count();
            ok = reader.read_blocks(
                [this](const ContainerBlock& block, DecodeFailure&) {
                    seen.push_back({block.index, block.record_offset, block.image_offset, block.stored, block.data_size,
                                    block.size, Bytes(block.bytes, block.bytes + block.size)});
                    return true;
                },
                failure);
        }
        std::fclose(stream);
        return ok;
    }

    std::uint32_t total_size = 0;
    std::uint32_t block_count = 0;
    std::vector<Seen> seen;
};

TEST_F(DecoderContainerWindow, SinkSeesEachBlockInOrder) {
    const Bytes full = test::random_bytes(65536, 4);
    const Bytes container = ContainerBuilder(2 * 65536 + 12)
                                .compressed_block(a_block, 65536, false)
                                .stored_block(full, false)
                                .compressed_block(abc_block, 12, true)
                                .bytes();
    DecodeFailure failure;
    ASSERT_TRUE(read_window(container, 0, failure)) << failure.message;
    EXPECT_EQ(total_size, 2u * 65536 + 12);
    EXPECT_EQ(block_count, 3u);
    ASSERT_EQ(seen.size(), 3u);
    // Records: 8-byte header, 4 + 12 (padded), 4 + 65536, 4 + 4 + 12 (padded).
    EXPECT_EQ(seen[0].record_offset, 13u + 8);
    EXPECT_EQ(seen[1].record_offset, 13u + 24);
    EXPECT_EQ(seen[2].record_offset, 13u + 24 + 65540);
    const std::uint64_t image_offsets[] = {0, 65536, 131072};
    const bool stored[] = {false, true, false};
    const std::uint32_t data_sizes[] = {11, 65536, 9};
    const Bytes* outputs[] = {&a_output, &full, &abc_output};
    for (std::uint32_t i = 0; i < 3; ++i) {
        SCOPED_TRACE("block " + std::to_string(i));
        EXPECT_EQ(seen[i].index, i);
        EXPECT_EQ(seen[i].image_offset, image_offsets[i]);
        EXPECT_EQ(seen[i].stored, stored[i]);
        EXPECT_EQ(seen[i].data_size, data_sizes[i]);
        EXPECT_EQ(seen[i].size, outputs[i]->size());
        EXPECT_EQ(seen[i].bytes, *outputs[i]);
    }
}

TEST_F(DecoderContainerWindow, FaultOffsetsAreFileOffsets) {
    const Bytes container = ContainerBuilder(11).compressed_block(abc_block, 11, true).bytes();
    DecodeFailure failure;
    EXPECT_FALSE(read_window(container, 0, failure));
    EXPECT_EQ(failure.message, "block 0: match runs past the uncompressed size");
    EXPECT_EQ(failure.offset, 13u + 16 + 7);
}

TEST_F(DecoderContainerWindow, WindowThatTakesInAByteTooMany) {
    const Bytes container = ContainerBuilder(5).stored_block(bytes_of("hello"), true).bytes();
    DecodeFailure failure;
    EXPECT_FALSE(read_window(container, 1, failure));
    EXPECT_EQ(failure.message, "data after the last block (1 byte)");
    EXPECT_EQ(failure.offset, 13u + 21);
}

TEST(DecoderContainer, SinkCanStopTheRead) {
    const Bytes full(65536, 'q');
    ScratchFile file(ContainerBuilder(65537).stored_block(full, false).stored_block({'x'}, true).bytes());
    std::FILE* stream = std::fopen(file.path().c_str(), "rb");
    ContainerReader reader(stream, 0, 8 + 65540 + 9);
    DecodeFailure failure;
    ASSERT_TRUE(reader.read_header(failure));
    int calls = 0;
    EXPECT_FALSE(reader.read_blocks(
        [&calls](const ContainerBlock&, DecodeFailure& stop) {
            ++calls;
            stop = {"image differs", 1234};
            return false;
        },
        failure));
    std::fclose(stream);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(failure.message, "image differs");
    EXPECT_EQ(failure.offset, 1234u);
}

}  // namespace
}  // namespace romfold
