// The platform layer: manual-reset events, threads, the recursive lock and
// the processor count.
#include "threads/platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sched.h>
#endif

namespace hvdv {
namespace {

TEST(PlatformEvent, ManualResetSemantics) {
    // initial state, operations ('s' signal, 'r' reset), zero-timeout wait
    // result, checked twice: a wait never consumes a signal.
    const struct {
        int initial;
        const char* ops;
        uint32_t expected;
    } cases[] = {{0, "", kWaitTimedOut}, {1, "", kWaitSignalled}, {1, "r", kWaitTimedOut}, {0, "srs", kWaitSignalled}};
    for (const auto& c : cases) {
        DVHandle e = nullptr;
        ASSERT_EQ(CreateManualEvent(&e, c.initial), 0);
        for (const char* op = c.ops; *op; ++op) (*op == 's' ? SignalEvent(e) : ResetEventSignal(e));
        EXPECT_EQ(WaitEvent(e, 0), c.expected) << c.initial << " " << c.ops;
        EXPECT_EQ(WaitEvent(e, 0), c.expected) << "second wait " << c.initial << " " << c.ops;
        CloseDVHandle(&e);
    }
    DVHandle e = nullptr;
    ASSERT_EQ(CreateManualEvent(&e, 0), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitEvent(e, 30), kWaitTimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(25));
    // One signal releases every waiter.
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i)
        waiters.emplace_back([&] { released += WaitEvent(e, kWaitInfinite) == kWaitSignalled; });
    SignalEvent(e);
    for (auto& t : waiters) t.join();
    EXPECT_EQ(released.load(), 4);
    CloseDVHandle(&e);
}

// The hand-off pattern of the workers, many rounds: each side signals, the
// other waits and resets.  A lost signal hangs the test.
uint32_t PingPong(void* arg) {
    DVHandle* ev = static_cast<DVHandle*>(arg);
    for (int i = 0; i < 500; ++i) WaitEvent(ev[0], kWaitInfinite), ResetEventSignal(ev[0]), SignalEvent(ev[1]);
    return 0;
}

uint32_t SleepThenMark(void* arg) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    static_cast<std::atomic<int>*>(arg)->store(1);
    return 0;
}

TEST(PlatformThread, HandOffAndEnd) {
    DVHandle ev[2] = {}, thread = nullptr;
    ASSERT_EQ(CreateManualEvent(&ev[0], 0) | CreateManualEvent(&ev[1], 0), 0);
    ASSERT_EQ(StartThread(&thread, PingPong, ev, nullptr), 0);
    for (int i = 0; i < 500; ++i) SignalEvent(ev[0]), WaitEvent(ev[1], kWaitInfinite), ResetEventSignal(ev[1]);
    EXPECT_EQ(WaitThreadEnd(thread, kWaitInfinite), 0u);
    CloseDVHandle(&thread);
    EXPECT_EQ(thread, nullptr);
    CloseDVHandle(&ev[0]);
    CloseDVHandle(&ev[1]);
    // A handle closed while its thread runs leaves the thread to finish.
    std::atomic<int> done{0};
    ASSERT_EQ(StartThread(&thread, SleepThenMark, &done, nullptr), 0);
    CloseDVHandle(&thread);
    for (int i = 0; i < 200 && !done.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(done.load(), 1);
}

TEST(PlatformLock, RecursiveAndExclusive) {
    DVHandle lock = nullptr;
    ASSERT_EQ(CreateLock(&lock), 0);
    EnterLock(lock), EnterLock(lock);  // the owner enters again without blocking
    std::atomic<int> entered{0};
    std::thread other([&] { EnterLock(lock), entered = 1, LeaveLock(lock); });
    LeaveLock(lock);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(entered.load(), 0) << "one leave must not free a lock entered twice";
    LeaveLock(lock);
    other.join();
    EXPECT_EQ(entered.load(), 1);
    DeleteLock(&lock);
}

TEST(PlatformProcessors, CountAndOverride) {
    const int affinity = CountProcessors(kCountAffinity);
    EXPECT_GE(CountProcessors(kCountSystem), affinity);
#if defined(__linux__)
    cpu_set_t set;
    ASSERT_EQ(sched_getaffinity(0, sizeof(set), &set), 0);
    EXPECT_EQ(affinity, CPU_COUNT(&set));
#endif
    SetProcessorCountOverride(24);
    EXPECT_EQ(CountProcessors(kCountAffinity), 24);
    SetProcessorCountOverride(0);
    EXPECT_EQ(CountProcessors(kCountAffinity), affinity);
}

}  // namespace
}  // namespace hvdv
