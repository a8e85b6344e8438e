#include "app/release_paths.h"

#include <gtest/gtest.h>

#include <string>

namespace romfold {
namespace {

TEST(ReleasePaths, EveryNameFollowsTheDirectoryAsGiven) {
    struct Case {
        std::string directory;
        std::string prefix;  // what precedes each file name
    };
    const Case cases[] = {
        {"release", "release/"},
        {"/abs/release", "/abs/release/"},
        {"release/", "release//"},  // never normalised
        {"./a/../b", "./a/../b/"},
        {"", "/"},
        {"dir with spaces %s %d", "dir with spaces %s %d/"},     // a path, not a format
        {std::string(5000, 'x'), std::string(5000, 'x') + "/"},  // no length limit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.directory.substr(0, 40));
        const ReleasePaths paths = make_release_paths(c.directory);
        EXPECT_EQ(paths.directory, c.directory);
        EXPECT_EQ(paths.kernel_image, c.prefix + "nk.bin");
        EXPECT_EQ(paths.merged_image, c.prefix + "nk.tmp");
        EXPECT_EQ(paths.container, c.prefix + "nbx.tmp");
        EXPECT_EQ(paths.splash, c.prefix + "splash.tss");
        EXPECT_EQ(paths.packed_image, c.prefix + "nk.nbx");
        EXPECT_EQ(segment_path(c.directory, 0), c.prefix + "nk.nb0");
    }
}

TEST(ReleasePaths, SegmentNumbersAreDecimalWithoutPadding) {
    struct Case {
        int number;
        const char* path;
    };
    const Case cases[] = {
        {0, "d/nk.nb0"}, {9, "d/nk.nb9"}, {10, "d/nk.nb10"}, {123, "d/nk.nb123"}, {2147483647, "d/nk.nb2147483647"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(segment_path("d", c.number), c.path);
    }
}

}  // namespace
}  // namespace romfold
