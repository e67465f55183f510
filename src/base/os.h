// The ground floor's system calls, once for POSIX (os_posix.cpp) and once for
// Win32 (os_win32.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <thread>

namespace platform {

// Movable global memory, as the tracked-memory table keeps it.
uintptr_t memAlloc(uint32_t size);  // 0 on failure
void* memLock(uintptr_t handle);    // nullptr on failure
void memFree(uintptr_t handle);     // unlocks and frees
std::string lastErrorText();        // text of the system's last error

// The processor the calling thread runs on now; -1 where the system cannot
// say or placement is left to it.
int currentCpu();
// Lets `t` run on any processor the process may use except `cpu`; nothing
// when no other one is left.
void keepThreadOff(std::thread& t, int cpu);

}  // namespace platform
