// High-definition dequantisation of one row of eight coefficients, SSE2;
// shared by the dequantisation kernel and the transform kernels that take
// their input straight from it.
//
// With M = 2^16 H + L (0 <= L < 2^16), (c M + 2^15) >> 16 is exactly
// c H + ((c L + 2^15) >> 16): c H is a multiple of 2^16 before the shift.
// Both products fit 32 bits for any 16-bit c (|c H| < 2^25, c L + 2^15
// within the int32 range), and so does their sum; the final pack saturates
// to 16 bits as the reference does.  c L is a signed-by-unsigned product:
// the signed high-half multiply sees L - 2^16 when L >= 2^15, which takes c
// from the high half; adding c back where L's top bit is set repairs it.
#pragma once
#include <emmintrin.h>

#include "decode/dequant_hd.h"

namespace hvdv {

// Row i / 8 (coefficients i .. i + 7) of the block, dequantised.
inline __m128i DequantRowHD_sse2(const int16_t* coefficients, const DVDequantHD* m, int i) {
    const __m128i round = _mm_set1_epi32(1 << 15);
    const __m128i c = _mm_load_si128((const __m128i*)(coefficients + i));
    const __m128i hi = _mm_load_si128((const __m128i*)(m->high + i));
    const __m128i lo = _mm_load_si128((const __m128i*)(m->low + i));
    // c L as 32-bit lanes.
    const __m128i loLow = _mm_mullo_epi16(c, lo);
    const __m128i loHigh = _mm_add_epi16(_mm_mulhi_epi16(c, lo), _mm_and_si128(c, _mm_srai_epi16(lo, 15)));
    const __m128i cl0 = _mm_srai_epi32(_mm_add_epi32(_mm_unpacklo_epi16(loLow, loHigh), round), 16);
    const __m128i cl1 = _mm_srai_epi32(_mm_add_epi32(_mm_unpackhi_epi16(loLow, loHigh), round), 16);
    // c H as 32-bit lanes.
    const __m128i hiLow = _mm_mullo_epi16(c, hi);
    const __m128i hiHigh = _mm_mulhi_epi16(c, hi);
    const __m128i ch0 = _mm_unpacklo_epi16(hiLow, hiHigh);
    const __m128i ch1 = _mm_unpackhi_epi16(hiLow, hiHigh);
    return _mm_packs_epi32(_mm_add_epi32(ch0, cl0), _mm_add_epi32(ch1, cl1));
}

}  // namespace hvdv
