// Worker threads: the thread procedure of jobs 1 to 15 and its event
// hand-off with the calling thread.  A worker runs the two phases of a frame
// that its owner gives it and knows nothing of what they do.
#pragma once
#include <atomic>
#include <cstdint>

#include "threads/platform.h"

namespace hvdv {

struct DVWorker {
    // The frame's two phases, run on the worker thread with `argument`.
    void (*firstPhase)(void* argument);
    void (*secondPhase)(void* argument);
    void* argument;

    // The hand-offs inside a frame are short (the other side is at most a
    // run of work away), while waking a thread that sleeps on an event takes
    // tens of microseconds.  So each side first watches a flag for a while
    // and sleeps on the event only if the flag does not come.  A flag is set
    // after its event is signalled: whoever sees the flag may reset the
    // event at once.  The flags hold the number of the frame they are for
    // (`frame`, set by the owner before the worker is started or woken).
    uint32_t frame;
    alignas(64) std::atomic<uint32_t> firstFinished;  // after firstDone
    std::atomic<uint32_t> frameFinished;              // after frameDone
    alignas(64) std::atomic<uint32_t> secondAllowed;  // after startSecond
    std::atomic<uint32_t> frameStarted;               // after nextFrame

    DVHandle thread;
    int32_t persistent;
    int32_t threadStarted;
    int32_t quit;           // stored before nextFrame is set; the event orders it
    DVHandle firstDone;     // set by the worker after the first phase
    DVHandle startSecond;   // set by the owner when the second phase may start
    DVHandle frameDone;     // persistent workers: set after the second phase
    DVHandle nextFrame;     // persistent workers: set by the owner for the next frame or to quit
    DVHandle exited;        // persistent workers: set when the thread leaves
};

// One frame on a worker thread: the first phase, set firstDone, wait for
// (and reset) startSecond, the second phase.
void WorkerOneFrame(DVWorker* worker);

// Waits for `event` and resets it, watching `flag` for the value `frame`
// for `watchMicroseconds` before sleeping on the event.
enum { kWatchInFrame = 50, kWatchBetweenFrames = 250 };
void AwaitHandOff(DVHandle event, const std::atomic<uint32_t>& flag, uint32_t frame,
                  int watchMicroseconds = kWatchInFrame);

// Signals `event`, then sets `flag` to `frame`.
void HandOff(DVHandle event, std::atomic<uint32_t>& flag, uint32_t frame);

// Thread procedure; the argument is the DVWorker.  A one-frame worker
// (persistent 0) does one frame and returns.  A persistent worker does the
// frame it was started for (unless quit is already set), then sets
// frameDone and parks on nextFrame until it is woken for the next frame or
// told to quit; on quitting it sets exited.  Returns 0.
uint32_t WorkerMain(void* worker);

// Starts a worker thread for the current frame.  Without `persistent` the
// worker gets its firstDone and startSecond events; with it, all five.  On
// failure every event made here is closed again, the worker is left with
// threadStarted 0 and the result is 1; else 0.
int StartWorker(DVWorker* worker, int persistent);

// Ends a persistent worker that was started (quit, wake, wait for exited)
// and closes its thread handle and its five events.  Nothing when the
// thread was never started.
void EndPersistentWorker(DVWorker* worker);

// Closes a one-frame worker after its thread has returned: waits for the
// thread, closes its handle and its two events.
void EndOneFrameWorker(DVWorker* worker);

}  // namespace hvdv
