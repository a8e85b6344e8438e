// The console relay converts whole UTF-8 characters only: a character cut off
// at the end of a read waits for its remaining bytes.
#include <gtest/gtest.h>

#include <string>

#include "container/console_text.h"

namespace romfold {
namespace {

TEST(ConsoleText, WholeUtf8Length) {
    struct Case {
        std::string text;
        std::size_t whole;
    };
    const Case cases[] = {
        {"", 0},
        {"Zo", 2},
        {"Zo\xC3\xAB", 4},        // e with diaeresis, whole
        {"Zo\xC3", 2},            // its first byte alone
        {"\xE2\x82\xAC", 3},      // euro sign, whole
        {"a\xE2\x82", 1},         // two of its three bytes
        {"a\xE2", 1},             // one of them
        {"\xF0\x9F\x98\x80", 4},  // a four-byte character
        {"ab\xF0\x9F\x98", 2},    // three of its bytes
        {"\x80\x80\x80", 3},      // stray continuation bytes: no character waits
        {"a\xFF", 2},             // no UTF-8 at all: shown as it converts
        {"line\r\n", 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(whole_utf8_length(c.text.data(), c.text.size()), c.whole);
    }
}

}  // namespace
}  // namespace romfold
