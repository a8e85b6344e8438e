// The bundled sample release directory is the demo's input: romfold must
// pack it whole, splash screen included, with the output the README shows.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "app/release_paths.h"
#include "tests/e2e/pipeline_cases.h"
#include "tests/support/decoded_file.h"
#include "tests/support/run_program.h"
#include "tests/support/sha256.h"

namespace romfold::test {
namespace {

namespace fs = std::filesystem;

// SHA-256 of the sample's nk.nbx as the Linux build writes it.
constexpr const char* sample_packed_image_sha256 = "ad8cd9b571b05468e220c029e0f03f6a7c85d235788f7196b1b48ed18f8c1805";

// The sample under a plain name and under one with characters outside ASCII,
// in UTF-8 on both systems.
class SampleRun : public ::testing::TestWithParam<const char*> {};

INSTANTIATE_TEST_SUITE_P(Directories, SampleRun, ::testing::Values("release", "rel\xC3\xA9-\xC2\xB5"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return info.index == 0 ? std::string("Plain") : std::string("NonAscii");
                         });

TEST_P(SampleRun, PacksTheWholeReleaseDirectory) {
    ScratchDir dir;
    const std::string release = dir.file(GetParam());
    fs::copy(ROMFOLD_SAMPLE_DIR, utf8_path(release));

    const Bytes header = read_file(release + "/nk.bin");
    const std::uint32_t length = load_le32(header, 11);
    Bytes expected;
    for (int n = 0; n < 3; ++n) {
        expected = concat(expected, read_file(release + "/nk.nb" + std::to_string(n)));
    }
    ASSERT_LT(length, expected.size());
    ASSERT_GT(length, expected.size() - read_file(release + "/nk.nb2").size());
    expected.resize(length);

    const ProgramResult result = run_program(ROMFOLD_BIN, {release}, dir.path());
    // The tool joins the names with the platform's separator.
    const std::string named = release + romfold::path_separator;
    // The numbers are the sample's own; the README quotes this output.
    EXPECT_EQ(result.out, "Image in " + named + "nk.bin is 88000bytes\r\n" + "Merging " + named + "nk.nb0.\r\n" +
                              "Merging " + named + "nk.nb1.\r\n" + "Merging " + named + "nk.nb2.\r\n" +
                              "\nInput file size : 88000 bytes\n"
                              "Output file size: 49092 bytes\n"
                              "Gain            : 44.21%\n"
                              "Splash screen " +
                              named + "splash.tss is 64x48 pixels, 6156 bytes.\r\n" + "Image file " + named +
                              "nk.nbx generated successfully");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);

    EXPECT_TRUE(read_file(release + "/nk.tmp") == expected);
    const romfold::test::DecodedFile container = romfold::test::decode_container_file(release + "/nbx.tmp");
    ASSERT_TRUE(container.ok) << container.message;
    EXPECT_TRUE(container.image == expected);

    const romfold::test::DecodedFile packed = romfold::test::decode_packed_image_file(release + "/nk.nbx");
    ASSERT_TRUE(packed.ok) << packed.message;
    EXPECT_TRUE(packed.stream == read_file(release + "/nbx.tmp"));
    EXPECT_TRUE(packed.image == expected);
    const Bytes splash = read_file(release + "/splash.tss");
    EXPECT_TRUE(packed.has_splash);
    EXPECT_EQ(packed.width, 64);
    EXPECT_EQ(packed.height, 48);
    EXPECT_TRUE(packed.pixels == Bytes(splash.begin() + 138, splash.end()));
    // The same bytes on every system and in every build.
    EXPECT_EQ(sha256_hex(read_file(release + "/nk.nbx")), sample_packed_image_sha256);
}

TEST(Sample, SplashScreenHasTheAcceptedLayout) {
    const Bytes splash = read_file(std::string(ROMFOLD_SAMPLE_DIR) + "/splash.tss");
    ASSERT_GE(splash.size(), 138u);
    EXPECT_EQ(splash[0], 'T');
    EXPECT_EQ(splash[1], 'D');
    EXPECT_EQ(load_le32(splash, 10), 138u);  // pixel data offset
    EXPECT_EQ(load_le32(splash, 14), 124u);  // information header size
    const auto width = static_cast<std::int32_t>(load_le32(splash, 18));
    const auto height = static_cast<std::int32_t>(load_le32(splash, 22));
    EXPECT_EQ(load_le16(splash, 28), 16u);  // bits per pixel
    EXPECT_EQ(load_le32(splash, 30), 3u);   // bit fields
    EXPECT_GT(width, 0);
    EXPECT_LE(width, 1920);
    EXPECT_GT(height, 0);
    EXPECT_LE(height, 1080);
    EXPECT_EQ(splash.size(), 138u + 2u * static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
}

}  // namespace
}  // namespace romfold::test
