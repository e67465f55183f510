// Installation: the version file, the registry record and the temporary
// archive, with archives packed by the library itself.
#include "updater/install.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/error.h"
#include "config_test_base.h"
#include "fileio/fileio.h"
#include "lzx/lzx.h"
#include "scoped_env.h"
#include "support/tempdir.h"
#include "updater/config.h"
#include "updater/product.h"
#include "updater/registry_store.h"

using testing::ExitedWithCode;
using testing::HasSubstr;

namespace {

LzxEntry record(const char* name, int32_t version) {
    LzxEntry e{};
    std::snprintf(e.name, sizeof e.name, "%s", name);
    e.version = version;
    e.status = 7;
    return e;
}

std::string bytesOf(const std::vector<LzxEntry>& list) {
    return std::string(reinterpret_cast<const char*>(list.data()), list.size() * sizeof(LzxEntry));
}

std::vector<LzxEntry> readList(const std::string& name) {
    std::string bytes = readFile(name);
    std::vector<LzxEntry> list(bytes.size() / sizeof(LzxEntry));
    std::memcpy(list.data(), bytes.data(), list.size() * sizeof(LzxEntry));
    return list;
}

class InstallTest : public ConfigTest {
  protected:
    void SetUp() override {
        ConfigTest::SetUp();
        variant(1, 0, gConfig.dutch);
        PathMakeDirs("src\\sub");
        writeFile("src/a.txt", "alpha");
        writeFile("src/sub/b.txt", "bravo bravo");
    }

    // Packs the given entry lines into "a.lzx".
    void pack(const std::string& entries) {
        writeFile("a.lst", "a.lzx\nsrc\\\n" + entries);
        PackLZX("a.lst", nullptr, nullptr, nullptr, 0);
    }
    std::string version() {
        char text[80] = {};
        platform::RegKey key;
        if (!openProductKey("Vorn", key)) return "?";
        platform::regReadString(key, "Version", text, sizeof text);
        platform::regCloseKey(key);
        return text;
    }

    ScratchDir scratch_;
    ScopedEnv registry_{"VELMORA_REGISTRY", scratch_.path() + "/registry"};
    ScopedEnv tmp_{"TMPDIR", scratch_.path()};
};

const char kTwoFiles[] = "a.txt|V=200\n#a.txt\nsub\\b.txt|V=200\n#Sub\\b.txt\n";

TEST_F(InstallTest, EmptyVersionFileGetsOneRecordPerInstalledFile) {
    pack(kTwoFiles);
    PathMakeDirs("prod");
    writeFile("prod/lzx.ver", "");
    installArchive("a.lzx", "prod");
    std::vector<LzxEntry> list = readList("prod/lzx.ver");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_STREQ(list[0].name, "#a.txt");
    EXPECT_STREQ(list[1].name, "#Sub\\b.txt");
    for (const LzxEntry& e : list) EXPECT_EQ(e.status, 0);
    EXPECT_EQ(readFile("prod/Sub/b.txt"), "bravo bravo");
    EXPECT_EQ(version(), "3.01");
    EXPECT_FALSE(pathExists("prod/lzx.ver.new"));
}

TEST_F(InstallTest, OldRecordsKeepTheirPlaceAndAnEmptyNameEndsTheList) {
    pack("");  // an archive without entries
    PathMakeDirs("prod");
    writeFile("prod/lzx.ver",
              bytesOf({record("#old", 100), record("", 0), record("#after", 100)}) + "tail");
    installArchive("a.lzx", "prod");
    std::vector<LzxEntry> list = readList("prod/lzx.ver");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_STREQ(list[0].name, "#old");
    EXPECT_EQ(list[0].status, 0);

    pack(kTwoFiles);
    writeFile("prod/lzx.ver", bytesOf({record("#x", 100), record("#A.TXT", 300)}));
    installArchive("a.lzx", "prod");
    list = readList("prod/lzx.ver");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1].version, 300);  // newer than the archive's: kept
    EXPECT_FALSE(pathExists("prod/a.txt"));
    EXPECT_STREQ(list[2].name, "#Sub\\b.txt");
}

TEST_F(InstallTest, MissingVersionFileStopsTheMainUpdate) {
    pack(kTwoFiles);
    PathMakeDirs("prod");
    testing::internal::CaptureStderr();
    EXPECT_EQ(installArchive("a.lzx", "prod"), 0);
    std::string box = testing::internal::GetCapturedStderr();
    EXPECT_THAT(box, HasSubstr("[information] Einde\nprod\\lzx.ver not found"));
    EXPECT_FALSE(pathExists("prod/lzx.ver"));
    EXPECT_FALSE(pathExists("prod/a.txt"));
    EXPECT_EQ(version(), "");
}

// An update never makes the product's directory: a missing one is a
// product that is not there, in both update variants.
TEST_F(InstallTest, MissingProductDirectoryInstallsNothing) {
    pack(kTwoFiles);
    for (int mainProduct : {1, 0}) {
        variant(mainProduct, 0, 0);
        testing::internal::CaptureStderr();
        EXPECT_EQ(installArchive("a.lzx", "gone\\prod"), 0);
        EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr("gone\\prod not found"));
        EXPECT_FALSE(pathExists("gone"));
        EXPECT_EQ(version(), "");
    }
}

TEST_F(InstallTest, OnlyWholeRecordsOfTheVersionFileCount) {
    pack(kTwoFiles);
    PathMakeDirs("prod");
    // A record cut short after its name: "junk" must not become an entry.
    std::string cut = bytesOf({record("#junk", 100)}).substr(0, 300);
    writeFile("prod/lzx.ver", bytesOf({record("#old", 100)}) + cut);
    EXPECT_EQ(installArchive("a.lzx", "prod"), 1);
    std::vector<LzxEntry> list = readList("prod/lzx.ver");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_STREQ(list[0].name, "#old");
    EXPECT_STREQ(list[1].name, "#a.txt");
    EXPECT_STREQ(list[2].name, "#Sub\\b.txt");
    EXPECT_EQ(readFile("prod/lzx.ver").size(), 3 * sizeof(LzxEntry));
}

TEST_F(InstallTest, OtherVariantsStartAnEmptyListAndRecordTheMainProduct) {
    pack(kTwoFiles);
    gConfig.mainProduct = 0;
    PathMakeDirs("family");
    installArchive("a.lzx", "family");
    EXPECT_EQ(readList("family/lzx.ver").size(), 2u);
    EXPECT_EQ(version(), "3.01");  // under "Vorn" in every variant

    gConfig.mainProduct = 1;
    gConfig.demo = 1;
    installArchive("a.lzx", "demo\\deep\\dir");
    EXPECT_EQ(readFile("demo/deep/dir/a.txt"), "alpha");
    EXPECT_EQ(readList("demo/deep/dir/lzx.ver").size(), 2u);
    // The demo makes its directory itself, even for an archive that
    // names no file in it.
    pack("");
    EXPECT_EQ(installArchive("a.lzx", "empty\\demo"), 1);
    EXPECT_TRUE(pathExists("empty/demo/lzx.ver"));
}

// An archive whose stream is given byte for byte, entry records included.
void writeStream(const char* path, const std::string& stream) {
    HILE* h = Hopen(path, "wb");
    Hwrite(stream.data(), static_cast<int32_t>(stream.size()), h);
    Hclose(h);
}

std::string entry(const char* name, int32_t size) {
    LzxEntry e = record(name, 300);
    e.size = size;
    return std::string(reinterpret_cast<const char*>(&e), sizeof e);
}

// The check hands the installation the stream it decoded, and refuses a
// damaged one before anything is written.
TEST_F(InstallTest, CheckKeepsTheDecodedStreamAndRefusesDamage) {
    const std::string big(3 * kBlockSize + 123, 'z');
    const std::string good =
        entry("#a.txt", 5) + "alpha" + entry("#big", int32_t(big.size())) + big;
    writeStream("a.lzx", good);
    platform::LargeBuffer stream = checkArchive("a.lzx");
    EXPECT_EQ(std::string(stream.data(), stream.data() + stream.size()), good);
    // A stream too long to keep is checked all the same.
    EXPECT_TRUE(checkArchive("a.lzx", int32_t(good.size()) - 1).empty());

    PathMakeDirs("prod\\x");
    writeFile("prod/lzx.ver", "");
    struct Case {
        std::string stream;
        const char* why;
    };
    const Case cases[] = {
        {entry("#a.txt", 5) + "alpha" + entry("#b", 1).substr(0, 100), "entry record cut short"},
        {entry("", 5) + "alpha", "entry without a name"},
        {entry("#a.txt", -1), "entry size"},
        {entry("#a.txt", 5) + "alp", "file data cut short"},
        {entry("#a.txt", 5) + "alpha" + entry("#big", int32_t(big.size()) + 1) + big,
         "file data cut short"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        writeStream("a.lzx", c.stream);
        const std::string message = std::string("The installer is damaged (") + c.why + ")";
        EXPECT_EXIT(installArchive("a.lzx", "prod"), ExitedWithCode(2), HasSubstr(message));
        EXPECT_EXIT(checkArchive("a.lzx", 0), ExitedWithCode(2), HasSubstr(message));
        EXPECT_FALSE(pathExists("prod/a.txt"));
        EXPECT_EQ(readFile("prod/lzx.ver"), "");
    }
}

// The installer's own words when the system refuses memory: the size and
// the system's reason, after an empty first line.
TEST(TrackedMemoryDeathTest, RefusedMemoryNamesSizeAndReason) {
#if VORN_SANITIZED
    GTEST_SKIP() << "the sanitizers' allocator ends the process itself";
#else
    auto starved = [] {
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = 512u << 20;
        setrlimit(RLIMIT_AS, &limit);
        allocTracked(1 << 30);
    };
    EXPECT_EXIT(starved(), ExitedWithCode(2),
                HasSubstr("\nError 123: 1073741824, Cannot allocate memory"));
#endif
}

TEST_F(InstallTest, FailedUnpackingLeavesVersionFileAndRegistryAlone) {
    pack(kTwoFiles);
    PathMakeDirs("prod\\Sub\\b.txt");  // a directory where a file must go
    std::string before = bytesOf({record("#old", 100)});
    writeFile("prod/lzx.ver", before);
    writeProductVersion("Vorn", "3.0");
    EXPECT_EXIT(installArchive("a.lzx", "prod"), ExitedWithCode(2), HasSubstr("code = 211"));
    EXPECT_EQ(readFile("prod/lzx.ver"), before);
    EXPECT_FALSE(pathExists("prod/a.txt"));  // written before the failure, taken back
    EXPECT_EQ(version(), "3.0");
}

// Without a private temporary directory the archive is not written at all:
// no fallback name in the current directory, where a link may wait.
TEST_F(InstallTest, NoTemporaryDirectoryRefusesInsteadOfFallingBack) {
    writeFile("victim", "precious");
    ASSERT_EQ(symlink("victim", "TEMP.LZX"), 0);
    ScopedEnv tmp("TMPDIR", scratch_.path() + "/missing");
    char name[kFileNameMax];
    const unsigned char bytes[] = {1, 2, 3};
    EXPECT_EXIT(writeArchive(name, bytes, 3), ExitedWithCode(2),
                HasSubstr("cannot make a private temporary directory"));
    EXPECT_EQ(readFile("victim"), "precious");
}

TEST_F(InstallTest, TemporaryArchiveIsPrivateAndRemoved) {
    char name[kFileNameMax];
    const unsigned char bytes[] = {1, 2, 3};
    writeArchive(name, bytes, 3);
    std::string path = name;
    struct stat st;
    ASSERT_EQ(stat(path.substr(0, path.rfind('/')).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_THAT(path, testing::EndsWith("/TEMP.LZX"));
    EXPECT_EQ(readFile(path), std::string("\1\2\3"));
    deleteTemporary(name);
    EXPECT_FALSE(pathExists(path));
    EXPECT_FALSE(pathExists(path.substr(0, path.rfind('/'))));  // its directory too
    deleteTemporary(name);                                      // a missing file is no error
    // Every archive gets a directory of its own.
    std::string first = path;
    writeArchive(name, bytes, 3);
    EXPECT_NE(std::string(name), first);
    EXPECT_EQ(readFile(name), std::string("\1\2\3"));
    deleteTemporary(name);
}

// The version is recorded after the new files are in place; when the
// registry cannot take it, the files go back too: old files, old version
// list and old version, never a mix.
TEST_F(InstallTest, FailedVersionRecordTakesTheInstallationBack) {
    pack(kTwoFiles);
    PathMakeDirs("prod");
    std::string list = bytesOf({record("#a.txt", 100)});
    writeFile("prod/lzx.ver", list);
    writeFile("prod/a.txt", "old alpha");
    // A store whose directory leaves no room for the private name that a
    // write needs beside it: reads work, the write fails.
    std::string deep = scratch_.path() + "/";
    deep += std::string(250 - deep.size(), 'r');
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
    std::string store = "[Software\\Vorn]\n\"Version\"=\"3.0\"\n";
    writeFile(deep + "/registry", store);
    ScopedEnv registry("VELMORA_REGISTRY", deep + "/registry");
    EXPECT_EXIT(installArchive("a.lzx", "prod"), ExitedWithCode(2),
                HasSubstr("cannot record version 3.01 in the registry"));
    EXPECT_EQ(readFile("prod/a.txt"), "old alpha");
    EXPECT_EQ(readFile("prod/lzx.ver"), list);
    EXPECT_FALSE(pathExists("prod/Sub"));
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator("prod")) {
        EXPECT_THAT(e.path().filename().string(), testing::AnyOf("a.txt", "lzx.ver"));
        ++entries;
    }
    EXPECT_EQ(entries, 2);
    EXPECT_EQ(readFile(deep + "/registry"), store);
}

// A killed run leaves its private directory behind; the next run removes
// it, and only it: names of live processes and other names stay.
TEST_F(InstallTest, LeftoversOfKilledRunsAreRemoved) {
    pid_t dead = fork();
    if (dead == 0) _exit(0);
    ASSERT_GT(dead, 0);
    waitpid(dead, nullptr, 0);
    std::string tmp = scratch_.path() + "/";
    std::string deadDir = tmp + "~vorn" + std::to_string(dead) + "-1.dir";
    std::string liveDir = tmp + "~vorn1-1.dir";  // init never ends
    for (const std::string& d : {deadDir, liveDir}) {
        ASSERT_EQ(mkdir(d.c_str(), 0700), 0);
        writeFile(d + "/TEMP.LZX", "archive");
    }
    writeFile(tmp + "~vorn" + std::to_string(dead) + "-7.tmp", "half");
    writeFile(tmp + "~vornx-1.tmp", "not ours");
    writeFile(tmp + "TEMP.LZX", "not ours either");
    PathMakeDirs("prod");
    writeFile("prod/~vorn" + std::to_string(dead) + "-3.old", "backup");
    writeFile("prod/keep.txt", "user's");
    recoverInstallation("prod");
    EXPECT_FALSE(pathExists(deadDir));
    EXPECT_FALSE(pathExists(tmp + "~vorn" + std::to_string(dead) + "-7.tmp"));
    EXPECT_FALSE(pathExists("prod/~vorn" + std::to_string(dead) + "-3.old"));
    EXPECT_EQ(readFile(liveDir + "/TEMP.LZX"), "archive");
    EXPECT_TRUE(pathExists(tmp + "~vornx-1.tmp"));
    EXPECT_TRUE(pathExists(tmp + "TEMP.LZX"));
    EXPECT_EQ(readFile("prod/keep.txt"), "user's");
}

}  // namespace
