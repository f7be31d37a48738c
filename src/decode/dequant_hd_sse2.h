// High-definition dequantisation of one row of eight coefficients, SSE2;
// shared by the dequantisation kernel and the transform kernels that take
// their input straight from it.
//
// With M = 2^16 H' + L' (L' signed, |L'| <= 2^15), (c M + 2^15) >> 16 is
// exactly c H' + r, r = (c L' + 2^15) >> 16: c H' is a multiple of 2^16
// before the shift.  c L' is a signed 16 x 16 product P = 2^16 hi + lo (lo
// unsigned), so r = hi + (lo >> 15), within 16 bits (|P| <= 2^30).  One
// multiply-add of the pairs (c, r) and (H', 1) gives c H' + r in 32 bits
// (|c H'| < 2^25, H' <= 2^10); the final pack saturates to 16 bits as the
// reference does.
#pragma once
#include <emmintrin.h>

#include "decode/dequant_hd.h"

namespace hvdv {

// Row i / 8 (coefficients i .. i + 7) of the block, dequantised.
inline __m128i DequantRowHD_sse2(const int16_t* coefficients, const DVDequantHD* m, int i) {
    const __m128i c = _mm_load_si128((const __m128i*)(coefficients + i));
    const __m128i h = _mm_load_si128((const __m128i*)(m->highRounded + i));
    const __m128i l = _mm_load_si128((const __m128i*)(m->lowSigned + i));
    const __m128i r = _mm_add_epi16(_mm_mulhi_epi16(c, l), _mm_srli_epi16(_mm_mullo_epi16(c, l), 15));
    const __m128i one = _mm_set1_epi16(1);
    const __m128i v0 = _mm_madd_epi16(_mm_unpacklo_epi16(c, r), _mm_unpacklo_epi16(h, one));
    const __m128i v1 = _mm_madd_epi16(_mm_unpackhi_epi16(c, r), _mm_unpackhi_epi16(h, one));
    return _mm_packs_epi32(v0, v1);
}

}  // namespace hvdv
