// RGB conversion kernels, plain C++ reference.  Each pixel goes through
// exactly the integer steps of the vector kernels: 32-bit multiply-adds on
// (u, v) pairs for the full-range conversion, wrapping 16-bit lanes with high
// and low product halves for the studio-range one, then saturation to bytes.
#include "kernels/kernel_impl.h"

namespace hvdv {
namespace {

struct Bgr {
    uint8_t b, g, r;
};

inline uint8_t ClampByte(int32_t x) { return (uint8_t)(x < 0 ? 0 : x > 255 ? 255 : x); }

// Wrapping 16-bit arithmetic, as in a 16-bit vector lane.
inline int16_t Wrap16(int32_t x) { return (int16_t)(uint16_t)(uint32_t)x; }

// Sum of a (u, v) pair times a pair row of the constants: one 32-bit lane of
// a multiply-add.
inline int32_t PairProduct(const int16_t* row, int16_t u, int16_t v) {
    return (int32_t)((uint32_t)(row[0] * u) + (uint32_t)(row[1] * v));
}

// Full range: with L = 19077 Y - 297012,
//   R = (L + 29369 v) >> 14, G = (L - 3493 u - 8734 v) >> 14,
//   B = (L + 17305 * 2u) >> 14                       (BT.709 weights)
// each saturated to 0..255.
struct FullRange {
    static Bgr Convert(uint8_t y, uint8_t cb, uint8_t cr, const DVColourConstants& c) {
        const int16_t u = Wrap16(cb - c.row[0][0]);
        const int16_t v = Wrap16(cr - c.row[0][0]);
        const uint32_t bias = (uint32_t)(uint16_t)c.row[2][0] | ((uint32_t)(uint16_t)c.row[2][1] << 16);
        const uint32_t l = (uint32_t)(c.row[1][0] * y) + bias;
        const int32_t r = (int32_t)(l + (uint32_t)PairProduct(c.row[4], u, v));
        const int32_t g = (int32_t)(l + (uint32_t)PairProduct(c.row[3], u, v));
        const int32_t b = (int32_t)(l + (uint32_t)PairProduct(c.row[5], Wrap16(2 * u), Wrap16(2 * v)));
        return {ClampByte(b >> 14), ClampByte(g >> 14), ClampByte(r >> 14)};
    }
};

// Studio range: luma is kept and a rounded chroma term added, computed in
// 16-bit lanes on a = 4u and b = 4v.  The product a * w is 65536 * hi + lo,
// so hi + (lo >> 15) is (u * w + 8192) >> 14, and the G sum recovers the
// fraction bits of its two products from (lo >> 2), which is exact because
// lo is a multiple of 4.
struct StudioRange {
    static Bgr Convert(uint8_t y, uint8_t cb, uint8_t cr, const DVColourConstants& c) {
        const int16_t a = Wrap16(4 * Wrap16(cb - c.row[0][0]));
        const int16_t b = Wrap16(4 * Wrap16(cr - c.row[0][0]));
        const int32_t pg0 = a * c.row[2][0];
        const int32_t pg1 = b * c.row[3][0];
        const int32_t pb = a * c.row[4][0];
        const int32_t pr = b * c.row[5][0];
        const uint16_t fraction =
            (uint16_t)(((uint16_t)pg0 >> 2) + ((uint16_t)pg1 >> 2) + (uint16_t)c.row[1][0]);
        const int16_t bv = Wrap16(y + (pb >> 16) + ((uint16_t)pb >> 15));
        const int16_t rv = Wrap16(y + (pr >> 16) + ((uint16_t)pr >> 15));
        const int16_t gv = Wrap16(y + (pg0 >> 16) + (pg1 >> 16) + (fraction >> 14));
        return {ClampByte(bv), ClampByte(gv), ClampByte(rv)};
    }
};

// Output packings of one pixel.
struct PutBgra32 {
    static constexpr int kBytes = 4;
    static void Put(uint8_t* d, Bgr p) {
        d[0] = p.b;
        d[1] = p.g;
        d[2] = p.r;
        d[3] = 255;
    }
};
struct PutBgr24 {
    static constexpr int kBytes = 3;
    static void Put(uint8_t* d, Bgr p) {
        d[0] = p.b;
        d[1] = p.g;
        d[2] = p.r;
    }
};
// Little-endian 16-bit words: B in bits 0-4, then G, then R; low bits dropped.
struct PutRgb555 {
    static constexpr int kBytes = 2;
    static void Put(uint8_t* d, Bgr p) {
        const unsigned w = (p.b >> 3) | ((p.g >> 3) << 5) | ((p.r >> 3) << 10);
        d[0] = (uint8_t)w;
        d[1] = (uint8_t)(w >> 8);
    }
};
struct PutRgb565 {
    static constexpr int kBytes = 2;
    static void Put(uint8_t* d, Bgr p) {
        const unsigned w = (p.b >> 3) | ((p.g >> 2) << 5) | ((p.r >> 3) << 11);
        d[0] = (uint8_t)w;
        d[1] = (uint8_t)(w >> 8);
    }
};

template <class Conversion, class Packing>
struct RgbFamilyC {
    static constexpr int kBytesPerPixel = Packing::kBytes;
    static constexpr bool kHas444 = true;
    static constexpr bool kPairTail = false;
    template <bool kFullChroma>
    static void Step16(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                       const DVColourConstants& c) {
        for (int i = 0; i < 16; i++) {
            const int j = kFullChroma ? i : i / 2;
            Packing::Put(dst + kBytesPerPixel * i, Conversion::Convert(y[i], cb[j], cr[j], c));
        }
    }
};

}  // namespace

void AddRgbKernelsC(DVKernelSlots* table) {
    table[kFamilyBGRA32] = MakeSlots<RgbFamilyC<FullRange, PutBgra32>>();
    table[kFamilyBGR24] = MakeSlots<RgbFamilyC<FullRange, PutBgr24>>();
    table[kFamilyBGRA32Studio] = MakeSlots<RgbFamilyC<StudioRange, PutBgra32>>();
    table[kFamilyBGR24Studio] = MakeSlots<RgbFamilyC<StudioRange, PutBgr24>>();
    table[kFamilyRGB555] = MakeSlots<RgbFamilyC<FullRange, PutRgb555>>();
    table[kFamilyRGB565] = MakeSlots<RgbFamilyC<FullRange, PutRgb565>>();
}

}  // namespace hvdv
