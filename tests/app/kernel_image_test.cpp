// The stream traffic of the kernel image stages, watched through the
// recording stream table: which files are opened and closed in which order,
// and how the merge cuts the segments into chunks. The console output and the
// resulting files of the same paths are checked end to end in tests/e2e.
#include "app/kernel_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/fault_streams.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/stdout_capture.h"

namespace romfold {
namespace {

using test::Bytes;
using test::ScratchDir;
using Log = std::vector<std::string>;

Bytes header(const std::string& signature, std::uint32_t base, std::uint32_t length) {
    Bytes bytes = test::bytes_of(signature);
    test::append_le32(bytes, base);
    test::append_le32(bytes, length);
    return bytes;
}

Bytes cut(Bytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

const Log traffic_ops = {"open", "read", "write", "flush", "close"};

struct CheckCase {
    const char* name;
    Bytes nk_bin;
    int status;
    Log traffic;
};

TEST(KernelImageCheck, ReadsTheHeaderOnlyAndAlwaysClosesIt) {
    const CheckCase cases[] = {
        {"valid header with records after it",
         [] {
             Bytes b = header("B000FF\n", 0x80200000u, 1234);
             b.resize(b.size() + 100, 0xAB);
             return b;
         }(),
         0,
         {"open nk.bin rb", "read nk.bin 7", "read nk.bin 4", "read nk.bin 4", "close nk.bin"}},
        {"short signature", test::bytes_of("B000F"), -1, {"open nk.bin rb", "read nk.bin 7", "close nk.bin"}},
        {"bad signature", header("B000FE\n", 0x80200000u, 1), -1, {"open nk.bin rb", "read nk.bin 7", "close nk.bin"}},
        {"base address cut short",
         cut(header("B000FF\n", 0x80200000u, 1), 10),
         -1,
         {"open nk.bin rb", "read nk.bin 7", "read nk.bin 4", "close nk.bin"}},
        {"image length cut short",
         cut(header("B000FF\n", 0x80200000u, 1), 13),
         -1,
         {"open nk.bin rb", "read nk.bin 7", "read nk.bin 4", "read nk.bin 4", "close nk.bin"}},
        {"wrong base address",
         header("B000FF\n", 0x80000000u, 1),
         -1,
         {"open nk.bin rb", "read nk.bin 7", "read nk.bin 4", "read nk.bin 4", "close nk.bin"}},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        dir.write("nk.bin", c.nk_bin);
        test::ScopedFaultStreams streams;
        std::uint32_t length = 0;
        test::StdoutCapture quiet;
        const int status = check_kernel_image(dir.file("nk.bin"), &length);
        quiet.finish();
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(test::stream_log_of(traffic_ops), c.traffic);
        EXPECT_EQ(test::open_stream_count(), 0u);
    }
}

TEST(KernelImageCheck, MissingFileOpensNothing) {
    ScratchDir dir;
    test::ScopedFaultStreams streams;
    std::uint32_t length = 0;
    test::StdoutCapture quiet;
    EXPECT_EQ(check_kernel_image(dir.file("nk.bin"), &length), -1);
    quiet.finish();
    EXPECT_EQ(test::stream_log_of(traffic_ops), Log{"open nk.bin rb"});
}

struct MergeCase {
    const char* name;
    std::vector<std::size_t> segments;  // sizes of nk.nb0, nk.nb1, ...
    std::uint32_t image_length;
    const char* fault;  // nullptr: none
    int status;
    Log traffic;
};

TEST(SegmentMerge, ChunksNeverExceedTheBufferNorCrossTheImageLength) {
    const MergeCase cases[] = {
        {"length zero opens no segment", {10}, 0, nullptr, 0, {"open nk.tmp wb", "flush nk.tmp", "close nk.tmp"}},
        {"65,536-byte segment in one chunk",
         {65536},
         65536,
         nullptr,
         0,
         {"open nk.tmp wb", "open nk.nb0 rb", "read nk.nb0 65536", "write nk.tmp 65536", "close nk.nb0", "flush nk.tmp",
          "close nk.tmp"}},
        {"65,537-byte segment in two chunks",
         {65537},
         65537,
         nullptr,
         0,
         {"open nk.tmp wb", "open nk.nb0 rb", "read nk.nb0 65536", "write nk.tmp 65536", "read nk.nb0 1",
          "write nk.tmp 1", "close nk.nb0", "flush nk.tmp", "close nk.tmp"}},
        {"length ends at a chunk boundary inside the segment",
         {65537},
         65536,
         nullptr,
         0,
         {"open nk.tmp wb", "open nk.nb0 rb", "read nk.nb0 65536", "write nk.tmp 65536", "close nk.nb0", "flush nk.tmp",
          "close nk.tmp"}},
        {"length cuts inside the second chunk",
         {140000, 10},
         65540,
         nullptr,
         0,
         {"open nk.tmp wb", "open nk.nb0 rb", "read nk.nb0 65536", "write nk.tmp 65536", "read nk.nb0 4",
          "write nk.tmp 4", "close nk.nb0", "flush nk.tmp", "close nk.tmp"}},
        {"short segments taken whole, empty one opened and closed",
         {3, 0, 70000},
         65543,
         nullptr,
         0,
         {"open nk.tmp wb", "open nk.nb0 rb", "read nk.nb0 3", "write nk.tmp 3", "close nk.nb0", "open nk.nb1 rb",
          "close nk.nb1", "open nk.nb2 rb", "read nk.nb2 65536", "write nk.tmp 65536", "read nk.nb2 4",
          "write nk.tmp 4", "close nk.nb2", "flush nk.tmp", "close nk.tmp"}},
        {"missing segment closes nk.tmp",
         {5},
         6,
         nullptr,
         -1,
         {"open nk.tmp wb", "open nk.nb0 rb", "read nk.nb0 5", "write nk.tmp 5", "close nk.nb0", "open nk.nb1 rb",
          "close nk.tmp"}},
        {"short read closes nk.tmp, then the segment",
         {100},
         100,
         "read:nk.nb0:1:40",
         -1,
         {"open nk.tmp wb", "open nk.nb0 rb", "read nk.nb0 100 !", "close nk.tmp", "close nk.nb0"}},
        {"short write closes nk.tmp, then the segment",
         {100},
         100,
         "write:nk.tmp:1:10",
         -1,
         {"open nk.tmp wb", "open nk.nb0 rb", "read nk.nb0 100", "write nk.tmp 100 !", "close nk.tmp", "close nk.nb0"}},
        {"failed flush is a failure",
         {8},
         8,
         "flush:nk.tmp:1",
         -1,
         {"open nk.tmp wb", "open nk.nb0 rb", "read nk.nb0 8", "write nk.tmp 8", "close nk.nb0", "flush nk.tmp !",
          "close nk.tmp"}},
        {"failed close is a failure",
         {8},
         8,
         "close:nk.tmp:1",
         -1,
         {"open nk.tmp wb", "open nk.nb0 rb", "read nk.nb0 8", "write nk.tmp 8", "close nk.nb0", "flush nk.tmp",
          "close nk.tmp !"}},
        {"nk.tmp not created", {8}, 8, "open:nk.tmp:1", -1, {"open nk.tmp wb !"}},
    };
    for (const MergeCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        for (std::size_t n = 0; n < c.segments.size(); ++n) {
            dir.write("nk.nb" + std::to_string(n), test::random_bytes(c.segments[n], static_cast<std::uint32_t>(n)));
        }
        std::optional<test::Fault> fault;
        if (c.fault != nullptr) {
            fault = test::parse_fault(c.fault);
            ASSERT_TRUE(fault.has_value());
        }
        test::ScopedFaultStreams streams(fault);
        test::StdoutCapture quiet;
        const int status = merge_segments(dir.path(), dir.file("nk.tmp"), c.image_length);
        quiet.finish();
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(test::stream_log_of(traffic_ops), c.traffic);
        EXPECT_EQ(test::open_stream_count(), 0u);
    }
}

}  // namespace
}  // namespace romfold
