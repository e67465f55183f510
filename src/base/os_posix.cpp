// Global memory on POSIX: plain heap blocks that never move; large buffers;
// thread placement.
#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#endif

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

namespace {
constexpr size_t kLargePage = size_t{2} << 20;
}

LargeBuffer::LargeBuffer(size_t size) {
    if (size == 0) return;
    // Whole large pages, aligned to them, so that every one can be a large page.
    size_t whole = (size + kLargePage - 1) / kLargePage * kLargePage;
    if (whole < size) return;
    data_ = static_cast<unsigned char*>(std::aligned_alloc(kLargePage, whole));
    if (data_ == nullptr) return;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    madvise(data_, whole, MADV_HUGEPAGE);
#endif
    size_ = size;
}

LargeBuffer::~LargeBuffer() {
    std::free(data_);
}

#if defined(__linux__)
int currentCpu() {
    return sched_getcpu();
}

void keepThreadOff(std::thread& t, int cpu) {
    cpu_set_t set;
    if (cpu < 0 || cpu >= CPU_SETSIZE || sched_getaffinity(0, sizeof set, &set) != 0) return;
    CPU_CLR(cpu, &set);
    if (CPU_COUNT(&set) > 0) pthread_setaffinity_np(t.native_handle(), sizeof set, &set);
}
#else
int currentCpu() {
    return -1;
}

void keepThreadOff(std::thread&, int) {}
#endif

}  // namespace platform
