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
    std::vector<uint32_t> levels{0};
    if (DetectCpuFeatures() & kCpuSSE2) levels.push_back(kCpuSSE2);
    return levels;
}

struct Family {
    const char* name;
    DVKernelSetInit init;
    int bytesPerPixel;
    bool has444;
};

const Family kFamilies[] = {
    {"UYVY", PackUYVY, 2, false},
    {"YUY2", PackYUY2, 2, false},
    {"VUYA", PackVUYA, 4, true},
    {"BGRA32", ConvertBGRA32, 4, true},
    {"BGR24", ConvertBGR24, 3, true},
    {"BGRA32Studio", ConvertBGRA32Studio, 4, true},
    {"BGR24Studio", ConvertBGR24Studio, 3, true},
    {"RGB555", ConvertRGB555, 2, true},
    {"RGB565", ConvertRGB565, 2, true},
};

DVPixelKernelSet MakeSet(DVKernelSetInit init, int bt709, uint32_t flags) {
    DVPixelKernelSet k;
    std::memset(&k, 0, sizeof k);
    init(&k, bt709, flags);
    return k;
}

// Converts 16 pixels of one (Y, Cb, Cr) colour through the 4:4:4 strip (or the
// 4:2:2 strip for the formats without one); returns the first pixel's bytes
// after checking that all 16 came out the same.
std::vector<uint8_t> ConvertFlat(const DVPixelKernelSet& set, uint8_t y, uint8_t cb, uint8_t cr) {
    DVPixelKernelSet k = set;
    uint8_t ys[16], cbs[16], crs[16], out[64];
    std::memset(ys, y, 16);
    std::memset(cbs, cb, 16);
    std::memset(crs, cr, 16);
    k.srcY = ys;
    k.srcCb = cbs;
    k.srcCr = crs;
    k.dst = out;
    (k.convertStrip444 ? k.convertStrip444 : k.convertStrip422)(&k);
    const int p = k.bytesPerPixel;
    for (int i = 1; i < 16; i++) EXPECT_EQ(0, std::memcmp(out, out + p * i, p)) << "pixel " << i;
    return std::vector<uint8_t>(out, out + p);
}

struct ColourCase {
    DVKernelSetInit init;
    const char* name;
    int bt709;
    uint8_t y, cb, cr;
    std::vector<uint8_t> bytes;  // one output pixel in memory order
};

TEST(PixelKernels, ColourResults) {
    const ColourCase cases[] = {
        // Full range: black, white, mid grey, clamping at both ends, both matrices.
        {ConvertBGRA32, "BGRA32", 0, 16, 128, 128, {0, 0, 0, 255}},
        {ConvertBGRA32, "BGRA32", 1, 235, 128, 128, {255, 255, 255, 255}},
        {ConvertBGRA32, "BGRA32", 0, 126, 128, 128, {128, 128, 128, 255}},
        {ConvertBGRA32, "BGRA32", 1, 255, 128, 128, {255, 255, 255, 255}},
        // Saturated red and blue; BGR order in memory.
        {ConvertBGRA32, "BGRA32", 0, 81, 90, 240, {0, 0, 254, 255}},
        {ConvertBGRA32, "BGRA32", 1, 41, 240, 110, {255, 15, 0, 255}},
        {ConvertBGR24, "BGR24", 1, 41, 240, 110, {255, 15, 0}},
        // Studio range keeps the luma's range.
        {ConvertBGRA32Studio, "BGRA32Studio", 0, 16, 128, 128, {16, 16, 16, 255}},
        {ConvertBGRA32Studio, "BGRA32Studio", 1, 235, 128, 128, {235, 235, 235, 255}},
        {ConvertBGR24Studio, "BGR24Studio", 0, 81, 90, 240, {15, 16, 235}},
        {ConvertBGR24Studio, "BGR24Studio", 0, 41, 240, 110, {235, 16, 16}},
        // 16-bit words, little endian.
        {ConvertRGB555, "RGB555", 0, 235, 128, 128, {0xFF, 0x7F}},
        {ConvertRGB565, "RGB565", 1, 235, 128, 128, {0xFF, 0xFF}},
        {ConvertRGB555, "RGB555", 0, 126, 128, 128, {0x10, 0x42}},
        {ConvertRGB565, "RGB565", 0, 126, 128, 128, {0x10, 0x84}},
        {ConvertRGB565, "RGB565", 0, 81, 90, 240, {0x00, 0xF8}},
        // VUYA: V, U, Y, 255 whatever the samples; no clamping.
        {PackVUYA, "VUYA", 0, 0, 1, 2, {2, 1, 0, 255}},
        {PackVUYA, "VUYA", 1, 255, 254, 253, {253, 254, 255, 255}},
    };
    for (uint32_t level : CpuLevels()) {
        for (const ColourCase& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (c.bt709 ? " BT.709" : " BT.601") + " level " +
                         std::to_string(level) + " Y " + std::to_string(c.y) + " Cb " +
                         std::to_string(c.cb) + " Cr " + std::to_string(c.cr));
            EXPECT_EQ(c.bytes, ConvertFlat(MakeSet(c.init, c.bt709, level), c.y, c.cb, c.cr));
        }
    }
}

// Run kernels of the 4:2:2 packed formats take any count: whole 16-pixel
// steps, then one pair at a time; an odd last pixel is not written.
TEST(PixelKernels, PackedYuvRunTails) {
    struct Order {
        DVKernelSetInit init;
        const char* name;
        int cb, y0, cr, y1;  // byte positions within a pair
    };
    const Order orders[] = {{PackUYVY, "UYVY", 0, 1, 2, 3}, {PackYUY2, "YUY2", 1, 0, 3, 2}};
    const int counts[] = {0, 1, 17, 33};
    for (uint32_t level : CpuLevels()) {
        for (const Order& o : orders) {
            for (int n : counts) {
                SCOPED_TRACE(std::string(o.name) + " level " + std::to_string(level) + " count " + std::to_string(n));
                std::vector<uint8_t> y(n + 1), cb(n / 2 + 1), cr(n / 2 + 1);
                for (int i = 0; i <= n; i++) y[i] = (uint8_t)(i * 37 + (i % 3 == 0 ? 255 : 0));  // 0 and 255 occur
                for (int i = 0; i <= n / 2; i++) {
                    cb[i] = (uint8_t)(i * 11 + 1);
                    cr[i] = (uint8_t)(255 - i * 13);
                }
                std::vector<uint8_t> out(2 * n + 64, 0xEE);
                DVPixelKernelSet k = MakeSet(o.init, 0, level);
                k.srcY = y.data();
                k.srcCb = cb.data();
                k.srcCr = cr.data();
                k.dst = out.data();
                k.pixelCount = n;
                k.convertRun422(&k);
                const int written = 4 * (n / 2);
                for (int p = 0; p < n / 2; p++) {
                    ASSERT_EQ(cb[p], out[4 * p + o.cb]) << "pair " << p;
                    ASSERT_EQ(y[2 * p], out[4 * p + o.y0]) << "pair " << p;
                    ASSERT_EQ(cr[p], out[4 * p + o.cr]) << "pair " << p;
                    ASSERT_EQ(y[2 * p + 1], out[4 * p + o.y1]) << "pair " << p;
                }
                for (size_t i = written; i < out.size(); i++) ASSERT_EQ(0xEE, out[i]) << "byte " << i << " written";
            }
        }
    }
}

// The four slots of a family differ only in chroma layout and looping: a
// 4:2:2 strip equals a 4:4:4 strip on chroma with each sample doubled, and a
// run of 48 pixels equals three strips.
TEST(PixelKernels, SlotsAgreeOnLayout) {
    uint8_t y[48], cb[48], cr[48], cbWide[48], crWide[48];
    for (int i = 0; i < 48; i++) {
        y[i] = (uint8_t)(i * 53 + 7);
        cb[i] = (uint8_t)(i * 29 + 100);
        cr[i] = (uint8_t)(200 - i * 31);
        cbWide[i] = cb[i / 2];
        crWide[i] = cr[i / 2];
    }
    for (uint32_t level : CpuLevels()) {
        for (const Family& f : kFamilies) {
            for (int bt709 = 0; bt709 < 2; bt709++) {
                SCOPED_TRACE(std::string(f.name) + " level " + std::to_string(level));
                DVPixelKernelSet k = MakeSet(f.init, bt709, level);
                ASSERT_EQ(f.bytesPerPixel, k.bytesPerPixel);
                ASSERT_EQ(f.has444, k.convertRun444 != nullptr && k.convertStrip444 != nullptr);
                const int p = f.bytesPerPixel;
                std::vector<uint8_t> run(48 * p), strips(48 * p);
                k.srcY = y;
                k.srcCb = cb;
                k.srcCr = cr;
                k.dst = run.data();
                k.pixelCount = 48;
                k.convertRun422(&k);
                for (int s = 0; s < 3; s++) {
                    k.srcY = y + 16 * s;
                    k.srcCb = cb + 8 * s;
                    k.srcCr = cr + 8 * s;
                    k.dst = strips.data() + 16 * p * s;
                    k.convertStrip422(&k);
                }
                EXPECT_EQ(run, strips) << "run422 against strip422";
                if (!f.has444) continue;
                std::vector<uint8_t> wide(48 * p);
                k.srcY = y;
                k.srcCb = cbWide;
                k.srcCr = crWide;
                k.dst = wide.data();
                k.convertRun444(&k);
                EXPECT_EQ(run, wide) << "run444 on doubled chroma against run422";
                std::memset(wide.data() + 16 * p, 0xEE, 16 * p);
                k.dst = wide.data() + 16 * p;
                k.srcY = y + 16;
                k.srcCb = cbWide + 16;
                k.srcCr = crWide + 16;
                k.convertStrip444(&k);
                EXPECT_EQ(run, wide) << "strip444 against run444";
            }
        }
    }
}

}  // namespace
}  // namespace hvdv
