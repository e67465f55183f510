// Transactions: many files replaced as one, with a journal in the directory
// being changed, so that a crash at any moment is undone or completed by
// the next run.
//
// The journal is a sequence of fixed 532-byte records that is only ever
// appended to; a record cut short by a crash is ignored. While recording,
// new files wait under their private names ("~vorn<pid>-<n>.tmp") and the
// journal notes what is to happen:
//   T temp           a private file is about to be made
//   D dir            a directory is about to be made
//   C temp target    temp is to replace target
//   R name target    target is to be removed (name: where it is kept)
// Then the switch point S, after which the change counts as made. Each
// rename i (a C or R record) is announced by M i (with whether its target
// existed then) before it happens, and a replaced or removed file is kept
// under the ".old" form of the record's private name until the journal is
// finished. Undoing after the switch point first writes B; each undone
// rename gets U i. Every step can be repeated after a crash in it, so
// recovery simply runs the same steps again: undo before S or after B,
// otherwise complete.
#include "fileio/journal.h"

#include <cstring>
#include <string>
#include <vector>

#include "base/error.h"
#include "fileio/fileio.h"
#include "fileio/sys.h"

namespace {

constexpr uint32_t kMagic = 0x314A5256;  // "VRJ1"

struct Record {
    uint32_t magic;
    char kind;
    uint8_t existed;
    uint16_t reserved;
    int32_t index;
    char a[kFileNameMax];
    char b[kFileNameMax];
};
static_assert(sizeof(Record) == 532, "journal records are 532 bytes");

enum class State { Idle, Recording, Applying };

State gState = State::Idle;
std::string gDir;
std::string gPath;
FileHandle gHandle = 0;
std::vector<Record> gRecords;
bool gAborting = false;  // inside the fatal end: nothing may end the process again
uint32_t gCounter = 0;

void fail(const char* name, int code) {
    FileRec f;
    FileInit(f, 1, name);
    FileError(f, code);
}

void append(char kind, const char* a = "", const char* b = "", int32_t index = -1,
            bool existed = false) {
    Record r{};
    r.magic = kMagic;
    r.kind = kind;
    r.existed = existed ? 1 : 0;
    r.index = index;
    std::strncpy(r.a, a, sizeof r.a - 1);
    std::strncpy(r.b, b, sizeof r.b - 1);
    gRecords.push_back(r);
    if (sys::write(gHandle, &r, sizeof r) != static_cast<int64_t>(sizeof r) && !gAborting) {
        fail(gPath.c_str(), kErrWrite);
    }
}

bool has(char kind, int32_t index = -1, const Record** found = nullptr) {
    for (const Record& r : gRecords) {
        if (r.kind == kind && r.index == index) {
            if (found) *found = &r;
            return true;
        }
    }
    return false;
}

// Where rename i keeps the file it replaces or removes.
std::string backupOf(const Record& r) {
    std::string name = r.a;
    return name.substr(0, name.size() - 4) + ".old";
}

bool exists(const std::string& name) {
    return sys::exists(name.c_str());
}

// Does rename i, or what is left of it.
void forward(int32_t i) {
    const Record r = gRecords[static_cast<size_t>(i)];
    const Record* mark = nullptr;
    bool existed;
    if (has('M', i, &mark)) {
        existed = mark->existed != 0;
    } else {
        existed = exists(r.b);
        append('M', "", "", i, existed);
    }
    std::string backup = backupOf(r);
    bool pending = r.kind == 'R' || exists(r.a);
    if (existed && pending && exists(r.b) && !exists(backup)) {
        if (!sys::rename(r.b, backup.c_str())) fail(r.b, kErrReplace);
    }
    if (r.kind == 'C' && exists(r.a) && !sys::rename(r.a, r.b)) fail(r.b, kErrReplace);
}

// Undoes rename i; never ends the process, as it runs inside a fatal end.
void undo(int32_t i) {
    const Record& r = gRecords[static_cast<size_t>(i)];
    const Record* mark = nullptr;
    if (!has('M', i, &mark)) {
        if (r.kind == 'C') sys::remove(r.a);
        return;
    }
    std::string backup = backupOf(r);
    if (mark->existed) {
        if (exists(backup)) sys::rename(backup.c_str(), r.b);
        if (r.kind == 'C') sys::remove(r.a);
    } else if (r.kind == 'C') {
        // Not moved yet: only the private file goes; moved: the new file.
        if (exists(r.a)) {
            sys::remove(r.a);
        } else {
            sys::remove(r.b);
        }
    }
}

void close() {
    if (gHandle != 0) sys::close(gHandle);
    gHandle = 0;
    sys::remove(gPath.c_str());
    gRecords.clear();
    gState = State::Idle;
}

void rollback() {
    if (has('S') && !has('B')) append('B');
    for (int32_t i = static_cast<int32_t>(gRecords.size()) - 1; i >= 0; --i) {
        char kind = gRecords[static_cast<size_t>(i)].kind;
        if ((kind == 'C' || kind == 'R') && !has('U', i)) {
            undo(i);
            append('U', "", "", i);
        }
    }
    for (const Record& r : gRecords)
        if (r.kind == 'T') sys::remove(r.a);
    for (size_t i = gRecords.size(); i-- > 0;)
        if (gRecords[i].kind == 'D') sys::removeDir(gRecords[i].a);
    close();
}

void abortOnFatalEnd() {
    if (gState == State::Idle) return;
    gAborting = true;
    rollback();
    gAborting = false;
}

void forwardAll() {
    gState = State::Applying;
    int32_t n = static_cast<int32_t>(gRecords.size());
    for (int32_t i = 0; i < n; ++i) {
        char kind = gRecords[static_cast<size_t>(i)].kind;
        if (kind == 'C' || kind == 'R') forward(i);
    }
}

void start(const char* dir) {
    if (gState != State::Idle) internalError(kSrcFileio, 600, 1);
    gDir = dir;
    gPath = gDir + "\\" + kJournalName;
    gRecords.clear();
    addFatalCleanup(abortOnFatalEnd);
}

// A name the journal may touch: inside the journal's directory, and for a
// private file a private name. A damaged or planted journal touches nothing else.
bool inside(const char* name, bool isPrivate) {
    if (std::memchr(name, 0, kFileNameMax) == nullptr) return false;
    size_t n = gDir.size();
    if (std::strncmp(name, gDir.c_str(), n) != 0 || (name[n] != '\\' && name[n] != '/')) {
        return false;
    }
    if (!isPrivate) return true;
    const char* base = name + n + 1;
    for (const char* p = base; *p; ++p)
        if (*p == '\\' || *p == '/') base = p + 1;
    size_t len = std::strlen(base);
    return std::strncmp(base, kTempPrefix, std::strlen(kTempPrefix)) == 0 && len > 4 &&
           std::strcmp(base + len - 4, ".tmp") == 0;
}

bool valid(const Record& r) {
    if (r.magic != kMagic) return false;
    int32_t n = static_cast<int32_t>(gRecords.size());
    bool known = r.index >= 0 && r.index < n &&
                 (gRecords[static_cast<size_t>(r.index)].kind == 'C' ||
                  gRecords[static_cast<size_t>(r.index)].kind == 'R');
    switch (r.kind) {
        case 'T':
            return inside(r.a, true);
        case 'D':
            return inside(r.a, false);
        case 'C':
        case 'R':
            return inside(r.a, true) && inside(r.b, false);
        case 'M':
        case 'U':
            return known;
        case 'S':
        case 'B':
            return true;
        default:
            return false;
    }
}

}  // namespace

namespace journal {

bool recording(const char* name) {
    return gState == State::Recording && inside(name, false);
}

void noteTemp(const char* temp) {
    append('T', temp);
}

void noteCommit(const char* temp, const char* target) {
    append('C', temp, target);
}

void noteRemove(const char* target) {
    if (sys::isDir(target)) fail(target, kErrDelete);
    // The name it is kept under while the change may still be undone.
    std::string name = target;
    size_t cut = name.find_last_of("\\/:");
    name = name.substr(0, cut == std::string::npos ? 0 : cut + 1) + kTempPrefix +
           std::to_string(sys::processId()) + "-j" + std::to_string(++gCounter) + ".tmp";
    append('R', name.c_str(), target);
}

void noteDir(const char* dir) {
    append('D', dir);
}

}  // namespace journal

void FileTransactionBegin(const char* dir) {
    start(dir);
    gHandle = sys::createNew(gPath.c_str(), nullptr, false);
    if (gHandle == 0) fail(gPath.c_str(), kErrCreate);
    gState = State::Recording;
}

void FileTransactionApply() {
    // The new files are on the disk before the mark that makes them count.
    if (!sys::syncVolume(gDir.c_str())) fail(gDir.c_str(), kErrWrite);
    append('S');
    if (!sys::flush(gHandle)) fail(gPath.c_str(), kErrWrite);
    forwardAll();
}

void FileTransactionFinish() {
    for (const Record& r : gRecords) {
        if (r.kind == 'M' && r.existed) {
            std::string backup = backupOf(gRecords[static_cast<size_t>(r.index)]);
            sys::remove(backup.c_str());
        }
    }
    close();
}

int FileTransactionRecover(const char* dir) {
    std::string path = std::string(dir) + "\\" + kJournalName;
    if (!sys::exists(path.c_str())) return -1;
    start(dir);
    gHandle = sys::open(gPath.c_str(), sys::OpenKind::Update);
    if (gHandle == 0) fail(gPath.c_str(), kErrOpenUpdate);
    Record r;
    while (sys::read(gHandle, &r, sizeof r) == static_cast<int64_t>(sizeof r) && valid(r)) {
        gRecords.push_back(r);
    }
    // New records go after the last whole one, over a torn or damaged rest.
    int32_t end = static_cast<int32_t>(gRecords.size() * sizeof(Record));
    if (sys::seek(gHandle, end, 0) < 0) fail(gPath.c_str(), kErrSeek);
    gState = State::Applying;
    if (!has('S') || has('B')) {
        rollback();
        return 0;
    }
    forwardAll();
    return 1;
}
