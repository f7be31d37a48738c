#include "threads/workers.h"

#include <chrono>

#if defined(__SSE2__) || defined(_M_X64) || defined(_M_IX86)
#include <emmintrin.h>
#define HVDV_SPIN_PAUSE() _mm_pause()
#else
#define HVDV_SPIN_PAUSE() ((void)0)
#endif

namespace hvdv {

// How long a hand-off is watched before sleeping.  Inside a frame: about the
// wake-up time of a sleeping thread, so that a wait that sleeps anyway costs
// at most twice.  Between frames, a worker watches for the next one for
// about a quarter of a dense standard-definition frame: a caller decoding a
// stream comes back sooner, and would otherwise lose the wake-up on every
// frame (the worker's share of the frame starts that much later).
void AwaitHandOff(DVHandle event, const std::atomic<uint32_t>& flag, uint32_t frame, int watchMicroseconds) {
    const std::chrono::microseconds watch{watchMicroseconds};
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        for (int i = 0; i < 64; i++) {
            if (flag.load(std::memory_order_acquire) == frame) {
                // The event was signalled before the flag was set.
                ResetEventSignal(event);
                return;
            }
            HVDV_SPIN_PAUSE();
        }
        if (std::chrono::steady_clock::now() - start > watch) break;
    }
    WaitEvent(event, kWaitInfinite);
    ResetEventSignal(event);
}

void HandOff(DVHandle event, std::atomic<uint32_t>& flag, uint32_t frame) {
    SignalEvent(event);
    flag.store(frame, std::memory_order_release);
}

// Event ownership: the worker sets firstDone, frameDone and exited and
// resets startSecond and nextFrame after waiting for them; the calling thread
// does the opposite.  Every event is manual-reset, so a signal given before
// the other side starts waiting stays until the waiter resets it.

void WorkerOneFrame(DVWorker* w) {
    const uint32_t frame = w->frame;
    w->firstPhase(w->argument);
    HandOff(w->firstDone, w->firstFinished, frame);
    AwaitHandOff(w->startSecond, w->secondAllowed, frame);
    w->secondPhase(w->argument);
}

uint32_t WorkerMain(void* argument) {
    DVWorker* w = static_cast<DVWorker*>(argument);
    if (!w->persistent) {
        WorkerOneFrame(w);
        return 0;
    }
    if (!w->quit) WorkerOneFrame(w);
    for (;;) {
        const uint32_t done = w->frame;
        HandOff(w->frameDone, w->frameFinished, done);
        AwaitHandOff(w->nextFrame, w->frameStarted, done + 1, kWatchBetweenFrames);
        if (w->quit) break;
        WorkerOneFrame(w);
    }
    SignalEvent(w->exited);
    return 0;
}

namespace {

void CloseWorkerEvents(DVWorker* w) {
    CloseDVHandle(&w->nextFrame);
    CloseDVHandle(&w->frameDone);
    CloseDVHandle(&w->firstDone);
    CloseDVHandle(&w->startSecond);
    CloseDVHandle(&w->exited);
}

}  // namespace

int StartWorker(DVWorker* w, int persistent) {
    w->persistent = persistent ? 1 : 0;
    w->threadStarted = 0;
    int failed = CreateManualEvent(&w->firstDone, 0);
    failed = failed || CreateManualEvent(&w->startSecond, 0);
    if (persistent) {
        failed = failed || CreateManualEvent(&w->frameDone, 0);
        failed = failed || CreateManualEvent(&w->nextFrame, 0);
        failed = failed || CreateManualEvent(&w->exited, 0);
    }
    if (!failed) failed = StartThread(&w->thread, WorkerMain, w, nullptr);
    if (failed) {
        CloseWorkerEvents(w);
        return 1;
    }
    w->threadStarted = 1;
    return 0;
}

void EndPersistentWorker(DVWorker* w) {
    if (!w->threadStarted) return;
    w->quit = 1;
    HandOff(w->nextFrame, w->frameStarted, w->frame + 1);
    WaitEvent(w->exited, kWaitInfinite);
    // The worker still touches `exited` while it signals it; the events are
    // closed only once its thread has returned.
    WaitThreadEnd(w->thread, kWaitInfinite);
    CloseDVHandle(&w->thread);
    CloseWorkerEvents(w);
    w->threadStarted = 0;
}

void EndOneFrameWorker(DVWorker* w) {
    WaitThreadEnd(w->thread, kWaitInfinite);
    CloseDVHandle(&w->thread);
    CloseDVHandle(&w->firstDone);
    CloseDVHandle(&w->startSecond);
    w->threadStarted = 0;
}

}  // namespace hvdv
