// The system-independent half of the platform layer: the processor count
// cap, the debugger text hook and the creation budgets the tests use to make
// event and thread creation fail.
#include "threads/platform.h"

#include <atomic>

namespace hvdv {

namespace {

std::atomic<int> g_processorOverride{0};
std::atomic<int> g_eventBudget{-1};
std::atomic<int> g_threadBudget{-1};

// Takes one unit of a creation budget; false when it is exhausted.  A
// negative budget is unlimited.
bool TakeBudget(std::atomic<int>& budget) {
    int left = budget.load(std::memory_order_relaxed);
    for (;;) {
        if (left < 0) return true;
        if (left == 0) return false;
        if (budget.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) return true;
    }
}

}  // namespace

int CreateManualEvent(DVHandle* event, int initiallySignalled) {
    if (!TakeBudget(g_eventBudget)) {
        *event = nullptr;
        return 1;
    }
    return PlatformCreateEvent(event, initiallySignalled);
}

int StartThread(DVHandle* thread, DVThreadProc proc, void* argument, uint32_t* threadId) {
    if (!TakeBudget(g_threadBudget)) {
        *thread = nullptr;
        return 1;
    }
    return PlatformStartThread(thread, proc, argument, threadId);
}

int CountProcessors(int mode) {
    const int forced = g_processorOverride.load(std::memory_order_relaxed);
    if (forced > 0) return forced;
    const int count = PlatformCountProcessors(mode);
    return count > 0 ? count : 1;
}

void OutputDebugText(const char* text) {
    PlatformDebugText(text);
}

void SetProcessorCountOverride(int count) { g_processorOverride.store(count, std::memory_order_relaxed); }
void SetEventCreationBudget(int allowed) { g_eventBudget.store(allowed, std::memory_order_relaxed); }
void SetThreadStartBudget(int allowed) { g_threadBudget.store(allowed, std::memory_order_relaxed); }

}  // namespace hvdv
