#include "updater/product.h"

#include <cstdio>
#include <cstring>

#include "updater/config.h"

int openProductKey(const char* name, platform::RegKey& key) {
    if (std::strlen(name) > kKeyNameMax) return 0;
    char path[kKeyPathMax];
    std::snprintf(path, sizeof path, "Software\\%s", name);
    return platform::regOpenUserKey(path, name, key) ? 1 : 0;
}

bool isAbsolutePath(const char* path) {
    auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (path[0] == '/') return true;                      // POSIX root
    if (path[0] == '\\' && path[1] == '\\') return true;  // \\server\share
    return letter(path[0]) && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

int readProductKey(const char* name) {
    platform::RegKey key;
    if (!openProductKey(name, key)) return 0;
    bool ok = platform::regReadString(key, "Location", gConfig.productDir, kProductDirMax);
    // An empty or relative location would make the installer write into the
    // file system's root or wherever it was started: no product there.
    if (ok && !isAbsolutePath(gConfig.productDir)) ok = false;
    if (ok && gConfig.demo == 0) {
        ok = platform::regReadString(key, "Version", gConfig.installedVersion, kVersionMax);
    }
    platform::regCloseKey(key);
    return ok ? 1 : 0;
}

int writeProductVersion(const char* name, const char* version) {
    platform::RegKey key;
    if (!openProductKey(name, key)) return 0;
    bool ok = platform::regWriteString(key, "Version", version);
    platform::regCloseKey(key);
    return ok ? 1 : 0;
}

int findProductDirectory() {
    if (gConfig.demo) {
        if (gConfig.mainProduct) return readProductKey("Vorn Demo");
        platform::defaultDemoDirectory(gConfig.productDir, kProductDirMax);
        return 1;
    }
    return readProductKey(gConfig.mainProduct ? "Vorn" : "Velmora");
}

int isProductActive(const char* marker) {
    bool existed = false;
    if (!platform::createMarker(marker, existed)) return 1;
    return existed ? 1 : 0;
}

void applyWindowsDrive(char* dir, const char* windowsDir) {
    if (dir[0] != 0 && windowsDir[0] != 0) dir[0] = windowsDir[0];
}
