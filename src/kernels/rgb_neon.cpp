// RGB conversion kernels, NEON.  Eight pixels per conversion, as in
// rgb_sse2.cpp: the full-range one in 32-bit lanes (widening multiply-adds by
// the (u, v) weights), the studio-range one in 16-bit lanes from the high and
// low halves of the products.  The interleaving stores (vst3, vst4) write
// B G R and B G R A.  Bit for bit the same as the reference in rgb.cpp.
#include <arm_neon.h>

#include "kernels/kernel_impl.h"

namespace hvdv {
namespace {

// Eight pixels' B, G, R as signed 16-bit lanes (already saturated to 16 bits).
struct Bgr8 {
    int16x8_t b, g, r;
};

struct FullRange {
    // Four pixels in 32-bit lanes: (l + wu u + wv v) >> 14, saturated to 16 bits.
    static int16x4_t Channel(int32x4_t l, int16x4_t u, int16x4_t v, const int16_t* row) {
        const int32x4_t sum = vmlal_n_s16(vmlal_n_s16(l, u, row[0]), v, row[1]);
        return vqmovn_s32(vshrq_n_s32(sum, 14));
    }
    static int16x8_t Channel8(int32x4_t l0, int32x4_t l1, int16x8_t u, int16x8_t v, const int16_t* row) {
        return vcombine_s16(Channel(l0, vget_low_s16(u), vget_low_s16(v), row),
                            Channel(l1, vget_high_s16(u), vget_high_s16(v), row));
    }
    static Bgr8 Convert(int16x8_t y, int16x8_t cb, int16x8_t cr, const DVColourConstants& c) {
        const int16x8_t offset = vdupq_n_s16(c.row[0][0]);
        const int16_t gain = c.row[1][0];
        // The luma bias is one 32-bit value stored as its two 16-bit halves.
        const int32x4_t bias =
            vdupq_n_s32((int32_t)((uint32_t)(uint16_t)c.row[2][0] | ((uint32_t)(uint16_t)c.row[2][1] << 16)));
        const int16x8_t u = vsubq_s16(cb, offset), v = vsubq_s16(cr, offset);
        const int16x8_t u2 = vaddq_s16(u, u), v2 = vaddq_s16(v, v);
        const int32x4_t l0 = vmlal_n_s16(bias, vget_low_s16(y), gain);
        const int32x4_t l1 = vmlal_high_n_s16(bias, y, gain);
        Bgr8 p;
        p.b = Channel8(l0, l1, u2, v2, c.row[5]);
        p.g = Channel8(l0, l1, u, v, c.row[3]);
        p.r = Channel8(l0, l1, u, v, c.row[4]);
        return p;
    }
};

struct StudioRange {
    // The 32-bit products a * w of eight lanes, as their high and low halves.
    struct Product {
        int16x8_t hi;
        uint16x8_t lo;
    };
    static Product Multiply(int16x8_t a, int16_t w) {
        const int16x8_t lo = vreinterpretq_s16_s32(vmull_n_s16(vget_low_s16(a), w));
        const int16x8_t hi = vreinterpretq_s16_s32(vmull_high_n_s16(a, w));
        return {vuzp2q_s16(lo, hi), vreinterpretq_u16_s16(vuzp1q_s16(lo, hi))};
    }
    // high16(a * w) + bit 15 of low16(a * w): (u * w + 8192) >> 14 for a = 4u.
    static int16x8_t Rounded(int16x8_t a, int16_t w) {
        const Product p = Multiply(a, w);
        return vaddq_s16(p.hi, vreinterpretq_s16_u16(vshrq_n_u16(p.lo, 15)));
    }
    static Bgr8 Convert(int16x8_t y, int16x8_t cb, int16x8_t cr, const DVColourConstants& c) {
        const int16x8_t offset = vdupq_n_s16(c.row[0][0]);
        const int16x8_t a = vshlq_n_s16(vsubq_s16(cb, offset), 2);
        const int16x8_t b = vshlq_n_s16(vsubq_s16(cr, offset), 2);
        // G: the fraction bits of both products (low halves / 4, exact) plus
        // the rounding term give a carry of 0, 1 or 2.
        const Product g0 = Multiply(a, c.row[2][0]), g1 = Multiply(b, c.row[3][0]);
        const uint16x8_t fraction = vaddq_u16(vaddq_u16(vshrq_n_u16(g0.lo, 2), vshrq_n_u16(g1.lo, 2)),
                                              vdupq_n_u16((uint16_t)c.row[1][0]));
        const int16x8_t g =
            vaddq_s16(vaddq_s16(g0.hi, g1.hi), vreinterpretq_s16_u16(vshrq_n_u16(fraction, 14)));
        Bgr8 p;
        p.b = vaddq_s16(y, Rounded(a, c.row[4][0]));
        p.g = vaddq_s16(y, g);
        p.r = vaddq_s16(y, Rounded(b, c.row[5][0]));
        return p;
    }
};

// Sixteen pixels' channels saturated to bytes.
struct Bgr16 {
    uint8x16_t b, g, r;
};
inline Bgr16 Bytes(const Bgr8& p0, const Bgr8& p1) {
    return {vcombine_u8(vqmovun_s16(p0.b), vqmovun_s16(p1.b)), vcombine_u8(vqmovun_s16(p0.g), vqmovun_s16(p1.g)),
            vcombine_u8(vqmovun_s16(p0.r), vqmovun_s16(p1.r))};
}

struct PutBgra32 {
    static constexpr int kBytes = 4;
    static void Put16(uint8_t* dst, const Bgr8& p0, const Bgr8& p1) {
        const Bgr16 p = Bytes(p0, p1);
        const uint8x16x4_t v = {{p.b, p.g, p.r, vdupq_n_u8(255)}};
        vst4q_u8(dst, v);
    }
};

struct PutBgr24 {
    static constexpr int kBytes = 3;
    static void Put16(uint8_t* dst, const Bgr8& p0, const Bgr8& p1) {
        const Bgr16 p = Bytes(p0, p1);
        const uint8x16x3_t v = {{p.b, p.g, p.r}};
        vst3q_u8(dst, v);
    }
};

// Little-endian 16-bit words: each channel saturated to a byte, its low bits
// dropped and shifted into place.
template <int kGreenBits>
struct PutRgb16 {
    static constexpr int kBytes = 2;
    static uint16x8_t Word(uint8x8_t b, uint8x8_t g, uint8x8_t r) {
        const uint16x8_t w = vorrq_u16(vmovl_u8(vshr_n_u8(b, 3)), vshlq_n_u16(vmovl_u8(vshr_n_u8(g, 8 - kGreenBits)), 5));
        return vorrq_u16(w, vshlq_n_u16(vmovl_u8(vshr_n_u8(r, 3)), 5 + kGreenBits));
    }
    static void Put16(uint8_t* dst, const Bgr8& p0, const Bgr8& p1) {
        vst1q_u8(dst, vreinterpretq_u8_u16(Word(vqmovun_s16(p0.b), vqmovun_s16(p0.g), vqmovun_s16(p0.r))));
        vst1q_u8(dst + 16, vreinterpretq_u8_u16(Word(vqmovun_s16(p1.b), vqmovun_s16(p1.g), vqmovun_s16(p1.r))));
    }
};

inline int16x8_t Widen(uint8x8_t v) { return vreinterpretq_s16_u16(vmovl_u8(v)); }

template <class Conversion, class Packing>
struct RgbFamilyNEON {
    static constexpr int kBytesPerPixel = Packing::kBytes;
    static constexpr bool kHas444 = true;
    static constexpr bool kPairTail = false;
    template <bool kFullChroma>
    static void Step16(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                       const DVColourConstants& c) {
        uint8x16_t vcb, vcr;
        if (kFullChroma) {
            vcb = vld1q_u8(cb);
            vcr = vld1q_u8(cr);
        } else {  // each of the eight samples serves two pixels
            const uint8x8_t b8 = vld1_u8(cb), r8 = vld1_u8(cr);
            vcb = vcombine_u8(vzip1_u8(b8, b8), vzip2_u8(b8, b8));
            vcr = vcombine_u8(vzip1_u8(r8, r8), vzip2_u8(r8, r8));
        }
        const uint8x16_t luma = vld1q_u8(y);
        const Bgr8 p0 = Conversion::Convert(Widen(vget_low_u8(luma)), Widen(vget_low_u8(vcb)),
                                            Widen(vget_low_u8(vcr)), c);
        const Bgr8 p1 = Conversion::Convert(Widen(vget_high_u8(luma)), Widen(vget_high_u8(vcb)),
                                            Widen(vget_high_u8(vcr)), c);
        Packing::Put16(dst, p0, p1);
    }
};

}  // namespace

void AddRgbKernelsNEON(DVKernelSlots* table) {
    table[kFamilyBGRA32] = MakeSlots<RgbFamilyNEON<FullRange, PutBgra32>>();
    table[kFamilyBGR24] = MakeSlots<RgbFamilyNEON<FullRange, PutBgr24>>();
    table[kFamilyBGRA32Studio] = MakeSlots<RgbFamilyNEON<StudioRange, PutBgra32>>();
    table[kFamilyBGR24Studio] = MakeSlots<RgbFamilyNEON<StudioRange, PutBgr24>>();
    table[kFamilyRGB555] = MakeSlots<RgbFamilyNEON<FullRange, PutRgb16<5>>>();
    table[kFamilyRGB565] = MakeSlots<RgbFamilyNEON<FullRange, PutRgb16<6>>>();
}

}  // namespace hvdv
