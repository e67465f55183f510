// The dialog procedures against a recording window.
#include "updater/dialog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "config_test_base.h"
#include "scoped_env.h"
#include "support/tempdir.h"
#include "updater/config.h"
#include "updater/texts.h"

using testing::HasSubstr;

namespace {

class FakeWindow : public DialogWindow {
  public:
    explicit FakeWindow(const DialogTemplate& t) {
        for (int i = 0; i < t.count; ++i) texts[t.controls[i].id] = t.controls[i].text;
    }
    void rect(int& x, int& y, int& w, int& h) override {
        x = y = 5;
        w = 301;
        h = 200;
    }
    void displaySize(int& w, int& h) override {
        w = 1024;
        h = 768;
    }
    void move(int x, int y) override { moved = {x, y}; }
    void setCaption(const char* text) override { caption = text; }
    void setText(int id, const char* text) override { texts[id] = text; }
    int getText(int id, char* buffer, int max) override {
        std::snprintf(buffer, static_cast<size_t>(max), "%s", texts[id].c_str());
        return static_cast<int>(std::strlen(buffer));
    }
    bool setIcon(int resource, int id1, int id2) override {
        icons[id1] = icons[id2] = resource;
        return true;
    }
    void hide(int id) override { hidden.insert(id); }
    void disable(int id) override { disabled.insert(id); }
    void end() override { ended = true; }

    std::pair<int, int> moved{-1, -1};
    std::string caption;
    std::map<int, std::string> texts;
    std::map<int, int> icons;
    std::set<int> hidden, disabled;
    bool ended = false;
};

class DialogTest : public ConfigTest {
  protected:
    ScratchDir scratch_;
    ScopedEnv registry_{"VELMORA_REGISTRY", scratch_.path() + "/registry"};
    ScopedEnv tmp_{"TMPDIR", scratch_.path()};
};

TEST_F(DialogTest, VariantChoosesTemplateAndProcedure) {
    variant(1, 0, 0);
    EXPECT_EQ(dialogTemplateFor().id, 3001);
    EXPECT_EQ(dialogProcFor(), &mainDialogProc);
    variant(1, 1, 0);
    EXPECT_EQ(dialogTemplateFor().id, 3003);
    EXPECT_EQ(dialogProcFor(), &mainDialogProc);
    variant(0, 1, 0);
    EXPECT_EQ(dialogTemplateFor().id, 3002);
    EXPECT_EQ(dialogProcFor(), &familyDialogProc);
}

TEST_F(DialogTest, MainDialogTakesItsTextsFromTheTable) {
    variant(1, 0, 0);
    FakeWindow w(kDialogMain);
    EXPECT_EQ(mainDialogProc(w, DialogMessage::Init, 0), 1);
    EXPECT_EQ(w.moved, std::make_pair((1024 - 301) / 2, (768 - 200) / 2));
    EXPECT_EQ(w.caption, "Vorn 3.01: 26-jun-2005");
    EXPECT_EQ(w.texts[kIdOk], "Install update");
    EXPECT_EQ(w.texts[kIdCancel], "Cancel");
    EXPECT_EQ(w.texts[kIdInfoGroup], "update information");
    EXPECT_EQ(w.texts[kIdInfo1], "Version 3.01 for Vorn");
    EXPECT_EQ(w.texts[kIdInfo2], "Version 3.01 of the bid book");
    EXPECT_EQ(w.texts[kIdInfo3], "");
    EXPECT_EQ(w.texts[kIdCopyright], textFor(kTextCopyright));
    EXPECT_EQ(w.texts[kIdMainEmail], textFor(kTextEmail));
    EXPECT_EQ(w.texts[kIdMainInternet], textFor(kTextInternet));
    EXPECT_THAT(w.texts[kIdMainInternet], testing::StartsWith("Internet: "));
    EXPECT_EQ(w.texts[kIdTeamGroup], "the Vorn team");
    EXPECT_EQ(w.icons[kIdIconLeft], kIconMain);
    EXPECT_EQ(w.icons[kIdIconRight], kIconMain);
    EXPECT_TRUE(w.hidden.empty());
    EXPECT_EQ(w.texts.count(kIdDemoDir), 0u);
}

// Every control where the templates put it, in dialog units.
TEST(DialogTemplates, ControlsSitWhereTheTemplatesPutThem) {
    using Place = std::tuple<int, int, int, int, int>;  // id, x, y, w, h
    auto places = [](const DialogTemplate& t) {
        std::multiset<Place> all;
        for (int i = 0; i < t.count; ++i) {
            const ControlTemplate& c = t.controls[i];
            all.insert({c.id, c.x, c.y, c.w, c.h});
        }
        return all;
    };
    const std::multiset<Place> top = {{2001, 14, 21, 18, 20}, {2013, 201, 21, 18, 20},
                                      {2017, 43, 6, 149, 44}, {2014, 53, 17, 138, 8},
                                      {2015, 53, 27, 138, 8}, {2016, 53, 37, 138, 8}};
    std::multiset<Place> main = top;
    main.insert({{2012, 11, 58, 85, 57},
                 {2007, 21, 70, 68, 8},
                 {2008, 21, 80, 64, 8},
                 {2009, 21, 90, 60, 8},
                 {2010, 21, 100, 64, 8},
                 {-1, 111, 58, 112, 57},
                 {2020, 120, 69, 96, 8},
                 {2021, 120, 80, 96, 8}});
    std::multiset<Place> update = main, demo = main;
    update.insert({{2011, 15, 127, 201, 8}, {1, 34, 147, 66, 14}, {2, 128, 147, 66, 14}});
    demo.insert({{2011, 15, 124, 201, 8},
                 {-1, 11, 138, 212, 34},
                 {2022, 21, 151, 194, 14},
                 {1, 34, 181, 66, 14},
                 {2, 128, 181, 66, 14}});
    std::multiset<Place> family = top;
    family.insert({{2012, 11, 58, 81, 79},
                   {2011, 111, 127, 112, 8},
                   {-1, 106, 58, 122, 57},
                   {2020, 115, 69, 96, 8},
                   {2021, 115, 80, 96, 8},
                   {2018, 115, 91, 100, 8},
                   {2019, 115, 102, 106, 8},
                   {1, 34, 157, 66, 14},
                   {2, 128, 157, 66, 14}});
    for (int i = 0; i < 6; ++i) family.insert({2031 + i, 21, 70 + 10 * i, 64, 8});
    EXPECT_EQ(places(kDialogMain), update);
    EXPECT_EQ(places(kDialogDemo), demo);
    EXPECT_EQ(places(kDialogFamily), family);
    EXPECT_EQ(std::make_pair(kDialogMain.width, kDialogMain.height), std::make_pair(237, 171));
    EXPECT_EQ(std::make_pair(kDialogDemo.width, kDialogDemo.height), std::make_pair(237, 205));
    EXPECT_EQ(std::make_pair(kDialogFamily.width, kDialogFamily.height), std::make_pair(237, 182));
}

TEST_F(DialogTest, FamilyDialogShowsOneLanguagesContactLines) {
    variant(0, 0, 1);
    FakeWindow dutch(kDialogFamily);
    familyDialogProc(dutch, DialogMessage::Init, 0);
    EXPECT_EQ(dutch.hidden, (std::set<int>{kIdMainEmail, kIdMainInternet}));
    EXPECT_EQ(dutch.texts[kIdOk], "Installeer update");
    EXPECT_EQ(dutch.texts[kIdInfo1], "Versie 3.01 van Vorn");
    EXPECT_EQ(dutch.texts[kIdInfo2], "Versie 3.01 van biedboek");
    EXPECT_EQ(dutch.texts[kIdTeamGroup], "ontwikkelling");
    EXPECT_EQ(dutch.texts[kIdFamilyTeam + 5], kFamilyTeam[5]);
    EXPECT_EQ(dutch.icons[kIdIconLeft], kIconFamily);
    variant(0, 0, 0);
    FakeWindow english(kDialogFamily);
    familyDialogProc(english, DialogMessage::Init, 0);
    EXPECT_EQ(english.hidden, (std::set<int>{kIdFamilyEmail, kIdFamilyInternet}));
    // The main product's lines keep the template's Dutch-domain texts here.
    EXPECT_NE(english.texts[kIdMainEmail], textFor(kTextEmail));
}

TEST_F(DialogTest, CancelAndCloseEndWithoutWritingAnything) {
    variant(1, 0, 0);
    for (DialogMessage m : {DialogMessage::Command, DialogMessage::Close}) {
        FakeWindow w(kDialogMain);
        mainDialogProc(w, DialogMessage::Init, 0);
        EXPECT_EQ(mainDialogProc(w, m, kIdCancel), 1);
        EXPECT_TRUE(w.ended);
    }
    FakeWindow w(kDialogMain);
    EXPECT_EQ(mainDialogProc(w, DialogMessage::Command, 99), 0);  // other commands ignored
    EXPECT_FALSE(w.ended);
    EXPECT_TRUE(std::filesystem::is_empty(scratch_.path()));
}

TEST_F(DialogTest, DemoDirectoryIsShownAndTooShortOnesAreIgnored) {
    variant(1, 1, 0);
    std::snprintf(gConfig.productDir, kProductDirMax, "%s", "C:\\Vorn Demo");
    FakeWindow w(kDialogDemo);
    mainDialogProc(w, DialogMessage::Init, 0);
    EXPECT_EQ(w.texts[kIdDemoDir], "C:\\Vorn Demo");
    EXPECT_EQ(w.disabled, std::set<int>{kIdDemoDir});
    w.texts[kIdDemoDir] = "C:\\\\";
    mainDialogProc(w, DialogMessage::Command, kIdOk);
    EXPECT_FALSE(w.ended);
    EXPECT_STREQ(gConfig.productDir, "C:\\Vorn Demo");
    EXPECT_TRUE(std::filesystem::is_empty(scratch_.path()));
}

TEST_F(DialogTest, OkInstallsThenReportsAndEnds) {
    variant(1, 1, 1);
    FakeWindow w(kDialogDemo);
    mainDialogProc(w, DialogMessage::Init, 0);
    w.texts[kIdDemoDir] = "demo\\target\\\\";
    testing::internal::CaptureStderr();
    mainDialogProc(w, DialogMessage::Command, kIdOk);
    std::string box = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(w.ended);
    EXPECT_STREQ(gConfig.productDir, "demo\\target");
    EXPECT_EQ(readFile("demo/target/Lees mij.txt"), "Vorn test payload\r\n");
    EXPECT_THAT(box, HasSubstr("Einde installatie\nInstallatie succesvol.\nVeel plezier."));
    // Only the installation is left: the temporary archive is gone.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(scratch_.path()))
        EXPECT_NE(entry.path().filename(), "TEMP.LZX");
}

}  // namespace
