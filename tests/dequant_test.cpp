// High-definition dequantisation in every class: the blocks of the committed
// streams never reach classes 2 and 3 (a wrong step there leaves every
// golden picture unchanged).
#include <gtest/gtest.h>

#include <cmath>

#include "decode/dequant_hd.h"
#include "decode/idct.h"
#include "decode/tables.h"
#include "hv_dec_dv.h"

namespace hvdv {
namespace {

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
        DequantiseBlockHD(DequantKernelHD_c, D, coefficients,
                          &DequantTableHD(k.qno, k.classNumber, k.lines720, k.chroma));
        IdctKernel8_c(out, D, kUnitWeights, 0, 0);
        const double F = k.amplitude * k.step * (1 << k.classNumber) * k.weight / 32.0;
        for (int i = 0; i < 64; i++)
            EXPECT_NEAR(out[i], 138 + F * basis(k.v, i / 8) * basis(k.h, i % 8), 1.0) << k.v << "," << k.h << " at " << i;
    }
}

}  // namespace
}  // namespace hvdv
