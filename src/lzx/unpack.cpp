// Archive unpacking: entry records and file data from an LZX1 stream, written
// below a target directory under the per-entry filters.
#include <algorithm>
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

// Whether a name stays below the target: no absolute names, drive letters
// or stream names, no ".." components, nor components of dots and blanks
// alone, which Windows may read as "..". Plain names land in the current
// directory, which is the target only when no other was given.
bool staysInside(const char* name, bool plainNamesInside) {
    const char* rest = name;
    if (name[0] == '#') {
        ++rest;
    } else if (!plainNamesInside) {
        return false;
    }
    if (rest[0] == '\\' || rest[0] == '/' || std::strchr(rest, ':') != nullptr) return false;
    const char* part = rest;
    for (const char* p = rest;; ++p) {
        if (*p == '\\' || *p == '/' || *p == 0) {
            int dots = 0;
            bool onlyDots = true;
            for (const char* q = part; q < p; ++q) {
                if (*q == '.')
                    ++dots;
                else if (*q != ' ')
                    onlyDots = false;
            }
            if (onlyDots && dots >= 2) return false;
            if (*p == 0) break;
            part = p + 1;
        }
    }
    return true;
}

// Whether a directory of path from `from` on is a link: a file below it would
// land wherever the link points. Missing directories are made later as real
// ones; the last component is replaced by a rename, never written through.
bool throughLink(char* path, size_t from) {
    for (size_t i = from; path[i] != 0; ++i) {
        if (path[i] != '\\' && path[i] != '/') continue;
        char saved = path[i];
        path[i] = 0;
        bool link = PathKindOf(path) == PathKind::Link;
        path[i] = saved;
        if (link) return true;
    }
    return false;
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

const char* ArchiveTargetPath(const LzxEntry& e, const char* target, uint32_t options, char* path) {
    char name[kNameField + 1];
    size_t nameLen = strnlen(e.name, kNameField);
    std::memcpy(name, e.name, nameLen);
    name[nameLen] = 0;
    path[0] = 0;
    size_t inside = 0;  // where the part below the target begins in path
    if (name[0] == '#') {
        if (target == nullptr) return "no target directory for a \"#\" name";
        inside = std::strlen(target) + 1;
        // Checked before anything is made, so a long name never reaches the
        // disk cut short.
        if (inside + nameLen - 1 > kArchivePathMax) return "target path too long";
        std::snprintf(path, kFileNameMax, "%s\\%s", target, name + 1);
    } else {
        if (nameLen > kArchivePathMax) return "target path too long";
        std::memcpy(path, name, nameLen + 1);
    }
    if (options & kUnpackUnsafePaths) return nullptr;
    bool plainInside = target == nullptr || std::strcmp(target, ".") == 0 || target[0] == 0;
    if (!staysInside(name, plainInside)) return "would land outside the target";
    if (throughLink(path, inside)) return "leads through a link inside the target";
    return nullptr;
}

namespace {

// Where unpacking takes the archive stream from: an open container, or the
// bytes of one that were decoded before.
class StreamSource {
  public:
    explicit StreamSource(HILE* h) : h_(h), total_(h->header.length) {}
    StreamSource(const uint8_t* bytes, int64_t length) : bytes_(bytes), total_(length) {}
    // Up to n bytes; fewer only at the end of the stream.
    int32_t read(void* buf, int32_t n) {
        if (h_ != nullptr) return Hread(buf, n, h_);
        const uint8_t* at = nullptr;
        int32_t got = take(n, &at);
        std::memcpy(buf, at, static_cast<size_t>(got));
        return got;
    }
    // The same, left where they lie when the stream is in memory: `at`
    // points at them, or at the copy buffer they were read into.
    int32_t take(int32_t n, const uint8_t** at) {
        if (h_ != nullptr) {
            *at = gCopyBuffer;
            return Hread(gCopyBuffer, n, h_);
        }
        *at = bytes_ + at_;
        int32_t got = static_cast<int32_t>(std::min<int64_t>(n, total_ - at_));
        at_ += got;
        return got;
    }
    int64_t tell() const { return h_ != nullptr ? Htell(h_) : at_; }
    int64_t total() const { return total_; }

  private:
    HILE* h_ = nullptr;
    const uint8_t* bytes_ = nullptr;
    int64_t total_;
    int64_t at_ = 0;
};

void unpackEntries(StreamSource& in, const char* target, LzxEntry* list, int32_t capacity,
                   int32_t force, int32_t languages, int32_t productVersions, uint32_t options) {
    const int64_t total = in.total();
    for (;;) {
        LzxEntry e;
        int32_t got = in.read(&e, sizeof e);
        if (got == 0) break;
        if (got != static_cast<int32_t>(sizeof e)) {
            fatalError("UnPackLZX: target fail (the archive ends inside an entry record)");
        }
        // The name field is printed and compared as text from here on.
        char name[kNameField + 1];
        std::memcpy(name, e.name, kNameField);
        name[kNameField] = 0;

        // A negative count would make the next record start inside this
        // file's data.
        if (e.size < 0) fatalError("UnPackLZX: bad entry size [%s]", name);

        if (e.name[0] == '#' && target == nullptr) fatalError("UnPackLZX no target");
        // Checked here, for every entry as it comes, so no reader of the
        // archive can make a different entry pass for this one.
        char path[kFileNameMax];
        if (const char* why = ArchiveTargetPath(e, target, options, path)) {
            fatalError("UnPackLZX: %s [%s]", why, name);
        }
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

        // The file is written beside its path and renamed over it only when
        // whole: an existing file or link there is replaced, never written
        // through, and damage met on the way leaves no part of it behind.
        FileRec out;
        if (write) FileCreateBeside(out, 1, path);
        Scrambler scrambler(e.size);
        for (int32_t remaining = e.size; remaining > 0;) {
            int32_t piece = remaining < kCopyPiece ? remaining : kCopyPiece;
            const uint8_t* at = nullptr;
            int32_t n = in.take(piece, &at);
            if (n == 0)
                fatalError("UnPackLZX: unexpected eof (the archive ends inside [%s])", name);
            if (write && e.scramble == 1) {
                if (at != gCopyBuffer) std::memcpy(gCopyBuffer, at, static_cast<size_t>(n));
                scrambler.apply(gCopyBuffer, n);
                at = gCopyBuffer;
            }
            if (write) FileWrite(out, n, at);
            remaining -= n;
            ArchiveReportProgress(in.tell(), total);
        }
        if (write) {
            FileCommit(out, path);
            // Only a file this entry wrote is deleted again; an entry that
            // was not written leaves whatever stands at its path alone.
            if (e.deleteAfter != 0) FileDelete(out);
        }
    }
}

}  // namespace

int32_t UnPackLZX(const char* source, const char* target, LzxEntry* list, int32_t capacity,
                  int32_t force, int32_t languages, int32_t productVersions, uint32_t options) {
    HILE* h = Hopen(source, "rb", ArchiveThreads());
    StreamSource in(h);
    unpackEntries(in, target, list, capacity, force, languages, productVersions, options);
    return Hclose(h);
}

int32_t UnPackLZXStream(const uint8_t* stream, int64_t length, const char* target, LzxEntry* list,
                        int32_t capacity, int32_t force, int32_t languages, int32_t productVersions,
                        uint32_t options) {
    if (length < 0) fatalError("UnPackLZX: bad stream length");
    StreamSource in(stream, length);
    unpackEntries(in, target, list, capacity, force, languages, productVersions, options);
    return 0;
}
