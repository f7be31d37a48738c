// AVX2 inverse transform of two blocks at once: the arithmetic of
// idct_sse2.cpp with block a in the low 128-bit half of every register and
// block b in the high half.  Every step is lane-wise or, for the transpose,
// stays within each half, so each half computes exactly what the SSE2 kernel
// computes for its block.  The two blocks may have different weights, step
// shifts and DCT modes: the variable shifts of the dequantisation become
// multiplications by powers of two (a left shift by k is the low half of the
// product with 2^k; a logical right shift by 16 - k the high half of the
// unsigned product), and a pair of mixed modes runs both second passes and
// takes each half from its own.
#include <immintrin.h>

#include <cstring>

#include "decode/dequant_hd.h"
#include "decode/idct.h"
#include "decode/tables.h"

// Only the kernel's own code is built for AVX2: no inline function of a
// header is used here, so none is emitted in this instruction set for the
// linker to pick in place of the plain one.
namespace hvdv {

namespace {

inline __m256i Const(int k) {
    return _mm256_broadcastsi128_si256(_mm_load_si128((const __m128i*)g_idctConstants.v[k]));
}

inline __m256i Halves(__m128i a, __m128i b) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(a), b, 1);
}

inline __m256i Load2(const void* a, const void* b) {
    return Halves(_mm_load_si128((const __m128i*)a), _mm_load_si128((const __m128i*)b));
}

// The step shift's parts for one block (see idct_sse2.cpp): DC value,
// 2^(3 + s'), doubling mask.
struct StepShift {
    int dc;
    int16_t scale;
    int16_t doubling;
};
inline StepShift ShiftOf(const int16_t* coefficients, int s) {
    const int s2 = s > 3 ? 3 : s;
    return StepShift{(2 * (int)coefficients[0]) >> (s2 + 1), (int16_t)(1 << (3 + s2)), (int16_t)(s > 3 ? -1 : 0)};
}

inline void Dequantise2(__m256i* X, const int16_t* ca, const int16_t* cb, const uint16_t* Wa, const uint16_t* Wb,
                        int sa, int sb, int rows) {
    const StepShift a = ShiftOf(ca, sa), b = ShiftOf(cb, sb);
    const __m256i scale = Halves(_mm_set1_epi16(a.scale), _mm_set1_epi16(b.scale));
    const __m256i doubling = Halves(_mm_set1_epi16(a.doubling), _mm_set1_epi16(b.doubling));
    for (int h = 0; h < rows; h++) {
        __m256i x = Load2(ca + 8 * h, cb + 8 * h);
        x = _mm256_add_epi16(x, _mm256_and_si256(x, doubling));
        if (h == 0) {
            x = _mm256_insert_epi16(x, (int16_t)a.dc, 0);
            x = _mm256_insert_epi16(x, (int16_t)b.dc, 8);
        }
        const __m256i w = Load2(Wa + 8 * h, Wb + 8 * h);
        const __m256i lo = _mm256_mullo_epi16(x, w), hi = _mm256_mulhi_epi16(x, w);
        X[h] = _mm256_or_si256(_mm256_mullo_epi16(hi, scale), _mm256_mulhi_epu16(lo, scale));
    }
}

// High-definition dequantisation of both blocks, row h of a in the low half
// and of b in the high half; the arithmetic of dequant_hd_sse2.h, whose
// unpacks, multiply-adds and pack stay within each half.  The DCs (stored as
// 8 DC) are doubled into the transform's DC units.  kShared: both blocks
// take the same multipliers (the same class and component, as the two
// blocks of a pair nearly always do), which one load then gives both halves.
template <int kRows, bool kShared = false>
inline void DequantiseHD2(__m256i* X, const int16_t* ca, const int16_t* cb, const DVDequantHD* ma,
                          const DVDequantHD* mb) {
    const __m256i one = _mm256_set1_epi16(1);
    for (int h = 0; h < kRows; h++) {
        const __m256i c = Load2(ca + 8 * h, cb + 8 * h);
        __m256i hr, ls;
        if (kShared) {
            hr = _mm256_broadcastsi128_si256(_mm_load_si128((const __m128i*)(ma->highRounded + 8 * h)));
            ls = _mm256_broadcastsi128_si256(_mm_load_si128((const __m128i*)(ma->lowSigned + 8 * h)));
        } else {
            hr = Load2(ma->highRounded + 8 * h, mb->highRounded + 8 * h);
            ls = Load2(ma->lowSigned + 8 * h, mb->lowSigned + 8 * h);
        }
        const __m256i r = _mm256_add_epi16(_mm256_mulhi_epi16(c, ls), _mm256_srli_epi16(_mm256_mullo_epi16(c, ls), 15));
        const __m256i v0 = _mm256_madd_epi16(_mm256_unpacklo_epi16(c, r), _mm256_unpacklo_epi16(hr, one));
        const __m256i v1 = _mm256_madd_epi16(_mm256_unpackhi_epi16(c, r), _mm256_unpackhi_epi16(hr, one));
        X[h] = _mm256_packs_epi32(v0, v1);
    }
    X[0] = _mm256_insert_epi16(X[0], (int16_t)(uint16_t)(2u * (uint16_t)ca[0]), 0);
    X[0] = _mm256_insert_epi16(X[0], (int16_t)(uint16_t)(2u * (uint16_t)cb[0]), 8);
}

inline void Idct8Step(__m256i* x, __m256i bias) {
    const __m256i one = Const(kIdctRound1), two = Const(kIdctRound5);
    const __m256i cos4 = Const(kIdctCos4), cos8 = Const(kIdctCos8), k13 = Const(kIdctK13);
    __m256i a = _mm256_sub_epi16(x[5], x[3]), b5 = _mm256_add_epi16(x[5], x[3]);
    __m256i c = _mm256_sub_epi16(x[1], x[7]), d = _mm256_add_epi16(x[1], x[7]);
    __m256i e = _mm256_sub_epi16(c, a), f = _mm256_add_epi16(a, c);
    __m256i g = _mm256_mulhi_epi16(_mm256_add_epi16(_mm256_add_epi16(e, e), one), cos4);
    __m256i i = _mm256_sub_epi16(d, b5), j = _mm256_add_epi16(b5, d);
    __m256i k = _mm256_mulhi_epi16(_mm256_add_epi16(_mm256_add_epi16(j, j), one), cos8);
    __m256i l = _mm256_add_epi16(_mm256_mulhi_epi16(_mm256_add_epi16(_mm256_add_epi16(f, f), one), cos4), a);
    __m256i n = _mm256_sub_epi16(_mm256_add_epi16(g, c), k);
    __m256i p = _mm256_sub_epi16(_mm256_mulhi_epi16(_mm256_add_epi16(_mm256_slli_epi16(i, 2), two), k13), n);
    __m256i y = _mm256_sub_epi16(l, p);
    __m256i o = _mm256_sub_epi16(x[2], x[6]), q = _mm256_add_epi16(x[2], x[6]);
    __m256i r = _mm256_mulhi_epi16(_mm256_add_epi16(_mm256_slli_epi16(o, 2), Const(kIdctRound6)), cos4);
    __m256i t = _mm256_sub_epi16(r, q);
    __m256i x0 = _mm256_add_epi16(x[0], bias);
    __m256i s1 = _mm256_sub_epi16(x0, x[4]), s2 = _mm256_add_epi16(x0, x[4]);
    __m256i u = _mm256_sub_epi16(s2, q), t0 = _mm256_add_epi16(s2, q);
    __m256i sa = _mm256_sub_epi16(s1, t), sb = _mm256_add_epi16(s1, t);
    x[0] = _mm256_add_epi16(t0, k);
    x[1] = _mm256_add_epi16(sb, n);
    x[2] = _mm256_add_epi16(sa, p);
    x[3] = _mm256_add_epi16(u, y);
    x[4] = _mm256_sub_epi16(u, y);
    x[5] = _mm256_sub_epi16(sa, p);
    x[6] = _mm256_sub_epi16(sb, n);
    x[7] = _mm256_sub_epi16(t0, k);
}

inline void Idct248Pass(__m256i* T) {
    const __m256i one = Const(kIdctRound0), tan8 = Const(kIdctTan8);
    __m256i e0 = _mm256_sub_epi16(T[2], T[3]), e1 = _mm256_add_epi16(T[2], T[3]);
    __m256i e2 = _mm256_sub_epi16(T[6], T[7]), e3 = _mm256_add_epi16(T[6], T[7]);
    __m256i uu = _mm256_add_epi16(_mm256_mulhi_epi16(_mm256_add_epi16(e2, one), tan8), e0);
    __m256i vv = _mm256_sub_epi16(e2, _mm256_mulhi_epi16(_mm256_add_epi16(e0, one), tan8));
    __m256i z = _mm256_add_epi16(e1, _mm256_mulhi_epi16(_mm256_add_epi16(e3, one), tan8));
    __m256i w = _mm256_sub_epi16(e3, _mm256_mulhi_epi16(_mm256_add_epi16(e1, one), tan8));
    __m256i t0 = _mm256_add_epi16(T[0], Const(kIdctBias));
    __m256i alpha = _mm256_sub_epi16(t0, T[1]), beta = _mm256_add_epi16(t0, T[1]);
    __m256i gamma = _mm256_sub_epi16(T[4], T[5]), delta = _mm256_add_epi16(T[4], T[5]);
    __m256i bd0 = _mm256_add_epi16(beta, delta), bd1 = _mm256_sub_epi16(beta, delta);
    __m256i ag0 = _mm256_add_epi16(alpha, gamma), ag1 = _mm256_sub_epi16(alpha, gamma);
    T[0] = _mm256_add_epi16(bd0, z);
    T[6] = _mm256_sub_epi16(bd0, z);
    T[2] = _mm256_sub_epi16(bd1, w);
    T[4] = _mm256_add_epi16(bd1, w);
    T[1] = _mm256_add_epi16(ag0, uu);
    T[7] = _mm256_sub_epi16(ag0, uu);
    T[3] = _mm256_sub_epi16(ag1, vv);
    T[5] = _mm256_add_epi16(ag1, vv);
}

inline void Transpose8x8(__m256i* r) {
    __m256i a0 = _mm256_unpacklo_epi16(r[0], r[1]), a1 = _mm256_unpackhi_epi16(r[0], r[1]);
    __m256i a2 = _mm256_unpacklo_epi16(r[2], r[3]), a3 = _mm256_unpackhi_epi16(r[2], r[3]);
    __m256i a4 = _mm256_unpacklo_epi16(r[4], r[5]), a5 = _mm256_unpackhi_epi16(r[4], r[5]);
    __m256i a6 = _mm256_unpacklo_epi16(r[6], r[7]), a7 = _mm256_unpackhi_epi16(r[6], r[7]);
    __m256i b0 = _mm256_unpacklo_epi32(a0, a2), b1 = _mm256_unpackhi_epi32(a0, a2);
    __m256i b2 = _mm256_unpacklo_epi32(a1, a3), b3 = _mm256_unpackhi_epi32(a1, a3);
    __m256i b4 = _mm256_unpacklo_epi32(a4, a6), b5 = _mm256_unpackhi_epi32(a4, a6);
    __m256i b6 = _mm256_unpacklo_epi32(a5, a7), b7 = _mm256_unpackhi_epi32(a5, a7);
    r[0] = _mm256_unpacklo_epi64(b0, b4);
    r[1] = _mm256_unpackhi_epi64(b0, b4);
    r[2] = _mm256_unpacklo_epi64(b1, b5);
    r[3] = _mm256_unpackhi_epi64(b1, b5);
    r[4] = _mm256_unpacklo_epi64(b2, b6);
    r[5] = _mm256_unpackhi_epi64(b2, b6);
    r[6] = _mm256_unpacklo_epi64(b3, b7);
    r[7] = _mm256_unpackhi_epi64(b3, b7);
}

// 4-point step across x[0..3].
inline void Idct4Step(__m256i* x, __m256i bias) {
    const __m256i one = Const(kIdctRound1), cos4 = Const(kIdctCos4);
    __m256i m2 = _mm256_mulhi_epi16(_mm256_add_epi16(_mm256_add_epi16(x[2], x[2]), one), cos4);
    __m256i x0 = _mm256_add_epi16(x[0], bias);
    __m256i E0 = _mm256_add_epi16(x0, m2), E1 = _mm256_sub_epi16(x0, m2);
    __m256i sum = _mm256_add_epi16(x[1], x[3]), dif = _mm256_sub_epi16(x[1], x[3]);
    __m256i O0 = _mm256_srai_epi16(
        _mm256_add_epi16(x[1], _mm256_mulhi_epi16(_mm256_add_epi16(_mm256_add_epi16(sum, sum), one), cos4)), 1);
    __m256i O1 = _mm256_srai_epi16(
        _mm256_sub_epi16(_mm256_mulhi_epi16(_mm256_add_epi16(_mm256_add_epi16(dif, dif), one), cos4), x[3]), 1);
    x[0] = _mm256_add_epi16(E0, O0);
    x[1] = _mm256_add_epi16(E1, O1);
    x[2] = _mm256_sub_epi16(E1, O1);
    x[3] = _mm256_sub_epi16(E0, O0);
}

// Second pass of a half-size 2-4-8 block: the sum fields of vertical
// frequencies 0 and 1 over four lines.
inline void Half248Pass(__m256i* T) {
    __m256i A = _mm256_add_epi16(T[0], Const(kIdctBias)), S = T[2];
    __m256i mu = _mm256_mulhi_epi16(_mm256_add_epi16(S, Const(kIdctRound0)), Const(kIdctNegTan8));
    T[0] = _mm256_add_epi16(A, S);
    T[1] = _mm256_sub_epi16(A, mu);
    T[2] = _mm256_add_epi16(A, mu);
    T[3] = _mm256_sub_epi16(A, S);
}

inline void Store4(uint8_t* out, __m128i v) {
    int32_t word = _mm_cvtsi128_si32(v);
    std::memcpy(out, &word, 4);
}

// Both half-size passes on dequantised rows X[0..3] of two blocks, modes ma
// and mb, and the 4 x 4 samples of each to its slot (other bytes kept).
inline void Idct4Rows2(uint8_t* outA, uint8_t* outB, __m256i* X, int ma, int mb) {
    Idct4Step(X, _mm256_setzero_si256());
    // As in idct_sse2.cpp, within each half: T[v] with lanes x = 0..3.
    __m256i a = _mm256_unpacklo_epi16(X[0], X[1]), b = _mm256_unpacklo_epi16(X[2], X[3]);
    __m256i t01 = _mm256_unpacklo_epi32(a, b), t23 = _mm256_unpackhi_epi32(a, b);
    __m256i T[4] = {t01, _mm256_unpackhi_epi64(t01, t01), t23, _mm256_unpackhi_epi64(t23, t23)};
    if (ma == mb) {
        if (ma == 0)
            Idct4Step(T, Const(kIdctBias));
        else
            Half248Pass(T);
    } else {
        __m256i Y[4] = {T[0], T[1], T[2], T[3]};
        Idct4Step(T, Const(kIdctBias));
        Half248Pass(Y);
        // Each half from the pass of its own block's mode.
        if (ma)
            for (int r = 0; r < 4; r++) T[r] = _mm256_blend_epi32(T[r], Y[r], 0x0F);
        else
            for (int r = 0; r < 4; r++) T[r] = _mm256_blend_epi32(T[r], Y[r], 0xF0);
    }
    const __m256i r01 = _mm256_packus_epi16(_mm256_srai_epi16(T[0], 5), _mm256_srai_epi16(T[1], 5));
    const __m256i r23 = _mm256_packus_epi16(_mm256_srai_epi16(T[2], 5), _mm256_srai_epi16(T[3], 5));
    const __m128i a01 = _mm256_castsi256_si128(r01), b01 = _mm256_extracti128_si256(r01, 1);
    const __m128i a23 = _mm256_castsi256_si128(r23), b23 = _mm256_extracti128_si256(r23, 1);
    Store4(outA, a01);
    Store4(outA + 8, _mm_srli_si128(a01, 8));
    Store4(outA + 16, a23);
    Store4(outA + 24, _mm_srli_si128(a23, 8));
    Store4(outB, b01);
    Store4(outB + 8, _mm_srli_si128(b01, 8));
    Store4(outB + 16, b23);
    Store4(outB + 24, _mm_srli_si128(b23, 8));
}

inline void Store2(uint8_t* outA, uint8_t* outB, const __m256i* X) {
    for (int y = 0; y < 8; y += 2) {
        const __m256i rows = _mm256_packus_epi16(_mm256_srai_epi16(X[y], 5), _mm256_srai_epi16(X[y + 1], 5));
        _mm_store_si128((__m128i*)(outA + 8 * y), _mm256_castsi256_si128(rows));
        _mm_store_si128((__m128i*)(outB + 8 * y), _mm256_extracti128_si256(rows, 1));
    }
}

// Half size, four blocks at once: the layout of the SSE2 pair kernels
// (block a in lanes 0-3, b in lanes 4-7 of a row of vertical indexes 0-3)
// in each 128-bit half, blocks 0 and 1 in the low half, 2 and 3 in the high
// half.  The 4 x 4 transform reads vertical indexes 0-3 only, so no lane is
// idle, where the pair kernels above leave half of them so.
template <typename T>
inline __m256i Quarters(const T* const* p, int offset) {
    const __m128i lo = _mm_unpacklo_epi64(_mm_loadl_epi64((const __m128i*)(p[0] + offset)),
                                          _mm_loadl_epi64((const __m128i*)(p[1] + offset)));
    const __m128i hi = _mm_unpacklo_epi64(_mm_loadl_epi64((const __m128i*)(p[2] + offset)),
                                          _mm_loadl_epi64((const __m128i*)(p[3] + offset)));
    return Halves(lo, hi);
}

// The first lane of each block (words 0 and 4 of each half).
constexpr int kFirstLanes = 0x11;

// Word 0 of each 64-bit element in all four of its words.
inline __m256i SpreadWord0(__m256i x) {
    return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(x, 0), 0);
}

// ShiftOf for four blocks at once, block i in 64-bit element i: the step
// shifts from s, the DC terms from row 0 of the coefficients (x0, DC in
// word 0 of each element) into word 0 of each element of dc.
inline void ShiftsOf4(const int* s, __m256i x0, __m256i* scale, __m256i* doubling, __m256i* dc) {
    const __m256i s4 = _mm256_cvtepi32_epi64(_mm_loadu_si128((const __m128i*)s));
    const __m256i s2 = _mm256_min_epi32(s4, _mm256_set1_epi32(3));
    *scale = SpreadWord0(_mm256_sllv_epi32(_mm256_set1_epi32(1), _mm256_add_epi32(s2, _mm256_set1_epi32(3))));
    *doubling = SpreadWord0(_mm256_cmpgt_epi32(s4, _mm256_set1_epi32(3)));
    // 2 * DC in the upper 32 bits, shifted right by s2 + 1 there, then
    // moved down.
    const __m256i twice = _mm256_slli_epi32(_mm256_srai_epi32(_mm256_slli_epi64(x0, 48), 16), 1);
    const __m256i count = _mm256_slli_epi64(_mm256_add_epi32(s2, _mm256_set1_epi32(1)), 32);
    *dc = _mm256_srli_epi64(_mm256_srav_epi32(twice, count), 32);
}

inline void DequantiseHalf4(__m256i* X, const int16_t* const* c, const uint16_t* const* W, const int* s) {
    __m256i scale, doubling, dc;
    const __m256i x0 = Quarters(c, 0);
    ShiftsOf4(s, x0, &scale, &doubling, &dc);
    for (int h = 0; h < 4; h++) {
        __m256i x = h == 0 ? x0 : Quarters(c, 8 * h);
        x = _mm256_add_epi16(x, _mm256_and_si256(x, doubling));
        if (h == 0) x = _mm256_blend_epi16(x, dc, kFirstLanes);
        const __m256i w = Quarters(W, 8 * h);
        const __m256i lo = _mm256_mullo_epi16(x, w), hi = _mm256_mulhi_epi16(x, w);
        X[h] = _mm256_or_si256(_mm256_mullo_epi16(hi, scale), _mm256_mulhi_epu16(lo, scale));
    }
}

// Row h's first four multipliers of one table for all four blocks.
inline __m256i Broadcast4(const int16_t* p) {
    int64_t v;
    std::memcpy(&v, p, 8);
    return _mm256_set1_epi64x(v);
}

// kShared: the four blocks take the same multipliers (one class and
// component, as the blocks of a macroblock's luminance or colour difference
// mostly do), so that each row of them is one broadcast load.
template <bool kShared>
inline void DequantiseHDHalf4(__m256i* X, const int16_t* const* c, const DVDequantHD* const* m) {
    const __m256i one = _mm256_set1_epi16(1);
    const int16_t* const hr[4] = {m[0]->highRounded, m[1]->highRounded, m[2]->highRounded, m[3]->highRounded};
    const int16_t* const ls[4] = {m[0]->lowSigned, m[1]->lowSigned, m[2]->lowSigned, m[3]->lowSigned};
    const __m256i x0 = Quarters(c, 0);
    for (int h = 0; h < 4; h++) {
        const __m256i x = h == 0 ? x0 : Quarters(c, 8 * h);
        const __m256i H = kShared ? Broadcast4(hr[0] + 8 * h) : Quarters(hr, 8 * h);
        const __m256i L = kShared ? Broadcast4(ls[0] + 8 * h) : Quarters(ls, 8 * h);
        const __m256i r = _mm256_add_epi16(_mm256_mulhi_epi16(x, L), _mm256_srli_epi16(_mm256_mullo_epi16(x, L), 15));
        // Within each half: the low four lanes are one block, the high four
        // the other; the pack keeps that order.
        const __m256i v0 = _mm256_madd_epi16(_mm256_unpacklo_epi16(x, r), _mm256_unpacklo_epi16(H, one));
        const __m256i v1 = _mm256_madd_epi16(_mm256_unpackhi_epi16(x, r), _mm256_unpackhi_epi16(H, one));
        X[h] = _mm256_packs_epi32(v0, v1);
    }
    X[0] = _mm256_blend_epi16(X[0], _mm256_slli_epi16(x0, 1), kFirstLanes);
}

inline void Store4At(uint8_t* out, int word) {
    std::memcpy(out, &word, 4);
}

// The 4 x 4 samples of two blocks from a 128-bit half: rows 0 and 1 of
// each in r01 (row 0 of a, of b, row 1 of a, of b), rows 2 and 3 in r23.
inline void Store4x4Two(uint8_t* a, uint8_t* b, __m128i r01, __m128i r23) {
    Store4At(a, _mm_cvtsi128_si32(r01));
    Store4At(b, _mm_extract_epi32(r01, 1));
    Store4At(a + 8, _mm_extract_epi32(r01, 2));
    Store4At(b + 8, _mm_extract_epi32(r01, 3));
    Store4At(a + 16, _mm_cvtsi128_si32(r23));
    Store4At(b + 16, _mm_extract_epi32(r23, 1));
    Store4At(a + 24, _mm_extract_epi32(r23, 2));
    Store4At(b + 24, _mm_extract_epi32(r23, 3));
}

// Both half-size passes on the rows X[0..3] of four blocks and the 4 x 4
// samples of each to its slot (other bytes kept).
inline void Idct4Rows4(uint8_t* const* out, __m256i* X, const int* m) {
    Idct4Step(X, _mm256_setzero_si256());
    // T[v] with lanes x = 0..3 of the first block of each half, then of
    // the second.
    const __m256i aLo = _mm256_unpacklo_epi16(X[0], X[1]), aHi = _mm256_unpackhi_epi16(X[0], X[1]);
    const __m256i bLo = _mm256_unpacklo_epi16(X[2], X[3]), bHi = _mm256_unpackhi_epi16(X[2], X[3]);
    const __m256i a01 = _mm256_unpacklo_epi32(aLo, bLo), a23 = _mm256_unpackhi_epi32(aLo, bLo);
    const __m256i b01 = _mm256_unpacklo_epi32(aHi, bHi), b23 = _mm256_unpackhi_epi32(aHi, bHi);
    __m256i T[4] = {_mm256_unpacklo_epi64(a01, b01), _mm256_unpackhi_epi64(a01, b01), _mm256_unpacklo_epi64(a23, b23),
                    _mm256_unpackhi_epi64(a23, b23)};
    const int modes = (m[0] ? 1 : 0) | (m[1] ? 2 : 0) | (m[2] ? 4 : 0) | (m[3] ? 8 : 0);
    if (modes == 0) {
        Idct4Step(T, Const(kIdctBias));
    } else if (modes == 15) {
        Half248Pass(T);
    } else {
        __m256i Y[4] = {T[0], T[1], T[2], T[3]};
        Idct4Step(T, Const(kIdctBias));
        Half248Pass(Y);
        // Each block from the pass of its own mode.
        const __m256i fromY =
            _mm256_setr_epi32(-(modes & 1), -(modes & 1), -((modes >> 1) & 1), -((modes >> 1) & 1), -((modes >> 2) & 1),
                              -((modes >> 2) & 1), -((modes >> 3) & 1), -((modes >> 3) & 1));
        for (int r = 0; r < 4; r++) T[r] = _mm256_blendv_epi8(T[r], Y[r], fromY);
    }
    // Bytes of each half: row 0 of its first block, of its second, row 1 of
    // the first, of the second (rows 2 and 3 likewise).
    const __m256i r01 = _mm256_packus_epi16(_mm256_srai_epi16(T[0], 5), _mm256_srai_epi16(T[1], 5));
    const __m256i r23 = _mm256_packus_epi16(_mm256_srai_epi16(T[2], 5), _mm256_srai_epi16(T[3], 5));
    const __m128i lo01 = _mm256_castsi256_si128(r01), hi01 = _mm256_extracti128_si256(r01, 1);
    const __m128i lo23 = _mm256_castsi256_si128(r23), hi23 = _mm256_extracti128_si256(r23, 1);
    Store4x4Two(out[0], out[1], lo01, lo23);
    Store4x4Two(out[2], out[3], hi01, hi23);
}

// Two blocks' full-size transforms, inlined into the pair and macroblock
// kernels below.
// Two blocks' samples, before the final shift: row y of a in the low half
// of X[y], of b in the high half.
inline void Transform8Pair(__m256i* X, const int16_t* ca, const int16_t* cb, const uint16_t* Wa,
                           const uint16_t* Wb, int sa, int sb, int ma, int mb) {
    Dequantise2(X, ca, cb, Wa, Wb, sa, sb, 8);
    Idct8Step(X, _mm256_setzero_si256());
    Transpose8x8(X);
    if (ma == mb) {
        if (ma == 0)
            Idct8Step(X, Const(kIdctBias));
        else
            Idct248Pass(X);
    } else {
        __m256i Y[8];
        for (int r = 0; r < 8; r++) Y[r] = X[r];
        Idct8Step(X, Const(kIdctBias));
        Idct248Pass(Y);
        // Each half from the pass of its own block's mode.
        if (ma)
            for (int r = 0; r < 8; r++) X[r] = _mm256_blend_epi32(X[r], Y[r], 0x0F);
        else
            for (int r = 0; r < 8; r++) X[r] = _mm256_blend_epi32(X[r], Y[r], 0xF0);
    }
}

inline void Pair8(uint8_t* outA, uint8_t* outB, const int16_t* ca, const int16_t* cb, const uint16_t* Wa,
                  const uint16_t* Wb, int sa, int sb, int ma, int mb) {
    __m256i X[8];
    Transform8Pair(X, ca, cb, Wa, Wb, sa, sb, ma, mb);
    Store2(outA, outB, X);
}

// Two high-definition blocks' samples, before the final shift: row y of a
// in the low half of X[y], of b in the high half.
inline void TransformHD8Pair(__m256i* X, const int16_t* ca, const int16_t* cb, const DVDequantHD* ma,
                             const DVDequantHD* mb) {
    if (ma == mb)
        DequantiseHD2<8, true>(X, ca, cb, ma, mb);
    else
        DequantiseHD2<8>(X, ca, cb, ma, mb);
    Idct8Step(X, _mm256_setzero_si256());
    Transpose8x8(X);
    Idct8Step(X, Const(kIdctBias));
}

inline void PairHD8(uint8_t* outA, uint8_t* outB, const int16_t* ca, const int16_t* cb, const DVDequantHD* ma,
                    const DVDequantHD* mb) {
    __m256i X[8];
    TransformHD8Pair(X, ca, cb, ma, mb);
    Store2(outA, outB, X);
}

// The upper 8 bytes of v to out.  movhps stores them as they are; a
// double-precision store (storeh_pd) could pass through the x87 unit on
// 32-bit targets, which does not keep every bit pattern.
inline void StoreHigh8(uint8_t* out, __m128i v) { _mm_storeh_pi((__m64*)out, _mm_castsi128_ps(v)); }

// Store2 with rows pitch apart.
inline void Store2Strided(uint8_t* outA, uint8_t* outB, ptrdiff_t pitchA, ptrdiff_t pitchB, const __m256i* X) {
    for (int y = 0; y < 8; y += 2) {
        const __m256i rows = _mm256_packus_epi16(_mm256_srai_epi16(X[y], 5), _mm256_srai_epi16(X[y + 1], 5));
        const __m128i a = _mm256_castsi256_si128(rows), b = _mm256_extracti128_si256(rows, 1);
        _mm_storel_epi64((__m128i*)(outA + y * pitchA), a);
        StoreHigh8(outA + (y + 1) * pitchA, a);
        _mm_storel_epi64((__m128i*)(outB + y * pitchB), b);
        StoreHigh8(outB + (y + 1) * pitchB, b);
    }
}

}  // namespace

void IdctKernel8Pair_avx2(uint8_t* outA, uint8_t* outB, const int16_t* ca, const int16_t* cb, const uint16_t* Wa,
                          const uint16_t* Wb, int sa, int sb, int ma, int mb) {
    Pair8(outA, outB, ca, cb, Wa, Wb, sa, sb, ma, mb);
}

void IdctHD8Pair_avx2(uint8_t* outA, uint8_t* outB, const int16_t* ca, const int16_t* cb, const DVDequantHD* ma,
                      const DVDequantHD* mb) {
    PairHD8(outA, outB, ca, cb, ma, mb);
}

void IdctKernel4Pair_avx2(uint8_t* outA, uint8_t* outB, const int16_t* ca, const int16_t* cb, const uint16_t* Wa,
                          const uint16_t* Wb, int sa, int sb, int ma, int mb) {
    __m256i X[4];
    Dequantise2(X, ca, cb, Wa, Wb, sa, sb, 4);
    Idct4Rows2(outA, outB, X, ma, mb);
}

void IdctHD4Pair_avx2(uint8_t* outA, uint8_t* outB, const int16_t* ca, const int16_t* cb, const DVDequantHD* ma,
                      const DVDequantHD* mb) {
    __m256i X[4];
    DequantiseHD2<4>(X, ca, cb, ma, mb);
    Idct4Rows2(outA, outB, X, 0, 0);
}

void IdctKernel8Blocks_avx2(uint8_t* const* out, const int16_t* const* c, const uint16_t* const* W, const int* s,
                            const int* m, int n) {
    int i = 0;
    for (; i + 1 < n; i += 2) Pair8(out[i], out[i + 1], c[i], c[i + 1], W[i], W[i + 1], s[i], s[i + 1], m[i], m[i + 1]);
    if (i < n) IdctKernel8_sse2(out[i], c[i], W[i], s[i], m[i]);
}

void IdctKernel4Blocks_avx2(uint8_t* const* out, const int16_t* const* c, const uint16_t* const* W, const int* s,
                            const int* m, int n) {
    int i = 0;
    for (; i + 3 < n; i += 4) {
        __m256i X[4];
        DequantiseHalf4(X, c + i, W + i, s + i);
        Idct4Rows4(out + i, X, m + i);
    }
    for (; i + 1 < n; i += 2)
        IdctKernel4Pair_avx2(out[i], out[i + 1], c[i], c[i + 1], W[i], W[i + 1], s[i], s[i + 1], m[i], m[i + 1]);
    if (i < n) IdctKernel4_sse2(out[i], c[i], W[i], s[i], m[i]);
}

void IdctHD8Blocks_avx2(uint8_t* const* out, const int16_t* const* c, const DVDequantHD* const* m, int n) {
    int i = 0;
    for (; i + 1 < n; i += 2) PairHD8(out[i], out[i + 1], c[i], c[i + 1], m[i], m[i + 1]);
    if (i < n) IdctHD8_sse2(out[i], c[i], m[i]);
}

void IdctKernel8Strided_avx2(uint8_t* const* out, const ptrdiff_t* pitch, const int16_t* const* c,
                             const uint16_t* const* W, const int* s, const int* m, int n) {
    int i = 0;
    for (; i + 1 < n; i += 2) {
        __m256i X[8];
        Transform8Pair(X, c[i], c[i + 1], W[i], W[i + 1], s[i], s[i + 1], m[i], m[i + 1]);
        Store2Strided(out[i], out[i + 1], pitch[i], pitch[i + 1], X);
    }
    if (i < n) {
        alignas(16) uint8_t slot[64];
        IdctKernel8_sse2(slot, c[i], W[i], s[i], m[i]);
        for (int r = 0; r < 8; r++) std::memcpy(out[i] + r * pitch[i], slot + 8 * r, 8);
    }
}

void IdctHD8Strided_avx2(uint8_t* const* out, const ptrdiff_t* pitch, const int16_t* const* c,
                         const DVDequantHD* const* m, int n) {
    int i = 0;
    for (; i + 1 < n; i += 2) {
        __m256i X[8];
        TransformHD8Pair(X, c[i], c[i + 1], m[i], m[i + 1]);
        Store2Strided(out[i], out[i + 1], pitch[i], pitch[i + 1], X);
    }
    if (i < n) {
        alignas(16) uint8_t slot[64];
        IdctHD8_sse2(slot, c[i], m[i]);
        for (int r = 0; r < 8; r++) std::memcpy(out[i] + r * pitch[i], slot + 8 * r, 8);
    }
}

void IdctHD4Blocks_avx2(uint8_t* const* out, const int16_t* const* c, const DVDequantHD* const* m, int n) {
    static const int kModes[4] = {0, 0, 0, 0};
    int i = 0;
    for (; i + 3 < n; i += 4) {
        __m256i X[4];
        if (m[i] == m[i + 1] && m[i] == m[i + 2] && m[i] == m[i + 3])
            DequantiseHDHalf4<true>(X, c + i, m + i);
        else
            DequantiseHDHalf4<false>(X, c + i, m + i);
        Idct4Rows4(out + i, X, kModes);
    }
    for (; i + 1 < n; i += 2) IdctHD4Pair_avx2(out[i], out[i + 1], c[i], c[i + 1], m[i], m[i + 1]);
    if (i < n) IdctHD4_sse2(out[i], c[i], m[i]);
}

}  // namespace hvdv
