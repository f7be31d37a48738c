// Worker threads through the decode calls: when events or threads cannot be
// created, the jobs of the workers that did not start run on the calling
// thread and the picture is the same; an instance keeps the workers that
// started and starts the others on a later frame once creation works again;
// nothing is left running after DVDoneDec or a stateless call.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "hv_dec_dv.h"
#include "proc_counts.h"
#include "test_streams.h"
#include "threads/platform.h"

namespace {

class Workers : public ::testing::Test {
protected:
    void TearDown() override {
        hvdv::SetProcessorCountOverride(0);
        hvdv::SetEventCreationBudget(-1);
        hvdv::SetThreadStartBudget(-1);
    }
};

TEST_F(Workers, FailedStartsLeaveTheirJobsToTheCallingThread) {
    const testdata::Stream s = testdata::Load("ntsc_411_48k.dv", 120000, 480);
    ASSERT_GT(s.frames(), 0u);
    auto decode = [&](DVDecInstance* instance, uint32_t flags) {
        std::vector<uint8_t> picture((size_t)720 * 480 * 2, 0x5A);
        const int32_t r = instance ? DVDecompressBuffer(instance, s.frame(0), s.frameBytes, picture.data(), 1440, 720,
                                                        480, flags, HVDV_FOURCC_UYVY, 0, 0)
                                   : DecompressBuffer_DV(s.frame(0), s.frameBytes, picture.data(), 1440, 720, 480,
                                                         flags, HVDV_FOURCC_UYVY, 0, 0);
        EXPECT_EQ(r, HVDV_DECODE_OK);
        return picture;
    };
    const std::vector<uint8_t> reference = decode(nullptr, HVDV_FLAG_SINGLE_THREAD);
    // The thread sanitizer adds a helper thread with the first thread, and
    // GoogleTest on Windows a watcher with the first SCOPED_TRACE: both
    // before counting.
    std::thread([] {}).join();
    { SCOPED_TRACE("thread count baseline"); }
    const long threads = hvdv_test::ThreadCountAtRest();
    // Jobs (most leaving a remainder of the 480 rows to share), then how many
    // event creations and thread starts succeed (-1: all).
    const struct {
        int jobs, events, starts;
    } cases[] = {{7, -1, 2}, {9, 1, -1}, {16, 9, 5}, {11, -1, 0}, {13, 2, -1}, {7, 4, -1}, {3, -1, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.jobs << " jobs, budgets " << c.events << " " << c.starts);
        hvdv::SetProcessorCountOverride(c.jobs);
        DVDecInstance* instance = DVNewDec();
        for (DVDecInstance* in : {(DVDecInstance*)nullptr, instance}) {
            hvdv::SetEventCreationBudget(c.events);
            hvdv::SetThreadStartBudget(c.starts);
            EXPECT_TRUE(decode(in, 0) == reference);
            if (in && c.events < 0 && threads >= 0) {
                const long started = threads + std::min(c.jobs - 1, c.starts < 0 ? c.jobs : c.starts);
                EXPECT_EQ(hvdv_test::ThreadCountSettled(started), started) << "the threads that started stay";
            }
            hvdv::SetEventCreationBudget(-1);
            hvdv::SetThreadStartBudget(-1);
            EXPECT_TRUE(decode(in, 0) == reference);
            EXPECT_TRUE(decode(in, 0) == reference);
        }
        if (threads >= 0) {
            EXPECT_EQ(hvdv_test::ThreadCountSettled(threads + c.jobs - 1), threads + c.jobs - 1) << "an instance keeps its workers";
        }
        DVDoneDec(instance);
        EXPECT_EQ(hvdv_test::ThreadCountSettled(threads), threads) << "threads left running";
    }
}

}  // namespace
