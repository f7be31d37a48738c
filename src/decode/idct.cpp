// Plain C++ inverse transform, the reference for the vector kernels.
//
// Every value is a signed 16-bit integer: sums wrap modulo 2^16, products
// keep their high half (mulhi), shifts are arithmetic.  The helpers below do
// exactly that on int, so that a lane of a vector kernel and this code agree
// bit for bit.
#include "decode/idct.h"

#include <cstring>

#include "decode/tables.h"
#include "threads/cpu.h"

namespace hvdv {

namespace {

inline int16_t Wrap(int x) { return (int16_t)(uint16_t)(unsigned)x; }
// High half of the signed 32-bit product.
inline int16_t MulHi(int x, int k) { return (int16_t)(((int32_t)x * k) >> 16); }
inline uint8_t Sat(int16_t x) {
    int y = x >> 5;
    return (uint8_t)(y < 0 ? 0 : y > 255 ? 255 : y);
}

// Fixed-point factors, see decode/tables.h.
constexpr int kCos4 = 23170;    // cos(pi/4) * 32768
constexpr int kCos8 = 30274;    // cos(pi/8) * 32768
constexpr int kK13 = 21407;     // sqrt(2) cos(pi/8) * 16384 = 1.30656 * 16384
constexpr int kTan8 = 27146;    // tan(pi/8) * 65536
constexpr int kBias = 4112;     // 128 * 32 + 16

// Dequantises n coefficients: the DC term takes the step shift directly,
// every term is multiplied by its weight and bits (13 - s') .. (28 - s') of
// the 32-bit product are kept.
void Dequantise(int16_t* D, const int16_t* coefficients, const uint16_t* W, int s, int n) {
    const int s2 = s == 4 ? 3 : s;
    const int c0 = coefficients[0];
    int16_t dc;
    if (s == -1) dc = Wrap(2 * c0);
    else if (s == 0) dc = (int16_t)c0;
    else if (s < 4) dc = (int16_t)(c0 >> s);
    else dc = (int16_t)(c0 >> 3);
    for (int i = 0; i < n; i++) {
        int x = coefficients[i];
        if (s == 4) x = Wrap(2 * x);
        if (i == 0) x = dc;
        D[i] = Wrap(((int32_t)x * W[i]) >> (13 - s2));
    }
}

// 8-point step on x[0..7] with bias b added to the DC path.
void Idct8Step(int16_t* x, int b) {
    int16_t a = Wrap(x[5] - x[3]), b5 = Wrap(x[5] + x[3]);
    int16_t c = Wrap(x[1] - x[7]), d = Wrap(x[1] + x[7]);
    int16_t e = Wrap(c - a), f = Wrap(a + c);
    int16_t g = MulHi(Wrap(2 * e + 1), kCos4);
    int16_t i = Wrap(d - b5), j = Wrap(b5 + d);
    int16_t k = MulHi(Wrap(2 * j + 1), kCos8);
    int16_t l = Wrap(MulHi(Wrap(2 * f + 1), kCos4) + a);
    int16_t n = Wrap(g + c - k);
    int16_t p = Wrap(MulHi(Wrap(4 * i + 2), kK13) - n);
    int16_t y = Wrap(l - p);
    int16_t o = Wrap(x[2] - x[6]), q = Wrap(x[2] + x[6]);
    int16_t r = MulHi(Wrap(4 * o + 1), kCos4);
    int16_t t = Wrap(r - q);
    int16_t s1 = Wrap(x[0] + b - x[4]), s2 = Wrap(x[0] + b + x[4]);
    int16_t u = Wrap(s2 - q), t0 = Wrap(s2 + q);
    int16_t sa = Wrap(s1 - t), sb = Wrap(s1 + t);
    x[0] = Wrap(t0 + k);
    x[1] = Wrap(sb + n);
    x[2] = Wrap(sa + p);
    x[3] = Wrap(u + y);
    x[4] = Wrap(u - y);
    x[5] = Wrap(sa - p);
    x[6] = Wrap(sb - n);
    x[7] = Wrap(t0 - k);
}

// Vertical pass of the 2-4-8 mode on one column T[0..7] (sum and difference
// fields of vertical frequencies 0..3); writes the eight lines to y.
void Idct248Column(const int16_t* T, int16_t* y) {
    int16_t e0 = Wrap(T[2] - T[3]), e1 = Wrap(T[2] + T[3]);
    int16_t e2 = Wrap(T[6] - T[7]), e3 = Wrap(T[6] + T[7]);
    int16_t uu = Wrap(MulHi(Wrap(e2 + 1), kTan8) + e0);
    int16_t vv = Wrap(e2 - MulHi(Wrap(e0 + 1), kTan8));
    int16_t z = Wrap(e1 + MulHi(Wrap(e3 + 1), kTan8));
    int16_t w = Wrap(e3 - MulHi(Wrap(e1 + 1), kTan8));
    int16_t alpha = Wrap(T[0] + kBias - T[1]), beta = Wrap(T[0] + kBias + T[1]);
    int16_t gamma = Wrap(T[4] - T[5]), delta = Wrap(T[4] + T[5]);
    int16_t bd0 = Wrap(beta + delta), bd1 = Wrap(beta - delta);
    int16_t ag0 = Wrap(alpha + gamma), ag1 = Wrap(alpha - gamma);
    y[0] = Wrap(bd0 + z);
    y[6] = Wrap(bd0 - z);
    y[2] = Wrap(bd1 - w);
    y[4] = Wrap(bd1 + w);
    y[1] = Wrap(ag0 + uu);
    y[7] = Wrap(ag0 - uu);
    y[3] = Wrap(ag1 - vv);
    y[5] = Wrap(ag1 + vv);
}

// 4-point step on x[0..3] with bias b.
void Idct4Step(int16_t* x, int b) {
    int16_t m2 = MulHi(Wrap(2 * x[2] + 1), kCos4);
    int16_t E0 = Wrap(x[0] + b + m2), E1 = Wrap(x[0] + b - m2);
    int16_t O0 = (int16_t)(Wrap(x[1] + MulHi(Wrap(2 * Wrap(x[1] + x[3]) + 1), kCos4)) >> 1);
    int16_t O1 = (int16_t)(Wrap(MulHi(Wrap(2 * Wrap(x[1] - x[3]) + 1), kCos4) - x[3]) >> 1);
    x[0] = Wrap(E0 + O0);
    x[1] = Wrap(E1 + O1);
    x[2] = Wrap(E1 - O1);
    x[3] = Wrap(E0 - O0);
}

}  // namespace

void IdctKernel8_c(uint8_t* out, const int16_t* coefficients, const uint16_t* W, int s, int m) {
    int16_t D[64];
    Dequantise(D, coefficients, W, s, 64);
    // Pass 1, along h for every vertical index v; P[v][x].
    int16_t P[8][8];
    for (int v = 0; v < 8; v++) {
        for (int h = 0; h < 8; h++) P[v][h] = D[InternalIndex(v, h)];
        Idct8Step(P[v], 0);
    }
    // Pass 2, down every column x.
    for (int x = 0; x < 8; x++) {
        int16_t T[8], y[8];
        for (int v = 0; v < 8; v++) T[v] = P[v][x];
        if (m == 0) {
            Idct8Step(T, kBias);
            for (int r = 0; r < 8; r++) y[r] = T[r];
        } else {
            Idct248Column(T, y);
        }
        for (int r = 0; r < 8; r++) out[8 * r + x] = Sat(y[r]);
    }
}

void IdctKernel4_c(uint8_t* out, const int16_t* coefficients, const uint16_t* W, int s, int m) {
    int16_t D[32];  // h = 0..3, all v: the first 32 internal entries
    Dequantise(D, coefficients, W, s, 32);
    int16_t P[8][4];
    for (int v = 0; v < 8; v++) {
        for (int h = 0; h < 4; h++) P[v][h] = D[InternalIndex(v, h)];
        Idct4Step(P[v], 0);
    }
    for (int x = 0; x < 4; x++) {
        int16_t y[4];
        if (m == 0) {
            for (int v = 0; v < 4; v++) y[v] = P[v][x];
            Idct4Step(y, kBias);
        } else {
            // Only the sum fields of vertical frequencies 0 and 1 matter at
            // half height; -tan(pi/8) spreads frequency 1 over the 4 lines.
            int16_t A = Wrap(P[0][x] + kBias), S = P[2][x];
            int16_t mu = MulHi(Wrap(S + 1), -kTan8);
            y[0] = Wrap(A + S);
            y[1] = Wrap(A - mu);
            y[2] = Wrap(A + mu);
            y[3] = Wrap(A - S);
        }
        for (int r = 0; r < 4; r++) out[8 * r + x] = Sat(y[r]);
    }
}

namespace {
// A one-block full-size kernel into a slot, then the slot's rows to their places.
template <DVIdctKernel kFull>
void Strided(uint8_t* const* out, const ptrdiff_t* pitch, const int16_t* const* c, const uint16_t* const* W,
             const int* s, const int* m, int n) {
    for (int k = 0; k < n; k++) {
        alignas(16) uint8_t slot[64];
        kFull(slot, c[k], W[k], s[k], m[k]);
        for (int r = 0; r < 8; r++) std::memcpy(out[k] + r * pitch[k], slot + 8 * r, 8);
    }
}
}  // namespace

void IdctKernel8Strided_c(uint8_t* const* out, const ptrdiff_t* pitch, const int16_t* const* c,
                          const uint16_t* const* W, const int* s, const int* m, int n) {
    Strided<IdctKernel8_c>(out, pitch, c, W, s, m, n);
}

void InitIdctDsp(DVIdctKernels* k, uint32_t cpuFlags) {
    k->full = IdctKernel8_c;
    k->half = IdctKernel4_c;
    k->fullPair = nullptr;
    k->halfPair = nullptr;
    k->fullBlocks = nullptr;
    k->halfBlocks = nullptr;
    k->fullStrided = IdctKernel8Strided_c;
#if HVDV_HAVE_SSE2
    if (cpuFlags & kCpuSSE2) {
        k->fullStrided = Strided<IdctKernel8_sse2>;
        k->full = IdctKernel8_sse2;
        k->half = IdctKernel4_sse2;
        k->halfPair = IdctKernel4Pair_sse2;
    }
#if HVDV_HAVE_AVX2
    if (cpuFlags & kCpuAVX2) {
        k->fullPair = IdctKernel8Pair_avx2;
        k->halfPair = IdctKernel4Pair_avx2;
        k->fullBlocks = IdctKernel8Blocks_avx2;
        k->halfBlocks = IdctKernel4Blocks_avx2;
        k->fullStrided = IdctKernel8Strided_avx2;
    }
#endif
#endif
#if HVDV_HAVE_NEON
    if (cpuFlags & kCpuNEON) {
        k->fullStrided = IdctKernel8Strided_neon;
        k->full = IdctKernel8_neon;
        k->half = IdctKernel4_neon;
        k->halfPair = IdctKernel4Pair_neon;
    }
#endif
    (void)cpuFlags;
}

}  // namespace hvdv
