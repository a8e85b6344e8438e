// --extract: the decoded image, the raw splash pixels and the splash screen
// as a standard bitmap, checked field by field and, where the machine has an
// identify program, by that independent reader.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/splash_file.h"
#include "tests/tools/run_check.h"

namespace romfold::test {
namespace {

Bytes tail_from(const Bytes& bytes, size_t offset) {
    return Bytes(bytes.begin() + std::ptrdiff_t(offset), bytes.end());
}

// A splash.tss of width x height pixels as the packer reads it: "TD", the
// pixel offset 138 at 10, a 124-byte information header, then the pixels.
Bytes splash_file(std::int32_t width, std::int32_t height, const Bytes& pixels) {
    return test::splash_file(SplashFields{.width = width, .height = height}, pixels);
}

// Checks every header field of a bottom-up 16-bit bit-field bitmap.
void expect_bitmap_header(const Bytes& bmp, std::int32_t width, std::int32_t height, std::uint32_t stride) {
    ASSERT_GE(bmp.size(), 66u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(load_le32(bmp, 2), bmp.size());
    EXPECT_EQ(load_le32(bmp, 6), 0u);
    EXPECT_EQ(load_le32(bmp, 10), 66u);
    EXPECT_EQ(load_le32(bmp, 14), 40u);
    EXPECT_EQ(std::int32_t(load_le32(bmp, 18)), width);
    EXPECT_EQ(std::int32_t(load_le32(bmp, 22)), height);  // positive: bottom row first
    EXPECT_EQ(load_le16(bmp, 26), 1u);
    EXPECT_EQ(load_le16(bmp, 28), 16u);
    EXPECT_EQ(load_le32(bmp, 30), 3u);
    EXPECT_EQ(load_le32(bmp, 34), stride * std::uint32_t(height));
    EXPECT_EQ(load_le32(bmp, 46), 0u);
    EXPECT_EQ(load_le32(bmp, 50), 0u);
    EXPECT_EQ(load_le32(bmp, 54), 0xF800u);
    EXPECT_EQ(load_le32(bmp, 58), 0x07E0u);
    EXPECT_EQ(load_le32(bmp, 62), 0x001Fu);
    EXPECT_EQ(bmp.size(), 66u + stride * std::uint32_t(height));
}

TEST(CheckExtract, SampleImageAndSplashScreen) {
    ScratchDir dir;
    const std::string release = pack_sample(dir, "release", true);
    const ProgramResult result = run_check({"-x", "out", "nk.nbx"}, release);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out,
              "nk.nbx: valid packed image of 55264 bytes\n"
              "  image   88000 bytes in 2 blocks (2 compressed, 0 stored)\n"
              "  stream  49092 bytes, 55.79% of the image, gain 44.21%\n"
              "  splash  64x48 pixels, 6156 bytes\n"
              "  wrote   out/image.bin (88000 bytes)\n"
              "  wrote   out/splash.bmp (6210 bytes)\n"
              "  wrote   out/splash.raw (6144 bytes)\n");
    EXPECT_EQ(result.status, 0);

    EXPECT_EQ(read_file(release + "/out/image.bin"), read_file(release + "/nk.tmp"));
    const Bytes pixels = tail_from(read_file(release + "/splash.tss"), 138);
    EXPECT_EQ(read_file(release + "/out/splash.raw"), pixels);
    // Rows of 128 bytes need no padding; they keep the bottom-up order of the
    // splash file, which the positive height tells a viewer.
    const Bytes bmp = read_file(release + "/out/splash.bmp");
    expect_bitmap_header(bmp, 64, 48, 128);
    EXPECT_EQ(tail_from(bmp, 66), pixels);

    const std::string identify = find_on_path("identify");
    if (!identify.empty()) {
        const ProgramResult seen =
            run_program(identify, {"-regard-warnings", "-format", "%m %w %h\n", "out/splash.bmp"}, release);
        // A 40-byte information header: readers that name the header's
        // version call the bitmap BMP3, the others BMP.
        EXPECT_TRUE(seen.out == "BMP 64 48\n" || seen.out == "BMP3 64 48\n") << seen.out;
        EXPECT_EQ(seen.status, 0);
    }
}

TEST(CheckExtract, OddWidthRowsArePadded) {
    ScratchDir dir;
    const Bytes pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};  // 3 x 2 pixels
    const std::string release = pack_sample(dir, "release", true, splash_file(3, 2, pixels));
    const ProgramResult result = run_check({"--extract=out", "nk.nbx"}, release);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
    const Bytes bmp = read_file(release + "/out/splash.bmp");
    expect_bitmap_header(bmp, 3, 2, 8);
    EXPECT_EQ(tail_from(bmp, 66), (Bytes{1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}));
    EXPECT_EQ(read_file(release + "/out/splash.raw"), pixels);
}

TEST(CheckExtract, SplashWithoutPixelsGivesNoBitmap) {
    ScratchDir dir;
    const std::string release = pack_sample(dir, "release", true, splash_file(0, 5, {}));
    const ProgramResult result = run_check({"-x", "out", "nk.nbx"}, release);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("  splash  0x5 pixels, 12 bytes\n"
                              "  wrote   out/image.bin (88000 bytes)\n"
                              "  wrote   out/splash.raw (0 bytes)\n"
                              "  note    the splash screen has no pixels: no bitmap\n"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(release + "/out/splash.bmp"));
}

TEST(CheckExtract, WithoutSplashOnlyTheImage) {
    ScratchDir dir;
    const std::string release = pack_sample(dir, "release", false);
    std::filesystem::create_directory(release + "/out");
    const ProgramResult result = run_check({"-x", "out/", "nk.nbx"}, release);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("  splash  none\n  wrote   out/image.bin (88000 bytes)\n"), std::string::npos);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(release + "/out")) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"image.bin"});
    EXPECT_EQ(read_file(release + "/out/image.bin"), read_file(release + "/nk.tmp"));
}

TEST(CheckExtract, ExistingFilesAreKeptUnlessForced) {
    ScratchDir dir;
    const std::string release = pack_sample(dir, "release", true);
    std::filesystem::create_directory(release + "/out");
    write_file(release + "/out/splash.raw", {'o', 'l', 'd'});

    ProgramResult result = run_check({"-x", "out", "nk.nbx"}, release);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "romfold-check: out/splash.raw: already exists (use --force to replace it)\n");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(read_file(release + "/out/splash.raw"), (Bytes{'o', 'l', 'd'}));
    EXPECT_FALSE(std::filesystem::exists(release + "/out/image.bin"));
    EXPECT_FALSE(std::filesystem::exists(release + "/out/splash.bmp"));
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(release + "/out"), std::filesystem::directory_iterator()), 1);

    result = run_check({"-fx", "out", "nk.nbx"}, release);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read_file(release + "/out/splash.raw"), tail_from(read_file(release + "/splash.tss"), 138));
}

TEST(CheckExtract, DamagedInputLeavesNothingBehind) {
    ScratchDir dir;
    const std::string release = pack_sample(dir, "release", true);
    Bytes damaged = read_file(release + "/nk.nbx");
    damaged[36384 + 3] ^= 0x40;  // block 1 no longer marked last
    write_file(release + "/bad.nbx", damaged);

    // A directory that the run created is removed again, ...
    ProgramResult result = run_check({"-x", "new", "bad.nbx"}, release);
    EXPECT_EQ(result.err, "romfold-check: bad.nbx: offset 36384: block 1: last block not marked last\n");
    EXPECT_EQ(result.status, 1);
    EXPECT_FALSE(std::filesystem::exists(release + "/new"));

    // ... and files that --force would replace stay as they were.
    std::filesystem::create_directory(release + "/out");
    write_file(release + "/out/image.bin", {'o', 'l', 'd'});
    result = run_check({"--force", "-x", "out", "bad.nbx"}, release);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(read_file(release + "/out/image.bin"), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(release + "/out"), std::filesystem::directory_iterator()), 1);
}

TEST(CheckExtract, UnusableDirectory) {
    ScratchDir dir;
    const std::string release = pack_sample(dir, "release", false);
    struct Case {
        std::string dir;
        std::string err;
    };
    const Case cases[] = {
        {"nk.tmp", "romfold-check: nk.tmp: is not a directory\n"},
        {"missing/out",
         "romfold-check: missing/out: cannot create directory: No such file or "
         "directory\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dir);
        const ProgramResult result = run_check({"-x", c.dir, "nk.nbx"}, release);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.status, 2);
    }
}

}  // namespace
}  // namespace romfold::test
