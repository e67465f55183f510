// Movable global memory and system error texts on Win32.
#include <windows.h>

#include "base/os.h"

namespace platform {
uintptr_t memAlloc(uint32_t size) {
    return reinterpret_cast<uintptr_t>(GlobalAlloc(GMEM_MOVEABLE, size));
}

void* memLock(uintptr_t handle) {
    return GlobalLock(reinterpret_cast<HGLOBAL>(handle));
}

void memFree(uintptr_t handle) {
    HGLOBAL h = reinterpret_cast<HGLOBAL>(handle);
    GlobalUnlock(h);
    GlobalFree(h);
}

std::string lastErrorText() {
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                             GetLastError(), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = n && text ? std::string(text, n) : std::string();
    if (text) LocalFree(text);
    return result;
}

// Large pages need a privilege that users lack: committed pages, zeroed on
// first touch.
LargeBuffer::LargeBuffer(size_t size) {
    if (size == 0) return;
    data_ = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (data_ != nullptr) size_ = size;
}

LargeBuffer::~LargeBuffer() {
    if (data_ != nullptr) VirtualFree(data_, 0, MEM_RELEASE);
}

// Windows wakes a thread on an idle processor of its own accord.
int currentCpu() {
    return -1;
}

void keepThreadOff(std::thread&, int) {}

}  // namespace platform
