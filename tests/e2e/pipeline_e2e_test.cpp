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
        {"NoArgumentPrintsUsage", ok, {}, "", usage, 255, {}},
        {"TwoArgumentsPrintUsage", ok, {"{dir}", "{dir}"}, "", usage, 255, {}},
        {"ThreeArgumentsPrintUsage", ok, {"{dir}", "a", "b"}, "", usage, 255, {}},
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
        {"MissingKernelImage", seg, {"{dir}"}, "", fopen_failed + "Error opening {dir}/nk.bin.\r\n", 255, {}},
        {"EmptyKernelImage", with({}), {"{dir}"}, "", signature_error, 255, {}},
        {"FiveByteKernelImage", with(bytes_of("B000F")), {"{dir}"}, "", signature_error, 255, {}},
        {"SixSignatureBytes", with(bytes_of("B000FF")), {"{dir}"}, "", signature_error, 255, {}},
        {"FirstSignatureByteWrong", with(kernel_image(64, 0x80200000u, "b000FF\n")), {"{dir}"}, "", invalid, 255, {}},
        {"LastSignatureByteWrong", with(kernel_image(64, 0x80200000u, "B000FF\r")), {"{dir}"}, "", invalid, 255, {}},
        {"TenByteKernelImage", with(cut(kernel_image(64), 10)), {"{dir}"}, "", read_error, 255, {}},
        {"ThirteenByteKernelImage", with(cut(kernel_image(64), 13)), {"{dir}"}, "", read_error, 255, {}},
        {"BaseAddress80000000",
         with(kernel_image(64, 0x80000000u)),
         {"{dir}"},
         "",
         "Only base address 0x80200000 is supported. File {dir}/nk.bin has base address 80000000.\r\n",
         255,
         {}},
        {"BaseAddressPrintedWithLeadingZeros",
         with(kernel_image(64, 0x00200000u)),
         {"{dir}"},
         "",
         "Only base address 0x80200000 is supported. File {dir}/nk.bin has base address 00200000.\r\n",
         255,
         {}},
        // The header alone is enough: nothing after byte 15 is needed.
        {"HeaderOnlyKernelImage",
         with(cut(kernel_image(64), 15)),
         {"{dir}"},
         "",
         image_line(64) + merging(0) + finish(segment(0, 64)),
         0,
         finished(segment(0, 64))},
    };
}

std::vector<Case> merge_cases() {
    std::vector<Case> cases;
    {
        Files files = release(100, {});
        files["nk.tmp"] = a_directory;
        cases.push_back({"MergedImageCannotBeCreated",
                         files,
                         {"{dir}"},
                         "",
                         image_line(100) + "OpenForWriting: fopen() failed\nError creating {dir}/nk.tmp.\r\n",
                         255,
                         {}});
    }
    cases.push_back({"MissingFirstSegment",
                     release(100, {}),
                     {"{dir}"},
                     "",
                     image_line(100) + merging(0) + fopen_failed + "Error opening {dir}/nk.nb0.\r\n",
                     255,
                     {{"nk.tmp", {}}}});
    for (const std::size_t size : {std::size_t{100}, std::size_t{65536}, std::size_t{200000}}) {
        // A small image only meets the full disk when nk.tmp is closed; a large
        // one already at a write.
        Files files = release(static_cast<std::uint32_t>(size), {size});
        files["nk.tmp"] = link_to("/dev/full");
        cases.push_back(
            {"DiskFullWith" + std::to_string(size) + "ByteImage",
             files,
             {"{dir}"},
             "",
             image_line(static_cast<std::int32_t>(size)) + merging(0) + "Error writing to {dir}/nk.tmp.\r\n",
             255,
             {}});
    }
    cases.push_back(
        {"ImageLengthZeroNeedsNoSegment", release(0, {}), {"{dir}"}, "", image_line(0) + finish({}), 0, finished({})});
    {
        const Files files = release(1000, {5000, 300});
        cases.push_back({"LengthBelowFirstSegment",
                         files,
                         {"{dir}"},
                         "",
                         image_line(1000) + merging(0) + finish(merged(files, 1000)),
                         0,
                         finished(merged(files, 1000))});
    }
    {
        const Files files = release(100, {101, 5});
        cases.push_back({"LengthOneByteBelowFirstSegment",
                         files,
                         {"{dir}"},
                         "",
                         image_line(100) + merging(0) + finish(merged(files, 100)),
                         0,
                         finished(merged(files, 100))});
    }
    {
        const Files files = release(5000 + 300, {5000, 300, 77});
        cases.push_back({"LengthIsExactlyTwoSegments",
                         files,
                         {"{dir}"},
                         "",
                         image_line(5300) + merging_up_to(1) + finish(merged(files, 5300)),
                         0,
                         finished(merged(files, 5300))});
    }
    {
        const Files files = release(65537, {65537});
        cases.push_back({"SegmentOf65537Bytes",
                         files,
                         {"{dir}"},
                         "",
                         image_line(65537) + merging(0) + finish(merged(files, 65537)),
                         0,
                         finished(merged(files, 65537))});
    }
    {
        const Files files = release(150000, {65536, 70000, 65537});
        cases.push_back({"LengthEndsInsideThirdSegment",
                         files,
                         {"{dir}"},
                         "",
                         image_line(150000) + merging_up_to(2) + finish(merged(files, 150000)),
                         0,
                         finished(merged(files, 150000))});
    }
    {
        const Files files = release(25, {10, 0, 20});
        cases.push_back({"EmptySegmentIsOpenedAndSkipped",
                         files,
                         {"{dir}"},
                         "",
                         image_line(25) + merging_up_to(2) + finish(merged(files, 25)),
                         0,
                         finished(merged(files, 25))});
    }
    {
        const Files files = release(33, std::vector<std::size_t>(11, 3));
        cases.push_back({"ElevenSegmentsNumberedInDecimal",
                         files,
                         {"{dir}"},
                         "",
                         image_line(33) + merging_up_to(10) + finish(merged(files, 33)),
                         0,
                         finished(merged(files, 33))});
    }
    {
        const Files files = release(200, {100, 50});
        cases.push_back({"LengthPastTheLastSegment",
                         files,
                         {"{dir}"},
                         "",
                         image_line(200) + merging_up_to(2) + fopen_failed + "Error opening {dir}/nk.nb2.\r\n",
                         255,
                         {{"nk.tmp", merged(files, 150)}}});
    }
    {
        Files files = release(200, {100});
        files["nk.nb2"] = segment(2, 100);
        cases.push_back({"GapInSegmentNumbers",
                         files,
                         {"{dir}"},
                         "",
                         image_line(200) + merging_up_to(1) + fopen_failed + "Error opening {dir}/nk.nb1.\r\n",
                         255,
                         {{"nk.tmp", merged(files, 100)}}});
    }
    {
        const Files files = release(0x80000000u, {});
        cases.push_back({"LengthOf2GBPrintsNegative",
                         files,
                         {"{dir}"},
                         "",
                         image_line(-2147483647 - 1) + merging(0) + fopen_failed + "Error opening {dir}/nk.nb0.\r\n",
                         255,
                         {{"nk.tmp", {}}}});
    }
    {
        const Files files = release(0xFFFFFFFFu, {10});
        cases.push_back({"LargestLengthPrintsMinusOne",
                         files,
                         {"{dir}"},
                         "",
                         image_line(-1) + merging_up_to(1) + fopen_failed + "Error opening {dir}/nk.nb1.\r\n",
                         255,
                         {{"nk.tmp", merged(files, 10)}}});
    }
    return cases;
}

std::vector<Case> path_cases() {
    const Files files = release(30, {30});
    const Bytes image = merged(files, 30);
    const Files made = finished(image);
    const std::string long_dir = "{dir}/" + std::string(5000, 'x');
    return {
        {"ArgumentEndingInSlashDoublesIt",
         files,
         {"{dir}/"},
         "",
         image_line(30, "{dir}/") + merging(0, "{dir}/") + finish(image, "{dir}/"),
         0,
         made},
        {"RelativeArgumentUsedAsGiven",
         files,
         {"."},
         "",
         image_line(30, ".") + merging(0, ".") + finish(image, "."),
         0,
         made},
        {"OverLongPathFailsToOpen",
         files,
         {long_dir},
         "",
         fopen_failed + "Error opening " + long_dir + "/nk.bin.\r\n",
         255,
         {}},
        {"PercentSignsInPathArePrintedAsText",
         {},
         {"{dir}/%s%d%n"},
         "",
         fopen_failed + "Error opening {dir}/%s%d%n/nk.bin.\r\n",
         255,
         {}},
    };
}

std::vector<Case> fault_cases() {
    std::vector<Case> cases;
    const Files two = release(150, {100, 50});
    cases.push_back({"FaultLayerWithoutFaultRunsNormally",
                     two,
                     {"{dir}"},
                     no_fault,
                     image_line(150) + merging_up_to(1) + finish(merged(two, 150)),
                     0,
                     finished(merged(two, 150))});
    {
        const Files files = release(100, {100});
        cases.push_back({"SegmentShrinksBeforeItIsRead",
                         files,
                         {"{dir}"},
                         "read:nk.nb0:1:40",
                         image_line(100) + merging(0) + "Error reading from {dir}/nk.nb0.\r\n",
                         255,
                         {{"nk.tmp", {}}}});
    }
    {
        const Files files = release(65537, {65537});
        cases.push_back({"SegmentShrinksAfterFirstChunk",
                         files,
                         {"{dir}"},
                         "read:nk.nb0:2",
                         image_line(65537) + merging(0) + "Error reading from {dir}/nk.nb0.\r\n",
                         255,
                         {{"nk.tmp", merged(files, 65536)}}});
    }
    cases.push_back({"MergedImageCloseFails",
                     two,
                     {"{dir}"},
                     "close:nk.tmp:1",
                     image_line(150) + merging_up_to(1) + "Error writing to {dir}/nk.tmp.\r\n",
                     255,
                     {{"nk.tmp", merged(two, 150)}}});
    cases.push_back({"MergedImageShortWrite",
                     two,
                     {"{dir}"},
                     "write:nk.tmp:2:7",
                     image_line(150) + merging_up_to(1) + "Error writing to {dir}/nk.tmp.\r\n",
                     255,
                     {{"nk.tmp", merged(two, 107)}}});
    cases.push_back({"KernelImageSeekFails",
                     two,
                     {"{dir}"},
                     "seek:nk.bin:1",
                     "OpenForReading: fseek() failed\nError opening {dir}/nk.bin.\r\n",
                     255,
                     {}});
    cases.push_back({"KernelImageRewindFails",
                     two,
                     {"{dir}"},
                     "seek:nk.bin:2",
                     "OpenForReading: fseek() failed\nError opening {dir}/nk.bin.\r\n",
                     255,
                     {}});
    cases.push_back({"KernelImagePositionQueryFails",
                     two,
                     {"{dir}"},
                     "tell:nk.bin:1",
                     "OpenForReading: fgetpos() failed\nError opening {dir}/nk.bin.\r\n",
                     255,
                     {}});
    cases.push_back({"KernelImageReadFails",
                     two,
                     {"{dir}"},
                     "read:nk.bin:1:6",
                     "Error reading {dir}/nk.bin signature.\r\n",
                     255,
                     {}});
    cases.push_back({"MergedImageCreateFails",
                     two,
                     {"{dir}"},
                     "open:nk.tmp:1",
                     image_line(150) + "OpenForWriting: fopen() failed\nError creating {dir}/nk.tmp.\r\n",
                     255,
                     {}});
    cases.push_back({"SegmentSeekFails",
                     two,
                     {"{dir}"},
                     "seek:nk.nb0:1",
                     image_line(150) + merging(0) + "OpenForReading: fseek() failed\nError opening {dir}/nk.nb0.\r\n",
                     255,
                     {{"nk.tmp", {}}}});
    cases.push_back({"MergedImageFlushFails",
                     two,
                     {"{dir}"},
                     "flush:nk.tmp:1",
                     image_line(150) + merging_up_to(1) + "Error writing to {dir}/nk.tmp.\r\n",
                     255,
                     {{"nk.tmp", merged(two, 150)}}});
    cases.push_back(
        {"SegmentPositionQueryFails",
         two,
         {"{dir}"},
         "tell:nk.nb1:1",
         image_line(150) + merging_up_to(1) + "OpenForReading: fgetpos() failed\nError opening {dir}/nk.nb1.\r\n",
         255,
         {{"nk.tmp", merged(two, 100)}}});
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
