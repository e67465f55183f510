#include "helpers.h"

TEST_F(ConsoleTest, FullBufferScrollsOutTheOldestLine) {
    ConPrint("gone");
    for (int i = 1; i <= 100; ++i) ConPrint("\n%d", i);
    EXPECT_EQ(ConCurrentLine(), 99);
    EXPECT_EQ(lineText(0), "1");
    EXPECT_EQ(lineText(98), "99");
    EXPECT_EQ(lineText(99), "100");
    ConPrint("\n");
    EXPECT_EQ(lineText(0), "2");
    EXPECT_EQ(lineText(99), "");
}

TEST_F(ConsoleTest, BackSpaceCarriageReturnAndFormFeed) {
    ConPrint("\b\b");  // nothing to erase on an empty buffer
    EXPECT_EQ(ConCurrentLine(), 0);
    EXPECT_EQ(lineText(0), "");

    ConPrint("ab\n\b\b");  // joins the lines, then erases b
    EXPECT_EQ(ConCurrentLine(), 0);
    EXPECT_EQ(lineText(0), "a");

    ConPrint("\nabc\rxy");
    EXPECT_EQ(ConCurrentLine(), 1);
    EXPECT_EQ(lineText(1), "xy");

    ConPrint("\fz");
    EXPECT_EQ(ConCurrentLine(), 0);
    EXPECT_EQ(lineText(0), "z");
}

TEST_F(ConsoleTest, ControlCharactersShowInCaretNotation) {
    ConPrint("\a|\x1b|\t|\x01\x0b\x1f|%c|\x80\xff", 0);
    EXPECT_EQ(lineText(0), "^G|^[| |^A^K^_|^@|\x80\xff");
}

TEST_F(ConsoleTest, LongLinesAreCutWithoutEcho) {
    ConPrint("%s\nnext", std::string(121, 'x').c_str());
    EXPECT_EQ(lineText(0), std::string(120, 'x'));
    EXPECT_EQ(lineText(1), "next");
}

TEST_F(ConsoleTest, EchoWrapsAtWindowWidthAndAtFullLines) {
    const int w = windowChars();
#ifndef _WIN32
    EXPECT_TRUE(ConLineFits("", 60));
    EXPECT_FALSE(ConLineFits("", 61));
    EXPECT_EQ(w, 60);
#endif
    ASSERT_GT(w, 2);
    ASSERT_LT(w, kConLineChars);

    typeText(std::string(w + 1, 'e'));
    EXPECT_EQ(ConCurrentLine(), 1);
    EXPECT_EQ(lineText(0), std::string(w, 'e'));
    EXPECT_EQ(lineText(1), "e");
    typeText(std::string(w, 'e'));
    EXPECT_EQ(ConCurrentLine(), 2);
    EXPECT_EQ(lineText(1), std::string(w, 'e'));
    EXPECT_EQ(lineText(2), "e");

    // Both characters of a caret notation wrap like any other.
    ConPrint("\f%s", std::string(w - 1, 'c').c_str());
    ConChar(27);
    EXPECT_EQ(lineText(0), std::string(w - 1, 'c') + "^");
    EXPECT_EQ(lineText(1), "[");

    // A full line from plain output wraps even when the window would be wide enough.
    ConPrint("\f%s", std::string(120, 'p').c_str());
    ConChar('q');
    EXPECT_EQ(lineText(0), std::string(120, 'p'));
    EXPECT_EQ(lineText(1), "q");
}

TEST_F(ConsoleTest, CharacterSetPage) {
    ConCharSet();
    EXPECT_EQ(ConCurrentLine(), 15);
    EXPECT_EQ(lineText(0), "Character set");
    EXPECT_EQ(lineText(1).substr(0, 12), "0x20 :   ! \"");
    EXPECT_EQ(
        lineText(14), "0xF0 :" + [] {
            std::string row;
            for (int c = 0xF0; c <= 0xFF; ++c) row += std::string(" ") + char(c);
            return row;
        }());
    EXPECT_EQ(lineText(15), "");
}
