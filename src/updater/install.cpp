// Writing the payload and installing it.
//
// An installation is one transaction of the file layer: every new file and
// the new version list wait beside their targets until the whole archive
// has been unpacked, then replace the old ones together, and only then is
// the new version recorded. A fatal error on the way puts the product back
// as it was; a killed run leaves a journal that the next run finishes or
// undoes before it does anything else (recoverInstallation).
#include "updater/install.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/crc32.h"
#include "base/error.h"
#include "base/os.h"
#include "console/console.h"
#include "fileio/fileio.h"
#include "lzx/archive.h"
#include "lzx/lzx.h"
#include "updater/config.h"
#include "updater/payload.h"
#include "updater/platform.h"
#include "updater/product.h"

namespace {

// Largest table that a tracked block can hold.
constexpr int32_t kMaxRecords = INT32_MAX / int32_t{sizeof(LzxEntry)};

// The temporary archive of this run and its private directory, removed on
// every way out of the run, a fatal one included.
char gArchive[kFileNameMax];
char gArchiveDir[kFileNameMax];

void removeArchive() {
    if (gArchive[0] != 0) {
        FileRec f;
        FileInit(f, 1, gArchive);
        FileDelete(f);
        gArchive[0] = 0;
    }
    if (gArchiveDir[0] != 0) {
        PathRemoveDir(gArchiveDir);
        gArchiveDir[0] = 0;
    }
}

LzxEntry* newTable(int32_t capacity) {
    auto* table = static_cast<LzxEntry*>(allocTracked(capacity * int32_t{sizeof(LzxEntry)}));
    std::memset(table, 0, static_cast<size_t>(capacity) * sizeof(LzxEntry));
    return table;
}

void showNotFound(const char* name) {
    char message[kFileNameMax + 16];
    std::snprintf(message, sizeof message, "%s not found", name);
    platform::messageBox(message, "Einde", platform::BoxIcon::Information);
}

[[noreturn]] void damaged(const char* what) {
    fatalError("The installer is damaged (%s).\nNothing was installed; download it again.", what);
}

void recordVersion() {
    // A version that cannot be recorded would leave new files under the
    // old version: the transaction is undone.
    if (!writeProductVersion("Vorn", kInstalledVersion)) {
        fatalError("Install: cannot record version %s in the registry", kInstalledVersion);
    }
}

// The temporary directory of the system, as the base for our private one.
std::string temporaryBase() {
    char dir[kFileNameMax] = {};
    platform::tempDirectory(dir, sizeof dir);
    return dir;
}

}  // namespace

void checkPayload() {
    if (crc32(kPayload, static_cast<size_t>(kPayloadSize)) != kPayloadCrc) damaged("checksum");
}

namespace {

// Walks the entry records and data of an archive stream: read(buf, n) gives
// up to n bytes, skip(n) passes over up to n; both fewer only at the end.
template <typename Read, typename Skip>
void walkEntries(Read read, Skip skip) {
    for (;;) {
        LzxEntry e;
        int32_t got = read(&e, static_cast<int32_t>(sizeof e));
        if (got == 0) break;
        if (got != static_cast<int32_t>(sizeof e)) damaged("entry record cut short");
        if (e.name[0] == 0 || std::memchr(e.name, 0, sizeof e.name) == nullptr) {
            damaged("entry without a name");
        }
        if (e.size < 0) damaged("entry size");
        if (skip(e.size) != e.size) damaged("file data cut short");
    }
}

}  // namespace

platform::LargeBuffer checkArchive(const char* source, int32_t keepMax) {
    // Nothing is written yet: both threads decode.
    HILE* h = Hopen(source, "rb", 2);
    const int32_t length = h->header.length;
    // Too large to keep, or memory refused: the stream is decoded again
    // while it is installed.
    platform::LargeBuffer stream(length <= keepMax ? static_cast<size_t>(length) : 0);
    if (!stream.empty()) {
        if (Hread(stream.data(), length, h) != length) damaged("stream cut short");
        int32_t at = 0;
        auto skip = [&](int32_t n) {
            n = n < length - at ? n : length - at;
            at += n;
            return n;
        };
        walkEntries(
            [&](void* buf, int32_t n) {
                const unsigned char* from = stream.data() + at;
                n = skip(n);
                std::memcpy(buf, from, static_cast<size_t>(n));
                return n;
            },
            skip);
    } else {
        std::vector<unsigned char> buffer(kBlockSize);
        walkEntries([&](void* buf, int32_t n) { return Hread(buf, n, h); },
                    [&](int32_t n) {
                        int32_t done = 0;
                        while (done < n) {
                            int32_t piece = n - done < kBlockSize ? n - done : kBlockSize;
                            int32_t got = Hread(buffer.data(), piece, h);
                            if (got == 0) break;
                            done += got;
                        }
                        return done;
                    });
    }
    Hclose(h);
    return stream;
}

void writeArchive(char* name, const unsigned char* data, int32_t size) {
    std::string base = temporaryBase();
    // No fallback to the current directory: a name there may be a link that
    // the archive would be written through.
    if (base.empty() || !PathMakePrivateDir(base.c_str(), gArchiveDir)) {
        fatalError("Install: cannot make a private temporary directory in [%s]", base.c_str());
    }
    addFatalCleanup(removeArchive);
    int n = std::snprintf(name, kFileNameMax, "%sTEMP.LZX", gArchiveDir);
    if (n < 0 || n >= kFileNameMax) {
        fatalError("Install: temporary directory name too long [%s]", gArchiveDir);
    }
    std::memcpy(gArchive, name, kFileNameMax);
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

void recoverInstallation(const char* productDir) {
    std::string base = temporaryBase();
    if (!base.empty()) FileRemoveStale(base.c_str());
    int result = FileTransactionRecover(productDir);
    if (result == 1) {
        recordVersion();
        FileTransactionFinish();
    }
    if (result >= 0) {
        ConPrint("\nAn interrupted installation was %s", result == 1 ? "completed" : "undone");
    }
    FileRemoveStale(productDir);
}

int installArchive(const char* source, const char* target) {
    ConPrint("\nSource: %s", source);
    ConPrint("\nTarget: %s", target);
    char versionFile[kFileNameMax];
    int n = std::snprintf(versionFile, sizeof versionFile, "%s\\%s", target, kVersionFileName);
    if (n < 0 || n >= static_cast<int>(sizeof versionFile)) {
        fatalError("Install: directory name too long [%s]", target);
    }
    // An update goes into a product that is there; only a demo makes its
    // directory.
    if (!gConfig.demo && !FileExists(target)) {
        showNotFound(target);
        return 0;
    }
    // The whole archive is decoded once before the first file is written,
    // so damage ends the run with the product untouched; the files are then
    // written from what the check decoded.
    platform::LargeBuffer stream = checkArchive(source);

    int32_t capacity = kSpareRecords;
    LzxEntry* table = nullptr;
    if (FileExists(versionFile)) {
        FileRec f;
        FileInit(f, sizeof(LzxEntry), versionFile);
        int32_t count = FileSize(f);
        if (count > kMaxRecords - kSpareRecords) fatalError("Install: version file too large");
        capacity = count + kSpareRecords;
        table = newTable(capacity);
        // Only whole records count: bytes after the last one (a write cut
        // short by some other program) are no entry.
        FileOpenRead(f);
        FileRead(f, count, table);
        FileClose(f);
        FileRec bytes;
        FileInit(bytes, 1, versionFile);
        int32_t tail = FileSize(bytes) - count * int32_t{sizeof(LzxEntry)};
        if (tail > 0) {
            ConPrint("\nIgnored %d bytes after the last whole record of [%s]", tail, versionFile);
        }
        // A damaged record must not run its name into the next field.
        for (int32_t i = 0; i < count; ++i) table[i].name[sizeof table[i].name - 1] = 0;
    } else {
        if (gConfig.mainProduct && !gConfig.demo) {
            showNotFound(versionFile);
            return 0;
        }
        if (gConfig.demo) PathMakeDirs(target);
        table = newTable(capacity);
    }

    FileTransactionBegin(target);
    if (!stream.empty()) {
        UnPackLZXStream(stream.data(), static_cast<int64_t>(stream.size()), target, table, capacity,
                        1, 0, 0);
        stream = platform::LargeBuffer();
    } else {
        // A second thread decodes the archive ahead while this one writes
        // the files, so the installation takes about the longer of the two.
        ArchiveSetThreads(2);
        UnPackLZX(source, target, table, capacity, 1, 0, 0);
        ArchiveSetThreads(1);
    }

    int32_t used = 0;
    while (used < capacity && table[used].name[0] != 0) table[used++].status = 0;
    FileRec f;
    FileCreateBeside(f, sizeof(LzxEntry), versionFile);
    FileWrite(f, used, table);
    FileCommit(f, versionFile);
    freeTracked(table);

    // From here on the new files count; the version follows them.
    FileTransactionApply();
    recordVersion();
    FileTransactionFinish();
    return 1;
}

void deleteTemporary(const char* name) {
    FileRec f;
    FileInit(f, 1, name);
    FileDelete(f);
    if (std::strcmp(name, gArchive) == 0) removeArchive();
}
