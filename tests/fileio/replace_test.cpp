// Writing beside a target and renaming over it: the target is either the old
// file or the whole new one, links are replaced rather than written through,
// and no temporary is left behind on any path.
#include <dirent.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>
#include <set>
#include <string>

#include "fileio/fileio.h"
#include "support/tempdir.h"

using testing::ExitedWithCode;
using testing::HasSubstr;

namespace {

std::set<std::string> listDir(const std::string& path) {
    std::set<std::string> names;
    DIR* d = opendir(path.c_str());
    while (dirent* e = d ? readdir(d) : nullptr) {
        std::string n = e->d_name;
        if (n != "." && n != "..") names.insert(n);
    }
    if (d) closedir(d);
    return names;
}

class ReplaceTest : public testing::Test {
  protected:
    void SetUp() override { FileStackClear(); }
    void TearDown() override { FileCloseAll(); }
    ScratchDir dir;
};

}  // namespace

TEST_F(ReplaceTest, TargetKeepsOldBytesUntilTheCommit) {
    std::filesystem::create_directory("sub");
    writeFile("sub/t.bin", "old");
    FileRec f;
    FileCreateBeside(f, 1, "sub\\t.bin");
    EXPECT_THAT(f.name, testing::StartsWith("sub\\~vorn"));
    FileWrite(f, 3, "new");
    EXPECT_EQ(readFile("sub/t.bin"), "old");
    FileCommit(f, "sub\\t.bin");
    EXPECT_EQ(readFile("sub/t.bin"), "new");
    EXPECT_EQ(listDir("sub"), std::set<std::string>{"t.bin"});
    EXPECT_EQ(FileStackCount(), 0);
}

TEST_F(ReplaceTest, DiscardLeavesTheTargetAndNoTemporary) {
    writeFile("t.bin", "old");
    FileRec f;
    FileCreateBeside(f, 1, "t.bin");
    FileWrite(f, 4, "half");
    FileDiscard(f);
    EXPECT_EQ(readFile("t.bin"), "old");
    EXPECT_EQ(listDir("."), std::set<std::string>{"t.bin"});
}

#ifndef _WIN32  // symbolic and hard links, permission bits: POSIX
TEST_F(ReplaceTest, LinksAtTheTargetAreReplacedNotWrittenThrough) {
    writeFile("outside.bin", "keep");
    ASSERT_EQ(symlink("outside.bin", "soft.bin"), 0);
    ASSERT_EQ(link("outside.bin", "hard.bin"), 0);
    for (const char* target : {"soft.bin", "hard.bin"}) {
        FileRec f;
        FileCreateBeside(f, 1, target);
        FileWrite(f, 3, "new");
        FileCommit(f, target);
        struct stat st;
        ASSERT_EQ(lstat(target, &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode)) << target;
        EXPECT_EQ(readFile(target), "new");
    }
    EXPECT_EQ(readFile("outside.bin"), "keep");
}

TEST_F(ReplaceTest, NewFileKeepsTheReplacedFilesPermissions) {
    writeFile("x.sh", "old");
    chmod("x.sh", 0750);
    FileRec f;
    FileCreateBeside(f, 1, "x.sh");
    FileCommit(f, "x.sh");
    struct stat st;
    ASSERT_EQ(stat("x.sh", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0750u);
}

#endif

TEST_F(ReplaceTest, LeftoverWithTheSameNameIsSkippedNotReused) {
    // A file that happens to carry the next private name is never opened.
    FileRec probe;
    FileCreateBeside(probe, 1, "t.bin");
    std::string taken = probe.name;
    FileDiscard(probe);
    std::string next = taken.substr(0, taken.rfind('-') + 1) +
                       std::to_string(std::stoul(taken.substr(taken.rfind('-') + 1)) + 1) + ".tmp";
    writeFile(next, "someone else's");
    FileRec f;
    FileCreateBeside(f, 1, "t.bin");
    EXPECT_NE(std::string(f.name), next);
    FileCommit(f, "t.bin");
    EXPECT_EQ(readFile(next), "someone else's");
}

TEST_F(ReplaceTest, FailuresRemoveTheTemporary) {
    // A commit that cannot rename (a directory took the target's name in the
    // meantime) reports the target and leaves nothing of its own.
    EXPECT_EXIT(
        {
            FileRec f;
            FileCreateBeside(f, 1, "d");
            std::filesystem::create_directory("d");
            FileCommit(f, "d");
        },
        ExitedWithCode(2), HasSubstr("File Error : name = [d] code = 214"));
#ifndef _WIN32  // a Windows death test runs in a new process with its own scratch directory
    EXPECT_EQ(listDir("."), std::set<std::string>{"d"});
#endif
    std::filesystem::remove("d");
    std::filesystem::create_directory("d");
    // A fatal end while the temporary is open removes it too.
    EXPECT_EXIT(
        {
            FileRec f;
            FileCreateBeside(f, 1, "t.bin");
            FileWrite(f, 4, "half");
            FileRec missing;
            FileInit(missing, 1, "missing.bin");
            FileOpenRead(missing);
        },
        ExitedWithCode(2), HasSubstr("code = 209"));
    EXPECT_EQ(listDir("."), std::set<std::string>{"d"});
}

TEST_F(ReplaceTest, NameThatCannotHoldThePrivateNameIsRefused) {
    std::string longDir(250, 'd');
    std::filesystem::create_directory(longDir);
    std::string target = longDir + "\\t";
    EXPECT_EXIT(
        {
            FileRec f;
            FileCreateBeside(f, 1, target.c_str());
        },
        // The 199-character report cuts before the code; the name shows.
        ExitedWithCode(2), HasSubstr("File Error : name = [dddd"));
#ifndef _WIN32
    // A Windows death test runs in a new process with a scratch directory of
    // its own, so this one's directory tells nothing about what it made.
    EXPECT_TRUE(listDir(longDir).empty());
#endif
}
