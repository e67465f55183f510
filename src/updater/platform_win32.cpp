// Start-up queries, the product marker, the registry and the directories
// on Win32.
#include <windows.h>
// windows.h first: these need its types.
#include <commctrl.h>
#include <ddeml.h>

#include <cstdio>
#include <cstring>

#include "updater/platform.h"
#include "updater/product.h"

namespace platform {

uint32_t systemVersion() {
    return static_cast<uint32_t>(GetVersion() & 0xFFFF);
}

uint16_t defaultLanguageId() {
    return GetSystemDefaultLangID();
}

bool commonControlsUsable() {
    HMODULE library = LoadLibraryA("comctl32.dll");
    if (library == nullptr) return false;
    struct VersionInfo {
        DWORD size, major, minor, build, platform;
    };
    using GetVersionFn = HRESULT(CALLBACK*)(VersionInfo*);
    FARPROC proc = GetProcAddress(library, "DllGetVersion");
    if (proc != nullptr) {
        auto getVersion = reinterpret_cast<GetVersionFn>(reinterpret_cast<void (*)()>(proc));
        VersionInfo info = {};
        info.size = sizeof info;
        if (FAILED(getVersion(&info))) {
            FreeLibrary(library);
            return false;
        }
    }
    FreeLibrary(library);
    InitCommonControls();
    return true;
}

namespace {

HDDEDATA CALLBACK ddeCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    return nullptr;
}

}  // namespace

bool registerDdeClient(uint32_t& instance) {
    DWORD id = 0;
    if (DdeInitializeA(&id, ddeCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) return false;
    instance = id;
    return true;
}

// The handle stays open until the process ends: that is the marker.
bool createMarker(const char* name, bool& existed) {
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, TRUE};
    HANDLE mapping =
        CreateFileMappingA(INVALID_HANDLE_VALUE, &security, PAGE_READONLY, 0, 32, name);
    existed = mapping != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
    return mapping != nullptr;
}

bool regOpenUserKey(const char* path, const char* className, RegKey& key) {
    HKEY handle = nullptr;
    DWORD disposition = 0;
    LONG result =
        RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, const_cast<char*>(className),
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &handle, &disposition);
    if (result != ERROR_SUCCESS) return false;
    key = reinterpret_cast<RegKey>(handle);
    return true;
}

bool regReadString(RegKey key, const char* name, char* buffer, uint32_t size) {
    DWORD bytes = size;
    if (RegQueryValueExA(reinterpret_cast<HKEY>(key), name, nullptr, nullptr,
                         reinterpret_cast<BYTE*>(buffer), &bytes) != ERROR_SUCCESS) {
        return false;
    }
    // A value stored without its NUL must still end inside the buffer.
    if (bytes > 0 && buffer[bytes - 1] == 0) return true;
    if (bytes >= size) return false;
    buffer[bytes] = 0;
    return true;
}

bool regWriteString(RegKey key, const char* name, const char* value) {
    return RegSetValueExA(reinterpret_cast<HKEY>(key), name, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(value),
                          static_cast<DWORD>(std::strlen(value) + 1)) == ERROR_SUCCESS;
}

void regCloseKey(RegKey key) {
    RegCloseKey(reinterpret_cast<HKEY>(key));
}

void tempDirectory(char* buffer, uint32_t size) {
    std::memset(buffer, 0, size);
    DWORD n = GetTempPathA(size, buffer);
    if (n == 0 || n >= size) buffer[0] = 0;
}

void defaultDemoDirectory(char* buffer, uint32_t size) {
    std::snprintf(buffer, size, "%s", "C:\\Program Files\\Vorn Demo");
    char windows[MAX_PATH] = {};
    UINT n = GetWindowsDirectoryA(windows, sizeof windows);
    if (n > 0 && n < sizeof windows) applyWindowsDrive(buffer, windows);
}

bool replaceFile(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace platform
