// Start-up queries, the product marker and the directories on POSIX.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "updater/platform.h"
#include "updater/registry_store.h"

namespace platform {

// Linux is no old Windows: report a current system so the version check passes.
uint32_t systemVersion() {
    return 10;
}

uint16_t defaultLanguageId() {
    constexpr uint16_t kEnglishUs = 0x0409;
    constexpr uint16_t kDutchNetherlands = 0x0413;
    // The first of these that is set decides, as for the C library.
    const char* locale = nullptr;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            locale = value;
            break;
        }
    }
    if (locale == nullptr) return kEnglishUs;
    // "nl", "nl_NL.UTF-8", "nl_BE@euro", ...
    if (locale[0] == 'n' && locale[1] == 'l' &&
        (locale[2] == 0 || locale[2] == '_' || locale[2] == '.' || locale[2] == '@')) {
        return kDutchNetherlands;
    }
    return kEnglishUs;
}

bool commonControlsUsable() {
    return true;
}

bool registerDdeClient(uint32_t& instance) {
    instance = 1;
    return true;
}

namespace {

// Markers live in the user's runtime directory, which only the user can
// enter, else in the user's configuration directory.
std::string markerDirectory() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime == '/') return std::string(runtime) + "/velmora";
    return registry_store::configDirectory() + "/run";
}

}  // namespace

// The marker is a lock on a file: the kernel drops it when the process ends
// in any way, so a killed product never leaves a stale marker behind. The
// descriptor is kept open (and inherited, like the Windows handle) for the
// rest of the run.
bool createMarker(const char* name, bool& existed) {
    existed = false;
    std::string dir = markerDirectory();
    if (!registry_store::makeDirectories(dir)) return false;
    std::string path = dir + "/" + name + ".lock";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        if (!busy) return false;
        existed = true;
        return true;
    }
    return true;
}

// $TMPDIR, else /tmp; the installer makes its private directory below it.
void tempDirectory(char* buffer, uint32_t size) {
    if (size == 0) return;
    buffer[0] = 0;
    const char* base = std::getenv("TMPDIR");
    std::string dir = std::string(base && *base ? base : "/tmp");
    if (dir.back() != '/') dir += '/';
    if (dir.size() + 1 > size) return;
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
}

void defaultDemoDirectory(char* buffer, uint32_t size) {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    std::string dir = xdg && *xdg == '/'
                          ? std::string(xdg) + "/Vorn Demo"
                          : std::string(home && *home ? home : ".") + "/.local/share/Vorn Demo";
    std::snprintf(buffer, size, "%s", dir.c_str());
}

}  // namespace platform

namespace platform {

bool replaceFile(const char* from, const char* to) {
    // Names come in the file layer's backslash form.
    auto native = [](const char* name) {
        std::string s = name;
        for (char& c : s)
            if (c == '\\') c = '/';
        return s;
    };
    return std::rename(native(from).c_str(), native(to).c_str()) == 0;
}

}  // namespace platform
