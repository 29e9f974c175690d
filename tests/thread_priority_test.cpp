// A worker lowered beneath the frames, and only the worker.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <thread>

#include "platform/thread_priority.h"

namespace {

// The calling thread's own priority: its nice value here, its relative
// priority on Windows.
int ThisThreadsPriority() {
#if defined(_WIN32)
    return GetThreadPriority(GetCurrentThread());
#else
    return getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
#endif
}

TEST(ThreadPriorityTest, OnlyTheCallingThreadIsLoweredAndStaysInTheOrdinaryClass) {
    const int before = ThisThreadsPriority();
    int lowered = before;
    [[maybe_unused]] int policy = -1;
    std::thread worker([&] {
        platform::LowerThisThreadsPriority();
        lowered = ThisThreadsPriority();
#if !defined(_WIN32)
        policy = sched_getscheduler(0);  // the calling thread's
#endif
    });
    worker.join();
#if defined(_WIN32)
    EXPECT_EQ(lowered, THREAD_PRIORITY_LOWEST);
#else
    EXPECT_EQ(lowered, 19);
    // The ordinary class: the idle class would starve it on a busy machine.
    EXPECT_EQ(policy, SCHED_OTHER);
#endif
    EXPECT_EQ(ThisThreadsPriority(), before) << "the caller of the worker keeps its priority";
}

}  // namespace
