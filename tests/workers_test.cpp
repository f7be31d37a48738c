// Worker threads and their hand-off with the calling thread, driven with
// empty segment runs and a writer that records who flushed which rows.
#include "threads/workers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "fake_writer.h"
#include "threads/platform.h"

namespace hvdv {
namespace {

using hvdv_test::FakeWriter;

void PrepareJob(DVSegmentJob* job, FakeWriter* writer, int index, int firstRow, int rowCount) {
    job->firstSegment = job->endSegment = 7;  // nothing to decode
    job->writer = &writer->w;
    job->jobIndex = index;
    job->firstRow = firstRow;
    job->rowCount = rowCount;
}

bool AllHandlesClosed(const DVSegmentJob& job) {
    return !job.thread && !job.segmentsDone && !job.startRows && !job.frameDone && !job.nextFrame &&
           !job.exited && !job.threadStarted;
}

// The calling thread's half of one frame for one worker.
void RunFrame(DVSegmentJob* job, FakeWriter* writer, size_t flushesBefore) {
    WaitEvent(job->segmentsDone, kWaitInfinite);
    ResetEventSignal(job->segmentsDone);
    // Give a worker that would flush too early the chance to do so.
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    {
        std::lock_guard<std::mutex> hold(writer->mutex);
        EXPECT_EQ(writer->flushes.size(), flushesBefore) << "rows flushed before startRows";
    }
    SignalEvent(job->startRows);
}

TEST(Workers, OneFrameWorkerFlushesItsBandAfterTheBarrier) {
    for (bool withFlush : {true, false}) {
        FakeWriter writer(withFlush);
        DVSegmentJob job{};
        PrepareJob(&job, &writer, 3, 240, 80);
        ASSERT_EQ(StartWorker(&job, 0), 0);
        RunFrame(&job, &writer, 0);
        EndOneFrameWorker(&job);
        EXPECT_TRUE(AllHandlesClosed(job));
        if (withFlush) {
            ASSERT_EQ(writer.flushes.size(), 1u);
            EXPECT_EQ(writer.flushes[0].threadIndex, 3);
            EXPECT_EQ(writer.flushes[0].firstRow, 240);
            EXPECT_EQ(writer.flushes[0].rowCount, 80);
            EXPECT_NE(writer.flushes[0].thread, std::this_thread::get_id());
        } else {
            EXPECT_TRUE(writer.flushes.empty());
        }
    }
}

TEST(Workers, PersistentWorkerServesFramesUntilQuit) {
    FakeWriter writer;
    DVSegmentJob job{};
    PrepareJob(&job, &writer, 1, 0, 10);
    ASSERT_EQ(StartWorker(&job, 1), 0);
    const int bands[][2] = {{0, 10}, {100, 20}, {50, 5}};
    for (size_t f = 0; f < 3; ++f) {
        if (f > 0) {
            job.firstRow = bands[f][0];
            job.rowCount = bands[f][1];
            SignalEvent(job.nextFrame);
        }
        RunFrame(&job, &writer, f);
        WaitEvent(job.frameDone, kWaitInfinite);
        ResetEventSignal(job.frameDone);
        ASSERT_EQ(writer.flushes.size(), f + 1);
        EXPECT_EQ(writer.flushes[f].firstRow, bands[f][0]);
        EXPECT_EQ(writer.flushes[f].rowCount, bands[f][1]);
        EXPECT_EQ(writer.flushes[f].thread, writer.flushes[0].thread) << "one thread serves every frame";
    }
    EndPersistentWorker(&job);
    EXPECT_TRUE(AllHandlesClosed(job));
    EXPECT_EQ(writer.flushes.size(), 3u) << "quitting runs no further frame";
    EndPersistentWorker(&job);  // nothing left to end
}

TEST(Workers, PersistentWorkerStartedWithQuitDoesNoFrame) {
    FakeWriter writer;
    DVSegmentJob job{};
    PrepareJob(&job, &writer, 2, 0, 10);
    job.quit = 1;
    ASSERT_EQ(StartWorker(&job, 1), 0);
    WaitEvent(job.frameDone, kWaitInfinite);
    EXPECT_EQ(WaitEvent(job.segmentsDone, 0), kWaitTimedOut);
    EndPersistentWorker(&job);
    EXPECT_TRUE(AllHandlesClosed(job));
    EXPECT_TRUE(writer.flushes.empty());
}

TEST(Workers, FailedStartLeavesNoHandle) {
    // persistent, events that may be created, threads that may be started
    struct Case {
        int persistent, eventBudget, threadBudget;
    } cases[] = {{0, 1, -1}, {0, -1, 0}, {1, 2, -1}, {1, 4, -1}, {1, -1, 0}};
    for (const Case& c : cases) {
        FakeWriter writer;
        DVSegmentJob job{};
        PrepareJob(&job, &writer, 1, 0, 10);
        SetEventCreationBudget(c.eventBudget);
        SetThreadStartBudget(c.threadBudget);
        EXPECT_EQ(StartWorker(&job, c.persistent), 1)
            << "persistent " << c.persistent << " events " << c.eventBudget << " threads " << c.threadBudget;
        SetEventCreationBudget(-1);
        SetThreadStartBudget(-1);
        EXPECT_TRUE(AllHandlesClosed(job)) << "events " << c.eventBudget << " threads " << c.threadBudget;
        // The slot can be started later, once creation works again.
        ASSERT_EQ(StartWorker(&job, c.persistent), 0);
        RunFrame(&job, &writer, 0);
        if (c.persistent) {
            WaitEvent(job.frameDone, kWaitInfinite);
            EndPersistentWorker(&job);
        } else {
            EndOneFrameWorker(&job);
        }
        EXPECT_TRUE(AllHandlesClosed(job));
        EXPECT_EQ(writer.flushes.size(), 1u);
    }
}

}  // namespace
}  // namespace hvdv
