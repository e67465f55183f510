// The console window on Win32: class, painting, caret, fonts and popup menu.
// Keyboard, menu commands and printing go to the portable console code.
#include <windows.h>

#include <cstdint>

#include "console/state.h"

namespace {

HINSTANCE instance;
HWND window;
char className[40];
int stockFont = ANSI_FIXED_FONT;
LOGFONTA customDesc;
COLORREF textColour = RGB(0, 0, 0);
HFONT customFont;
HFONT currentFont;
RECT caretCell = {0, 0, 8, 8};  // left, top, width, height
int scanPhase;

struct FontEntry {
    const char* name;
    int stock;
};
const FontEntry kFonts[] = {
    {"ANSI fixed", ANSI_FIXED_FONT},
    {"ANSI prop", ANSI_VAR_FONT},
    {"Default device", DEVICE_DEFAULT_FONT},
    {"Default OEM", OEM_FIXED_FONT},
    {"System fixed", SYSTEM_FIXED_FONT},
    {"System prop", SYSTEM_FONT},
    {"Select ...", 0},
};
const UINT kFirstCommand = 12345;
const UINT kLogCommand = 12352, kCharSetCommand = 12353, kHelpCommand = 12354;

void setTitle() {
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, currentFont);
    char face[40] = {};
    GetTextFaceA(dc, sizeof face, face);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    char title[80];
    std::snprintf(title, sizeof title, "Console : %s %d x %d", face,
                  static_cast<int>(tm.tmAveCharWidth), static_cast<int>(tm.tmHeight));
    SetWindowTextA(window, title);
}

void applyFont() {
    if (stockFont != 0) {
        currentFont = static_cast<HFONT>(GetStockObject(stockFont));
    } else {
        if (customFont) DeleteObject(customFont);
        customFont = CreateFontIndirectA(&customDesc);
        currentFont = customFont;
    }
    setTitle();
    InvalidateRect(window, nullptr, TRUE);
}

void setFont(int number) {
    if (!window) return;
    if (number != 0) {
        stockFont = number;
        customDesc = LOGFONTA{};
        textColour = RGB(0, 0, 0);
        applyFont();
        return;
    }
    LOGFONTA chosen{};
    GetObjectA(currentFont, sizeof chosen, &chosen);
    CHOOSEFONTA cf{};
    cf.lStructSize = sizeof cf;
    cf.hwndOwner = window;
    cf.lpLogFont = &chosen;
    cf.rgbColors = textColour;
    cf.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_EFFECTS;
    cf.nFontType = SCREEN_FONTTYPE;
    if (!ChooseFontA(&cf)) return;
    stockFont = 0;
    customDesc = chosen;
    textColour = cf.rgbColors;
    applyFont();
}

// Draws the caret cell black with a light line that moves down one pixel per
// call; -1 keeps the stored value.
void drawCaret(HDC dc, int x, int y, int width, int height) {
    if (x >= 0) caretCell.left = x;
    if (y >= 0) caretCell.top = y;
    if (width >= 0) caretCell.right = width;
    if (height >= 0) caretCell.bottom = height;
    x = caretCell.left, y = caretCell.top, width = caretCell.right, height = caretCell.bottom;
    if (scanPhase >= height) scanPhase = 0;
    RECT cell = {x, y, x + width, y + height};
    FillRect(dc, &cell, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    RECT strip = {x + 1, y + scanPhase, x + width - 1, y + scanPhase + 1};
    InvertRect(dc, &strip);
    ++scanPhase;
}

void paintLines(HDC dc) {
    RECT client;
    GetClientRect(window, &client);
    HGDIOBJ old = SelectObject(dc, currentFont);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    int h = tm.tmHeight > 0 ? tm.tmHeight : 1;
    SetTextColor(dc, textColour);
    SetTextAlign(dc, TA_UPDATECP);
    // The current line sits in the bottom row once the text fills the window.
    int line = conBuffer.current + 1 - client.bottom / h;
    if (line < 0) line = 0;
    for (int y = 0; y + h <= client.bottom; y += h, ++line) {
        MoveToEx(dc, 0, y, nullptr);
        RECT row = {0, y, client.right, y + h};
        bool shown = line <= conBuffer.current;
        const ConLine& text = conBuffer.lines[shown ? line : 0];
        ExtTextOutA(dc, 0, y, ETO_OPAQUE, &row, text.text, shown ? text.length : 0, nullptr);
        if (line == conBuffer.current) {
            POINT end;
            GetCurrentPositionEx(dc, &end);
            drawCaret(dc, end.x, y, tm.tmAveCharWidth, h);
        }
    }
    SelectObject(dc, old);
}

bool showMenu(int x, int y) {
    POINT p = {x, y};
    ScreenToClient(window, &p);
    RECT client;
    GetClientRect(window, &client);
    if (!PtInRect(&client, p)) return false;
    HMENU menu = CreatePopupMenu();
    UINT id = kFirstCommand;
    for (const FontEntry& f : kFonts)
        AppendMenuA(menu, MF_STRING | (stockFont == f.stock ? MF_CHECKED : 0), id++, f.name);
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING | (ConLogging() ? MF_CHECKED : 0), kLogCommand, "Log file");
    AppendMenuA(menu, MF_STRING, kCharSetCommand, "Char set");
    AppendMenuA(menu, MF_STRING, kHelpCommand, "Help");
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, x, y, 0, window, nullptr);
    DestroyMenu(menu);
    return true;
}

void runCommand(UINT id) {
    if (id >= kFirstCommand && id < kLogCommand) {
        setFont(kFonts[id - kFirstCommand].stock);
    } else if (id == kLogCommand) {
        ConLogToggle();
    } else if (id == kCharSetCommand) {
        ConCharSet();
    } else if (id == kHelpCommand) {
        ConHelp();
    }
}

LRESULT CALLBACK ConWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    static bool raising = false;
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            paintLines(dc);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_CLOSE:
            // Closing only hides the console; it lives until ConDestroy.
            if (conState.visible) ConShowToggle();
            return 0;
        case WM_WINDOWPOSCHANGED:
            // Raising the window changes its position again; do it once.
            if (!raising) {
                raising = true;
                SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0,
                             SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
                raising = false;
            }
            break;
        case WM_CONTEXTMENU:
            if (showMenu(LOWORD(lp), HIWORD(lp))) return 0;
            break;
        case WM_KEYDOWN:
            ConKeyDown(static_cast<unsigned>(wp));
            return 0;
        case WM_CHAR:
            ConChar(static_cast<unsigned>(wp));
            return 0;
        case WM_COMMAND:
            runCommand(LOWORD(wp));
            return 0;
        case WM_TIMER: {
            HDC dc = GetDC(hwnd);
            drawCaret(dc, -1, -1, -1, -1);
            ReleaseDC(hwnd, dc);
            return 0;
        }
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace

int ConLineFits(const char* text, int n) {
    if (!window) return n * kConVirtualCharWidth <= kConVirtualWidth ? 1 : 0;
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, currentFont);
    SIZE extent{};
    GetTextExtentPointA(dc, text, n, &extent);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    RECT client;
    GetClientRect(window, &client);
    return extent.cx <= client.right ? 1 : 0;
}

namespace conwin {

int create() {
    // A new console starts from the initial font, colour and caret, whatever
    // an earlier one was left with.
    stockFont = ANSI_FIXED_FONT;
    customDesc = LOGFONTA{};
    textColour = RGB(0, 0, 0);
    customFont = nullptr;
    currentFont = nullptr;
    caretCell = {0, 0, 8, 8};
    scanPhase = 0;
    instance = GetModuleHandleA(nullptr);
    std::snprintf(className, sizeof className, "ConClass%04X",
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(instance)));
    WNDCLASSA wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_BYTEALIGNCLIENT;
    wc.lpfnWndProc = ConWndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, "IcoConsole");
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // the arrow
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = className;
    if (!RegisterClassA(&wc)) return kConNoClass;
    window = CreateWindowExA(0, className, "not used", WS_OVERLAPPEDWINDOW, 0, 120, 500, 360,
                             nullptr, nullptr, instance, nullptr);
    if (!window) {
        UnregisterClassA(className, instance);
        return kConNoWindow;
    }
    applyFont();
    return kConCreated;
}

bool startTimer() {
    return SetTimer(window, 1, 500, nullptr) != 0;
}

void destroy() {
    if (customFont) DeleteObject(customFont);
    customFont = nullptr;
    KillTimer(window, 1);
    DestroyWindow(window);
    UnregisterClassA(className, instance);
}

void show(bool visible) {
    ShowWindow(window, visible ? SW_SHOWNOACTIVATE : SW_HIDE);
    UpdateWindow(window);
}

void paint() {
    HDC dc = GetDC(window);
    paintLines(dc);
    ReleaseDC(window, dc);
}

void beep() {
    MessageBeep(0xFFFFFFFF);
}

void localTime(std::tm& out) {
    SYSTEMTIME st;
    GetLocalTime(&st);
    out = std::tm{};
    out.tm_year = st.wYear - 1900;
    out.tm_mon = st.wMonth - 1;
    out.tm_mday = st.wDay;
    out.tm_wday = st.wDayOfWeek;
    out.tm_hour = st.wHour;
    out.tm_min = st.wMinute;
    out.tm_sec = st.wSecond;
}

}  // namespace conwin
