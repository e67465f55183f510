#include "updater/install.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "console/console.h"
#include "fileio/fileio.h"
#include "lzx/lzx.h"
#include "updater/config.h"
#include "base/error.h"
#include "updater/payload.h"
#include "updater/platform.h"
#include "updater/product.h"

namespace {

// Largest table that a tracked block can hold.
constexpr int32_t kMaxRecords = INT32_MAX / int32_t{sizeof(LzxEntry)};

LzxEntry* newTable(int32_t capacity) {
    auto* table = static_cast<LzxEntry*>(allocTracked(capacity * int32_t{sizeof(LzxEntry)}));
    std::memset(table, 0, static_cast<size_t>(capacity) * sizeof(LzxEntry));
    return table;
}

}  // namespace

void writeArchive(char* name, const unsigned char* data, int32_t size) {
    char dir[kFileNameMax] = {};
    platform::tempDirectory(dir, sizeof dir);
    if (std::strlen(dir) + std::strlen("TEMP.LZX") >= kFileNameMax) {
        fatalError("Install: temporary directory name too long [%s]", dir);
    }
    std::memcpy(name, dir, std::strlen(dir));
    std::strcpy(name + std::strlen(dir), "TEMP.LZX");
    ConPrint("\nConstructed filename = [%s]", name);
    FileRec f;
    FileInit(f, 1, name);
    FileCreate(f);
    FileWrite(f, size, data);
    FileClose(f);
}

void writePayload(char* name) {
    writeArchive(name, kPayload, kPayloadSize);
}

void installArchive(const char* source, const char* target) {
    ConPrint("\nSource: %s", source);
    ConPrint("\nTarget: %s", target);
    char versionFile[kFileNameMax];
    int n = std::snprintf(versionFile, sizeof versionFile, "%s\\%s", target, kVersionFileName);
    if (n < 0 || n >= static_cast<int>(sizeof versionFile)) {
        fatalError("Install: directory name too long [%s]", target);
    }

    int32_t capacity = kSpareRecords;
    LzxEntry* table = nullptr;
    if (FileExists(versionFile)) {
        FileRec f;
        FileInit(f, sizeof(LzxEntry), versionFile);
        int32_t count = FileSize(f);
        if (count > kMaxRecords - kSpareRecords) fatalError("Install: version file too large");
        capacity = count + kSpareRecords;
        table = newTable(capacity);
        FileOpenRead(f);
        FileRead(f, capacity, table);
        FileClose(f);
        // A damaged record must not run its name into the next field.
        for (int32_t i = 0; i < count; ++i) table[i].name[sizeof table[i].name - 1] = 0;
    } else {
        if (gConfig.mainProduct && !gConfig.demo) {
            char message[kFileNameMax + 16];
            std::snprintf(message, sizeof message, "%s not found", versionFile);
            platform::messageBox(message, "Einde", platform::BoxIcon::Information);
            return;
        }
        if (gConfig.demo) PathMakeDirs(target);
        table = newTable(capacity);
    }

    UnPackLZX(source, target, table, capacity, 1, 0, 0);

    int32_t used = 0;
    while (used < capacity && table[used].name[0] != 0) table[used++].status = 0;

    // The new list goes to a file beside the old one and replaces it in one
    // step, so a failure while writing never loses the list of installed
    // files. The version is recorded only once the list is safe.
    char newFile[kFileNameMax];
    n = std::snprintf(newFile, sizeof newFile, "%s.new", versionFile);
    if (n < 0 || n >= static_cast<int>(sizeof newFile)) {
        fatalError("Install: directory name too long [%s]", target);
    }
    FileRec f;
    FileInit(f, sizeof(LzxEntry), newFile);
    FileCreate(f);
    FileWrite(f, used, table);
    FileClose(f);
    if (!platform::replaceFile(newFile, versionFile)) {
        std::string reason = platform::lastErrorText();
        fatalError("Install: cannot replace [%s]: %s", versionFile, reason.c_str());
    }
    freeTracked(table);

    writeProductVersion("Vorn", kInstalledVersion);
}

void deleteTemporary(const char* name) {
    FileRec f;
    FileInit(f, 1, name);
    FileDelete(f);
}
