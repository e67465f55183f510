// The ground floor's system calls, once for POSIX (os_posix.cpp) and once for
// Win32 (os_win32.cpp).
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Movable global memory, as the tracked-memory table keeps it.
uintptr_t memAlloc(uint32_t size);  // 0 on failure
void* memLock(uintptr_t handle);    // nullptr on failure
void memFree(uintptr_t handle);     // unlocks and frees
std::string lastErrorText();        // text of the system's last error

}  // namespace platform
