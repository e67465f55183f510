// Hostile and damaged archives against UnPackLZX itself: no entry lands
// outside the target or passes through a link, whichever way the archive is
// read, and no file stays under its name half written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "archive_support.h"
#include "fileio/fileio.h"
#include "lzx/archive.h"
#include "lzx/lzx.h"
#include "support/tempdir.h"

using testing::ExitedWithCode;
using testing::HasSubstr;

namespace {

class UnpackSafetyTest : public testing::Test {
  protected:
    void SetUp() override {
        FileStackClear();
        std::filesystem::create_directory("in");
        ASSERT_EQ(chdir("in"), 0);  // ".." of the target stays inside the scratch directory
    }
    void TearDown() override { EXPECT_EQ(FileStackCount(), 0); }
    ScratchDir dir;
};

std::vector<std::string> everything(const std::string& root) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root))
        names.push_back(e.path().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(UnpackSafetyTest, ABlockIndexPointingAtADecoyIsRefusedBeforeWriting) {
    writeDecoyArchive("a.lzx", "#..\\evil", "#fine\\x");
    EXPECT_EXIT(UnPackLZX("a.lzx", "out", nullptr, 0, 1, 0, 0), ExitedWithCode(2),
                HasSubstr("Hopen: damaged file, block index does not match the blocks [a.lzx]"));
    EXPECT_FALSE(pathExists("out"));
    EXPECT_FALSE(pathExists("evil"));
    EXPECT_FALSE(pathExists("../evil"));
}

TEST_F(UnpackSafetyTest, NamesOutsideTheTargetAreRefusedByTheLibrary) {
    for (const char* hostile : {"#..\\x", "#sub\\..\\..\\x", "#a/../../x", "#\\x", "#/tmp/x",
                                "#C:x", "#. .\\x", "#sub\\ ..\\x", "C:\\x", "plain"}) {
        SCOPED_TRACE(hostile);
        writeArchive("a.lzx", {{makeEntry("#safe"), "s"}, {makeEntry(hostile), "payload"}});
        EXPECT_EXIT(
            UnPackLZX("a.lzx", "out\\t", nullptr, 0, 1, 0, 0), ExitedWithCode(2),
            HasSubstr(std::string("UnPackLZX: would land outside the target [") + hostile + "]"));
        EXPECT_FALSE(pathExists("x"));
        EXPECT_FALSE(pathExists("../x"));
        EXPECT_FALSE(pathExists("out/x"));
    }
    // Allowed on request: a ".." name then lands beside the target.
    writeArchive("a.lzx", {{makeEntry("#..\\x"), "payload"}});
    UnPackLZX("a.lzx", "out\\t", nullptr, 0, 1, 0, 0, kUnpackUnsafePaths);
    EXPECT_EQ(readFile("out/x"), "payload");
}

TEST_F(UnpackSafetyTest, LinksInsideTheTargetAreNeverWrittenThrough) {
    std::filesystem::create_directories("out");
    std::filesystem::create_directories("../elsewhere");
    writeFile("../secret", "outside");
    writeFile("../hard", "outside too");
    ASSERT_EQ(symlink("../../elsewhere", "out/dirlink"), 0);
    ASSERT_EQ(symlink("../../secret", "out/filelink"), 0);
    ASSERT_EQ(link("../hard", "out/hardlink"), 0);

    // A directory link inside the target is refused, deeper ones as well.
    for (const char* name : {"#dirlink\\f", "#dirlink\\new\\f"}) {
        SCOPED_TRACE(name);
        writeArchive("a.lzx", {{makeEntry(name), "payload"}});
        EXPECT_EXIT(UnPackLZX("a.lzx", "out", nullptr, 0, 1, 0, 0), ExitedWithCode(2),
                    HasSubstr(std::string("UnPackLZX: leads through a link inside the target [") +
                              name + "]"));
        EXPECT_TRUE(std::filesystem::is_empty("../elsewhere"));
    }

    // Existing file links, soft or hard, are replaced, not written through.
    writeArchive("a.lzx",
                 {{makeEntry("#filelink"), "new one"}, {makeEntry("#hardlink"), "new two"}});
    UnPackLZX("a.lzx", "out", nullptr, 0, 1, 0, 0);
    EXPECT_EQ(readFile("../secret"), "outside");
    EXPECT_EQ(readFile("../hard"), "outside too");
    EXPECT_FALSE(std::filesystem::is_symlink("out/filelink"));
    EXPECT_EQ(readFile("out/filelink"), "new one");
    EXPECT_EQ(readFile("out/hardlink"), "new two");

    // The target itself may be a link.
    std::filesystem::create_directories("real");
    ASSERT_EQ(symlink("real", "tlink"), 0);
    writeArchive("a.lzx", {{makeEntry("#sub\\f"), "via the target link"}});
    UnPackLZX("a.lzx", "tlink", nullptr, 0, 1, 0, 0);
    EXPECT_EQ(readFile("real/sub/f"), "via the target link");

    // On request a directory link is followed.
    writeArchive("a.lzx", {{makeEntry("#dirlink\\f"), "allowed"}});
    UnPackLZX("a.lzx", "out", nullptr, 0, 1, 0, 0, kUnpackUnsafePaths);
    EXPECT_EQ(readFile("../elsewhere/f"), "allowed");
}

TEST_F(UnpackSafetyTest, DamageLeavesNoFileHalfWritten) {
    std::filesystem::create_directories("out");
    writeFile("out/big", "old");
    std::string data = sample(Sample::Text, 60000, 3);
    // The stream ends 10 bytes before the file's data does.
    writeArchive("a.lzx", {{makeEntry("#new"), "n"}, {makeEntry("#big"), data}}, 10);
    EXPECT_EXIT(UnPackLZX("a.lzx", "out", nullptr, 0, 1, 0, 0), ExitedWithCode(2),
                HasSubstr("UnPackLZX: unexpected eof (the archive ends inside [#big])"));
    EXPECT_EQ(readFile("out/big"), "old");
    EXPECT_EQ(everything("out"), (std::vector<std::string>{"out/big", "out/new"}));
}

TEST_F(UnpackSafetyTest, ScramblingAsTheDataGoesByEqualsScramblingTheFile) {
    std::string data = sample(Sample::Random, 40000, 9);
    LzxEntry e = makeEntry("#s");
    e.scramble = 1;
    writeArchive("a.lzx", {{e, data}});
    UnPackLZX("a.lzx", "out", nullptr, 0, 1, 0, 0);
    // Scrambled in pieces of 15011 bytes; one piece of any size must agree.
    std::string whole = data;
    Scrambler(static_cast<int64_t>(whole.size()))
        .apply(reinterpret_cast<uint8_t*>(whole.data()), static_cast<int32_t>(whole.size()));
    EXPECT_EQ(readFile("out/s"), whole);
    std::string pieces = data;
    Scrambler s(static_cast<int64_t>(pieces.size()));
    for (size_t at = 0; at < pieces.size(); at += 7)
        s.apply(reinterpret_cast<uint8_t*>(pieces.data()) + at,
                static_cast<int32_t>(std::min<size_t>(7, pieces.size() - at)));
    EXPECT_EQ(pieces, whole);
}

// The key sequence as defined, window by window: window j (1 to size - 4)
// XORs the four bytes from j with its key, little-endian.
TEST(ScramblerTest, MatchesTheWindowDefinitionAtEverySizeAndCut) {
    for (int size : {0, 1, 4, 5, 6, 8, 9, 13, 21, 100, 1001}) {
        std::string data = sample(Sample::Random, static_cast<size_t>(size), 5);
        std::string want = data;
        uint32_t key = 0x6D2E91C5;
        for (int j = 1; j <= size - 4; ++j, key = key * 0x3A7F5B29 + 1)
            for (int t = 0; t < 4; ++t)
                want[static_cast<size_t>(j + t)] ^= static_cast<char>(key >> (8 * t));
        for (int cut : {1, 3, 7, 11, 64, 2000}) {
            std::string got = data;
            Scrambler s(size);
            for (int at = 0; at < size; at += cut)
                s.apply(reinterpret_cast<uint8_t*>(got.data()) + at, std::min(cut, size - at));
            EXPECT_EQ(got, want) << "size " << size << ", pieces of " << cut;
        }
    }
}

TEST_F(UnpackSafetyTest, FuzzedArchivesNeverWriteOutsideTheTarget) {
    std::string content;
    for (const char* name : {"#a\\b\\c.txt", "#d.txt", "#a\\e", "#f\\g\\h"}) {
        LzxEntry e = makeEntry(name);
        e.size = 300;
        content.append(reinterpret_cast<const char*>(&e), sizeof e);
        content += sample(Sample::Text, 300, static_cast<unsigned>(content.size()));
    }
    static const char kHostile[] = "..\\/:#. \0x";
    std::mt19937 rng(99);
    for (int i = 0; i < 120; ++i) {
        std::string c = content;
        for (int n = 1 + static_cast<int>(rng() % 8); n > 0; --n) {
            // Mostly the names, where a path can be steered; now and then a size.
            size_t record = (rng() % 4) * (432 + 300);
            size_t at = record + (rng() % 8 == 0 ? 256 + rng() % 4 : rng() % 12);
            c[at] =
                rng() % 4 == 0 ? static_cast<char>(rng()) : kHostile[rng() % (sizeof kHostile - 1)];
        }
        writeStream("a.lzx", "wb", c);
        if (i % 4 == 3) {  // and the container itself
            std::string f = readFile("a.lzx");
            f[16 + rng() % (f.size() - 16)] ^= static_cast<char>(1 << (rng() % 8));
            writeFile("a.lzx", f);
        }
        pid_t pid = fork();
        if (pid == 0) {
            alarm(20);
            freopen("/dev/null", "w", stderr);
            UnPackLZX("a.lzx", "out", nullptr, 0, 1, 0, 0);
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 2))
            << "case " << i;
        std::vector<std::string> all = everything("..");
        for (const std::string& path : all) {
            bool inside = path == "../in" || path == "../in/a.lzx" || path == "../in/out" ||
                          path.rfind("../in/out/", 0) == 0;
            ASSERT_TRUE(inside) << "case " << i << ": " << path;
            ASSERT_EQ(path.find("~vorn"), std::string::npos) << "case " << i << ": " << path;
        }
    }
}

}  // namespace
