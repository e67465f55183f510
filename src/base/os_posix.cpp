// Global memory on POSIX: plain heap blocks that never move.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/os.h"

namespace platform {
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
