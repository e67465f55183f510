#include "base/os.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <utility>

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

namespace {

// Every byte of the asked size is there and keeps what was written, also
// past the whole large pages' boundaries; a moved buffer is handed over.
TEST(LargeBuffer, HoldsTheWholeSizeAndMovesOnce) {
    for (size_t size : {size_t{1}, size_t{2} << 20, (size_t{5} << 20) + 3}) {
        SCOPED_TRACE(size);
        platform::LargeBuffer b(size);
        ASSERT_FALSE(b.empty());
        ASSERT_EQ(b.size(), size);
        for (size_t i = 0; i < size; ++i) b.data()[i] = static_cast<unsigned char>(i * 7 + 1);
        platform::LargeBuffer moved(std::move(b));
        EXPECT_TRUE(b.empty());
        EXPECT_EQ(b.data(), nullptr);
        size_t bad = 0;
        for (size_t i = 0; i < size; ++i)
            bad += moved.data()[i] != static_cast<unsigned char>(i * 7 + 1);
        EXPECT_EQ(bad, 0u);
        platform::LargeBuffer other(3);
        other = std::move(moved);
        EXPECT_EQ(other.size(), size);
        EXPECT_TRUE(moved.empty());
    }
    EXPECT_TRUE(platform::LargeBuffer(0).empty());
}

#if defined(__linux__)
TEST(ThreadPlacement, WorkerIsKeptOffTheGivenProcessorOnly) {
    cpu_set_t allowed;
    ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
    int cpu = platform::currentCpu();
    ASSERT_GE(cpu, 0);
    std::atomic<bool> done{false};
    std::thread t([&] {
        while (!done.load()) std::this_thread::yield();
    });
    cpu_set_t got;
    // An unknown processor changes nothing.
    platform::keepThreadOff(t, -1);
    ASSERT_EQ(pthread_getaffinity_np(t.native_handle(), sizeof got, &got), 0);
    EXPECT_TRUE(CPU_EQUAL(&got, &allowed));
    platform::keepThreadOff(t, cpu);
    ASSERT_EQ(pthread_getaffinity_np(t.native_handle(), sizeof got, &got), 0);
    done = true;
    t.join();
    if (CPU_COUNT(&allowed) == 1) {
        // The only processor there is stays the thread's.
        EXPECT_TRUE(CPU_EQUAL(&got, &allowed));
        return;
    }
    EXPECT_FALSE(CPU_ISSET(cpu, &got));
    CPU_CLR(cpu, &allowed);
    EXPECT_TRUE(CPU_EQUAL(&got, &allowed));
}
#endif

}  // namespace
