// Worker threads: the thread procedure of jobs 1 to 15 and its event
// hand-off with the calling thread.
#pragma once
#include <cstdint>

#include "threads/job.h"

namespace hvdv {

// One frame of work on a worker thread: decode the job's segments, set
// segmentsDone, wait for (and reset) startRows, flush the job's rows.
void WorkerOneFrame(DVSegmentJob* job);

// Thread procedure; the argument is the job's DVSegmentJob.  A one-frame
// worker (persistent 0) does one frame and returns.  A persistent worker does
// the frame it was started for (unless quit is already set), then sets
// frameDone and parks on nextFrame until it is woken for the next frame or
// told to quit; on quitting it sets exited.  Returns 0.
uint32_t WorkerMain(void* job);

// Starts a worker thread for the current frame of `job`.  Without
// `persistent` the job gets its segmentsDone and startRows events; with it,
// all five.  On failure every event made here is closed again, the job is
// left with threadStarted 0 and the result is 1; else 0.
int StartWorker(DVSegmentJob* job, int persistent);

// Ends a persistent worker that was started (quit, wake, wait for exited)
// and closes its thread handle and its five events.  Nothing when the job's
// thread was never started.
void EndPersistentWorker(DVSegmentJob* job);

// Closes a one-frame worker after its thread has returned: waits for the
// thread, closes its handle and its two events.
void EndOneFrameWorker(DVSegmentJob* job);

}  // namespace hvdv
