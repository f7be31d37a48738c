// The platform layer: manual-reset events, threads, the recursive lock, the
// processor count and the creation budgets used by the fallback tests.
#include "threads/platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sched.h>
#endif

namespace hvdv {
namespace {

struct EventGuard {
    DVHandle h = nullptr;
    explicit EventGuard(int initial = 0) { EXPECT_EQ(CreateManualEvent(&h, initial), 0); }
    ~EventGuard() { CloseDVHandle(&h); }
};

TEST(PlatformEvent, ManualResetSemantics) {
    // Each row: initial state, operations before the wait, expected outcome
    // of a zero-timeout wait, checked twice (a wait never consumes a signal).
    struct Case {
        int initial;
        const char* ops;  // 's' signal, 'r' reset
        uint32_t expected;
    } cases[] = {
        {0, "", kWaitTimedOut}, {1, "", kWaitSignalled}, {0, "ss", kWaitSignalled},
        {1, "r", kWaitTimedOut}, {0, "srs", kWaitSignalled},
    };
    for (const Case& c : cases) {
        EventGuard e(c.initial);
        for (const char* op = c.ops; *op; ++op) (*op == 's' ? SignalEvent(e.h) : ResetEventSignal(e.h));
        EXPECT_EQ(WaitEvent(e.h, 0), c.expected) << "initial " << c.initial << " ops " << c.ops;
        EXPECT_EQ(WaitEvent(e.h, 0), c.expected) << "second wait, ops " << c.ops;
    }
    // An unsignalled event times out after the time given, not before.
    EventGuard e;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitEvent(e.h, 30), kWaitTimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(25));
    EXPECT_EQ(WaitEvent(nullptr, 0), kWaitTimedOut);
}

TEST(PlatformEvent, SignalReleasesEveryWaiter) {
    EventGuard e;
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i)
        waiters.emplace_back([&] {
            if (WaitEvent(e.h, kWaitInfinite) == kWaitSignalled) ++released;
        });
    SignalEvent(e.h);
    for (auto& t : waiters) t.join();
    EXPECT_EQ(released.load(), 4);
}

// The hand-off pattern of the workers, many rounds: each side signals,
// the other waits and resets.  A lost signal would hang the test.
uint32_t PingPong(void* arg) {
    DVHandle* ev = static_cast<DVHandle*>(arg);
    for (int i = 0; i < 500; ++i) {
        WaitEvent(ev[0], kWaitInfinite);
        ResetEventSignal(ev[0]);
        SignalEvent(ev[1]);
    }
    return 0;
}

TEST(PlatformThread, PingPongHandOffLosesNoSignal) {
    DVHandle ev[2] = {};
    ASSERT_EQ(CreateManualEvent(&ev[0], 0), 0);
    ASSERT_EQ(CreateManualEvent(&ev[1], 0), 0);
    DVHandle thread = nullptr;
    uint32_t id = 0;
    ASSERT_EQ(StartThread(&thread, PingPong, ev, &id), 0);
    EXPECT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    for (int i = 0; i < 500; ++i) {
        SignalEvent(ev[0]);
        WaitEvent(ev[1], kWaitInfinite);
        ResetEventSignal(ev[1]);
    }
    EXPECT_EQ(WaitThreadEnd(thread, kWaitInfinite), 0u);
    CloseDVHandle(&thread);
    EXPECT_EQ(thread, nullptr);
    CloseDVHandle(&ev[0]);
    CloseDVHandle(&ev[1]);
}

uint32_t SleepThenMark(void* arg) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    static_cast<std::atomic<int>*>(arg)->store(1);
    return 0;
}

TEST(PlatformThread, WaitForEndAndEarlyClose) {
    std::atomic<int> done{0};
    DVHandle thread = nullptr;
    ASSERT_EQ(StartThread(&thread, SleepThenMark, &done, nullptr), 0);
    WaitThreadEnd(thread, 1);  // times out; still reports 0
    WaitThreadEnd(thread, kWaitInfinite);
    EXPECT_EQ(done.load(), 1);
    CloseDVHandle(&thread);

    // A handle closed while its thread runs leaves the thread to finish.
    std::atomic<int> done2{0};
    ASSERT_EQ(StartThread(&thread, SleepThenMark, &done2, nullptr), 0);
    CloseDVHandle(&thread);
    for (int i = 0; i < 200 && !done2.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(done2.load(), 1);
}

TEST(PlatformLock, RecursiveAndExclusive) {
    DVHandle lock = nullptr;
    ASSERT_EQ(CreateLock(&lock), 0);
    EnterLock(lock);
    EnterLock(lock);  // the owner enters again without blocking
    std::atomic<int> entered{0};
    std::thread other([&] {
        EnterLock(lock);
        entered = 1;
        LeaveLock(lock);
    });
    LeaveLock(lock);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(entered.load(), 0) << "one leave must not free a lock entered twice";
    LeaveLock(lock);
    other.join();
    EXPECT_EQ(entered.load(), 1);
    DeleteLock(&lock);
    EXPECT_EQ(lock, nullptr);
}

TEST(PlatformProcessors, CountAndOverride) {
    const int affinity = CountProcessors(kCountAffinity);
    EXPECT_GE(affinity, 1);
    EXPECT_GE(CountProcessors(kCountSystem), 1);
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

#if defined(__linux__)
TEST(PlatformProcessors, FollowsTheAffinityMaskOfTheProcess) {
    // Runs in a thread of its own so that narrowing the mask does not touch
    // the test runner's other threads.
    std::thread([] {
        cpu_set_t saved;
        ASSERT_EQ(sched_getaffinity(0, sizeof(saved), &saved), 0);
        int first = 0;
        while (!CPU_ISSET(first, &saved)) ++first;
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(first, &one);
        ASSERT_EQ(sched_setaffinity(0, sizeof(one), &one), 0);
        EXPECT_EQ(CountProcessors(kCountAffinity), 1);
        sched_setaffinity(0, sizeof(saved), &saved);
    }).join();
}
#endif

std::vector<std::string>* g_texts = nullptr;
void CollectText(const char* text) { g_texts->push_back(text); }

TEST(PlatformDebugText, HookSeesEveryText) {
    std::vector<std::string> texts;
    g_texts = &texts;
    SetDebugTextHook(CollectText);
    OutputDebugText("one\r\n");
    OutputDebugText("two");
    SetDebugTextHook(nullptr);
    OutputDebugText("unseen");
    EXPECT_EQ(texts, (std::vector<std::string>{"one\r\n", "two"}));
    g_texts = nullptr;
}

}  // namespace
}  // namespace hvdv
