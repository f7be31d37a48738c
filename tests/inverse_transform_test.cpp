// DC-only blocks and single-coefficient behaviour of the inverse transforms,
// through the run-time selected kernels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "decode/idct.h"
#include "decode/tables.h"
#include "hv_dec_dv.h"
#include "threads/cpu.h"

using namespace hvdv;

namespace {

struct alignas(16) Block {
    int16_t c[64];
};

TEST(InverseTransform, DcOnlyBlocksAreFlatForEveryClassAndQno) {
    InitDVDec();
    for (uint32_t mask : {0u, 0xFFFFFFFFu}) {
        SetCpuMask(mask);
        for (int dc = -256; dc <= 255; dc++) {
            // 128 + floor((16 DC + 16) / 32), clamped.
            int flat = 128 + (int)std::floor((16.0 * dc + 16) / 32);
            flat = flat < 0 ? 0 : flat > 255 ? 255 : flat;
            for (int c = 0; c < 4; c++)
                for (int q = 0; q < 16; q++)
                    for (int m = 0; m < 2; m++) {
                        Block b{};
                        b.c[0] = (int16_t)(8 * dc);
                        alignas(16) uint8_t full[64], half[64];
                        InverseTransform(b.c, c, m, q, full);
                        std::memset(half, 0xEE, 64);
                        InverseTransformHalf(b.c, c, m, q, half);
                        for (int i = 0; i < 64; i++)
                            ASSERT_EQ(full[i], flat) << "dc " << dc << " class " << c << " qno " << q << " mode " << m;
                        for (int y = 0; y < 4; y++)
                            for (int x = 0; x < 4; x++) {
                                // Half size 2-4-8: rows 1 and 2 carry -tan(pi/8)
                                // of the rounding term, +-1 before the shift.
                                int want = flat;
                                if (m == 1 && y != 0 && y != 3) {
                                    int a = 16 * dc + 4112 + (y == 1 ? 1 : -1);
                                    want = std::min(255, std::max(0, a >> 5));
                                }
                                ASSERT_EQ(half[8 * y + x], want) << "half dc " << dc << " mode " << m << " row " << y;
                                ASSERT_EQ(half[8 * y + 4 + x], 0xEE) << "half size wrote past column 3";
                            }
                    }
        }
    }
    SetCpuMask(0xFFFFFFFFu);
}

// Class 3 at QNO 15 quantises twice as coarsely as class 0 at QNO 15: the
// same amplitudes give twice the deviation from flat.
TEST(InverseTransform, CoarserPatternDoublesTheStep) {
    InitDVDec();
    Block b{};
    b.c[InternalIndex(0, 1)] = 16 * 3;
    alignas(16) uint8_t fine[64], coarse[64];
    InverseTransform(b.c, 0, 0, 15, fine);
    InverseTransform(b.c, 3, 0, 15, coarse);
    for (int x = 0; x < 8; x++) {
        int d1 = fine[x] - 128, d2 = coarse[x] - 128;
        EXPECT_NEAR(d2, 2 * d1, 1) << x;
    }
    EXPECT_NE(fine[0], 128);
}

// In 2-4-8 mode the difference field of vertical frequency 0 moves even
// and odd lines in opposite directions.
TEST(InverseTransform, DifferenceFieldSplitsTheLines) {
    InitDVDec();
    Block b{};
    b.c[InternalIndex(1, 0)] = 16 * 20;
    alignas(16) uint8_t out[64];
    InverseTransform(b.c, 0, 1, 15, out);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) {
            if (y % 2 == 0) EXPECT_GT(out[8 * y + x], 128) << y;
            else EXPECT_LT(out[8 * y + x], 128) << y;
            EXPECT_EQ(out[8 * y + x], out[8 * y]);
        }
}

// Half size uses only h, v below 4 (8-8) and the sum fields of vertical
// frequencies 0 and 1 (2-4-8).
TEST(InverseTransformHalf, IgnoresCoefficientsOutsideItsReach) {
    InitDVDec();
    struct Case {
        int mode, v, h;
    } cases[] = {{0, 0, 4}, {0, 4, 0}, {1, 1, 0}, {1, 4, 0}, {1, 0, 5}};
    for (const Case& k : cases) {
        Block b{};
        b.c[0] = 8 * 10;
        alignas(16) uint8_t plain[64], with[64];
        InverseTransformHalf(b.c, 1, k.mode, 6, plain);
        b.c[InternalIndex(k.v, k.h)] = 16 * 200;
        InverseTransformHalf(b.c, 1, k.mode, 6, with);
        for (int y = 0; y < 4; y++)
            EXPECT_EQ(0, std::memcmp(plain + 8 * y, with + 8 * y, 4)) << k.mode << " " << k.v << " " << k.h;
    }
}

}  // namespace
