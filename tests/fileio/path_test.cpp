#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "fileio/fileio.h"
#include "support/tempdir.h"

namespace {

struct Split {
    std::string dir, name, ext;
};

Split split(const char* path) {
    char dir[300], name[300], ext[300];
    PathSplit(path, dir, name, ext);
    return {dir, name, ext};
}

bool isDir(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

TEST(PathSplit, DirectoryNameAndExtension) {
    Split s = split("C:\\Prog\\File.Name.txt");
    EXPECT_EQ(s.dir, "C:\\Prog\\");
    EXPECT_EQ(s.name, "File.Name");
    EXPECT_EQ(s.ext, "txt");

    s = split("README");
    EXPECT_EQ(s.dir, "");
    EXPECT_EQ(s.name, "README");
    EXPECT_EQ(s.ext, "");

    s = split("C:\\Prog.d\\README");
    EXPECT_EQ(s.name, "README");
    EXPECT_EQ(s.ext, "");

    s = split("C:file.txt");
    EXPECT_EQ(s.dir, "C:");
    EXPECT_EQ(s.name, "file");
    EXPECT_EQ(s.ext, "txt");

    // Forward slashes are not separators for PathSplit.
    s = split("a/b.c");
    EXPECT_EQ(s.dir, "");
    EXPECT_EQ(s.name, "a/b");
}

TEST(PathSplit, OutputsAreOptional) {
    char ext[32];
    PathSplit("x\\y.z", nullptr, nullptr, ext);
    EXPECT_STREQ(ext, "z");
}

TEST(PathStripExt, CutsOnlyTheLastComponentsExtension) {
    char a[] = ".cfg";
    PathStripExt(a);
    EXPECT_STREQ(a, "");
    char b[] = "dir.d\\name";
    PathStripExt(b);
    EXPECT_STREQ(b, "dir.d\\name");
    char c[] = "a.b.c";
    PathStripExt(c);
    EXPECT_STREQ(c, "a.b");
}

TEST(PathMakeDirs, CreatesEveryPrefix) {
    ScratchDir dir;
    EXPECT_EQ(PathMakeDirs("A\\B\\"), 1);
    EXPECT_TRUE(isDir("A/B"));
    EXPECT_EQ(PathMakeDirs("A\\B\\"), 1);
    EXPECT_EQ(PathMakeDirs("C\\D/E"), 1);  // forward slashes count too
    EXPECT_TRUE(isDir("C/D/E"));
}

TEST(PathMakeDirs, LeadingSeparatorAndFilesInTheWayFail) {
    ScratchDir dir;
    EXPECT_EQ(PathMakeDirs("\\X"), 0);
    writeFile("F", "file");
    EXPECT_EQ(PathMakeDirs("F\\B"), 0);
    EXPECT_FALSE(pathExists("F/B"));
}

#ifndef _WIN32  // there Q: is a drive; drive paths have tests of their own
TEST(PathMakeDirs, DriveRootIsNotASeparatorPrefix) {
    ScratchDir dir;
    // "Q:\" counts no separator: the only pass is the whole path.
    EXPECT_EQ(PathMakeDirs("Q:\\"), 1);
    EXPECT_EQ(PathMakeDirs("Q:\\R"), 1);
    EXPECT_TRUE(isDir("Q:/R"));
}
#endif

TEST(PathMakeDirs, AbsolutePosixPathsWork) {
    ScratchDir dir;
    std::string path = dir.path() + "/abs/x";
    EXPECT_EQ(PathMakeDirs(path.c_str()), 1);
    EXPECT_TRUE(isDir(path.c_str()));
    // Backslash form of the same absolute path.
    std::string back = dir.path() + "\\abs\\y";
    EXPECT_EQ(PathMakeDirs(back.c_str()), 1);
    EXPECT_TRUE(isDir((dir.path() + "/abs/y").c_str()));
}

TEST(FileDelete, MissingFileIsNoErrorAndExistingFileGoes) {
    ScratchDir dir;
    FileRec f;
    FileInit(f, 1, "gone.bin");
    EXPECT_EQ(FileDelete(f), 1);
    writeFile("gone.bin", "x");
    EXPECT_EQ(FileExists("gone.bin"), 1);
    EXPECT_EQ(FileDelete(f), 1);
    EXPECT_EQ(FileExists("gone.bin"), 0);
}

TEST(FileDeleteDeathTest, UndeletableFileIsError203) {
    ScratchDir dir;
    PathMakeDirs("d\\e");
    FileRec f;
    FileInit(f, 1, "d\\e");  // a directory: unlink refuses it
    EXPECT_EXIT(FileDelete(f), testing::ExitedWithCode(2), testing::HasSubstr("code = 203"));
}
