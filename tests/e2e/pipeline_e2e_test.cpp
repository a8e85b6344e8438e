// End-to-end runs of the built romfold over scratch release directories.
// Each row gives the files before the run, the arguments, the exact console
// output, the exact exit status (-1 is 255) and the files created by the run;
// the files that were there before must be left byte for byte as they were.
// Rows with a fault run romfold_fault, the same pipeline over a file layer
// that makes one chosen call fail.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "tests/e2e/run_program.h"
#include "tests/support/scratch_dir.h"

namespace romfold_test {
namespace {

using Files = std::map<std::string, Bytes>;

// Entries that are not plain files, written as ScratchDir::entries() shows them.
Bytes link_to(const std::string& target) { return to_bytes("-> " + target); }
const Bytes a_directory = to_bytes("<dir>");

const std::string usage = "Usage:\r\nromfold <path>\r\npath: flat release directory containing nk.bin\r\n";
const std::string fopen_failed = "OpenForReading: fopen() failed\n";

// Runs romfold_fault with its fault layer in place but no fault planted.
const std::string no_fault = "-";

// The header of nk.bin followed by a few records the tool never reads.
Bytes kernel_image(std::uint32_t length, std::uint32_t base = 0x80200000u, const std::string& signature = "B000FF\n") {
    Bytes bytes = to_bytes(signature);
    append_le32(bytes, base);
    append_le32(bytes, length);
    for (std::uint32_t record = 0; record < 3; ++record) {
        append_le32(bytes, base + record * 0x1000u);  // address
        append_le32(bytes, 16);                       // length
        append_le32(bytes, 0x5A5A0000u + record);     // checksum
        const Bytes data = pattern_bytes(16, 100 + record);
        bytes.insert(bytes.end(), data.begin(), data.end());
    }
    return bytes;
}

Bytes cut(Bytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

Bytes segment(int number, std::size_t size) { return pattern_bytes(size, static_cast<std::uint32_t>(number) + 1); }

std::string segment_name(int number) { return "nk.nb" + std::to_string(number); }

// nk.bin for `length` and the segments of the given sizes.
Files release(std::uint32_t length, const std::vector<std::size_t>& sizes) {
    Files files{{"nk.bin", kernel_image(length)}};
    for (std::size_t n = 0; n < sizes.size(); ++n) {
        files[segment_name(static_cast<int>(n))] = segment(static_cast<int>(n), sizes[n]);
    }
    return files;
}

// The first `length` bytes of the segments nk.nb0, nk.nb1, ... of `files`.
Bytes merged(const Files& files, std::size_t length) {
    Bytes bytes;
    for (int n = 0; bytes.size() < length; ++n) {
        const auto found = files.find(segment_name(n));
        if (found == files.end()) {
            break;
        }
        bytes.insert(bytes.end(), found->second.begin(), found->second.end());
    }
    if (bytes.size() > length) {
        bytes.resize(length);
    }
    return bytes;
}

std::string image_line(std::int32_t length, const std::string& dir = "{dir}") {
    return "Image in " + dir + "/nk.bin is " + std::to_string(length) + "bytes\r\n";
}

std::string merging(int number, const std::string& dir = "{dir}") {
    return "Merging " + dir + "/" + segment_name(number) + ".\r\n";
}

std::string merging_up_to(int last, const std::string& dir = "{dir}") {
    std::string text;
    for (int n = 0; n <= last; ++n) {
        text += merging(n, dir);
    }
    return text;
}

struct Case {
    std::string name;
    Files before;
    std::vector<std::string> args;  // "{dir}" stands for the scratch directory
    std::string fault;              // empty runs romfold; otherwise romfold_fault with this ROMFOLD_FAULT
    std::string out;                // "{dir}" likewise
    int status;
    Files created;  // entries that exist after the run and did not before
};

// Failure messages name the row instead of dumping its bytes.
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::string expand(std::string text, const std::string& dir) {
    const std::string marker = "{dir}";
    for (std::size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + dir.size())) {
        text.replace(at, marker.size(), dir);
    }
    return text;
}

void populate(const ScratchDir& dir, const Files& files) {
    for (const auto& [name, bytes] : files) {
        const std::string text(bytes.begin(), bytes.end());
        if (text.rfind("-> ", 0) == 0) {
            dir.symlink(name, text.substr(3));
        } else if (bytes == a_directory) {
            dir.make_directory(name);
        } else {
            dir.write(name, bytes);
        }
    }
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
        {"FiveByteKernelImage", with(to_bytes("B000F")), {"{dir}"}, "", signature_error, 255, {}},
        {"SixSignatureBytes", with(to_bytes("B000FF")), {"{dir}"}, "", signature_error, 255, {}},
        {"FirstSignatureByteWrong", with(kernel_image(64, 0x80200000u, "b000FF\n")), {"{dir}"}, "", invalid, 255, {}},
        {"LastSignatureByteWrong", with(kernel_image(64, 0x80200000u, "B000FF\r")), {"{dir}"}, "", invalid, 255, {}},
        {"TenByteKernelImage", with(cut(kernel_image(64), 10)), {"{dir}"}, "", read_error, 255, {}},
        {"ThirteenByteKernelImage", with(cut(kernel_image(64), 13)), {"{dir}"}, "", read_error, 255, {}},
        {"BaseAddress80000000", with(kernel_image(64, 0x80000000u)), {"{dir}"}, "",
         "Only base address 0x80200000 is supported. File {dir}/nk.bin has base address 80000000.\r\n", 255, {}},
        {"BaseAddressPrintedWithLeadingZeros", with(kernel_image(64, 0x00200000u)), {"{dir}"}, "",
         "Only base address 0x80200000 is supported. File {dir}/nk.bin has base address 00200000.\r\n", 255, {}},
        // The header alone is enough: nothing after byte 15 is needed.
        {"HeaderOnlyKernelImage", with(cut(kernel_image(64), 15)), {"{dir}"}, "", image_line(64) + merging(0), 0,
         {{"nk.tmp", segment(0, 64)}}},
    };
}

std::vector<Case> merge_cases() {
    std::vector<Case> cases;
    {
        Files files = release(100, {});
        files["nk.tmp"] = a_directory;
        cases.push_back({"MergedImageCannotBeCreated", files, {"{dir}"}, "",
                         image_line(100) + "OpenForWriting: fopen() failed\nError creating {dir}/nk.tmp.\r\n", 255, {}});
    }
    cases.push_back({"MissingFirstSegment", release(100, {}), {"{dir}"}, "",
                     image_line(100) + merging(0) + fopen_failed + "Error opening {dir}/nk.nb0.\r\n", 255,
                     {{"nk.tmp", {}}}});
    for (const std::size_t size : {std::size_t{100}, std::size_t{65536}, std::size_t{200000}}) {
        // A small image only meets the full disk when nk.tmp is closed; a large
        // one already at a write.
        Files files = release(static_cast<std::uint32_t>(size), {size});
        files["nk.tmp"] = link_to("/dev/full");
        cases.push_back({"DiskFullWith" + std::to_string(size) + "ByteImage", files, {"{dir}"}, "",
                         image_line(static_cast<std::int32_t>(size)) + merging(0) + "Error writing to {dir}/nk.tmp.\r\n",
                         255, {}});
    }
    cases.push_back({"ImageLengthZeroNeedsNoSegment", release(0, {}), {"{dir}"}, "", image_line(0), 0,
                     {{"nk.tmp", {}}}});
    {
        const Files files = release(1000, {5000, 300});
        cases.push_back({"LengthBelowFirstSegment", files, {"{dir}"}, "", image_line(1000) + merging(0), 0,
                         {{"nk.tmp", merged(files, 1000)}}});
    }
    {
        const Files files = release(100, {101, 5});
        cases.push_back({"LengthOneByteBelowFirstSegment", files, {"{dir}"}, "", image_line(100) + merging(0), 0,
                         {{"nk.tmp", merged(files, 100)}}});
    }
    {
        const Files files = release(5000 + 300, {5000, 300, 77});
        cases.push_back({"LengthIsExactlyTwoSegments", files, {"{dir}"}, "", image_line(5300) + merging_up_to(1), 0,
                         {{"nk.tmp", merged(files, 5300)}}});
    }
    {
        const Files files = release(65537, {65537});
        cases.push_back({"SegmentOf65537Bytes", files, {"{dir}"}, "", image_line(65537) + merging(0), 0,
                         {{"nk.tmp", merged(files, 65537)}}});
    }
    {
        const Files files = release(150000, {65536, 70000, 65537});
        cases.push_back({"LengthEndsInsideThirdSegment", files, {"{dir}"}, "", image_line(150000) + merging_up_to(2),
                         0, {{"nk.tmp", merged(files, 150000)}}});
    }
    {
        const Files files = release(25, {10, 0, 20});
        cases.push_back({"EmptySegmentIsOpenedAndSkipped", files, {"{dir}"}, "", image_line(25) + merging_up_to(2), 0,
                         {{"nk.tmp", merged(files, 25)}}});
    }
    {
        const Files files = release(33, std::vector<std::size_t>(11, 3));
        cases.push_back({"ElevenSegmentsNumberedInDecimal", files, {"{dir}"}, "", image_line(33) + merging_up_to(10),
                         0, {{"nk.tmp", merged(files, 33)}}});
    }
    {
        const Files files = release(200, {100, 50});
        cases.push_back({"LengthPastTheLastSegment", files, {"{dir}"}, "",
                         image_line(200) + merging_up_to(2) + fopen_failed + "Error opening {dir}/nk.nb2.\r\n", 255,
                         {{"nk.tmp", merged(files, 150)}}});
    }
    {
        Files files = release(200, {100});
        files["nk.nb2"] = segment(2, 100);
        cases.push_back({"GapInSegmentNumbers", files, {"{dir}"}, "",
                         image_line(200) + merging_up_to(1) + fopen_failed + "Error opening {dir}/nk.nb1.\r\n", 255,
                         {{"nk.tmp", merged(files, 100)}}});
    }
    {
        const Files files = release(0x80000000u, {});
        cases.push_back({"LengthOf2GBPrintsNegative", files, {"{dir}"}, "",
                         image_line(-2147483647 - 1) + merging(0) + fopen_failed + "Error opening {dir}/nk.nb0.\r\n",
                         255, {{"nk.tmp", {}}}});
    }
    {
        const Files files = release(0xFFFFFFFFu, {10});
        cases.push_back({"LargestLengthPrintsMinusOne", files, {"{dir}"}, "",
                         image_line(-1) + merging_up_to(1) + fopen_failed + "Error opening {dir}/nk.nb1.\r\n", 255,
                         {{"nk.tmp", merged(files, 10)}}});
    }
    return cases;
}

std::vector<Case> path_cases() {
    const Files files = release(30, {30});
    const Files made{{"nk.tmp", merged(files, 30)}};
    const std::string long_dir = "{dir}/" + std::string(5000, 'x');
    return {
        {"ArgumentEndingInSlashDoublesIt", files, {"{dir}/"}, "",
         image_line(30, "{dir}/") + merging(0, "{dir}/"), 0, made},
        {"RelativeArgumentUsedAsGiven", files, {"."}, "", image_line(30, ".") + merging(0, "."), 0, made},
        {"OverLongPathFailsToOpen", files, {long_dir}, "", fopen_failed + "Error opening " + long_dir + "/nk.bin.\r\n",
         255, {}},
        {"PercentSignsInPathArePrintedAsText", {}, {"{dir}/%s%d%n"}, "",
         fopen_failed + "Error opening {dir}/%s%d%n/nk.bin.\r\n", 255, {}},
    };
}

std::vector<Case> fault_cases() {
    std::vector<Case> cases;
    const Files two = release(150, {100, 50});
    cases.push_back({"FaultLayerWithoutFaultMergesNormally", two, {"{dir}"}, no_fault,
                     image_line(150) + merging_up_to(1), 0, {{"nk.tmp", merged(two, 150)}}});
    {
        const Files files = release(100, {100});
        cases.push_back({"SegmentShrinksBeforeItIsRead", files, {"{dir}"}, "read:nk.nb0:1:40",
                         image_line(100) + merging(0) + "Error reading from {dir}/nk.nb0.\r\n", 255, {{"nk.tmp", {}}}});
    }
    {
        const Files files = release(65537, {65537});
        cases.push_back({"SegmentShrinksAfterFirstChunk", files, {"{dir}"}, "read:nk.nb0:2",
                         image_line(65537) + merging(0) + "Error reading from {dir}/nk.nb0.\r\n", 255,
                         {{"nk.tmp", merged(files, 65536)}}});
    }
    cases.push_back({"MergedImageCloseFails", two, {"{dir}"}, "close:nk.tmp:1",
                     image_line(150) + merging_up_to(1) + "Error writing to {dir}/nk.tmp.\r\n", 255,
                     {{"nk.tmp", merged(two, 150)}}});
    cases.push_back({"MergedImageShortWrite", two, {"{dir}"}, "write:nk.tmp:2:7",
                     image_line(150) + merging_up_to(1) + "Error writing to {dir}/nk.tmp.\r\n", 255,
                     {{"nk.tmp", merged(two, 107)}}});
    cases.push_back({"KernelImageSeekFails", two, {"{dir}"}, "seek:nk.bin:1",
                     "OpenForReading: fseek() failed\nError opening {dir}/nk.bin.\r\n", 255, {}});
    cases.push_back({"SegmentPositionQueryFails", two, {"{dir}"}, "tell:nk.nb1:1",
                     image_line(150) + merging_up_to(1) +
                         "OpenForReading: fgetpos() failed\nError opening {dir}/nk.nb1.\r\n",
                     255, {{"nk.tmp", merged(two, 100)}}});
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

TEST_P(PipelineRun, OutputStatusAndFiles) {
    const Case& c = GetParam();
    ScratchDir dir;
    populate(dir, c.before);
    const Files before = dir.entries();

    std::vector<std::string> args;
    for (const std::string& arg : c.args) {
        args.push_back(expand(arg, dir.path()));
    }
    std::vector<std::string> env;
    if (!c.fault.empty() && c.fault != no_fault) {
        env.push_back("ROMFOLD_FAULT=" + c.fault);
    }
    const ProgramResult result = run_program(c.fault.empty() ? ROMFOLD_BIN : ROMFOLD_FAULT_BIN, args, dir.path(), env);

    EXPECT_EQ(result.out, expand(c.out, dir.path()));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, c.status);

    Files expected = before;
    for (const auto& [name, bytes] : c.created) {
        expected[name] = bytes;
    }
    const Files after = dir.entries();
    // Compared name by name, so that a mismatch names the file.
    for (const auto& [name, bytes] : expected) {
        const auto found = after.find(name);
        ASSERT_NE(found, after.end()) << name << " is missing";
        EXPECT_TRUE(found->second == bytes) << name << " differs: " << found->second.size() << " bytes, expected "
                                            << bytes.size();
    }
    for (const auto& entry : after) {
        EXPECT_TRUE(expected.count(entry.first) == 1) << entry.first << " was not expected";
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, PipelineRun, ::testing::ValuesIn(all_cases()),
                         [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
}  // namespace romfold_test
