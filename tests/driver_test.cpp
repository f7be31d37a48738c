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
#include "fake_writer.h"
#include "hv_dec_dv.h"
#include "thread_count.h"
#include "threads/platform.h"

namespace hvdv {
namespace {

using hvdv_test::FakeWriter;
using hvdv_test::ThreadsOfProcess;
using V = std::vector<int>;

// The thread count to come back to.  One thread is started and ended first
// (the thread sanitizer adds a helper thread with the first one), and a
// SCOPED_TRACE is made (GoogleTest on Windows starts a watcher with it).
int BaselineThreads() {
    std::thread([] {}).join();
    [] { SCOPED_TRACE("thread count baseline"); }();
    return ThreadsOfProcess();
}

// Waits briefly for exiting threads to leave the process's thread list.
int ThreadsSettled(int expected) {
    int n = ThreadsOfProcess();
    for (int i = 0; i < 200 && n != expected; ++i, n = ThreadsOfProcess())
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return n;
}

FakeWriter* g_writer = nullptr;
std::vector<V> g_calls;  // format, threads, frame kind, half size, wide screen

DVPictureWriter* FakeFactory(uint32_t format, int threads, int kind, int half, int wide) {
    g_calls.push_back({int(format), threads, kind, half, wide});
    return g_writer ? &g_writer->w : nullptr;
}

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override { SetWriterFactoryForTests(FakeFactory); }
    void TearDown() override {
        SetWriterFactoryForTests(nullptr);
        SetProcessorCountOverride(0);
        g_writer = nullptr;
        SetEventCreationBudget(-1);
        SetThreadStartBudget(-1);
    }
    // A frame that holds no byte: every macroblock is decoded grey and
    // counted damaged.
    int Decode(DVDecInstance* in, uint32_t height, uint32_t fourcc = HVDV_FOURCC_UYVY, uint32_t width = 720) {
        return in ? DVDecompressBuffer(in, frame.data(), 0, picture.data(), 0, width, height, 0, fourcc, 0, 0)
                  : DecompressBuffer_DV(frame.data(), 0, picture.data(), 0, width, height, 0, fourcc, 0, 0);
    }
    std::vector<uint8_t> frame = std::vector<uint8_t>(16, 0), picture = std::vector<uint8_t>(16, 0);
};

// Every macroblock handed over once, by the thread of its job (job 0 on the
// caller's); every band flushed once, on the same thread, after the barrier.
void ExpectSharedOut(const FakeWriter& w, int jobs, int segments, uint32_t height, bool withFlush = true) {
    for (int i = 0; i < 16; ++i) {
        int32_t first = 0, end = 0;
        if (i < jobs) SegmentRun(segments, jobs, i, &first, &end);
        EXPECT_EQ((V{w.macroblocksPerIndex[i], w.macroblockThreads[i].size() <= 1}), (V{(end - first) * 5, 1})) << i;
    }
    EXPECT_TRUE(w.macroblockThreads[0].empty() || w.macroblockThreads[0][0] == std::this_thread::get_id());
    EXPECT_EQ((V{w.macroblocks, w.endFrames, w.freed, int(w.flushes.size())}),
              (V{segments * 5, !withFlush, 1, withFlush ? jobs : 0}));
    int seen = 0;  // jobs that flushed, one bit each
    for (const FakeWriter::Flush& f : w.flushes) {
        ASSERT_TRUE(f.threadIndex >= 0 && f.threadIndex < jobs && !(seen >> f.threadIndex & 1));
        seen |= 1 << f.threadIndex;
        int32_t first, count;
        RowBand(height, jobs, f.threadIndex, &first, &count);
        EXPECT_EQ((V{f.firstRow, f.rowCount, f.macroblocksBefore}), (V{first, count, segments * 5}));
        if (!w.macroblockThreads[f.threadIndex].empty()) {
            EXPECT_EQ(f.thread, w.macroblockThreads[f.threadIndex][0]);
        }
    }
}

// Bands follow one another and cover the picture; the remainder rows go to
// the middle jobs.  Segment runs give the remainder to the last job.
TEST(DriverSplit, RowBandsAndSegmentRuns) {
    const struct {
        uint32_t height;
        V rows;
    } bands[] = {{486, {121, 122, 122, 121}}, {3, {0, 1, 1, 1}}, {1080, {}}, {1, {}}};
    for (const auto& c : bands)
        for (int jobs = 1; jobs <= 16; ++jobs) {
            int32_t next = 0, first, count;
            for (int i = 0; i < jobs; ++i, next += count) {
                RowBand(c.height, jobs, i, &first, &count);
                ASSERT_EQ(first, next) << c.height << "/" << jobs;
                if (jobs == (int)c.rows.size()) {
                    EXPECT_EQ(count, c.rows[i]) << c.height << " job " << i;
                }
            }
            EXPECT_EQ((uint32_t)next, c.height);
        }
    const struct {
        int segments;
        V runs;
    } runs[] = {{270, {67, 67, 67, 69}}, {324, {64, 64, 64, 64, 68}}};
    for (const auto& c : runs) {
        int32_t next = 0, first, end;
        for (int i = 0; i < (int)c.runs.size(); ++i, next = end) {
            SegmentRun(c.segments, (int)c.runs.size(), i, &first, &end);
            EXPECT_EQ((V{first, end - first}), (V{next, c.runs[i]})) << c.segments << " job " << i;
        }
        EXPECT_EQ(next, c.segments);
    }
}

TEST_F(DriverTest, HalfSizeJobCountAndSystems) {
    const struct {
        uint32_t width, height;
        bool half;
    } sizes[] = {{360, 0, true},    {960, 540, true},  {720, 540, true},
                 {720, 576, false}, {960, 360, false}, {361, 288, false}};
    for (const auto& c : sizes) EXPECT_EQ(IsHalfSize(c.width, c.height), c.half) << c.width << "x" << c.height;
    const struct {
        int processors;
        uint32_t flags;
        int jobs;
    } counts[] = {
        {5, 0, 5}, {24, 0, 16}, {8, HVDV_FLAG_SINGLE_THREAD | HVDV_FLAG_SWAP_FIELDS, 1}, {8, HVDV_FLAG_IGNORE_WIDE, 8}};
    for (const auto& c : counts) {
        SetProcessorCountOverride(c.processors);
        EXPECT_EQ(JobCount(c.flags), c.jobs) << c.processors << " " << c.flags;
    }
    // Kinds without a macroblock layout (three 525 units) are refused and the
    // system set up for the picture height stays.
    const struct {
        uint32_t type;
        int macroblocks;
    } kinds[] = {{0x4002, 1620}, {0x4001, 0}, {0x4024, 6075}};
    for (uint32_t height : {480u, 576u})
        for (const auto& c : kinds) {
            CDVCoder coder;
            coder.SetUpSystemForHeight(height);
            EXPECT_EQ(coder.SetUpSystem(c.type), c.macroblocks != 0) << std::hex << c.type;
            EXPECT_EQ(coder.macroblockCount, c.macroblocks ? c.macroblocks : height == 480 ? 1350 : 1620);
        }
}

TEST_F(DriverTest, WriterRefusalsAndUnknownFormats) {
    SetProcessorCountOverride(2);
    FakeWriter failing;  // cannot begin its frame: nothing decoded
    failing.failBegin = 1, g_writer = &failing;
    EXPECT_EQ(Decode(nullptr, 288, HVDV_FOURCC_BGR4, 360), 0);
    EXPECT_EQ((g_calls.size() == 1 ? V{g_calls[0][0], g_calls[0][3], failing.macroblocks} : V{}), (V{0x4323, 1, 0}));
    // Unknown formats never reach the factory, leave the picture alone and
    // leave the instance's lock: another thread decodes on it next.
    FakeWriter w;
    g_writer = &w;
    g_calls.clear();
    DVDecInstance* instance = DVNewDec();
    picture.assign(picture.size(), 0x5A);
    for (uint32_t fourcc : {0u, 0x32315659u /* "YV12" */, HVDV_FOURCC_YUY2 ^ 0x20u})
        EXPECT_EQ(Decode(instance, 576, fourcc), 0);
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(picture, std::vector<uint8_t>(picture.size(), 0x5A));
    std::thread([&] { Decode(instance, 576, HVDV_FOURCC_VUYA); }).join();
    EXPECT_EQ((g_calls.size() == 1 ? V{g_calls[0][0], w.macroblocks} : V{}), (V{0x4330, 324 * 5}));
    DVDoneDec(instance);
}

std::string g_text;
void CollectText(const char* text) {
    g_text += text;
}

// Frames without packs are classified by size (144000 bytes 625/50, 120000
// 525/60); a 525-line picture of another frame is decoded as 525/60 (ten DIF
// sequences, 270 segments) after a debug text.
TEST_F(DriverTest, A525LinePictureOfAnotherFrameIsDecodedAs525) {
    std::vector<uint8_t> big(144000, 0);
    const struct {
        uint32_t frameSize, height;
        bool text;
    } cases[] = {{144000, 486, true}, {144000, 240, true}, {144000, 576, false}, {120000, 480, false}};
    SetProcessorCountOverride(3);
    SetDebugTextHook(CollectText);
    for (const auto& c : cases) {
        FakeWriter w;
        g_writer = &w;
        g_calls.clear();
        g_text.clear();
        DecompressBuffer_DV(big.data(), c.frameSize, picture.data(), 0, 720, c.height, 0, HVDV_FOURCC_UYVY, 0, 0);
        ASSERT_EQ(g_calls.size(), 1u);
        const int kind = c.text ? 3 : int(ClassifyFrame(big.data(), c.frameSize, c.height) & 0xFF);
        EXPECT_EQ(g_text, c.text ? "DV: Unknown type \r\n" : "");
        EXPECT_EQ((V{g_calls[0][2], w.macroblocks}), (V{kind, (kind == 3 ? 270 : 324) * 5})) << c.height;
    }
    SetDebugTextHook(nullptr);
}

// Segments and rows shared among jobs, stateless and on an instance.
// Workers that cannot be started leave their jobs to the calling thread; an
// instance starts them on a later frame once creation works again, keeps
// them for later frames (woken, not restarted), grows them and ends them.
TEST_F(DriverTest, SharingFallbackPersistenceAndEnd) {
    const int baseline = BaselineThreads();
    DVDoneDec(nullptr), DVDoneDec(DVNewDec());  // never decoded: nothing to end
    DVDecInstance* instance = DVNewDec();
    std::thread::id workerThread[16];
    const struct {
        bool onInstance;
        int jobs, events, threads, alive;
        uint32_t height;
        bool flush;
    } plan[] = {{0, 4, -1, -1, 0, 486, true}, {0, 16, -1, -1, 0, 240, false}, {0, 3, -1, -1, 0, 1080, true},
                {0, 4, 3, 1, 0, 576, true},   {0, 16, 9, 5, 0, 480, true},    {1, 4, 3, 1, -1, 480, true},
                {1, 4, -1, -1, 3, 480, true}, {1, 8, 9, 5, -1, 576, true},    {1, 8, -1, -1, 7, 576, true},
                {1, 2, -1, -1, 7, 480, true}};  // alive: workers afterwards, -1 not checked
    for (const auto& p : plan) {
        SCOPED_TRACE(testing::Message() << p.onInstance << ", " << p.jobs << " jobs, " << p.events << " " << p.threads);
        SetProcessorCountOverride(p.jobs);
        SetEventCreationBudget(p.events);
        SetThreadStartBudget(p.threads);
        FakeWriter w(p.flush);
        g_writer = &w;
        g_calls.clear();
        EXPECT_EQ(Decode(p.onInstance ? instance : nullptr, p.height), 0) << "every macroblock damaged";
        EXPECT_EQ((g_calls.size() == 1 ? V{g_calls[0][0], g_calls[0][1]} : V{}), (V{0x2331, p.jobs}));
        ExpectSharedOut(w, p.jobs, p.height % 576 && p.height != 1080 ? 270 : 324, p.height, p.flush);
        if (p.alive >= 0) {
            EXPECT_EQ(ThreadsSettled(baseline + p.alive), baseline + p.alive);
        }
        for (int i = 1; i < p.jobs && p.onInstance && p.events < 0; ++i) {
            if (workerThread[i] != std::thread::id()) {
                EXPECT_EQ(w.macroblockThreads[i][0], workerThread[i]) << i;
            }
            workerThread[i] = w.macroblockThreads[i][0];
        }
    }
    DVDoneDec(instance);
    EXPECT_EQ(ThreadsSettled(baseline), baseline);
}

}  // namespace
}  // namespace hvdv
