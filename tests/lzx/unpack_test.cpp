#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive_support.h"
#include "console/console.h"
#include "fileio/fileio.h"
#include "lzx/archive.h"
#include "lzx/lzx.h"
#include "support/tempdir.h"

using testing::ExitedWithCode;
using testing::HasSubstr;
using testing::Not;

namespace {

class UnpackTest : public testing::Test {
  protected:
    void SetUp() override { FileStackClear(); }
    void TearDown() override { EXPECT_EQ(FileStackCount(), 0); }

    // Unpacks a.lzx into "out" with the given list and masks.
    int32_t unpack(LzxEntry* list = nullptr, int32_t capacity = 0, int32_t force = 0,
                   int32_t languages = 0, int32_t versions = 0) {
        return UnPackLZX("a.lzx", "out", list, capacity, force, languages, versions);
    }

    ScratchDir dir;
};

std::string bytes(size_t n, unsigned seed) {
    std::vector<unsigned char> v = randomBytes(n, seed);
    return std::string(v.begin(), v.end());
}

TEST_F(UnpackTest, EmptyArchiveWritesNothingAndLeavesTheListAlone) {
    writeArchive("a.lzx", {});
    std::vector<LzxEntry> list(3, makeEntry(""));
    list[0] = makeEntry("#keep", 120);
    EXPECT_EQ(unpack(list.data(), 3, 1), 0);
    EXPECT_FALSE(pathExists("out"));
    EXPECT_EQ(list[0].status, 0);
    EXPECT_EQ(list[1].name[0], 0);
}

TEST_F(UnpackTest, WritesFilesOfEverySizeWhereTheirNamesSay) {
    std::string big = bytes(3 * 15011 + 16384 + 7, 1);  // many copy pieces and blocks
    writeArchive("a.lzx", {{makeEntry("#sub\\dir\\big.bin"), big},
                           {makeEntry("#empty.txt"), ""},
                           {makeEntry("#last"), "x"}});
    EXPECT_EQ(unpack(), 0);
    EXPECT_EQ(readFile("out/sub/dir/big.bin"), big);
    EXPECT_TRUE(pathExists("out/empty.txt"));
    EXPECT_EQ(readFile("out/empty.txt"), "");
    EXPECT_EQ(readFile("out/last"), "x");

    // Names without "#" need no target directory.
    writeArchive("b.lzx", {{makeEntry("other.txt"), "b"}});
    UnPackLZX("b.lzx", nullptr, nullptr, 0, 0, 0, 0);
    EXPECT_EQ(readFile("other.txt"), "b");
    // Beside another target they land outside it: only when allowed.
    writeArchive("c.lzx", {{makeEntry("plain.txt"), "as it stands"}});
    EXPECT_EXIT(UnPackLZX("c.lzx", "out", nullptr, 0, 0, 0, 0), ExitedWithCode(2),
                HasSubstr("UnPackLZX: would land outside the target [plain.txt]"));
    UnPackLZX("c.lzx", "out", nullptr, 0, 0, 0, 0, kUnpackUnsafePaths);
    EXPECT_EQ(readFile("plain.txt"), "as it stands");
}

TEST_F(UnpackTest, LanguageAndProductVersionMasksSkipButReadPast) {
    struct Case {
        int32_t entryLanguages, entryVersions, argLanguages, argVersions;
        bool written;
    };
    const Case cases[] = {
        {0, 0, 0, 0, true},   // no condition: always written
        {2, 0, 0, 0, false},  // the installer's masks of 0 skip every condition
        {0, 4, 0, 0, false}, {2, 0, 2, 0, true},  {3, 0, 1, 0, true},  {2, 0, 1, 0, false},
        {0, 5, 0, 4, true},  {0, 5, 0, 2, false}, {1, 1, 1, 2, false},  // language passes, version
                                                                        // does not
    };
    for (const Case& c : cases) {
        LzxEntry e = makeEntry("#sub\\f");
        e.languages = c.entryLanguages;
        e.productVersions = c.entryVersions;
        std::remove("out/sub/f");
        writeArchive("a.lzx", {{e, "filtered"}, {makeEntry("#next"), "next"}});
        unpack(nullptr, 0, 1, c.argLanguages, c.argVersions);
        SCOPED_TRACE(testing::Message() << c.entryLanguages << "," << c.entryVersions << " vs "
                                        << c.argLanguages << "," << c.argVersions);
        EXPECT_EQ(pathExists("out/sub/f"), c.written);
        EXPECT_TRUE(pathExists("out/sub"));  // directories come before the filters
        EXPECT_EQ(readFile("out/next"), "next");
    }
}

TEST_F(UnpackTest, ListDecidesByVersionAndRecordsTheOutcome) {
    std::vector<LzxEntry> list(6, makeEntry(""));
    list[0] = makeEntry("#SAME", 120);
    list[1] = makeEntry("#older", 110);
    list[2] = makeEntry("#newer", 130);
    list[2].languages = 99;  // a kept record keeps its fields
    LzxEntry fresh = makeEntry("#fresh", 100);
    fresh.scramble = 7;
    writeArchive("a.lzx", {{makeEntry("#same", 120), "same"},
                           {makeEntry("#older", 120), "older"},
                           {makeEntry("#newer", 120), "newer"},
                           {fresh, "fresh"}});

    // With a list the record decides, not whether the file exists already.
    PathMakeDirs("out");
    writeFile("out/older", "stale");
    unpack(list.data(), 6, 0);
    EXPECT_FALSE(pathExists("out/same"));  // equal version without force
    EXPECT_EQ(list[0].status, 3);
    EXPECT_STREQ(list[0].name, "#SAME");
    EXPECT_EQ(readFile("out/older"), "older");
    EXPECT_EQ(list[1].status, 2);
    EXPECT_EQ(list[1].version, 120);
    EXPECT_EQ(list[1].size, 5);
    EXPECT_FALSE(pathExists("out/newer"));  // no downgrade
    EXPECT_EQ(list[2].status, 3);
    EXPECT_EQ(list[2].version, 130);
    EXPECT_EQ(list[2].languages, 99);
    EXPECT_STREQ(list[3].name, "#fresh");  // the first empty record, whole
    EXPECT_EQ(list[3].status, 1);
    EXPECT_EQ(list[3].scramble, 7);
    EXPECT_EQ(list[4].name[0], 0);

    // With force the equal version is written again and counts as replaced.
    unpack(list.data(), 6, 1);
    EXPECT_EQ(readFile("out/same"), "same");
    EXPECT_EQ(list[0].status, 2);
    EXPECT_STREQ(list[0].name, "#same");
    EXPECT_FALSE(pathExists("out/newer"));
    EXPECT_EQ(list[3].status, 2);
    EXPECT_EQ(list[4].name[0], 0);  // found again, not added twice
}

TEST_F(UnpackTest, SkipsAreShownOnTheConsole) {
    ConCreate(0);
    LzxEntry lang = makeEntry("#lang");
    lang.languages = 6;
    LzxEntry ver = makeEntry("#ver");
    ver.productVersions = 4;
    LzxEntry both = makeEntry("#both");  // the language test comes first, and alone
    both.languages = 8;
    both.productVersions = 4;
    std::vector<LzxEntry> list(2, makeEntry(""));
    list[0] = makeEntry("#Same", 120);
    writeArchive("a.lzx", {{lang, "l"}, {ver, "v"}, {makeEntry("#same", 120), "s"}, {both, "b"}});
    unpack(list.data(), 2, 0, 1, 3);
    ConDestroy();
    std::string log = readFile("CONW.LOG");
    EXPECT_THAT(log, HasSubstr("\nSkip writing language [6, 1] [#lang]"));
    EXPECT_THAT(log, HasSubstr("\nSkip writing vorn version [4, 3] [#ver]"));
    EXPECT_THAT(log, HasSubstr("\nSkip writing file version [120, 120] [#same]"));
    EXPECT_THAT(log, HasSubstr("\nSkip writing language [8, 1] [#both]"));
    EXPECT_THAT(log, Not(HasSubstr("vorn version [4, 3] [#both]")));
    EXPECT_EQ(list[1].name[0], 0);  // skipped entries take no record
}

TEST_F(UnpackTest, FullListEndsTheRunOnlyForEntriesThatPassTheMasks) {
    LzxEntry list[1] = {makeEntry("#other", 100)};
    LzxEntry dutch = makeEntry("#dutch");
    dutch.languages = 1;
    writeArchive("a.lzx", {{dutch, "d"}, {makeEntry("#other", 101), "o"}});
    unpack(list, 1, 0, 0, 0);  // the filtered entry never looks for room
    EXPECT_EQ(readFile("out/other"), "o");

    writeArchive("a.lzx", {{makeEntry("#new"), "n"}});
    EXPECT_EXIT(unpack(list, 1), ExitedWithCode(2), HasSubstr("UnPackLZX too many files"));
    EXPECT_EXIT(unpack(list, 0), ExitedWithCode(2), HasSubstr("UnPackLZX too many files"));
}

TEST_F(UnpackTest, ExistingFilesWithoutAList) {
    PathMakeDirs("out");
    writeFile("out/f", "old");
    writeArchive("a.lzx", {{makeEntry("#f"), "new"}, {makeEntry("#g"), "g"}});
    unpack(nullptr, 0, 0);
    EXPECT_EQ(readFile("out/f"), "old");  // kept, and its data read past
    EXPECT_EQ(readFile("out/g"), "g");
    unpack(nullptr, 0, 1);
    EXPECT_EQ(readFile("out/f"), "new");
}

TEST_F(UnpackTest, ExistingOnlyWritesOverExistingFilesAndStillUpdatesTheList) {
    PathMakeDirs("out");
    writeFile("out/there", "old");
    LzxEntry there = makeEntry("#there", 100);
    there.existingOnly = 1;
    LzxEntry missing = makeEntry("#missing", 100);
    missing.existingOnly = 5;
    writeArchive("a.lzx", {{missing, "m"}, {there, "new"}, {makeEntry("#after"), "a"}});
    std::vector<LzxEntry> list(4, makeEntry(""));
    unpack(list.data(), 4, 1);
    EXPECT_FALSE(pathExists("out/missing"));
    EXPECT_EQ(list[0].status, 1);  // listed though not written
    EXPECT_EQ(readFile("out/there"), "new");
    EXPECT_EQ(readFile("out/after"), "a");
}

TEST_F(UnpackTest, DeleteAfterRemovesOnlyAFileTheEntryWrote) {
    PathMakeDirs("out");
    writeFile("out/kept", "old");
    LzxEntry gone = makeEntry("#gone");
    gone.deleteAfter = 1;
    LzxEntry kept = makeEntry("#kept");  // exists, no list, no force: not written
    kept.deleteAfter = 1;
    LzxEntry absent = makeEntry("#absent");
    absent.deleteAfter = 1;
    absent.existingOnly = 1;
    writeArchive("a.lzx", {{gone, "g"}, {kept, "k"}, {absent, "a"}});
    unpack(nullptr, 0, 0);
    EXPECT_FALSE(pathExists("out/gone"));
    EXPECT_TRUE(pathExists("out"));
    EXPECT_EQ(readFile("out/kept"), "old");
    EXPECT_FALSE(pathExists("out/absent"));
}

TEST_F(UnpackTest, ScramblingIsAFixedXorThatUndoesItself) {
    LzxEntry five = makeEntry("#five");
    five.scramble = 1;
    LzxEntry four = makeEntry("#four");
    four.scramble = 1;
    LzxEntry eight = makeEntry("#eight");
    eight.scramble = 1;
    LzxEntry other = makeEntry("#other");
    other.scramble = 2;  // only 1 asks for scrambling
    std::string data = bytes(40000, 2);
    LzxEntry big = makeEntry("#big");
    big.scramble = 1;
    writeArchive("a.lzx", {{five, std::string(5, '\0')},
                           {four, "abcd"},
                           {eight, std::string(8, '\0')},
                           {other, "plain"},
                           {big, data},
                           {makeEntry("#empty"), ""}});
    unpack();
    // One window at offset 1: the initial key, little-endian.
    EXPECT_EQ(readFile("out/five"), std::string("\0\xC5\x91\x2E\x6D", 5));
    EXPECT_EQ(readFile("out/four"), "abcd");
    // Four windows: each key is the one before times 0x3A7F5B29, plus 1.
    EXPECT_EQ(readFile("out/eight"), std::string("\0\xC5\x1F\xCE\x33\xBE\x3F\xD6", 8));
    EXPECT_EQ(readFile("out/other"), "plain");
    std::string scrambled = readFile("out/big");
    EXPECT_EQ(scrambled[0], data[0]);
    EXPECT_NE(scrambled, data);
    ScrambleFile("out\\big");
    EXPECT_EQ(readFile("out/big"), data);
    ScrambleFile("out\\empty");
    EXPECT_EQ(readFile("out/empty"), "");
}

std::vector<int64_t> gProgress;
void recordProgress(int64_t done, int64_t) {
    gProgress.push_back(done);
}

TEST_F(UnpackTest, FileDataMovesInPiecesOf15011Bytes) {
    writeArchive("a.lzx", {{makeEntry("#f"), bytes(40000, 3)}});
    gProgress.clear();
    ArchiveSetProgress(recordProgress);
    unpack();
    ArchiveSetProgress(nullptr);
    EXPECT_EQ(gProgress, (std::vector<int64_t>{432 + 15011, 432 + 30022, 432 + 40000}));
}

TEST_F(UnpackTest, BrokenArchivesAndNamesEndTheRun) {
    std::string data(100, 'd');
    writeArchive("a.lzx", {{makeEntry("#a"), data}, {makeEntry("#b"), data}}, 100 + 432 - 200);
    EXPECT_EXIT(unpack(), ExitedWithCode(2), HasSubstr("UnPackLZX: target fail"));
    writeArchive("a.lzx", {{makeEntry("#a"), data}}, 1);
    EXPECT_EXIT(unpack(), ExitedWithCode(2), HasSubstr("UnPackLZX: unexpected eof"));
    writeArchive("a.lzx", {{makeEntry("#a"), data}});
    EXPECT_EXIT(UnPackLZX("a.lzx", nullptr, nullptr, 0, 0, 0, 0), ExitedWithCode(2),
                HasSubstr("UnPackLZX no target"));
    writeFile("not.lzx", "this is no archive at all");
    EXPECT_EXIT(UnPackLZX("not.lzx", "out", nullptr, 0, 0, 0, 0), ExitedWithCode(2),
                HasSubstr("Hopen: not an LZX file"));

    // A negative size would make the next record start inside the data.
    ArchiveItem negative{makeEntry("#neg\\f"), data, true};
    negative.entry.size = -5;
    writeArchive("a.lzx", {negative});
    EXPECT_EXIT(unpack(), ExitedWithCode(2), HasSubstr("UnPackLZX: bad entry size [#neg\\f]"));
    EXPECT_FALSE(pathExists("out/neg"));
}

// The installer unpacks the stream its check decoded: the same files, list
// and progress as from the container, and the same end for a broken stream.
TEST_F(UnpackTest, DecodedStreamUnpacksLikeTheContainer) {
    LzxEntry scrambled = makeEntry("#sub\\s.bin");
    scrambled.scramble = 1;
    LzxEntry skipped = makeEntry("#skipped");
    skipped.languages = 4;
    std::vector<ArchiveItem> items = {{makeEntry("#big.bin"), bytes(2 * 16384 + 15011 + 5, 4)},
                                      {scrambled, bytes(20000, 5)},
                                      {skipped, "not for this language"},
                                      {makeEntry("#empty"), ""},
                                      {makeEntry("#Old"), "older than the list"}};
    writeArchive("a.lzx", items);
    const std::string stream = archiveStream(items);
    const auto* raw = reinterpret_cast<const uint8_t*>(stream.data());
    const int64_t size = static_cast<int64_t>(stream.size());

    std::vector<LzxEntry> lists[2];
    std::vector<int64_t> progress[2];
    for (int way = 0; way < 2; ++way) {
        lists[way].assign(4, makeEntry(""));
        lists[way][0] = makeEntry("#old", 300);
        gProgress.clear();
        ArchiveSetProgress(recordProgress);
        if (way == 0) {
            UnPackLZX("a.lzx", "out", lists[way].data(), 4, 0, 1, 0);
        } else {
            EXPECT_EQ(UnPackLZXStream(raw, size, "mem", lists[way].data(), 4, 0, 1, 0), 0);
        }
        ArchiveSetProgress(nullptr);
        progress[way] = gProgress;
    }
    for (const char* f : {"big.bin", "sub/s.bin", "empty"}) {
        SCOPED_TRACE(f);
        EXPECT_TRUE(pathExists(std::string("mem/") + f));
        EXPECT_EQ(readFile(std::string("mem/") + f), readFile(std::string("out/") + f));
    }
    EXPECT_FALSE(pathExists("mem/skipped"));
    EXPECT_FALSE(pathExists("mem/Old"));
    EXPECT_EQ(progress[1], progress[0]);
    EXPECT_EQ(progress[1].back(), size);
    for (int i = 0; i < 4; ++i) {
        EXPECT_STREQ(lists[1][i].name, lists[0][i].name);
        EXPECT_EQ(lists[1][i].status, lists[0][i].status);
    }

    std::string data(100, 'd');
    std::string cut = archiveStream({{makeEntry("#a"), data}, {makeEntry("#b"), data}}, 300);
    EXPECT_EXIT(UnPackLZXStream(reinterpret_cast<const uint8_t*>(cut.data()),
                                static_cast<int64_t>(cut.size()), "cut", nullptr, 0, 0, 0, 0),
                ExitedWithCode(2), HasSubstr("UnPackLZX: target fail"));
    cut = archiveStream({{makeEntry("#a"), data}}, 1);
    EXPECT_EXIT(UnPackLZXStream(reinterpret_cast<const uint8_t*>(cut.data()),
                                static_cast<int64_t>(cut.size()), "cut2", nullptr, 0, 0, 0, 0),
                ExitedWithCode(2),
                HasSubstr("UnPackLZX: unexpected eof (the archive ends inside [#a])"));
    EXPECT_FALSE(pathExists("cut2/a"));
}

TEST_F(UnpackTest, TargetPathsOf256CharactersAreRefusedBeforeAnythingIsMade) {
    // "out\" + 251 characters = 255: the longest path that is accepted.
    std::string fits = "#d\\" + std::string(249, 'f');
    writeArchive("a.lzx", {{makeEntry(fits), "ok"}});
    unpack();
    EXPECT_EQ(readFile("out/d/" + std::string(249, 'f')), "ok");

    std::string tooLong = "#e\\" + std::string(250, 'f');
    writeArchive("a.lzx", {{makeEntry(tooLong), "no"}});
    EXPECT_EXIT(unpack(), ExitedWithCode(2), HasSubstr("UnPackLZX: target path too long"));
    EXPECT_FALSE(pathExists("out/e"));

    // A name field without its NUL is no longer than the field.
    LzxEntry full = makeEntry("");
    std::memset(full.name, 'n', sizeof full.name);
    writeArchive("a.lzx", {{full, "no"}});
    EXPECT_EXIT(UnPackLZX("a.lzx", nullptr, nullptr, 0, 0, 0, 0), ExitedWithCode(2),
                HasSubstr("UnPackLZX: target path too long"));
}

TEST_F(UnpackTest, FailedCreateIsTheFileLayersError) {
    PathMakeDirs("out\\dir");
    writeArchive("a.lzx", {{makeEntry("#dir"), "x"}});
    EXPECT_EXIT(unpack(nullptr, 0, 1), ExitedWithCode(2), HasSubstr("code = 211"));
}

}  // namespace
