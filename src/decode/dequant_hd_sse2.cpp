// High-definition dequantisation, SSE2: eight coefficients per vector (the
// arithmetic is in dequant_hd_sse2.h).
#include "decode/dequant_hd_sse2.h"

namespace hvdv {

void DequantKernelHD_sse2(int16_t* out, const int16_t* coefficients, const DVDequantHD* m) {
    for (int i = 0; i < 64; i += 8) _mm_store_si128((__m128i*)(out + i), DequantRowHD_sse2(coefficients, m, i));
}

}  // namespace hvdv
