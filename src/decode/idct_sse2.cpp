// SSE2 inverse transform: the arithmetic of idct.cpp on eight 16-bit lanes.
// Coefficients arrive transposed (row h holds the eight vertical indexes of
// horizontal frequency h), so the first pass runs across the eight rows with
// one lane per vertical index; one 8x8 transpose then turns the columns into
// rows for the second pass, whose lanes are the output columns.
#include <emmintrin.h>

#include <cstring>

#include "decode/dequant_hd_sse2.h"
#include "decode/idct.h"
#include "decode/tables.h"

namespace hvdv {

namespace {

inline __m128i Const(int k) { return _mm_load_si128((const __m128i*)g_idctConstants.v[k]); }

// Dequantises rows 0..rows-1 into X: the DC lane takes the step shift
// directly; every lane keeps bits (13 - s') .. (28 - s') of x * w, assembled
// from the high and low halves of the 16 x 16-bit product.  The step shift
// 4 (s' = 3) doubles every coefficient first.  The step shift varies from
// block to block, so it is applied without branches: the doubling through a
// lane mask, the DC shift as (2 c0) >> (s' + 1), which is 2 c0 for s = -1 and
// c0 >> s' otherwise.
inline void Dequantise(__m128i* X, const int16_t* coefficients, const uint16_t* W, int s, int rows) {
    const int s2 = s > 3 ? 3 : s;
    const int dc = (2 * (int)coefficients[0]) >> (s2 + 1);
    const __m128i hiShift = _mm_cvtsi32_si128(3 + s2);
    const __m128i loShift = _mm_cvtsi32_si128(13 - s2);
    const __m128i doubling = _mm_set1_epi16((int16_t)(s > 3 ? -1 : 0));
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC unroll 8
#endif
    for (int h = 0; h < rows; h++) {
        __m128i x = _mm_load_si128((const __m128i*)(coefficients + 8 * h));
        x = _mm_add_epi16(x, _mm_and_si128(x, doubling));
        if (h == 0) x = _mm_insert_epi16(x, dc, 0);
        const __m128i w = _mm_load_si128((const __m128i*)(W + 8 * h));
        const __m128i lo = _mm_mullo_epi16(x, w), hi = _mm_mulhi_epi16(x, w);
        X[h] = _mm_or_si128(_mm_sll_epi16(hi, hiShift), _mm_srl_epi16(lo, loShift));
    }
}

// 8-point step across x[0..7]; bias is added to the DC path.
inline void Idct8Step(__m128i* x, __m128i bias) {
    const __m128i one = Const(kIdctRound1), two = Const(kIdctRound5);
    const __m128i cos4 = Const(kIdctCos4), cos8 = Const(kIdctCos8), k13 = Const(kIdctK13);
    __m128i a = _mm_sub_epi16(x[5], x[3]), b5 = _mm_add_epi16(x[5], x[3]);
    __m128i c = _mm_sub_epi16(x[1], x[7]), d = _mm_add_epi16(x[1], x[7]);
    __m128i e = _mm_sub_epi16(c, a), f = _mm_add_epi16(a, c);
    __m128i g = _mm_mulhi_epi16(_mm_add_epi16(_mm_add_epi16(e, e), one), cos4);
    __m128i i = _mm_sub_epi16(d, b5), j = _mm_add_epi16(b5, d);
    __m128i k = _mm_mulhi_epi16(_mm_add_epi16(_mm_add_epi16(j, j), one), cos8);
    __m128i l = _mm_add_epi16(_mm_mulhi_epi16(_mm_add_epi16(_mm_add_epi16(f, f), one), cos4), a);
    __m128i n = _mm_sub_epi16(_mm_add_epi16(g, c), k);
    __m128i p = _mm_sub_epi16(_mm_mulhi_epi16(_mm_add_epi16(_mm_slli_epi16(i, 2), two), k13), n);
    __m128i y = _mm_sub_epi16(l, p);
    __m128i o = _mm_sub_epi16(x[2], x[6]), q = _mm_add_epi16(x[2], x[6]);
    __m128i r = _mm_mulhi_epi16(_mm_add_epi16(_mm_slli_epi16(o, 2), Const(kIdctRound6)), cos4);
    __m128i t = _mm_sub_epi16(r, q);
    __m128i x0 = _mm_add_epi16(x[0], bias);
    __m128i s1 = _mm_sub_epi16(x0, x[4]), s2 = _mm_add_epi16(x0, x[4]);
    __m128i u = _mm_sub_epi16(s2, q), t0 = _mm_add_epi16(s2, q);
    __m128i sa = _mm_sub_epi16(s1, t), sb = _mm_add_epi16(s1, t);
    x[0] = _mm_add_epi16(t0, k);
    x[1] = _mm_add_epi16(sb, n);
    x[2] = _mm_add_epi16(sa, p);
    x[3] = _mm_add_epi16(u, y);
    x[4] = _mm_sub_epi16(u, y);
    x[5] = _mm_sub_epi16(sa, p);
    x[6] = _mm_sub_epi16(sb, n);
    x[7] = _mm_sub_epi16(t0, k);
}

// 2-4-8 vertical pass on T[0..7] (lanes = columns), in place.
inline void Idct248Pass(__m128i* T) {
    const __m128i one = Const(kIdctRound0), tan8 = Const(kIdctTan8);
    __m128i e0 = _mm_sub_epi16(T[2], T[3]), e1 = _mm_add_epi16(T[2], T[3]);
    __m128i e2 = _mm_sub_epi16(T[6], T[7]), e3 = _mm_add_epi16(T[6], T[7]);
    __m128i uu = _mm_add_epi16(_mm_mulhi_epi16(_mm_add_epi16(e2, one), tan8), e0);
    __m128i vv = _mm_sub_epi16(e2, _mm_mulhi_epi16(_mm_add_epi16(e0, one), tan8));
    __m128i z = _mm_add_epi16(e1, _mm_mulhi_epi16(_mm_add_epi16(e3, one), tan8));
    __m128i w = _mm_sub_epi16(e3, _mm_mulhi_epi16(_mm_add_epi16(e1, one), tan8));
    __m128i t0 = _mm_add_epi16(T[0], Const(kIdctBias));
    __m128i alpha = _mm_sub_epi16(t0, T[1]), beta = _mm_add_epi16(t0, T[1]);
    __m128i gamma = _mm_sub_epi16(T[4], T[5]), delta = _mm_add_epi16(T[4], T[5]);
    __m128i bd0 = _mm_add_epi16(beta, delta), bd1 = _mm_sub_epi16(beta, delta);
    __m128i ag0 = _mm_add_epi16(alpha, gamma), ag1 = _mm_sub_epi16(alpha, gamma);
    T[0] = _mm_add_epi16(bd0, z);
    T[6] = _mm_sub_epi16(bd0, z);
    T[2] = _mm_sub_epi16(bd1, w);
    T[4] = _mm_add_epi16(bd1, w);
    T[1] = _mm_add_epi16(ag0, uu);
    T[7] = _mm_sub_epi16(ag0, uu);
    T[3] = _mm_sub_epi16(ag1, vv);
    T[5] = _mm_add_epi16(ag1, vv);
}

inline void Transpose8x8(__m128i* r) {
    __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
    __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
    __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
    __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
    __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
    __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
    __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
    __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
    r[0] = _mm_unpacklo_epi64(b0, b4);
    r[1] = _mm_unpackhi_epi64(b0, b4);
    r[2] = _mm_unpacklo_epi64(b1, b5);
    r[3] = _mm_unpackhi_epi64(b1, b5);
    r[4] = _mm_unpacklo_epi64(b2, b6);
    r[5] = _mm_unpackhi_epi64(b2, b6);
    r[6] = _mm_unpacklo_epi64(b3, b7);
    r[7] = _mm_unpackhi_epi64(b3, b7);
}

// 4-point step across x[0..3].
inline void Idct4Step(__m128i* x, __m128i bias) {
    const __m128i one = Const(kIdctRound1), cos4 = Const(kIdctCos4);
    __m128i m2 = _mm_mulhi_epi16(_mm_add_epi16(_mm_add_epi16(x[2], x[2]), one), cos4);
    __m128i x0 = _mm_add_epi16(x[0], bias);
    __m128i E0 = _mm_add_epi16(x0, m2), E1 = _mm_sub_epi16(x0, m2);
    __m128i sum = _mm_add_epi16(x[1], x[3]), dif = _mm_sub_epi16(x[1], x[3]);
    __m128i O0 = _mm_srai_epi16(
        _mm_add_epi16(x[1], _mm_mulhi_epi16(_mm_add_epi16(_mm_add_epi16(sum, sum), one), cos4)), 1);
    __m128i O1 = _mm_srai_epi16(
        _mm_sub_epi16(_mm_mulhi_epi16(_mm_add_epi16(_mm_add_epi16(dif, dif), one), cos4), x[3]), 1);
    x[0] = _mm_add_epi16(E0, O0);
    x[1] = _mm_add_epi16(E1, O1);
    x[2] = _mm_sub_epi16(E1, O1);
    x[3] = _mm_sub_epi16(E0, O0);
}

inline void Store4(uint8_t* out, __m128i v) {
    int32_t word = _mm_cvtsi128_si32(v);
    std::memcpy(out, &word, 4);
}

// Both passes of the 8-8 or 2-4-8 transform on dequantised rows X, and
// the samples to out.
inline void Idct8Rows(uint8_t* out, __m128i* X, int m) {
    Idct8Step(X, _mm_setzero_si128());
    Transpose8x8(X);
    if (m == 0) Idct8Step(X, Const(kIdctBias));
    else Idct248Pass(X);
    for (int y = 0; y < 8; y += 2) {
        __m128i rows = _mm_packus_epi16(_mm_srai_epi16(X[y], 5), _mm_srai_epi16(X[y + 1], 5));
        _mm_store_si128((__m128i*)(out + 8 * y), rows);
    }
}

// The half-size transform on dequantised rows X[0..3] (horizontal
// frequencies 0-3), and its 4 x 4 samples to out.
inline void Idct4Rows(uint8_t* out, __m128i* X, int m) {
    Idct4Step(X, _mm_setzero_si128());
    // X[x] has lanes v; gather T[v] with lanes x = 0..3 (upper lanes unused).
    __m128i a = _mm_unpacklo_epi16(X[0], X[1]), b = _mm_unpacklo_epi16(X[2], X[3]);
    __m128i t01 = _mm_unpacklo_epi32(a, b), t23 = _mm_unpackhi_epi32(a, b);
    __m128i T[4] = {t01, _mm_unpackhi_epi64(t01, t01), t23, _mm_unpackhi_epi64(t23, t23)};
    if (m == 0) {
        Idct4Step(T, Const(kIdctBias));
    } else {
        __m128i A = _mm_add_epi16(T[0], Const(kIdctBias)), S = T[2];
        __m128i mu = _mm_mulhi_epi16(_mm_add_epi16(S, Const(kIdctRound0)), Const(kIdctNegTan8));
        T[0] = _mm_add_epi16(A, S);
        T[1] = _mm_sub_epi16(A, mu);
        T[2] = _mm_add_epi16(A, mu);
        T[3] = _mm_sub_epi16(A, S);
    }
    __m128i r01 = _mm_packus_epi16(_mm_srai_epi16(T[0], 5), _mm_srai_epi16(T[1], 5));
    __m128i r23 = _mm_packus_epi16(_mm_srai_epi16(T[2], 5), _mm_srai_epi16(T[3], 5));
    Store4(out, r01);
    Store4(out + 8, _mm_srli_si128(r01, 8));
    Store4(out + 16, r23);
    Store4(out + 24, _mm_srli_si128(r23, 8));
}

// High-definition rows 0 .. rows-1 dequantised, the DC (stored as 8 DC)
// doubled into the transform's DC units, as DequantiseBlockHD does.
inline void DequantiseHD(__m128i* X, const int16_t* coefficients, const DVDequantHD* m, int rows) {
    for (int h = 0; h < rows; h++) X[h] = DequantRowHD_sse2(coefficients, m, 8 * h);
    X[0] = _mm_insert_epi16(X[0], (int16_t)(uint16_t)(2u * (uint16_t)coefficients[0]), 0);
}

// Half size of two blocks in one register: the second pass reads only the
// vertical frequencies 0-3, so the first pass needs only lanes v = 0..3 of
// each row, and block a takes lanes 0-3, block b lanes 4-7.  The step
// shifts of the two blocks differ, so the dequantisation's shifts become
// multiplications by powers of two (a left shift by k is the low half of the
// product with 2^k, a logical right shift by 16 - k the high half of the
// unsigned product), as in the AVX2 pair kernels.
inline __m128i Halves64(__m128i a, __m128i b) { return _mm_unpacklo_epi64(a, b); }

inline void DequantiseHalfPair(__m128i* X, const int16_t* ca, const int16_t* cb, const uint16_t* Wa,
                               const uint16_t* Wb, int sa, int sb) {
    const int a2 = sa > 3 ? 3 : sa, b2 = sb > 3 ? 3 : sb;
    const int dcA = (2 * (int)ca[0]) >> (a2 + 1), dcB = (2 * (int)cb[0]) >> (b2 + 1);
    const __m128i scale = Halves64(_mm_set1_epi16((int16_t)(1 << (3 + a2))), _mm_set1_epi16((int16_t)(1 << (3 + b2))));
    const __m128i doubling =
        Halves64(_mm_set1_epi16((int16_t)(sa > 3 ? -1 : 0)), _mm_set1_epi16((int16_t)(sb > 3 ? -1 : 0)));
    for (int h = 0; h < 4; h++) {
        __m128i x = Halves64(_mm_loadl_epi64((const __m128i*)(ca + 8 * h)), _mm_loadl_epi64((const __m128i*)(cb + 8 * h)));
        x = _mm_add_epi16(x, _mm_and_si128(x, doubling));
        if (h == 0) {
            x = _mm_insert_epi16(x, dcA, 0);
            x = _mm_insert_epi16(x, dcB, 4);
        }
        const __m128i w = Halves64(_mm_loadl_epi64((const __m128i*)(Wa + 8 * h)), _mm_loadl_epi64((const __m128i*)(Wb + 8 * h)));
        const __m128i lo = _mm_mullo_epi16(x, w), hi = _mm_mulhi_epi16(x, w);
        X[h] = _mm_or_si128(_mm_mullo_epi16(hi, scale), _mm_mulhi_epu16(lo, scale));
    }
}

// Second pass of a half-size 2-4-8 block: the sum fields of vertical
// frequencies 0 and 1 over four lines.
inline void Half248Pass(__m128i* T) {
    __m128i A = _mm_add_epi16(T[0], Const(kIdctBias)), S = T[2];
    __m128i mu = _mm_mulhi_epi16(_mm_add_epi16(S, Const(kIdctRound0)), Const(kIdctNegTan8));
    T[0] = _mm_add_epi16(A, S);
    T[1] = _mm_sub_epi16(A, mu);
    T[2] = _mm_add_epi16(A, mu);
    T[3] = _mm_sub_epi16(A, S);
}

// Both half-size passes on the paired rows X[0..3] (horizontal frequencies
// 0-3; lanes v = 0..3 of block a, then of block b), modes ma and mb, and the
// 4 x 4 samples of each block to its slot (other bytes kept).
inline void Idct4RowsPair(uint8_t* outA, uint8_t* outB, __m128i* X, int ma, int mb) {
    Idct4Step(X, _mm_setzero_si128());
    // T[v] with lanes x = 0..3 of block a, then x = 0..3 of block b.
    const __m128i aLo = _mm_unpacklo_epi16(X[0], X[1]), aHi = _mm_unpackhi_epi16(X[0], X[1]);
    const __m128i bLo = _mm_unpacklo_epi16(X[2], X[3]), bHi = _mm_unpackhi_epi16(X[2], X[3]);
    const __m128i a01 = _mm_unpacklo_epi32(aLo, bLo), a23 = _mm_unpackhi_epi32(aLo, bLo);
    const __m128i b01 = _mm_unpacklo_epi32(aHi, bHi), b23 = _mm_unpackhi_epi32(aHi, bHi);
    __m128i T[4] = {_mm_unpacklo_epi64(a01, b01), _mm_unpackhi_epi64(a01, b01), _mm_unpacklo_epi64(a23, b23),
                    _mm_unpackhi_epi64(a23, b23)};
    if (ma == mb) {
        if (ma == 0) Idct4Step(T, Const(kIdctBias));
        else Half248Pass(T);
    } else {
        __m128i Y[4] = {T[0], T[1], T[2], T[3]};
        Idct4Step(T, Const(kIdctBias));
        Half248Pass(Y);
        // Each half from the pass of its own block's mode.
        const __m128i fromY = ma ? _mm_set_epi32(0, 0, -1, -1) : _mm_set_epi32(-1, -1, 0, 0);
        for (int r = 0; r < 4; r++) T[r] = _mm_or_si128(_mm_andnot_si128(fromY, T[r]), _mm_and_si128(fromY, Y[r]));
    }
    // Bytes: row 0 of a, of b, row 1 of a, of b (and rows 2, 3 likewise).
    const __m128i r01 = _mm_packus_epi16(_mm_srai_epi16(T[0], 5), _mm_srai_epi16(T[1], 5));
    const __m128i r23 = _mm_packus_epi16(_mm_srai_epi16(T[2], 5), _mm_srai_epi16(T[3], 5));
    Store4(outA, r01);
    Store4(outB, _mm_srli_si128(r01, 4));
    Store4(outA + 8, _mm_srli_si128(r01, 8));
    Store4(outB + 8, _mm_srli_si128(r01, 12));
    Store4(outA + 16, r23);
    Store4(outB + 16, _mm_srli_si128(r23, 4));
    Store4(outA + 24, _mm_srli_si128(r23, 8));
    Store4(outB + 24, _mm_srli_si128(r23, 12));
}

}  // namespace

void IdctKernel8_sse2(uint8_t* out, const int16_t* coefficients, const uint16_t* W, int s, int m) {
    __m128i X[8];
    Dequantise(X, coefficients, W, s, 8);
    Idct8Rows(out, X, m);
}

void IdctKernel4_sse2(uint8_t* out, const int16_t* coefficients, const uint16_t* W, int s, int m) {
    __m128i X[4];
    Dequantise(X, coefficients, W, s, 4);
    Idct4Rows(out, X, m);
}

void IdctHD8_sse2(uint8_t* out, const int16_t* coefficients, const DVDequantHD* m) {
    __m128i X[8];
    DequantiseHD(X, coefficients, m, 8);
    Idct8Rows(out, X, 0);
}

void IdctHD4_sse2(uint8_t* out, const int16_t* coefficients, const DVDequantHD* m) {
    __m128i X[4];
    DequantiseHD(X, coefficients, m, 4);
    Idct4Rows(out, X, 0);
}

void IdctKernel4Pair_sse2(uint8_t* outA, uint8_t* outB, const int16_t* ca, const int16_t* cb, const uint16_t* Wa,
                          const uint16_t* Wb, int sa, int sb, int ma, int mb) {
    __m128i X[4];
    DequantiseHalfPair(X, ca, cb, Wa, Wb, sa, sb);
    Idct4RowsPair(outA, outB, X, ma, mb);
}

void IdctHD4Pair_sse2(uint8_t* outA, uint8_t* outB, const int16_t* ca, const int16_t* cb, const DVDequantHD* ma,
                      const DVDequantHD* mb) {
    __m128i A[4], B[4], X[4];
    DequantiseHD(A, ca, ma, 4);
    DequantiseHD(B, cb, mb, 4);
    for (int h = 0; h < 4; h++) X[h] = Halves64(A[h], B[h]);
    Idct4RowsPair(outA, outB, X, 0, 0);
}

}  // namespace hvdv
