// The installer's window onto the operating system. Every OS call of the
// updater module goes through these functions, implemented once in
// platform_posix.cpp and once in platform_win32.cpp.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

enum class BoxIcon { Information, Error };

// Shows a message box with one OK button and no owner. Returns the box
// result: 1 (OK) when shown, 0 when it could not be shown. On Linux the
// caption and text go to stderr.
int messageBox(const char* text, const char* caption, BoxIcon icon);

// Movable global memory, as the tracked-memory table keeps it.
uintptr_t memAlloc(uint32_t size);     // 0 on failure
void* memLock(uintptr_t handle);       // nullptr on failure
void memFree(uintptr_t handle);        // unlocks and frees
std::string lastErrorText();           // text of the system's last error

}  // namespace platform
