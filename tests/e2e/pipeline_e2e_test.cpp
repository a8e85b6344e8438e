// End-to-end runs of the built romfold over scratch release directories:
// the argument check, the kernel image check, the segment merge and the file
// names. Every run that gets past the merge goes on to pack the image; the
// rows here have no splash screen and images that do not compress, so every
// file they leave is stated byte for byte. The table's harness is in
// pipeline_cases.h.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/e2e/pipeline_cases.h"

namespace romfold::test {
namespace {

// The files a run leaves after a merged image of these bytes was packed.
Files finished(const Bytes& image) {
    const Bytes container = stored_container(image);
    return {{"nk.tmp", image}, {"nbx.tmp", container}, {"nk.nbx", packed_image(container)}};
}

// The console lines after the merge of such a run.
std::string finish(const Bytes& image, const std::string& dir = "{dir}") {
    return statistics(static_cast<std::uint32_t>(image.size()),
                      static_cast<std::uint32_t>(stored_container(image).size())) +
           no_splash(dir) + success(dir);
}

std::vector<Case> argument_cases() {
    const Files ok = release(100, {100});
    return {
        {.name = "NoArgumentPrintsUsage",
         .before = ok,
         .args = {},
         .fault = "",
         .out = usage,
         .status = 255,
         .created = {}},
        {.name = "TwoArgumentsPrintUsage",
         .before = ok,
         .args = {"{dir}", "{dir}"},
         .fault = "",
         .out = usage,
         .status = 255,
         .created = {}},
        {.name = "ThreeArgumentsPrintUsage",
         .before = ok,
         .args = {"{dir}", "a", "b"},
         .fault = "",
         .out = usage,
         .status = 255,
         .created = {}},
    };
}

std::vector<Case> kernel_image_cases() {
    const std::string read_error = "Error reading from {dir}/nk.bin.\r\n";
    const std::string signature_error = "Error reading {dir}/nk.bin signature.\r\n";
    const std::string invalid = "{dir}/nk.bin has an invalid signature.\r\n";
    const Files seg{{"nk.nb0", segment(0, 64)}};
    auto with = [&](Bytes nk_bin) {
        Files files = seg;
        files["nk.bin"] = std::move(nk_bin);
        return files;
    };
    return {
        {.name = "MissingKernelImage",
         .before = seg,
         .args = {"{dir}"},
         .fault = "",
         .out = fopen_failed + "Error opening {dir}/nk.bin.\r\n",
         .status = 255,
         .created = {}},
        {.name = "EmptyKernelImage",
         .before = with({}),
         .args = {"{dir}"},
         .fault = "",
         .out = signature_error,
         .status = 255,
         .created = {}},
        {.name = "FiveByteKernelImage",
         .before = with(bytes_of("B000F")),
         .args = {"{dir}"},
         .fault = "",
         .out = signature_error,
         .status = 255,
         .created = {}},
        {.name = "SixSignatureBytes",
         .before = with(bytes_of("B000FF")),
         .args = {"{dir}"},
         .fault = "",
         .out = signature_error,
         .status = 255,
         .created = {}},
        {.name = "FirstSignatureByteWrong",
         .before = with(kernel_image(64, 0x80200000u, "b000FF\n")),
         .args = {"{dir}"},
         .fault = "",
         .out = invalid,
         .status = 255,
         .created = {}},
        {.name = "LastSignatureByteWrong",
         .before = with(kernel_image(64, 0x80200000u, "B000FF\r")),
         .args = {"{dir}"},
         .fault = "",
         .out = invalid,
         .status = 255,
         .created = {}},
        {.name = "TenByteKernelImage",
         .before = with(cut(kernel_image(64), 10)),
         .args = {"{dir}"},
         .fault = "",
         .out = read_error,
         .status = 255,
         .created = {}},
        {.name = "ThirteenByteKernelImage",
         .before = with(cut(kernel_image(64), 13)),
         .args = {"{dir}"},
         .fault = "",
         .out = read_error,
         .status = 255,
         .created = {}},
        {.name = "BaseAddress80000000",
         .before = with(kernel_image(64, 0x80000000u)),
         .args = {"{dir}"},
         .fault = "",
         .out = "Only base address 0x80200000 is supported. File {dir}/nk.bin has base address 80000000.\r\n",
         .status = 255,
         .created = {}},
        {.name = "BaseAddressPrintedWithLeadingZeros",
         .before = with(kernel_image(64, 0x00200000u)),
         .args = {"{dir}"},
         .fault = "",
         .out = "Only base address 0x80200000 is supported. File {dir}/nk.bin has base address 00200000.\r\n",
         .status = 255,
         .created = {}},
        // The header alone is enough: nothing after byte 15 is needed.
        {.name = "HeaderOnlyKernelImage",
         .before = with(cut(kernel_image(64), 15)),
         .args = {"{dir}"},
         .fault = "",
         .out = image_line(64) + merging(0) + finish(segment(0, 64)),
         .status = 0,
         .created = finished(segment(0, 64))},
    };
}

std::vector<Case> merge_cases() {
    std::vector<Case> cases;
    {
        Files files = release(100, {});
        files["nk.tmp"] = a_directory;
        cases.push_back({.name = "MergedImageCannotBeCreated",
                         .before = files,
                         .args = {"{dir}"},
                         .fault = "",
                         .out = image_line(100) + "OpenForWriting: fopen() failed\nError creating {dir}/nk.tmp.\r\n",
                         .status = 255,
                         .created = {}});
    }
    cases.push_back({.name = "MissingFirstSegment",
                     .before = release(100, {}),
                     .args = {"{dir}"},
                     .fault = "",
                     .out = image_line(100) + merging(0) + fopen_failed + "Error opening {dir}/nk.nb0.\r\n",
                     .status = 255,
                     .created = {{"nk.tmp", {}}}});
    for (const std::size_t size : {std::size_t{100}, std::size_t{65536}, std::size_t{200000}}) {
        // A small image only meets the full disk when nk.tmp is closed; a large
        // one already at a write.
        Files files = release(static_cast<std::uint32_t>(size), {size});
        files["nk.tmp"] = link_to("/dev/full");
        cases.push_back(
            {.name = "DiskFullWith" + std::to_string(size) + "ByteImage",
             .before = files,
             .args = {"{dir}"},
             .fault = "",
             .out = image_line(static_cast<std::int32_t>(size)) + merging(0) + "Error writing to {dir}/nk.tmp.\r\n",
             .status = 255,
             .created = {}});
    }
    cases.push_back({.name = "ImageLengthZeroNeedsNoSegment",
                     .before = release(0, {}),
                     .args = {"{dir}"},
                     .fault = "",
                     .out = image_line(0) + finish({}),
                     .status = 0,
                     .created = finished({})});
    {
        const Files files = release(1000, {5000, 300});
        cases.push_back({.name = "LengthBelowFirstSegment",
                         .before = files,
                         .args = {"{dir}"},
                         .fault = "",
                         .out = image_line(1000) + merging(0) + finish(merged(files, 1000)),
                         .status = 0,
                         .created = finished(merged(files, 1000))});
    }
    {
        const Files files = release(100, {101, 5});
        cases.push_back({.name = "LengthOneByteBelowFirstSegment",
                         .before = files,
                         .args = {"{dir}"},
                         .fault = "",
                         .out = image_line(100) + merging(0) + finish(merged(files, 100)),
                         .status = 0,
                         .created = finished(merged(files, 100))});
    }
    {
        const Files files = release(5000 + 300, {5000, 300, 77});
        cases.push_back({.name = "LengthIsExactlyTwoSegments",
                         .before = files,
                         .args = {"{dir}"},
                         .fault = "",
                         .out = image_line(5300) + merging_up_to(1) + finish(merged(files, 5300)),
                         .status = 0,
                         .created = finished(merged(files, 5300))});
    }
    {
        const Files files = release(65537, {65537});
        cases.push_back({.name = "SegmentOf65537Bytes",
                         .before = files,
                         .args = {"{dir}"},
                         .fault = "",
                         .out = image_line(65537) + merging(0) + finish(merged(files, 65537)),
                         .status = 0,
                         .created = finished(merged(files, 65537))});
    }
    {
        const Files files = release(150000, {65536, 70000, 65537});
        cases.push_back({.name = "LengthEndsInsideThirdSegment",
                         .before = files,
                         .args = {"{dir}"},
                         .fault = "",
                         .out = image_line(150000) + merging_up_to(2) + finish(merged(files, 150000)),
                         .status = 0,
                         .created = finished(merged(files, 150000))});
    }
    {
        const Files files = release(25, {10, 0, 20});
        cases.push_back({.name = "EmptySegmentIsOpenedAndSkipped",
                         .before = files,
                         .args = {"{dir}"},
                         .fault = "",
                         .out = image_line(25) + merging_up_to(2) + finish(merged(files, 25)),
                         .status = 0,
                         .created = finished(merged(files, 25))});
    }
    {
        const Files files = release(33, std::vector<std::size_t>(11, 3));
        cases.push_back({.name = "ElevenSegmentsNumberedInDecimal",
                         .before = files,
                         .args = {"{dir}"},
                         .fault = "",
                         .out = image_line(33) + merging_up_to(10) + finish(merged(files, 33)),
                         .status = 0,
                         .created = finished(merged(files, 33))});
    }
    {
        const Files files = release(200, {100, 50});
        cases.push_back({.name = "LengthPastTheLastSegment",
                         .before = files,
                         .args = {"{dir}"},
                         .fault = "",
                         .out = image_line(200) + merging_up_to(2) + fopen_failed + "Error opening {dir}/nk.nb2.\r\n",
                         .status = 255,
                         .created = {{"nk.tmp", merged(files, 150)}}});
    }
    {
        Files files = release(200, {100});
        files["nk.nb2"] = segment(2, 100);
        cases.push_back({.name = "GapInSegmentNumbers",
                         .before = files,
                         .args = {"{dir}"},
                         .fault = "",
                         .out = image_line(200) + merging_up_to(1) + fopen_failed + "Error opening {dir}/nk.nb1.\r\n",
                         .status = 255,
                         .created = {{"nk.tmp", merged(files, 100)}}});
    }
    {
        const Files files = release(0x80000000u, {});
        cases.push_back(
            {.name = "LengthOf2GBPrintsNegative",
             .before = files,
             .args = {"{dir}"},
             .fault = "",
             .out = image_line(-2147483647 - 1) + merging(0) + fopen_failed + "Error opening {dir}/nk.nb0.\r\n",
             .status = 255,
             .created = {{"nk.tmp", {}}}});
    }
    {
        const Files files = release(0xFFFFFFFFu, {10});
        cases.push_back({.name = "LargestLengthPrintsMinusOne",
                         .before = files,
                         .args = {"{dir}"},
                         .fault = "",
                         .out = image_line(-1) + merging_up_to(1) + fopen_failed + "Error opening {dir}/nk.nb1.\r\n",
                         .status = 255,
                         .created = {{"nk.tmp", merged(files, 10)}}});
    }
    return cases;
}

std::vector<Case> path_cases() {
    const Files files = release(30, {30});
    const Bytes image = merged(files, 30);
    const Files made = finished(image);
    const std::string long_dir = "{dir}/" + std::string(5000, 'x');
    return {
        {.name = "ArgumentEndingInSlashDoublesIt",
         .before = files,
         .args = {"{dir}/"},
         .fault = "",
         .out = image_line(30, "{dir}/") + merging(0, "{dir}/") + finish(image, "{dir}/"),
         .status = 0,
         .created = made},
        {.name = "RelativeArgumentUsedAsGiven",
         .before = files,
         .args = {"."},
         .fault = "",
         .out = image_line(30, ".") + merging(0, ".") + finish(image, "."),
         .status = 0,
         .created = made},
        {.name = "OverLongPathFailsToOpen",
         .before = files,
         .args = {long_dir},
         .fault = "",
         .out = fopen_failed + "Error opening " + long_dir + "/nk.bin.\r\n",
         .status = 255,
         .created = {}},
        {.name = "PercentSignsInPathArePrintedAsText",
         .before = {},
         .args = {"{dir}/%s%d%n"},
         .fault = "",
         .out = fopen_failed + "Error opening {dir}/%s%d%n/nk.bin.\r\n",
         .status = 255,
         .created = {}},
    };
}

std::vector<Case> fault_cases() {
    std::vector<Case> cases;
    const Files two = release(150, {100, 50});
    cases.push_back({.name = "FaultLayerWithoutFaultRunsNormally",
                     .before = two,
                     .args = {"{dir}"},
                     .fault = no_fault,
                     .out = image_line(150) + merging_up_to(1) + finish(merged(two, 150)),
                     .status = 0,
                     .created = finished(merged(two, 150))});
    {
        const Files files = release(100, {100});
        cases.push_back({.name = "SegmentShrinksBeforeItIsRead",
                         .before = files,
                         .args = {"{dir}"},
                         .fault = "read:nk.nb0:1:40",
                         .out = image_line(100) + merging(0) + "Error reading from {dir}/nk.nb0.\r\n",
                         .status = 255,
                         .created = {{"nk.tmp", {}}}});
    }
    {
        const Files files = release(65537, {65537});
        cases.push_back({.name = "SegmentShrinksAfterFirstChunk",
                         .before = files,
                         .args = {"{dir}"},
                         .fault = "read:nk.nb0:2",
                         .out = image_line(65537) + merging(0) + "Error reading from {dir}/nk.nb0.\r\n",
                         .status = 255,
                         .created = {{"nk.tmp", merged(files, 65536)}}});
    }
    cases.push_back({.name = "MergedImageCloseFails",
                     .before = two,
                     .args = {"{dir}"},
                     .fault = "close:nk.tmp:1",
                     .out = image_line(150) + merging_up_to(1) + "Error writing to {dir}/nk.tmp.\r\n",
                     .status = 255,
                     .created = {{"nk.tmp", merged(two, 150)}}});
    cases.push_back({.name = "MergedImageShortWrite",
                     .before = two,
                     .args = {"{dir}"},
                     .fault = "write:nk.tmp:2:7",
                     .out = image_line(150) + merging_up_to(1) + "Error writing to {dir}/nk.tmp.\r\n",
                     .status = 255,
                     .created = {{"nk.tmp", merged(two, 107)}}});
    cases.push_back({.name = "KernelImageSeekFails",
                     .before = two,
                     .args = {"{dir}"},
                     .fault = "seek:nk.bin:1",
                     .out = "OpenForReading: fseek() failed\nError opening {dir}/nk.bin.\r\n",
                     .status = 255,
                     .created = {}});
    cases.push_back({.name = "KernelImageRewindFails",
                     .before = two,
                     .args = {"{dir}"},
                     .fault = "seek:nk.bin:2",
                     .out = "OpenForReading: fseek() failed\nError opening {dir}/nk.bin.\r\n",
                     .status = 255,
                     .created = {}});
    cases.push_back({.name = "KernelImagePositionQueryFails",
                     .before = two,
                     .args = {"{dir}"},
                     .fault = "tell:nk.bin:1",
                     .out = "OpenForReading: fgetpos() failed\nError opening {dir}/nk.bin.\r\n",
                     .status = 255,
                     .created = {}});
    cases.push_back({.name = "KernelImageReadFails",
                     .before = two,
                     .args = {"{dir}"},
                     .fault = "read:nk.bin:1:6",
                     .out = "Error reading {dir}/nk.bin signature.\r\n",
                     .status = 255,
                     .created = {}});
    cases.push_back({.name = "MergedImageCreateFails",
                     .before = two,
                     .args = {"{dir}"},
                     .fault = "open:nk.tmp:1",
                     .out = image_line(150) + "OpenForWriting: fopen() failed\nError creating {dir}/nk.tmp.\r\n",
                     .status = 255,
                     .created = {}});
    cases.push_back(
        {.name = "SegmentSeekFails",
         .before = two,
         .args = {"{dir}"},
         .fault = "seek:nk.nb0:1",
         .out = image_line(150) + merging(0) + "OpenForReading: fseek() failed\nError opening {dir}/nk.nb0.\r\n",
         .status = 255,
         .created = {{"nk.tmp", {}}}});
    cases.push_back({.name = "MergedImageFlushFails",
                     .before = two,
                     .args = {"{dir}"},
                     .fault = "flush:nk.tmp:1",
                     .out = image_line(150) + merging_up_to(1) + "Error writing to {dir}/nk.tmp.\r\n",
                     .status = 255,
                     .created = {{"nk.tmp", merged(two, 150)}}});
    cases.push_back({.name = "SegmentPositionQueryFails",
                     .before = two,
                     .args = {"{dir}"},
                     .fault = "tell:nk.nb1:1",
                     .out = image_line(150) + merging_up_to(1) +
                            "OpenForReading: fgetpos() failed\nError opening {dir}/nk.nb1.\r\n",
                     .status = 255,
                     .created = {{"nk.tmp", merged(two, 100)}}});
    return cases;
}

std::vector<Case> all_cases() {
    std::vector<Case> cases;
    for (auto group : {argument_cases, kernel_image_cases, merge_cases, path_cases, fault_cases}) {
        for (Case& c : group()) {
            cases.push_back(std::move(c));
        }
    }
    return cases;
}

class PipelineRun : public ::testing::TestWithParam<Case> {};

TEST_P(PipelineRun, OutputStatusAndFiles) { check_run(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Rows, PipelineRun, ::testing::ValuesIn(all_cases()),
                         [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
}  // namespace romfold::test
