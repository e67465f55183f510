#include "updater/run.h"

#include <cstdio>
#include <cstring>

#include "base/error.h"
#include "console/console.h"
#include "fileio/fileio.h"
#include "updater/config.h"
#include "updater/dialog.h"
#include "updater/install.h"
#include "updater/platform.h"
#include "updater/product.h"
#include "updater/texts.h"

namespace {

constexpr uint16_t kLangDutch = 19;

bool sameNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char x = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a + 32) : *a;
        char y = *b >= 'A' && *b <= 'Z' ? static_cast<char>(*b + 32) : *b;
        if (x != y) return false;
        if (x == 0) return true;
    }
}

void refuse(int text, platform::BoxIcon icon) {
    platform::messageBox(textFor(text), textFor(kTextExitCaption), icon);
}

int showFatalBox(const char* message) {
    return platform::messageBox(message, "Einde programma", platform::BoxIcon::Error);
}

}  // namespace

void useInstallerReporter() {
    setFatalReporter(showFatalBox);
}

void chooseLanguage(uint16_t languageId) {
    gConfig.dutch = (languageId & 0x3FF) == kLangDutch ? 1 : 0;
}

void parseCommandLine(const char* arguments) {
    char buffer[kArgumentMax + 1];
    std::snprintf(buffer, sizeof buffer, "%s", arguments ? arguments : "");
    // Entry 0 stands where a program name would stand and is never compared.
    const char* tokens[kTokenMax + 2] = {"dummy"};
    int count = 1;
    char* p = buffer;
    while (count <= kTokenMax) {
        while (*p == ' ') ++p;
        if (*p == 0) break;
        tokens[count++] = p;
        while (*p != 0 && *p != ' ') ++p;
        if (*p == ' ') *p++ = 0;
    }
    tokens[count] = nullptr;
    for (int i = 1; i < count; ++i) {
        if (sameNoCase(tokens[i], "-log")) gConfig.logEnabled = 1;
        if (sameNoCase(tokens[i], "-dut")) gConfig.dutch = 1;
        if (sameNoCase(tokens[i], "-eng")) gConfig.dutch = 0;
        if (sameNoCase(tokens[i], "-spawned")) gConfig.spawned = 1;
    }
}

int checkWindowsVersion(uint32_t version) {
    int major = static_cast<int>(version & 0xFF), minor = static_cast<int>((version >> 8) & 0xFF);
    if (major >= 4) return 1;
    char text[64];
    std::snprintf(text, sizeof text, "Vorn werkt niet onder Windows 3.1 [%d, %d]", major, minor);
    platform::messageBox(text, "Einde", platform::BoxIcon::Information);
    return 0;
}

int checkWindowsVersion() {
    return checkWindowsVersion(platform::systemVersion());
}

int checkCommonControls() {
    return platform::commonControlsUsable() ? 1 : 0;
}

int runInstaller(uintptr_t instance, const char* arguments) {
    useInstallerReporter();
    gConfig.instance = instance;
    chooseLanguage(platform::defaultLanguageId());
    if (!checkWindowsVersion()) return 0;
    parseCommandLine(arguments);
    // A damaged download ends here, before any dialog.
    checkPayload();

    if (!gConfig.spawned) {
        if (!gConfig.mainProduct && isProductActive(kMarkerFamily)) {
            refuse(kTextFamilyActive, platform::BoxIcon::Information);
            return 1;
        }
        if (gConfig.mainProduct && isProductActive(kMarkerMain)) {
            refuse(kTextVornActive, platform::BoxIcon::Information);
            return 1;
        }
    }

    if (!checkCommonControls()) internalError(kSrcUpdater, 3589, 5679);
    FileStackClear();
    if (gConfig.logEnabled) ConCreate(0);

    bool found = platform::registerDdeClient(gConfig.ddeInstance) && findProductDirectory();
    // An installation that a killed run left half done is finished or
    // undone before anything else looks at the product.
    if (found) recoverInstallation(gConfig.productDir);
    if (!found) {
        int text = gConfig.demo          ? kTextDemoNotFound
                   : gConfig.mainProduct ? kTextVornNotFound
                                         : kTextFamilyNotFound;
        refuse(text, platform::BoxIcon::Error);
    } else if (gConfig.demo || static_cast<signed char>(gConfig.installedVersion[0]) >= '3') {
        // The demo variants read no installed version, so they need none.
        runInformationDialog();
    } else {
        refuse(kTextNeedVersion3, platform::BoxIcon::Error);
    }

    if (gConfig.logEnabled) ConDestroy();
    if (FileStackReport()) internalError(kSrcUpdater, 3699, 4000);
    return gConfig.notInstalled ? 2 : 0;
}
