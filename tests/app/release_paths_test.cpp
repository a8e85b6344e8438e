#include "app/release_paths.h"

#include <gtest/gtest.h>

#include <string>

namespace romfold {
namespace {

// The separator that joins the directory and a file name: a backslash on
// Windows, a slash elsewhere.
#ifdef _WIN32
const std::string sep = "\\";
#else
const std::string sep = "/";
#endif

TEST(ReleasePaths, EveryNameFollowsTheDirectoryAsGiven) {
    struct Case {
        std::string directory;
        std::string prefix;  // what precedes each file name
    };
    const Case cases[] = {
        {"release", "release" + sep},
        {"/abs/release", "/abs/release" + sep},
        {"C:\\release", "C:\\release" + sep},
        {"release/", "release/" + sep},    // never normalised: a separator at the end is doubled
        {"release\\", "release\\" + sep},  // on either system
        {"./a/../b", "./a/../b" + sep},
        {"", sep},
        {"dir with spaces %s %d", "dir with spaces %s %d" + sep},  // a path, not a format
        {std::string(5000, 'x'), std::string(5000, 'x') + sep},    // no length limit
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
        const char* name;
    };
    const Case cases[] = {
        {0, "nk.nb0"}, {9, "nk.nb9"}, {10, "nk.nb10"}, {123, "nk.nb123"}, {2147483647, "nk.nb2147483647"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(segment_path("d", c.number), "d" + sep + c.name);
    }
}

}  // namespace
}  // namespace romfold
