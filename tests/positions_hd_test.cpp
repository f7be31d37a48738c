// Macroblock positions of the 50 Mb/s and high-definition systems, and the
// high-definition dequantisation against a double-precision inverse DCT.
#include <gtest/gtest.h>

#include <algorithm>
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
    const struct {
        int kind, firstChannel;
    } cases[] = {{0x04, 0}, {0x05, 0}, {0x14, 0}, {0x14, 2}, {0x15, 0}, {0x15, 2}, {0x24, 0}, {0x25, 0}};
    for (const auto& k : cases) {
        const DVVideoGeometry* g = VideoGeometry(k.kind);
        ASSERT_NE(g, nullptr);
        int cols = g->codedWidth / 8, rows = g->codedHeight / 8, placed = 0, outside = 0;
        std::vector<int> cover((size_t)cols * rows, 0);
        // Channel c, sequence s, block 5j + m of every channel of the picture.
        for (int i = 0, x = -1, y = -1; i < g->channels * g->sequences * 135; i++, x = y = -1) {
            const int c = k.firstChannel + i / (g->sequences * 135), s = i / 135 % g->sequences;
            if (!MacroblockPosition(k.kind, c, s, i % 135 / 5, i % 5, &x, &y)) continue;
            placed++;
            // 16 x 16 (8 blocks) or 16 x 8, the bottom row of 1080 lines 32 x 8.
            const bool bottom = g->codedHeight == 1080 && y == 1072;
            const int w = bottom ? 4 : 2, h = g->blocksPerMacroblock == 8 && !bottom ? 2 : 1;
            ASSERT_TRUE(x % 16 == 0 && y % 8 == 0) << x << "," << y;
            for (int d = 0; d < w * h; d++) {
                const int cx = x / 8 + d % w, cy = y / 8 + d / w;
                (cx >= cols || cy >= rows ? outside : cover[(size_t)cy * cols + cx])++;
            }
        }
        EXPECT_TRUE(placed == g->videoMacroblocks && outside == 0) << std::hex << k.kind;
        EXPECT_EQ(std::count(cover.begin(), cover.end(), 1), cols * rows)
            << std::hex << k.kind << " from " << k.firstChannel;
    }
}

// Positions no committed stream reaches (the 720-line 625/50 kind, the
// first macroblock of the second picture of a 720-line frame), then
// sequences without video and indexes out of range (x -1: no position).
TEST(PositionsHD, KnownMacroblocksAndIndexesOutOfRange) {
    const struct {
        int kind, c, s, j, m, x, y;
    } cases[] = {{0x15, 2, 0, 0, 0, 384, 0}, {0x14, 1, 3, 13, 2, 672, 48}, {0x14, 3, 3, 13, 2, 672, 624},
                 {0x14, 2, 0, 0, 0, 384, 0}, {0x24, 3, 11, 26, 4, -1, 0},  {0x14, 0, 10, 5, 1, -1, 0},
                 {0x05, 2, 0, 0, 0, -1, 0},  {0x04, 0, 12, 0, 0, -1, 0},   {0x25, 0, 10, 0, 0, -1, 0},
                 {0x25, 4, 0, 0, 0, -1, 0},  {0x25, 0, 0, 27, 0, -1, 0},   {0x25, 0, 0, 0, 5, -1, 0},
                 {0x15, -1, 0, 0, 0, -1, 0}, {0x03, 0, 0, 0, 0, -1, 0}};
    for (const auto& k : cases) {
        int x = -1, y = 0;
        EXPECT_EQ(MacroblockPosition(k.kind, k.c, k.s, k.j, k.m, &x, &y), k.x >= 0) << &k - cases;
        EXPECT_TRUE(k.x < 0 || (x == k.x && y == k.y)) << &k - cases << ": " << x << "," << y;
    }
    EXPECT_TRUE(VideoGeometry(0x00) == nullptr && VideoGeometry(0x03) == nullptr);
}

// One AC coefficient of amplitude a in class c at QNO q: the transform of
// the dequantised block matches the orthonormal inverse DCT of a coefficient
// a * qstep(q) * 2^c * W / 32 on a flat DC level, within one step.
TEST(DequantiseHD, SingleCoefficientMatchesDoublePrecision) {
    InitDVDec();
    // weight: W(v, h) / 32 as listed for the matrix; step: qstep(q).
    const struct {
        bool lines720, chroma;
        int v, h, amplitude, classNumber, qno;
        double weight;
        int step;
    } cases[] = {{false, false, 1, 1, -3, 1, 9, 17, 16}, {false, true, 3, 7, 2, 2, 2, 197, 2},
                 {true, false, 7, 7, 1, 0, 10, 246, 18}, {true, true, 4, 5, -1, 1, 6, 192, 6},
                 {true, true, 5, 4, 1, 1, 6, 172, 6},    {true, false, 6, 2, -2, 3, 3, 68, 3}};
    auto basis = [](int k, int n) {
        return (k == 0 ? std::sqrt(0.125) : 0.5) * std::cos((2 * n + 1) * k * std::acos(-1.0) / 16);
    };
    for (const auto& k : cases) {
        alignas(16) int16_t coefficients[64] = {};
        coefficients[0] = 8 * 20;  // DC 20: level 128 + 10
        coefficients[InternalIndex(k.v, k.h)] = (int16_t)(16 * k.amplitude);
        alignas(16) int16_t D[64];
        alignas(16) uint8_t out[64];
        DequantiseHD(D, coefficients, k.qno, k.classNumber, k.lines720, k.chroma);
        for (uint32_t flags : {0u, 0xFFFFFFFFu}) {
            DVIdctKernels idct;
            InitIdctDsp(&idct, flags);
            idct.full(out, D, kUnitWeights, 0, 0);
            const double F = k.amplitude * k.step * (1 << k.classNumber) * k.weight / 32.0;
            for (int i = 0; i < 64; i++)
                EXPECT_NEAR(out[i], 138 + F * basis(k.v, i / 8) * basis(k.h, i % 8), 1.0)
                    << k.v << "," << k.h << " at " << i;
        }
    }
}

}  // namespace
