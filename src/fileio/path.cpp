// Path names and directories. Separators are backslashes (and a drive colon);
// PathMakeDirs also accepts forward slashes.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fileio/fileio.h"
#include "fileio/journal.h"
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
    // In a transaction the removal waits, like every other change; it
    // also removes a file that is only about to be put in place.
    if (journal::recording(f.name)) {
        journal::noteRemove(f.name);
        return 1;
    }
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
        if (!FileExists(copy)) {
            if (journal::recording(copy)) journal::noteDir(copy);
            if (!sys::makeDir(copy)) return 0;
        }
        copy[i] = saved;
        if (i == len) break;
    }
    return 1;
}

int PathRemoveDir(const char* path) {
    return sys::removeDir(path) || !sys::exists(path) ? 1 : 0;
}

namespace {

// The process id in a private name "~vorn<pid>-<n>.<ext>", or 0 when the
// name is no private name of the file layer.
uint32_t privateOwner(const std::string& name, bool& isDir) {
    size_t prefix = std::strlen(kTempPrefix);
    if (name.compare(0, prefix, kTempPrefix) != 0) return 0;
    uint64_t pid = 0;
    size_t i = prefix;
    while (i < name.size() && name[i] >= '0' && name[i] <= '9' && pid < 0xFFFFFFFFu)
        pid = pid * 10 + static_cast<uint64_t>(name[i++] - '0');
    if (i == prefix || i >= name.size() || name[i] != '-' || pid > 0xFFFFFFFFu) return 0;
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot < i) return 0;
    std::string ext = name.substr(dot);
    isDir = ext == ".dir";
    return ext == ".tmp" || ext == ".old" || isDir ? static_cast<uint32_t>(pid) : 0;
}

// A POSIX caller's slash paths stay slash paths.
char separatorOf(const char* path) {
    return std::strchr(path, '/') ? '/' : '\\';
}

std::string joinPath(const char* dir, const std::string& name) {
    std::string path = dir;
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path += separatorOf(dir);
    return path + name;
}

}  // namespace

void FileRemoveStale(const char* dir) {
    std::vector<std::string> names;
    if (!sys::listDir(dir, names)) return;
    for (const std::string& name : names) {
        bool isDir = false;
        uint32_t pid = privateOwner(name, isDir);
        if (pid == 0 || pid == sys::processId() || sys::processAlive(pid)) continue;
        std::string path = joinPath(dir, name);
        if (isDir && sys::isDir(path.c_str())) {
            // Our private directories hold only plain files of ours.
            std::vector<std::string> inside;
            if (!sys::listDir(path.c_str(), inside)) continue;
            for (const std::string& f : inside) sys::remove(joinPath(path.c_str(), f).c_str());
            sys::removeDir(path.c_str());
        } else if (!isDir) {
            sys::remove(path.c_str());
        }
    }
}

int PathMakePrivateDir(const char* parent, char* dir) {
    static uint32_t counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = joinPath(parent, kTempPrefix + std::to_string(sys::processId()) + "-" +
                                                std::to_string(++counter) + ".dir");
        if (name.size() + 1 >= static_cast<size_t>(kFileNameMax)) return 0;
        if (sys::makePrivateDir(name.c_str())) {
            std::snprintf(dir, kFileNameMax, "%s%c", name.c_str(), separatorOf(parent));
            return 1;
        }
        if (!sys::exists(name.c_str())) return 0;
    }
    return 0;
}
