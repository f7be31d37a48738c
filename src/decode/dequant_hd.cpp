// High-definition dequantisation: multiplier tables and the plain C++ kernel.
#include "decode/dequant_hd.h"

#include <cmath>
#include <cstring>

#include "decode/idct.h"
#include "decode/tables.h"
#include "threads/cpu.h"

namespace hvdv {

namespace {

// Quantiser step per QNO (QNO 0 and 1 both leave amplitudes as they are).
constexpr int kStepHD[16] = {1, 1, 2, 3, 4, 5, 6, 7, 8, 16, 18, 20, 22, 24, 28, 52};

// Weight matrices on a 1/32 scale, row = vertical frequency, column =
// horizontal; the DC cell is not used.  [1080 luma, 1080 chroma, 720 luma,
// 720 chroma].
constexpr uint16_t kWeightsHD[4][64] = {
    {128, 16, 17, 18, 18, 19, 42, 44,  16, 17, 18, 18, 19, 38, 43, 45,
     17, 18, 19, 19, 40, 41, 45, 48,   18, 18, 19, 40, 41, 42, 46, 49,
     18, 19, 40, 41, 42, 43, 48, 101,  19, 38, 41, 42, 43, 44, 98, 104,
     42, 43, 45, 46, 48, 98, 109, 116, 44, 45, 48, 49, 101, 104, 116, 123},
    {128, 16, 17, 25, 26, 26, 42, 44,  16, 17, 25, 25, 26, 38, 43, 91,
     17, 25, 26, 27, 40, 41, 91, 96,   25, 25, 27, 40, 41, 84, 93, 197,
     26, 26, 40, 41, 84, 86, 191, 203, 26, 38, 41, 84, 86, 177, 197, 209,
     42, 43, 91, 93, 191, 197, 219, 232, 44, 91, 96, 197, 203, 209, 232, 246},
    {128, 16, 17, 18, 18, 19, 42, 44,  16, 17, 18, 18, 19, 38, 43, 68,
     17, 18, 19, 19, 40, 41, 68, 96,   18, 18, 19, 40, 41, 63, 92, 98,
     18, 19, 40, 41, 63, 86, 96, 202,  19, 38, 41, 63, 86, 88, 196, 208,
     42, 43, 68, 92, 96, 196, 218, 232, 44, 68, 96, 98, 202, 208, 232, 246},
    {128, 24, 26, 36, 36, 38, 84, 88,  24, 26, 36, 36, 38, 76, 86, 182,
     26, 36, 38, 38, 80, 82, 182, 192, 36, 36, 38, 80, 82, 168, 186, 394,
     36, 38, 80, 82, 168, 192, 382, 406, 38, 76, 82, 168, 172, 354, 394, 418,
     84, 86, 182, 186, 382, 394, 438, 464, 88, 182, 192, 394, 406, 418, 464, 492},
};

// The 8-8 kernel takes coefficient (v, h) pre-multiplied by 4 S(v) S(h)
// (orthonormal DCT units; S(0) = 1, S(k) = sqrt(2) cos(k pi / 16), times
// 1 / (2 cos(3 pi / 8)) for odd k).  Folded with W / 32 and stored with 12
// fraction bits: K, at most 131084; the multiplier is step * K, step at most
// 52 * 8, so below 2^26.  One table per picture height and component, QNO
// and class: [2 * lines720 + chroma][4 * qno + class].
struct MultiplierTables {
    DVDequantHD m[4][64];
    MultiplierTables() {
        const double pi = 3.14159265358979323846;
        double S[8];
        for (int f = 0; f < 8; f++)
            S[f] = f == 0 ? 1.0 : std::sqrt(2.0) * std::cos(f * pi / 16) * ((f & 1) ? 1.0823922002939015 : 1.0);
        for (int t = 0; t < 4; t++) {
            int32_t K[64];
            for (int v = 0; v < 8; v++)
                for (int h = 0; h < 8; h++)
                    K[InternalIndex(v, h)] =
                        (int32_t)std::lround(kWeightsHD[t][8 * v + h] / 32.0 * 4.0 * S[v] * S[h] * 4096.0);
            for (int q = 0; q < 16; q++)
                for (int c = 0; c < 4; c++) {
                    DVDequantHD& d = m[t][4 * q + c];
                    const int32_t step = kStepHD[q] << c;
                    for (int i = 0; i < 64; i++) SetMultiplierHD(&d, i, (uint32_t)(step * K[i]));
                }
        }
    }
};

inline int16_t Saturate16(int64_t v) {
    return (int16_t)(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
}

}  // namespace

void SetMultiplierHD(DVDequantHD* m, int i, uint32_t M) {
    m->high[i] = (int16_t)(M >> 16);
    m->low[i] = (uint16_t)(M & 0xFFFF);
    const uint32_t rounded = (M + 0x8000u) >> 16;
    m->highRounded[i] = (int16_t)rounded;
    m->lowSigned[i] = (int16_t)((int32_t)M - (int32_t)(rounded << 16));
}

const DVDequantHD* DequantTablesHD(bool lines720, bool chroma) {
    static const MultiplierTables tables;
    return tables.m[2 * (lines720 ? 1 : 0) + (chroma ? 1 : 0)];
}

const DVDequantHD& DequantTableHD(int qno, int classNumber, bool lines720, bool chroma) {
    return DequantTablesHD(lines720, chroma)[4 * (qno & 15) + (classNumber & 3)];
}

void DequantKernelHD_c(int16_t* out, const int16_t* coefficients, const DVDequantHD* m) {
    // Four coefficients at a time; most groups of a block are all zero.
    for (int i = 0; i < 64; i += 4) {
        uint64_t group = 0;
        for (int k = i; k < i + 4; k++) group |= (uint16_t)coefficients[k];
        if (!group) {
            for (int k = i; k < i + 4; k++) out[k] = 0;
            continue;
        }
        for (int k = i; k < i + 4; k++) {
            const int64_t M = (int64_t)m->high[k] * 65536 + m->low[k];
            out[k] = Saturate16((coefficients[k] * M + 32768) >> 16);
        }
    }
}

void InitDequantHDDsp(DVDequantHDKernel* kernel, uint32_t cpuFlags) {
    *kernel = DequantKernelHD_c;
#if HVDV_HAVE_SSE2
    if (cpuFlags & kCpuSSE2) *kernel = DequantKernelHD_sse2;
#endif
#if HVDV_HAVE_NEON
    if (cpuFlags & kCpuNEON) *kernel = DequantKernelHD_neon;
#endif
    (void)cpuFlags;
}

namespace {
// A dequantisation kernel followed by a transform kernel, through memory.
template <DVDequantHDKernel kDequant, DVIdctKernel kIdct>
void Composite(uint8_t* out, const int16_t* coefficients, const DVDequantHD* m) {
    alignas(16) int16_t D[64];
    DequantiseBlockHD(kDequant, D, coefficients, m);
    kIdct(out, D, kUnitWeights, 0, 0);
}

// A one-block full-size kernel into a slot, then the slot's rows to their places.
template <DVIdctHDKernel kFull>
void Strided(uint8_t* const* out, const ptrdiff_t* pitch, const int16_t* const* c, const DVDequantHD* const* m,
             int n) {
    for (int k = 0; k < n; k++) {
        alignas(16) uint8_t slot[64];
        kFull(slot, c[k], m[k]);
        for (int r = 0; r < 8; r++) std::memcpy(out[k] + r * pitch[k], slot + 8 * r, 8);
    }
}
}  // namespace

void IdctHD8_c(uint8_t* out, const int16_t* coefficients, const DVDequantHD* m) {
    Composite<DequantKernelHD_c, IdctKernel8_c>(out, coefficients, m);
}
void IdctHD4_c(uint8_t* out, const int16_t* coefficients, const DVDequantHD* m) {
    Composite<DequantKernelHD_c, IdctKernel4_c>(out, coefficients, m);
}
void IdctHD8Strided_c(uint8_t* const* out, const ptrdiff_t* pitch, const int16_t* const* c,
                      const DVDequantHD* const* m, int n) {
    Strided<IdctHD8_c>(out, pitch, c, m, n);
}
#if HVDV_HAVE_NEON
void IdctHD8_neon(uint8_t* out, const int16_t* coefficients, const DVDequantHD* m) {
    Composite<DequantKernelHD_neon, IdctKernel8_neon>(out, coefficients, m);
}
void IdctHD4_neon(uint8_t* out, const int16_t* coefficients, const DVDequantHD* m) {
    Composite<DequantKernelHD_neon, IdctKernel4_neon>(out, coefficients, m);
}
void IdctHD8Strided_neon(uint8_t* const* out, const ptrdiff_t* pitch, const int16_t* const* c,
                         const DVDequantHD* const* m, int n) {
    static const int kZero = 0;
    const uint16_t* const unit = kUnitWeights;
    for (int k = 0; k < n; k++) {
        alignas(16) int16_t D[64];
        DequantiseBlockHD(DequantKernelHD_neon, D, c[k], m[k]);
        const int16_t* d = D;
        IdctKernel8Strided_neon(out + k, pitch + k, &d, &unit, &kZero, &kZero, 1);
    }
}
void IdctHD4Pair_neon(uint8_t* outA, uint8_t* outB, const int16_t* ca, const int16_t* cb, const DVDequantHD* ma,
                      const DVDequantHD* mb) {
    alignas(16) int16_t D[2][64];
    DequantiseBlockHD(DequantKernelHD_neon, D[0], ca, ma);
    DequantiseBlockHD(DequantKernelHD_neon, D[1], cb, mb);
    IdctKernel4Pair_neon(outA, outB, D[0], D[1], kUnitWeights, kUnitWeights, 0, 0, 0, 0);
}
#endif

void InitIdctHDDsp(DVIdctHDKernels* k, uint32_t cpuFlags) {
    k->full = IdctHD8_c;
    k->half = IdctHD4_c;
    k->fullPair = nullptr;
    k->halfPair = nullptr;
    k->fullBlocks = nullptr;
    k->halfBlocks = nullptr;
    k->fullStrided = IdctHD8Strided_c;
#if HVDV_HAVE_SSE2
    if (cpuFlags & kCpuSSE2) {
        k->fullStrided = Strided<IdctHD8_sse2>;
        k->full = IdctHD8_sse2;
        k->half = IdctHD4_sse2;
        k->halfPair = IdctHD4Pair_sse2;
    }
#if HVDV_HAVE_AVX2
    if (cpuFlags & kCpuAVX2) {
        k->fullPair = IdctHD8Pair_avx2;
        k->halfPair = IdctHD4Pair_avx2;
        k->fullBlocks = IdctHD8Blocks_avx2;
        k->halfBlocks = IdctHD4Blocks_avx2;
        k->fullStrided = IdctHD8Strided_avx2;
    }
#endif
#endif
#if HVDV_HAVE_NEON
    if (cpuFlags & kCpuNEON) {
        k->fullStrided = IdctHD8Strided_neon;
        k->full = IdctHD8_neon;
        k->half = IdctHD4_neon;
        k->halfPair = IdctHD4Pair_neon;
    }
#endif
    (void)cpuFlags;
}

alignas(16) const uint16_t kUnitWeights[64] = {
    8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192,
    8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192,
    8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192,
    8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192};

}  // namespace hvdv
