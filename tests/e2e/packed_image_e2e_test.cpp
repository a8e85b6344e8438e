// End-to-end runs of the stages after the merge: the compression of nk.tmp
// into nbx.tmp, the splash screen check and the packed image nk.nbx, through
// the built romfold (real files and devices) and romfold_fault (the rest).
// Images of random bytes are stored block by block, so their nbx.tmp and
// nk.nbx are stated byte for byte; compressible images are checked by
// decoding. The table's harness is in pipeline_cases.h.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/e2e/pipeline_cases.h"
#include "tests/support/compressed_blocks.h"

namespace romfold::test {
namespace {

// A release directory whose one segment holds exactly `image`.
Files release_of(const Bytes& image) {
    return {{"nk.bin", kernel_image(static_cast<std::uint32_t>(image.size()))}, {"nk.nb0", image}};
}

Files with(Files files, const std::string& name, const Bytes& bytes) {
    files[name] = bytes;
    return files;
}

Bytes zeros_then(std::size_t zeros, const Bytes& tail) { return concat(Bytes(zeros, 0), tail); }

// The small image most rows pack: 20 random bytes, one stored block.
const Bytes small_image = segment(0, 20);
const Bytes small_container = stored_container(small_image);
const std::string small_front = image_line(20) + merging(0) + statistics(20, 36);

// The files left when the run stopped after writing nbx.tmp.
Files compressed_only(const Bytes& image) { return {{"nk.tmp", image}, {"nbx.tmp", stored_container(image)}}; }

Files packed_with(const Bytes& image, const Bytes& splash, std::size_t packed_size = SIZE_MAX) {
    Files files = compressed_only(image);
    const Bytes whole = packed_image_with_splash_file(stored_container(image), splash);
    files["nk.nbx"] = packed_size < whole.size() ? cut(whole, packed_size) : whole;
    return files;
}

std::vector<Case> container_cases() {
    std::vector<Case> cases;
    {
        const Bytes container{'X', 'P', 'R', 'S', 0, 0, 0, 0};
        cases.push_back({.name = "EmptyImageGivesHeaderOnlyContainer",
                         .before = release_of({}),
                         .args = {"{dir}"},
                         .fault = "",
                         .out = image_line(0) +
                                "\nInput file size : 0 bytes\nOutput file size: 8 bytes\nGain            : 0.00\n" +
                                no_splash() + success(),
                         .status = 0,
                         .created = {{"nk.tmp", {}}, {"nbx.tmp", container}, {"nk.nbx", packed_image(container)}}});
    }
    {
        const Bytes five{1, 2, 3, 4, 5};
        const Bytes container{'X', 'P', 'R', 'S', 5, 0, 0, 0, 5, 0, 0, 0xC0, 5, 0, 0, 0, 1, 2, 3, 4, 5};
        cases.push_back(
            {.name = "FiveByteImageIsOneStoredLastBlock",
             .before = release_of(five),
             .args = {"{dir}"},
             .fault = "",
             .out = image_line(5) + merging(0) +
                    "\nInput file size : 5 bytes\nOutput file size: 21 bytes\nGain            : -320.00%\n" +
                    no_splash() + success(),
             .status = 0,
             .created = {{"nk.tmp", five}, {"nbx.tmp", container}, {"nk.nbx", packed_image(container)}}});
    }
    for (const std::size_t size : {std::size_t{65536}, std::size_t{65537}, std::size_t{200000}}) {
        // Random bytes: every block stored, only the last marked and sized.
        const Bytes image = segment(0, size);
        const Bytes container = stored_container(image);
        cases.push_back(
            {.name = "RandomImageOf" + std::to_string(size) + "BytesIsStored",
             .before = release_of(image),
             .args = {"{dir}"},
             .fault = "",
             .out = image_line(static_cast<std::int32_t>(size)) + merging(0) +
                    statistics(static_cast<std::uint32_t>(size), static_cast<std::uint32_t>(container.size())) +
                    no_splash() + success(),
             .status = 0,
             .created = {{"nk.tmp", image}, {"nbx.tmp", container}, {"nk.nbx", packed_image(container)}}});
    }
    for (const std::size_t size : {std::size_t{65536}, std::size_t{65537}, std::size_t{300001}}) {
        // Compressible: the records must decode to the image, with a stored
        // one-byte last block for 65537.
        Bytes image = zeros_then(size - 1, {7});
        for (std::size_t at = 70000; at + 5000 < size; at += 70000) {
            const Bytes noise = random_bytes(5000, static_cast<std::uint32_t>(at));
            std::copy(noise.begin(), noise.end(), image.begin() + static_cast<std::ptrdiff_t>(at));
        }
        cases.push_back(
            {.name = "CompressibleImageOf" + std::to_string(size) + "Bytes",
             .before = release_of(image),
             .args = {"{dir}"},
             .fault = "",
             .out = image_line(static_cast<std::int32_t>(size)) + merging(0) + run_statistics + no_splash() + success(),
             .status = 0,
             .created = {{"nk.tmp", image}, {"nbx.tmp", decodes_to_image}, {"nk.nbx", decodes_to_image}}});
    }
    for (std::uint32_t remainder = 0; remainder < 4; ++remainder) {
        const auto [image, block, container] = one_compressed_block(remainder);
        cases.push_back(
            {.name = "CompressedBlockOf4kPlus" + std::to_string(remainder) + "Bytes",
             .before = release_of(image),
             .args = {"{dir}"},
             .fault = "",
             .out = image_line(static_cast<std::int32_t>(image.size())) + merging(0) +
                    statistics(static_cast<std::uint32_t>(image.size()), static_cast<std::uint32_t>(container.size())) +
                    no_splash() + success(),
             .status = 0,
             .created = {{"nk.tmp", image}, {"nbx.tmp", container}, {"nk.nbx", packed_image(container)}}});
    }
    return cases;
}

// A 4 x 3 splash screen with the header fields that `change` alters.
Bytes splash_with(void (*change)(SplashFields&), std::size_t pixel_bytes = 24) {
    SplashFields fields;
    change(fields);
    return splash_file(fields, random_bytes(pixel_bytes, 77));
}

std::vector<Case> splash_cases() {
    const Files small = release_of(small_image);
    const std::string read_error = "Error reading from {dir}/splash.tss.\r\n";
    const std::string signature = "Invalid splash signature {dir}/splash.tss.\r\n";
    const std::string header = "Invalid splash header {dir}/splash.tss.\r\n";
    const std::string format = "Invalid splash file format {dir}/splash.tss.\r\n";
    const std::string too_big = "Splash screen is too big {dir}/splash.tss.\r\n";
    std::vector<Case> cases;

    auto accepted = [&](const std::string& name, std::int32_t width, std::int32_t height, std::size_t extra) {
        const Bytes splash = splash_file(width, height, extra);
        cases.push_back({.name = name,
                         .before = with(small, "splash.tss", splash),
                         .args = {"{dir}"},
                         .fault = "",
                         .out = small_front + splash_line(width, height) + success(),
                         .status = 0,
                         .created = packed_with(small_image, splash)});
    };
    accepted("SplashScreenIsPacked", 4, 3, 0);
    accepted("BytesAfterThePixelsAreNotCopied", 4, 3, 50);
    accepted("SplashOf800x480", 800, 480, 0);
    accepted("SplashOf1920x1080IsAccepted", 1920, 1080, 0);
    accepted("ZeroWidthGivesBlockOfTwelveBytes", 0, 5, 0);
    accepted("ZeroHeightGivesBlockOfTwelveBytes", 7, 0, 0);

    cases.push_back({.name = "DanglingSplashLinkIsNotAvailable",
                     .before = with(small, "splash.tss", link_to("missing.tss")),
                     .args = {"{dir}"},
                     .fault = "",
                     .out = small_front + no_splash() + success(),
                     .status = 0,
                     .created = packed_with(small_image, {})});

    auto refused = [&](const std::string& name, const Bytes& splash, const std::string& message) {
        cases.push_back({.name = name,
                         .before = with(small, "splash.tss", splash),
                         .args = {"{dir}"},
                         .fault = "",
                         .out = small_front + message,
                         .status = 255,
                         .created = compressed_only(small_image)});
    };
    const Bytes good = splash_file(4, 3);
    refused("EmptySplash", {}, read_error);
    refused("SplashOfFiveBytes", cut(good, 5), read_error);
    refused("SplashOfTenBytes", cut(good, 10), read_error);
    refused("SplashCutInsidePixelOffset", cut(good, 12), read_error);
    refused("SplashEndsAfterPixelOffset", cut(good, 14), read_error);
    refused("SplashCutInsideInformationHeader", cut(good, 100), read_error);
    refused("SplashOneByteShortOfItsHeader", cut(good, 137), read_error);
    refused("SplashIsADirectory", a_directory, read_error);
    refused("BitmapSignatureBM", splash_with([](SplashFields& f) {
                f.type[0] = 'B';
                f.type[1] = 'M';
            }),
            signature);
    refused("OnlyFirstSignatureByteRight", splash_with([](SplashFields& f) { f.type[1] = 'M'; }), signature);
    refused("OnlySecondSignatureByteRight", splash_with([](SplashFields& f) { f.type[0] = 'B'; }), signature);
    refused("SignatureBytesSwapped", splash_with([](SplashFields& f) {
                f.type[0] = 'D';
                f.type[1] = 'T';
            }),
            signature);
    refused("FortyByteInformationHeader", splash_with([](SplashFields& f) {
                f.pixel_offset = 54;
                f.info_size = 40;
            }),
            header);
    refused("TwentyFourBitsPerPixel", splash_with([](SplashFields& f) { f.bits_per_pixel = 24; }, 36), format);
    refused("CompressionZero", splash_with([](SplashFields& f) { f.compression = 0; }), format);
    refused("Width1921",
            splash_with(
                [](SplashFields& f) {
                    f.width = 1921;
                    f.height = 1;
                },
                0),
            too_big);
    refused("Height1081",
            splash_with(
                [](SplashFields& f) {
                    f.width = 1;
                    f.height = 1081;
                },
                0),
            too_big);
    refused("NegativeWidth", splash_with([](SplashFields& f) { f.width = -1; }), format);
    refused("NegativeHeight", splash_with([](SplashFields& f) { f.height = -1; }), format);
    // 2 * (-2) * 3 + 12 is 0: it would pass as no splash block at all.
    refused("NegativeWidthMakingBlockSizeZero", splash_with([](SplashFields& f) { f.width = -2; }), format);
    refused("BothNegative", splash_with([](SplashFields& f) {
                f.width = -2;
                f.height = -3;
            }),
            format);

    {
        // Header, stream and the start of the splash block stay in nk.nbx.
        const Bytes splash = cut(good, 138 + 10);
        cases.push_back({.name = "SplashCutShortInItsPixels",
                         .before = with(small, "splash.tss", splash),
                         .args = {"{dir}"},
                         .fault = "",
                         .out = small_front + splash_line(4, 3) + read_error,
                         .status = 255,
                         .created = packed_with(small_image, good, 16 + 36 + 12)});
    }
    {
        const Bytes full = splash_file(1920, 1080);
        cases.push_back({.name = "LargeSplashCutShortAfterFirstChunk",
                         .before = with(small, "splash.tss", cut(full, 138 + 100000)),
                         .args = {"{dir}"},
                         .fault = "",
                         .out = small_front + splash_line(1920, 1080) + read_error,
                         .status = 255,
                         .created = packed_with(small_image, full, 16 + 36 + 12 + 65536)});
    }
    return cases;
}

std::vector<Case> output_cases() {
    const Files small = release_of(small_image);
    const Bytes splash = splash_file(4, 3);
    const std::string write_error = "Error writing to {dir}/nk.nbx.\r\n";
    const std::string compressing = "Error compressing {dir}/nk.tmp to {dir}/nbx.tmp.\r\n";
    std::vector<Case> cases;

    cases.push_back(
        {.name = "PackedImageCannotBeCreated",
         .before = with(small, "nk.nbx", a_directory),
         .args = {"{dir}"},
         .fault = "",
         .out = small_front + no_splash() + "OpenForWriting: fopen() failed\nError creating {dir}/nk.nbx.\r\n",
         .status = 255,
         .created = compressed_only(small_image)});
    cases.push_back(
        {.name = "PackedImageCannotBeCreatedWithSplash",
         .before = with(with(small, "nk.nbx", a_directory), "splash.tss", splash),
         .args = {"{dir}"},
         .fault = "",
         .out = small_front + splash_line(4, 3) + "OpenForWriting: fopen() failed\nError creating {dir}/nk.nbx.\r\n",
         .status = 255,
         .created = compressed_only(small_image)});
    // A small nk.nbx fits the stream's buffer and meets the full disk only at
    // the flush; a large stream or splash block already at a write.
    cases.push_back({.name = "SmallPackedImageOnFullDisk",
                     .before = with(small, "nk.nbx", link_to("/dev/full")),
                     .args = {"{dir}"},
                     .fault = "",
                     .out = small_front + no_splash() + write_error,
                     .status = 255,
                     .created = compressed_only(small_image)});
    cases.push_back({.name = "SmallPackedImageWithSplashOnFullDisk",
                     .before = with(with(small, "nk.nbx", link_to("/dev/full")), "splash.tss", splash),
                     .args = {"{dir}"},
                     .fault = "",
                     .out = small_front + splash_line(4, 3) + write_error,
                     .status = 255,
                     .created = compressed_only(small_image)});
    {
        const Bytes large = segment(0, 200000);
        cases.push_back({.name = "LargeStreamOnFullDisk",
                         .before = with(release_of(large), "nk.nbx", link_to("/dev/full")),
                         .args = {"{dir}"},
                         .fault = "",
                         .out = image_line(200000) + merging(0) +
                                statistics(200000, static_cast<std::uint32_t>(stored_container(large).size())) +
                                no_splash() + write_error,
                         .status = 255,
                         .created = compressed_only(large)});
    }
    cases.push_back({.name = "LargeSplashOnFullDisk",
                     .before = with(with(small, "nk.nbx", link_to("/dev/full")), "splash.tss", splash_file(800, 480)),
                     .args = {"{dir}"},
                     .fault = "",
                     .out = small_front + splash_line(800, 480) + write_error,
                     .status = 255,
                     .created = compressed_only(small_image)});

    // The container writer on the full disk: a small container fails when it
    // is closed, a large one at a block's data, without a message of its own.
    cases.push_back({.name = "SmallContainerOnFullDisk",
                     .before = with(small, "nbx.tmp", link_to("/dev/full")),
                     .args = {"{dir}"},
                     .fault = "",
                     .out = image_line(20) + merging(0) + "\nFoldEncodeFile: fwrite() failed\n" + compressing,
                     .status = 255,
                     .created = {{"nk.tmp", small_image}}});
    {
        const Bytes large = segment(0, 200000);
        cases.push_back({.name = "LargeContainerOnFullDisk",
                         .before = with(release_of(large), "nbx.tmp", link_to("/dev/full")),
                         .args = {"{dir}"},
                         .fault = "",
                         .out = image_line(200000) + merging(0) + compressing,
                         .status = 255,
                         .created = {{"nk.tmp", large}}});
    }
    cases.push_back({.name = "ContainerCannotBeCreated",
                     .before = with(small, "nbx.tmp", a_directory),
                     .args = {"{dir}"},
                     .fault = "",
                     .out = image_line(20) + merging(0) + "OpenForWriting: fopen() failed\n" +
                            "\nFoldEncodeFile: OpenForWriting() failed\n" + compressing,
                     .status = 255,
                     .created = {{"nk.tmp", small_image}}});
    return cases;
}

std::vector<Case> fault_cases() {
    const Bytes splash = splash_file(4, 3);
    const Files small = with(release_of(small_image), "splash.tss", splash);
    const std::string front = small_front + splash_line(4, 3);
    const std::string write_error = "Error writing to {dir}/nk.nbx.\r\n";
    const std::string compressing = "Error compressing {dir}/nk.tmp to {dir}/nbx.tmp.\r\n";
    const std::string image_front = image_line(20) + merging(0);
    const std::size_t stream_end = 16 + small_container.size();
    std::vector<Case> cases;
    auto row = [&](const std::string& name, const std::string& fault, const std::string& out, int status,
                   const Files& created) {
        cases.push_back({.name = name,
                         .before = small,
                         .args = {"{dir}"},
                         .fault = fault,
                         .out = out,
                         .status = status,
                         .created = created});
    };

    row("FaultLayerWithoutFaultPacksNormally", no_fault, front + success(), 0, packed_with(small_image, splash));

    // Stage 4: the container writer.
    row("MergedImageReopenFails", "open:nk.tmp:2",
        image_front + fopen_failed + "\nFoldEncodeFile: OpenForReading() failed\n" + compressing, 255,
        {{"nk.tmp", small_image}});
    row("ContainerCreateFails", "open:nbx.tmp:1",
        image_front + "OpenForWriting: fopen() failed\n\nFoldEncodeFile: OpenForWriting() failed\n" + compressing, 255,
        {{"nk.tmp", small_image}});
    row("ReadErrorInMergedImage", "error:nk.tmp:1", image_front + "\nFoldEncodeFile: fread() failed\n" + compressing,
        255, {{"nk.tmp", small_image}, {"nbx.tmp", cut(small_container, 8)}});
    row("MergedImageShrinksToNothing", "read:nk.tmp:1",
        image_front + "\nFoldEncodeFile: FoldEncode() failed\n" + compressing, 255,
        {{"nk.tmp", small_image}, {"nbx.tmp", cut(small_container, 8)}});
    row("ContainerMagicWriteFails", "write:nbx.tmp:1",
        image_front + "\nFoldEncodeFile: fwrite() failed\n" + compressing, 255,
        {{"nk.tmp", small_image}, {"nbx.tmp", {}}});
    row("ContainerBlockWordWriteFails", "write:nbx.tmp:3:1",
        image_front + "\nFoldEncodeFile: fwrite() failed\n" + compressing, 255,
        {{"nk.tmp", small_image}, {"nbx.tmp", cut(small_container, 9)}});
    row("ContainerBlockDataWriteFailsSilently", "write:nbx.tmp:5:3", image_front + compressing, 255,
        {{"nk.tmp", small_image}, {"nbx.tmp", cut(small_container, 19)}});
    row("ContainerTotalSizeWriteFails", "write:nbx.tmp:2:2",
        image_front + "\nFoldEncodeFile: fwrite() failed\n" + compressing, 255,
        {{"nk.tmp", small_image}, {"nbx.tmp", cut(small_container, 6)}});
    row("LastBlockSizeWriteFails", "write:nbx.tmp:4", image_front + "\nFoldEncodeFile: fwrite() failed\n" + compressing,
        255, {{"nk.tmp", small_image}, {"nbx.tmp", cut(small_container, 12)}});
    {
        const auto [image, block, container] = one_compressed_block(1);
        cases.push_back({.name = "ContainerPaddingWriteFailsSilently",
                         .before = release_of(image),
                         .args = {"{dir}"},
                         .fault = "write:nbx.tmp:6:1",
                         .out = image_line(static_cast<std::int32_t>(image.size())) + merging(0) + compressing,
                         .status = 255,
                         .created = {{"nk.tmp", image}, {"nbx.tmp", cut(container, container.size() - 2)}}});
    }
    // A read that delivers less than asked is followed by more reads until
    // the block is full: the container is the same as without the fault.
    row("MergedImageShortReadIsCompleted", "read:nk.tmp:1:5", front + success(), 0, packed_with(small_image, splash));
    row("ContainerCloseFails", "close:nbx.tmp:1", image_front + "\nFoldEncodeFile: fwrite() failed\n" + compressing,
        255, compressed_only(small_image));

    // Stage 5: nbx.tmp opened again and measured.
    row("ContainerReopenFails", "open:nbx.tmp:2", small_front + fopen_failed + "Error opening {dir}/nbx.tmp.\r\n", 255,
        compressed_only(small_image));
    row("ContainerSeekToEndFails", "seek:nbx.tmp:1",
        small_front + "OpenForReading: fseek() failed\nError opening {dir}/nbx.tmp.\r\n", 255,
        compressed_only(small_image));
    row("ContainerRewindFails", "seek:nbx.tmp:2",
        small_front + "OpenForReading: fseek() failed\nError opening {dir}/nbx.tmp.\r\n", 255,
        compressed_only(small_image));
    row("ContainerPositionQueryFails", "tell:nbx.tmp:1",
        small_front + "OpenForReading: fgetpos() failed\nError opening {dir}/nbx.tmp.\r\n", 255,
        compressed_only(small_image));

    // Stage 6: an unopenable splash screen is none; a short header read is refused.
    row("SplashOpenFails", "open:splash.tss:1", small_front + no_splash() + success(), 0, packed_with(small_image, {}));
    row("SplashFirstReadDeliversNothing", "read:splash.tss:1", small_front + "Error reading from {dir}/splash.tss.\r\n",
        255, compressed_only(small_image));
    row("SplashFirstReadShort", "read:splash.tss:1:9", small_front + "Error reading from {dir}/splash.tss.\r\n", 255,
        compressed_only(small_image));
    row("SplashOffsetReadShort", "read:splash.tss:2:3", small_front + "Error reading from {dir}/splash.tss.\r\n", 255,
        compressed_only(small_image));
    row("SplashInformationHeaderReadShort", "read:splash.tss:3:123",
        small_front + "Error reading from {dir}/splash.tss.\r\n", 255, compressed_only(small_image));

    // Stage 7: each write and read of nk.nbx; the partial file stays.
    row("PackedImageCreateFails", "open:nk.nbx:1",
        front + "OpenForWriting: fopen() failed\nError creating {dir}/nk.nbx.\r\n", 255, compressed_only(small_image));
    row("HeaderWriteShort", "write:nk.nbx:1:10", front + write_error, 255, packed_with(small_image, splash, 10));
    row("ContainerReadShort", "read:nbx.tmp:1:5", front + "Error reading from {dir}/nbx.tmp.\r\n", 255,
        packed_with(small_image, splash, 16));
    row("StreamWriteShort", "write:nk.nbx:2:7", front + write_error, 255, packed_with(small_image, splash, 16 + 7));
    row("MarkerWriteShort", "write:nk.nbx:3:2", front + write_error, 255,
        packed_with(small_image, splash, stream_end + 2));
    row("WidthWriteShort", "write:nk.nbx:4", front + write_error, 255,
        packed_with(small_image, splash, stream_end + 4));
    row("HeightWriteShort", "write:nk.nbx:5:3", front + write_error, 255,
        packed_with(small_image, splash, stream_end + 11));
    row("PixelReadShort", "read:splash.tss:4:3", front + "Error reading from {dir}/splash.tss.\r\n", 255,
        packed_with(small_image, splash, stream_end + 12));
    row("PixelWriteShort", "write:nk.nbx:6:5", front + write_error, 255,
        packed_with(small_image, splash, stream_end + 17));

    // Stage 8: the flush and the close of nk.nbx are checked.
    row("PackedImageFlushFails", "flush:nk.nbx:1", front + write_error, 255, packed_with(small_image, splash));
    row("PackedImageCloseFails", "close:nk.nbx:1", front + write_error, 255, packed_with(small_image, splash));

    {
        // A large stream is copied in chunks of 64 KB; the second read falls short.
        const Bytes large = segment(0, 200000);
        cases.push_back({.name = "ContainerReadShortInSecondChunk",
                         .before = release_of(large),
                         .args = {"{dir}"},
                         .fault = "read:nbx.tmp:2:100",
                         .out = image_line(200000) + merging(0) +
                                statistics(200000, static_cast<std::uint32_t>(stored_container(large).size())) +
                                no_splash() + "Error reading from {dir}/nbx.tmp.\r\n",
                         .status = 255,
                         .created = packed_with(large, {}, 16 + 65536)});
    }
    return cases;
}

std::vector<Case> all_cases() {
    std::vector<Case> cases;
    for (auto group : {container_cases, splash_cases, output_cases, fault_cases}) {
        for (Case& c : group()) {
            cases.push_back(std::move(c));
        }
    }
    return cases;
}

class PackingRun : public ::testing::TestWithParam<Case> {};

TEST_P(PackingRun, OutputStatusAndFiles) { check_run(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Rows, PackingRun, ::testing::ValuesIn(all_cases()),
                         [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
}  // namespace romfold::test
