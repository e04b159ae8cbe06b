#include "TerminalText.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(TerminalText, ControlBytesAndBrokenUtf8AreShownEscapedAndLettersKept)
{
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"plain name.mp3", "plain name.mp3"},
        {"two\nlines", "two\\x0alines"},
        {"\x1b[31mred\x1b[0m", "\\x1b[31mred\\x1b[0m"},
        {"tab\there\x7f", "tab\\x09here\\x7f"},
        {"Caf\xC3\xA9 \xE2\x80\x93 \xE6\x97\xA5\xF0\x9F\x8E\xB5",
         "Caf\xC3\xA9 \xE2\x80\x93 \xE6\x97\xA5\xF0\x9F\x8E\xB5"},
        {"latin1 caf\xE9", "latin1 caf\\xe9"},
        {"c1 \xC2\x9B"
         "2J",
         "c1 \\xc2\\x9b2J"},
        {"cut \xE2\x80", "cut \\xe2\\x80"},
        {"overlong \xC0\xAF", "overlong \\xc0\\xaf"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CTerminalText::Escape(c.in), c.out) << c.out;
}

TEST(TerminalText, TheProgressLineFitsEveryWidthAndKeepsItsFigures)
{
    for (const int columns : {10, 20, 30, 50, 80, 200}) {
        const std::string line = CTerminalText::ProgressLine(columns, 16.0, 24.0, 270.0);
        EXPECT_LE(static_cast<int>(line.size()), columns - 1) << columns;
        if (columns >= 40) {
            EXPECT_NE(line.find("0:16 / 0:24"), std::string::npos) << line;
            EXPECT_NE(line.find('['), std::string::npos) << columns;
        }
    }
    const std::string half = CTerminalText::ProgressLine(80, 30.0, 60.0, 1.0);
    const size_t marks = half.find(']') - 1;
    const auto filled = static_cast<size_t>(std::count(half.begin(), half.end(), '#'));
    EXPECT_EQ(filled, marks / 2);
    // Running past the estimate shows the time done, never a total behind it.
    EXPECT_NE(CTerminalText::ProgressLine(80, 30.0, 20.0, 1.0).find("0:30 / 0:30"), std::string::npos);
    EXPECT_EQ(CTerminalText::Clock(3723.9), "1:02:03");
    EXPECT_EQ(CTerminalText::Clock(59.9), "0:59");
}
