#include "container/file_access.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "container/stream_ops.h"
#include "tests/support/fault_streams.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/stdout_capture.h"

namespace romfold {
namespace {

using test::Bytes;
using test::ScratchDir;
using test::StdoutCapture;

constexpr std::uint32_t unset_size = 0xDEADBEEFu;

struct ReadOutcome {
    int status = -1;
    std::string printed;
    std::uint32_t size = unset_size;
    int first_byte = EOF;  // first byte read after success
};

ReadOutcome open_for_reading(const std::string& path) {
    ReadOutcome outcome;
    std::FILE* stream = nullptr;
    StdoutCapture capture;
    outcome.status = OpenForReading(path.c_str(), &stream, &outcome.size);
    outcome.printed = capture.finish();
    if (outcome.status == open_ok) {
        outcome.first_byte = std::fgetc(stream);
        stream_close(stream);
    }
    return outcome;
}

TEST(OpenForReading, MissingFileFailsToOpen) {
    ScratchDir dir;
    const ReadOutcome outcome = open_for_reading(dir.file("absent"));
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.printed, "OpenForReading: fopen() failed\n");
}

TEST(OpenForReading, EmptyFileHasSizeZero) {
    ScratchDir dir;
    dir.write("empty", Bytes{});
    const ReadOutcome outcome = open_for_reading(dir.file("empty"));
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.printed, "");
    EXPECT_EQ(outcome.size, 0u);
    EXPECT_EQ(outcome.first_byte, EOF);
}

TEST(OpenForReading, MeasuresAndRewindsToTheFirstByte) {
    ScratchDir dir;
    dir.write("data", std::string("\x7f"
                                  "ELF and more",
                                  13));
    const ReadOutcome outcome = open_for_reading(dir.file("data"));
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.printed, "");
    EXPECT_EQ(outcome.size, 13u);
    EXPECT_EQ(outcome.first_byte, 0x7f);
}

TEST(OpenForReading, SizesFrom4GBOnAreRefused) {
    struct Case {
        std::uint64_t size;
        int status;
        const char* printed;
        std::uint32_t reported;
    };
    const Case cases[] = {
        {0xFFFFFFFFull, 0, "", 0xFFFFFFFFu},
        {0x100000000ull, 5, "Files longer than 4GB are not supported\n", unset_size},
        {0x100000005ull, 5, "Files longer than 4GB are not supported\n", unset_size},  // not taken modulo 4 GB
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        ScratchDir dir;
        dir.make_sparse("big", c.size);
        test::ScopedFaultStreams streams;  // records only, to see the stream closed
        const ReadOutcome outcome = open_for_reading(dir.file("big"));
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_EQ(outcome.printed, c.printed);
        EXPECT_EQ(outcome.size, c.reported);
        EXPECT_EQ(test::open_stream_count(), 0u);
    }
}

TEST(OpenForReading, NullArgumentsTouchNoFile) {
    ScratchDir dir;
    dir.write("data", std::string("abc"));
    const std::string path = dir.file("data");
    std::FILE* stream = nullptr;
    std::uint32_t size = 0;
    struct Case {
        const char* name;
        const char* path;
        std::FILE** stream;
        std::uint32_t* size;
    };
    const Case cases[] = {
        {"null path", nullptr, &stream, &size},
        {"null stream slot", path.c_str(), nullptr, &size},
        {"null size slot", path.c_str(), &stream, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedFaultStreams streams;
        StdoutCapture capture;
        const int status = OpenForReading(c.path, c.stream, c.size);
        EXPECT_EQ(capture.finish(), "OpenForReading: bad arguments\n");
        EXPECT_EQ(status, 1);
        EXPECT_TRUE(test::stream_log().empty());
    }
}

// Failures that plain files cannot provoke: each one must print its line,
// return its status and leave no stream open.
TEST(OpenForReading, SeekAndPositionFailuresCloseTheStream) {
    ScratchDir dir;
    dir.write("data", std::string("abcdef"));
    struct Case {
        const char* fault;
        int status;
        const char* printed;
    };
    const Case cases[] = {
        {"seek:data:1", 3, "OpenForReading: fseek() failed\n"},  // to the end
        {"seek:data:2", 3, "OpenForReading: fseek() failed\n"},  // back to the start
        {"tell:data:1", 4, "OpenForReading: fgetpos() failed\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        test::ScopedFaultStreams streams(test::parse_fault(c.fault));
        const ReadOutcome outcome = open_for_reading(dir.file("data"));
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_EQ(outcome.printed, c.printed);
        EXPECT_EQ(test::open_stream_count(), 0u);
        EXPECT_EQ(test::stream_log().back(), "close data");
    }
}

TEST(OpenForWriting, CreatesAMissingFileEmpty) {
    ScratchDir dir;
    std::FILE* stream = nullptr;
    StdoutCapture capture;
    const int status = OpenForWriting(dir.file("new").c_str(), &stream);
    EXPECT_EQ(capture.finish(), "");
    ASSERT_EQ(status, 0);
    std::fclose(stream);
    EXPECT_EQ(test::read_file(dir.file("new")), Bytes{});
}

TEST(OpenForWriting, TruncatesAnExistingFile) {
    ScratchDir dir;
    dir.write("old", std::string("previous contents"));
    std::FILE* stream = nullptr;
    StdoutCapture capture;
    const int status = OpenForWriting(dir.file("old").c_str(), &stream);
    EXPECT_EQ(capture.finish(), "");
    ASSERT_EQ(status, 0);
    EXPECT_EQ(test::read_file(dir.file("old")), Bytes{});
    std::fclose(stream);
}

TEST(OpenForWriting, UnwritablePathFailsToOpen) {
    ScratchDir dir;
    dir.make_directory("taken");
    const std::string paths[] = {dir.file("no/such/dir/file"), dir.file("taken")};
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        std::FILE* stream = nullptr;
        StdoutCapture capture;
        const int status = OpenForWriting(path.c_str(), &stream);
        EXPECT_EQ(capture.finish(), "OpenForWriting: fopen() failed\n");
        EXPECT_EQ(status, 2);
    }
}

TEST(OpenForWriting, NullArgumentsTouchNoFile) {
    ScratchDir dir;
    const std::string path = dir.file("never");
    std::FILE* stream = nullptr;
    struct Case {
        const char* name;
        const char* path;
        std::FILE** stream;
    };
    const Case cases[] = {
        {"null path", nullptr, &stream},
        {"null stream slot", path.c_str(), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StdoutCapture capture;
        const int status = OpenForWriting(c.path, c.stream);
        EXPECT_EQ(capture.finish(), "OpenForWriting: bad arguments\n");
        EXPECT_EQ(status, 1);
        EXPECT_TRUE(dir.entries().empty());
    }
}

}  // namespace
}  // namespace romfold
