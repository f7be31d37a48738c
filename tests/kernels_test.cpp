// Pixel kernel sets: colour results of the RGB conversions, packed-YUV byte
// order and run tails, and the chroma layouts of the four slots, at the plain
// C++ level and at every instruction-set level the machine has.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kernels/kernels.h"
#include "threads/cpu.h"

namespace hvdv {
namespace {

std::vector<uint32_t> CpuLevels() {
    return DetectCpuFeatures() & kCpuSSE2 ? std::vector<uint32_t>{0, kCpuSSE2} : std::vector<uint32_t>{0};
}

DVPixelKernelSet MakeSet(DVKernelSetInit init, int bt709, uint32_t flags) {
    DVPixelKernelSet k;
    std::memset(&k, 0, sizeof k);
    DVPixelDsp dsp;
    InitPixelDsp(&dsp, flags);
    init(&k, bt709, &dsp);
    return k;
}

// Points the set at its sources and destination.
void Aim(DVPixelKernelSet* k, const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst, int count = 0) {
    k->srcY = y;
    k->srcCb = cb;
    k->srcCr = cr;
    k->dst = dst;
    k->pixelCount = count;
}

TEST(PixelKernels, ColourResults) {
    // One (Y, Cb, Cr) colour over a 16-pixel 4:4:4 strip (4:2:2 for VUYA
    // would do as well); every pixel must be the given bytes, in memory order.
    const struct {
        DVKernelSetInit init;
        int bt709;
        uint8_t y, cb, cr;
        std::vector<uint8_t> bytes;
    } cases[] = {// Full range: black, white, mid grey, clamping at both ends, both matrices.
                 {ConvertBGRA32, 0, 16, 128, 128, {0, 0, 0, 255}},
                 {ConvertBGRA32, 1, 235, 128, 128, {255, 255, 255, 255}},
                 {ConvertBGRA32, 0, 126, 128, 128, {128, 128, 128, 255}},
                 {ConvertBGRA32, 1, 255, 128, 128, {255, 255, 255, 255}},
                 // Saturated red and blue; BGR order in memory; BT.709 Cr unclamped
                 // (R 185.45 and G 111.03 before rounding).
                 {ConvertBGRA32, 0, 81, 90, 240, {0, 0, 254, 255}},
                 {ConvertBGRA32, 1, 41, 240, 110, {255, 15, 0, 255}},
                 {ConvertBGR24, 1, 41, 240, 110, {255, 15, 0}},
                 {ConvertBGRA32, 1, 126, 128, 160, {128, 111, 185, 255}},
                 // Studio range keeps the luma's range.
                 {ConvertBGRA32Studio, 0, 16, 128, 128, {16, 16, 16, 255}},
                 {ConvertBGRA32Studio, 1, 235, 128, 128, {235, 235, 235, 255}},
                 {ConvertBGR24Studio, 0, 81, 90, 240, {15, 16, 235}},
                 {ConvertBGR24Studio, 0, 41, 240, 110, {235, 16, 16}},
                 // 16-bit words, little endian.
                 {ConvertRGB555, 0, 235, 128, 128, {0xFF, 0x7F}},
                 {ConvertRGB565, 1, 235, 128, 128, {0xFF, 0xFF}},
                 {ConvertRGB555, 0, 126, 128, 128, {0x10, 0x42}},
                 {ConvertRGB565, 0, 126, 128, 128, {0x10, 0x84}},
                 {ConvertRGB565, 0, 81, 90, 240, {0x00, 0xF8}},
                 // VUYA: V, U, Y, 255 whatever the samples; no clamping.
                 {PackVUYA, 0, 0, 1, 2, {2, 1, 0, 255}},
                 {PackVUYA, 1, 255, 254, 253, {253, 254, 255, 255}}};
    for (uint32_t level : CpuLevels())
        for (const auto& c : cases) {
            const std::vector<uint8_t> ys(16, c.y), cbs(16, c.cb), crs(16, c.cr);
            uint8_t out[64];
            DVPixelKernelSet k = MakeSet(c.init, c.bt709, level);
            Aim(&k, ys.data(), cbs.data(), crs.data(), out);
            k.convertStrip444(&k);
            std::vector<uint8_t> expected;
            for (int i = 0; i < 16; ++i) expected.insert(expected.end(), c.bytes.begin(), c.bytes.end());
            EXPECT_EQ(std::vector<uint8_t>(out, out + 16 * c.bytes.size()), expected)
                << "case " << &c - cases << " level " << level;
        }
}

// Run kernels of the 4:2:2 packed formats take any count: whole 16-pixel
// steps, then one pair at a time; an odd last pixel is not written.
TEST(PixelKernels, PackedYuvRunTails) {
    // Byte positions of Cb, Y0, Cr, Y1 within a pair.
    const struct {
        DVKernelSetInit init;
        int cb, y0, cr, y1;
    } orders[] = {{PackUYVY, 0, 1, 2, 3}, {PackYUY2, 1, 0, 3, 2}};
    for (uint32_t level : CpuLevels())
        for (const auto& o : orders)
            for (int n : {0, 1, 17, 33}) {
                std::vector<uint8_t> y(n + 1), cb(n / 2 + 1), cr(n / 2 + 1), out(2 * n + 64, 0xEE);
                for (int i = 0; i <= n; i++) y[i] = (uint8_t)(i * 37 + (i % 3 == 0 ? 255 : 0));  // 0 and 255 occur
                for (int i = 0; i <= n / 2; i++) cb[i] = (uint8_t)(i * 11 + 1), cr[i] = (uint8_t)(255 - i * 13);
                DVPixelKernelSet k = MakeSet(o.init, 0, level);
                Aim(&k, y.data(), cb.data(), cr.data(), out.data(), n);
                k.convertRun422(&k);
                std::vector<uint8_t> expected(out.size(), 0xEE);
                for (int p = 0; p < n / 2; p++) {
                    expected[4 * p + o.cb] = cb[p];
                    expected[4 * p + o.y0] = y[2 * p];
                    expected[4 * p + o.cr] = cr[p];
                    expected[4 * p + o.y1] = y[2 * p + 1];
                }
                EXPECT_EQ(out, expected) << "order " << &o - orders << " level " << level << " count " << n;
            }
}

// The four slots of a family differ only in chroma layout and looping: a
// 4:2:2 strip equals a 4:4:4 strip on chroma with each sample doubled, and a
// run of 48 pixels equals three strips.
TEST(PixelKernels, SlotsAgreeOnLayout) {
    const struct {
        DVKernelSetInit init;
        int bytesPerPixel;
        bool has444;
    } families[] = {{PackUYVY, 2, false},          {PackYUY2, 2, false},     {PackVUYA, 4, true},
                    {ConvertBGRA32, 4, true},      {ConvertBGR24, 3, true},  {ConvertBGRA32Studio, 4, true},
                    {ConvertBGR24Studio, 3, true}, {ConvertRGB555, 2, true}, {ConvertRGB565, 2, true}};
    uint8_t y[48], cb[48], cr[48], cbWide[48], crWide[48];
    for (int i = 0; i < 48; i++)
        y[i] = (uint8_t)(i * 53 + 7), cb[i] = (uint8_t)(i * 29 + 100), cr[i] = (uint8_t)(200 - i * 31);
    for (int i = 0; i < 48; i++) cbWide[i] = cb[i / 2], crWide[i] = cr[i / 2];
    for (uint32_t level : CpuLevels())
        for (const auto& f : families)
            for (int bt709 = 0; bt709 < 2; bt709++) {
                SCOPED_TRACE("family " + std::to_string(&f - families) + " level " + std::to_string(level));
                DVPixelKernelSet k = MakeSet(f.init, bt709, level);
                ASSERT_TRUE(f.bytesPerPixel == k.bytesPerPixel && f.has444 == (k.convertRun444 && k.convertStrip444));
                const int p = f.bytesPerPixel;
                std::vector<uint8_t> run(48 * p), strips(48 * p, 0xEE), wide(48 * p, 0xEE);
                Aim(&k, y, cb, cr, run.data(), 48);
                k.convertRun422(&k);
                for (int s = 0; s < 3; s++) {
                    Aim(&k, y + 16 * s, cb + 8 * s, cr + 8 * s, strips.data() + 16 * p * s, 48);
                    k.convertStrip422(&k);
                }
                EXPECT_EQ(run, strips) << "run422 against strip422";
                if (!f.has444) continue;
                Aim(&k, y, cbWide, crWide, wide.data(), 48);
                k.convertRun444(&k);
                EXPECT_EQ(run, wide) << "run444 on doubled chroma against run422";
                std::memset(wide.data() + 16 * p, 0xEE, 16 * p);
                Aim(&k, y + 16, cbWide + 16, crWide + 16, wide.data() + 16 * p, 48);
                k.convertStrip444(&k);
                EXPECT_EQ(run, wide) << "strip444 against run444";
            }
}

}  // namespace
}  // namespace hvdv
