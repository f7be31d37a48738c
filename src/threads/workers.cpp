#include "threads/workers.h"

#include "decode/segments.h"
#include "threads/platform.h"
#include "writer/writer.h"

namespace hvdv {

// Event ownership: the worker sets segmentsDone, frameDone and exited and
// resets startRows and nextFrame after waiting for them; the calling thread
// does the opposite.  Every event is manual-reset, so a signal given before
// the other side starts waiting stays until the waiter resets it.

void WorkerOneFrame(DVSegmentJob* job) {
    DecodeSegments(job);
    SignalEvent(job->segmentsDone);
    WaitEvent(job->startRows, kWaitInfinite);
    ResetEventSignal(job->startRows);
    DVPictureWriter* w = job->writer;
    if (w->FlushRows) w->FlushRows(w, job->jobIndex, job->firstRow, job->rowCount);
}

uint32_t WorkerMain(void* argument) {
    DVSegmentJob* job = static_cast<DVSegmentJob*>(argument);
    if (!job->persistent) {
        WorkerOneFrame(job);
        return 0;
    }
    if (!job->quit) WorkerOneFrame(job);
    for (;;) {
        SignalEvent(job->frameDone);
        WaitEvent(job->nextFrame, kWaitInfinite);
        ResetEventSignal(job->nextFrame);
        if (job->quit) break;
        WorkerOneFrame(job);
    }
    SignalEvent(job->exited);
    return 0;
}

namespace {

void CloseWorkerEvents(DVSegmentJob* job) {
    CloseDVHandle(&job->nextFrame);
    CloseDVHandle(&job->frameDone);
    CloseDVHandle(&job->segmentsDone);
    CloseDVHandle(&job->startRows);
    CloseDVHandle(&job->exited);
}

}  // namespace

int StartWorker(DVSegmentJob* job, int persistent) {
    job->persistent = persistent ? 1 : 0;
    job->threadStarted = 0;
    int failed = CreateManualEvent(&job->segmentsDone, 0);
    failed = failed || CreateManualEvent(&job->startRows, 0);
    if (persistent) {
        failed = failed || CreateManualEvent(&job->frameDone, 0);
        failed = failed || CreateManualEvent(&job->nextFrame, 0);
        failed = failed || CreateManualEvent(&job->exited, 0);
    }
    if (!failed) failed = StartThread(&job->thread, WorkerMain, job, nullptr);
    if (failed) {
        CloseWorkerEvents(job);
        return 1;
    }
    job->threadStarted = 1;
    return 0;
}

void EndPersistentWorker(DVSegmentJob* job) {
    if (!job->threadStarted) return;
    job->quit = 1;
    SignalEvent(job->nextFrame);
    WaitEvent(job->exited, kWaitInfinite);
    // The worker still touches `exited` while it signals it; the events are
    // closed only once its thread has returned.
    WaitThreadEnd(job->thread, kWaitInfinite);
    CloseDVHandle(&job->thread);
    CloseWorkerEvents(job);
    job->threadStarted = 0;
}

void EndOneFrameWorker(DVSegmentJob* job) {
    WaitThreadEnd(job->thread, kWaitInfinite);
    CloseDVHandle(&job->thread);
    CloseDVHandle(&job->segmentsDone);
    CloseDVHandle(&job->startRows);
    job->threadStarted = 0;
}

}  // namespace hvdv
