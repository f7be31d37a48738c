// The frame decode driver and the decode calls, with a recording writer in
// place of the real ones: how segments and rows are shared among jobs, the
// barrier between the two phases, worker lifetimes and the fallbacks when a
// worker cannot be started.
#include "api/decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "api/classify.h"
#include "decode/segments.h"
#include "fake_writer.h"
#include "hv_dec_dv.h"
#include "threads/cpu.h"
#include "threads/platform.h"
#include "thread_count.h"

namespace hvdv {
namespace {

using hvdv_test::FakeWriter;

using hvdv_test::ThreadsOfProcess;

// The thread count to come back to.  One thread is started and ended first:
// some runtimes (the thread sanitizer) add a helper thread of their own when
// the process starts its first thread.
// GoogleTest on Windows also starts a watcher thread the first time a thread
// uses its per-thread trace stack (SCOPED_TRACE), so that happens first too.
int BaselineThreads() {
    std::thread([] {}).join();
    { SCOPED_TRACE("thread count baseline"); }
    return ThreadsOfProcess();
}

// Waits briefly for exiting threads to leave the process's thread list.
int ThreadsSettled(int expected) {
    int n = ThreadsOfProcess();
    for (int i = 0; i < 200 && n != expected; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        n = ThreadsOfProcess();
    }
    return n;
}

struct FactoryCall {
    uint32_t format;
    int threadCount, frameKind, halfSize, wideScreen;
};

FakeWriter* g_writer = nullptr;
std::vector<FactoryCall> g_calls;

DVPictureWriter* FakeFactory(uint32_t format, int threadCount, int frameKind, int halfSize, int wideScreen) {
    g_calls.push_back({format, threadCount, frameKind, halfSize, wideScreen});
    return g_writer ? &g_writer->w : nullptr;
}

// Installs the recording writer and a processor count for one test.
class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_calls.clear();
        SetWriterFactoryForTests(FakeFactory);
    }
    void TearDown() override {
        SetWriterFactoryForTests(nullptr);
        SetProcessorCountOverride(0);
        SetEventCreationBudget(-1);
        SetThreadStartBudget(-1);
        g_writer = nullptr;
    }
    // A frame that holds no byte: every macroblock is decoded grey and
    // counted damaged, so the result is 0 whatever the writer does.
    std::vector<uint8_t> frame = std::vector<uint8_t>(16, 0);
    std::vector<uint8_t> picture = std::vector<uint8_t>(16, 0);
};

// Checks what one decode did with the recording writer: every macroblock
// handed over once, by the thread of its job; every band flushed once, after
// the last macroblock; job 0 on the calling thread.
void ExpectSharedOut(const FakeWriter& w, int jobs, int segments, uint32_t height, bool withFlush) {
    EXPECT_EQ(w.macroblocks, segments * 5);
    for (int i = 0; i < 16; ++i) {
        int32_t first = 0, end = 0;
        if (i < jobs) SegmentRun(segments, jobs, i, &first, &end);
        EXPECT_EQ(w.macroblocksPerIndex[i], (end - first) * 5) << "job " << i;
        EXPECT_LE(w.macroblockThreads[i].size(), 1u) << "job " << i << " ran on one thread";
    }
    if (!w.macroblockThreads[0].empty()) {
        EXPECT_EQ(w.macroblockThreads[0][0], std::this_thread::get_id());
    }
    EXPECT_EQ(w.endFrames, withFlush ? 0 : 1);
    EXPECT_EQ(w.freed, 1);
    ASSERT_EQ((int)w.flushes.size(), withFlush ? jobs : 0);
    std::vector<int> seen(jobs, 0);
    for (const FakeWriter::Flush& f : w.flushes) {
        ASSERT_TRUE(f.threadIndex >= 0 && f.threadIndex < jobs);
        ++seen[f.threadIndex];
        int32_t first, count;
        RowBand(height, jobs, f.threadIndex, &first, &count);
        EXPECT_EQ(f.firstRow, first);
        EXPECT_EQ(f.rowCount, count);
        EXPECT_EQ(f.macroblocksBefore, segments * 5) << "job " << f.threadIndex << " flushed before the barrier";
        if (!w.macroblockThreads[f.threadIndex].empty()) {
            EXPECT_EQ(f.thread, w.macroblockThreads[f.threadIndex][0]) << "both phases on one thread";
        }
    }
    for (int n : seen) EXPECT_EQ(n, withFlush ? 1 : 0);
}

// Bands follow one another and cover the picture; the remainder rows go to
// the middle jobs.
TEST(DriverSplit, RowBands) {
    const struct {
        uint32_t height;
        std::vector<int> rows;
    } cases[] = {{486, {121, 122, 122, 121}}, {3, {0, 1, 1, 1}}, {240, {34, 35, 35, 34, 34, 34, 34}}};
    for (const auto& c : cases)
        for (int i = 0; i < (int)c.rows.size(); ++i) {
            int32_t first, count;
            RowBand(c.height, (int)c.rows.size(), i, &first, &count);
            EXPECT_EQ(count, c.rows[i]) << c.height << " job " << i;
        }
    for (uint32_t height : {1u, 486u, 1080u})
        for (int jobs = 1; jobs <= 16; ++jobs) {
            int32_t next = 0;
            for (int i = 0; i < jobs; ++i) {
                int32_t first, count;
                RowBand(height, jobs, i, &first, &count);
                ASSERT_EQ(first, next) << height << "/" << jobs;
                next += count;
            }
            EXPECT_EQ((uint32_t)next, height);
        }
}

TEST(DriverSplit, SegmentRuns) {
    struct Case {
        int segments, jobs;
        std::vector<int> runs;
    } cases[] = {{270, 4, {67, 67, 67, 69}}, {324, 5, {64, 64, 64, 64, 68}}};
    for (const Case& c : cases) {
        int32_t next = 0;
        for (int i = 0; i < c.jobs; ++i) {
            int32_t first, end;
            SegmentRun(c.segments, c.jobs, i, &first, &end);
            EXPECT_EQ(first, next);
            EXPECT_EQ(end - first, c.runs[i]) << c.segments << "/" << c.jobs << " job " << i;
            next = end;
        }
        EXPECT_EQ(next, c.segments);
    }
}

TEST(DriverSplit, HalfSizeChoice) {
    struct Case {
        uint32_t width, height;
        bool half;
    } cases[] = {
        {360, 288, true},  {360, 0, true},    {640, 360, true},    {960, 540, true},  {720, 540, true},
        {720, 576, false}, {960, 360, false}, {1920, 1080, false}, {361, 288, false}, {0, 0, false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsHalfSize(c.width, c.height), c.half) << c.width << "x" << c.height;
}

TEST(DriverSplit, JobCountFollowsProcessorsUpToSixteen) {
    struct Case {
        int processors;
        uint32_t flags;
        int jobs;
    } cases[] = {{5, 0, 5}, {16, 0, 16}, {24, 0, 16}, {8, HVDV_FLAG_SINGLE_THREAD | HVDV_FLAG_SWAP_FIELDS, 1},
                 {8, HVDV_FLAG_IGNORE_WIDE, 8}};
    for (const Case& c : cases) {
        SetProcessorCountOverride(c.processors);
        EXPECT_EQ(JobCount(c.flags), c.jobs) << c.processors << " processors, flags " << c.flags;
    }
    SetProcessorCountOverride(0);
}

// Kinds without a macroblock layout (three 525 units, 0x4001) are refused
// and the system set up for the picture height stays.
TEST(DriverSystem, SetUpSystemRefusesKindsWithoutALayout) {
    const struct {
        uint32_t type;
        int macroblocks;  // 0: refused
    } cases[] = {{0x4002, 1620}, {0x5003, 1350}, {0x4001, 0}, {0x4004, 3240}, {0x4024, 6075}};
    for (uint32_t height : {480u, 576u})
        for (const auto& c : cases) {
            CDVCoder coder;
            coder.SetUpSystemForHeight(height);
            EXPECT_EQ(coder.SetUpSystem(c.type), c.macroblocks != 0) << std::hex << c.type;
            EXPECT_EQ(coder.macroblockCount, c.macroblocks ? c.macroblocks : height == 480 ? 1350 : 1620);
        }
    CDVCoder fresh;
    EXPECT_FALSE(fresh.SetUpSystem(0x01));
    EXPECT_EQ(fresh.macroblockTable, nullptr);
}

TEST_F(DriverTest, SharesSegmentsAndRowsAmongJobs) {
    // processors, flags, jobs, height, writer with FlushRows, decoded segments
    struct Case {
        int processors;
        uint32_t flags;
        int jobs;
        uint32_t height;
        bool withFlush;
        int segments;
    } cases[] = {{4, 0, 4, 486, true, 270}, {16, 0, 16, 240, false, 270}, {3, 0, 3, 1080, true, 324},
                 {8, HVDV_FLAG_SINGLE_THREAD, 1, 576, true, 324}};
    const int baseline = BaselineThreads();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.jobs << " jobs, height " << c.height);
        SetProcessorCountOverride(c.processors);
        FakeWriter w(c.withFlush);
        g_writer = &w;
        g_calls.clear();
        EXPECT_EQ(DecompressBuffer_DV(frame.data(), 0, picture.data(), 0, 720, c.height, c.flags, HVDV_FOURCC_UYVY, 0,
                                      0),
                  HVDV_DECODE_FAILED)
            << "every macroblock damaged";
        ASSERT_EQ(g_calls.size(), 1u);
        EXPECT_EQ(g_calls[0].format, (uint32_t)0x2331);
        EXPECT_EQ(g_calls[0].threadCount, c.jobs);
        ExpectSharedOut(w, c.jobs, c.segments, c.height, c.withFlush);
        EXPECT_EQ(ThreadsSettled(baseline), baseline) << "a stateless decode leaves no thread";
    }
}

TEST_F(DriverTest, WriterArgumentsAndRefusals) {
    SetProcessorCountOverride(2);
    // A writer that cannot begin its frame is released and nothing decoded.
    FakeWriter failing;
    failing.failBegin = 1;
    g_writer = &failing;
    EXPECT_EQ(DecompressBuffer_DV(frame.data(), 0, picture.data(), 0, 360, 288, 0, HVDV_FOURCC_BGR4, 0, 0), 0);
    EXPECT_EQ(failing.macroblocks, 0);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].format, (uint32_t)0x4323);
    EXPECT_EQ(g_calls[0].halfSize, 1);
    // No writer at all.
    g_writer = nullptr;
    EXPECT_EQ(DecompressBuffer_DV(frame.data(), 0, picture.data(), 0, 720, 576, 0, HVDV_FOURCC_BGR4, 0, 0), 0);
    // Unknown formats never reach the factory.
    g_calls.clear();
    for (uint32_t fourcc : {0u, 0x32315659u /* "YV12" */, HVDV_FOURCC_YUY2 ^ 0x20u})
        EXPECT_EQ(DecompressBuffer_DV(frame.data(), 0, picture.data(), 0, 720, 576, 0, fourcc, 0, 0), 0);
    EXPECT_TRUE(g_calls.empty());
}

#if defined(__i386__) || defined(__x86_64__) || defined(_M_IX86) || defined(_M_X64)
TEST_F(DriverTest, ProcessorWithoutSse2DecodesNothing) {
    FakeWriter w;
    g_writer = &w;
    CDVDecoder decoder(nullptr);
    decoder.SetUpSystemForHeight(576);
    decoder.cpuFeatures = 0;
    EXPECT_EQ(decoder.DecodeFrame(frame.data(), 0, picture.data(), 0, 720, 576, 0, 0x2331), 0);
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(w.macroblocks, 0);
}
#endif

std::vector<std::string> g_texts;
void CollectText(const char* text) { g_texts.push_back(text); }

TEST_F(DriverTest, A525LinePictureOfAnotherFrameIsDecodedAs525) {
    // Frames without packs are classified by size: 144000 bytes is 625/50,
    // 120000 bytes 525/60.
    std::vector<uint8_t> big(144000, 0);
    struct Case {
        uint32_t frameSize, height;
        bool text;
        int kind;
    } cases[] = {{144000, 486, true, 3}, {144000, 240, true, 3}, {144000, 576, false, 0}, {120000, 480, false, 3}};
    SetProcessorCountOverride(3);
    g_texts.clear();
    SetDebugTextHook(CollectText);
    for (const Case& c : cases) {
        FakeWriter w;
        g_writer = &w;
        g_calls.clear();
        const size_t before = g_texts.size();
        DecompressBuffer_DV(big.data(), c.frameSize, picture.data(), 0, 720, c.height, 0, HVDV_FOURCC_UYVY, 0, 0);
        ASSERT_EQ(g_calls.size(), 1u);
        const uint32_t classified = ClassifyFrame(big.data(), c.frameSize, c.height);
        EXPECT_EQ(g_texts.size() - before, c.text ? 1u : 0u) << c.frameSize << " " << c.height;
        if (c.text) {
            EXPECT_EQ(g_texts.back(), "DV: Unknown type \r\n");
            EXPECT_EQ(g_calls[0].frameKind, 3);
        } else {
            EXPECT_EQ(g_calls[0].frameKind, (int)(classified & 0xFF));
        }
        // 525/60 decodes ten DIF sequences: 270 segments.
        EXPECT_EQ(w.macroblocks, (c.kind == 3 ? 270 : 324) * 5);
    }
    SetDebugTextHook(nullptr);
}

TEST_F(DriverTest, WorkerCreationFailureFallsBackToTheCallingThread) {
    // jobs, events that may be created, threads that may be started
    struct Case {
        int jobs, eventBudget, threadBudget;
    } cases[] = {{4, -1, 1}, {4, 3, -1}, {16, 9, 5}};
    const int baseline = BaselineThreads();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.jobs << " jobs, events " << c.eventBudget << ", threads " << c.threadBudget);
        // Without an instance.
        SetProcessorCountOverride(c.jobs);
        FakeWriter w;
        g_writer = &w;
        SetEventCreationBudget(c.eventBudget);
        SetThreadStartBudget(c.threadBudget);
        EXPECT_EQ(DecompressBuffer_DV(frame.data(), 0, picture.data(), 0, 720, 576, 0, HVDV_FOURCC_UYVY, 0, 0), 0);
        ExpectSharedOut(w, c.jobs, 324, 576, true);
        EXPECT_EQ(ThreadsSettled(baseline), baseline);

        // With an instance: the first frame falls back, the next one starts
        // the missing workers once creation works again.
        DVDecInstance* instance = DVNewDec();
        ASSERT_NE(instance, nullptr);
        for (int frameNo = 0; frameNo < 2; ++frameNo) {
            if (frameNo == 1) {
                SetEventCreationBudget(-1);
                SetThreadStartBudget(-1);
            }
            FakeWriter wi;
            g_writer = &wi;
            DVDecompressBuffer(instance, frame.data(), 0, picture.data(), 0, 720, 480, 0, HVDV_FOURCC_UYVY, 0, 0);
            ExpectSharedOut(wi, c.jobs, 270, 480, true);
        }
        EXPECT_EQ(ThreadsSettled(baseline + c.jobs - 1), baseline + c.jobs - 1);
        DVDoneDec(instance);
        EXPECT_EQ(ThreadsSettled(baseline), baseline);
    }
}

TEST_F(DriverTest, InstanceWorkersPersistGrowAndEnd) {
    const int baseline = BaselineThreads();
    DVDoneDec(nullptr);
    DVDoneDec(DVNewDec());  // never decoded: nothing to end
    EXPECT_EQ(ThreadsOfProcess(), baseline);

    DVDecInstance* instance = DVNewDec();
    ASSERT_NE(instance, nullptr);
    std::thread::id workerThread[16];
    // jobs per frame and the workers expected alive afterwards
    const int plan[][2] = {{4, 3}, {8, 7}, {2, 7}, {8, 7}};
    for (const auto& step : plan) {
        SCOPED_TRACE(testing::Message() << step[0] << " jobs");
        SetProcessorCountOverride(step[0]);
        FakeWriter w;
        g_writer = &w;
        DVDecompressBuffer(instance, frame.data(), 0, picture.data(), 0, 720, 576, 0, HVDV_FOURCC_UYVY, 0, 0);
        ExpectSharedOut(w, step[0], 324, 576, true);
        EXPECT_EQ(ThreadsOfProcess(), baseline + step[1]);
        // Once started, a worker is woken for later frames, not restarted.
        for (int i = 1; i < step[0]; ++i) {
            if (workerThread[i] != std::thread::id()) {
                EXPECT_EQ(w.macroblockThreads[i][0], workerThread[i]) << "job " << i;
            }
            workerThread[i] = w.macroblockThreads[i][0];
        }
    }
    DVDoneDec(instance);
    EXPECT_EQ(ThreadsSettled(baseline), baseline);
}

TEST_F(DriverTest, UnknownFourccLeavesTheInstanceUsable) {
    SetProcessorCountOverride(2);
    DVDecInstance* instance = DVNewDec();
    ASSERT_NE(instance, nullptr);
    FakeWriter w;
    g_writer = &w;
    picture.assign(picture.size(), 0x5A);
    EXPECT_EQ(DVDecompressBuffer(instance, frame.data(), 0, picture.data(), 0, 720, 576, 0, 0x31313131u, 0, 0), 0);
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(picture, std::vector<uint8_t>(picture.size(), 0x5A));
    // The lock was left: another thread can decode on the instance.
    std::thread other([&] {
        DVDecompressBuffer(instance, frame.data(), 0, picture.data(), 0, 720, 576, 0, HVDV_FOURCC_VUYA, 0, 0);
    });
    other.join();
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].format, (uint32_t)0x4330);
    EXPECT_EQ(w.macroblocks, 324 * 5);
    DVDoneDec(instance);
}

}  // namespace
}  // namespace hvdv
