#include "base/os.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

namespace {

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
