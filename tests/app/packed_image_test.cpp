// The stream traffic of the packed image stages, watched through the
// recording stream table: which files are opened, read, written and closed in
// which order, above all which streams each failure closes. The console
// output and the resulting files of the same paths are checked end to end in
// tests/e2e.
#include "app/packed_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/release_paths.h"
#include "tests/support/fault_streams.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/splash_file.h"
#include "tests/support/stdout_capture.h"

namespace romfold {
namespace {

using test::Bytes;
using test::ScratchDir;
using Log = std::vector<std::string>;

const Log traffic_ops = {"open", "read", "write", "flush", "close"};

// A 4 x 3 splash screen: the 138-byte header and its 24 pixel bytes.
Bytes splash_screen(std::uint8_t first = 'T') {
    test::SplashFields fields;
    fields.type[0] = first;
    return test::splash_file(fields, test::random_bytes(24, 5));
}

struct Case {
    const char* name;
    std::size_t stream_size;  // bytes of nbx.tmp
    Bytes splash;             // empty: no splash.tss
    const char* fault;        // nullptr: none
    int status;
    Log traffic;
};

// The traffic up to the creation of nk.nbx, with and without a splash screen.
const Log splash_checked = {"open nbx.tmp rb", "open splash.tss rb", "read splash.tss 10", "read splash.tss 4",
                            "read splash.tss 124"};

Log then(Log front, const Log& back) {
    front.insert(front.end(), back.begin(), back.end());
    return front;
}

const Log stream_copied =
    then(splash_checked, {"open nk.nbx wb", "write nk.nbx 16", "read nbx.tmp 20", "write nk.nbx 20", "close nbx.tmp"});
const Log block_head = {"write nk.nbx 4", "write nk.nbx 4", "write nk.nbx 4"};

TEST(PackedImageStages, EachFailureClosesWhatIsOpenInOrder) {
    const Case cases[] = {
        {"with a splash screen", 20, splash_screen(), nullptr, 0,
         then(then(stream_copied, block_head),
              {"read splash.tss 24", "write nk.nbx 24", "close splash.tss", "flush nk.nbx", "close nk.nbx"})},
        {"without a splash screen",
         20,
         {},
         nullptr,
         0,
         {"open nbx.tmp rb", "open splash.tss rb", "open nk.nbx wb", "write nk.nbx 16", "read nbx.tmp 20",
          "write nk.nbx 20", "close nbx.tmp", "flush nk.nbx", "close nk.nbx"}},
        {"stream copied in chunks of 64 KB",
         65537,
         {},
         nullptr,
         0,
         {"open nbx.tmp rb", "open splash.tss rb", "open nk.nbx wb", "write nk.nbx 16", "read nbx.tmp 65536",
          "write nk.nbx 65536", "read nbx.tmp 1", "write nk.nbx 1", "close nbx.tmp", "flush nk.nbx", "close nk.nbx"}},
        {"nbx.tmp not opened", 20, splash_screen(), "open:nbx.tmp:1", -1, {"open nbx.tmp rb !"}},
        {"unopenable splash.tss is none",
         20,
         splash_screen(),
         "open:splash.tss:1",
         0,
         {"open nbx.tmp rb", "open splash.tss rb !", "open nk.nbx wb", "write nk.nbx 16", "read nbx.tmp 20",
          "write nk.nbx 20", "close nbx.tmp", "flush nk.nbx", "close nk.nbx"}},
        {"bad signature closes nbx.tmp, then splash.tss",
         20,
         splash_screen('B'),
         nullptr,
         -1,
         {"open nbx.tmp rb", "open splash.tss rb", "read splash.tss 10", "close nbx.tmp", "close splash.tss"}},
        {"short information header read",
         20,
         splash_screen(),
         "read:splash.tss:3:60",
         -1,
         {"open nbx.tmp rb", "open splash.tss rb", "read splash.tss 10", "read splash.tss 4", "read splash.tss 124 !",
          "close nbx.tmp", "close splash.tss"}},
        {"nk.nbx not created, with splash", 20, splash_screen(), "open:nk.nbx:1", -1,
         then(splash_checked, {"open nk.nbx wb !", "close nbx.tmp", "close splash.tss"})},
        {"nk.nbx not created, without splash",
         20,
         {},
         "open:nk.nbx:1",
         -1,
         {"open nbx.tmp rb", "open splash.tss rb", "open nk.nbx wb !", "close nbx.tmp"}},
        {"header write short", 20, splash_screen(), "write:nk.nbx:1:3", -1,
         then(splash_checked,
              {"open nk.nbx wb", "write nk.nbx 16 !", "close nk.nbx", "close nbx.tmp", "close splash.tss"})},
        {"stream read short", 20, splash_screen(), "read:nbx.tmp:1:19", -1,
         then(splash_checked, {"open nk.nbx wb", "write nk.nbx 16", "read nbx.tmp 20 !", "close nk.nbx",
                               "close nbx.tmp", "close splash.tss"})},
        {"stream write short", 20, splash_screen(), "write:nk.nbx:2", -1,
         then(splash_checked, {"open nk.nbx wb", "write nk.nbx 16", "read nbx.tmp 20", "write nk.nbx 20 !",
                               "close nk.nbx", "close nbx.tmp", "close splash.tss"})},
        {"stream write short without splash",
         20,
         {},
         "write:nk.nbx:2",
         -1,
         {"open nbx.tmp rb", "open splash.tss rb", "open nk.nbx wb", "write nk.nbx 16", "read nbx.tmp 20",
          "write nk.nbx 20 !", "close nk.nbx", "close nbx.tmp"}},
        {"marker write short", 20, splash_screen(), "write:nk.nbx:3:1", -1,
         then(stream_copied, {"write nk.nbx 4 !", "close nk.nbx", "close splash.tss"})},
        {"height write short", 20, splash_screen(), "write:nk.nbx:5", -1,
         then(stream_copied,
              {"write nk.nbx 4", "write nk.nbx 4", "write nk.nbx 4 !", "close nk.nbx", "close splash.tss"})},
        {"pixel read short", 20, splash_screen(), "read:splash.tss:4:23", -1,
         then(then(stream_copied, block_head), {"read splash.tss 24 !", "close nk.nbx", "close splash.tss"})},
        {"pixel write short", 20, splash_screen(), "write:nk.nbx:6:23", -1,
         then(then(stream_copied, block_head),
              {"read splash.tss 24", "write nk.nbx 24 !", "close nk.nbx", "close splash.tss"})},
        {"flush fails", 20, splash_screen(), "flush:nk.nbx:1", -1,
         then(then(stream_copied, block_head),
              {"read splash.tss 24", "write nk.nbx 24", "close splash.tss", "flush nk.nbx !", "close nk.nbx"})},
        {"close fails", 20, splash_screen(), "close:nk.nbx:1", -1,
         then(then(stream_copied, block_head),
              {"read splash.tss 24", "write nk.nbx 24", "close splash.tss", "flush nk.nbx", "close nk.nbx !"})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        dir.write("nbx.tmp", test::random_bytes(c.stream_size, 8));
        if (!c.splash.empty()) {
            dir.write("splash.tss", c.splash);
        }
        std::optional<test::Fault> fault;
        if (c.fault != nullptr) {
            fault = test::parse_fault(c.fault);
            ASSERT_TRUE(fault.has_value());
        }
        test::ScopedFaultStreams streams(fault);
        test::StdoutCapture quiet;
        const int status = write_packed_image(make_release_paths(dir.path()));
        quiet.finish();
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(test::stream_log_of(traffic_ops), c.traffic);
        EXPECT_EQ(test::open_stream_count(), 0u);
    }
}

}  // namespace
}  // namespace romfold
