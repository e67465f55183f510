// Fatal-error reporting and tracked memory blocks, shared by every module.
//
// Nothing here returns a failure: fatalError shows its message in a box
// captioned "Einde programma", closes every open file and ends the process
// with exit code 2 (1 when the box could not be shown).
#pragma once

#include <cstdint>

// Messages are built in a 200-byte buffer; longer texts are cut at 199 characters.
constexpr int kFatalMessageMax = 199;
// Slots of the tracked-memory table.
constexpr int kTrackedSlots = 200;

// Source module names used by internalError.
inline constexpr const char* kSrcUpdater = "UPDATER";
inline constexpr const char* kSrcFileio = "FILEIO";
inline constexpr const char* kSrcLzx = "LZX";

[[noreturn]] void fatalError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Negative code: "Internal error\nFile: %s\nLine: %d"; otherwise
// "Internal error [%d] in [%s,%d]".
[[noreturn]] void internalError(const char* source, int line, int code);

// Returns a locked block of at least `size` bytes, not zeroed (0 -> 2, odd -> even).
void* allocTracked(int32_t size);
// Releases a block from allocTracked; unknown addresses are ignored.
void freeTracked(void* address);

// Number of tracked blocks alive, for tests and leak checks.
int trackedCount();
