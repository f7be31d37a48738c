// Dequantisation fused with the 16-bit fixed-point inverse DCT.
#pragma once
#include <cstddef>
#include <cstdint>

#include "decode/tables.h"

namespace hvdv {

// One block's kernel: dequantises coefficients (64 values in the internal
// transposed order, 16-byte aligned, not modified) with weights W and the
// step shift s (-1..4), transforms them in DCT mode m (0 = 8-8, 1 = 2-4-8)
// and writes unsigned samples, level-shifted by 128 and clamped, to out
// (16-byte aligned 64-byte slot).  Full size: 8 rows of 8 samples, row y at
// out + 8y.  Half size: 4 rows of 4 samples at out + 8y (other bytes kept).
typedef void (*DVIdctKernel)(uint8_t* out, const int16_t* coefficients, const uint16_t* W, int s, int m);

// Two blocks' kernels at once: what full (or half) does for (outA, ca, Wa,
// sa, ma) and for (outB, cb, Wb, sb, mb).  Null when the instruction sets
// present offer nothing better than two calls of the single kernel.
typedef void (*DVIdctPairKernel)(uint8_t* outA, uint8_t* outB, const int16_t* ca, const int16_t* cb, const uint16_t* Wa,
                                 const uint16_t* Wb, int sa, int sb, int ma, int mb);

// The kernels of n blocks (n <= 8) in one call: what full (or half) does
// for (out[k], c[k], W[k], s[k], m[k]), k < n, several blocks at a time
// inside.  Null when no instruction set present offers it.
typedef void (*DVIdctBlocksKernel)(uint8_t* const* out, const int16_t* const* c, const uint16_t* const* W, const int* s,
                                   const int* m, int n);

// The full-size kernels of n blocks (n <= 8) written into a picture: block
// k's row r goes to out[k] + r * pitch[k], 8 samples, no alignment needed.
typedef void (*DVIdctStridedKernel)(uint8_t* const* out, const ptrdiff_t* pitch, const int16_t* const* c,
                                    const uint16_t* const* W, const int* s, const int* m, int n);

struct DVIdctKernels {
    DVIdctKernel full;
    DVIdctKernel half;
    DVIdctPairKernel fullPair;
    DVIdctPairKernel halfPair;
    DVIdctBlocksKernel fullBlocks;
    DVIdctBlocksKernel halfBlocks;
    DVIdctStridedKernel fullStrided;  // never null
};

// Fills k with the plain C++ kernels, then lets each instruction set in
// cpuFlags (threads/cpu.h) overwrite the ones it provides.
void InitIdctDsp(DVIdctKernels* k, uint32_t cpuFlags);

void IdctKernel8_c(uint8_t* out, const int16_t* coefficients, const uint16_t* W, int s, int m);
void IdctKernel4_c(uint8_t* out, const int16_t* coefficients, const uint16_t* W, int s, int m);
void IdctKernel8Strided_c(uint8_t* const* out, const ptrdiff_t* pitch, const int16_t* const* c,
                          const uint16_t* const* W, const int* s, const int* m, int n);
#if HVDV_HAVE_SSE2
void IdctKernel8_sse2(uint8_t* out, const int16_t* coefficients, const uint16_t* W, int s, int m);
void IdctKernel4_sse2(uint8_t* out, const int16_t* coefficients, const uint16_t* W, int s, int m);
void IdctKernel4Pair_sse2(uint8_t* outA, uint8_t* outB, const int16_t* ca, const int16_t* cb, const uint16_t* Wa,
                          const uint16_t* Wb, int sa, int sb, int ma, int mb);
#endif
#if HVDV_HAVE_NEON
void IdctKernel8_neon(uint8_t* out, const int16_t* coefficients, const uint16_t* W, int s, int m);
void IdctKernel4_neon(uint8_t* out, const int16_t* coefficients, const uint16_t* W, int s, int m);
void IdctKernel4Pair_neon(uint8_t* outA, uint8_t* outB, const int16_t* ca, const int16_t* cb, const uint16_t* Wa,
                          const uint16_t* Wb, int sa, int sb, int ma, int mb);
void IdctKernel8Strided_neon(uint8_t* const* out, const ptrdiff_t* pitch, const int16_t* const* c,
                             const uint16_t* const* W, const int* s, const int* m, int n);
#endif
#if HVDV_HAVE_AVX2
void IdctKernel8Pair_avx2(uint8_t* outA, uint8_t* outB, const int16_t* ca, const int16_t* cb, const uint16_t* Wa,
                          const uint16_t* Wb, int sa, int sb, int ma, int mb);
void IdctKernel4Pair_avx2(uint8_t* outA, uint8_t* outB, const int16_t* ca, const int16_t* cb, const uint16_t* Wa,
                          const uint16_t* Wb, int sa, int sb, int ma, int mb);
void IdctKernel8Blocks_avx2(uint8_t* const* out, const int16_t* const* c, const uint16_t* const* W, const int* s,
                            const int* m, int n);
void IdctKernel4Blocks_avx2(uint8_t* const* out, const int16_t* const* c, const uint16_t* const* W, const int* s,
                            const int* m, int n);
void IdctKernel8Strided_avx2(uint8_t* const* out, const ptrdiff_t* pitch, const int16_t* const* c,
                             const uint16_t* const* W, const int* s, const int* m, int n);
#endif

// Weight table and shift for class c, mode m, QNO q.
struct DVDequant {
    const uint16_t* weights;
    int shift;
};
inline DVDequant SelectDequant(int c, int m, int q) {
    const DVWeightChoice& choice = g_weightChoices[8 * (q & 15) + 2 * (c & 3) + (m & 1)];
    return DVDequant{choice.weights, choice.shift};
}

}  // namespace hvdv
