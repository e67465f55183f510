// The registry store, product detection and the product-active marker.
#include "updater/product.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "config_test_base.h"
#include "scoped_env.h"
#include "support/tempdir.h"
#include "updater/config.h"
#include "updater/registry_store.h"

using testing::HasSubstr;

namespace {

class ProductTest : public ConfigTest {
  protected:
    void SetUp() override {
        ConfigTest::SetUp();
        variant(1, 0, gConfig.dutch);
        gConfig.productDir[0] = gConfig.installedVersion[0] = 0;
    }
    void set(const char* name, const char* value, const char* key = "Vorn") {
        platform::RegKey k;
        ASSERT_EQ(openProductKey(key, k), 1);
        ASSERT_TRUE(platform::regWriteString(k, name, value));
        platform::regCloseKey(k);
    }

    ScratchDir scratch_;
    std::string store_ = scratch_.path() + "/store/registry";
    ScopedEnv registryEnv_{"VELMORA_REGISTRY", store_};
    ScopedEnv runtimeEnv_{"XDG_RUNTIME_DIR", scratch_.path()};
};

TEST(RegistryStore, TextFormRoundTripsAwkwardBytes) {
    registry_store::Store store;
    std::string awkward = "C:\\dir \"quoted\"\n\ttab\x01\xE9]%";
    store.obtain("Software\\Vorn").set("Location", awkward);
    store.obtain("Software\\Odd]%Key\n").set("V\"al", "");
    std::string text = registry_store::format(store);
    EXPECT_THAT(text, HasSubstr("[Software\\Vorn]\n"));  // paths stay readable
    registry_store::Store again;
    EXPECT_TRUE(registry_store::parse(text, again));
    ASSERT_EQ(again.keys.size(), 2u);
    EXPECT_EQ(*again.find("software\\VORN")->get("location"), awkward);
    ASSERT_NE(again.find("Software\\Odd]%Key\n"), nullptr);
    EXPECT_EQ(*again.find("Software\\Odd]%Key\n")->get("V\"al"), "");
}

// Other programs share the store: a write changes our value's line and
// nothing else, whatever the rest looks like.
TEST(RegistryStore, LinesWeDoNotOwnSurviveByteForByte) {
    const std::string before =
        "; written by hand\r\n"
        "[Software\\Trivelo]\r\n"
        "\"Path\"=\"C:\\Program Files\\Trivelo\"\r\n"
        "\"Count\"=dword:0000002a\n"
        "[Software\\Broken\n"
        "\"Lost\"=\"no\"\n"
        "garbage line\n"
        "[Software\\Vorn]  \n"
        "\"Location\"=\"/opt/vorn\"\n"
        "\"Version\"=\"3.0\"\n"
        "\n"
        "# the end, without a line feed";
    registry_store::Store store;
    EXPECT_FALSE(registry_store::parse(before, store));  // some lines are not ours to read
    // Another program's backslashes mean themselves.
    EXPECT_EQ(*store.find("Software\\Trivelo")->get("Path"), "C:\\Program Files\\Trivelo");
    EXPECT_EQ(store.find("Software\\Trivelo")->get("Count"), nullptr);
    // A damaged key line gives its values to no key, and ours stay ours.
    EXPECT_EQ(store.find("Software\\Broken"), nullptr);
    ASSERT_NE(store.find("Software\\Vorn"), nullptr);
    EXPECT_EQ(store.find("Software\\Vorn")->get("Lost"), nullptr);
    EXPECT_EQ(*store.find("Software\\Vorn")->get("Location"), "/opt/vorn");
    EXPECT_EQ(registry_store::format(store), before);  // read and written unchanged

    store.obtain("Software\\VORN").set("Version", "3.01");
    store.obtain("Software\\Vorn").set("New", "x");
    store.obtain("Software\\Fresh").set("A", "1");
    std::string expected = before;
    expected.replace(expected.find("\"3.0\""), 5, "\"3.01\"");
    expected.replace(expected.find("\n\n#"), 1, "\n\"New\"=\"x\"\n");
    expected += "\n\n[Software\\Fresh]\n\"A\"=\"1\"\n";
    EXPECT_EQ(registry_store::format(store), expected);
}

TEST(RegistryStore, ManyKeysAreReadInOnePass) {
    std::string text;
    for (int i = 0; i < 20000; ++i)
        text += "[Software\\Key" + std::to_string(i) + "]\n\"V\"=\"" + std::to_string(i) + "\"\n";
    registry_store::Store store;
    EXPECT_TRUE(registry_store::parse(text, store));
    EXPECT_EQ(store.keys.size(), 20000u);
    EXPECT_EQ(*store.find("software\\key19999")->get("v"), "19999");
    store.obtain("Software\\Key7").set("V", "seven");
    std::string out = registry_store::format(store);
    EXPECT_EQ(out.size(), text.size() + 4);
}

TEST_F(ProductTest, MissingKeyFailsAndLeavesAnEmptyKeyBehind) {
    EXPECT_EQ(findProductDirectory(), 0);
    registry_store::Store store;
    registry_store::parse(readFile(store_), store);
    ASSERT_NE(store.find("Software\\Vorn"), nullptr);
    EXPECT_TRUE(store.find("Software\\Vorn")->values.empty());
}

TEST_F(ProductTest, UpdateNeedsLocationAndVersion) {
    set("Location", "C:\\");
    EXPECT_EQ(findProductDirectory(), 0);
    set("Version", "3.01");
    EXPECT_EQ(findProductDirectory(), 1);
    EXPECT_STREQ(gConfig.productDir, "C:\\");
    EXPECT_STREQ(gConfig.installedVersion, "3.01");
}

// An empty location would mean the file system's root, a relative one
// wherever the installer was started.
TEST_F(ProductTest, EmptyOrRelativeLocationIsNoProduct) {
    set("Version", "3.01");
    for (const char* location : {"", "Vorn", "relative/dir", "C:", "C:Vorn", "\\Vorn", "..\\up"}) {
        set("Location", location);
        EXPECT_EQ(findProductDirectory(), 0) << location;
    }
    for (const char* location : {"/opt/vorn", "C:\\", "d:/Games/Vorn", "\\\\server\\share"}) {
        set("Location", location);
        EXPECT_EQ(findProductDirectory(), 1) << location;
    }
}

TEST_F(ProductTest, ValuesLongerThanTheirBuffersFail) {
    set("Location", ("/" + std::string(258, 'd')).c_str());
    set("Version", std::string(79, '3').c_str());
    EXPECT_EQ(readProductKey("Vorn"), 1);
    set("Version", std::string(80, '3').c_str());
    EXPECT_EQ(readProductKey("Vorn"), 0);
    set("Version", "3");
    set("Location", ("/" + std::string(259, 'd')).c_str());
    EXPECT_EQ(readProductKey("Vorn"), 0);
}

TEST_F(ProductTest, VariantsUseTheirOwnKeys) {
    set("Location", "/opt/demo", "Vorn Demo");
    gConfig.demo = 1;
    EXPECT_EQ(findProductDirectory(), 1);  // no version needed
    EXPECT_STREQ(gConfig.productDir, "/opt/demo");
    EXPECT_STREQ(gConfig.installedVersion, "");
    gConfig.demo = 0;
    gConfig.mainProduct = 0;
    EXPECT_EQ(findProductDirectory(), 0);
    set("Location", "/opt/velmora", "Velmora");
    set("Version", "3.0", "Velmora");
    EXPECT_EQ(findProductDirectory(), 1);
    EXPECT_STREQ(gConfig.productDir, "/opt/velmora");
    gConfig.demo = 1;
    gConfig.productDir[0] = 0;
    EXPECT_EQ(findProductDirectory(), 1);
    EXPECT_THAT(gConfig.productDir, testing::EndsWith("Vorn Demo"));
}

TEST_F(ProductTest, WriteVersionKeepsOtherValuesAndKeys) {
    set("Location", "/opt/vorn");
    set("Location", "/opt/velmora", "Velmora");
    EXPECT_EQ(writeProductVersion("Vorn", "3.01"), 1);
    EXPECT_EQ(writeProductVersion("VORN", "3.02"), 1);  // keys ignore case
    EXPECT_EQ(readProductKey("Vorn"), 1);
    EXPECT_STREQ(gConfig.installedVersion, "3.02");
    EXPECT_STREQ(gConfig.productDir, "/opt/vorn");
    EXPECT_EQ(writeProductVersion(std::string(31, 'k').c_str(), "1"), 0);  // name too long
}

// The store may be a link to a file kept elsewhere: a write replaces that
// file (beside it, in one rename) and keeps the link.
TEST_F(ProductTest, LinkedStoreIsWrittenAtItsTarget) {
    std::string real = scratch_.path() + "/elsewhere/registry";
    registry_store::makeDirectories(scratch_.path() + "/elsewhere");
    registry_store::makeDirectories(scratch_.path() + "/store");
    writeFile(real, "# kept\n[Software\\Vorn]\n\"Location\"=\"/opt/vorn\"\n");
    ASSERT_EQ(symlink("../elsewhere/registry", store_.c_str()), 0);
    EXPECT_EQ(writeProductVersion("Vorn", "3.01"), 1);
    struct stat st;
    ASSERT_EQ(lstat(store_.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readFile(real),
              "# kept\n[Software\\Vorn]\n\"Location\"=\"/opt/vorn\"\n\"Version\"=\"3.01\"\n");
    for (const auto& e : std::filesystem::directory_iterator(scratch_.path() + "/elsewhere"))
        EXPECT_THAT(e.path().filename().string(), testing::StartsWith("registry"));
}

TEST_F(ProductTest, UnwritableStoreFailsWithoutHarm) {
    ScopedEnv store("VELMORA_REGISTRY", scratch_.path() + "/file/registry");
    writeFile(scratch_.path() + "/file", "not a directory");
    EXPECT_EQ(findProductDirectory(), 0);
    EXPECT_EQ(writeProductVersion("Vorn", "3.01"), 0);
}

TEST_F(ProductTest, MarkerIsHeldFromTheFirstTestOn) {
    EXPECT_EQ(isProductActive("TestMarkerA"), 0);
    // The first test keeps the marker: any later test sees it as present.
    EXPECT_EQ(isProductActive("TestMarkerA"), 1);
    EXPECT_EQ(isProductActive("TestMarkerB"), 0);
}

TEST(ProductDrive, WindowsDriveReplacesTheFirstCharacter) {
    char dir[64] = "C:\\Program Files\\Vorn Demo";
    applyWindowsDrive(dir, "D:\\WINDOWS");
    EXPECT_STREQ(dir, "D:\\Program Files\\Vorn Demo");
}

}  // namespace
