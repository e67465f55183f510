// The information dialog on Win32: the template is assembled in memory
// (DLGTEMPLATE and DLGITEMTEMPLATE records) and run with
// DialogBoxIndirectParamA, so the same template data serves every platform.
#include <windows.h>

#include <cstring>
#include <vector>

#include "updater/config.h"
#include "updater/dialog.h"

namespace {

class TemplateBuilder {
  public:
    void word(WORD w) { data_.push_back(w); }
    void dword(DWORD d) {
        word(LOWORD(d));
        word(HIWORD(d));
    }
    void text(const char* s) {
        int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
        std::vector<WCHAR> wide(n > 0 ? n : 1, 0);
        if (n > 0) MultiByteToWideChar(CP_ACP, 0, s, -1, wide.data(), n);
        for (WCHAR c : wide) word(c);
    }
    void alignDword() {
        if (data_.size() % 2) word(0);
    }
    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(data_.data()); }

  private:
    std::vector<WORD> data_;
};

void controlStyle(ControlKind kind, DWORD& style, WORD& atom) {
    style = WS_CHILD | WS_VISIBLE;
    switch (kind) {
        case ControlKind::Icon:
            style |= SS_ICON;
            atom = 0x0082;
            break;
        case ControlKind::GroupBox:
            style |= BS_GROUPBOX | WS_TABSTOP;
            atom = 0x0080;
            break;
        case ControlKind::Text:
            style |= SS_LEFT | WS_GROUP;
            atom = 0x0082;
            break;
        case ControlKind::CentredText:
            style |= SS_CENTER | WS_GROUP;
            atom = 0x0082;
            break;
        case ControlKind::Edit:
            style |= WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
            atom = 0x0081;
            break;
        case ControlKind::DefaultButton:
            style |= BS_DEFPUSHBUTTON | WS_TABSTOP;
            atom = 0x0080;
            break;
        case ControlKind::Button:
            style |= BS_PUSHBUTTON | BS_CENTER | WS_TABSTOP;
            atom = 0x0080;
            break;
    }
}

void buildTemplate(const DialogTemplate& d, TemplateBuilder& b) {
    b.dword(DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE);
    b.dword(0);
    b.word(static_cast<WORD>(d.count));
    b.word(0);
    b.word(0);
    b.word(static_cast<WORD>(d.width));
    b.word(static_cast<WORD>(d.height));
    b.word(0);  // no menu
    b.word(0);  // standard dialog class
    b.text(d.caption);
    b.word(8);
    b.text("MS Sans Serif");
    for (int i = 0; i < d.count; ++i) {
        const ControlTemplate& c = d.controls[i];
        DWORD style = 0;
        WORD atom = 0;
        controlStyle(c.kind, style, atom);
        b.alignDword();
        b.dword(style);
        b.dword(0);
        b.word(static_cast<WORD>(c.x));
        b.word(static_cast<WORD>(c.y));
        b.word(static_cast<WORD>(c.w));
        b.word(static_cast<WORD>(c.h));
        b.word(static_cast<WORD>(c.id));
        b.word(0xFFFF);
        b.word(atom);
        b.text(c.text);
        b.word(0);  // no creation data
    }
}

class Win32Dialog : public DialogWindow {
  public:
    Win32Dialog(HWND window, DialogProc proc) : window_(window), proc_(proc) {}

    void rect(int& x, int& y, int& w, int& h) override {
        RECT r = {};
        GetWindowRect(window_, &r);
        x = r.left;
        y = r.top;
        w = r.right - r.left;
        h = r.bottom - r.top;
    }
    void displaySize(int& w, int& h) override {
        // An information context for each query, as it is cheap and short-lived.
        HDC dc = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
        w = GetDeviceCaps(dc, HORZRES);
        DeleteDC(dc);
        dc = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
        h = GetDeviceCaps(dc, VERTRES);
        DeleteDC(dc);
    }
    void move(int x, int y) override {
        SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOREDRAW);
    }
    void setCaption(const char* text) override { SetWindowTextA(window_, text); }
    void setText(int id, const char* text) override { SetDlgItemTextA(window_, id, text); }
    int getText(int id, char* buffer, int max) override {
        return static_cast<int>(GetDlgItemTextA(window_, id, buffer, max));
    }
    bool setIcon(int resource, int id1, int id2) override {
        HINSTANCE instance = reinterpret_cast<HINSTANCE>(gConfig.instance);
        HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(resource));
        if (icon == nullptr) return false;
        SendDlgItemMessageA(window_, id1, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
        SendDlgItemMessageA(window_, id2, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
        return true;
    }
    void hide(int id) override { ShowWindow(GetDlgItem(window_, id), SW_HIDE); }
    void disable(int id) override { EnableWindow(GetDlgItem(window_, id), FALSE); }
    void end() override { EndDialog(window_, 1); }

    DialogProc proc() const { return proc_; }

  private:
    HWND window_;
    DialogProc proc_;
};

INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = new Win32Dialog(window, reinterpret_cast<DialogProc>(lParam));
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(dialog));
        return dialog->proc()(*dialog, DialogMessage::Init, 0) ? TRUE : FALSE;
    }
    auto* dialog = reinterpret_cast<Win32Dialog*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (dialog == nullptr) return FALSE;
    switch (message) {
        case WM_COMMAND:
            // The close box arrives here as IDCANCEL, the same as Cancel.
            return dialog->proc()(*dialog, DialogMessage::Command, LOWORD(wParam)) ? TRUE : FALSE;
        case WM_DESTROY: {
            dialog->proc()(*dialog, DialogMessage::Destroy, 0);
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            delete dialog;
            return TRUE;
        }
        default:
            return FALSE;
    }
}

}  // namespace

namespace platform {

void runDialog(const DialogTemplate& dialog, DialogProc proc) {
    TemplateBuilder builder;
    buildTemplate(dialog, builder);
    DialogBoxIndirectParamA(reinterpret_cast<HINSTANCE>(gConfig.instance), builder.get(), nullptr,
                            dialogProc, reinterpret_cast<LPARAM>(proc));
}

}  // namespace platform
