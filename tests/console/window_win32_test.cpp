// The console's window on Windows, driven as a user drives it: menu
// commands sent to the window, the font chooser answered from a second
// thread. The title names the font in use.
#include <windows.h>
// windows.h first.
#include <cstdio>
#include <string>
#include <thread>

#include "helpers.h"

namespace {

const UINT kAnsiPropCommand = 12346, kSelectCommand = 12351;

HWND consoleWindow() {
    char name[40];
    std::snprintf(name, sizeof name, "ConClass%04X",
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr))));
    return FindWindowA(name, nullptr);
}

std::string title() {
    char text[100] = {};
    GetWindowTextA(consoleWindow(), text, sizeof text);
    return text;
}

// "Console : FACE W x H" -> FACE
std::string face(const std::string& title) {
    size_t from = title.find(" : ") + 3, to = title.rfind(' ', title.rfind(" x ") - 1);
    return title.substr(from, to - from);
}

// Answers the font chooser: notes the face it starts on, then presses OK.
void answerChooser(std::string& startFace) {
    for (int i = 0; i < 1000; ++i) {
        HWND box = FindWindowA("#32770", "Font");
        if (box) {
            Sleep(200);  // let it fill its lists
            char text[64] = {};
            GetDlgItemTextA(box, 0x470, text, sizeof text);  // the face name box
            startFace = text;
            PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
            return;
        }
        Sleep(20);
    }
}

}  // namespace

TEST_F(ConsoleTest, MenuFontsChooserAndASecondConsoleStartingAfresh) {
    HWND window = consoleWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(IsWindowVisible(window));  // created hidden
    const std::string initial = title();
    ASSERT_EQ(initial.rfind("Console : ", 0), 0u) << initial;

    SendMessageA(window, WM_COMMAND, kAnsiPropCommand, 0);
    const std::string prop = title();
    EXPECT_NE(prop, initial);

    // "Select ..." opens the chooser on the font in use, and OK applies what
    // it shows. A stock font's face may be one the chooser does not list (a
    // substitute), so the check starts from a font the chooser gave.
    std::string firstFace, secondFace;
    std::thread first(answerChooser, std::ref(firstFace));
    SendMessageA(window, WM_COMMAND, kSelectCommand, 0);
    first.join();
    ASSERT_FALSE(firstFace.empty());
    EXPECT_EQ(face(title()), firstFace);
    SendMessageA(window, WM_COMMAND, kAnsiPropCommand, 0);
    EXPECT_EQ(title(), prop);
    std::thread again(answerChooser, std::ref(firstFace));
    SendMessageA(window, WM_COMMAND, kSelectCommand, 0);
    again.join();
    const std::string custom = title();
    std::thread second(answerChooser, std::ref(secondFace));
    SendMessageA(window, WM_COMMAND, kSelectCommand, 0);
    second.join();
    EXPECT_EQ(secondFace, face(custom));
    EXPECT_EQ(title(), custom);

    // A second console forgets the custom font of the first.
    ConDestroy();
    ASSERT_EQ(ConCreate(0), kConCreated);
    EXPECT_EQ(title(), initial);
}
