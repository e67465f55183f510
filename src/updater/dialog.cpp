#include "updater/dialog.h"

#include <cstring>

#include "fileio/fileio.h"
#include "updater/config.h"
#include "updater/install.h"
#include "updater/platform.h"
#include "updater/texts.h"

namespace {

using K = ControlKind;

// Controls shared by the two main-product templates, up to the copyright.
#define VORN_MAIN_COMMON                                                                        \
    {kIdIconLeft, K::Icon, 14, 21, 18, 20, ""}, {kIdIconRight, K::Icon, 201, 21, 18, 20, ""},   \
        {kIdInfoGroup, K::GroupBox, 43, 6, 149, 44, "update informatie"},                       \
        {kIdInfo1, K::Text, 53, 17, 138, 8, "I1:"}, {kIdInfo2, K::Text, 53, 27, 138, 8, "I2:"}, \
        {kIdInfo3, K::Text, 53, 37, 138, 8, "I3:"},                                             \
        {kIdTeamGroup, K::GroupBox, 11, 58, 85, 57, "het Vorn team"},                           \
        {2007, K::Text, 21, 70, 68, 8, "Joost Klaverdijk"},                                     \
        {2008, K::Text, 21, 80, 64, 8, "Marieke Troefsma"},                                     \
        {2009, K::Text, 21, 90, 60, 8, "Pieter Harten"},                                        \
        {2010, K::Text, 21, 100, 64, 8, "Anouk Schoppen"},                                      \
        {-1, K::GroupBox, 111, 58, 112, 57, "internet"},                                        \
        {kIdMainEmail, K::Text, 120, 69, 96, 8, "E-mail: info@vornsoft.nl"}, {                  \
        kIdMainInternet, K::Text, 120, 80, 96, 8, "Internet: www.vornsoft.nl"                   \
    }

const ControlTemplate kMainControls[] = {
    VORN_MAIN_COMMON,
    {kIdCopyright, K::CentredText, 15, 127, 201, 8, "Copyrights"},
    {kIdOk, K::DefaultButton, 34, 147, 66, 14, "Install update"},
    {kIdCancel, K::Button, 128, 147, 66, 14, "Cancel"},
};

const ControlTemplate kDemoControls[] = {
    VORN_MAIN_COMMON,
    {kIdCopyright, K::CentredText, 15, 124, 201, 8, "Copyrights"},
    {-1, K::GroupBox, 11, 138, 212, 34, "Vorn demo directory"},
    {kIdDemoDir, K::Edit, 21, 151, 194, 14, ""},
    {kIdOk, K::DefaultButton, 34, 181, 66, 14, "Install update"},
    {kIdCancel, K::Button, 128, 181, 66, 14, "Cancel"},
};

const ControlTemplate kFamilyControls[] = {
    {kIdIconLeft, K::Icon, 14, 21, 18, 20, ""},
    {kIdIconRight, K::Icon, 201, 21, 18, 20, ""},
    {kIdInfoGroup, K::GroupBox, 43, 6, 149, 44, "update informatie"},
    {kIdInfo1, K::Text, 53, 17, 138, 8, "I1:"},
    {kIdInfo2, K::Text, 53, 27, 138, 8, "I2:"},
    {kIdInfo3, K::Text, 53, 37, 138, 8, "I3:"},
    {kIdTeamGroup, K::GroupBox, 11, 58, 81, 79, "ontwikkelling"},
    {2031, K::Text, 21, 70, 64, 8, "Joost Klaverdijk"},
    {2032, K::Text, 21, 80, 64, 8, "Marieke Troefsma"},
    {2033, K::Text, 21, 90, 64, 8, "Pieter Harten"},
    {2034, K::Text, 21, 100, 64, 8, "Anouk Schoppen"},
    {2035, K::Text, 21, 110, 64, 8, "Willem Ruitenberg"},
    {2036, K::Text, 21, 120, 64, 8, "Femke Azenbroek"},
    {kIdCopyright, K::CentredText, 111, 127, 112, 8, "Copyrights"},
    {-1, K::GroupBox, 106, 58, 122, 57, "internet"},
    {kIdMainEmail, K::Text, 115, 69, 96, 8, "E-mail: info@vornsoft.nl"},
    {kIdMainInternet, K::Text, 115, 80, 96, 8, "Internet: www.vornsoft.nl"},
    {kIdFamilyEmail, K::Text, 115, 91, 100, 8, "E-mail: info@velmora.nl"},
    {kIdFamilyInternet, K::Text, 115, 102, 106, 8, "Internet: www.velmora.nl"},
    {kIdOk, K::DefaultButton, 34, 157, 66, 14, "Install update"},
    {kIdCancel, K::Button, 128, 157, 66, 14, "Cancel"},
};

template <size_t N>
constexpr int countOf(const ControlTemplate (&)[N]) {
    return static_cast<int>(N);
}

// Runs the installation behind the OK button; false when the button is
// ignored (a demo directory too short to be one).
bool install(DialogWindow& window, bool main) {
    if (main && gConfig.demo) {
        char dir[kProductDirMax];
        int n = window.getText(kIdDemoDir, dir, sizeof dir);
        while (n > 1 && dir[n - 1] == '\\') dir[--n] = 0;
        if (n < 4) return false;
        std::memcpy(gConfig.productDir, dir, static_cast<size_t>(n) + 1);
    }
    char name[kFileNameMax];
    writePayload(name);
    int installed = installArchive(name, gConfig.productDir);
    deleteTemporary(name);
    // Nothing installed is never reported as applied.
    if (!installed) {
        gConfig.notInstalled = 1;
        return true;
    }
    platform::messageBox(textFor(kTextReport), textFor(kTextReportCaption),
                         platform::BoxIcon::Information);
    return true;
}

// Commands and closing, the same for both procedures.
int handleCommand(DialogWindow& window, DialogMessage message, int command, bool main) {
    switch (message) {
        case DialogMessage::Command:
            if (command == kIdOk) {
                if (install(window, main)) window.end();
                return 1;
            }
            if (command == kIdCancel) {
                window.end();
                return 1;
            }
            return 0;
        case DialogMessage::Close:
            window.end();
            return 1;
        case DialogMessage::Destroy:
            return 1;
        default:
            return 0;
    }
}

void setCommonTexts(DialogWindow& window) {
    window.setCaption(textFor(kTextCaption));
    window.setText(kIdTeamGroup, textFor(kTextTeamGroup));
    window.setText(kIdInfoGroup, textFor(kTextInfoGroup));
    window.setText(kIdInfo1, textFor(kTextInfoLine1));
    window.setText(kIdInfo2, textFor(kTextInfoLine2));
    window.setText(kIdInfo3, textFor(kTextInfoLine3));
}

}  // namespace

const DialogTemplate kDialogMain = {
    3001, 237, 171, "Vorn informatie", kMainControls, countOf(kMainControls)};
const DialogTemplate kDialogDemo = {
    3003, 237, 205, "Vorn informatie", kDemoControls, countOf(kDemoControls)};
const DialogTemplate kDialogFamily = {
    3002, 237, 182, "Velmora informatie", kFamilyControls, countOf(kFamilyControls)};

void centreOnScreen(DialogWindow& window) {
    int x, y, w, h, dw, dh;
    window.rect(x, y, w, h);
    window.displaySize(dw, dh);
    window.move((dw - w) / 2, (dh - h) / 2);
}

int mainDialogProc(DialogWindow& window, DialogMessage message, int command) {
    if (message != DialogMessage::Init) return handleCommand(window, message, command, true);
    centreOnScreen(window);
    window.setText(kIdCopyright, textFor(kTextCopyright));
    window.setIcon(kIconMain, kIdIconLeft, kIdIconRight);
    setCommonTexts(window);
    window.setText(kIdOk, textFor(kTextOkButton));
    window.setText(kIdCancel, textFor(kTextCancelButton));
    window.setText(kIdMainEmail, textFor(kTextEmail));
    window.setText(kIdMainInternet, textFor(kTextInternet));
    if (gConfig.demo) {
        window.setText(kIdDemoDir, gConfig.productDir);
        window.disable(kIdDemoDir);
    }
    return 1;
}

int familyDialogProc(DialogWindow& window, DialogMessage message, int command) {
    if (message != DialogMessage::Init) return handleCommand(window, message, command, false);
    centreOnScreen(window);
    window.setText(kIdCopyright, textFor(kTextCopyright));
    window.setIcon(kIconFamily, kIdIconLeft, kIdIconRight);
    setCommonTexts(window);
    for (int i = 0; i < 6; ++i) window.setText(kIdFamilyTeam + i, kFamilyTeam[i]);
    window.setText(kIdOk, textFor(kTextOkButton));
    window.setText(kIdCancel, textFor(kTextCancelButton));
    if (gConfig.dutch) {
        window.hide(kIdMainEmail);
        window.hide(kIdMainInternet);
    } else {
        window.hide(kIdFamilyEmail);
        window.hide(kIdFamilyInternet);
    }
    return 1;
}

const DialogTemplate& dialogTemplateFor() {
    if (!gConfig.mainProduct) return kDialogFamily;
    return gConfig.demo ? kDialogDemo : kDialogMain;
}

DialogProc dialogProcFor() {
    return gConfig.mainProduct ? mainDialogProc : familyDialogProc;
}

int runInformationDialog() {
    platform::runDialog(dialogTemplateFor(), dialogProcFor());
    return 1;
}
