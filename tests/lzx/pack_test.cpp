#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

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

class PackTest : public testing::Test {
  protected:
    void SetUp() override { FileStackClear(); }
    void TearDown() override { EXPECT_EQ(FileStackCount(), 0); }

    // Packs a list file whose lines follow the archive and base lines.
    int32_t pack(const std::string& entries, LzxEntry* list = nullptr, int32_t capacity = 0) {
        writeFile("list.txt", "a.lzx\r\nsrc\\\r\n" + entries);
        return PackLZX("list.txt", &total, &packed, list, capacity);
    }

    // The record of one source line packed with stored name "x".
    LzxEntry packOne(const std::string& sourceLine) {
        pack(sourceLine + "\nx\n");
        std::vector<LzxEntry> e = readEntries("a.lzx");
        EXPECT_EQ(e.size(), 1u);
        return e.empty() ? makeEntry("") : e[0];
    }

    ScratchDir dir;
    int32_t total = -1;
    int32_t packed = -1;
};

TEST_F(PackTest, ListWithoutEntriesGivesAHeaderOnlyArchive) {
    EXPECT_EQ(pack(""), 0);
    EXPECT_EQ(total, 0);
    EXPECT_EQ(packed, 16);
    EXPECT_EQ(readFile("a.lzx").size(), 16u);
    // The counts are optional.
    EXPECT_EQ(PackLZX("list.txt", nullptr, nullptr, nullptr, 0), 0);
}

TEST_F(PackTest, OptionsAreReadAsWritten) {
    PathMakeDirs("src");
    writeFile("src/f", "data");
    struct Case {
        std::string line;
        int32_t version, scramble, deleteAfter, existingOnly, languages, productVersions;
    };
    const Case cases[] = {
        {"f|V=100", 100, 0, 0, 0, 0, 0},
        {"f|v=  250xyz|e=1|d=2|r=3", 250, 1, 2, 3, 0, 0},
        {"f|V=100|L=de|J=13", 100, 0, 0, 0, 3, 5},
        {"f|V=100|L=Dx|J=4", 100, 0, 0, 0, 1, 0},
        {"f|V=100|L=|J=", 100, 0, 0, 0, 0, 0},
        {"f|V=100|l=GFED|j=321", 100, 0, 0, 0, 15, 7},
        {"f|V=100|L=dd|J=33", 100, 0, 0, 0, 2, 8},      // a repeated character adds again
        {"f|V=100|L=g|L=e|V=300", 300, 0, 0, 0, 2, 0},  // later replaces earlier
        {"|f||V=100|||  E=1|", 100, 1, 0, 0, 0, 0},     // empty fields, blanks in front
        {"f|V=100|E=-1", 100, -1, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        LzxEntry e = packOne(c.line);
        EXPECT_EQ(e.version, c.version);
        EXPECT_EQ(e.scramble, c.scramble);
        EXPECT_EQ(e.deleteAfter, c.deleteAfter);
        EXPECT_EQ(e.existingOnly, c.existingOnly);
        EXPECT_EQ(e.languages, c.languages);
        EXPECT_EQ(e.productVersions, c.productVersions);
        EXPECT_EQ(e.status, 0);
        EXPECT_EQ(e.size, 4);
    }
}

TEST_F(PackTest, SourceNamesAndStoredNames) {
    PathMakeDirs("src\\with blank");
    PathMakeDirs("elsewhere");
    writeFile("src/with blank/a b", "one");
    writeFile("elsewhere/c", "three");
    // Blank and CR-only lines are skipped wherever they stand.
    EXPECT_EQ(pack("\r\nwith blank\\a b|V=100\r\r#x\\A b\n\n#elsewhere\\c|V=101\n" +
                   std::string("C:\\abs\\c\r\n")),
              2);
    std::vector<LzxEntry> e = readEntries("a.lzx");
    ASSERT_EQ(e.size(), 2u);
    EXPECT_STREQ(e[0].name, "#x\\A b");
    EXPECT_EQ(e[0].size, 3);
    EXPECT_STREQ(e[1].name, "C:\\abs\\c");
    EXPECT_EQ(e[1].size, 5);
    EXPECT_EQ(total, 8);
    EXPECT_EQ(packed, static_cast<int32_t>(readFile("a.lzx").size()));
    for (const LzxEntry& r : e) {  // the bytes after the name are zero
        for (size_t i = std::strlen(r.name); i < sizeof r.name; ++i) ASSERT_EQ(r.name[i], 0);
        for (uint8_t b : r.reserved) ASSERT_EQ(b, 0);
    }
}

TEST_F(PackTest, EntriesBeyondCapacityArePackedButNotListed) {
    PathMakeDirs("src");
    writeFile("src/f", "data");
    std::vector<LzxEntry> list(3, makeEntry("untouched"));
    LzxEntry* const data = list.data();
    EXPECT_EQ(pack("f|V=100\n#1\nf|V=101|L=e\n#2\nf|V=102\n#3\n", data, 2), 3);
    EXPECT_STREQ(list[0].name, "#1");
    EXPECT_EQ(list[1].version, 101);
    EXPECT_EQ(list[1].languages, 2);
    EXPECT_EQ(list[1].size, 4);
    EXPECT_STREQ(list[2].name, "untouched");
    EXPECT_EQ(readEntries("a.lzx").size(), 3u);
}

TEST_F(PackTest, PackedTreeUnpacksToTheSameBytesAndOptions) {
    PathMakeDirs("src\\sub\\deeper");
    std::vector<unsigned char> big = randomBytes(5 * 1024 * 1024 + 123, 7);
    std::string bigText(big.begin(), big.end());
    // Compressible data as well, spanning many blocks.
    std::string text;
    while (text.size() < 3 * 1024 * 1024) text += "line of text " + std::to_string(text.size());
    writeFile("src/sub/deeper/big.bin", bigText);
    writeFile("src/text.txt", text);
    writeFile("src/one", "1");
    EXPECT_EQ(pack("sub\\deeper\\big.bin|V=200|L=d\n#sub\\deeper\\big.bin\n"
                   "text.txt|V=100|J=2|R=1\n#text.txt\none|V=100|D=1|E=1\n#one\n"),
              3);
    EXPECT_EQ(total, static_cast<int32_t>(bigText.size() + text.size() + 1));

    std::vector<LzxEntry> e = readEntries("a.lzx");
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0].languages, 1);
    EXPECT_EQ(e[1].productVersions, 2);
    EXPECT_EQ(e[1].existingOnly, 1);
    EXPECT_EQ(e[2].deleteAfter, 1);
    EXPECT_EQ(e[2].scramble, 1);

    PathMakeDirs("out");
    writeFile("out/text.txt", "");  // existing, so R=1 writes it
    UnPackLZX("a.lzx", "out", nullptr, 0, 1, 1, 2);
    EXPECT_EQ(readFile("out/sub/deeper/big.bin"), bigText);
    EXPECT_EQ(readFile("out/text.txt"), text);
    EXPECT_FALSE(pathExists("out/one"));
}

std::vector<int64_t> gProgress;
void recordProgress(int64_t done, int64_t) {
    gProgress.push_back(done);
}

TEST_F(PackTest, SourceFilesAreReadInPiecesOf8192Bytes) {
    PathMakeDirs("src");
    writeFile("src/f", std::string(20000, 'a'));
    gProgress.clear();
    ArchiveSetProgress(recordProgress);
    pack("f|V=100\nx\n");
    ArchiveSetProgress(nullptr);
    EXPECT_EQ(gProgress, (std::vector<int64_t>{8192, 16384, 20000}));
}

TEST_F(PackTest, ListFileFaultsEndTheRun) {
    PathMakeDirs("src");
    writeFile("src/f", "data");
    writeFile("src/empty", "");
    writeFile("list.txt", "");
    EXPECT_EXIT(PackLZX("list.txt", nullptr, nullptr, nullptr, 0), ExitedWithCode(2),
                HasSubstr("PackLZX: No first line"));
    writeFile("list.txt", "a.lzx\n\n");
    EXPECT_EXIT(PackLZX("list.txt", nullptr, nullptr, nullptr, 0), ExitedWithCode(2),
                HasSubstr("PackLZX: No base directory"));
    EXPECT_EXIT(pack("f|V=100\n"), ExitedWithCode(2), HasSubstr("PackLZX: No first line"));
    EXPECT_EXIT(pack("|||\nx\n"), ExitedWithCode(2), HasSubstr("PackLZX: No filename found"));
    EXPECT_EXIT(pack("f| V =100\nx\n"), ExitedWithCode(2),
                HasSubstr("PackLZX: Unknown option [ V =100]"));
    EXPECT_EXIT(pack("f|V=100|X=1\nx\n"), ExitedWithCode(2),
                HasSubstr("PackLZX: Unknown option [X=1]"));
    EXPECT_EXIT(pack("f|V=99\nx\n"), ExitedWithCode(2),
                HasSubstr("PackLZX: Version error [src\\f]"));
    EXPECT_EXIT(pack("f|L=d\nx\n"), ExitedWithCode(2), HasSubstr("PackLZX: Version error"));
    EXPECT_EXIT(pack("f|V=-100\nx\n"), ExitedWithCode(2), HasSubstr("PackLZX: Version error"));
    EXPECT_EXIT(pack("empty|V=100\nx\n"), ExitedWithCode(2),
                HasSubstr("PackLZX: Cannot pack empty or missing file"));
    EXPECT_EXIT(pack("missing|V=100\nx\n"), ExitedWithCode(2),
                HasSubstr("[src\\missing] code = 209"));
    EXPECT_EXIT(pack("f|V=99999999999\nx\n"), ExitedWithCode(2),
                HasSubstr("PackLZX: Number too large"));
}

TEST_F(PackTest, LinesBeyondTheLimitsAreRefused) {
    PathMakeDirs("src");
    writeFile("src/f", "data");
    std::string options;
    for (int i = 0; i < 46; ++i) options += "|E=1";
    EXPECT_EQ(pack("f|V=100" + options + "\n" + std::string(127, 'n') + "\n"), 1);
    EXPECT_EXIT(pack("f|V=100|E=1" + options + "\nx\n"), ExitedWithCode(2),
                HasSubstr("PackLZX: More than 47 options"));
    EXPECT_EXIT(pack("f|V=100\n" + std::string(128, 'n') + "\n"), ExitedWithCode(2),
                HasSubstr("PackLZX: stored name longer than 127 characters"));
    std::string longLine = "f|V=100|E=" + std::string(245, '1');  // 255 characters fit
    EXPECT_EQ(longLine.size(), 255u);
    EXPECT_EXIT(pack(longLine + "\nx\n"), ExitedWithCode(2), HasSubstr("Number too large"));
    EXPECT_EXIT(pack(longLine + "1\nx\n"), ExitedWithCode(2),
                HasSubstr("PackLZX: source line longer than 255 characters"));
    writeFile("list.txt", std::string(256, 'a') + "\nsrc\\\n");
    EXPECT_EXIT(PackLZX("list.txt", nullptr, nullptr, nullptr, 0), ExitedWithCode(2),
                HasSubstr("PackLZX: archive line longer than 255 characters"));
    writeFile("list.txt", "a.lzx\n" + std::string(256, 'b') + "\n");
    EXPECT_EXIT(PackLZX("list.txt", nullptr, nullptr, nullptr, 0), ExitedWithCode(2),
                HasSubstr("PackLZX: base directory longer than 255 characters"));
    // Base directory and name together must stay below 256 characters.
    writeFile("list.txt",
              "a.lzx\n" + std::string(200, 'b') + "\n" + std::string(56, 'c') + "|V=100\nx\n");
    EXPECT_EXIT(PackLZX("list.txt", nullptr, nullptr, nullptr, 0), ExitedWithCode(2),
                HasSubstr("PackLZX: Source path too long"));
}

TEST_F(PackTest, FailedPackLeavesTheOldArchiveAndNothingElse) {
    PathMakeDirs("src");
    PathMakeDirs("out");
    writeFile("src/f", "data");
    writeFile("list.txt", "out\\a.lzx\nsrc\\\nf|V=100\n#f\n");
    ASSERT_EQ(PackLZX("list.txt", nullptr, nullptr, nullptr, 0), 1);
    const std::string good = readFile("out/a.lzx");
    for (const char* bad : {"f|V=100\n#f\nmissing|V=100\n#m\n", "f|V=100\n#f\nf|X=1\n#x\n",
                            "f|V=100\n#f\nf|V=100\n"}) {
        SCOPED_TRACE(bad);
        writeFile("list.txt", std::string("out\\a.lzx\nsrc\\\n") + bad);
        EXPECT_EXIT(PackLZX("list.txt", nullptr, nullptr, nullptr, 0), ExitedWithCode(2), "");
        EXPECT_EQ(readFile("out/a.lzx"), good);
        // No index file in the working directory or beside the archive.
        EXPECT_EQ(std::system("test $(ls | wc -l) -eq 3 && test $(ls out | wc -l) -eq 1"), 0);
    }
}

TEST_F(PackTest, AnArchiveThatIsOneOfItsSourcesIsRefused) {
    PathMakeDirs("src");
    writeFile("src/f", "precious");
    ASSERT_EQ(symlink("src/f", "soft.lzx"), 0);
    ASSERT_EQ(link("src/f", "hard.lzx"), 0);
    for (const char* archive : {"src\\f", "soft.lzx", "hard.lzx", "src/f"}) {
        SCOPED_TRACE(archive);
        writeFile("list.txt", std::string(archive) + "\nsrc\\\nf|V=100\n#f\n");
        EXPECT_EXIT(PackLZX("list.txt", nullptr, nullptr, nullptr, 0), ExitedWithCode(2),
                    HasSubstr("PackLZX: Archive is one of its sources [src\\f]"));
        EXPECT_EQ(readFile("src/f"), "precious");
    }
    writeFile("list.txt", "list.txt\nsrc\\\n");
    EXPECT_EXIT(PackLZX("list.txt", nullptr, nullptr, nullptr, 0), ExitedWithCode(2),
                HasSubstr("PackLZX: Archive is the list file [list.txt]"));
    EXPECT_EQ(readFile("list.txt"), "list.txt\nsrc\\\n");
}

}  // namespace
