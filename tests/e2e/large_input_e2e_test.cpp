// Files at the 4 GB limit, made sparse so that they cost no disk space. The
// image length stays small, so each run reads only a few bytes of them; the
// run over a whole 4 GB image is scripts/large_inputs.sh.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>

#include "tests/e2e/pipeline_cases.h"
#include "tests/support/run_program.h"

namespace romfold::test {
namespace {

struct LargeCase {
    const char* name;
    std::uint64_t kernel_image_size;  // 0: a plain 15-byte header and a few records
    std::uint64_t segment_size;
    const char* out;  // "{dir}" stands for the directory
    int status;
    std::uint64_t merged_size;  // bytes of nk.tmp afterwards (all zero), or `absent`
};

void PrintTo(const LargeCase& c, std::ostream* os) { *os << c.name; }

constexpr std::uint64_t four_gb = 0x100000000ull;
constexpr std::uint64_t absent = ~0ull;

class LargeInput : public testing::TestWithParam<LargeCase> {};

TEST_P(LargeInput, RunsAsExpected) {
    const LargeCase& c = GetParam();
    ScratchDir dir;
    dir.write("nk.bin", kernel_image(100));
    if (c.kernel_image_size != 0) {
        std::filesystem::resize_file(dir.file("nk.bin"), c.kernel_image_size);  // the header, then zeros
    }
    dir.make_sparse("nk.nb0", c.segment_size);

    const ProgramResult result = run_program(ROMFOLD_BIN, {dir.path()}, dir.path());
    EXPECT_EQ(result.out, replace_all(c.out, "{dir}", dir.path()));
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.err, "");
    if (c.merged_size == absent) {
        EXPECT_FALSE(std::filesystem::exists(dir.file("nk.tmp")));
    } else {
        EXPECT_TRUE(read_file(dir.file("nk.tmp")) == Bytes(c.merged_size, 0));
    }
}

const std::string too_long = "Files longer than 4GB are not supported\n";

INSTANTIATE_TEST_SUITE_P(
    AtTheLimit, LargeInput,
    testing::Values(
        LargeCase{.name = "SegmentOf4GBIsRefused",
                  .kernel_image_size = 0,
                  .segment_size = four_gb,
                  .out = "Image in {dir}/nk.bin is 100bytes\r\nMerging {dir}/nk.nb0.\r\n"
                         "Files longer than 4GB are not supported\nError opening {dir}/nk.nb0.\r\n",
                  .status = 255,
                  .merged_size = 0},
        LargeCase{.name = "SegmentOf4GBPlusOneIsRefused",
                  .kernel_image_size = 0,
                  .segment_size = four_gb + 1,
                  .out = "Image in {dir}/nk.bin is 100bytes\r\nMerging {dir}/nk.nb0.\r\n"
                         "Files longer than 4GB are not supported\nError opening {dir}/nk.nb0.\r\n",
                  .status = 255,
                  .merged_size = 0},
        LargeCase{.name = "SegmentOneByteBelow4GBIsTaken",
                  .kernel_image_size = 0,
                  .segment_size = four_gb - 1,
                  .out = "Image in {dir}/nk.bin is 100bytes\r\nMerging {dir}/nk.nb0.\r\n"
                         "\nInput file size : 100 bytes\nOutput file size: 28 bytes\nGain            : 72.00%\n"
                         "Splash screen {dir}/splash.tss not available.\r\n"
                         "Image file {dir}/nk.nbx generated successfully",
                  .status = 0,
                  .merged_size = 100},
        LargeCase{.name = "KernelImageOf4GBIsRefused",
                  .kernel_image_size = four_gb,
                  .segment_size = 100,
                  .out = "Files longer than 4GB are not supported\nError opening {dir}/nk.bin.\r\n",
                  .status = 255,
                  .merged_size = absent},
        LargeCase{.name = "KernelImageOneByteBelow4GBIsRead",
                  .kernel_image_size = four_gb - 1,
                  .segment_size = 100,
                  .out = "Image in {dir}/nk.bin is 100bytes\r\nMerging {dir}/nk.nb0.\r\n"
                         "\nInput file size : 100 bytes\nOutput file size: 28 bytes\nGain            : 72.00%\n"
                         "Splash screen {dir}/splash.tss not available.\r\n"
                         "Image file {dir}/nk.nbx generated successfully",
                  .status = 0,
                  .merged_size = 100}),
    [](const testing::TestParamInfo<LargeCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace romfold::test
