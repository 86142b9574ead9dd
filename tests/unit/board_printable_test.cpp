// Input quoted back in output: control characters become '?', other bytes
// stay, and copies are cut to the room given.
#include <gtest/gtest.h>

#include <string>

#include "board/printable.h"

namespace {

TEST(Printable, ControlCharactersAreShownAsQuestionMarks) {
    const struct {
        std::string text, shown;
    } cases[] = {
        {"e2e4", "e2e4"},
        {"foo\rbestmove a1a1", "foo?bestmove a1a1"},
        {std::string("a\0b", 3), "a?b"},
        {"\x1b[31m\t\n\x7f", "?[31m???"},
        {"\x1f \x20~", "?  ~"},
        {"caf\xc3\xa9 \x80\x9b\xff", "caf\xc3\xa9 \x80\x9b\xff"},
        {"", ""},
    };
    for (const auto &c : cases) {
        char out[64];
        EXPECT_EQ(printableCopy(out, sizeof out, c.text.data(), c.text.size()), std::string(c.shown)) << c.shown;
        testing::internal::CaptureStdout();
        printPrintable(c.text.data(), c.text.size());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.shown);
    }
}

TEST(Printable, CopiesAreCutToTheRoomGiven) {
    char out[5];
    EXPECT_STREQ(printableCopy(out, sizeof out, "abc\rdefgh", 9), "abc?");
    EXPECT_STREQ(printableCopy(out, 1, "abc", 3), "");
    // Long text is written whole.
    std::string long_text(5000, 'x');
    long_text[4000] = '\r';
    testing::internal::CaptureStdout();
    printPrintable(long_text.data(), long_text.size());
    std::string expected = long_text;
    expected[4000] = '?';
    EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
}

}  // namespace
