// Macroblock positions of the 50 Mb/s and high-definition systems, and the
// high-definition dequantisation against a double-precision inverse DCT.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "decode/idct.h"
#include "decode/positions_hd.h"
#include "decode/segments_hd.h"
#include "decode/tables.h"
#include "hv_dec_dv.h"

using namespace hvdv;

namespace {

// Every picture is tiled exactly once by its macroblocks, counted in 8 x 8
// luma cells.  The 720-line kinds make one picture from each channel pair.
TEST(PositionsHD, EveryPictureIsTiledExactlyOnce) {
    struct Case {
        int kind, firstChannel;
    } cases[] = {{0x04, 0}, {0x05, 0}, {0x14, 0}, {0x14, 2}, {0x15, 0}, {0x15, 2}, {0x24, 0}, {0x25, 0}};
    for (const Case& k : cases) {
        const DVVideoGeometry* g = VideoGeometry(k.kind);
        ASSERT_NE(g, nullptr);
        const int cols = g->codedWidth / 8, rows = g->codedHeight / 8;
        std::vector<int> cover((size_t)cols * rows, 0);
        int placed = 0, outside = 0;
        for (int c = k.firstChannel; c < k.firstChannel + g->channels; c++)
            for (int s = 0; s < g->sequences; s++)
                for (int j = 0; j < 27; j++)
                    for (int m = 0; m < 5; m++) {
                        int x = -1, y = -1;
                        if (!MacroblockPosition(k.kind, c, s, j, m, &x, &y)) continue;
                        placed++;
                        int w = 2, h = g->blocksPerMacroblock == 8 ? 2 : 1;
                        if (g->codedHeight == 1080 && y == 1072) w = 4, h = 1;
                        ASSERT_EQ(x % 16, 0);
                        ASSERT_EQ(y % 8, 0);
                        for (int dy = 0; dy < h; dy++)
                            for (int dx = 0; dx < w; dx++) {
                                const int cx = x / 8 + dx, cy = y / 8 + dy;
                                if (cx >= cols || cy >= rows) outside++;
                                else cover[(size_t)cy * cols + cx]++;
                            }
                    }
        EXPECT_EQ(placed, g->videoMacroblocks) << std::hex << k.kind;
        EXPECT_EQ(outside, 0) << std::hex << k.kind;
        int once = 0;
        for (int n : cover) once += n == 1;
        EXPECT_EQ(once, cols * rows) << std::hex << k.kind << " channels from " << k.firstChannel;
    }
}

// Positions the whole-frame decoding tests do not reach: the 720-line
// 625/50 kind (no committed stream) and the first macroblock of the second
// picture of a 720-line frame.
TEST(PositionsHD, KnownMacroblocks) {
    struct Case {
        int kind, c, s, j, m, x, y;
    } cases[] = {
        {0x15, 2, 0, 0, 0, 384, 0},    {0x14, 1, 3, 13, 2, 672, 48},
        {0x14, 3, 3, 13, 2, 672, 624}, {0x14, 2, 0, 0, 0, 384, 0},
    };
    for (const Case& k : cases) {
        int x = -1, y = -1;
        ASSERT_TRUE(MacroblockPosition(k.kind, k.c, k.s, k.j, k.m, &x, &y));
        EXPECT_EQ(x, k.x) << std::hex << k.kind << std::dec << " channel " << k.c;
        EXPECT_EQ(y, k.y) << std::hex << k.kind << std::dec << " channel " << k.c;
    }
}

TEST(PositionsHD, SequencesWithoutVideoAndIndexesOutOfRange) {
    struct Case {
        int kind, c, s, j, m;
    } cases[] = {
        {0x24, 3, 11, 26, 4}, {0x14, 0, 10, 5, 1}, {0x05, 2, 0, 0, 0}, {0x04, 0, 12, 0, 0},
        {0x25, 0, 10, 0, 0},  {0x25, 4, 0, 0, 0}, {0x25, 0, 0, 27, 0}, {0x25, 0, 0, 0, 5}, {0x15, -1, 0, 0, 0}, {0x03, 0, 0, 0, 0},
    };
    for (const Case& k : cases) {
        int x = 0, y = 0;
        EXPECT_FALSE(MacroblockPosition(k.kind, k.c, k.s, k.j, k.m, &x, &y))
            << std::hex << k.kind << std::dec << " " << k.c << "," << k.s << "," << k.j << "," << k.m;
    }
    EXPECT_EQ(VideoGeometry(0x00), nullptr);
    EXPECT_EQ(VideoGeometry(0x03), nullptr);
}

// One AC coefficient of amplitude a in class c at QNO q: the transform of
// the dequantised block matches the orthonormal inverse DCT of a coefficient
// a * qstep(q) * 2^c * W / 32 on a flat DC level, within one step.
TEST(DequantiseHD, SingleCoefficientMatchesDoublePrecision) {
    InitDVDec();
    struct Case {
        bool lines720, chroma;
        int v, h, amplitude, classNumber, qno;
        double weight;  // W(v, h) / 32 as listed for the matrix
        int step;
    } cases[] = {
        {false, false, 1, 1, -3, 1, 9, 17, 16}, {false, true, 3, 7, 2, 2, 2, 197, 2},
        {true, false, 7, 7, 1, 0, 10, 246, 18}, {true, true, 4, 5, -1, 1, 6, 192, 6},
        {true, true, 5, 4, 1, 1, 6, 172, 6},    {true, false, 6, 2, -2, 3, 3, 68, 3},
    };
    const double pi = 3.14159265358979323846;
    auto basis = [&](int k, int n) { return (k == 0 ? std::sqrt(0.125) : 0.5) * std::cos((2 * n + 1) * k * pi / 16); };
    for (const Case& k : cases) {
        alignas(16) int16_t coefficients[64] = {};
        coefficients[0] = 8 * 20;  // DC 20: level 128 + 10
        coefficients[InternalIndex(k.v, k.h)] = (int16_t)(16 * k.amplitude);
        alignas(16) int16_t D[64];
        DequantiseHD(D, coefficients, k.qno, k.classNumber, k.lines720, k.chroma);
        alignas(16) uint8_t out[64];
        for (uint32_t flags : {0u, 0xFFFFFFFFu}) {
            const DVIdctKernel kernel = SelectIdctKernels(flags).full;
            kernel(out, D, kUnitWeights, 0, 0);
            const double F = k.amplitude * k.step * (1 << k.classNumber) * k.weight / 32.0;
            for (int y = 0; y < 8; y++)
                for (int x = 0; x < 8; x++) {
                    const double want = 138 + F * basis(k.v, y) * basis(k.h, x);
                    EXPECT_NEAR(out[8 * y + x], want, 1.0) << k.v << "," << k.h << " at " << x << "," << y;
                }
        }
    }
}

}  // namespace
