// Containers and packed images through the decoder library: whole in memory
// (FoldDecodeImage), walked in pieces (FoldWalk), and their headers alone.
#include <gtest/gtest.h>
#include <romfold/fold_decoder.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/block_builder.h"
#include "tests/support/bytes.h"
#include "tests/support/container_builder.h"
#include "tests/support/packed_image_builder.h"

namespace romfold::test {
namespace {

const Bytes abc_output = bytes_of("abcabcabcabc");
// 65536 bytes "a": one literal and a match of offset 1, length 65535.
const Bytes a_block = {0xFF, 0xFF, 0xFF, 0x7F, 0x61, 0x07, 0x00, 0x0F, 0xFF, 0xFC, 0xFF};
const Bytes a_output(65536, 'a');
// A 21-byte container holding the 5 bytes "hello", stored.
const Bytes hello_container = ContainerBuilder(5).stored_block(bytes_of("hello"), true).bytes();

struct Whole {
    FoldError error;
    FoldImageInfo info;
    FoldFault fault;
    Bytes image;
};

// Decodes the input whole, from an allocation of exactly its size into an
// image buffer of exactly the size the decoder asks for.
Whole decode_whole(const Bytes& input, std::uint32_t flags) {
    const std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[input.size()]);
    std::copy(input.begin(), input.end(), copy.get());
    Whole whole{};
    whole.error = FoldDecodeImage(copy.get(), input.size(), nullptr, 0, flags, &whole.info, &whole.fault);
    if (whole.error != FOLD_BUFFER_TOO_SMALL) return whole;
    const std::unique_ptr<std::uint8_t[]> image(new std::uint8_t[whole.fault.value]);
    whole.error =
        FoldDecodeImage(copy.get(), input.size(), image.get(), whole.fault.value, flags, &whole.info, &whole.fault);
    if (whole.error == FOLD_OK) whole.image.assign(image.get(), image.get() + whole.info.image_size);
    return whole;
}

// What a walk reports, event by event.
struct Walked {
    FoldEvent end;
    FoldFault fault;
    FoldImageInfo info;
    std::vector<FoldBlock> blocks;  // bytes not kept
    Bytes image;                    // the blocks' bytes in order
    Bytes pixels;
    std::vector<FoldEvent> events;  // without FOLD_NEED_INPUT
};

// Hands the input to a walk in pieces of `piece` bytes, each in an
// allocation of its own, so that a read past a piece is an error the
// sanitizers see.
class PieceFeeder {
public:
    PieceFeeder(const Bytes& input, size_t piece) : input_(input), piece_(piece) {}

    // The next piece into next and left; false (a test failure) when the
    // walk asks for bytes after the end of the input.
    bool feed(const std::uint8_t** next, size_t* left) {
        if (fed_ == input_.size()) {
            ADD_FAILURE() << "the walk asks for bytes after the end of the input";
            return false;
        }
        *left = std::min(piece_, input_.size() - fed_);
        chunk_.reset(new std::uint8_t[*left]);
        std::copy(input_.begin() + std::ptrdiff_t(fed_), input_.begin() + std::ptrdiff_t(fed_ + *left), chunk_.get());
        *next = chunk_.get();
        fed_ += *left;
        return true;
    }

private:
    const Bytes& input_;
    size_t piece_;
    size_t fed_ = 0;
    std::unique_ptr<std::uint8_t[]> chunk_;
};

// Walks the input in pieces of `piece` bytes, each in an allocation of its
// own, decoding into one block buffer (or an image buffer of the given size).
Walked walk(const Bytes& input, std::uint32_t flags, size_t piece, bool block_output = true, size_t image_size = 0) {
    std::vector<std::uint8_t> out(block_output ? FOLD_BLOCK_SIZE : image_size);
    std::vector<std::uint8_t> work(FOLD_WALK_WORK_SIZE);
    FoldWalker walker;
    EXPECT_EQ(FoldWalkBegin(&walker, flags | (block_output ? FOLD_BLOCK_OUTPUT : 0), input.size(), out.data(),
                            out.size(), work.data(), work.size()),
              FOLD_OK);
    Walked walked{};
    PieceFeeder feeder(input, piece);
    const std::uint8_t* next = nullptr;
    size_t left = 0;
    for (;;) {
        const FoldEvent event = FoldWalk(&walker, &next, &left);
        if (event == FOLD_NEED_INPUT) {
            if (!feeder.feed(&next, &left)) {
                walked.end = event;
                break;
            }
            continue;
        }
        walked.events.push_back(event);
        if (event == FOLD_BLOCK) {
            walked.blocks.push_back(walker.block);
            walked.image.insert(walked.image.end(), walker.block.bytes, walker.block.bytes + walker.block.size);
        }
        if (event == FOLD_PIXELS)
            walked.pixels.insert(walked.pixels.end(), walker.pixels, walker.pixels + walker.pixel_size);
        if (event == FOLD_DONE || event == FOLD_FAULT) {
            walked.end = event;
            break;
        }
    }
    walked.fault = walker.fault;
    walked.info = walker.info;
    return walked;
}

// Walks the input as walk() does, but checking records only: each record's
// data is copied into an allocation of exactly its padded size, and
// FoldDecodeRecord decodes the copies once the walk has ended, in record
// order, as a caller that decodes on other threads does. The first fault in
// input order ends it: a record's block fault comes before anything the walk
// found after that record. Gives what walk() gives.
Walked walk_records(const Bytes& input, std::uint32_t flags, size_t piece) {
    std::vector<std::uint8_t> work(FOLD_WALK_WORK_SIZE);
    FoldWalker walker;
    EXPECT_EQ(FoldWalkBegin(&walker, flags | FOLD_RECORDS_ONLY, input.size(), nullptr, 0, work.data(), work.size()),
              FOLD_OK);
    struct Record {
        FoldBlock block;
        Bytes data;
    };
    std::vector<Record> records;
    std::vector<FoldEvent> events;
    Bytes pixels;
    PieceFeeder feeder(input, piece);
    const std::uint8_t* next = nullptr;
    size_t left = 0;
    FoldEvent event;
    do {
        event = FoldWalk(&walker, &next, &left);
        if (event == FOLD_NEED_INPUT) {
            if (!feeder.feed(&next, &left)) break;
            continue;
        }
        events.push_back(event);
        if (event == FOLD_BLOCK) {
            records.push_back({walker.block, Bytes(walker.block.bytes, walker.block.bytes + walker.block.padded_size)});
        }
        if (event == FOLD_PIXELS) pixels.insert(pixels.end(), walker.pixels, walker.pixels + walker.pixel_size);
    } while (event != FOLD_DONE && event != FOLD_FAULT);

    Walked walked{};
    walked.end = event;
    walked.fault = walker.fault;
    walked.info = walker.info;
    walked.pixels = pixels;
    std::vector<std::uint8_t> out(FOLD_BLOCK_SIZE);
    for (size_t i = 0; i < records.size(); ++i) {
        Record& record = records[i];
        const std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[record.data.size()]);
        std::copy(record.data.begin(), record.data.end(), copy.get());
        record.block.bytes = copy.get();
        FoldFault fault;
        if (FoldDecodeRecord(&record.block, flags, out.data(), out.size(), &fault) != FOLD_OK) {
            // Nothing after this record counts: its events end with the fault.
            walked.end = FOLD_FAULT;
            walked.fault = fault;
            walked.pixels.clear();
            size_t blocks_seen = 0;
            auto cut = std::find_if(events.begin(), events.end(),
                                    [&](FoldEvent e) { return e == FOLD_BLOCK && blocks_seen++ == i; });
            events.erase(cut, events.end());
            events.push_back(FOLD_FAULT);
            break;
        }
        record.block.bytes = nullptr;
        walked.blocks.push_back(record.block);
        walked.image.insert(walked.image.end(), out.begin(), out.begin() + record.block.size);
    }
    walked.events = events;
    return walked;
}

// The records-only route gives the decoding walk's blocks, image, pixels and
// fault, event for event.
void expect_same_walk(const Walked& records, const Walked& decoded) {
    SCOPED_TRACE("records only, then FoldDecodeRecord");
    EXPECT_EQ(records.end, decoded.end);
    EXPECT_EQ(records.events, decoded.events);
    EXPECT_EQ(records.fault.error, decoded.fault.error);
    EXPECT_EQ(records.fault.offset, decoded.fault.offset);
    EXPECT_EQ(records.fault.block, decoded.fault.block);
    EXPECT_EQ(records.fault.value, decoded.fault.value);
    EXPECT_EQ(records.image, decoded.image);
    EXPECT_EQ(records.pixels, decoded.pixels);
    ASSERT_EQ(records.blocks.size(), decoded.blocks.size());
    for (size_t i = 0; i < records.blocks.size(); ++i) {
        const FoldBlock& a = records.blocks[i];
        const FoldBlock& b = decoded.blocks[i];
        EXPECT_EQ(a.index, b.index);
        EXPECT_EQ(a.record_offset, b.record_offset);
        EXPECT_EQ(a.data_offset, b.data_offset);
        EXPECT_EQ(a.image_offset, b.image_offset);
        EXPECT_EQ(a.size, b.size);
        EXPECT_EQ(a.data_size, b.data_size);
        EXPECT_EQ(a.padded_size, b.padded_size);
        EXPECT_EQ(a.stored, b.stored);
    }
}

const size_t piece_sizes[] = {1, 3, 7, 64, 4096, 1 << 20};

TEST(DecoderContainer, GoodContainers) {
    struct Case {
        const char* name;
        Bytes container;
        Bytes image;
    };
    const Bytes five = bytes_of("hello");
    const Bytes full = random_bytes(65536, 2);
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
        const Whole whole = decode_whole(c.container, FOLD_CONTAINER);
        EXPECT_EQ(whole.error, FOLD_OK);
        EXPECT_EQ(whole.image, c.image);
        EXPECT_EQ(whole.info.image_size, c.image.size());
        EXPECT_EQ(whole.info.stream_size, c.container.size());
        for (const size_t piece : piece_sizes) {
            SCOPED_TRACE("pieces of " + std::to_string(piece));
            const Walked walked = walk(c.container, FOLD_CONTAINER, piece);
            EXPECT_EQ(walked.end, FOLD_DONE);
            EXPECT_EQ(walked.image, c.image);
            expect_same_walk(walk_records(c.container, FOLD_CONTAINER, piece), walked);
        }
    }
}

TEST(DecoderContainer, FaultsAreFoundWhereTheyLie) {
    struct Case {
        const char* name;
        Bytes container;
        FoldError error;
        size_t offset;
        std::uint32_t block;
        size_t value;
    };
    const Bytes full(65536, 's');
    const Bytes full_record = ContainerBuilder(0).stored_block(full, false).bytes();
    const Bytes first_of_two(full_record.begin() + 8, full_record.end());
    const Case cases[] = {
        {"shorter than the header", bytes_of(std::string_view("XPRS\0", 5)), FOLD_CONTAINER_TOO_SHORT, 0, 0, 5},
        {"bad magic", bytes_of(std::string_view("XPRT\0\0\0\0", 8)), FOLD_CONTAINER_MAGIC, 0, 0, 0},
        {"total with no records", container_of_words({131072}), FOLD_TOTAL_TOO_BIG, 4, 0, 131072},
        {"total one byte too big for the container", container_of_words({1, 0xC0000001, 1}), FOLD_TOTAL_TOO_BIG, 4, 0,
         1},
        {"block word cut off", concat(container_of_words({65537}, first_of_two), {0x01, 0x00}), FOLD_BLOCK_WORD_CUT_OFF,
         65548, 1, 2},
        {"marked last too early", container_of_words({65537, 0xC0010000, 65536}, full), FOLD_LAST_TOO_EARLY, 8, 0, 0},
        {"last block not marked", container_of_words({5, 0x80000005}, bytes_of("hello")), FOLD_LAST_NOT_MARKED, 8, 0,
         0},
        {"size word cut off", concat(container_of_words({65537}, first_of_two), {0x01, 0x00, 0x00, 0xC0, 0x01}),
         FOLD_SIZE_WORD_CUT_OFF, 65552, 1, 1},
        {"size word disagrees with the total", container_of_words({5, 0xC0000005, 4}, bytes_of("hello")),
         FOLD_SIZE_MISMATCH, 12, 0, 4},
        {"stored size differs from the block", container_of_words({5, 0xC0000004, 5}, bytes_of("hell")),
         FOLD_STORED_SIZE, 8, 0, 4},
        {"reserved size bits set", container_of_words({5, 0xE0000005, 5}, bytes_of("hello")), FOLD_STORED_SIZE, 8, 0,
         536870917},
        {"compressed not smaller than its block", container_of_words({5, 0x40000005, 5}, bytes_of("hello\0\0\0")),
         FOLD_COMPRESSED_SIZE, 8, 0, 5},
        {"stored data cut off", container_of_words({5, 0xC0000005, 5}, bytes_of("hell")), FOLD_DATA_CUT_OFF, 16, 0, 4},
        {"padding cut off", container_of_words({12, 0x40000009, 12}, abc_block), FOLD_DATA_CUT_OFF, 16, 0, 9},
        {"compressed block for a longer size", ContainerBuilder(13).compressed_block(abc_block, 13, true).bytes(),
         FOLD_OUTPUT_TOO_SHORT, 25, 0, 0},
        {"padding not zero", container_of_words({12, 0x40000009, 12}, concat(abc_block, {0, 1, 0})),
         FOLD_PADDING_NOT_ZERO, 26, 0, 0},
        {"bytes after the last block",
         concat(ContainerBuilder(5).stored_block(bytes_of("hello"), true).bytes(), {0, 0, 0, 0}), FOLD_DATA_AFTER_END,
         21, 1, 4},
        {"bytes after an empty container", container_of_words({0, 0}), FOLD_DATA_AFTER_END, 8, 0, 4},
        // The first fault in input order, when a record holds two or its
        // successor holds one too.
        {"a block fault before the record's bad padding",
         container_of_words({13, 0x40000009, 13}, concat(abc_block, {0, 1, 0})), FOLD_OUTPUT_TOO_SHORT, 25, 0, 0},
        {"a block fault before a fault in the next record's word",
         concat(ContainerBuilder(65536 + 12).compressed_block(bytes_of("\xFF\xFF\xFF\xFF"), 65536, false).bytes(),
                concat({0x09, 0, 0, 0x00, 12, 0, 0, 0}, concat(abc_block, {0, 0, 0}))),
         FOLD_OUTPUT_TOO_SHORT, 16, 0, 0},
        {"a record fault after good blocks",
         concat(
             ContainerBuilder(2 * 65536 + 12).compressed_block(a_block, 65536, false).stored_block(full, false).bytes(),
             {0x09, 0, 0, 0x00}),
         FOLD_LAST_NOT_MARKED, 65564, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Whole whole = decode_whole(c.container, FOLD_CONTAINER);
        EXPECT_EQ(whole.error, c.error);
        EXPECT_EQ(whole.fault.error, c.error);
        EXPECT_EQ(whole.fault.offset, c.offset);
        EXPECT_EQ(whole.fault.block, c.block);
        EXPECT_EQ(whole.fault.value, c.value);
        // Pieces of any size find the same fault at the same place.
        for (const size_t piece : piece_sizes) {
            SCOPED_TRACE("pieces of " + std::to_string(piece));
            const Walked walked = walk(c.container, FOLD_CONTAINER, piece);
            EXPECT_EQ(walked.end, FOLD_FAULT);
            EXPECT_EQ(walked.fault.error, c.error);
            EXPECT_EQ(walked.fault.offset, c.offset);
            EXPECT_EQ(walked.fault.block, c.block);
            EXPECT_EQ(walked.fault.value, c.value);
            expect_same_walk(walk_records(c.container, FOLD_CONTAINER, piece), walked);
        }
    }
}

TEST(DecoderContainer, LenientModeSkipsOnlyWhatProtectsNoMemory) {
    struct Case {
        const char* name;
        Bytes container;
        FoldError strict;
        FoldError lenient;
    };
    Bytes trailing_block = concat(abc_block, {0x00});
    Bytes bad_filler = abc_block;
    bad_filler[0] = 0xFE;
    const Case cases[] = {
        {"padding not zero",
         ContainerBuilder(12).raw({0x09, 0, 0, 0x40, 12, 0, 0, 0}).raw(abc_block).raw({0, 7, 0}).bytes(),
         FOLD_PADDING_NOT_ZERO, FOLD_OK},
        {"a byte after the block's last item", ContainerBuilder(12).compressed_block(trailing_block, 12, true).bytes(),
         FOLD_TRAILING_BYTES, FOLD_OK},
        {"a filler bit of 0", ContainerBuilder(12).compressed_block(bad_filler, 12, true).bytes(), FOLD_BAD_FILLER,
         FOLD_OK},
        {"a match past the block's end", ContainerBuilder(11).compressed_block(abc_block, 11, true).bytes(),
         FOLD_OUTPUT_TOO_LONG, FOLD_OUTPUT_TOO_LONG},
        {"the block ends early", ContainerBuilder(13).compressed_block(abc_block, 13, true).bytes(),
         FOLD_OUTPUT_TOO_SHORT, FOLD_OUTPUT_TOO_SHORT},
        {"bytes after the last record",
         concat(ContainerBuilder(12).compressed_block(abc_block, 12, true).bytes(), {0, 0, 0, 0}), FOLD_DATA_AFTER_END,
         FOLD_DATA_AFTER_END},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decode_whole(c.container, FOLD_CONTAINER).error, c.strict);
        for (const std::uint32_t mode : {FOLD_CONTAINER, FOLD_CONTAINER | FOLD_LENIENT}) {
            expect_same_walk(walk_records(c.container, mode, 5), walk(c.container, mode, 5));
        }
        const Whole lenient = decode_whole(c.container, FOLD_CONTAINER | FOLD_LENIENT);
        EXPECT_EQ(lenient.error, c.lenient);
        if (c.lenient == FOLD_OK) {
            EXPECT_EQ(lenient.image, abc_output);
        }
    }
}

TEST(DecoderWalk, EventsInOrderWithRecordOffsets) {
    const Bytes full = random_bytes(65536, 4);
    const Bytes container = ContainerBuilder(2 * 65536 + 12)
                                .compressed_block(a_block, 65536, false)
                                .stored_block(full, false)
                                .compressed_block(abc_block, 12, true)
                                .bytes();
    for (const bool block_output : {true, false}) {
        SCOPED_TRACE(block_output ? "block buffer" : "image buffer");
        const Walked walked = walk(container, FOLD_CONTAINER, 1000, block_output, 2 * 65536 + 12);
        ASSERT_EQ(walked.end, FOLD_DONE);
        const std::vector<FoldEvent> events = {FOLD_HEADER, FOLD_BLOCK, FOLD_BLOCK, FOLD_BLOCK, FOLD_DONE};
        EXPECT_EQ(walked.events, events);
        EXPECT_EQ(walked.info.image_size, 2u * 65536 + 12);
        EXPECT_EQ(walked.info.block_count, 3u);
        ASSERT_EQ(walked.blocks.size(), 3u);
        // Records: 8-byte header, 4 + 12 (padded), 4 + 65536, 4 + 4 + 12 (padded).
        const size_t record_offsets[] = {8, 24, 24 + 65540};
        const std::uint32_t image_offsets[] = {0, 65536, 131072};
        const int stored[] = {0, 1, 0};
        const size_t data_offsets[] = {12, 28, 24 + 65540 + 8};
        const std::uint32_t data_sizes[] = {11, 65536, 9};
        const std::uint32_t padded_sizes[] = {12, 65536, 12};
        const std::uint32_t sizes[] = {65536, 65536, 12};
        for (std::uint32_t i = 0; i < 3; ++i) {
            SCOPED_TRACE("block " + std::to_string(i));
            EXPECT_EQ(walked.blocks[i].index, i);
            EXPECT_EQ(walked.blocks[i].record_offset, record_offsets[i]);
            EXPECT_EQ(walked.blocks[i].image_offset, image_offsets[i]);
            EXPECT_EQ(walked.blocks[i].stored, stored[i]);
            EXPECT_EQ(walked.blocks[i].data_offset, data_offsets[i]);
            EXPECT_EQ(walked.blocks[i].data_size, data_sizes[i]);
            EXPECT_EQ(walked.blocks[i].padded_size, padded_sizes[i]);
            EXPECT_EQ(walked.blocks[i].size, sizes[i]);
        }
        EXPECT_EQ(walked.image, concat(concat(a_output, full), abc_output));
        expect_same_walk(walk_records(container, FOLD_CONTAINER, 1000), walked);
    }
}

TEST(DecoderWalk, CallersSide) {
    const Bytes container = ContainerBuilder(65536 + 12)
                                .compressed_block(a_block, 65536, false)
                                .compressed_block(abc_block, 12, true)
                                .bytes();
    std::vector<std::uint8_t> out(65536 + 12);
    FoldWalker walker;

    // An image buffer one byte short is refused where the total size lies.
    ASSERT_EQ(FoldWalkBegin(&walker, FOLD_CONTAINER, container.size(), out.data(), out.size() - 1, nullptr, 0),
              FOLD_OK);
    const std::uint8_t* next = container.data();
    size_t left = container.size();
    EXPECT_EQ(FoldWalk(&walker, &next, &left), FOLD_FAULT);
    EXPECT_EQ(walker.fault.error, FOLD_BUFFER_TOO_SMALL);
    EXPECT_EQ(walker.fault.offset, 4u);
    EXPECT_EQ(walker.fault.value, 65536u + 12);

    // Without work memory a record must come whole within one piece.
    ASSERT_EQ(FoldWalkBegin(&walker, FOLD_CONTAINER, container.size(), out.data(), out.size(), nullptr, 0), FOLD_OK);
    next = container.data();
    left = 20;  // the header, the first record's word and 8 of its 11 data bytes
    EXPECT_EQ(FoldWalk(&walker, &next, &left), FOLD_HEADER);
    EXPECT_EQ(FoldWalk(&walker, &next, &left), FOLD_FAULT);
    EXPECT_EQ(walker.fault.error, FOLD_NO_WORK_MEMORY);
    EXPECT_EQ(walker.fault.offset, 12u);

    // ... and it may when every piece holds its records whole.
    ASSERT_EQ(FoldWalkBegin(&walker, FOLD_CONTAINER, container.size(), out.data(), out.size(), nullptr, 0), FOLD_OK);
    next = container.data();
    left = 12;
    EXPECT_EQ(FoldWalk(&walker, &next, &left), FOLD_HEADER);
    EXPECT_EQ(FoldWalk(&walker, &next, &left), FOLD_NEED_INPUT);
    left = container.size() - 12;
    EXPECT_EQ(FoldWalk(&walker, &next, &left), FOLD_BLOCK);
    EXPECT_EQ(FoldWalk(&walker, &next, &left), FOLD_BLOCK);
    EXPECT_EQ(FoldWalk(&walker, &next, &left), FOLD_DONE);
    EXPECT_EQ(FoldWalk(&walker, &next, &left), FOLD_DONE);
    EXPECT_EQ(left, 0u);

    // Null buffers with a size, and an unusable walker, are refused.
    EXPECT_EQ(FoldWalkBegin(&walker, FOLD_CONTAINER, 8, nullptr, 1, nullptr, 0), FOLD_BAD_ARGUMENT);
    EXPECT_EQ(FoldWalk(&walker, &next, &left), FOLD_FAULT);
    EXPECT_EQ(FoldWalkBegin(nullptr, FOLD_CONTAINER, 8, nullptr, 0, nullptr, 0), FOLD_BAD_ARGUMENT);
    EXPECT_EQ(FoldWalk(nullptr, &next, &left), FOLD_FAULT);

    EXPECT_EQ(FoldDecoderVersion(), unsigned(FOLD_DECODER_VERSION_NUMBER));
    EXPECT_EQ(FoldWalkWorkSize(), size_t(FOLD_WALK_WORK_SIZE));
}

TEST(DecoderWalk, RecordDecodeCallersSide) {
    // The records of a walk that only checks them: a stored block, then the
    // compressed abc block as the last.
    const Bytes container = ContainerBuilder(65536 + 12)
                                .stored_block(Bytes(65536, 's'), false)
                                .compressed_block(abc_block, 12, true)
                                .bytes();
    FoldWalker walker;
    ASSERT_EQ(FoldWalkBegin(&walker, FOLD_CONTAINER | FOLD_RECORDS_ONLY, container.size(), nullptr, 0, nullptr, 0),
              FOLD_OK);
    const std::uint8_t* next = container.data();
    size_t left = container.size();
    ASSERT_EQ(FoldWalk(&walker, &next, &left), FOLD_HEADER);
    ASSERT_EQ(FoldWalk(&walker, &next, &left), FOLD_BLOCK);
    const FoldBlock stored = walker.block;
    ASSERT_EQ(FoldWalk(&walker, &next, &left), FOLD_BLOCK);
    const FoldBlock compressed = walker.block;
    ASSERT_EQ(FoldWalk(&walker, &next, &left), FOLD_DONE);

    struct Case {
        const char* name;
        const FoldBlock* record;
        std::function<void(FoldBlock&)> change;
        size_t out_size;
        FoldError error;
        size_t offset;
        std::uint32_t block;
        size_t value;
    };
    const auto keep = [](FoldBlock&) {};
    const Case cases[] = {
        {"compressed", &compressed, keep, 12, FOLD_OK, 0, 1, 0},
        {"stored", &stored, keep, 65536, FOLD_OK, 0, 0, 0},
        {"no record", nullptr, keep, 12, FOLD_BAD_ARGUMENT, 0, 0, 0},
        {"no bytes", &compressed, [](FoldBlock& b) { b.bytes = nullptr; }, 12, FOLD_BAD_ARGUMENT, 0, 0, 0},
        {"no output", &compressed, keep, 0, FOLD_BAD_ARGUMENT, 0, 0, 0},
        {"output one byte short", &compressed, keep, 11, FOLD_BUFFER_TOO_SMALL, 65556, 1, 12},
        {"padded size beyond the padding", &compressed, [](FoldBlock& b) { b.padded_size += 4; }, 12, FOLD_BAD_ARGUMENT,
         65556, 1, 0},
        {"compressed data as long as the block", &compressed, [](FoldBlock& b) { b.data_size = 12; }, 12,
         FOLD_BAD_ARGUMENT, 65556, 1, 0},
        {"stored data shorter than the block", &stored, [](FoldBlock& b) { b.data_size -= 1; }, 65536,
         FOLD_BAD_ARGUMENT, 12, 0, 0},
        {"a block larger than 64 KB", &stored, [](FoldBlock& b) { b.size = b.data_size = b.padded_size = 65537; },
         65537, FOLD_BAD_ARGUMENT, 12, 0, 0},
    };
    std::vector<std::uint8_t> out(65537);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FoldBlock changed{};
        if (c.record != nullptr) {
            changed = *c.record;
            // The bytes as a caller keeps them: a copy of the record's data.
            changed.bytes = container.data() + changed.data_offset;
            c.change(changed);
        }
        FoldFault fault{};
        const FoldError error = FoldDecodeRecord(c.record != nullptr ? &changed : nullptr, FOLD_CONTAINER,
                                                 c.out_size != 0 ? out.data() : nullptr, c.out_size, &fault);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(fault.error, c.error);
        EXPECT_EQ(fault.offset, c.offset);
        EXPECT_EQ(fault.block, c.block);
        EXPECT_EQ(fault.value, c.value);
        EXPECT_EQ(FoldDecodeRecord(c.record != nullptr ? &changed : nullptr, FOLD_CONTAINER,
                                   c.out_size != 0 ? out.data() : nullptr, c.out_size, nullptr),
                  c.error)
            << "without a fault record";
    }
    ASSERT_EQ(FoldDecodeRecord(&compressed, FOLD_CONTAINER, out.data(), 12, nullptr), FOLD_OK);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 12), abc_output);
}

TEST(DecoderPackedImage, WithAndWithoutSplash) {
    struct Case {
        std::int32_t width;
        std::int32_t height;
    };
    const Case cases[] = {{-1, -1}, {3, 2}, {0, 5}, {7, 0}, {1920, 1080}};
    for (const Case& c : cases) {
        const bool splash = c.width >= 0;
        SCOPED_TRACE(splash ? std::to_string(c.width) + "x" + std::to_string(c.height) : "no splash");
        const Bytes pixels = splash ? random_bytes(size_t(2 * c.width * c.height), 9) : Bytes{};
        const Bytes file_bytes =
            splash ? packed_image(hello_container, c.width, c.height, pixels) : packed_image(hello_container);
        const Whole whole = decode_whole(file_bytes, FOLD_PACKED_IMAGE);
        ASSERT_EQ(whole.error, FOLD_OK);
        EXPECT_EQ(whole.image, bytes_of("hello"));
        EXPECT_EQ(whole.info.stream_at, 16u);
        EXPECT_EQ(whole.info.stream_size, hello_container.size());
        EXPECT_EQ(whole.info.splash_size, splash ? 12 + pixels.size() : 0u);
        EXPECT_EQ(whole.info.width, splash ? c.width : 0);
        EXPECT_EQ(whole.info.height, splash ? c.height : 0);
        EXPECT_EQ(whole.info.pixels_at, splash ? 16 + 21 + 12 : 0u);
        if (splash) {
            EXPECT_EQ(Bytes(file_bytes.begin() + 49, file_bytes.end()), pixels);
        }

        for (const size_t piece : {size_t(1), size_t(5), size_t(4096)}) {
            SCOPED_TRACE("pieces of " + std::to_string(piece));
            const Walked walked = walk(file_bytes, FOLD_PACKED_IMAGE, piece);
            ASSERT_EQ(walked.end, FOLD_DONE);
            EXPECT_EQ(walked.image, bytes_of("hello"));
            EXPECT_EQ(walked.pixels, pixels);
            EXPECT_EQ(walked.events[0], FOLD_HEADER);
            EXPECT_EQ(walked.events[1], FOLD_BLOCK);
            EXPECT_EQ(walked.events.size() > 3 && walked.events[2] == FOLD_SPLASH, splash);
            expect_same_walk(walk_records(file_bytes, FOLD_PACKED_IMAGE, piece), walked);
        }
    }
}

TEST(DecoderPackedImage, FaultsAreFoundWhereTheyLie) {
    // 16-byte header, container at 16 (21 bytes), splash block at 37:
    // marker, width 3 at 41, height 2 at 45, 12 pixel bytes at 49; 61 in all.
    const Bytes good = packed_image(hello_container, 3, 2, Bytes(12, 0x5A));
    struct Case {
        const char* name;
        std::function<void(Bytes&)> change;
        FoldError error;
        size_t offset;
        size_t value;
    };
    const Case cases[] = {
        {"shorter than the header", [](Bytes& b) { b.resize(15); }, FOLD_IMAGE_TOO_SHORT, 0, 15},
        {"bad magic", [](Bytes& b) { b[3] = 'X'; }, FOLD_IMAGE_MAGIC, 0, 0},
        {"header size not 16", [](Bytes& b) { store_le32(b, 4, 20); }, FOLD_HEADER_SIZE, 4, 20},
        {"a byte after the splash block", [](Bytes& b) { b.push_back(0); }, FOLD_IMAGE_SIZE, 8, 61},
        {"last pixel byte missing", [](Bytes& b) { b.pop_back(); }, FOLD_IMAGE_SIZE, 8, 61},
        {"container size beyond the file", [](Bytes& b) { store_le32(b, 8, 0xFFFFFFF0); }, FOLD_IMAGE_SIZE, 8,
         size_t(16 + 0xFFFFFFF0ull + 24)},
        {"sizes whose sum wraps to the file's length in 32 bits",
         [](Bytes& b) {
             store_le32(b, 8, 0xFFFFFFF0);
             store_le32(b, 12, 61);
         },
         FOLD_IMAGE_SIZE, 8, size_t(16 + 0xFFFFFFF0ull + 61)},
        {"splash block shorter than its header",
         [](Bytes& b) {
             b.resize(16 + 21 + 5);
             store_le32(b, 12, 5);
         },
         FOLD_SPLASH_SIZE_TOO_SMALL, 12, 5},
        {"bad splash marker", [](Bytes& b) { b[40] = 'D'; }, FOLD_SPLASH_MARKER, 37, 0},
        {"too wide", [](Bytes& b) { store_le32(b, 41, 1921); }, FOLD_SPLASH_TOO_BIG, 41, 0},
        {"too high", [](Bytes& b) { store_le32(b, 45, 1081); }, FOLD_SPLASH_TOO_BIG, 41, 0},
        {"dimensions disagree with the block size", [](Bytes& b) { store_le32(b, 41, 4); }, FOLD_SPLASH_SIZE_MISMATCH,
         12, 24},
        {"negative width", [](Bytes& b) { store_le32(b, 41, std::uint32_t(-3)); }, FOLD_SPLASH_NEGATIVE, 41, 0},
        {"too wide and negative height",
         [](Bytes& b) {
             store_le32(b, 41, 1921);
             store_le32(b, 45, std::uint32_t(-1));
         },
         FOLD_SPLASH_NEGATIVE, 41, 0},
        {"fault in the container", [](Bytes& b) { b[27] = 0x80; }, FOLD_LAST_NOT_MARKED, 24, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file_bytes = good;
        c.change(file_bytes);
        const Whole whole = decode_whole(file_bytes, FOLD_PACKED_IMAGE);
        EXPECT_EQ(whole.error, c.error);
        EXPECT_EQ(whole.fault.offset, c.offset);
        EXPECT_EQ(whole.fault.value, c.value);
        const Walked walked = walk(file_bytes, FOLD_PACKED_IMAGE, 3);
        EXPECT_EQ(walked.fault.error, c.error);
        EXPECT_EQ(walked.fault.offset, c.offset);
        expect_same_walk(walk_records(file_bytes, FOLD_PACKED_IMAGE, 3), walked);
    }
}

// The header calls alone find the splash block's faults before any of the
// container's, as romfold-check reports them.
TEST(DecoderPackedImage, HeadersAlone) {
    Bytes file_bytes = packed_image(hello_container, 3, 2, Bytes(12, 0x5A));
    file_bytes[27] = 0x80;                          // a container fault ...
    store_le32(file_bytes, 41, std::uint32_t(-3));  // ... and a splash fault after it
    FoldImageInfo info;
    FoldFault fault;
    ASSERT_EQ(FoldReadImageHeader(file_bytes.data(), file_bytes.size(), &info, &fault), FOLD_OK);
    EXPECT_EQ(info.stream_size, 21u);
    EXPECT_EQ(info.splash_size, 24u);
    EXPECT_EQ(info.pixels_at, 49u);
    EXPECT_EQ(FoldReadSplashHeader(file_bytes.data() + 37, &info, &fault), FOLD_SPLASH_NEGATIVE);
    EXPECT_EQ(fault.offset, 41u);
    EXPECT_EQ(info.width, -3);
    EXPECT_EQ(info.height, 2);
    EXPECT_EQ(FoldReadImageHeader(nullptr, 16, &info, &fault), FOLD_BAD_ARGUMENT);
}

}  // namespace
}  // namespace romfold::test
