// The ground floor's system calls, once for POSIX (os_posix.cpp) and once for
// Win32 (os_win32.cpp).
#pragma once

#include <cstddef>
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

// A large buffer that is filled in one go, uninitialised: in the system's
// large pages where it has them, since the first touch of every small page
// is a fault, which on a virtual machine costs microseconds.
class LargeBuffer {
  public:
    LargeBuffer() = default;
    // empty() when the system refuses the memory.
    explicit LargeBuffer(size_t size);
    ~LargeBuffer();
    LargeBuffer(LargeBuffer&& other) noexcept : data_(other.data_), size_(other.size_) {
        other.data_ = nullptr;
        other.size_ = 0;
    }
    LargeBuffer& operator=(LargeBuffer&& other) noexcept {
        LargeBuffer old(static_cast<LargeBuffer&&>(*this));
        data_ = other.data_;
        size_ = other.size_;
        other.data_ = nullptr;
        other.size_ = 0;
        return *this;
    }
    unsigned char* data() const { return data_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

  private:
    unsigned char* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace platform
