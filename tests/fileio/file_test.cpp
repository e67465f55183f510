#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "fileio/fileio.h"
#include "support/tempdir.h"

using testing::ExitedWithCode;
using testing::HasSubstr;

namespace {

class FileTest : public testing::Test {
  protected:
    void SetUp() override { FileStackClear(); }
    void TearDown() override { FileCloseAll(); }
    ScratchDir dir;
};

using FileDeathTest = FileTest;

}  // namespace

TEST_F(FileTest, WriteSeekTellReadInRecords) {
    FileRec f;
    FileInit(f, 4, "data.bin");
    EXPECT_EQ(FileIsClosed(f), 1);
    FileCreate(f);
    EXPECT_EQ(FileIsClosed(f), 0);
    EXPECT_EQ(FileWrite(f, 3, "aaaabbbbcccc"), 3);
    EXPECT_EQ(FileTell(f), 3);
    FileClose(f);
    EXPECT_EQ(FileIsClosed(f), 1);
    EXPECT_EQ(FileStackCount(), 0);

    FileOpenUpdate(f);
    FileSeek(f, -1, 2);
    char buf[8] = {};
    EXPECT_EQ(FileRead(f, 2, buf), 1);
    EXPECT_STREQ(buf, "cccc");
    FileSeek(f, 1, 0);
    FileWrite(f, 1, "XXXX");
    FileSeek(f, -2, 1);
    EXPECT_EQ(FileRead(f, 2, buf), 2);
    EXPECT_EQ(std::string(buf, 8), "aaaaXXXX");
    FileClose(f);
}

TEST_F(FileTest, ShortReadCountsWholeRecordsButDeliversAllBytes) {
    writeFile("v.bin", std::string(1000, 'z'));
    FileRec f;
    FileInit(f, 432, "v.bin");
    FileOpenRead(f);
    std::string buf(3 * 432, 0);
    EXPECT_EQ(FileRead(f, 3, buf.data()), 2);
    EXPECT_EQ(buf.substr(0, 1000), std::string(1000, 'z'));
    EXPECT_EQ(FileRead(f, 3, buf.data()), 0);
    FileClose(f);
}

TEST_F(FileTest, ReadsAtAnOffsetWhateverThePosition) {
    writeFile("r.bin", "0123456789");
    FileRec f;
    FileInit(f, 2, "r.bin");
    FileOpenRead(f);
    char buf[16] = {};
    EXPECT_EQ(FileRead(f, 1, buf), 1);
    EXPECT_EQ(FileReadAt(f, 5, 2, buf), 2);
    EXPECT_EQ(std::string(buf, 4), "5678");
    EXPECT_EQ(FileReadAt(f, 0, 1, buf), 1);
    EXPECT_EQ(std::string(buf, 4), "0178");
    // Short at the end, nothing past it, and a failure (not a fatal end)
    // for an offset before the file.
    EXPECT_EQ(FileReadAt(f, 7, 2, buf), 1);
    EXPECT_EQ(std::string(buf, 3), "789");
    EXPECT_EQ(FileReadAt(f, 10, 2, buf), 0);
    EXPECT_EQ(FileReadAt(f, -1, 2, buf), -1);
    FileClose(f);
}

TEST_F(FileTest, SizeOfClosedRecordLeavesItClosed) {
    writeFile("v.bin", std::string(1000, 'z'));
    FileRec f;
    FileInit(f, 432, "v.bin");
    EXPECT_EQ(FileSize(f), 2);
    EXPECT_EQ(FileIsClosed(f), 1);
    EXPECT_EQ(FileStackCount(), 0);
}

TEST_F(FileTest, CloseOfClosedRecordDoesNothing) {
    FileRec f;
    FileInit(f, 1, "never-opened");
    FileClose(f);
    FileClose(f);
    EXPECT_EQ(FileStackCount(), 0);
}

TEST_F(FileTest, CreateTruncatesAndUpdateKeepsContents) {
    writeFile("t.bin", "old contents");
    FileRec f;
    FileInit(f, 1, "t.bin");
    FileOpenUpdate(f);
    EXPECT_EQ(FileSize(f), 12);
    FileClose(f);
    FileCreate(f);
    FileClose(f);
    EXPECT_EQ(readFile("t.bin"), "");
    FileInit(f, 1, "new.bin");
    FileOpenUpdate(f);  // creates the missing file
    FileClose(f);
    EXPECT_TRUE(pathExists("new.bin"));
}

TEST_F(FileTest, BackslashPathsReachRealDirectories) {
    std::filesystem::create_directory("sub");
    FileRec f;
    FileInit(f, 1, "sub\\inner.txt");
    FileCreate(f);
    FileWrite(f, 2, "hi");
    FileClose(f);
    EXPECT_EQ(readFile("sub/inner.txt"), "hi");
}

TEST_F(FileTest, ReadLineSkipsEmptyLinesAndLineEnds) {
    writeFile("l.txt", std::string("ab\r\n\r\ncd"));
    FileRec f;
    FileInit(f, 1, "l.txt");
    FileOpenRead(f);
    char line[257];
    EXPECT_EQ(FileReadLine(f, line, 256), 1);
    EXPECT_STREQ(line, "ab");
    EXPECT_EQ(FileReadLine(f, line, 256), 1);
    EXPECT_STREQ(line, "cd");
    EXPECT_EQ(FileReadLine(f, line, 256), 0);
    EXPECT_STREQ(line, "");
    FileClose(f);
}

TEST_F(FileTest, ReadLineSplitsLongLinesIntoPieces) {
    writeFile("l.txt", "abcde");
    FileRec f;
    FileInit(f, 1, "l.txt");
    FileOpenRead(f);
    char line[3];
    const char* expected[] = {"ab", "cd", "e"};
    for (const char* e : expected) {
        EXPECT_EQ(FileReadLine(f, line, 2), 1);
        EXPECT_STREQ(line, e);
    }
    EXPECT_EQ(FileReadLine(f, nullptr, 2), 0);
    FileClose(f);
}

TEST_F(FileTest, StackReportNamesOnlyTheLowestOpenEntry) {
    EXPECT_EQ(FileStackReport(), 0);
    FileRec a, b;
    FileInit(a, 1, "a.bin");
    FileInit(b, 1, "b.bin");
    FileCreate(a);
    FileCreate(b);
    EXPECT_EQ(FileStackReport(), 1);
    FileClose(a);
    EXPECT_EQ(FileStackReport(), 1);
    FileClose(b);
    EXPECT_EQ(FileStackReport(), 0);
}

TEST_F(FileTest, SharingRules) {
    writeFile("s.bin", "x");
    FileRec r1, r2;
    FileInit(r1, 1, "s.bin");
    FileInit(r2, 1, "s.bin");
    FileOpenRead(r1);
    FileOpenRead(r2);  // readers share
    FileClose(r2);
    // A writer cannot open what a reader holds, and its create must not
    // truncate the file while refusing.
    EXPECT_EXIT(FileCreate(r2), ExitedWithCode(2), HasSubstr("code = 211"));
    EXPECT_EQ(readFile("s.bin"), "x");
    EXPECT_EXIT(FileOpenUpdate(r2), ExitedWithCode(2), HasSubstr("code = 212"));
    FileClose(r1);
    FileOpenUpdate(r1);
    EXPECT_EXIT(FileOpenRead(r2), ExitedWithCode(2),
                HasSubstr("\nFile Error : name = [s.bin] code = 209"));
    FileClose(r1);
}

TEST_F(FileDeathTest, FailuresReportTheirCodes) {
    FileRec f;
    FileInit(f, 432, "missing.bin");
    EXPECT_EXIT(FileSize(f), ExitedWithCode(2), HasSubstr("name = [missing.bin] code = 209"));
    EXPECT_EXIT(FileOpenRead(f), ExitedWithCode(2), HasSubstr("code = 209"));
    FileInit(f, 1, "nodir\\x.bin");
    EXPECT_EXIT(FileCreate(f), ExitedWithCode(2), HasSubstr("code = 211"));
    writeFile("o.bin", "abc");
    FileInit(f, 1, "o.bin");
    FileOpenRead(f);
    EXPECT_EXIT(FileSeek(f, 0, 3), ExitedWithCode(2), HasSubstr("code = 432"));
    EXPECT_EXIT(FileSeek(f, -10, 0), ExitedWithCode(2), HasSubstr("code = 207"));
    EXPECT_EXIT(FileWrite(f, 1, "a"), ExitedWithCode(2), HasSubstr("code = 205"));
    FileClose(f);
}

TEST_F(FileDeathTest, ThirtyFirstOpenFileIsAnInternalError) {
    EXPECT_EXIT(
        {
            static FileRec files[kFileStackSize + 1];
            for (int i = 0; i <= kFileStackSize; ++i) {
                char name[16];  // not std::string: GCC 12 warns falsely on its concatenation
                std::snprintf(name, sizeof name, "f%d", i);
                FileInit(files[i], 1, name);
                FileCreate(files[i]);
            }
        },
        ExitedWithCode(2), HasSubstr("Internal error [94] in [FILEIO,131]"));
}

TEST_F(FileDeathTest, ClosingASecondCopyIsAnIllegalUnstack) {
    FileRec a;
    FileInit(a, 1, "copy.bin");
    FileCreate(a);
    FileRec b = a;
    FileClose(a);
    EXPECT_EXIT(FileClose(b), ExitedWithCode(2), HasSubstr("Illegal unstack [copy.bin]"));
}

TEST_F(FileDeathTest, ReinitialisedOpenRecordStaysOnTheStack) {
    FileRec a;
    FileInit(a, 1, "lost.bin");
    FileCreate(a);
    FileInit(a, 1, "other.bin");
    EXPECT_EQ(FileStackCount(), 1);
    EXPECT_EQ(FileStackReport(), 1);
}

#ifndef _WIN32  // the Windows read-only attribute has tests of its own
TEST_F(FileDeathTest, ReadOnlyFileCannotBeOpenedForUpdate) {
    if (geteuid() == 0) GTEST_SKIP() << "root may write any file";
    writeFile("ro.bin", "x");
    chmod("ro.bin", 0444);
    FileRec f;
    FileInit(f, 1, "ro.bin");
    EXPECT_EXIT(FileOpenUpdate(f), ExitedWithCode(2), HasSubstr("code = 212"));
}
#endif
