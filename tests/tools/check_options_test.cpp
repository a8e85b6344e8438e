// The spellings of the command line that all mean the same options.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/check_options.h"

namespace romfold::check {
namespace {

// The command line as one text, to name a case.
std::string joined(const std::vector<std::string>& args) {
    std::string text;
    for (const std::string& arg : args) text += " " + arg;
    return text;
}

TEST(CheckOptions, SpellingsOfTheSameOptions) {
    struct Case {
        std::vector<std::string> args;
        bool verbose;
        bool force;
        std::string compare;
        std::string extract;
        std::string file;
    };
    const Case cases[] = {
        {{"nk.nbx"}, false, false, "", "", "nk.nbx"},
        {{"-v", "-f", "nk.nbx"}, true, true, "", "", "nk.nbx"},
        {{"nk.nbx", "-vf"}, true, true, "", "", "nk.nbx"},
        {{"--verbose", "--force", "nk.nbx"}, true, true, "", "", "nk.nbx"},
        {{"-c", "nk.tmp", "-x", "out", "nk.nbx"}, false, false, "nk.tmp", "out", "nk.nbx"},
        {{"-cnk.tmp", "-vxout", "nk.nbx"}, true, false, "nk.tmp", "out", "nk.nbx"},
        {{"--compare=nk.tmp", "--extract", "out", "nk.nbx"}, false, false, "nk.tmp", "out", "nk.nbx"},
        {{"--compare", "-v", "nk.nbx"}, false, false, "-v", "", "nk.nbx"},  // a value, not an option
        {{"-v", "--", "-f"}, true, false, "", "", "-f"},
        {{"-"}, false, false, "", "", "-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(joined(c.args));
        const ParseResult result = parse_check_options(c.args);
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.options.verbose, c.verbose);
        EXPECT_EQ(result.options.force, c.force);
        EXPECT_EQ(result.options.compare_path, c.compare);
        EXPECT_EQ(result.options.extract_dir, c.extract);
        EXPECT_EQ(result.options.file, c.file);
    }
}

TEST(CheckOptions, SpellingsOfHelp) {
    struct Case {
        std::vector<std::string> args;
        bool help;
        std::string file;
    };
    const Case cases[] = {
        {{"-h"}, true, ""},
        {{"--help"}, true, ""},
        {{"/?"}, true, ""},
        {{"nk.nbx", "/?"}, true, ""},
        {{"-v", "/?", "-c", "nk.tmp"}, true, ""},
        {{"--", "/?"}, false, "/?"},  // after "--", a file name
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(joined(c.args));
        const ParseResult result = parse_check_options(c.args);
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.options.help, c.help);
        EXPECT_EQ(result.options.file, c.file);
    }
}

}  // namespace
}  // namespace romfold::check
