// Inverse transform kernels: every instruction-set version against the C++
// reference on random, extreme and realistic blocks (forward DCT of random
// pixels, quantised) for all classes, QNOs and both modes, full and half
// size; pair kernels (full and half size) against two calls of the reference, with the two
// blocks' weights, shifts and modes chosen apart.  (bench/idct_accuracy.cpp reports how far the 16-bit transform is
// from a double-precision inverse DCT.)
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "checkasm.h"
#include "decode/idct.h"
#include "decode/tables.h"
#include "hv_dec_dv.h"

using namespace hvdv;

namespace {

struct alignas(16) Coefficients {
    int16_t c[64];
};

// Orthonormal DCT basis value of frequency k at sample n.
double Basis(int k, int n) {
    const double pi = 3.14159265358979323846;
    return (k == 0 ? std::sqrt(0.125) : 0.5) * std::cos((2 * n + 1) * k * pi / 16);
}

// Pixel output of the 8-8 kernel per unit of dequantised coefficient (v, h)
// relative to the orthonormal inverse DCT: the transform takes its input
// pre-scaled by S(v) S(h), S(0) = 1, S(k) = sqrt(2) cos(k pi / 16) for even
// k and that times 1 / (2 cos(3 pi / 8)) for odd k, and its output carries
// 1/32 steps of which the DC path takes 16 per DC unit: 0.25 / (S(v) S(h)).
struct Scale {
    double k[64];  // internal index
};
const Scale& KernelScale() {
    static Scale s = [] {
        const double pi = 3.14159265358979323846;
        double S[8];
        for (int k = 0; k < 8; k++)
            S[k] = k == 0 ? 1.0 : std::sqrt(2.0) * std::cos(k * pi / 16) * ((k & 1) ? 1.0823922002939015 : 1.0);
        Scale r;
        for (int v = 0; v < 8; v++)
            for (int h = 0; h < 8; h++) r.k[InternalIndex(v, h)] = 0.25 / (S[v] * S[h]);
        return r;
    }();
    return s;
}

// Random pixels (a smooth ramp plus noise), forward DCT, dequantised
// coefficients in D units; then quantised for the given weights and shift.
void RealisticBlock(Coefficients& in, const uint16_t* W, int s) {
    checkasm::Rng& rng = checkasm::rng();
    double pix[8][8];
    int base = rng.Range(0, 255), gx = rng.Range(-12, 12), gy = rng.Range(-12, 12), noise = rng.Range(0, 60);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++)
            pix[y][x] =
                std::fmin(255, std::fmax(0, base + gx * (x - 3.5) + gy * (y - 3.5) + rng.Range(-noise, noise))) - 128;
    const Scale& scale = KernelScale();
    const int s2 = s == 4 ? 3 : s;
    for (int v = 0; v < 8; v++)
        for (int h = 0; h < 8; h++) {
            double F = 0;
            for (int y = 0; y < 8; y++)
                for (int x = 0; x < 8; x++) F += pix[y][x] * Basis(v, y) * Basis(h, x);
            const int i = InternalIndex(v, h);
            double D = F / scale.k[i];
            if (i == 0) {
                long dc = std::lround(D / 16);
                dc = dc < -256 ? -256 : dc > 255 ? 255 : dc;
                in.c[0] = (int16_t)(8 * dc);
            } else {
                // D = (16 a * W) >> (13 - s'), with a doubled first for s = 4.
                double a = D * std::ldexp(1.0, 13 - s2) / (W[i] * 16.0 * (s == 4 ? 2 : 1));
                long q = std::lround(a);
                q = q < -255 ? -255 : q > 255 ? 255 : q;
                in.c[i] = (int16_t)(16 * q);
            }
        }
}

void RandomBlock(Coefficients& in, int kind) {
    checkasm::Rng& rng = checkasm::rng();
    std::memset(in.c, 0, sizeof in.c);
    switch (kind) {
        case 0: {  // sparse DV-range coefficients, cut at a random last position
            int last = rng.Range(0, 63);
            for (int i = 0; i <= last; i++)
                if (rng.Range(0, 2) == 0) in.c[i] = (int16_t)(16 * rng.Range(-255, 255));
            in.c[0] = (int16_t)(8 * rng.Range(-256, 255));
            break;
        }
        case 1:  // any 16-bit value
            for (int i = 0; i < 64; i++) in.c[i] = (int16_t)(rng.Next() & 0xFFFF);
            break;
        case 2:  // extremes of the DV range
            for (int i = 0; i < 64; i++) in.c[i] = (int16_t)(rng.Range(0, 1) ? 4080 : -4080);
            in.c[0] = (int16_t)(rng.Range(0, 1) ? 2040 : -2048);
            break;
        default:  // 16-bit extremes
            for (int i = 0; i < 64; i++) in.c[i] = (int16_t)(rng.Range(0, 1) ? 32767 : -32768);
            break;
    }
}

// A block with its weights and step shift for the multi-block kernels:
// every third case table weights and a realistic block, the others random.
void RandomCase(Coefficients& in, uint16_t* W, int* s, int iter, checkasm::Rng& rng) {
    if (iter % 3 == 0) {
        const DVDequant d = SelectDequant(rng.Range(0, 3), rng.Range(0, 1), rng.Range(0, 15));
        std::memcpy(W, d.weights, 64 * sizeof *W);
        *s = d.shift;
        RealisticBlock(in, d.weights, d.shift);
    } else {
        for (int i = 0; i < 64; i++) W[i] = (uint16_t)rng.Range(0, 32767);
        *s = rng.Range(-1, 4);
        RandomBlock(in, rng.Range(0, 3));
    }
}

bool Compare(const char* what, const Coefficients& in, const uint16_t* W, int s, int m, bool half,
             const DVIdctKernels& ref, const DVIdctKernels& got) {
    checkasm::Guarded a(64), b(64);
    Coefficients copy = in;
    (half ? ref.half : ref.full)(a.data(), in.c, W, s, m);
    (half ? got.half : got.full)(b.data(), in.c, W, s, m);
    if (std::memcmp(copy.c, in.c, sizeof in.c) != 0) {
        checkasm::Fail("%s: coefficients modified", what);
        return false;
    }
    if (!checkasm::SameOutput(what, a, b)) {
        std::printf("  (s=%d m=%d half=%d)\n", s, m, (int)half);
        return false;
    }
    return true;
}

}  // namespace

CHECKASM_TEST(idct) {
    InitDVDec();
    DVIdctKernels ref, previous;
    InitIdctDsp(&ref, 0);
    previous = ref;
    for (const checkasm::Isa& isa : checkasm::Levels()) {
        DVIdctKernels got;
        InitIdctDsp(&got, isa.flags);
        // Only levels that replace a kernel; both kernels run in Compare.
        const bool changed = got.full != previous.full || got.half != previous.half;
        previous = got;
        if (!changed) continue;
        bool ok = true;
        for (int c = 0; c < 4 && ok; c++)
            for (int q = 0; q < 16 && ok; q++)
                for (int m = 0; m < 2 && ok; m++)
                    for (int half = 0; half < 2 && ok; half++) {
                        DVDequant d = SelectDequant(c, m, q);
                        for (int iter = 0; iter < 12 && ok; iter++) {
                            Coefficients in;
                            if (iter < 4)
                                RandomBlock(in, iter);
                            else
                                RealisticBlock(in, d.weights, d.shift);
                            ok = Compare(isa.name, in, d.weights, d.shift, m, half != 0, ref, got);
                        }
                    }
        // Any weights and every shift, not only the table combinations.
        for (int iter = 0; iter < 4000 && ok; iter++) {
            alignas(16) uint16_t W[64];
            for (uint16_t& w : W) w = (uint16_t)checkasm::rng().Range(0, 32767);
            Coefficients in;
            RandomBlock(in, iter % 4);
            ok = Compare(isa.name, in, W, checkasm::rng().Range(-1, 4), iter & 1, (iter >> 1) & 1, ref, got);
        }
    }

    // Pair kernels: block a and block b of a pair each as the reference
    // makes it, whatever the other block is.
    for (const checkasm::Isa& isa : checkasm::Levels()) {
        DVIdctKernels got;
        InitIdctDsp(&got, isa.flags);
        checkasm::Rng& rng = checkasm::rng();
        for (int half = 0; half < 2; half++) {
            const DVIdctPairKernel pair = half ? got.halfPair : got.fullPair;
            const DVIdctKernel single = half ? ref.half : ref.full;
            if (!pair) continue;
            bool ok = true;
            for (int iter = 0; iter < 6000 && ok; iter++) {
                Coefficients in[2];
                alignas(16) uint16_t W[2][64];
                int s[2], m[2];
                for (int k = 0; k < 2; k++) {
                    RandomCase(in[k], W[k], &s[k], iter, rng);
                    m[k] = rng.Range(0, 1);
                }
                checkasm::Guarded a0(64), a1(64), b0(64), b1(64);
                single(a0.data(), in[0].c, W[0], s[0], m[0]);
                single(a1.data(), in[1].c, W[1], s[1], m[1]);
                pair(b0.data(), b1.data(), in[0].c, in[1].c, W[0], W[1], s[0], s[1], m[0], m[1]);
                ok = checkasm::SameOutput(isa.name, a0, b0) && checkasm::SameOutput(isa.name, a1, b1);
                if (!ok) std::printf("  pair: half=%d s=%d,%d m=%d,%d\n", half, s[0], s[1], m[0], m[1]);
            }
        }
    }

    // A macroblock's blocks in one call, any count up to eight, full and
    // half size: each block as the reference makes it, with its own
    // weights, shift and mode.
    for (const checkasm::Isa& isa : checkasm::Levels()) {
        DVIdctKernels got;
        InitIdctDsp(&got, isa.flags);
        checkasm::Rng& rng = checkasm::rng();
        for (int half = 0; half < 2; half++) {
            const DVIdctBlocksKernel blocks = half ? got.halfBlocks : got.fullBlocks;
            const DVIdctKernel single = half ? ref.half : ref.full;
            if (!blocks) continue;
            bool ok = true;
            for (int iter = 0; iter < 3000 && ok; iter++) {
                const int n = 1 + iter % 8;
                Coefficients in[8];
                alignas(16) uint16_t W[8][64];
                int s[8], m[8];
                for (int k = 0; k < n; k++) {
                    RandomCase(in[k], W[k], &s[k], iter, rng);
                    // All 8-8, all 2-4-8, or mixed.
                    m[k] = iter % 5 == 0 ? 0 : iter % 5 == 1 ? 1 : rng.Range(0, 1);
                }
                std::vector<checkasm::Guarded> a(n, checkasm::Guarded(64)), b(n, checkasm::Guarded(64));
                uint8_t* out[8];
                const int16_t* c[8];
                const uint16_t* w[8];
                for (int k = 0; k < n; k++) {
                    // Half the time the blocks of each pair share one weight
                    // table, as a macroblock's blocks of one class do.
                    w[k] = iter % 2 == 0 && (k & 1) ? W[k - 1] : W[k];
                    single(a[k].data(), in[k].c, w[k], s[k], m[k]);
                    out[k] = b[k].data();
                    c[k] = in[k].c;
                }
                blocks(out, c, w, s, m, n);
                for (int k = 0; k < n && ok; k++) ok = checkasm::SameOutput(isa.name, a[k], b[k]);
                if (!ok) std::printf("  blocks: half=%d n=%d\n", half, n);
            }
        }
    }

    // Full size into a picture (checkasm::PlaceInPicture), every level:
    // each block as the reference makes it, the bytes between rows kept.
    for (const checkasm::Isa& isa : checkasm::Levels()) {
        DVIdctKernels got;
        InitIdctDsp(&got, isa.flags);
        checkasm::Rng& rng = checkasm::rng();
        bool ok = true;
        for (int iter = 0; iter < 3000 && ok; iter++) {
            const int n = 1 + iter % 8;
            const ptrdiff_t pitch = 33 + iter % 24;
            Coefficients in[8];
            alignas(16) uint16_t W[8][64];
            int s[8], m[8];
            checkasm::Guarded a((size_t)(16 * pitch)), b((size_t)(16 * pitch));
            uint8_t* out[8];
            ptrdiff_t pitches[8];
            const int16_t* c[8];
            const uint16_t* w[8];
            for (int k = 0; k < n; k++) {
                RandomCase(in[k], W[k], &s[k], iter, rng);
                m[k] = iter % 3 == 2 ? rng.Range(0, 1) : iter % 3;
                const checkasm::BlockPlace place = checkasm::PlaceInPicture(k, pitch, iter & 16);
                alignas(16) uint8_t slot[64];
                ref.full(slot, in[k].c, W[k], s[k], m[k]);
                checkasm::SlotToPicture(a.data(), place, slot);
                out[k] = b.data() + place.offset;
                pitches[k] = place.pitch;
                c[k] = in[k].c;
                w[k] = W[k];
            }
            got.fullStrided(out, pitches, c, w, s, m, n);
            ok = checkasm::SameOutput(isa.name, a, b);
            if (!ok) std::printf("  into a picture: n=%d pitch=%d\n", n, (int)pitch);
        }
    }

    if (checkasm::BenchMode()) {
        DVDequant d = SelectDequant(2, 0, 8);
        Coefficients in;
        RealisticBlock(in, d.weights, d.shift);
        alignas(16) uint8_t out[64];
        for (const checkasm::Isa& isa : checkasm::Levels()) {
            DVIdctKernels k;
            InitIdctDsp(&k, isa.flags);
            for (int m = 0; m < 2; m++) {
                std::string tag = std::string(isa.name) + (m ? " 2-4-8" : " 8-8");
                checkasm::Bench(
                    "idct8 " + tag, [&] { k.full(out, in.c, d.weights, d.shift, m); }, 200000);
                checkasm::Bench(
                    "idct4 " + tag, [&] { k.half(out, in.c, d.weights, d.shift, m); }, 200000);
                alignas(16) uint8_t out2[64];
                if (k.fullPair)
                    checkasm::Bench(
                        "idct8 pair " + tag,
                        [&] { k.fullPair(out, out2, in.c, in.c, d.weights, d.weights, d.shift, d.shift, m, m); },
                        100000);
                if (k.halfPair)
                    checkasm::Bench(
                        "idct4 pair " + tag,
                        [&] { k.halfPair(out, out2, in.c, in.c, d.weights, d.weights, d.shift, d.shift, m, m); },
                        100000);
            }
        }
    }
}
