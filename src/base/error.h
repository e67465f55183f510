// The ground floor: fatal-error reporting and tracked memory blocks, shared by
// every module and knowing none of them.
//
// fatalError formats its message (cut at 199 characters), hands it to the
// reporter the program plugged in (the installer shows a box captioned
// "Einde programma", the lzx tool writes to stderr; by default it goes to
// stderr), runs the cleanup hooks (the file layer closes its open files) and
// ends the process with exit code 2 (1 when the report could not be shown).
// A thread that holds a FatalThrowScope gets a FatalError exception instead,
// so a library caller can survive a damaged file.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

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

// Shows a fatal message; returns 1 when it was shown, 0 when it could not be.
using FatalReporter = int (*)(const char* message);
// nullptr restores the default (stderr). Returns the previous reporter.
FatalReporter setFatalReporter(FatalReporter reporter);
// A hook run before a fatal end of the process; each hook is added once.
void addFatalCleanup(void (*hook)());

// What a thread holding a FatalThrowScope gets instead of the end of the process.
class FatalError : public std::runtime_error {
  public:
    explicit FatalError(const std::string& message) : std::runtime_error(message) {}
};

// While at least one lives on a thread, fatalError on that thread throws.
class FatalThrowScope {
  public:
    FatalThrowScope();
    ~FatalThrowScope();
    FatalThrowScope(const FatalThrowScope&) = delete;
    FatalThrowScope& operator=(const FatalThrowScope&) = delete;
};
bool fatalThrows();

// Returns a locked block of at least `size` bytes, not zeroed (0 -> 2, odd -> even).
void* allocTracked(int32_t size);
// Releases a block from allocTracked; unknown addresses are ignored.
void freeTracked(void* address);

// Number of tracked blocks alive, for tests and leak checks.
int trackedCount();
