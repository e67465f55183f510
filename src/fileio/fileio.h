// File layer: file records counted in fixed-size records, the process-wide
// open-file stack, and path and directory operations.
//
// No operation returns a failure: every failure ends the process through
// FileError (or internalError for a broken open-file stack). Paths are written
// with backslashes, as on Windows; the POSIX platform layer turns them into
// slashes when it calls the system.
#pragma once

#include <cstdint>

// System file handle; 0 means closed. On POSIX it holds descriptor + 1.
using FileHandle = intptr_t;

constexpr int kFileNameMax = 260;  // including the NUL
constexpr int kFileStackSize = 30;

struct FileRec {
    FileHandle handle;
    int32_t recSize;
    char name[kFileNameMax];
};

// File layer error codes.
enum FileErrorCode : int {
    kErrRead = 201,
    kErrDelete = 203,
    kErrWrite = 205,
    kErrNotWritable = 206,
    kErrSeek = 207,
    kErrSize = 208,
    kErrOpenRead = 209,
    kErrCreate = 211,
    kErrOpenUpdate = 212,
    kErrReplace = 214,
    kErrOrigin = 432,
};

// A name of kFileNameMax or more characters is refused (fatal), never cut.
void FileInit(FileRec& f, int32_t recSize, const char* name);
void FileOpenRead(FileRec& f);
void FileCreate(FileRec& f);
void FileOpenUpdate(FileRec& f);
void FileClose(FileRec& f);
int32_t FileRead(FileRec& f, int32_t count, void* buffer);
// Reads up to `count` records at byte `offset`; the records read, or -1 on
// failure. It never ends the process and needs no seek, so several threads
// may read one open file at once; the file's position afterwards is
// unspecified (seek before the next FileRead).
int32_t FileReadAt(const FileRec& f, int64_t offset, int32_t count, void* buffer);
int32_t FileWrite(FileRec& f, int32_t count, const void* buffer);
void FileSeek(FileRec& f, int32_t offset, int32_t origin);
int32_t FileTell(FileRec& f);
int32_t FileSize(FileRec& f);
int FileReadLine(FileRec& f, char* buffer, int32_t maximum);
int FileIsClosed(const FileRec& f);

// Writing a file without ever exposing a half-written one: FileCreateBeside
// opens a new file under a private name in the target's directory (f.name,
// kTempPrefix + process id + counter + ".tmp"); FileCommit closes it and
// renames it over the target in one step, so a link at the target is
// replaced, never written through; FileDiscard closes and removes it. A
// temporary that is still open when the process ends fatally is removed.
inline constexpr const char kTempPrefix[] = "~vorn";
// A target that is a directory or another non-regular file is refused before
// anything is made. `readBack` opens the new file for reading as well.
void FileCreateBeside(FileRec& f, int32_t recSize, const char* target, bool readBack = false);
void FileCommit(FileRec& f, const char* target);
// Returns 1 when the file was open and is removed now, else 0.
int FileDiscard(FileRec& f);
// Flushes a file's data to the disk (before a commit that must survive a crash).
void FileSync(FileRec& f);

// Leftovers of runs that were killed: removes from `dir` the file layer's
// private names ("~vorn<pid>-<n>.tmp", ".old", and ".dir" directories with
// the files in them) whose process no longer runs. Names of live processes
// and every other name stay.
void FileRemoveStale(const char* dir);
// Makes a new directory under a private name ("~vorn<pid>-<n>.dir", only
// the owner may enter) in `parent` and stores its name, with a trailing
// separator, in `dir` (kFileNameMax bytes). 0 when none can be made.
int PathMakePrivateDir(const char* parent, char* dir);
// Removes an empty directory; 1 when it is gone.
int PathRemoveDir(const char* path);

// Transactions: several files replaced as one. Between FileTransactionBegin
// and FileTransactionApply, FileCommit keeps each new file under its
// private name and only notes the rename, FileDelete notes a removal and
// PathMakeDirs notes the directories it makes, all in a journal in `dir`.
// FileTransactionApply marks the journal (from here on the change counts as
// made) and does the renames, keeping every replaced or removed file under
// a private name; FileTransactionFinish removes those and the journal. A
// fatal end before Finish puts everything back as it was. After a crash,
// FileTransactionRecover finds the journal: before the mark it undoes the
// change and returns 0; after it, it does the rest of the renames and
// returns 1 (then Finish as after Apply); -1 when there was none.
inline constexpr const char kJournalName[] = "~vorn-install.jnl";
void FileTransactionBegin(const char* dir);
void FileTransactionApply();
void FileTransactionFinish();
int FileTransactionRecover(const char* dir);

int FileStackClear();
int FileStackReport();
void FileCloseAll();
// Number of occupied open-file stack entries (for tests and tools).
int FileStackCount();
// For a caller that survives a failure (a library call under FatalThrowScope):
// take a mark before the work; after a failure, FileCloseSince closes every
// file that this thread opened since the mark and is still open, removing
// temporaries, as FileCloseAll does for the whole process. The owners'
// FileRecs are not touched.
uint64_t FileStackMark();
void FileCloseSince(uint64_t mark);

[[noreturn]] void FileError(const FileRec& f, int code);

// Paths and directories.
int FileExists(const char* path);
// What stands at a path; a link in its last component is reported as a link.
enum class PathKind { Missing, File, Directory, Link, Other };
PathKind PathKindOf(const char* path);
// 1 when both paths lead, through any links, to the same existing file
// (hard links included), else 0.
int FileSame(const char* a, const char* b);
int FileDelete(FileRec& f);
void PathSplit(const char* path, char* dir, char* name, char* ext);
void PathStripExt(char* name);
int PathMakeDirs(const char* path);
