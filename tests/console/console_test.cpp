#include <filesystem>
#include <regex>

#include "helpers.h"

namespace {

const std::string kTime = R"(\d{4}-(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)-\d\d )"
                          R"(\((Sun|Mon|Tues|Wednes|Thurs|Fri|Satur)day\) \d\d:\d\d:\d\d)";

// One log section: header, text, footer naming the header's time. Each
// section holds five regex groups; `group` is the number of its first.
std::string section(const std::string& text, int group) {
    return R"(\n//-#\[ LOGFILE ()" + kTime + R"():\n)" + text + R"(\n//-#\] LOGFILE \)" +
           std::to_string(group) + ": " + kTime + R"( \n)";
}

bool showsHelp() {
    return ConCurrentLine() == 15 && lineText(0) == "Special characters:" &&
           lineText(13) == "Note: log file always appends" && lineText(14).empty();
}

}  // namespace

TEST_F(ConsoleTest, TypedHelpInAnyCaseShowsTheHelpText) {
    typeText("help\r");
    EXPECT_TRUE(showsHelp());
    EXPECT_EQ(lineText(3), "  0x09 ^I \\t  spaces to next 8-fold");
    typeText("HeLp\n");
    EXPECT_TRUE(showsHelp());
}

TEST_F(ConsoleTest, TypedLineHoldsOnlyUninterruptedTyping) {
    typeText("hel\blp\r");  // the back-space stays in the typed line
    EXPECT_FALSE(showsHelp());
    EXPECT_EQ(lineText(0), "help");

    typeText("he");
    ConKeyDown(0x70);
    typeText("lp\r");
    EXPECT_EQ(lineText(1), "he[70]lp");

    typeText("he");
    ConPrint("x");
    typeText("lp\r");
    EXPECT_EQ(ConCurrentLine(), 3);

    // Past 255 typed characters the typed line stops growing; the echo goes on.
    const int w = windowChars();
    ASSERT_NE(301 % w, 0);
    typeText(std::string(301, 'h') + "\r");
    EXPECT_EQ(ConCurrentLine(), 4 + 301 / w);  // 3 + wrapped lines, then the empty one
    EXPECT_EQ(lineText(3 + 301 / w), std::string(301 % w, 'h'));
}

TEST_F(ConsoleTest, KeysWithoutCharacterAreEchoed) {
    for (unsigned key : {0x25u, 16u, 17u, 18u, 20u, 8u, 13u, 27u, 65u, 53u, 0x60u, 145u, 146u})
        ConKeyDown(key);
    EXPECT_EQ(lineText(0), "[25][91]");
}

TEST_F(ConsoleTest, LogFileIsAppendedAndFlushedAfterEveryPrint) {
    ConDestroy();
    writeFile("CONW.LOG", "older run\n");
    ASSERT_EQ(ConCreate(0), kConCreated);
    ConPrint("\nhello %d\f\tend\n", 5);
    EXPECT_NE(logText().find("\nhello 5\f\tend"), std::string::npos);
    const int w = windowChars();
    typeText(std::string(w + 1, 'w'));  // the wrap reaches the file too
    ConDestroy();
    std::string text = "\nhello 5\f\tend\n" + std::string(w, 'w') + "\nw";
    EXPECT_TRUE(std::regex_match(logText(), std::regex("older run\n" + section(text, 1))));
}

TEST_F(ConsoleTest, ToggledLogFileGetsFooterAndNewHeader) {
    ConLogToggle();
    EXPECT_FALSE(ConLogging());
    ConPrint("\nnot logged");
    ConLogToggle();
    EXPECT_TRUE(ConLogging());
    ConPrint("\nlogged");
    ConDestroy();
    EXPECT_TRUE(std::regex_match(logText(), std::regex(section("\f", 1) + section("\nlogged", 6))));
}

TEST_F(ConsoleTest, UnopenableLogFileIsSkipped) {
    ConDestroy();
    std::filesystem::remove("CONW.LOG");
    ASSERT_TRUE(std::filesystem::create_directory("CONW.LOG"));
    ASSERT_EQ(ConCreate(0), kConCreated);
    EXPECT_TRUE(ConLogging());
    ConPrint("\nstill shown");
    EXPECT_EQ(lineText(ConCurrentLine()), "still shown");
}

TEST_F(ConsoleTest, OverlongTextIsCut) {
    std::string log = readFile("CONW.LOG");
    ConPrint("%s", std::string(9000, 'a').c_str());
    EXPECT_EQ(readFile("CONW.LOG"), log + std::string(8191, 'a'));
}

TEST(ConsoleGone, PrintingWithoutConsoleChangesNothing) {
    ScratchDir dir;
    ConPrint("\nbefore any console");
    EXPECT_FALSE(pathExists("CONW.LOG"));

    ASSERT_EQ(ConCreate(0), kConCreated);
    ConPrint("\nkept");
    ConDestroy();
    std::string log = readFile("CONW.LOG");
    int current = ConCurrentLine();
    ConPrint("\f\nlost");
    ConLogToggle();
    typeText("help\n");
    EXPECT_EQ(ConCurrentLine(), current);
    EXPECT_EQ(lineText(1), "//-#[ LOGFILE " + lineText(1).substr(14));
    EXPECT_EQ(lineText(3), "kept");
    EXPECT_EQ(readFile("CONW.LOG"), log);
}
