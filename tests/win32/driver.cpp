// vorn-wine-driver: runs a Windows program and works its windows the way a
// user would, by caption and control id, for the end-to-end tests under
// Wine. No pixel clicks: windows are found with FindWindow-style searches
// among the program's own top-level windows, buttons pressed with BM_CLICK.
//
//   vorn-wine-driver [--hold NAME] STEP... -- PROGRAM [ARGS...]
//
// --hold NAME   holds the named file mapping NAME while the program runs, as
//               the running product holds its marker
// Steps, in order:
//   window:CAPTION   wait for a visible window of the program with that caption
//   text             print the text of the window's message (a message box's)
//   item:ID          print the text of control ID
//   shot:FILE.bmp    save a picture of the window
//   console:FILE.bmp show the program's hidden console window, save a
//                    picture of it, hide it again
//   press:ID         press button ID
// Prints what it saw ("window: ...", "text: ...") and "exit N"; returns the
// program's exit code, or 100 when a step timed out or failed.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const DWORD kWaitMs = 60000;
DWORD childId;

struct Search {
    const char* caption;  // nullptr: the console window
    HWND found;
};

BOOL CALLBACK visit(HWND w, LPARAM param) {
    Search& s = *reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid != childId) return TRUE;
    char text[256] = {};
    if (s.caption) {
        if (!IsWindowVisible(w)) return TRUE;
        GetWindowTextA(w, text, sizeof text);
        if (std::strcmp(text, s.caption) != 0) return TRUE;
    } else {
        GetClassNameA(w, text, sizeof text);
        if (std::strncmp(text, "ConClass", 8) != 0) return TRUE;
    }
    s.found = w;
    return FALSE;
}

HWND findWindow(const char* caption, HANDLE process) {
    for (DWORD waited = 0; waited < kWaitMs; waited += 50) {
        Search s = {caption, nullptr};
        EnumWindows(visit, reinterpret_cast<LPARAM>(&s));
        if (s.found) return s.found;
        if (WaitForSingleObject(process, 50) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
}

BOOL CALLBACK listOne(HWND w, LPARAM) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid != childId) return TRUE;
    char text[256] = {}, cls[64] = {};
    GetWindowTextA(w, text, sizeof text);
    GetClassNameA(w, cls, sizeof cls);
    std::printf("  window of the program: [%s] class %s%s\n", text, cls,
                IsWindowVisible(w) ? "" : " (hidden)");
    return TRUE;
}

std::string itemText(HWND w, int id) {
    char text[1024] = {};
    GetDlgItemTextA(w, id, text, sizeof text);
    return text;
}

// A message box keeps its message in a static control with id 0xFFFF.
std::string messageText(HWND w) {
    std::string text = itemText(w, 0xFFFF);
    for (char& c : text) {
        if (c == '\r') c = ' ';
    }
    return text;
}

// The window as it is on the screen, as a 24-bit bitmap file.
bool saveShot(HWND w, const char* file) {
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(300);
    RECT r;
    GetWindowRect(w, &r);
    int width = r.right - r.left, height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    DWORD row = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::vector<char> pixels(row * static_cast<DWORD>(height));
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
              reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER head = {};
    head.bfType = 0x4D42;  // "BM"
    head.bfOffBits = sizeof head + sizeof info;
    head.bfSize = head.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* out = std::fopen(file, "wb");
    if (!out) return false;
    bool ok = std::fwrite(&head, sizeof head, 1, out) == 1 &&
              std::fwrite(&info, sizeof info, 1, out) == 1 &&
              std::fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
    return std::fclose(out) == 0 && ok;
}

// Quotes only what needs it: the installer splits its arguments at blanks
// and would take the quotes for part of an option.
std::string quoted(const char* arg) {
    if (*arg && !std::strpbrk(arg, " \t\"")) return arg;
    std::string q = "\"";
    for (const char* p = arg; *p; ++p) {
        if (*p == '"') q += '\\';
        q += *p;
    }
    return q + "\"";
}

int fail(PROCESS_INFORMATION& pi, const std::string& why) {
    std::printf("driver: %s\n", why.c_str());
    EnumWindows(listOne, 0);
    std::fflush(stdout);
    TerminateProcess(pi.hProcess, 100);
    WaitForSingleObject(pi.hProcess, 5000);
    return 100;
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--hold") == 0) {
        SECURITY_ATTRIBUTES security = {sizeof security, nullptr, TRUE};
        HANDLE marker =
            CreateFileMappingA(INVALID_HANDLE_VALUE, &security, PAGE_READONLY, 0, 32, argv[2]);
        if (!marker) {
            std::printf("driver: cannot hold %s\n", argv[2]);
            return 100;
        }
        first = 3;
    }
    int dashes = first;
    while (dashes < argc && std::strcmp(argv[dashes], "--") != 0) ++dashes;
    if (dashes + 1 >= argc) {
        std::fprintf(stderr,
                     "usage: vorn-wine-driver [--hold NAME] STEP... -- PROGRAM [ARGS...]\n");
        return 64;
    }
    std::string command;
    for (int i = dashes + 1; i < argc; ++i)
        command += (command.empty() ? "" : " ") + quoted(argv[i]);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        std::printf("driver: cannot start %s (error %lu)\n", command.c_str(), GetLastError());
        return 100;
    }
    childId = pi.dwProcessId;
    HWND current = nullptr;
    for (int i = first; i < dashes; ++i) {
        std::string step = argv[i];
        size_t colon = step.find(':');
        std::string verb = step.substr(0, colon),
                    arg = colon == std::string::npos ? "" : step.substr(colon + 1);
        if (verb == "window") {
            current = findWindow(arg.c_str(), pi.hProcess);
            if (!current) return fail(pi, "no window \"" + arg + "\"");
            std::printf("window: %s\n", arg.c_str());
            Sleep(200);  // let it finish its initialisation and painting
        } else if (!current && verb != "console") {
            return fail(pi, "step " + step + " before any window");
        } else if (verb == "text") {
            std::printf("text: %s\n", messageText(current).c_str());
        } else if (verb == "item") {
            std::printf("item %s: %s\n", arg.c_str(), itemText(current, std::stoi(arg)).c_str());
        } else if (verb == "shot") {
            if (!saveShot(current, arg.c_str())) return fail(pi, "cannot save " + arg);
        } else if (verb == "console") {
            HWND console = findWindow(nullptr, pi.hProcess);
            if (!console) return fail(pi, "no console window");
            ShowWindow(console, SW_SHOWNOACTIVATE);
            UpdateWindow(console);
            Sleep(300);
            bool saved = saveShot(console, arg.c_str());
            ShowWindow(console, SW_HIDE);
            if (!saved) return fail(pi, "cannot save " + arg);
        } else if (verb == "press") {
            HWND button = GetDlgItem(current, std::stoi(arg));
            if (!button) return fail(pi, "no control " + arg);
            // Posted, not sent: the installer does its work inside the click.
            PostMessageA(button, BM_CLICK, 0, 0);
            current = nullptr;
        } else {
            return fail(pi, "unknown step " + step);
        }
    }
    if (WaitForSingleObject(pi.hProcess, kWaitMs) != WAIT_OBJECT_0)
        return fail(pi, "program did not end");
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    std::printf("exit %lu\n", code);
    return static_cast<int>(code);
}
