// Win32 file calls.
#include <windows.h>

#include "fileio/sys.h"

namespace sys {
namespace {
HANDLE native(FileHandle h) {
    return reinterpret_cast<HANDLE>(h);
}
}  // namespace

FileHandle open(const char* name, OpenKind kind) {
    DWORD access = GENERIC_READ, share = FILE_SHARE_READ, creation = OPEN_EXISTING;
    switch (kind) {
        case OpenKind::Read:
            break;
        case OpenKind::Create:
            access = GENERIC_WRITE;
            share = 0;
            creation = CREATE_ALWAYS;
            break;
        case OpenKind::Update:
            access = GENERIC_READ | GENERIC_WRITE;
            share = 0;
            creation = OPEN_ALWAYS;
            break;
    }
    HANDLE h = CreateFileA(name, access, share, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE || h == nullptr) return 0;
    // Pipes and devices (CON, NUL, COM1, ...) are no files to read or write.
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        return 0;
    }
    return reinterpret_cast<FileHandle>(h);
}

FileHandle createNew(const char* name, const char*, bool readBack) {
    // CREATE_NEW fails on any existing name, a link included.
    DWORD access = readBack ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE;
    HANDLE h = CreateFileA(name, access, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE || h == nullptr) return 0;
    return reinterpret_cast<FileHandle>(h);
}

bool rename(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool flush(FileHandle h) {
    return FlushFileBuffers(native(h)) != 0;
}

bool flushPending(FileHandle h, const char*) {
    return FlushFileBuffers(native(h)) != 0;
}

bool syncVolume(const char*) {
    return true;  // each file was flushed by flushPending
}

uint32_t processId() {
    return GetCurrentProcessId();
}

void close(FileHandle h) {
    CloseHandle(native(h));
}

int64_t read(FileHandle h, void* buffer, uint32_t bytes) {
    DWORD done = 0;
    if (!ReadFile(native(h), buffer, bytes, &done, nullptr)) return -1;
    return done;
}

int64_t readAt(FileHandle h, void* buffer, uint32_t bytes, int64_t offset) {
    if (offset < 0) return -1;
    // On a handle opened for synchronous use this reads at the offset given
    // and moves the handle's position.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    DWORD done = 0;
    if (!ReadFile(native(h), buffer, bytes, &done, &at)) {
        return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    }
    return done;
}

int64_t write(FileHandle h, const void* buffer, uint32_t bytes) {
    DWORD done = 0;
    if (!WriteFile(native(h), buffer, bytes, &done, nullptr)) return -1;
    return done;
}

int64_t seek(FileHandle h, int32_t distance, int origin) {
    DWORD pos = SetFilePointer(native(h), distance, nullptr, static_cast<DWORD>(origin));
    if (pos == INVALID_SET_FILE_POINTER) return -1;
    return pos;
}

int64_t size(FileHandle h) {
    DWORD n = GetFileSize(native(h), nullptr);
    if (n == INVALID_FILE_SIZE) return -1;
    return n;
}

bool writable(const char* name) {
    DWORD attr = GetFileAttributesA(name);
    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_READONLY);
}

bool exists(const char* name) {
    return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES;
}

PathKind kind(const char* name) {
    DWORD attr = GetFileAttributesA(name);
    if (attr == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
    if (attr & FILE_ATTRIBUTE_REPARSE_POINT) return PathKind::Link;  // symlinks and junctions
    if (attr & FILE_ATTRIBUTE_DIRECTORY) return PathKind::Directory;
    if (attr & FILE_ATTRIBUTE_DEVICE) return PathKind::Other;
    return PathKind::File;
}

namespace {
bool fileId(const char* name, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE h = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return ok;
}
}  // namespace

bool sameFile(const char* a, const char* b) {
    BY_HANDLE_FILE_INFORMATION ia, ib;
    return fileId(a, ia) && fileId(b, ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

bool remove(const char* name) {
    return DeleteFileA(name) != 0;
}

bool makeDir(const char* name) {
    return CreateDirectoryA(name, nullptr) != 0;
}

bool makePrivateDir(const char* name) {
    return CreateDirectoryA(name, nullptr) != 0;
}

bool removeDir(const char* name) {
    return RemoveDirectoryA(name) != 0;
}

bool isDir(const char* name) {
    DWORD attr = GetFileAttributesA(name);
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attr & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool listDir(const char* dir, std::vector<std::string>& names) {
    std::string pattern = dir;
    if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(pattern.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        std::string name = data.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(h, &data));
    FindClose(h);
    return true;
}

bool processAlive(uint32_t pid) {
    if (pid == 0) return false;
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (h == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
    bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    CloseHandle(h);
    return running;
}

bool isRootSeparator(const char* path, size_t i) {
    return i > 0 && path[i - 1] == ':';
}

}  // namespace sys
