// The bundled sample release directory is the demo's input: romfold must run
// through it, and its splash screen must be one the packer accepts.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "tests/e2e/run_program.h"
#include "tests/support/scratch_dir.h"

namespace romfold_test {
namespace {

namespace fs = std::filesystem;

std::uint32_t le32(const Bytes& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes.at(at)) | static_cast<std::uint32_t>(bytes.at(at + 1)) << 8 |
           static_cast<std::uint32_t>(bytes.at(at + 2)) << 16 | static_cast<std::uint32_t>(bytes.at(at + 3)) << 24;
}

TEST(Sample, MergesItsSegmentsCuttingTheLast) {
    ScratchDir dir;
    const std::string release = dir.file("release");
    fs::copy(ROMFOLD_SAMPLE_DIR, release);

    const Bytes header = read_file(release + "/nk.bin");
    const std::uint32_t length = le32(header, 11);
    Bytes expected;
    for (int n = 0; n < 3; ++n) {
        const Bytes part = read_file(release + "/nk.nb" + std::to_string(n));
        expected.insert(expected.end(), part.begin(), part.end());
    }
    ASSERT_LT(length, expected.size());
    ASSERT_GT(length, expected.size() - read_file(release + "/nk.nb2").size());
    expected.resize(length);

    const ProgramResult result = run_program(ROMFOLD_BIN, {release}, dir.path());
    EXPECT_EQ(result.out, "Image in " + release + "/nk.bin is " + std::to_string(length) + "bytes\r\n" +
                              "Merging " + release + "/nk.nb0.\r\n" + "Merging " + release + "/nk.nb1.\r\n" +
                              "Merging " + release + "/nk.nb2.\r\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(read_file(release + "/nk.tmp") == expected);
}

TEST(Sample, SplashScreenHasTheAcceptedLayout) {
    const Bytes splash = read_file(std::string(ROMFOLD_SAMPLE_DIR) + "/splash.tss");
    ASSERT_GE(splash.size(), 138u);
    EXPECT_EQ(splash[0], 'T');
    EXPECT_EQ(splash[1], 'D');
    EXPECT_EQ(le32(splash, 10), 138u);                           // pixel data offset
    EXPECT_EQ(le32(splash, 14), 124u);                           // information header size
    const auto width = static_cast<std::int32_t>(le32(splash, 18));
    const auto height = static_cast<std::int32_t>(le32(splash, 22));
    EXPECT_EQ(splash[28] | splash[29] << 8, 16);                 // bits per pixel
    EXPECT_EQ(le32(splash, 30), 3u);                             // bit fields
    EXPECT_GT(width, 0);
    EXPECT_LE(width, 1920);
    EXPECT_GT(height, 0);
    EXPECT_LE(height, 1080);
    EXPECT_EQ(splash.size(), 138u + 2u * static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
}

}  // namespace
}  // namespace romfold_test
