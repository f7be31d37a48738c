// Load: many callers decoding at once, each with its own instance and with
// the stateless call, for a bounded time.  Every picture must equal the
// single-threaded decode of the same frame, byte for byte.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "build_kind.h"
#include "guarded_picture.h"
#include "hv_dec_dv.h"
#include "test_streams.h"
#include "threads/platform.h"

namespace {

using hvdv_test::GuardedPicture;

struct Output {
    uint32_t fourcc, bytesPerPixel;
    bool half, bottomUp;
};

const Output kOutputs[] = {{HVDV_FOURCC_YUY2, 2, false, false},
                           {HVDV_FOURCC_BGR4, 4, false, true},
                           {HVDV_FOURCC_UYVY, 2, true, false},
                           {HVDV_FOURCC_R565, 2, false, false}};

struct Item {
    const uint8_t* frame;
    uint32_t frameBytes, width, height;
    Output output;
    std::vector<uint8_t> reference;
};

struct Result {
    int32_t code;
    std::string trespass;
    std::vector<uint8_t> rows;
};

Result Decode(DVDecInstance* instance, const Item& item, uint32_t flags) {
    GuardedPicture p(item.width, item.height, item.output.bytesPerPixel, 0, item.output.bottomUp);
    const int32_t r =
        instance ? DVDecompressBuffer(instance, item.frame, item.frameBytes, p.Top(), p.Pitch(), item.width,
                                      item.height, flags, item.output.fourcc, 0, 0)
                 : DecompressBuffer_DV(item.frame, item.frameBytes, p.Top(), p.Pitch(), item.width, item.height,
                                       flags, item.output.fourcc, 0, 0);
    return {r, p.Trespass(), p.Rows()};
}

class Stress : public ::testing::Test {
protected:
    void TearDown() override { hvdv::SetProcessorCountOverride(0); }
};

TEST_F(Stress, ConcurrentCallersMatchTheSingleThreadedPicture) {
    const auto streams = testdata::Streams25();
    std::vector<Item> items;
    for (const auto& s : streams) {
        ASSERT_GE(s.frames(), 2u) << s.name;
        for (size_t f = 0; f < 2; ++f)
            for (const Output& o : kOutputs) {
                Item item{s.frame(f), s.frameBytes, o.half ? 360u : 720u, o.half ? s.height / 2 : s.height, o, {}};
                const Result single = Decode(nullptr, item, HVDV_FLAG_SINGLE_THREAD);
                ASSERT_EQ(single.code, HVDV_DECODE_OK) << s.name;
                item.reference = single.rows;
                items.push_back(std::move(item));
            }
    }

    // Callers, and jobs per decode (0: the processor count).
    struct Load {
        int callers, jobs;
    } loads[] = {{2, 16}, {4, 3}, {16, 0}};
    const auto budget = std::chrono::milliseconds(1000);
    for (const Load& load : loads) {
        hvdv::SetProcessorCountOverride(load.jobs);
        std::atomic<int> mismatches{0}, failures{0}, trespasses{0};
        std::vector<int> decodes(load.callers, 0);
        std::vector<std::thread> callers;
        const auto start = std::chrono::steady_clock::now();
        for (int t = 0; t < load.callers; ++t)
            callers.emplace_back([&, t] {
                DVDecInstance* instance = DVNewDec();
                if (!instance) {
                    ++failures;
                    return;
                }
                size_t i = (size_t)t * 7;
                do {
                    const Item& item = items[i % items.size()];
                    const Result r = Decode(i % 2 ? instance : nullptr, item, 0);
                    if (r.code != HVDV_DECODE_OK) ++failures;
                    if (!r.trespass.empty()) ++trespasses;
                    if (r.rows != item.reference) ++mismatches;
                    ++decodes[t];
                    ++i;
                } while (std::chrono::steady_clock::now() - start < budget);
                DVDoneDec(instance);
            });
        for (auto& c : callers) c.join();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        int total = 0;
        for (int t = 0; t < load.callers; ++t) {
            EXPECT_GT(decodes[t], 0) << "caller " << t;
            total += decodes[t];
        }
        EXPECT_EQ(mismatches.load(), 0) << load.callers << " callers";
        EXPECT_EQ(failures.load(), 0) << load.callers << " callers";
        EXPECT_EQ(trespasses.load(), 0) << load.callers << " callers";
        std::printf("stress: %2d callers, %2d jobs per decode: %d decodes in %.2f s, %.0f frames/s\n", load.callers,
                    load.jobs, total, seconds, total / seconds);
    }
}

}  // namespace
