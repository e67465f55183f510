// File records, the open-file stack and the file error report.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "base/diag.h"
#include "base/error.h"
#include "fileio/fileio.h"
#include "fileio/journal.h"
#include "fileio/sys.h"

namespace {

struct StackEntry {
    FileHandle handle;  // 0 = free
    bool temporary;     // a FileCreateBeside file: removed when closed by FileCloseAll
    uint32_t creator;   // the process that made the temporary; a forked child leaves it alone
    char name[kFileNameMax];
    // Who opened it and when, so a library call that fails can close what it
    // opened itself and nothing of another thread's.
    std::thread::id owner;
    uint64_t serial;
};

// Library callers may open files on several threads. The lock is never held
// across fatalError: the fatal end's cleanup (FileCloseAll) takes it again.
std::mutex gStackLock;
StackEntry gStack[kFileStackSize];
uint64_t gSerial = 0;  // under gStackLock

void closeEntry(StackEntry& e) {
    sys::close(e.handle);
    if (e.temporary && e.creator == sys::processId()) sys::remove(e.name);
    e.handle = 0;
    e.name[0] = 0;
}

void copyName(char* dst, const char* src) {
    size_t n = strnlen(src, kFileNameMax - 1);
    std::memcpy(dst, src, n);
    dst[n] = 0;
}

void FileStackPush(const FileRec& f, bool temporary = false) {
    // A fatal end closes every file that is still open.
    static const bool hooked = (addFatalCleanup(FileCloseAll), true);
    (void)hooked;
    int line = 131;
    {
        std::lock_guard<std::mutex> lock(gStackLock);
        for (StackEntry& e : gStack) {
            if (e.handle == 0) {
                e.handle = f.handle;
                e.temporary = temporary;
                e.creator = sys::processId();
                copyName(e.name, f.name);
                e.owner = std::this_thread::get_id();
                e.serial = gSerial++;
                return;
            }
            if (e.handle == f.handle) {
                line = 128;
                break;
            }
        }
    }
    internalError(kSrcFileio, line, line == 128 ? 95 : 94);
}

// Frees the entry of a record's handle; false when no entry holds it.
bool FileStackPop(const FileRec& f) {
    std::lock_guard<std::mutex> lock(gStackLock);
    for (StackEntry& e : gStack) {
        if (e.handle == f.handle) {
            e.handle = 0;
            e.name[0] = 0;
            return true;
        }
    }
    return false;
}

// After a writing open: a file that is not writable is an error, except for
// printer device names (base name "prn..."), which never look writable.
void checkWritable(const FileRec& f) {
    if (sys::writable(f.name)) return;
    const char* base = std::strrchr(f.name, '\\');
    base = base ? base + 1 : f.name;
    bool printer = true;
    for (int i = 0; i < 3; ++i) printer = printer && (base[i] | 0x20) == "prn"[i];
    if (!printer) FileError(f, kErrNotWritable);
}

void openWith(FileRec& f, sys::OpenKind kind, int code) {
    FileHandle h = sys::open(f.name, kind);
    if (h == 0) FileError(f, code);
    f.handle = h;
    FileStackPush(f);
    if (kind != sys::OpenKind::Read) checkWritable(f);
}

}  // namespace

void FileInit(FileRec& f, int32_t recSize, const char* name) {
    std::memset(&f, 0, sizeof f);
    f.recSize = recSize;
    if (name == nullptr) return;
    size_t length = std::strlen(name);
    if (length >= kFileNameMax) {
        fatalError("File name too long (%d characters, at most %d) [%.60s...]",
                   static_cast<int>(length), kFileNameMax - 1, name);
    }
    std::memcpy(f.name, name, length + 1);
}

void FileOpenRead(FileRec& f) {
    openWith(f, sys::OpenKind::Read, kErrOpenRead);
}
void FileCreate(FileRec& f) {
    openWith(f, sys::OpenKind::Create, kErrCreate);
}
void FileOpenUpdate(FileRec& f) {
    openWith(f, sys::OpenKind::Update, kErrOpenUpdate);
}

void FileClose(FileRec& f) {
    if (f.handle == 0) return;
    // Off the stack before the handle is closed: once closed, another thread
    // may be given the same handle and push it.
    bool stacked = FileStackPop(f);
    sys::close(f.handle);
    if (!stacked) fatalError("Illegal unstack [%s]", f.name);
    f.handle = 0;
}

int32_t FileRead(FileRec& f, int32_t count, void* buffer) {
    uint32_t bytes = static_cast<uint32_t>(count) * static_cast<uint32_t>(f.recSize);
    int64_t n = sys::read(f.handle, buffer, bytes);
    if (n < 0) FileError(f, kErrRead);
    return static_cast<int32_t>(static_cast<uint32_t>(n) / static_cast<uint32_t>(f.recSize));
}

int32_t FileReadAt(const FileRec& f, int64_t offset, int32_t count, void* buffer) {
    uint32_t bytes = static_cast<uint32_t>(count) * static_cast<uint32_t>(f.recSize);
    int64_t n = sys::readAt(f.handle, buffer, bytes, offset);
    if (n < 0) return -1;
    return static_cast<int32_t>(static_cast<uint32_t>(n) / static_cast<uint32_t>(f.recSize));
}

int32_t FileWrite(FileRec& f, int32_t count, const void* buffer) {
    uint32_t bytes = static_cast<uint32_t>(count) * static_cast<uint32_t>(f.recSize);
    int64_t n = sys::write(f.handle, buffer, bytes);
    if (n < 0 || static_cast<uint64_t>(n) < bytes) FileError(f, kErrWrite);
    return count;
}

void FileSeek(FileRec& f, int32_t offset, int32_t origin) {
    if (origin < 0 || origin > 2) FileError(f, kErrOrigin);
    int32_t distance =
        static_cast<int32_t>(static_cast<uint32_t>(offset) * static_cast<uint32_t>(f.recSize));
    if (sys::seek(f.handle, distance, origin) < 0) FileError(f, kErrSeek);
}

int32_t FileTell(FileRec& f) {
    int64_t pos = sys::seek(f.handle, 0, 1);
    if (pos < 0) FileError(f, kErrSeek);
    return static_cast<int32_t>(static_cast<uint32_t>(pos) / static_cast<uint32_t>(f.recSize));
}

int32_t FileSize(FileRec& f) {
    bool wasClosed = f.handle == 0;
    if (wasClosed) FileOpenRead(f);
    int64_t size = sys::size(f.handle);
    if (size < 0) FileError(f, kErrSize);
    if (wasClosed) FileClose(f);
    return static_cast<int32_t>(size) / f.recSize;
}

int FileReadLine(FileRec& f, char* buffer, int32_t maximum) {
    if (buffer) std::memset(buffer, 0, static_cast<size_t>(maximum));
    int32_t count = 0;
    int result = 0;
    for (;;) {
        char c = 0;
        int32_t got = FileRead(f, 1, &c);
        bool lineEnd = c == '\r' || c == '\n';
        if (got == 1 && !lineEnd) {
            if (buffer) buffer[count] = c;
            ++count;
            result = 1;
        }
        if (got == 0 || count >= maximum || (lineEnd && count > 0)) break;
    }
    if (buffer) buffer[count] = 0;
    return result;
}

int FileIsClosed(const FileRec& f) {
    return f.handle == 0;
}

int FileStackClear() {
    std::lock_guard<std::mutex> lock(gStackLock);
    for (StackEntry& e : gStack) e.handle = 0;
    return 0;
}

int FileStackReport() {
    char name[kFileNameMax] = "";
    {
        std::lock_guard<std::mutex> lock(gStackLock);
        for (const StackEntry& e : gStack) {
            if (e.handle != 0) {
                copyName(name, e.name);
                break;
            }
        }
    }
    if (name[0] == 0) return 0;
    diagPrint("\nFile not closed [%s]", name);
    return 1;
}

void FileCloseAll() {
    std::lock_guard<std::mutex> lock(gStackLock);
    for (StackEntry& e : gStack)
        if (e.handle != 0) closeEntry(e);
}

int FileStackCount() {
    std::lock_guard<std::mutex> lock(gStackLock);
    int n = 0;
    for (const StackEntry& e : gStack) n += e.handle != 0;
    return n;
}

uint64_t FileStackMark() {
    std::lock_guard<std::mutex> lock(gStackLock);
    return gSerial;
}

void FileCloseSince(uint64_t mark) {
    std::lock_guard<std::mutex> lock(gStackLock);
    for (StackEntry& e : gStack) {
        if (e.handle != 0 && e.serial >= mark && e.owner == std::this_thread::get_id()) {
            closeEntry(e);
        }
    }
}

void FileError(const FileRec& f, int code) {
    // The code alone does not tell why an open of a FIFO or a directory failed.
    PathKind kind = sys::kind(f.name);
    const char* note =
        kind == PathKind::Directory || kind == PathKind::Other ? " (not a regular file)" : "";
    diagPrint("\nFile Error : name = [%s] code = %d%s", f.name, code, note);
    fatalError("\nFile Error : name = [%s] code = %d%s", f.name, code, note);
}

void FileCreateBeside(FileRec& f, int32_t recSize, const char* target, bool readBack) {
    static std::atomic<uint32_t> counter{0};
    // The target's own record refuses a long name and names it in a refusal.
    FileRec t;
    FileInit(t, recSize, target);
    target = t.name;
    PathKind kind = sys::kind(target);
    if (kind == PathKind::Directory || kind == PathKind::Other) FileError(t, kErrCreate);
    // The private name lives in the target's directory, so the rename that
    // commits it never crosses a file system.
    size_t dirLength = 0;
    for (size_t i = 0; target[i]; ++i)
        if (target[i] == '\\' || target[i] == '/' || target[i] == ':') dirLength = i + 1;
    FileInit(f, recSize, nullptr);
    for (int attempt = 0; attempt < 100; ++attempt) {
        int n = std::snprintf(f.name, sizeof f.name, "%.*s%s%u-%u.tmp", static_cast<int>(dirLength),
                              target, kTempPrefix, sys::processId(), ++counter);
        if (n < 0 || n >= kFileNameMax) FileError(t, kErrCreate);
        // Noted before it exists, so an undo after a crash finds it.
        if (journal::recording(f.name)) journal::noteTemp(f.name);
        f.handle = sys::createNew(f.name, target, readBack);
        if (f.handle != 0) break;
        if (sys::exists(f.name)) continue;  // a leftover of an earlier run: take the next
        FileError(f, kErrCreate);
    }
    if (f.handle == 0) FileError(f, kErrCreate);
    FileStackPush(f, true);
}

void FileCommit(FileRec& f, const char* target) {
    char temp[kFileNameMax];
    copyName(temp, f.name);
    if (journal::recording(target)) {
        // The rename waits for the whole transaction; the data must be on
        // the disk before the journal's switch point says it counts.
        if (f.handle != 0 && !sys::flushPending(f.handle, f.name)) FileError(f, kErrWrite);
        FileClose(f);
        journal::noteCommit(temp, target);
        copyName(f.name, target);
        return;
    }
    FileClose(f);
    if (!sys::rename(temp, target)) {
        sys::remove(temp);
        FileRec t;
        FileInit(t, f.recSize, target);
        FileError(t, kErrReplace);
    }
    copyName(f.name, target);
}

int FileDiscard(FileRec& f) {
    if (f.handle == 0) return 0;
    FileClose(f);
    return sys::remove(f.name) ? 1 : 0;
}

void FileSync(FileRec& f) {
    if (!sys::flush(f.handle)) FileError(f, kErrWrite);
}
