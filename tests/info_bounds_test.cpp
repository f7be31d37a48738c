// The stream information calls read nothing
// outside the caller's buffer, whatever its size: each size is copied into
// a heap allocation of exactly that many bytes, so that a read past its end
// is caught by AddressSanitizer (the sanitizer build in CI runs this).
//
// Sizes: every size up to 4096 bytes and in the last 1024 bytes of the
// frame; every size within 8 bytes of a frame size of some DV kind; every
// size from just before to just after the header bytes, the VAUX packs and
// first AAUX packs of every DIF channel; and elsewhere every 7th size up
// to 128 KiB and every 211th beyond.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "hv_dec_dv.h"
#include "test_streams.h"

namespace {

// Above this size every allocation is a fresh mapping under the sanitizer's
// allocator, and copying a frame into it costs page faults: such sizes are
// sampled more thinly.
constexpr uint32_t kLargeBuffer = 131072;

std::vector<uint32_t> SizesToTry(uint32_t frameBytes, uint32_t unit) {
    std::vector<bool> near(frameBytes + 1, false);
    // Every size from "from" to "to" inclusive.
    const auto mark = [&](int64_t from, int64_t to) {
        for (int64_t n = from; n <= to; ++n)
            if (n >= 0 && n <= int64_t(frameBytes)) near[size_t(n)] = true;
    };
    const int64_t frameSizes[] = {119200, 120000, 143040, 144000, 238400, 240000, 286080, 288000, 480000, 576000};
    for (int64_t s : frameSizes) mark(s - 8, s + 8);
    for (int64_t start = 0; start < frameBytes; start += unit) {
        // Header bytes and VAUX packs of the channel's first sequence, and
        // the first AAUX pack of each audio block (all sequences of the
        // first channel, the first two of the others): sizes that end just
        // before, inside and just after the pack's five bytes.
        mark(start, start + 9);
        for (int64_t pack : {448, 453, 468}) mark(start + pack - 1, start + pack + 6);
        for (int s = 0; s < (start == 0 ? 12 : 2); ++s) {
            for (int k = 0; k < 9; ++k) {
                const int64_t pack = start + 483 + 12000 * s + 1280 * k;
                mark(pack - 1, pack + 6);
            }
        }
    }
    std::vector<uint32_t> sizes;
    for (uint32_t n = 0; n <= frameBytes; ++n) {
        const uint32_t stride = n > kLargeBuffer ? 211 : 7;
        if (n <= 4096 || n + 1024 >= frameBytes || near[n] || n % stride == 0) sizes.push_back(n);
    }
    return sizes;
}

TEST(InfoBounds, NoReadOutsideTheBuffer) {
    const struct {
        const char* file;
        uint32_t frameBytes, unit;
    } streams[] = {
        {"sample_625_420.dv", 144000, 144000},
        {"ntsc_411_48k.dv", 120000, 120000},
        {"hd_1080i60.dv", 480000, 120000},
    };
    for (const auto& s : streams) {
        const std::vector<uint8_t> stream = testdata::ReadFile(s.file);
        ASSERT_GE(stream.size(), s.frameBytes) << s.file;
        int describedAt = -1;  // first size both info calls accept
        int calls = 0;
        for (uint32_t n : SizesToTry(s.frameBytes, s.unit)) {
            std::unique_ptr<uint8_t[]> copy(n ? new uint8_t[n] : nullptr);
            if (n) std::memcpy(copy.get(), stream.data(), n);
            const uint8_t* frame = copy.get();

            DVStreamInfo info;
            DVAudioInfo audio;
            int32_t audioValid;
            const int32_t r1 = DVGetInfo(frame, int32_t(n), &info, &audio, &audioValid);
            DVStreamInfoEx ex{};
            ex.size = sizeof ex;
            DVAudioInfoEx audioEx{};
            audioEx.size = sizeof audioEx;
            const int32_t r2 = DVGetInfoEx(frame, int32_t(n), &ex, &audioEx, &audioValid);
            if (describedAt < 0 && r1 == HVDV_INFO_OK && r2 == HVDV_INFO_OK) describedAt = int(n);
            ++calls;
        }
        // The whole frame is described, and nothing shorter than its own size
        // is by DVGetInfo (DVGetInfoEx takes any size from 120000 bytes).
        EXPECT_EQ(describedAt, int(s.frameBytes)) << s.file;
        EXPECT_GT(calls, 10000) << s.file;
    }
}

}  // namespace
