// The block container writer: container bytes, statistics lines, and every
// failure with its message, code and what stays on disk.
#include "container/block_container_writer.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/compressed_blocks.h"
#include "tests/support/decoded_file.h"
#include "tests/support/fault_streams.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/stdout_capture.h"

namespace romfold {
namespace {

using test::append_le32;
using test::Bytes;
using test::compressed;
using test::one_compressed_block;
using test::random_bytes;
using test::read_file;
using test::ScratchDir;
using test::StdoutCapture;

struct FoldRun {
    int status;
    std::string output;
};

FoldRun fold(const ScratchDir& dir, const Bytes& source) {
    dir.write("nk.tmp", source);
    StdoutCapture capture;
    const int status = FoldEncodeFile(dir.file("nk.tmp").c_str(), dir.file("nbx.tmp").c_str());
    return {status, capture.finish()};
}

std::string statistics(std::uint32_t in, std::uint32_t out) {
    StdoutCapture capture;
    print_statistics(in, out);
    return capture.finish();
}

Bytes zeros_then(std::size_t zeros, const Bytes& tail) {
    Bytes out(zeros, 0);
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

TEST(BlockContainerWriter, EmptySourceIsHeaderOnly) {
    ScratchDir dir;
    const FoldRun run = fold(dir, {});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "\nInput file size : 0 bytes\nOutput file size: 8 bytes\nGain            : 0.00\n");
    EXPECT_EQ(read_file(dir.file("nbx.tmp")), (Bytes{'X', 'P', 'R', 'S', 0, 0, 0, 0}));
}

TEST(BlockContainerWriter, FiveBytesAreOneStoredLastBlock) {
    ScratchDir dir;
    const FoldRun run = fold(dir, {1, 2, 3, 4, 5});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "\nInput file size : 5 bytes\nOutput file size: 21 bytes\nGain            : -320.00%\n");
    EXPECT_EQ(read_file(dir.file("nbx.tmp")),
              (Bytes{'X', 'P', 'R', 'S', 5, 0, 0, 0, 5, 0, 0, 0xC0, 5, 0, 0, 0, 1, 2, 3, 4, 5}));
}

TEST(BlockContainerWriter, FullBlockThenOneByte) {
    for (const std::size_t size : {std::size_t{65536}, std::size_t{65537}}) {
        ScratchDir dir;
        const Bytes source = zeros_then(size - 1, {7});
        const FoldRun run = fold(dir, source);
        ASSERT_EQ(run.status, 0);
        const Bytes first = compressed(Bytes(source.begin(), source.begin() + 65536));
        ASSERT_FALSE(first.empty());
        Bytes expected{'X', 'P', 'R', 'S'};
        append_le32(expected, static_cast<std::uint32_t>(size));
        append_le32(expected, static_cast<std::uint32_t>(first.size()) | (size == 65536 ? 0x40000000u : 0u));
        if (size == 65536) append_le32(expected, 65536);
        expected.insert(expected.end(), first.begin(), first.end());
        expected.resize((expected.size() + 3) / 4 * 4, 0);
        if (size == 65537) {
            append_le32(expected, 0xC0000001u);
            append_le32(expected, 1);
            expected.push_back(7);
        }
        EXPECT_EQ(read_file(dir.file("nbx.tmp")), expected) << size;
        EXPECT_EQ(run.output,
                  statistics(static_cast<std::uint32_t>(size), static_cast<std::uint32_t>(expected.size())));
    }
}

TEST(BlockContainerWriter, CompressedBlocksArePaddedToFourBytes) {
    for (std::uint32_t remainder = 0; remainder < 4; ++remainder) {
        const auto [source, block, expected] = one_compressed_block(remainder);
        ASSERT_EQ(expected.size(), 16 + block.size() + (4 - remainder) % 4);
        ScratchDir dir;
        const FoldRun run = fold(dir, source);
        ASSERT_EQ(run.status, 0);
        EXPECT_EQ(read_file(dir.file("nbx.tmp")), expected) << remainder;
        EXPECT_EQ(run.output,
                  statistics(static_cast<std::uint32_t>(source.size()), static_cast<std::uint32_t>(expected.size())));
    }
}

TEST(BlockContainerWriter, LargeSourceDecodesToItself) {
    Bytes source;
    for (std::uint32_t seed = 0; seed < 5; ++seed) {
        const Bytes part = random_bytes(50000, seed);
        source.insert(source.end(), part.begin(), part.end());
        source.insert(source.end(), 30000 + seed, static_cast<std::uint8_t>(seed));
    }
    ScratchDir dir;
    const FoldRun run = fold(dir, source);
    ASSERT_EQ(run.status, 0);
    const test::DecodedFile decoded = test::decode_container_file(dir.file("nbx.tmp"));
    ASSERT_TRUE(decoded.ok) << decoded.message;
    EXPECT_EQ(decoded.image, source);
    EXPECT_EQ(run.output, statistics(static_cast<std::uint32_t>(source.size()),
                                     static_cast<std::uint32_t>(read_file(dir.file("nbx.tmp")).size())));
}

TEST(PrintStatistics, SignedSizesAndGain) {
    EXPECT_EQ(statistics(1000, 250),
              "\nInput file size : 1000 bytes\nOutput file size: 250 bytes\nGain            : 75.00%\n");
    EXPECT_EQ(statistics(3, 2), "\nInput file size : 3 bytes\nOutput file size: 2 bytes\nGain            : 33.33%\n");
    EXPECT_EQ(statistics(0x80000000u, 8),
              "\nInput file size : -2147483648 bytes\nOutput file size: 8 bytes\nGain            : 100.00%\n");
}

TEST(BlockContainerWriterFailure, NullPaths) {
    StdoutCapture capture;
    EXPECT_EQ(FoldEncodeFile(nullptr, "x"), 1);
    EXPECT_EQ(FoldEncodeFile("x", nullptr), 1);
    EXPECT_EQ(capture.finish(), "\nFoldEncodeFile: bad arguments\n\nFoldEncodeFile: bad arguments\n");
}

TEST(BlockContainerWriterFailure, MissingSourceCreatesNoDestination) {
    ScratchDir dir;
    StdoutCapture capture;
    EXPECT_EQ(FoldEncodeFile(dir.file("nk.tmp").c_str(), dir.file("nbx.tmp").c_str()), 1);
    EXPECT_EQ(capture.finish(), "OpenForReading: fopen() failed\n\nFoldEncodeFile: OpenForReading() failed\n");
    EXPECT_TRUE(dir.entries().empty());
}

TEST(BlockContainerWriterFailure, DestinationCannotBeCreated) {
    ScratchDir dir;
    dir.write("nk.tmp", Bytes(100, 1));
    StdoutCapture capture;
    EXPECT_EQ(FoldEncodeFile(dir.file("nk.tmp").c_str(), dir.file("missing/nbx.tmp").c_str()), 2);
    EXPECT_EQ(capture.finish(), "OpenForWriting: fopen() failed\n\nFoldEncodeFile: OpenForWriting() failed\n");
}

TEST(BlockContainerWriterFailure, FullDisk) {
    // A small container fails only when close writes it out (reported like a
    // failed write); a large block's data write fails at once, silently.
    // On Linux nbx.tmp is a link to /dev/full; Windows has no such device,
    // so there the stream call at which the full disk shows first fails.
    struct Case {
        std::size_t size;
        std::string output;
        const char* windows_fault;
    };
    for (const Case& c :
         {Case{100, "\nFoldEncodeFile: fwrite() failed\n", "close:nbx.tmp:1"}, Case{200000, "", "write:nbx.tmp:4"}}) {
        ScratchDir dir;
        dir.write("nk.tmp", random_bytes(c.size, 3));
#ifdef _WIN32
        const test::ScopedFaultStreams faults(test::parse_fault(c.windows_fault));
#else
        dir.symlink("nbx.tmp", "/dev/full");
#endif
        StdoutCapture capture;
        EXPECT_EQ(FoldEncodeFile(dir.file("nk.tmp").c_str(), dir.file("nbx.tmp").c_str()), 4) << c.size;
        EXPECT_EQ(capture.finish(), c.output) << c.size;
    }
}

struct FaultCase {
    const char* fault;
    int status;
    const char* output;
};

class BlockContainerWriterFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(BlockContainerWriterFault, MessageCodeAndCleanUp) {
    const FaultCase& c = GetParam();
    ScratchDir dir;
    // A compressed first block of 15 bytes (one byte of padding), then a
    // stored last block of 20 bytes.
    Bytes source = zeros_then(65533, {'a', 'b', 'c'});
    const Bytes tail = random_bytes(20, 9);
    source.insert(source.end(), tail.begin(), tail.end());
    ASSERT_EQ(compressed(Bytes(source.begin(), source.begin() + 65536)).size(), 15u);
    dir.write("nk.tmp", source);
    std::string output;
    int status;
    {
        test::ScopedFaultStreams streams(test::parse_fault(c.fault));
        StdoutCapture capture;
        status = FoldEncodeFile(dir.file("nk.tmp").c_str(), dir.file("nbx.tmp").c_str());
        output = capture.finish();
        EXPECT_EQ(test::open_stream_count(), 0u) << c.fault;
    }
    EXPECT_EQ(status, c.status) << c.fault;
    EXPECT_EQ(output, c.output) << c.fault;
    EXPECT_EQ(read_file(dir.file("nk.tmp")), source);  // the source is never touched
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BlockContainerWriterFault,
    ::testing::Values(
        FaultCase{"error:nk.tmp:1", 3, "\nFoldEncodeFile: fread() failed\n"},
        FaultCase{"read:nk.tmp:2", 7, "\nFoldEncodeFile: FoldEncode() failed\n"},  // shrank to nothing
        FaultCase{"write:nbx.tmp:1", 4, "\nFoldEncodeFile: fwrite() failed\n"},    // magic
        FaultCase{"write:nbx.tmp:2", 4, "\nFoldEncodeFile: fwrite() failed\n"},    // total size
        FaultCase{"write:nbx.tmp:3", 4, "\nFoldEncodeFile: fwrite() failed\n"},    // block word
        FaultCase{"write:nbx.tmp:4", 4, ""},                                       // block data
        FaultCase{"write:nbx.tmp:5", 4, ""},                                       // padding
        FaultCase{"write:nbx.tmp:7", 4, "\nFoldEncodeFile: fwrite() failed\n"},    // last size word
        FaultCase{"write:nbx.tmp:8", 4, ""},                                       // stored data
        FaultCase{"close:nbx.tmp:1", 4, "\nFoldEncodeFile: fwrite() failed\n"},
        FaultCase{"open:nk.tmp:1", 1, "OpenForReading: fopen() failed\n\nFoldEncodeFile: OpenForReading() failed\n"},
        FaultCase{"seek:nk.tmp:1", 1, "OpenForReading: fseek() failed\n\nFoldEncodeFile: OpenForReading() failed\n"},
        FaultCase{"open:nbx.tmp:1", 2, "OpenForWriting: fopen() failed\n\nFoldEncodeFile: OpenForWriting() failed\n"}),
    [](const ::testing::TestParamInfo<FaultCase>& info) {
        // "write:nbx.tmp:3" becomes write_nbx_tmp_3.
        std::string name = info.param.fault;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        return name;
    });

TEST(BlockContainerWriter, ReadsAskOnlyForTheBytesStillDue) {
    ScratchDir dir;
    dir.write("nk.tmp", random_bytes(65537, 4));
    test::ScopedFaultStreams streams;
    StdoutCapture capture;
    ASSERT_EQ(FoldEncodeFile(dir.file("nk.tmp").c_str(), dir.file("nbx.tmp").c_str()), 0);
    capture.finish();
    EXPECT_EQ(test::stream_log_of({"read"}), (std::vector<std::string>{"read nk.tmp 65536", "read nk.tmp 1"}));
    EXPECT_EQ(test::stream_log_of({"close"}), (std::vector<std::string>{"close nk.tmp", "close nbx.tmp"}));
}

}  // namespace
}  // namespace romfold
