// Path names and directories. Separators are backslashes (and a drive colon);
// PathMakeDirs also accepts forward slashes.
#include <cstring>

#include "fileio/fileio.h"
#include "fileio/sys.h"

int FileExists(const char* path) {
    return sys::exists(path) ? 1 : 0;
}

PathKind PathKindOf(const char* path) {
    return sys::kind(path);
}

int FileSame(const char* a, const char* b) {
    return sys::sameFile(a, b) ? 1 : 0;
}

int FileDelete(FileRec& f) {
    if (FileExists(f.name) && !sys::remove(f.name)) FileError(f, kErrDelete);
    return 1;
}

void PathStripExt(char* name) {
    for (size_t i = std::strlen(name); i-- > 0;) {
        if (name[i] == '\\') return;
        if (name[i] == '.') {
            name[i] = 0;
            return;
        }
    }
}

void PathSplit(const char* path, char* dir, char* name, char* ext) {
    size_t len = std::strlen(path);
    size_t split = 0;
    for (size_t i = 0; i < len; ++i) {
        if (path[i] == '\\' || path[i] == ':') split = i + 1;
    }
    if (name) {
        std::memcpy(name, path + split, len - split + 1);
        PathStripExt(name);
    }
    if (ext) {
        ext[0] = 0;
        for (size_t i = len; i-- > 0;) {
            if (path[i] == '\\') break;
            if (path[i] == '.') {
                std::memcpy(ext, path + i + 1, len - i);
                break;
            }
        }
    }
    if (dir) {
        std::memcpy(dir, path, split);
        dir[split] = 0;
    }
}

int PathMakeDirs(const char* path) {
    char copy[kFileNameMax];
    // A longer path is made not at all: its cut would be another name.
    size_t len = strnlen(path, kFileNameMax);
    if (len >= kFileNameMax) return 0;
    std::memcpy(copy, path, len);
    copy[len] = 0;
    // Each counted separator ends one prefix; a root separator (after a drive
    // colon) ends none. The whole path is the last prefix.
    for (size_t i = 0; i <= len; ++i) {
        bool sep = i < len && (copy[i] == '\\' || copy[i] == '/') && !sys::isRootSeparator(copy, i);
        if (!sep && i < len) continue;
        char saved = copy[i];
        copy[i] = 0;
        if (!FileExists(copy) && !sys::makeDir(copy)) return 0;
        copy[i] = saved;
        if (i == len) break;
    }
    return 1;
}
