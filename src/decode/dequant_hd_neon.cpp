// High-definition dequantisation, NEON: eight coefficients per vector.
//
// With M = 2^16 H + L (0 <= L < 2^16), (c M + 2^15) >> 16 is exactly
// c H + ((c L + 2^15) >> 16), as in dequant_hd_sse2.cpp.  c H is a signed
// 16 x 16-bit widening multiply; c L multiplies signed by unsigned, which
// NEON has no 16-bit form of, so both are widened to 32 bits first (|c L| <
// 2^31).  The rounding shift adds 2^15 before shifting, and the final narrow
// saturates to 16 bits as the reference does.
#include <arm_neon.h>

#include "decode/dequant_hd.h"

namespace hvdv {

void DequantKernelHD_neon(int16_t* out, const int16_t* coefficients, const DVDequantHD* m) {
    for (int i = 0; i < 64; i += 8) {
        const int16x8_t c = vld1q_s16(coefficients + i);
        const int16x8_t hi = vld1q_s16(m->high + i);
        const uint16x8_t lo = vld1q_u16(m->low + i);
        const int32x4_t cl0 = vmulq_s32(vmovl_s16(vget_low_s16(c)), vreinterpretq_s32_u32(vmovl_u16(vget_low_u16(lo))));
        const int32x4_t cl1 = vmulq_s32(vmovl_high_s16(c), vreinterpretq_s32_u32(vmovl_high_u16(lo)));
        const int32x4_t r0 = vmlal_s16(vrshrq_n_s32(cl0, 16), vget_low_s16(c), vget_low_s16(hi));
        const int32x4_t r1 = vmlal_high_s16(vrshrq_n_s32(cl1, 16), c, hi);
        vst1q_s16(out + i, vcombine_s16(vqmovn_s32(r0), vqmovn_s32(r1)));
    }
}

}  // namespace hvdv
