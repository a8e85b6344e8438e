// ROMFOLD_THREADS through the built tool: any accepted worker count packs the
// same files with the same output, and a value that is not a count stops the
// run before a file is touched.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/pipeline_cases.h"
#include "tests/support/run_program.h"

namespace romfold::test {
namespace {

struct WorkerRun {
    ProgramResult result;  // "{dir}" in place of the scratch directory
    Files after;
};

WorkerRun run_with(const Files& before, const std::string& threads) {
    ScratchDir dir;
    for (const auto& [name, bytes] : before) dir.write(name, bytes);
    WorkerRun run;
    run.result = run_program(ROMFOLD_BIN, {dir.path()}, dir.path(), {"ROMFOLD_THREADS=" + threads});
    run.result.out = replace_all(run.result.out, dir.path(), "{dir}");
    run.after = dir.entries();
    return run;
}

// Eleven blocks and a short one, compressible and random in turn, over two segments.
Files many_blocks() {
    constexpr std::uint32_t length = 11 * 65536 + 300;
    Bytes image;
    for (std::uint32_t i = 0; image.size() < length; ++i) {
        const Bytes part =
            i % 2 == 0 ? Bytes(65536, static_cast<std::uint8_t>(i)) : segment(static_cast<int>(i), 65536);
        image.insert(image.end(), part.begin(), part.end());
    }
    image.resize(length);
    return {{"nk.bin", kernel_image(length)},
            {"nk.nb0", Bytes(image.begin(), image.begin() + 200000)},
            {"nk.nb1", Bytes(image.begin() + 200000, image.end())}};
}

TEST(WorkerCount, EveryCountPacksTheSameFiles) {
    const Files before = many_blocks();
    const WorkerRun alone = run_with(before, "1");
    ASSERT_EQ(alone.result.status, 0) << alone.result.out;
    // Unset-like values take one worker per CPU; 64 is more workers than blocks.
    for (const std::string threads : {"", "0", "2", "5", "64"}) {
        SCOPED_TRACE("ROMFOLD_THREADS=" + threads);
        const WorkerRun run = run_with(before, threads);
        EXPECT_EQ(run.result.status, 0);
        EXPECT_EQ(run.result.out, alone.result.out);
        EXPECT_EQ(run.result.err, "");
        EXPECT_TRUE(run.after == alone.after) << "the files differ from one worker's";
    }
}

TEST(WorkerCount, ValueThatIsNotACountStopsTheRun) {
    const Files before = release(100, {100});
    for (const std::string threads : {"abc", "4x", "-1", " 2", "1025", "99999999999999999999"}) {
        SCOPED_TRACE("ROMFOLD_THREADS=" + threads);
        const WorkerRun run = run_with(before, threads);
        EXPECT_EQ(run.result.status, 255);
        EXPECT_EQ(run.result.out,
                  "ROMFOLD_THREADS=" + threads + " is not a worker count: give 1 to 1024, or 0 for one per CPU.\r\n");
        EXPECT_EQ(run.result.err, "");
        EXPECT_TRUE(run.after == before) << "a file was touched";
    }
}

}  // namespace
}  // namespace romfold::test
