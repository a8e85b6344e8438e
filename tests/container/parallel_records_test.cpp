// The block container writer with several workers: whatever the image and
// whatever call fails, the container, the console text, the status and the
// streams left open are exactly those of one worker.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "container/block_container_writer.h"
#include "tests/support/bytes.h"
#include "tests/support/fault_streams.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/stdout_capture.h"

namespace romfold {
namespace {

using test::Bytes;
using test::random_bytes;
using test::ScratchDir;
using test::StdoutCapture;

constexpr std::size_t block = 65536;

struct Outcome {
    int status = -1;
    std::string output;
    std::optional<Bytes> container;  // none when it was never created
    std::size_t open_streams = 0;
    std::vector<std::string> calls;
};

Outcome fold(const Bytes& source, unsigned workers, const std::optional<test::Fault>& fault = std::nullopt) {
    ScratchDir dir;
    dir.write("nk.tmp", source);
    Outcome outcome;
    {
        const test::ScopedFaultStreams streams(fault);
        StdoutCapture capture;
        outcome.status = FoldEncodeFile(dir.file("nk.tmp").c_str(), dir.file("nbx.tmp").c_str(), workers);
        outcome.output = capture.finish();
        outcome.open_streams = test::open_stream_count();
        outcome.calls = test::stream_log();
    }
    const auto entries = dir.entries();
    if (const auto found = entries.find("nbx.tmp"); found != entries.end()) outcome.container = found->second;
    return outcome;
}

// Blocks that compress and blocks that are stored, alternating, and a short
// last block.
Bytes mixed_blocks(std::size_t blocks, std::size_t tail) {
    Bytes source;
    for (std::size_t i = 0; i < blocks; ++i) {
        if (i % 2 == 0) {
            const Bytes noise = random_bytes(block, static_cast<std::uint32_t>(i));
            source.insert(source.end(), noise.begin(), noise.end());
        } else {
            for (std::size_t j = 0; j < block; ++j) source.push_back(static_cast<std::uint8_t>((j * j >> 5) + i));
        }
    }
    const Bytes last = random_bytes(tail, 99);
    source.insert(source.end(), last.begin(), last.end());
    return source;
}

struct ImageCase {
    const char* name;
    Bytes source;
};

TEST(ParallelRecords, EveryImageGivesOneWorkersOutput) {
    const ImageCase cases[] = {
        {.name = "empty", .source = {}},
        {.name = "one stored byte", .source = {42}},
        {.name = "one compressed block", .source = Bytes(block, 7)},
        {.name = "one block and one byte", .source = Bytes(block + 1, 0)},
        {.name = "many tiny records", .source = Bytes(64 * block + 3, 0)},
        {.name = "stored and compressed mixed", .source = mixed_blocks(9, 1000)},
    };
    for (const ImageCase& c : cases) {
        const Outcome alone = fold(c.source, 1);
        ASSERT_EQ(alone.status, 0) << c.name;
        // More workers than blocks, as many, and fewer (the ring wraps).
        for (const unsigned workers : {2u, 3u, 8u, 64u}) {
            SCOPED_TRACE(std::string(c.name) + ", workers " + std::to_string(workers));
            const Outcome run = fold(c.source, workers);
            EXPECT_EQ(run.status, 0);
            EXPECT_EQ(run.output, alone.output);
            EXPECT_TRUE(run.container == alone.container);
            EXPECT_EQ(run.open_streams, 0u);
        }
    }
}

// "read nk.tmp 65536" -> "read:nk.tmp:<how many such calls so far>".
std::vector<std::string> every_call(const std::vector<std::string>& calls) {
    std::map<std::string, unsigned> seen;
    std::vector<std::string> faults;
    for (const std::string& entry : calls) {
        std::istringstream words(entry);
        std::string op;
        std::string file;
        words >> op >> file;
        const std::string key = op + ":" + file;
        faults.push_back(key + ":" + std::to_string(++seen[key]));
        if (op == "read" || op == "write") faults.push_back(faults.back() + ":1");  // one byte gets through
    }
    return faults;
}

TEST(ParallelRecords, EveryFailedCallEndsAsWithOneWorker) {
    const Bytes source = mixed_blocks(6, 5);
    const Outcome plain = fold(source, 1);
    ASSERT_EQ(plain.status, 0);
    const std::vector<std::string> faults = every_call(plain.calls);
    ASSERT_GT(faults.size(), 40u);
    for (const std::string& text : faults) {
        const std::optional<test::Fault> fault = test::parse_fault(text);
        ASSERT_TRUE(fault) << text;
        const Outcome alone = fold(source, 1, fault);
        for (const unsigned workers : {2u, 5u}) {
            SCOPED_TRACE(text + ", workers " + std::to_string(workers));
            const Outcome run = fold(source, workers, fault);
            EXPECT_EQ(run.status, alone.status);
            EXPECT_EQ(run.output, alone.output);
            EXPECT_TRUE(run.container == alone.container) << "the container differs from one worker's";
            EXPECT_EQ(run.open_streams, 0u);
        }
    }
}

}  // namespace
}  // namespace romfold
