// Platform layer on POSIX systems, built on the C++ thread library: events
// are a flag guarded by a mutex with a condition variable, threads are
// std::thread objects shared by the handle and the running thread.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#if defined(__linux__)
#include <sched.h>
#endif

#include "threads/platform.h"

namespace hvdv {

namespace {

enum class Kind : uint32_t { kEvent = 0x45564e54, kThread = 0x54485244 };

struct HandleBase {
    explicit HandleBase(Kind k) : kind(k) {}
    Kind kind;
};

struct PosixEvent : HandleBase {
    PosixEvent() : HandleBase(Kind::kEvent) {}
    std::mutex mutex;
    std::condition_variable changed;
    bool signalled = false;
};

// Owned jointly by the handle and the running thread; whichever lets go last
// deletes it.  The thread marks `ended` after its procedure returns, which
// lets a wait with a time limit work without joining.
struct PosixThread : HandleBase {
    PosixThread() : HandleBase(Kind::kThread) {}
    std::thread thread;
    std::mutex mutex;
    std::condition_variable changed;
    bool ended = false;
    bool joined = false;
    std::atomic<int> owners{2};
    DVThreadProc proc = nullptr;
    void* argument = nullptr;

    void Unref() {
        if (owners.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }
};

// Waits on `changed` until `done()` or the time limit.  Returns done().
template <typename Done>
bool WaitUntil(std::unique_lock<std::mutex>& hold, std::condition_variable& changed, uint32_t timeoutMs,
               Done done) {
    if (timeoutMs == kWaitInfinite) {
        changed.wait(hold, done);
        return true;
    }
    return changed.wait_for(hold, std::chrono::milliseconds(timeoutMs), done);
}

void ThreadBody(PosixThread* t) {
    t->proc(t->argument);
    {
        std::lock_guard<std::mutex> hold(t->mutex);
        t->ended = true;
    }
    t->changed.notify_all();
    t->Unref();
}

std::atomic<uint32_t> g_nextThreadId{1};

}  // namespace

int PlatformCreateEvent(DVHandle* event, int initiallySignalled) {
    PosixEvent* e = new (std::nothrow) PosixEvent;
    *event = e;
    if (!e) return 1;
    e->signalled = initiallySignalled != 0;
    return 0;
}

void SignalEvent(DVHandle event) {
    PosixEvent* e = static_cast<PosixEvent*>(event);
    if (!e) return;
    // Notifying under the mutex: once a waiter sees the flag, the signalling
    // thread no longer touches the event, so the waiter may close it.
    std::lock_guard<std::mutex> hold(e->mutex);
    e->signalled = true;
    e->changed.notify_all();
}

void ResetEventSignal(DVHandle event) {
    PosixEvent* e = static_cast<PosixEvent*>(event);
    if (!e) return;
    std::lock_guard<std::mutex> hold(e->mutex);
    e->signalled = false;
}

uint32_t WaitEvent(DVHandle event, uint32_t timeoutMs) {
    PosixEvent* e = static_cast<PosixEvent*>(event);
    if (!e) return kWaitTimedOut;
    std::unique_lock<std::mutex> hold(e->mutex);
    return WaitUntil(hold, e->changed, timeoutMs, [e] { return e->signalled; }) ? kWaitSignalled
                                                                                : kWaitTimedOut;
}

int PlatformStartThread(DVHandle* thread, DVThreadProc proc, void* argument, uint32_t* threadId) {
    *thread = nullptr;
    PosixThread* t = new (std::nothrow) PosixThread;
    if (!t) return 1;
    t->proc = proc;
    t->argument = argument;
    try {
        t->thread = std::thread(ThreadBody, t);
    } catch (const std::system_error&) {
        delete t;
        return 1;
    }
    if (threadId) *threadId = g_nextThreadId.fetch_add(1, std::memory_order_relaxed);
    *thread = t;
    return 0;
}

uint32_t WaitThreadEnd(DVHandle thread, uint32_t timeoutMs) {
    PosixThread* t = static_cast<PosixThread*>(thread);
    if (!t) return 0;
    std::unique_lock<std::mutex> hold(t->mutex);
    if (WaitUntil(hold, t->changed, timeoutMs, [t] { return t->ended; }) && !t->joined) {
        // The procedure has returned; joining only waits for the last
        // few instructions of the thread and releases its resources.
        t->joined = true;
        hold.unlock();
        t->thread.join();
    }
    return 0;
}

void CloseDVHandle(DVHandle* handle) {
    HandleBase* h = static_cast<HandleBase*>(*handle);
    *handle = nullptr;
    if (!h) return;
    if (h->kind == Kind::kEvent) {
        delete static_cast<PosixEvent*>(h);
        return;
    }
    PosixThread* t = static_cast<PosixThread*>(h);
    bool join = false;
    {
        std::lock_guard<std::mutex> hold(t->mutex);
        if (!t->joined) {
            t->joined = true;
            join = t->ended;
            if (!join) t->thread.detach();
        }
    }
    if (join) t->thread.join();
    t->Unref();
}

int CreateLock(DVHandle* lock) {
    std::recursive_mutex* m = new (std::nothrow) std::recursive_mutex;
    *lock = m;
    return m ? 0 : 1;
}

void DeleteLock(DVHandle* lock) {
    delete static_cast<std::recursive_mutex*>(*lock);
    *lock = nullptr;
}

void EnterLock(DVHandle lock) { static_cast<std::recursive_mutex*>(lock)->lock(); }
void LeaveLock(DVHandle lock) { static_cast<std::recursive_mutex*>(lock)->unlock(); }

int PlatformCountProcessors(int mode) {
#if defined(__linux__)
    if (mode == kCountAffinity) {
        cpu_set_t set;
        CPU_ZERO(&set);
        if (sched_getaffinity(0, sizeof(set), &set) == 0) return CPU_COUNT(&set);
    }
#endif
    (void)mode;
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? (online > 1024 ? 1024 : (int)online) : 0;
}

// There is no debugger text channel here; the test hook sees the text.
void PlatformDebugText(const char*) {}

}  // namespace hvdv
