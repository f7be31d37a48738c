// Packed YUV kernels, AVX2: the full-size 4:1:1 macroblock into UYVY and
// YUY2, four rows a step; identical results to the plain and SSE2 ones.
// Only the kernels' own code is built for AVX2: no inline function of a
// header is used here, so none is emitted in this instruction set for the
// linker to pick in place of the plain one.
#include <immintrin.h>

#include "kernels/kernel_impl.h"

namespace hvdv {
namespace {

inline __m256i Load32(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
inline void Store32(uint8_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

// Rows a (low lanes) and b (high lanes) of 16 pixels each from a luma vector
// and an interleaved Cb Cr vector holding the same rows in the same lanes:
// the in-lane interleaves give pixels 0-7 and 8-15 of each row, which the
// lane permutes put back together.
template <bool kChromaFirst>
inline void StoreRowPair(uint8_t* a, uint8_t* b, __m256i luma, __m256i cbcr) {
    const __m256i lo = kChromaFirst ? _mm256_unpacklo_epi8(cbcr, luma) : _mm256_unpacklo_epi8(luma, cbcr);
    const __m256i hi = kChromaFirst ? _mm256_unpackhi_epi8(cbcr, luma) : _mm256_unpackhi_epi8(luma, cbcr);
    Store32(a, _mm256_permute2x128_si256(lo, hi, 0x20));
    Store32(b, _mm256_permute2x128_si256(lo, hi, 0x31));
}

// A 32-byte load takes four rows of a slot, rows r and r + 1 in the low
// lane and r + 2 and r + 3 in the high one, so every interleave below pairs
// row r with r + 2 (and r + 1 with r + 3).  Chroma as in the SSE2 kernel:
// the right neighbour is the row shifted down one byte within its 8 bytes,
// sample 7 its own, and pavgb the rounded mean.
template <bool kChromaFirst>
void PackedMacroblock411(const DVPixelKernelSet*, uint8_t* dst, std::ptrdiff_t pitch, const uint8_t* slots) {
    const __m256i last = _mm256_set1_epi64x((long long)0xFF00000000000000ull);
    for (int r = 0; r < 8; r += 4, dst += 4 * pitch) {
        const __m256i s0 = Load32(slots + 8 * r), s1 = Load32(slots + 64 + 8 * r);
        const __m256i s2 = Load32(slots + 128 + 8 * r), s3 = Load32(slots + 192 + 8 * r);
        const __m256i b = Load32(slots + 5 * 64 + 8 * r), c = Load32(slots + 4 * 64 + 8 * r);
        const __m256i bm = _mm256_avg_epu8(b, _mm256_or_si256(_mm256_srli_epi64(b, 8), _mm256_and_si256(b, last)));
        const __m256i cm = _mm256_avg_epu8(c, _mm256_or_si256(_mm256_srli_epi64(c, 8), _mm256_and_si256(c, last)));
        // 4:2:2 chroma of rows r | r + 2 (b0, c0) and r + 1 | r + 3 (b1, c1).
        const __m256i b0 = _mm256_unpacklo_epi8(b, bm), b1 = _mm256_unpackhi_epi8(b, bm);
        const __m256i c0 = _mm256_unpacklo_epi8(c, cm), c1 = _mm256_unpackhi_epi8(c, cm);
        uint8_t* const d0 = dst;
        uint8_t* const d1 = dst + pitch;
        uint8_t* const d2 = dst + 2 * pitch;
        uint8_t* const d3 = dst + 3 * pitch;
        // Pixels 0-15 (slots 0 1, pairs 0-7) and 16-31 (slots 2 3, pairs 8-15).
        StoreRowPair<kChromaFirst>(d0, d2, _mm256_unpacklo_epi64(s0, s1), _mm256_unpacklo_epi8(b0, c0));
        StoreRowPair<kChromaFirst>(d0 + 32, d2 + 32, _mm256_unpacklo_epi64(s2, s3), _mm256_unpackhi_epi8(b0, c0));
        StoreRowPair<kChromaFirst>(d1, d3, _mm256_unpackhi_epi64(s0, s1), _mm256_unpacklo_epi8(b1, c1));
        StoreRowPair<kChromaFirst>(d1 + 32, d3 + 32, _mm256_unpackhi_epi64(s2, s3), _mm256_unpackhi_epi8(b1, c1));
    }
}

}  // namespace

void AddPackedYuvKernelsAVX2(DVKernelSlots* table) {
    table[kFamilyUYVY].convertMacroblock411 = PackedMacroblock411<true>;
    table[kFamilyYUY2].convertMacroblock411 = PackedMacroblock411<false>;
}

}  // namespace hvdv
