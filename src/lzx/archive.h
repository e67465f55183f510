// Archive operations beyond the public UnPackLZX/PackLZX pair: the in-place
// scrambling that unpacking applies, and an optional progress report that
// command-line tools hook into for long runs.
#pragma once

#include <cstdint>

// Longest target or source path an archive operation builds, and the limits
// of the list file's lines (longer lines are refused).
constexpr int kArchivePathMax = 255;
constexpr int kListLineMax = 255;
constexpr int kStoredNameMax = 127;
constexpr int kListOptionsMax = 47;

// XORs the file at path in place with the scrambling key sequence; applying
// it twice restores the file. Files of 4 bytes or fewer stay unchanged.
void ScrambleFile(const char* path);

// Called during UnPackLZX and PackLZX after each piece of file data: bytes of
// the stream done so far, and the stream's whole length (0 when not known
// yet, as while packing). Null switches the report off. The hook belongs to
// the calling thread.
using ArchiveProgressFn = void (*)(int64_t done, int64_t total);
void ArchiveSetProgress(ArchiveProgressFn fn);
void ArchiveReportProgress(int64_t done, int64_t total);
