// Worker threads: the thread procedure of jobs 1 to 15 and its event
// hand-off with the calling thread.  A worker runs the two phases of a frame
// that its owner gives it and knows nothing of what they do.
#pragma once
#include <cstdint>

#include "threads/platform.h"

namespace hvdv {

struct DVWorker {
    // The frame's two phases, run on the worker thread with `argument`.
    void (*firstPhase)(void* argument);
    void (*secondPhase)(void* argument);
    void* argument;

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
