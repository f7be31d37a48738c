// Lifetimes under repetition: thousands of decodes through instances made
// and ended in a loop and through the stateless call leave no thread, no
// descriptor and (outside the sanitizer builds, where LeakSanitizer checks
// every allocation at exit) no growing memory behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>
#include <vector>

#include "build_kind.h"
#include "hv_dec_dv.h"
#include "proc_counts.h"
#include "test_streams.h"
#include "threads/platform.h"

namespace {

class LifecycleStress : public ::testing::Test {
protected:
    void TearDown() override { hvdv::SetProcessorCountOverride(0); }
};

TEST_F(LifecycleStress, InstancesAndStatelessCallsLeaveNothingBehind) {
    if (hvdv_test::ThreadCount() < 0) GTEST_SKIP() << "no /proc";
    const auto streams = testdata::Streams25();
    struct Frame {
        const uint8_t* data;
        uint32_t bytes, height;
    };
    std::vector<Frame> frames;
    for (const auto& s : streams)
        for (size_t f = 0; f < s.frames(); ++f) frames.push_back({s.frame(f), s.frameBytes, s.height});
    ASSERT_FALSE(frames.empty());

    std::vector<uint8_t> picture(720 * 576 * 4);
    // Half-size decodes keep the loop quick; job counts from 1 to 16 make
    // instances start workers, grow, and end them.
    auto decode = [&](DVDecInstance* instance, int n) {
        const Frame& f = frames[(size_t)n % frames.size()];
        const uint32_t fourcc = n % 3 ? HVDV_FOURCC_YUY2 : HVDV_FOURCC_BGR4;
        const int32_t pitch = n % 3 ? 720 : 1440;
        hvdv::SetProcessorCountOverride(1 + n % 16);
        return instance ? DVDecompressBuffer(instance, f.data, f.bytes, picture.data(), pitch, 360, f.height / 2, 0,
                                             fourcc, 0, 0)
                        : DecompressBuffer_DV(f.data, f.bytes, picture.data(), pitch, 360, f.height / 2, 0, fourcc,
                                              0, 0);
    };

    // One round first, so that lazily built tables and the allocator's
    // arenas for worker threads exist before the baseline.
    for (int n = 0; n < 32; ++n) ASSERT_EQ(decode(nullptr, n), HVDV_DECODE_OK);
    const long threads = hvdv_test::ThreadCountSettled(0);
    const long descriptors = hvdv_test::OpenDescriptors();
    const long resident = hvdv_test::ResidentKiB();

    const int instances = hvdv_test::kSanitized ? 60 : 200;
    const int perInstance = 5;
    const int stateless = hvdv_test::kSanitized ? 300 : 1000;
    int failed = 0;
    for (int i = 0; i < instances; ++i) {
        DVDecInstance* instance = DVNewDec();
        ASSERT_NE(instance, nullptr);
        for (int n = 0; n < perInstance; ++n) failed += decode(instance, i * perInstance + n) != HVDV_DECODE_OK;
        // Some instances end without ever decoding.
        if (i % 10 == 0) DVDoneDec(DVNewDec());
        DVDoneDec(instance);
    }
    for (int n = 0; n < stateless; ++n) failed += decode(nullptr, n) != HVDV_DECODE_OK;
    EXPECT_EQ(failed, 0);

    EXPECT_EQ(hvdv_test::ThreadCountSettled(threads), threads) << "threads left running";
    EXPECT_EQ(hvdv_test::OpenDescriptors(), descriptors) << "descriptors left open";
    const long grown = hvdv_test::ResidentKiB() - resident;
    std::printf("lifecycle: %d decodes, %d instances; resident memory grew by %ld KiB\n",
                instances * perInstance + stateless, instances + instances / 10, grown);
    // A picture's work buffers are about a megabyte: keeping one per decode
    // would show as hundreds of megabytes here.
    if (!hvdv_test::kSanitized) {
        EXPECT_LT(grown, 64 * 1024);
    }
}

}  // namespace
