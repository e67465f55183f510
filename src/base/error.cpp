// Fatal errors and the tracked-memory table.
#include "base/error.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "base/os.h"

namespace {

struct TrackedSlot {
    uintptr_t handle;  // 0 = free
    void* address;
    uint32_t size;
};

std::mutex gTrackedLock;
TrackedSlot gTracked[kTrackedSlots];

int reportToStderr(const char* message) {
    if (std::fprintf(stderr, "%s\n", message) < 0) return 0;
    std::fflush(stderr);
    return 1;
}

std::atomic<FatalReporter> gReporter{reportToStderr};

constexpr int kMaxCleanups = 8;
std::mutex gCleanupLock;
void (*gCleanups[kMaxCleanups])() = {};

thread_local int tThrowDepth = 0;

}  // namespace

FatalReporter setFatalReporter(FatalReporter reporter) {
    return gReporter.exchange(reporter ? reporter : reportToStderr);
}

void addFatalCleanup(void (*hook)()) {
    std::lock_guard<std::mutex> lock(gCleanupLock);
    for (auto& slot : gCleanups) {
        if (slot == hook) return;
        if (slot == nullptr) {
            slot = hook;
            return;
        }
    }
    std::abort();  // more hooks than modules: a programming fault
}

FatalThrowScope::FatalThrowScope() {
    ++tThrowDepth;
}
FatalThrowScope::~FatalThrowScope() {
    --tThrowDepth;
}
bool fatalThrows() {
    return tThrowDepth > 0;
}

void fatalError(const char* format, ...) {
    char message[kFatalMessageMax + 1];
    va_list args;
    va_start(args, format);
    // vsnprintf cuts the text at 199 characters and always terminates it.
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    if (tThrowDepth > 0) throw FatalError(message);
    int result = gReporter.load()(message);
    void (*hooks[kMaxCleanups])();
    {
        std::lock_guard<std::mutex> lock(gCleanupLock);
        for (int i = 0; i < kMaxCleanups; ++i) hooks[i] = gCleanups[i];
    }
    for (auto* hook : hooks)
        if (hook) hook();
    std::exit(result + 1);
}

void internalError(const char* source, int line, int code) {
    if (code < 0) fatalError("Internal error\nFile: %s\nLine: %d", source, line);
    fatalError("Internal error [%d] in [%s,%d]", code, source, line);
}

void* allocTracked(int32_t size) {
    if (size < 0) internalError(kSrcUpdater, 1943, 123);
    if (size == 0) size = 1;
    if (size & 1) size += 1;
    uintptr_t handle = platform::memAlloc(static_cast<uint32_t>(size));
    if (handle == 0) {
        std::string text = platform::lastErrorText();
        fatalError("\nError 123: %d, %s", size, text.c_str());
    }
    void* address = platform::memLock(handle);
    if (address == nullptr) internalError(kSrcUpdater, 1968, 124);
    {
        std::lock_guard<std::mutex> lock(gTrackedLock);
        for (TrackedSlot& slot : gTracked) {
            if (slot.handle == 0) {
                slot = {handle, address, static_cast<uint32_t>(size)};
                return address;
            }
        }
    }
    platform::memFree(handle);
    internalError(kSrcUpdater, 1979, 125);
}

void freeTracked(void* address) {
    std::lock_guard<std::mutex> lock(gTrackedLock);
    for (TrackedSlot& slot : gTracked) {
        if (slot.handle != 0 && slot.address == address) {
            platform::memFree(slot.handle);
            slot = {};
            return;
        }
    }
}

int trackedCount() {
    std::lock_guard<std::mutex> lock(gTrackedLock);
    int n = 0;
    for (const TrackedSlot& slot : gTracked) n += slot.handle != 0;
    return n;
}
