// Load: many callers decoding at once, each with its own instance and with
// the stateless call, for a bounded time.  Every picture must equal the
// single-threaded decode of the same frame, byte for byte, and stay inside
// its guard bytes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <tuple>
#include <vector>

#include "guarded_picture.h"
#include "hv_dec_dv.h"
#include "test_streams.h"
#include "threads/platform.h"

namespace {

struct Item {
    const uint8_t* frame;
    uint32_t frameBytes, width, height, fourcc, bytesPerPixel;
    std::vector<uint8_t> reference;
};

// The picture rows, or nothing when the call failed or wrote outside them.
std::vector<uint8_t> Decode(DVDecInstance* instance, const Item& it, uint32_t flags) {
    // The RGB picture bottom-up (negative pitch).
    hvdv_test::GuardedPicture p(it.width, it.height, it.bytesPerPixel, 0, it.bytesPerPixel == 4);
    const int32_t r = instance ? DVDecompressBuffer(instance, it.frame, it.frameBytes, p.Top(), p.Pitch(), it.width,
                                                    it.height, flags, it.fourcc, 0, 0)
                               : DecompressBuffer_DV(it.frame, it.frameBytes, p.Top(), p.Pitch(), it.width, it.height,
                                                     flags, it.fourcc, 0, 0);
    return r == HVDV_DECODE_OK && p.Trespass().empty() ? p.Rows() : std::vector<uint8_t>();
}

TEST(Stress, ConcurrentCallersMatchTheSingleThreadedPicture) {
    const auto streams = testdata::Streams25();
    std::vector<Item> items;
    for (const auto& s : streams)
        for (size_t f = 0; f < 2 && f < s.frames(); ++f)
            for (const auto& [fourcc, bpp, half] :
                 std::initializer_list<std::tuple<uint32_t, uint32_t, uint32_t>>{{HVDV_FOURCC_YUY2, 2, 0},
                                                                                 {HVDV_FOURCC_BGR4, 4, 0},
                                                                                 {HVDV_FOURCC_UYVY, 2, 1},
                                                                                 {HVDV_FOURCC_R565, 2, 0}}) {
                Item it{s.frame(f), s.frameBytes, 720u >> half, s.height >> half, fourcc, bpp, {}};
                it.reference = Decode(nullptr, it, HVDV_FLAG_SINGLE_THREAD);
                ASSERT_FALSE(it.reference.empty()) << s.name;
                items.push_back(std::move(it));
            }
    // Callers, and jobs per decode (0: the processor count).
    for (const auto& [callers, jobs] : {std::pair{2, 16}, std::pair{4, 3}, std::pair{16, 0}}) {
        hvdv::SetProcessorCountOverride(jobs);
        std::atomic<int> bad{0}, total{0};
        std::vector<std::thread> threads;
        const auto start = std::chrono::steady_clock::now();
        for (int t = 0; t < callers; ++t)
            threads.emplace_back([&, t] {
                DVDecInstance* instance = DVNewDec();
                bad += !instance;
                for (size_t i = (size_t)t * 7; std::chrono::steady_clock::now() - start < std::chrono::seconds(1);
                     ++i) {
                    const Item& it = items[i % items.size()];
                    bad += Decode(i % 2 ? instance : nullptr, it, 0) != it.reference;
                    ++total;
                }
                DVDoneDec(instance);
            });
        for (auto& t : threads) t.join();
        EXPECT_EQ(bad.load(), 0) << callers << " callers, " << jobs << " jobs";
        std::printf("stress: %2d callers, %2d jobs per decode: %d decodes in 1 s\n", callers, jobs, total.load());
    }
    hvdv::SetProcessorCountOverride(0);
}

}  // namespace
