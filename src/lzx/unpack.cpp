// Archive unpacking: entry records and file data from an LZX1 stream, written
// below a target directory under the per-entry filters.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "base/diag.h"
#include "base/error.h"
#include "fileio/fileio.h"
#include "lzx/archive.h"
#include "lzx/lzx.h"

namespace {

constexpr int32_t kCopyPiece = 15011;
// One per thread: archives may be packed and unpacked on several at once.
thread_local uint8_t gCopyBuffer[kCopyPiece];

constexpr int kNameField = sizeof(LzxEntry{}.name);

// Names are compared as the product's file system does: without case, in the
// current locale. A record read from disk may lack its NUL, so the whole
// field is the bound.
bool sameName(const char* a, const char* b) {
    for (int i = 0; i < kNameField; ++i) {
        int ca = std::toupper(static_cast<unsigned char>(a[i]));
        int cb = std::toupper(static_cast<unsigned char>(b[i]));
        if (ca != cb) return false;
        if (ca == 0) return true;
    }
    return true;
}

// Builds the target path of an entry into path (kFileNameMax bytes).
void targetPath(const LzxEntry& e, const char* target, char* path) {
    size_t nameLen = strnlen(e.name, kNameField);
    size_t len = nameLen;
    if (e.name[0] == '#') {
        if (target == nullptr) fatalError("UnPackLZX no target");
        len = std::strlen(target) + 1 + (nameLen - 1);
    }
    // Checked before anything is made, so a long name never reaches the disk
    // cut short, nor an unterminated name field beyond its end.
    if (len > kArchivePathMax) {
        fatalError("UnPackLZX: target path too long [%.*s]", static_cast<int>(nameLen), e.name);
    }
    if (e.name[0] == '#') {
        std::snprintf(path, kFileNameMax, "%s\\%.*s", target, static_cast<int>(nameLen - 1),
                      e.name + 1);
    } else {
        std::memcpy(path, e.name, nameLen);
        path[nameLen] = 0;
    }
}

// Looks the entry up in the list of installed files and records the outcome;
// returns whether the entry is to be written.
bool checkList(const LzxEntry& e, const char* name, LzxEntry* list, int32_t capacity,
               int32_t force) {
    int32_t i = 0;
    while (i < capacity && list[i].name[0] != 0 && !sameName(list[i].name, e.name)) ++i;
    if (i >= capacity) fatalError("UnPackLZX too many files");
    LzxEntry& r = list[i];
    if (r.name[0] == 0) {
        r = e;
        r.status = 1;
        return true;
    }
    if (r.version < e.version || (force != 0 && r.version == e.version)) {
        r = e;
        r.status = 2;
        return true;
    }
    diagPrint("\nSkip writing file version [%d, %d] [%s]", r.version, e.version, name);
    r.status = 3;
    return false;
}

}  // namespace

int32_t UnPackLZX(const char* source, const char* target, LzxEntry* list, int32_t capacity,
                  int32_t force, int32_t languages, int32_t productVersions) {
    HILE* h = Hopen(source, "rb");
    const int64_t total = h->header.length;
    for (;;) {
        LzxEntry e;
        int32_t got = Hread(&e, sizeof e, h);
        if (got == 0) break;
        if (got != static_cast<int32_t>(sizeof e)) fatalError("UnPackLZX: target fail");
        // The name field is printed and compared as text from here on.
        char name[kNameField + 1];
        std::memcpy(name, e.name, kNameField);
        name[kNameField] = 0;

        // A negative count would make the next record start inside this
        // file's data.
        if (e.size < 0) fatalError("UnPackLZX: bad entry size [%s]", name);

        char path[kFileNameMax];
        targetPath(e, target, path);
        char dir[kFileNameMax];
        PathSplit(path, dir, nullptr, nullptr);
        // A directory that cannot be made shows up as the file's create failure.
        PathMakeDirs(dir);

        bool write = true;
        if (e.languages != 0 && (e.languages & languages) == 0) {
            write = false;
            diagPrint("\nSkip writing language [%d, %d] [%s]", e.languages, languages, name);
        }
        if (write && e.productVersions != 0 && (e.productVersions & productVersions) == 0) {
            write = false;
            diagPrint("\nSkip writing vorn version [%d, %d] [%s]", e.productVersions,
                      productVersions, name);
        }
        if (write && list != nullptr) {
            write = checkList(e, name, list, capacity, force);
        } else if (force == 0 && FileExists(path)) {
            write = false;
        }
        if (e.existingOnly != 0 && !FileExists(path)) write = false;

        FileRec out;
        FileInit(out, 1, path);
        if (write) FileCreate(out);
        for (int32_t remaining = e.size; remaining > 0;) {
            int32_t piece = remaining < kCopyPiece ? remaining : kCopyPiece;
            int32_t n = Hread(gCopyBuffer, piece, h);
            if (n == 0) fatalError("UnPackLZX: unexpected eof");
            if (write) FileWrite(out, n, gCopyBuffer);
            remaining -= n;
            ArchiveReportProgress(Htell(h), total);
        }
        if (write) {
            FileClose(out);
            if (e.scramble == 1) ScrambleFile(path);
            // Only a file this entry wrote is deleted again; an entry that
            // was not written leaves whatever stands at its path alone.
            if (e.deleteAfter != 0) FileDelete(out);
        }
    }
    return Hclose(h);
}
