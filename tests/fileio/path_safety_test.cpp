// Names and files the file layer must refuse rather than follow: names too
// long for a record, FIFOs and directories in place of files; and what it
// tells about a path (its kind, whether two names are one file).
#include <dirent.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "fileio/fileio.h"
#include "support/tempdir.h"

using testing::ExitedWithCode;
using testing::HasSubstr;

namespace {

class PathSafetyTest : public testing::Test {
  protected:
    void SetUp() override { FileStackClear(); }
    void TearDown() override { FileCloseAll(); }
    ScratchDir dir;
};

int entries(const char* path) {
    int n = 0;
    DIR* d = opendir(path);
    while (dirent* e = d ? readdir(d) : nullptr) n += e->d_name[0] != '.';
    if (d) closedir(d);
    return n;
}

TEST_F(PathSafetyTest, LongNamesAreRefusedNeverCut) {
    // A file whose name is the first 259 characters of a longer one must not
    // be the file that the longer name reaches.
    mkdir("ddd", 0777);
    std::string fits = "ddd\\" + std::string(255, 'n');  // 259 characters
    writeFile("ddd/" + std::string(255, 'n'), "keep");
    FileRec f;
    FileInit(f, 1, fits.c_str());
    EXPECT_EQ(FileSize(f), 4);
    std::string longer = fits + "x";
    EXPECT_EXIT(FileInit(f, 1, longer.c_str()), ExitedWithCode(2),
                HasSubstr("File name too long (260 characters, at most 259)"));
    EXPECT_EXIT(
        {
            FileRec g;
            FileCreateBeside(g, 1, longer.c_str());
        },
        ExitedWithCode(2), HasSubstr("File name too long"));
    EXPECT_EQ(readFile("ddd/" + std::string(255, 'n')), "keep");

    // PathMakeDirs makes nothing of a path it cannot hold whole.
    std::string deep = std::string(200, 'a') + "\\" + std::string(100, 'b');
    EXPECT_EQ(PathMakeDirs(deep.c_str()), 0);
    EXPECT_EQ(entries("."), 1);
    EXPECT_EQ(entries("ddd"), 1);
}

TEST_F(PathSafetyTest, FifosAndDirectoriesAreRefusedWithoutWaiting) {
    ASSERT_EQ(mkfifo("fifo", 0666), 0);
    mkdir("dir", 0777);
    // A FIFO without a writer would block an ordinary open for ever: the
    // alarm turns a hang into a failed expectation.
    for (const char* name : {"fifo", "dir"}) {
        SCOPED_TRACE(name);
        EXPECT_EXIT(
            {
                alarm(10);
                FileRec f;
                FileInit(f, 1, name);
                FileOpenRead(f);
            },
            ExitedWithCode(2), HasSubstr("code = 209 (not a regular file)"));
        EXPECT_EXIT(
            {
                alarm(10);
                FileRec f;
                FileInit(f, 1, name);
                FileCreate(f);
            },
            ExitedWithCode(2), HasSubstr("code = 211 (not a regular file)"));
        EXPECT_EXIT(
            {
                alarm(10);
                FileRec f;
                FileCreateBeside(f, 1, name);
            },
            ExitedWithCode(2), HasSubstr("code = 211 (not a regular file)"));
    }
    EXPECT_EQ(entries("."), 2);  // no temporary left beside them
}

TEST_F(PathSafetyTest, KindsAndIdentityOfPaths) {
    writeFile("a", "one");
    writeFile("b", "one");
    mkdir("d", 0777);
    ASSERT_EQ(link("a", "hard"), 0);
    ASSERT_EQ(symlink("a", "soft"), 0);
    ASSERT_EQ(symlink("nowhere", "dangling"), 0);
    ASSERT_EQ(mkfifo("fifo", 0666), 0);
    EXPECT_EQ(PathKindOf("a"), PathKind::File);
    EXPECT_EQ(PathKindOf("d"), PathKind::Directory);
    EXPECT_EQ(PathKindOf("soft"), PathKind::Link);
    EXPECT_EQ(PathKindOf("dangling"), PathKind::Link);
    EXPECT_EQ(PathKindOf("fifo"), PathKind::Other);
    EXPECT_EQ(PathKindOf("missing"), PathKind::Missing);
    EXPECT_EQ(PathKindOf("d\\missing"), PathKind::Missing);

    EXPECT_EQ(FileSame("a", "a"), 1);
    EXPECT_EQ(FileSame("a", "hard"), 1);
    EXPECT_EQ(FileSame("soft", "hard"), 1);
    EXPECT_EQ(FileSame("a", "b"), 0);
    EXPECT_EQ(FileSame("a", "missing"), 0);
    EXPECT_EQ(FileSame("dangling", "missing"), 0);
}

TEST_F(PathSafetyTest, BesideFileForReadingBack) {
    FileRec f;
    FileCreateBeside(f, 1, "t.bin", true);
    FileWrite(f, 5, "hello");
    FileSeek(f, 1, 0);
    char got[4] = {};
    EXPECT_EQ(FileRead(f, 4, got), 4);
    EXPECT_EQ(std::string(got, 4), "ello");
    EXPECT_EQ(FileDiscard(f), 1);
    EXPECT_EQ(entries("."), 0);
    EXPECT_EQ(FileDiscard(f), 0);
}

}  // namespace
