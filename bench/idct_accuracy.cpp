// How far the 16-bit 8-8 inverse transform is from a double-precision
// inverse DCT: random pixels through a double forward DCT, rounded to the
// dequantised integers the kernel takes, then the kernel against the double
// inverse DCT of the same integers (IEEE 1180 style: peak, mean and mean
// square error per pixel range).  A report, not a test.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "decode/idct.h"
#include "decode/tables.h"
#include "hv_dec_dv.h"

using namespace hvdv;

namespace {

const double kPi = 3.14159265358979323846;

// Orthonormal DCT basis value of frequency k at sample n.
double Basis(int k, int n) { return (k == 0 ? std::sqrt(0.125) : 0.5) * std::cos((2 * n + 1) * k * kPi / 16); }

// Pixel output of the kernel per unit of dequantised coefficient (v, h)
// relative to the orthonormal inverse DCT: the kernel takes its input
// pre-scaled by S(v) S(h), S(0) = 1, S(k) = sqrt(2) cos(k pi / 16) for even
// k and that times 1 / (2 cos(3 pi / 8)) for odd k, and its output carries
// 1/32 steps of which the DC path takes 16 per DC unit: 0.25 / (S(v) S(h)).
double KernelScale(int v, int h) {
    auto s = [](int k) {
        return k == 0 ? 1.0 : std::sqrt(2.0) * std::cos(k * kPi / 16) * ((k & 1) ? 1.0823922002939015 : 1.0);
    };
    return 0.25 / (s(v) * s(h));
}

}  // namespace

int main(int argc, char** argv) {
    InitDVDec();
    const int blocks = argc > 1 ? std::atoi(argv[1]) : 10000;
    std::mt19937 rng(1);
    alignas(16) uint16_t unit[64];
    for (uint16_t& w : unit) w = 16384;
    const struct {
        int lo, hi;
    } ranges[] = {{-128, 127}, {-5, 5}, {-50, 50}};
    for (const auto& r : ranges) {
        std::uniform_int_distribution<int> pixel(r.lo, r.hi);
        long long sum = 0, sumSq = 0, n = 0;
        int peak = 0;
        for (int iter = 0; iter < blocks; iter++) {
            double pix[64], D[64];
            alignas(16) int16_t in[64];
            for (double& p : pix) p = pixel(rng);
            for (int v = 0; v < 8; v++)
                for (int h = 0; h < 8; h++) {
                    double F = 0;
                    for (int y = 0; y < 8; y++)
                        for (int x = 0; x < 8; x++) F += pix[8 * y + x] * Basis(v, y) * Basis(h, x);
                    // The kernel doubles its input at shift 0.
                    long d = std::lround(F / KernelScale(v, h) / 2);
                    d = d < -16384 ? -16384 : d > 16383 ? 16383 : d;
                    in[InternalIndex(v, h)] = (int16_t)d;
                    D[InternalIndex(v, h)] = 2.0 * d;
                }
            alignas(16) uint8_t out[64];
            IdctKernel8_c(out, in, unit, 0, 0);
            for (int y = 0; y < 8; y++)
                for (int x = 0; x < 8; x++) {
                    double acc = 128;
                    for (int v = 0; v < 8; v++)
                        for (int h = 0; h < 8; h++)
                            acc += D[InternalIndex(v, h)] * KernelScale(v, h) * Basis(v, y) * Basis(h, x);
                    long want = std::lround(acc);
                    want = want < 0 ? 0 : want > 255 ? 255 : want;
                    const int e = out[8 * y + x] - (int)want;
                    sum += e;
                    sumSq += e * e;
                    peak = std::abs(e) > peak ? std::abs(e) : peak;
                    n++;
                }
        }
        std::printf("idct8 accuracy, pixels %d..%d: peak %d, mean error %+.4f, mean square %.4f\n", r.lo, r.hi, peak,
                    (double)sum / n, (double)sumSq / n);
    }
    return 0;
}
