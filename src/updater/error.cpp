// Fatal errors and the tracked-memory table.
#include "updater/error.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "fileio/fileio.h"
#include "updater/platform.h"

namespace {

struct TrackedSlot {
    uintptr_t handle;  // 0 = free
    void* address;
    uint32_t size;
};

TrackedSlot gTracked[kTrackedSlots];

}  // namespace

void fatalError(const char* format, ...) {
    char message[kFatalMessageMax + 1];
    va_list args;
    va_start(args, format);
    // vsnprintf cuts the text at 199 characters and always terminates it.
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    int result = platform::messageBox(message, "Einde programma", platform::BoxIcon::Error);
    FileCloseAll();
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
    for (TrackedSlot& slot : gTracked) {
        if (slot.handle == 0) {
            slot = {handle, address, static_cast<uint32_t>(size)};
            return address;
        }
    }
    internalError(kSrcUpdater, 1979, 125);
}

void freeTracked(void* address) {
    for (TrackedSlot& slot : gTracked) {
        if (slot.handle != 0 && slot.address == address) {
            platform::memFree(slot.handle);
            slot = {};
            return;
        }
    }
}

int trackedCount() {
    int n = 0;
    for (const TrackedSlot& slot : gTracked) n += slot.handle != 0;
    return n;
}
