// NEON inverse transform: the arithmetic of idct.cpp on eight 16-bit lanes,
// laid out as idct_sse2.cpp: the first pass runs across the eight rows of
// transposed coefficients (one lane per vertical index), one 8x8 transpose,
// then the second pass with one lane per output column.
//
// NEON has no "high half of the 16 x 16-bit product" instruction (vqdmulh
// doubles and saturates), so MulHi widens to 32 bits and keeps the odd
// halves; everything else is a wrapping 16-bit add, subtract or shift, as in
// the reference.
#include <arm_neon.h>

#include "decode/idct.h"

namespace hvdv {

namespace {

// High 16 bits of each signed 32-bit product.
inline int16x8_t MulHi(int16x8_t a, int16x8_t b) {
    const int32x4_t lo = vmull_s16(vget_low_s16(a), vget_low_s16(b));
    const int32x4_t hi = vmull_high_s16(a, b);
    return vuzp2q_s16(vreinterpretq_s16_s32(lo), vreinterpretq_s16_s32(hi));
}
inline int16x4_t MulHi(int16x4_t a, int16x4_t b) { return vshrn_n_s32(vmull_s16(a, b), 16); }

inline int16x8_t Add(int16x8_t a, int16x8_t b) { return vaddq_s16(a, b); }
inline int16x4_t Add(int16x4_t a, int16x4_t b) { return vadd_s16(a, b); }
inline int16x8_t Sub(int16x8_t a, int16x8_t b) { return vsubq_s16(a, b); }
inline int16x4_t Sub(int16x4_t a, int16x4_t b) { return vsub_s16(a, b); }
inline int16x8_t Dup(int16x8_t, int16_t k) { return vdupq_n_s16(k); }
inline int16x4_t Dup(int16x4_t, int16_t k) { return vdup_n_s16(k); }
inline int16x8_t Half(int16x8_t a) { return vshrq_n_s16(a, 1); }
inline int16x4_t Half(int16x4_t a) { return vshr_n_s16(a, 1); }

constexpr int16_t kCos4 = 23170, kCos8 = 30274, kK13 = 21407, kTan8 = 27146, kBias = 4112;

// Dequantises rows 0..rows-1 into X.  Each lane keeps bits (13 - s') ..
// (28 - s') of the 32-bit product x * w (the weights are below 2^15, so the
// signed multiply is exact); the DC lane takes the step shift directly and
// the step shift 4 (s' = 3) doubles every other coefficient first.
inline void Dequantise(int16x8_t* X, const int16_t* coefficients, const uint16_t* W, int s, int rows) {
    const int s2 = s > 3 ? 3 : s;
    const int dc = (2 * (int)coefficients[0]) >> (s2 + 1);  // 2 c0 for s = -1, c0 >> s' otherwise
    const int32x4_t shift = vdupq_n_s32(s2 - 13);          // negative: arithmetic right shift
    const int16x8_t doubling = vdupq_n_s16((int16_t)(s > 3 ? -1 : 0));
    for (int h = 0; h < rows; h++) {
        int16x8_t x = vld1q_s16(coefficients + 8 * h);
        x = vaddq_s16(x, vandq_s16(x, doubling));
        if (h == 0) x = vsetq_lane_s16((int16_t)dc, x, 0);
        const int16x8_t w = vreinterpretq_s16_u16(vld1q_u16(W + 8 * h));
        const int32x4_t lo = vshlq_s32(vmull_s16(vget_low_s16(x), vget_low_s16(w)), shift);
        const int32x4_t hi = vshlq_s32(vmull_high_s16(x, w), shift);
        X[h] = vcombine_s16(vmovn_s32(lo), vmovn_s32(hi));
    }
}

// 8-point step across x[0..7]; bias is added to the DC path.
inline void Idct8Step(int16x8_t* x, int16x8_t bias) {
    const int16x8_t one = vdupq_n_s16(1), two = vdupq_n_s16(2);
    const int16x8_t cos4 = vdupq_n_s16(kCos4), cos8 = vdupq_n_s16(kCos8), k13 = vdupq_n_s16(kK13);
    int16x8_t a = Sub(x[5], x[3]), b5 = Add(x[5], x[3]);
    int16x8_t c = Sub(x[1], x[7]), d = Add(x[1], x[7]);
    int16x8_t e = Sub(c, a), f = Add(a, c);
    int16x8_t g = MulHi(Add(Add(e, e), one), cos4);
    int16x8_t i = Sub(d, b5), j = Add(b5, d);
    int16x8_t k = MulHi(Add(Add(j, j), one), cos8);
    int16x8_t l = Add(MulHi(Add(Add(f, f), one), cos4), a);
    int16x8_t n = Sub(Add(g, c), k);
    int16x8_t p = Sub(MulHi(Add(vshlq_n_s16(i, 2), two), k13), n);
    int16x8_t y = Sub(l, p);
    int16x8_t o = Sub(x[2], x[6]), q = Add(x[2], x[6]);
    int16x8_t r = MulHi(Add(vshlq_n_s16(o, 2), one), cos4);
    int16x8_t t = Sub(r, q);
    int16x8_t x0 = Add(x[0], bias);
    int16x8_t s1 = Sub(x0, x[4]), s2 = Add(x0, x[4]);
    int16x8_t u = Sub(s2, q), t0 = Add(s2, q);
    int16x8_t sa = Sub(s1, t), sb = Add(s1, t);
    x[0] = Add(t0, k);
    x[1] = Add(sb, n);
    x[2] = Add(sa, p);
    x[3] = Add(u, y);
    x[4] = Sub(u, y);
    x[5] = Sub(sa, p);
    x[6] = Sub(sb, n);
    x[7] = Sub(t0, k);
}

// 2-4-8 vertical pass on T[0..7] (lanes = columns), in place.
inline void Idct248Pass(int16x8_t* T) {
    const int16x8_t one = vdupq_n_s16(1), tan8 = vdupq_n_s16(kTan8);
    int16x8_t e0 = Sub(T[2], T[3]), e1 = Add(T[2], T[3]);
    int16x8_t e2 = Sub(T[6], T[7]), e3 = Add(T[6], T[7]);
    int16x8_t uu = Add(MulHi(Add(e2, one), tan8), e0);
    int16x8_t vv = Sub(e2, MulHi(Add(e0, one), tan8));
    int16x8_t z = Add(e1, MulHi(Add(e3, one), tan8));
    int16x8_t w = Sub(e3, MulHi(Add(e1, one), tan8));
    int16x8_t t0 = Add(T[0], vdupq_n_s16(kBias));
    int16x8_t alpha = Sub(t0, T[1]), beta = Add(t0, T[1]);
    int16x8_t gamma = Sub(T[4], T[5]), delta = Add(T[4], T[5]);
    int16x8_t bd0 = Add(beta, delta), bd1 = Sub(beta, delta);
    int16x8_t ag0 = Add(alpha, gamma), ag1 = Sub(alpha, gamma);
    T[0] = Add(bd0, z);
    T[6] = Sub(bd0, z);
    T[2] = Sub(bd1, w);
    T[4] = Add(bd1, w);
    T[1] = Add(ag0, uu);
    T[7] = Sub(ag0, uu);
    T[3] = Sub(ag1, vv);
    T[5] = Add(ag1, vv);
}

// r[i] lane j becomes r[j] lane i: transposes of 16-bit pairs, then of
// 32-bit pairs, then of 64-bit halves.
inline void Transpose8x8(int16x8_t* r) {
    int16x8_t t[8];
    for (int i = 0; i < 8; i += 2) {
        t[i] = vtrn1q_s16(r[i], r[i + 1]);
        t[i + 1] = vtrn2q_s16(r[i], r[i + 1]);
    }
    int32x4_t u[8];
    for (int i = 0; i < 8; i += 4)
        for (int k = 0; k < 2; k++) {
            const int32x4_t a = vreinterpretq_s32_s16(t[i + k]), b = vreinterpretq_s32_s16(t[i + k + 2]);
            u[i + k] = vtrn1q_s32(a, b);      // columns k and k + 4
            u[i + k + 2] = vtrn2q_s32(a, b);  // columns k + 2 and k + 6
        }
    for (int k = 0; k < 4; k++) {
        const int64x2_t a = vreinterpretq_s64_s32(u[k]), b = vreinterpretq_s64_s32(u[k + 4]);
        r[k] = vreinterpretq_s16_s64(vtrn1q_s64(a, b));
        r[k + 4] = vreinterpretq_s16_s64(vtrn2q_s64(a, b));
    }
}

// 4-point step across x[0..3], on eight lanes (first pass) or four (second).
template <class V>
inline void Idct4Step(V* x, V bias) {
    const V one = Dup(bias, 1), cos4 = Dup(bias, kCos4);
    V m2 = MulHi(Add(Add(x[2], x[2]), one), cos4);
    V x0 = Add(x[0], bias);
    V E0 = Add(x0, m2), E1 = Sub(x0, m2);
    V sum = Add(x[1], x[3]), dif = Sub(x[1], x[3]);
    V O0 = Half(Add(x[1], MulHi(Add(Add(sum, sum), one), cos4)));
    V O1 = Half(Sub(MulHi(Add(Add(dif, dif), one), cos4), x[3]));
    x[0] = Add(E0, O0);
    x[1] = Add(E1, O1);
    x[2] = Sub(E1, O1);
    x[3] = Sub(E0, O0);
}

// Half size of two blocks in one vector: the second pass reads only the
// vertical frequencies 0-3, so block a takes lanes 0-3 and block b lanes
// 4-7 of each row through both passes; each half's products are shifted by
// its own block's step shift.
inline void DequantiseHalfPair(int16x8_t* X, const int16_t* ca, const int16_t* cb, const uint16_t* Wa,
                               const uint16_t* Wb, int sa, int sb) {
    const int a2 = sa > 3 ? 3 : sa, b2 = sb > 3 ? 3 : sb;
    const int dcA = (2 * (int)ca[0]) >> (a2 + 1), dcB = (2 * (int)cb[0]) >> (b2 + 1);
    const int32x4_t shiftA = vdupq_n_s32(a2 - 13), shiftB = vdupq_n_s32(b2 - 13);
    const int16x8_t doubling =
        vcombine_s16(vdup_n_s16((int16_t)(sa > 3 ? -1 : 0)), vdup_n_s16((int16_t)(sb > 3 ? -1 : 0)));
    for (int h = 0; h < 4; h++) {
        int16x8_t x = vcombine_s16(vld1_s16(ca + 8 * h), vld1_s16(cb + 8 * h));
        x = vaddq_s16(x, vandq_s16(x, doubling));
        if (h == 0) {
            x = vsetq_lane_s16((int16_t)dcA, x, 0);
            x = vsetq_lane_s16((int16_t)dcB, x, 4);
        }
        const int16x8_t w = vreinterpretq_s16_u16(vcombine_u16(vld1_u16(Wa + 8 * h), vld1_u16(Wb + 8 * h)));
        const int32x4_t lo = vshlq_s32(vmull_s16(vget_low_s16(x), vget_low_s16(w)), shiftA);
        const int32x4_t hi = vshlq_s32(vmull_high_s16(x, w), shiftB);
        X[h] = vcombine_s16(vmovn_s32(lo), vmovn_s32(hi));
    }
}

// Second pass of a half-size 2-4-8 block on eight lanes: the sum fields of
// vertical frequencies 0 and 1 over four lines.
inline void Half248Pass(int16x8_t* T) {
    const int16x8_t A = vaddq_s16(T[0], vdupq_n_s16(kBias)), S = T[2];
    const int16x8_t mu = MulHi(vaddq_s16(S, vdupq_n_s16(1)), vdupq_n_s16(-kTan8));
    T[0] = vaddq_s16(A, S);
    T[1] = vsubq_s16(A, mu);
    T[2] = vaddq_s16(A, mu);
    T[3] = vsubq_s16(A, S);
}

// Both half-size passes on paired rows X[0..3] (lanes v = 0..3 of block a,
// then of block b), modes ma and mb; the 4 x 4 samples of each to its slot.
inline void Idct4RowsPair(uint8_t* outA, uint8_t* outB, int16x8_t* X, int ma, int mb) {
    Idct4Step(X, vdupq_n_s16(0));
    // T[v] with lanes x = 0..3 of block a, then of block b.
    const int32x4_t a = vreinterpretq_s32_s16(vzip1q_s16(X[0], X[1]));
    const int32x4_t b = vreinterpretq_s32_s16(vzip1q_s16(X[2], X[3]));
    const int32x4_t c = vreinterpretq_s32_s16(vzip2q_s16(X[0], X[1]));
    const int32x4_t d = vreinterpretq_s32_s16(vzip2q_s16(X[2], X[3]));
    const int64x2_t a01 = vreinterpretq_s64_s32(vzip1q_s32(a, b)), a23 = vreinterpretq_s64_s32(vzip2q_s32(a, b));
    const int64x2_t b01 = vreinterpretq_s64_s32(vzip1q_s32(c, d)), b23 = vreinterpretq_s64_s32(vzip2q_s32(c, d));
    int16x8_t T[4] = {vreinterpretq_s16_s64(vzip1q_s64(a01, b01)), vreinterpretq_s16_s64(vzip2q_s64(a01, b01)),
                      vreinterpretq_s16_s64(vzip1q_s64(a23, b23)), vreinterpretq_s16_s64(vzip2q_s64(a23, b23))};
    if (ma == mb) {
        if (ma == 0) Idct4Step(T, vdupq_n_s16(kBias));
        else Half248Pass(T);
    } else {
        int16x8_t Y[4] = {T[0], T[1], T[2], T[3]};
        Idct4Step(T, vdupq_n_s16(kBias));
        Half248Pass(Y);
        // Each half from the pass of its own block's mode.
        const uint16x8_t fromY = vcombine_u16(vdup_n_u16(ma ? 0xFFFF : 0), vdup_n_u16(mb ? 0xFFFF : 0));
        for (int r = 0; r < 4; r++) T[r] = vbslq_s16(fromY, Y[r], T[r]);
    }
    for (int r = 0; r < 4; r++) {
        // >> 5 and clamp: row r of a in bytes 0-3, of b in bytes 4-7.
        const uint32x2_t row = vreinterpret_u32_u8(vqshrun_n_s16(T[r], 5));
        vst1_lane_u32((uint32_t*)(outA + 8 * r), row, 0);
        vst1_lane_u32((uint32_t*)(outB + 8 * r), row, 1);
    }
}

}  // namespace

namespace {
// The full-size kernel with rows pitch apart.
inline void Idct8Rows(uint8_t* out, ptrdiff_t pitch, const int16_t* coefficients, const uint16_t* W, int s, int m) {
    int16x8_t X[8];
    Dequantise(X, coefficients, W, s, 8);
    Idct8Step(X, vdupq_n_s16(0));
    Transpose8x8(X);
    if (m == 0) Idct8Step(X, vdupq_n_s16(kBias));
    else Idct248Pass(X);
    // >> 5 and clamp to 0..255 in one narrowing shift.
    for (int y = 0; y < 8; y++) vst1_u8(out + y * pitch, vqshrun_n_s16(X[y], 5));
}
}  // namespace

void IdctKernel8_neon(uint8_t* out, const int16_t* coefficients, const uint16_t* W, int s, int m) {
    Idct8Rows(out, 8, coefficients, W, s, m);
}

void IdctKernel8Strided_neon(uint8_t* const* out, const ptrdiff_t* pitch, const int16_t* const* c,
                             const uint16_t* const* W, const int* s, const int* m, int n) {
    for (int k = 0; k < n; k++) Idct8Rows(out[k], pitch[k], c[k], W[k], s[k], m[k]);
}

void IdctKernel4_neon(uint8_t* out, const int16_t* coefficients, const uint16_t* W, int s, int m) {
    int16x8_t X[4];
    Dequantise(X, coefficients, W, s, 4);
    Idct4Step(X, vdupq_n_s16(0));
    // X[x] has lanes v; gather T[v] with lanes x = 0..3.
    const int32x4_t a = vreinterpretq_s32_s16(vzip1q_s16(X[0], X[1]));
    const int32x4_t b = vreinterpretq_s32_s16(vzip1q_s16(X[2], X[3]));
    const int16x8_t t01 = vreinterpretq_s16_s32(vzip1q_s32(a, b));
    const int16x8_t t23 = vreinterpretq_s16_s32(vzip2q_s32(a, b));
    int16x4_t T[4] = {vget_low_s16(t01), vget_high_s16(t01), vget_low_s16(t23), vget_high_s16(t23)};
    if (m == 0) {
        Idct4Step(T, vdup_n_s16(kBias));
    } else {
        const int16x4_t A = vadd_s16(T[0], vdup_n_s16(kBias)), S = T[2];
        const int16x4_t mu = MulHi(vadd_s16(S, vdup_n_s16(1)), vdup_n_s16(-kTan8));
        T[0] = vadd_s16(A, S);
        T[1] = vsub_s16(A, mu);
        T[2] = vadd_s16(A, mu);
        T[3] = vsub_s16(A, S);
    }
    const uint32x2_t r01 = vreinterpret_u32_u8(vqshrun_n_s16(vcombine_s16(T[0], T[1]), 5));
    const uint32x2_t r23 = vreinterpret_u32_u8(vqshrun_n_s16(vcombine_s16(T[2], T[3]), 5));
    vst1_lane_u32((uint32_t*)out, r01, 0);
    vst1_lane_u32((uint32_t*)(out + 8), r01, 1);
    vst1_lane_u32((uint32_t*)(out + 16), r23, 0);
    vst1_lane_u32((uint32_t*)(out + 24), r23, 1);
}

void IdctKernel4Pair_neon(uint8_t* outA, uint8_t* outB, const int16_t* ca, const int16_t* cb, const uint16_t* Wa,
                          const uint16_t* Wb, int sa, int sb, int ma, int mb) {
    int16x8_t X[4];
    DequantiseHalfPair(X, ca, cb, Wa, Wb, sa, sb);
    Idct4RowsPair(outA, outB, X, ma, mb);
}

}  // namespace hvdv
