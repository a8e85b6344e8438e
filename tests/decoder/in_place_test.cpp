// Unpacking in place: the packed image at the end of one buffer, the image
// decoded towards the buffer's start, over the packed bytes already read.
#include <gtest/gtest.h>
#include <romfold/fold_decoder.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/block_builder.h"
#include "tests/support/bytes.h"
#include "tests/support/compressed_blocks.h"
#include "tests/support/container_builder.h"
#include "tests/support/packed_image_builder.h"
#include "tests/support/scratch_dir.h"

namespace romfold::test {
namespace {

// The container romfold makes of an image: each block compressed at level 9,
// or stored when it does not shrink.
Bytes container_of(const Bytes& image) {
    ContainerBuilder builder(static_cast<std::uint32_t>(image.size()));
    for (size_t at = 0; at < image.size(); at += FOLD_BLOCK_SIZE) {
        const size_t end = std::min(at + FOLD_BLOCK_SIZE, image.size());
        const Bytes block(image.begin() + std::ptrdiff_t(at), image.begin() + std::ptrdiff_t(end));
        const Bytes packed = compressed(block);
        const bool last = end == image.size();
        if (packed.empty()) {
            builder.stored_block(block, last);
        } else {
            builder.compressed_block(packed, static_cast<std::uint32_t>(block.size()), last);
        }
    }
    return builder.bytes();
}

struct InPlace {
    FoldError error;
    FoldFault fault;
    Bytes image;
    Bytes pixels;    // the splash pixels where they lie after the decode
    bool untouched;  // no byte before the packed image was written
};

// Places the packed image at the end of a buffer of buffer_size bytes (an
// allocation of exactly that size) and unpacks it to the buffer's start.
InPlace unpack_in_place(const Bytes& nbx, size_t buffer_size) {
    const std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[buffer_size]);
    std::uint8_t* const input = buffer.get() + (buffer_size - nbx.size());
    std::fill(buffer.get(), input, std::uint8_t(0xA5));
    std::copy(nbx.begin(), nbx.end(), input);
    InPlace result{};
    FoldImageInfo info{};
    result.error =
        FoldDecodeImage(input, nbx.size(), buffer.get(), buffer_size, FOLD_PACKED_IMAGE, &info, &result.fault);
    if (result.error == FOLD_OK) {
        result.image.assign(buffer.get(), buffer.get() + info.image_size);
        if (info.splash_size != 0) {
            result.pixels.assign(input + info.pixels_at, input + info.pixels_at + (info.splash_size - 12));
        }
    }
    result.untouched = std::all_of(buffer.get(), input, [](std::uint8_t b) { return b == 0xA5; });
    return result;
}

struct Sample {
    std::string name;
    Bytes nbx;
    Bytes image;
    Bytes pixels;
};

Sample generated(const std::string& name, const Bytes& image, std::int32_t width = 0, std::int32_t height = 0) {
    const Bytes pixels = random_bytes(size_t(2 * width * height), 77);
    const Bytes container = container_of(image);
    return {name, width == 0 ? packed_image(container) : packed_image(container, width, height, pixels), image, pixels};
}

// Blocks that start with zeros and end in noise: each compresses, and ends in
// a long run of literals, which takes more bytes than it gives.
Bytes noisy_tails(size_t blocks) {
    Bytes image;
    for (size_t i = 0; i < blocks; ++i) {
        const Bytes noise = random_bytes(FOLD_BLOCK_SIZE / 2, std::uint32_t(i + 1));
        image.resize(image.size() + FOLD_BLOCK_SIZE / 2, 0);
        image.insert(image.end(), noise.begin(), noise.end());
    }
    return image;
}

std::vector<Sample> samples() {
    std::vector<Sample> all;
    {
        Sample sample{"the sample", read_file(ROMFOLD_SAMPLE_NBX), {}, {}};
        FoldImageInfo info{};
        EXPECT_EQ(FoldDecodeImage(sample.nbx.data(), sample.nbx.size(), nullptr, 0, FOLD_PACKED_IMAGE, &info, nullptr),
                  FOLD_BUFFER_TOO_SMALL);
        sample.image.resize(info.image_size);
        EXPECT_EQ(FoldDecodeImage(sample.nbx.data(), sample.nbx.size(), sample.image.data(), sample.image.size(),
                                  FOLD_PACKED_IMAGE, &info, nullptr),
                  FOLD_OK);
        sample.pixels.assign(sample.nbx.end() - std::ptrdiff_t(info.splash_size - 12), sample.nbx.end());
        all.push_back(sample);
    }
    all.push_back(generated("stored blocks, splash at the tail", random_bytes(3 * FOLD_BLOCK_SIZE + 4321, 5), 64, 48));
    all.push_back(generated("noisy block tails, splash at the tail", noisy_tails(4), 31, 7));
    Bytes stored_after_zeros(FOLD_BLOCK_SIZE, 0);
    const Bytes noise = random_bytes(2 * FOLD_BLOCK_SIZE + 3, 9);
    stored_after_zeros.insert(stored_after_zeros.end(), noise.begin(), noise.end());
    all.push_back(generated("stored blocks after a block of zeros", stored_after_zeros));
    all.push_back(generated("one small block", bytes_of("hello, hello, hello")));
    return all;
}

// At the documented size the image comes out whole and the splash pixels
// stay as they were; one byte less and the decode refuses before it writes.
TEST(DecoderInPlace, UnpacksAtTheMarginAndRefusesBelowIt) {
    for (const Sample& sample : samples()) {
        SCOPED_TRACE(sample.name);
        const size_t splash_size = load_le32(sample.nbx, 12);
        const size_t needed = FOLD_IN_PLACE_BUFFER_SIZE(sample.image.size(), splash_size);
        ASSERT_GE(needed, sample.nbx.size());

        const InPlace fits = unpack_in_place(sample.nbx, needed);
        ASSERT_EQ(fits.error, FOLD_OK) << FoldErrorName(fits.fault.error);
        EXPECT_TRUE(fits.image == sample.image);
        EXPECT_TRUE(fits.pixels == sample.pixels);

        const InPlace short_by_one = unpack_in_place(sample.nbx, needed - 1);
        EXPECT_EQ(short_by_one.error, FOLD_BUFFER_TOO_SMALL);
        EXPECT_EQ(short_by_one.fault.offset, 20u);
        EXPECT_EQ(short_by_one.fault.value, needed);
        EXPECT_TRUE(short_by_one.untouched);
    }
}

// An input that overlaps the buffer but does not lie behind the image is
// refused too; one that lies wholly outside the image is no concern.
TEST(DecoderInPlace, OtherOverlapsAreRefused) {
    const Bytes nbx = packed_image(container_of(bytes_of("hello, hello, hello")));
    std::vector<std::uint8_t> buffer(FOLD_IN_PLACE_BUFFER_SIZE(19u, 0u) + nbx.size());
    FoldFault fault{};
    // The input at the buffer's start, the image decoded after it.
    std::copy(nbx.begin(), nbx.end(), buffer.begin());
    EXPECT_EQ(FoldDecodeImage(buffer.data(), nbx.size(), buffer.data() + 10, 19, FOLD_PACKED_IMAGE, nullptr, &fault),
              FOLD_BUFFER_TOO_SMALL);
    EXPECT_EQ(FoldDecodeImage(buffer.data(), nbx.size(), buffer.data(), 19, FOLD_PACKED_IMAGE, nullptr, &fault),
              FOLD_BUFFER_TOO_SMALL);
    // The input right after the image: nothing overlaps.
    std::copy(nbx.begin(), nbx.end(), buffer.begin() + 19);
    EXPECT_EQ(FoldDecodeImage(buffer.data() + 19, nbx.size(), buffer.data(), 19, FOLD_PACKED_IMAGE, nullptr, &fault),
              FOLD_OK);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 19), "hello, hello, hello");
}

// What the margin rests on, shown with far less room than it gives: the
// decoder never reads a packed byte again once the image may have covered
// it. An extended match takes the low half of a byte whose high half a later
// one uses; 40000 literals between them move the output over that byte,
// while the stored block after them keeps the reading position ahead.
TEST(DecoderInPlace, HeldHalfByteOutlivesItsPlace) {
    BlockBuilder builder;
    builder.literal('a').match(1, 20).literals(Bytes(40000, 0x11));
    builder.match(1, FOLD_BLOCK_SIZE - std::uint32_t(builder.output().size()));
    const Bytes first = builder.finish();
    const Bytes second = random_bytes(FOLD_BLOCK_SIZE, 3);
    const Bytes nbx = packed_image(ContainerBuilder(2 * FOLD_BLOCK_SIZE)
                                       .compressed_block(first, FOLD_BLOCK_SIZE, false)
                                       .stored_block(second, true)
                                       .bytes());
    const Bytes expected = concat(builder.output(), second);

    // 512 bytes behind the image: the reading position keeps at least 256
    // ahead of the output throughout, and the output passes the held byte.
    const size_t buffer_size = expected.size() + 512;
    const std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[buffer_size]);
    std::uint8_t* const input = buffer.get() + (buffer_size - nbx.size());
    std::copy(nbx.begin(), nbx.end(), input);
    FoldWalker walker;
    ASSERT_EQ(FoldWalkBegin(&walker, FOLD_PACKED_IMAGE, nbx.size(), buffer.get(), buffer_size, nullptr, 0), FOLD_OK);
    const std::uint8_t* next = input;
    size_t left = nbx.size();
    FoldEvent event;
    while ((event = FoldWalk(&walker, &next, &left)) == FOLD_HEADER || event == FOLD_BLOCK) {
    }
    ASSERT_EQ(event, FOLD_DONE) << FoldErrorName(walker.fault.error);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffer.get()));
}

}  // namespace
}  // namespace romfold::test
