// Texts, command line, language and system version checks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config_test_base.h"
#include "scoped_env.h"
#include "support/tempdir.h"
#include "updater/config.h"
#include "updater/product.h"
#include "updater/run.h"
#include "updater/texts.h"

using testing::ExitedWithCode;
using testing::HasSubstr;
using testing::Not;

namespace {

using TextTable = ConfigTest;
using CommandLine = ConfigTest;

TEST_F(TextTable, IdsWithoutRowAreUnknownInBothLanguages) {
    for (int dutch : {0, 1}) {
        variant(1, 0, dutch);
        for (int id : {0, 3, 32, -1, 1000}) EXPECT_STREQ(textFor(id), "Unknown") << id;
        EXPECT_STREQ(textFor(8), "");  // an empty row is still a row
    }
}

TEST_F(TextTable, DemoChoosesTheFormOfIds4And11And13And14) {
    variant(1, 0, 0);
    EXPECT_STREQ(textFor(4), "update information");
    EXPECT_STREQ(textFor(11), "Install update");
    EXPECT_STREQ(textFor(13), "The update has been applied.");
    EXPECT_STREQ(textFor(14), "Update report");
    variant(1, 1, 1);
    EXPECT_STREQ(textFor(4), "demo informatie");
    EXPECT_STREQ(textFor(11), "Installeer demo");
    EXPECT_STREQ(textFor(13), "Installatie succesvol.\nVeel plezier.");
    EXPECT_STREQ(textFor(14), "Einde installatie");
    variant(0, 1, 0);
    EXPECT_STREQ(textFor(13), "Installation completed.");
}

TEST_F(TextTable, MainProductChoosesCopyrightAndTeam) {
    variant(1, 0, 1);
    EXPECT_STREQ(textFor(10), "het Vorn team");
    std::string copyrightA = textFor(9);
    variant(0, 0, 1);
    EXPECT_STREQ(textFor(10), "ontwikkelling");
    EXPECT_NE(copyrightA, textFor(9));
    std::string copyrightB = textFor(9);
    variant(0, 0, 0);
    EXPECT_EQ(copyrightB, textFor(9));  // the same in both languages
    EXPECT_STREQ(textFor(10), "development");
    EXPECT_THAT(copyrightA, HasSubstr("2001-2005"));
}

TEST_F(TextTable, LanguagesNeverMix) {
    variant(1, 0, 0);
    EXPECT_STREQ(textFor(5), "Vorn 3.01: 26-jun-2005");
    EXPECT_STREQ(textFor(17), "Vorn directory not found");
    EXPECT_STREQ(textFor(20), "Program directory not found");
    EXPECT_STREQ(textFor(24), "You need Vorn version 3.0 to be able to use this update.");
    EXPECT_THAT(textFor(15), testing::StartsWith("E-mail: "));
    EXPECT_THAT(textFor(16), testing::StartsWith("Internet: "));
    // Only these two have no English text of their own.
    EXPECT_STREQ(textFor(30), "Er is een nieuwere versie van Velmora Software aanwezig.");
    EXPECT_STREQ(textFor(31), "Er is een nieuwere versie van Trivelo aanwezig.");
    std::string english15 = textFor(15), english16 = textFor(16);
    variant(1, 0, 1);
    EXPECT_STREQ(textFor(17), "Vorn directory niet gevonden");
    EXPECT_STREQ(textFor(22),
                 "Tijdens de installatie mag er geen\nandere Velmora Software draaien.");
    EXPECT_STREQ(textFor(25), "Engels");
    EXPECT_STREQ(textFor(28), "Duits");
    EXPECT_NE(english15, textFor(15));
    EXPECT_NE(english16, textFor(16));
    for (int id = kFirstTextId; id <= kLastTextId; ++id) EXPECT_STRNE(textFor(id), "Unknown");
}

// Every row of the table, byte for byte, in each variant the row applies to.
TEST_F(TextTable, EveryRowInEveryVariant) {
    enum class Flag { None, Demo, Main };
    struct Expected {
        int id;
        Flag flag;
        int value;
        const char* dutch;
        const char* english;
    };
    const Expected kRows[] = {
        {4, Flag::Demo, 0, "update informatie", "update information"},
        {4, Flag::Demo, 1, "demo informatie", "demo information"},
        {5, Flag::None, 0, "Vorn 3.01: 26-jun-2005", "Vorn 3.01: 26-jun-2005"},
        {6, Flag::None, 0, "Versie 3.01 van Vorn", "Version 3.01 for Vorn"},
        {7, Flag::None, 0, "Versie 3.01 van biedboek", "Version 3.01 of the bid book"},
        {10, Flag::Main, 1, "het Vorn team", "the Vorn team"},
        {10, Flag::Main, 0, "ontwikkelling", "development"},
        {11, Flag::Demo, 0, "Installeer update", "Install update"},
        {11, Flag::Demo, 1, "Installeer demo", "Install demo"},
        {12, Flag::None, 0, "Annuleer", "Cancel"},
        {13, Flag::Demo, 0, "De update is aangebracht.", "The update has been applied."},
        {13, Flag::Demo, 1, "Installatie succesvol.\nVeel plezier.", "Installation completed."},
        {14, Flag::Demo, 0, "Update verslag", "Update report"},
        {14, Flag::Demo, 1, "Einde installatie", "Installation finished"},
        {17, Flag::None, 0, "Vorn directory niet gevonden", "Vorn directory not found"},
        {18, Flag::None, 0, "Vorn Demo directory niet gevonden", "Vorn Demo directory not found"},
        {19, Flag::None, 0, "Einde programma", "Exit program"},
        {20, Flag::None, 0, "Velmora directory niet gevonden", "Program directory not found"},
        {21, Flag::None, 0, "Tijdens de installatie mag Vorn niet actief zijn.",
         "During updating Vorn should not be active."},
        {22, Flag::None, 0, "Tijdens de installatie mag er geen\nandere Velmora Software draaien.",
         "During updating no other Velmora Software should be active."},
        {23, Flag::None, 0, "U heeft Vorn versie 2.0 nodig voor deze update.",
         "You need Vorn version 2.0 to be able to use this update."},
        {24, Flag::None, 0, "U heeft Vorn versie 3.0 nodig voor deze update.",
         "You need Vorn version 3.0 to be able to use this update."},
        {25, Flag::None, 0, "Engels", "English"},
        {26, Flag::None, 0, "Nederlands", "Dutch"},
        {27, Flag::None, 0, "Frans", "French"},
        {28, Flag::None, 0, "Duits", "German"},
        {29, Flag::None, 0, "speelkaarten en helpbestanden", "playing cards and help files"},
        {30, Flag::None, 0, "Er is een nieuwere versie van Velmora Software aanwezig.",
         "Er is een nieuwere versie van Velmora Software aanwezig."},
        {31, Flag::None, 0, "Er is een nieuwere versie van Trivelo aanwezig.",
         "Er is een nieuwere versie van Trivelo aanwezig."},
    };
    for (const Expected& e : kRows) {
        for (int mainProduct : {0, 1}) {
            for (int demo : {0, 1}) {
                if (e.flag == Flag::Demo && demo != e.value) continue;
                if (e.flag == Flag::Main && mainProduct != e.value) continue;
                variant(mainProduct, demo, 1);
                EXPECT_STREQ(textFor(e.id), e.dutch)
                    << e.id << " main " << mainProduct << " demo " << demo;
                variant(mainProduct, demo, 0);
                EXPECT_STREQ(textFor(e.id), e.english)
                    << e.id << " main " << mainProduct << " demo " << demo;
            }
        }
    }
}

TEST_F(CommandLine, NoArgumentsLeaveTheSystemLanguage) {
    variant(1, 0, 1);
    gConfig.logEnabled = gConfig.spawned = 0;
    parseCommandLine("");
    EXPECT_EQ(gConfig.dutch, 1);
    EXPECT_EQ(gConfig.logEnabled, 0);
    EXPECT_EQ(gConfig.spawned, 0);
}

TEST_F(CommandLine, OptionsIgnoreCaseAndTheLaterLanguageWins) {
    variant(1, 0, 1);
    parseCommandLine("-ENG");
    EXPECT_EQ(gConfig.dutch, 0);
    parseCommandLine("-eng -dut");
    EXPECT_EQ(gConfig.dutch, 1);
    parseCommandLine("  -dut    -eng  ");
    EXPECT_EQ(gConfig.dutch, 0);
    gConfig.logEnabled = gConfig.spawned = 0;
    parseCommandLine("whatever -Log -SPAWNED");
    EXPECT_EQ(gConfig.logEnabled, 1);
    EXPECT_EQ(gConfig.spawned, 1);
}

TEST_F(CommandLine, OnlySpacesSeparateTokens) {
    variant(1, 0, 0);
    gConfig.logEnabled = 0;
    parseCommandLine("-dut\t-log");
    EXPECT_EQ(gConfig.dutch, 0);
    EXPECT_EQ(gConfig.logEnabled, 0);
    parseCommandLine("-dut-log -logx");
    EXPECT_EQ(gConfig.dutch, 0);
    EXPECT_EQ(gConfig.logEnabled, 0);
}

TEST_F(CommandLine, TextIsCutAt259Characters) {
    variant(1, 0, 0);
    std::string text = std::string(254, 'x') + " -dut";  // option ends at 259
    parseCommandLine(text.c_str());
    EXPECT_EQ(gConfig.dutch, 1);
    gConfig.dutch = 0;
    text = std::string(255, 'x') + " -dut";  // its last letter is cut off
    parseCommandLine(text.c_str());
    EXPECT_EQ(gConfig.dutch, 0);
    text = std::string(300, 'y') + " -dut";
    parseCommandLine(text.c_str());
    EXPECT_EQ(gConfig.dutch, 0);
}

TEST_F(CommandLine, TokensBeyond48AreIgnored) {
    variant(1, 0, 0);
    std::string text;
    for (int i = 0; i < 47; ++i) text += "a ";
    parseCommandLine((text + "-dut").c_str());  // token 48
    EXPECT_EQ(gConfig.dutch, 1);
    gConfig.dutch = 0;
    parseCommandLine((text + "b -dut").c_str());  // token 49
    EXPECT_EQ(gConfig.dutch, 0);
}

TEST_F(ConfigTest, LanguageComesFromThePrimaryLanguage) {
    chooseLanguage(0x0413);  // Dutch (Netherlands)
    EXPECT_EQ(gConfig.dutch, 1);
    chooseLanguage(0x0813);  // Dutch (Belgium)
    EXPECT_EQ(gConfig.dutch, 1);
    chooseLanguage(0x0409);
    EXPECT_EQ(gConfig.dutch, 0);
    chooseLanguage(0x0013 | 0x0400 | 0x8000);  // only the low 10 bits count
    EXPECT_EQ(gConfig.dutch, 1);
}

// The whole run sequence in each variant, in a child process (its end is
// the process's end), with a private store, marker directory and input
// that ends at once (the dialog then counts as cancelled).
class RunSequence : public ConfigTest {
  protected:
    static int runWithoutInput(const char* arguments) {
        if (!std::freopen("/dev/null", "r", stdin)) return 99;
        return runInstaller(0, arguments);
    }
    void set(const char* key, const char* name, const char* value) {
        platform::RegKey k;
        ASSERT_EQ(openProductKey(key, k), 1);
        ASSERT_TRUE(platform::regWriteString(k, name, value));
        platform::regCloseKey(k);
    }

    ScratchDir scratch_;
    ScopedEnv registry_{"VELMORA_REGISTRY", scratch_.path() + "/registry"};
    ScopedEnv runtime_{"XDG_RUNTIME_DIR", scratch_.path()};
    ScopedEnv tmp_{"TMPDIR", scratch_.path()};
};

TEST_F(RunSequence, EachVariantNamesItsOwnMissingDirectory) {
    variant(1, 0, 0);
    EXPECT_EXIT(std::exit(runWithoutInput("-spawned")), ExitedWithCode(0),
                HasSubstr("[error] Exit program\nVorn directory not found\n"));
    variant(1, 1, 0);
    EXPECT_EXIT(std::exit(runWithoutInput("-spawned")), ExitedWithCode(0),
                HasSubstr("[error] Exit program\nVorn Demo directory not found\n"));
    variant(0, 0, 0);
    EXPECT_EXIT(std::exit(runWithoutInput("-spawned")), ExitedWithCode(0),
                HasSubstr("[error] Exit program\nProgram directory not found\n"));
}

// The demo reads no installed version, so it needs none to reach its dialog.
TEST_F(RunSequence, DemoSkipsTheVersionCheck) {
    variant(1, 1, 0);
    set("Vorn Demo", "Location", (scratch_.path() + "/demo").c_str());
    EXPECT_EXIT(std::exit(runWithoutInput("-spawned")), ExitedWithCode(0),
                Not(HasSubstr("version 3.0")));
    variant(1, 0, 0);
    set("Vorn", "Location", (scratch_.path() + "/vorn").c_str());
    set("Vorn", "Version", "2.9");
    EXPECT_EXIT(std::exit(runWithoutInput("-spawned")), ExitedWithCode(0),
                HasSubstr("You need Vorn version 3.0"));
}

// The product family's installer looks for the family's marker, and the
// main product's for its own.
TEST_F(RunSequence, FamilyWaitsForItsOwnMarker) {
    ASSERT_EQ(isProductActive("Velmora"), 0);  // held by this process from here on
    variant(0, 0, 0);
    EXPECT_EXIT(std::exit(runWithoutInput("")), ExitedWithCode(1),
                HasSubstr("[information] Exit program\nDuring updating no other Velmora "
                          "Software should be active.\n"));
    variant(1, 0, 0);
    EXPECT_EXIT(std::exit(runWithoutInput("")), ExitedWithCode(0),
                HasSubstr("Vorn directory not found"));
}

TEST(WindowsVersion, OlderThan4IsRefusedWithMajorAndMinor) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(checkWindowsVersion(0x3303), 0);  // 3.51
    std::string box = testing::internal::GetCapturedStderr();
    EXPECT_THAT(box, HasSubstr("Einde"));
    EXPECT_THAT(box, HasSubstr("Vorn werkt niet onder Windows 3.1 [3, 51]"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(checkWindowsVersion(0x0004), 1);
    EXPECT_EQ(checkWindowsVersion(0x0A0A), 1);
    EXPECT_EQ(checkWindowsVersion(), 1);  // this system
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
