// Message boxes and global memory on POSIX: boxes are written to stderr and
// count as OK; memory blocks are plain heap blocks that never move.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "updater/platform.h"

namespace platform {

int messageBox(const char* text, const char* caption, BoxIcon icon) {
    const char* kind = icon == BoxIcon::Error ? "error" : "information";
    if (std::fprintf(stderr, "[%s] %s\n%s\n", kind, caption, text) < 0) return 0;
    std::fflush(stderr);
    return 1;
}

uintptr_t memAlloc(uint32_t size) {
    return reinterpret_cast<uintptr_t>(std::malloc(size));
}

void* memLock(uintptr_t handle) {
    return reinterpret_cast<void*>(handle);
}

void memFree(uintptr_t handle) {
    std::free(reinterpret_cast<void*>(handle));
}

std::string lastErrorText() {
    return std::strerror(errno);
}

}  // namespace platform
