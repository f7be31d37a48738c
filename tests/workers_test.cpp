// Worker threads and their hand-off with the calling thread, driven with
// empty segment runs and a writer that records who flushed which rows.
#include "threads/workers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "fake_writer.h"
#include "threads/platform.h"

namespace hvdv {
namespace {

using hvdv_test::FakeWriter;

bool AllHandlesClosed(const DVSegmentJob& j) {
    return !j.thread && !j.segmentsDone && !j.startRows && !j.frameDone && !j.nextFrame && !j.exited &&
           !j.threadStarted;
}

// Starts a worker with nothing to decode, then plays the calling thread's
// half of `frames` frames: wait for the segments, give an early flush the
// chance to show, release the rows.  Returns 0 after the frames, 1 when the
// start failed cleanly, -1 when it failed leaving a handle.
int RunWorker(FakeWriter& writer, int persistent, int frames) {
    DVSegmentJob job{};
    job.firstSegment = job.endSegment = 7;
    job.writer = &writer.w;
    job.jobIndex = 3;
    job.rowCount = 10;
    if (StartWorker(&job, persistent)) return AllHandlesClosed(job) ? 1 : -1;
    for (int f = 0; f < frames; ++f) {
        if (f) {
            job.firstRow = 100 * f;
            SignalEvent(job.nextFrame);
        }
        WaitEvent(job.segmentsDone, kWaitInfinite);
        ResetEventSignal(job.segmentsDone);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(writer.flushes.size(), size_t(f)) << "rows flushed before startRows";
        SignalEvent(job.startRows);
        if (persistent) {
            WaitEvent(job.frameDone, kWaitInfinite);
            ResetEventSignal(job.frameDone);
        }
    }
    persistent ? EndPersistentWorker(&job) : EndOneFrameWorker(&job);
    EXPECT_TRUE(AllHandlesClosed(job));
    return 0;
}

TEST(Workers, EachFrameFlushesItsBandOnTheWorkerThreadAfterTheBarrier) {
    for (int persistent : {0, 1}) {
        FakeWriter writer;
        const int frames = persistent ? 3 : 1;
        ASSERT_EQ(RunWorker(writer, persistent, frames), 0);
        ASSERT_EQ(writer.flushes.size(), size_t(frames)) << "quitting runs no further frame";
        for (int f = 0; f < frames; ++f) {
            const FakeWriter::Flush& fl = writer.flushes[f];
            EXPECT_EQ((std::vector<int>{fl.threadIndex, fl.firstRow, fl.rowCount}), (std::vector<int>{3, 100 * f, 10}));
            EXPECT_NE(fl.thread, std::this_thread::get_id());
            EXPECT_EQ(fl.thread, writer.flushes[0].thread) << "one thread serves every frame";
        }
    }
}

TEST(Workers, FailedStartLeavesNoHandleAndTheSlotCanStartLater) {
    const struct {
        int persistent, eventBudget, threadBudget;
    } cases[] = {{0, 1, -1}, {0, -1, 0}, {1, 2, -1}, {1, 4, -1}, {1, -1, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.persistent << " " << c.eventBudget << " " << c.threadBudget);
        FakeWriter writer;
        SetEventCreationBudget(c.eventBudget);
        SetThreadStartBudget(c.threadBudget);
        EXPECT_EQ(RunWorker(writer, c.persistent, 1), 1);
        SetEventCreationBudget(-1);
        SetThreadStartBudget(-1);
        EXPECT_EQ(RunWorker(writer, c.persistent, 1), 0);
        EXPECT_EQ(writer.flushes.size(), 1u);
    }
}

}  // namespace
}  // namespace hvdv
