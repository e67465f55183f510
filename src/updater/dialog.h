// The information dialog: its three templates, the two dialog procedures
// and the window operations they need, which each platform provides.
#pragma once

#include "updater/resource.h"

enum class ControlKind { Icon, GroupBox, Text, CentredText, Edit, DefaultButton, Button };

// One control of a template; positions and sizes in dialog units.
struct ControlTemplate {
    int id;
    ControlKind kind;
    int x, y, w, h;
    const char* text;
};

struct DialogTemplate {
    int id;
    int width, height;
    const char* caption;
    const ControlTemplate* controls;
    int count;
};

extern const DialogTemplate kDialogMain;    // 3001, main product update
extern const DialogTemplate kDialogFamily;  // 3002, product family
extern const DialogTemplate kDialogDemo;    // 3003, main product demo

// Control and resource ids.
enum : int {
    kIdOk = 1,
    kIdCancel = 2,
    kIdIconLeft = 2001,
    kIdCopyright = 2011,
    kIdTeamGroup = 2012,
    kIdIconRight = 2013,
    kIdInfo1 = 2014,
    kIdInfo2 = 2015,
    kIdInfo3 = 2016,
    kIdInfoGroup = 2017,
    kIdFamilyEmail = 2018,
    kIdFamilyInternet = 2019,
    kIdMainEmail = 2020,
    kIdMainInternet = 2021,
    kIdDemoDir = 2022,
    kIdFamilyTeam = 2031,
    kIconMain = VORN_ICON_MAIN,
    kIconFamily = VORN_ICON_FAMILY,
};

// A dialog window as the procedures see it.
class DialogWindow {
  public:
    virtual ~DialogWindow() = default;
    // Window position and size, and the display size, in the platform's units.
    virtual void rect(int& x, int& y, int& w, int& h) = 0;
    virtual void displaySize(int& w, int& h) = 0;
    virtual void move(int x, int y) = 0;
    virtual void setCaption(const char* text) = 0;
    virtual void setText(int id, const char* text) = 0;
    // Copies at most max - 1 characters and a NUL; returns the length.
    virtual int getText(int id, char* buffer, int max) = 0;
    // Loads the icon resource and sets it into both icon controls; false
    // (and the controls stay empty) when it does not load.
    virtual bool setIcon(int resource, int id1, int id2) = 0;
    virtual void hide(int id) = 0;
    virtual void disable(int id) = 0;
    virtual void end() = 0;
};

enum class DialogMessage { Init, Command, Close, Destroy };

// Returns 1 when the message was handled, 0 otherwise.
using DialogProc = int (*)(DialogWindow& window, DialogMessage message, int command);

int mainDialogProc(DialogWindow& window, DialogMessage message, int command);
int familyDialogProc(DialogWindow& window, DialogMessage message, int command);

void centreOnScreen(DialogWindow& window);

// Template and procedure of the configured variant.
const DialogTemplate& dialogTemplateFor();
DialogProc dialogProcFor();

// Runs the variant's dialog modally; returns 1 when it has ended.
int runInformationDialog();

namespace platform {
// Runs a dialog modally until the procedure ends it.
void runDialog(const DialogTemplate& dialog, DialogProc proc);
}  // namespace platform
