// AVX2 versions of the high-definition row resamplers; identical results to
// the plain C++ references in writer_dsp.cpp.  The arithmetic is that of
// writer_dsp_sse2.cpp with two groups of outputs in each register: the low
// 128-bit half computes groups j .. j + 3 of a step and the high half groups
// j + 4 .. j + 7, so that the in-lane packs leave the 32 (3:4) or 2 x 12
// (2:3) output bytes of eight groups in order.  All sums are exact 32-bit
// integers, so any order of addition gives the reference's values.
#include <immintrin.h>

#include <cstring>

#include "writer/writer_ops.h"

// Only the kernels' own code is built for AVX2: no inline function of a
// header is used here, so none is emitted in this instruction set for the
// linker to pick in place of the plain one.
namespace hvdv {

namespace {

inline void MirrorRowEnds(uint8_t* src, int n) {
    for (int i = 0; i < 16; i++) {
        src[-1 - i] = src[i];
        src[n + i] = src[n - 1 - i];
    }
}

// Eight samples at a in the low half and eight at b in the high half, widened
// to 16 bits.
inline __m256i Widen2(const uint8_t* a, const uint8_t* b) {
    const __m128i v = _mm_castpd_si128(
        _mm_loadh_pd(_mm_castsi128_pd(_mm_loadl_epi64((const __m128i*)a)), (const double*)b));
    return _mm256_cvtepu8_epi16(v);
}

inline __m128i Widen8(const uint8_t* p) {
    return _mm_cvtepu8_epi16(_mm_loadl_epi64((const __m128i*)p));
}

// The 24 taps of one phase as three vectors of eight, in both halves.
struct Phase {
    __m256i t[3];
};

inline Phase LoadPhase(const int16_t* taps) {
    Phase p;
    for (int k = 0; k < 3; k++)
        p.t[k] = _mm256_broadcastsi128_si256(_mm_load_si128((const __m128i*)(taps + 8 * k)));
    return p;
}

inline __m256i Dot24(__m256i s0, __m256i s1, __m256i s2, const Phase& p) {
    const __m256i a = _mm256_madd_epi16(s0, p.t[0]);
    const __m256i b = _mm256_madd_epi16(s1, p.t[1]);
    const __m256i c = _mm256_madd_epi16(s2, p.t[2]);
    return _mm256_add_epi32(_mm256_add_epi32(a, b), c);
}

inline __m128i Dot24(__m128i s0, __m128i s1, __m128i s2, const Phase& p) {
    const __m128i a = _mm_madd_epi16(s0, _mm256_castsi256_si128(p.t[0]));
    const __m128i b = _mm_madd_epi16(s1, _mm256_castsi256_si128(p.t[1]));
    const __m128i c = _mm_madd_epi16(s2, _mm256_castsi256_si128(p.t[2]));
    return _mm_add_epi32(_mm_add_epi32(a, b), c);
}

// {sum a, sum b, sum c, sum d} of the four 32-bit lanes of each, per half.
inline __m256i HorizontalSum4(__m256i a, __m256i b, __m256i c, __m256i d) {
    const __m256i ab = _mm256_add_epi32(_mm256_unpacklo_epi32(a, b), _mm256_unpackhi_epi32(a, b));
    const __m256i cd = _mm256_add_epi32(_mm256_unpacklo_epi32(c, d), _mm256_unpackhi_epi32(c, d));
    return _mm256_add_epi32(_mm256_unpacklo_epi64(ab, cd), _mm256_unpackhi_epi64(ab, cd));
}

inline __m128i HorizontalSum4(__m128i a, __m128i b, __m128i c, __m128i d) {
    const __m128i ab = _mm_add_epi32(_mm_unpacklo_epi32(a, b), _mm_unpackhi_epi32(a, b));
    const __m128i cd = _mm_add_epi32(_mm_unpacklo_epi32(c, d), _mm_unpackhi_epi32(c, d));
    return _mm_add_epi32(_mm_unpacklo_epi64(ab, cd), _mm_unpackhi_epi64(ab, cd));
}

// (sum + 1023) >> 11.
inline __m256i Round11(__m256i v) { return _mm256_srai_epi32(_mm256_add_epi32(v, _mm256_set1_epi32(1023)), 11); }
inline __m128i Round11(__m128i v) { return _mm_srai_epi32(_mm_add_epi32(v, _mm_set1_epi32(1023)), 11); }

// The four (3:4) or three (2:3, the fourth zero) outputs of group j in the
// low half and of group j + 4 in the high half; a group's 24 inputs start
// at s (group j) and s + 4 kStep (group j + 4).
template <int kStep, int kPhases>
inline __m256i Group2(const uint8_t* s, const Phase* p) {
    const __m256i s0 = Widen2(s, s + 4 * kStep), s1 = Widen2(s + 8, s + 4 * kStep + 8);
    const __m256i s2 = Widen2(s + 16, s + 4 * kStep + 16);
    const __m256i d3 = kPhases == 4 ? Dot24(s0, s1, s2, p[3]) : _mm256_setzero_si256();
    return Round11(HorizontalSum4(Dot24(s0, s1, s2, p[0]), Dot24(s0, s1, s2, p[1]), Dot24(s0, s1, s2, p[2]), d3));
}

template <int kPhases>
inline __m128i Group(const uint8_t* s, const Phase* p) {
    const __m128i s0 = Widen8(s), s1 = Widen8(s + 8), s2 = Widen8(s + 16);
    const __m128i d3 = kPhases == 4 ? Dot24(s0, s1, s2, p[3]) : _mm_setzero_si128();
    return Round11(HorizontalSum4(Dot24(s0, s1, s2, p[0]), Dot24(s0, s1, s2, p[1]), Dot24(s0, s1, s2, p[2]), d3));
}

}  // namespace

void ResampleRow3To4_avx2(uint8_t* src, int n, uint8_t* out) {
    MirrorRowEnds(src, n);
    const Phase p[4] = {LoadPhase(kTaps3To4[0]), LoadPhase(kTaps3To4[1]), LoadPhase(kTaps3To4[2]),
                        LoadPhase(kTaps3To4[3])};
    const int groups = n / 3;  // a multiple of four
    int j = 0;
    for (; j + 8 <= groups; j += 8, out += 32) {
        __m256i res[4];
        for (int g = 0; g < 4; g++) res[g] = Group2<3, 4>(src + 3 * (j + g) - kTapsBefore3To4, p);
        const __m256i lo = _mm256_packs_epi32(res[0], res[1]);
        const __m256i hi = _mm256_packs_epi32(res[2], res[3]);
        _mm256_storeu_si256((__m256i*)out, _mm256_packus_epi16(lo, hi));
    }
    for (; j < groups; j += 4, out += 16) {
        __m128i res[4];
        for (int g = 0; g < 4; g++) res[g] = Group<4>(src + 3 * (j + g) - kTapsBefore3To4, p);
        _mm_storeu_si128((__m128i*)out,
                         _mm_packus_epi16(_mm_packs_epi32(res[0], res[1]), _mm_packs_epi32(res[2], res[3])));
    }
}

void ResampleRow2To3_avx2(uint8_t* src, int n, uint8_t* out) {
    MirrorRowEnds(src, n);
    const Phase p[3] = {LoadPhase(kTaps2To3[0]), LoadPhase(kTaps2To3[1]), LoadPhase(kTaps2To3[2])};
    // Bytes o0 o1 o2 _ | o3 o4 o5 _ | ... of each half: every fourth squeezed out.
    const __m128i squeeze128 = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i squeeze = _mm256_broadcastsi128_si256(squeeze128);
    const int groups = n / 2;  // a multiple of four
    int j = 0;
    for (; j + 8 <= groups; j += 8, out += 24) {
        __m256i res[4];
        for (int g = 0; g < 4; g++) res[g] = Group2<2, 3>(src + 2 * (j + g) - kTapsBefore2To3, p);
        const __m256i v = _mm256_shuffle_epi8(
            _mm256_packus_epi16(_mm256_packs_epi32(res[0], res[1]), _mm256_packs_epi32(res[2], res[3])), squeeze);
        const __m128i a = _mm256_castsi256_si128(v), b = _mm256_extracti128_si256(v, 1);
        // Twelve bytes of each half; the first store's last four bytes are
        // rewritten by the second.
        _mm_storeu_si128((__m128i*)out, a);
        _mm_storel_epi64((__m128i*)(out + 12), b);
        const int tail = _mm_cvtsi128_si32(_mm_srli_si128(b, 8));
        std::memcpy(out + 20, &tail, 4);
    }
    for (; j < groups; j += 4, out += 12) {
        __m128i res[4];
        for (int g = 0; g < 4; g++) res[g] = Group<3>(src + 2 * (j + g) - kTapsBefore2To3, p);
        const __m128i v = _mm_shuffle_epi8(
            _mm_packus_epi16(_mm_packs_epi32(res[0], res[1]), _mm_packs_epi32(res[2], res[3])), squeeze128);
        _mm_storel_epi64((__m128i*)out, v);
        const int tail = _mm_cvtsi128_si32(_mm_srli_si128(v, 8));
        std::memcpy(out + 8, &tail, 4);
    }
}

}  // namespace hvdv
