// The file layer's system calls, one implementation per platform
// (sys_posix.cpp, sys_win32.cpp). Names are in backslash form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fileio/fileio.h"

namespace sys {

enum class OpenKind {
    Read,    // existing file; shared with other readers, not writers
    Create,  // create or truncate; write only; exclusive
    Update,  // read/write, created when missing, contents kept; exclusive
};

// 0 on failure; anything but a regular file (a directory, FIFO, device) is
// refused without waiting for it.
FileHandle open(const char* name, OpenKind kind);  // 0 on failure
void close(FileHandle h);
int64_t read(FileHandle h, void* buffer, uint32_t bytes);         // -1 on failure
int64_t write(FileHandle h, const void* buffer, uint32_t bytes);  // -1 on failure
// Reads at `offset`, whatever the handle's position, so that several threads
// may read one handle at once; the position afterwards is unspecified
// (Windows moves it). -1 on failure (a negative offset too).
int64_t readAt(FileHandle h, void* buffer, uint32_t bytes, int64_t offset);
// Moves by a signed 32-bit distance; returns the new position or -1.
int64_t seek(FileHandle h, int32_t distance, int origin);
int64_t size(FileHandle h);  // -1 on failure
// A new file that did not exist before, for writing (and reading when
// `readBack`); exclusive, never through a link. The mode bits of `modeFrom`
// are copied when it is a regular file. 0 on failure (among others: the name
// exists).
FileHandle createNew(const char* name, const char* modeFrom, bool readBack);
// Renames `from` over `to` in one step; a link at `to` is replaced itself.
bool rename(const char* from, const char* to);
bool flush(FileHandle h);
// Before the file `name`, open as `h`, waits for a transaction's switch
// point: where the system has no cheaper way (syncVolume), its data goes to
// the disk now; elsewhere its writing may start in the background.
bool flushPending(FileHandle h, const char* name);
// Everything written to the volume of `dir` goes to the disk, at once.
bool syncVolume(const char* dir);
uint32_t processId();
bool writable(const char* name);
bool exists(const char* name);
// What stands at `name`; a link in its last component is not followed.
PathKind kind(const char* name);
// True when both names lead, through any links, to one and the same file.
bool sameFile(const char* a, const char* b);
bool remove(const char* name);
bool makeDir(const char* name);
// A directory only its owner can enter (mode 0700 on POSIX; on Windows the
// user's temporary directory is private already). False when it exists.
bool makePrivateDir(const char* name);
bool removeDir(const char* name);
// A directory itself, not a link to one.
bool isDir(const char* name);
// The names in a directory, "." and ".." left out. False when it cannot be read.
bool listDir(const char* dir, std::vector<std::string>& names);
// False only when no process of that id exists any more.
bool processAlive(uint32_t pid);
// True when the separator at path[i] is a root (it ends no directory
// prefix): after a drive colon everywhere, and a leading '/' on POSIX.
bool isRootSeparator(const char* path, size_t i);

}  // namespace sys
