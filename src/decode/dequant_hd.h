// High-definition dequantisation kernels: quantised coefficients times a
// per-coefficient multiplier into the 16-bit input of the 8-8 transform.
#pragma once
#include <cstddef>
#include <cstdint>

namespace hvdv {

// The 64 multipliers (internal index order) of one picture height,
// component, QNO and class: M(i) = step * K(i), below 2^26, stored in 16-bit
// parts so that 16-bit lanes can take it, twice: as its high and low halves
// (the plain and NEON kernels), and as M = 2^16 H' + L' with H' the rounded
// high half and L' signed in [-2^15, 2^15) (SSE2 and AVX2: a signed 16-bit
// multiply takes L' as it is, and H' pairs with 1 in one multiply-add).
struct alignas(16) DVDequantHD {
    int16_t high[64];         // M >> 16
    uint16_t low[64];         // M & 0xFFFF
    int16_t highRounded[64];  // H' = (M + 2^15) >> 16
    int16_t lowSigned[64];    // L' = M - 2^16 H'
};

// Sets multiplier i of m to M (below 2^26) in both forms.
void SetMultiplierHD(DVDequantHD* m, int i, uint32_t M);

// The multipliers for QNO qno, class classNumber, 720-line or 1080-line
// picture, luma or chroma.  Built once, on first use.
const DVDequantHD& DequantTableHD(int qno, int classNumber, bool lines720, bool chroma);
// All 64 tables of one height and component: entry 4 * qno + class.
const DVDequantHD* DequantTablesHD(bool lines720, bool chroma);

// out[i] = (c[i] * M(i) + 2^15) >> 16, saturated to 16 bits, for all 64
// indexes (index 0 included).  All pointers 16-byte aligned.
typedef void (*DVDequantHDKernel)(int16_t* out, const int16_t* coefficients, const DVDequantHD* m);

void DequantKernelHD_c(int16_t* out, const int16_t* coefficients, const DVDequantHD* m);

// One block into the transform's input domain: the weighted AC terms through
// the kernel, then the DC (stored as 8 DC) doubled into the transform's DC
// units, unweighted.  The result goes to the 8-8 kernel with kUnitWeights
// and shift 0.
inline void DequantiseBlockHD(DVDequantHDKernel kernel, int16_t* out, const int16_t* coefficients,
                              const DVDequantHD* m) {
    kernel(out, coefficients, m);
    out[0] = (int16_t)(uint16_t)(2u * (uint16_t)coefficients[0]);
}

// Weights that make the 8-8 kernel take its input unchanged (8192 with
// shift 0: (x * 8192) >> 13 = x).
extern const uint16_t kUnitWeights[64];
#if HVDV_HAVE_SSE2
void DequantKernelHD_sse2(int16_t* out, const int16_t* coefficients, const DVDequantHD* m);
#endif
#if HVDV_HAVE_NEON
void DequantKernelHD_neon(int16_t* out, const int16_t* coefficients, const DVDequantHD* m);
#endif

// Sets *kernel to the plain C++ kernel, then lets each instruction set in
// cpuFlags (threads/cpu.h) replace it.
void InitDequantHDDsp(DVDequantHDKernel* kernel, uint32_t cpuFlags);

// Dequantisation and inverse transform of a block in one kernel: what
// DequantiseBlockHD followed by the 8-8 kernel (full) or the half-size
// kernel (half, mode 0) with kUnitWeights and shift 0 writes to out, without
// the round trip of the 64 dequantised values through memory; the half-size
// kernel dequantises only the 32 coefficients that transform reads.  The
// pair kernels do full or half for two blocks at once (null when no
// instruction set present offers one).
typedef void (*DVIdctHDKernel)(uint8_t* out, const int16_t* coefficients, const DVDequantHD* m);
typedef void (*DVIdctHDPairKernel)(uint8_t* outA, uint8_t* outB, const int16_t* ca, const int16_t* cb,
                                   const DVDequantHD* ma, const DVDequantHD* mb);
// The kernels of n blocks (n <= 8) in one call, (out[k], c[k], m[k]) for
// k < n (null when no instruction set present offers them).
typedef void (*DVIdctHDBlocksKernel)(uint8_t* const* out, const int16_t* const* c, const DVDequantHD* const* m, int n);
// The full-size kernels of n blocks (n <= 8) written into a picture: block
// k's row r goes to out[k] + r * pitch[k], 8 samples, no alignment needed.
typedef void (*DVIdctHDStridedKernel)(uint8_t* const* out, const ptrdiff_t* pitch, const int16_t* const* c,
                                      const DVDequantHD* const* m, int n);
struct DVIdctHDKernels {
    DVIdctHDKernel full;
    DVIdctHDKernel half;
    DVIdctHDPairKernel fullPair;
    DVIdctHDPairKernel halfPair;
    DVIdctHDBlocksKernel fullBlocks;
    DVIdctHDBlocksKernel halfBlocks;
    DVIdctHDStridedKernel fullStrided;  // never null
};

void IdctHD8_c(uint8_t* out, const int16_t* coefficients, const DVDequantHD* m);
void IdctHD4_c(uint8_t* out, const int16_t* coefficients, const DVDequantHD* m);
void IdctHD8Strided_c(uint8_t* const* out, const ptrdiff_t* pitch, const int16_t* const* c,
                      const DVDequantHD* const* m, int n);
#if HVDV_HAVE_SSE2
void IdctHD8_sse2(uint8_t* out, const int16_t* coefficients, const DVDequantHD* m);
void IdctHD4_sse2(uint8_t* out, const int16_t* coefficients, const DVDequantHD* m);
void IdctHD4Pair_sse2(uint8_t* outA, uint8_t* outB, const int16_t* ca, const int16_t* cb, const DVDequantHD* ma,
                      const DVDequantHD* mb);
#endif
#if HVDV_HAVE_AVX2
void IdctHD8Pair_avx2(uint8_t* outA, uint8_t* outB, const int16_t* ca, const int16_t* cb, const DVDequantHD* ma,
                      const DVDequantHD* mb);
void IdctHD4Pair_avx2(uint8_t* outA, uint8_t* outB, const int16_t* ca, const int16_t* cb, const DVDequantHD* ma,
                      const DVDequantHD* mb);
void IdctHD8Blocks_avx2(uint8_t* const* out, const int16_t* const* c, const DVDequantHD* const* m, int n);
void IdctHD4Blocks_avx2(uint8_t* const* out, const int16_t* const* c, const DVDequantHD* const* m, int n);
void IdctHD8Strided_avx2(uint8_t* const* out, const ptrdiff_t* pitch, const int16_t* const* c,
                         const DVDequantHD* const* m, int n);
#endif
#if HVDV_HAVE_NEON
void IdctHD8_neon(uint8_t* out, const int16_t* coefficients, const DVDequantHD* m);
void IdctHD4_neon(uint8_t* out, const int16_t* coefficients, const DVDequantHD* m);
void IdctHD4Pair_neon(uint8_t* outA, uint8_t* outB, const int16_t* ca, const int16_t* cb, const DVDequantHD* ma,
                      const DVDequantHD* mb);
void IdctHD8Strided_neon(uint8_t* const* out, const ptrdiff_t* pitch, const int16_t* const* c,
                         const DVDequantHD* const* m, int n);
#endif

// The plain C++ kernels, then those of each instruction set in cpuFlags.
void InitIdctHDDsp(DVIdctHDKernels* k, uint32_t cpuFlags);

}  // namespace hvdv
