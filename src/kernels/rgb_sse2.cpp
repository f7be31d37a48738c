// RGB conversion kernels, SSE2.  Eight pixels per conversion: the full-range
// one in 32-bit lanes with multiply-adds on interleaved (u, v) pairs, the
// studio-range one in 16-bit lanes from the high and low product halves.
// Bit for bit the same as the reference in rgb.cpp.
#include <emmintrin.h>

#include "kernels/kernel_impl.h"

namespace hvdv {
namespace {

inline __m128i Load16(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline __m128i Load8(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
inline void Store16(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline __m128i Row(const DVColourConstants& c, int r) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(c.row[r]));
}

// Eight pixels' B, G, R as signed 16-bit lanes (already saturated to 16 bits).
struct Bgr8 {
    __m128i b, g, r;
};

struct FullRange {
    // Four pixels in 32-bit lanes: (l + (u, v) . row) >> 14.
    static __m128i Channel(__m128i l, __m128i uv, __m128i row) {
        return _mm_srai_epi32(_mm_add_epi32(l, _mm_madd_epi16(uv, row)), 14);
    }
    static Bgr8 Convert(__m128i y, __m128i cb, __m128i cr, const DVColourConstants& c) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i offset = Row(c, 0), gain = Row(c, 1), bias = Row(c, 2);
        const __m128i rowG = Row(c, 3), rowR = Row(c, 4), rowB = Row(c, 5);
        const __m128i u = _mm_sub_epi16(cb, offset), v = _mm_sub_epi16(cr, offset);
        const __m128i u2 = _mm_add_epi16(u, u), v2 = _mm_add_epi16(v, v);
        // (Y, 0) pairs times the gain give 19077 Y in 32 bits.
        const __m128i l0 = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(y, zero), gain), bias);
        const __m128i l1 = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(y, zero), gain), bias);
        const __m128i uv0 = _mm_unpacklo_epi16(u, v), uv1 = _mm_unpackhi_epi16(u, v);
        const __m128i uv20 = _mm_unpacklo_epi16(u2, v2), uv21 = _mm_unpackhi_epi16(u2, v2);
        Bgr8 p;
        p.b = _mm_packs_epi32(Channel(l0, uv20, rowB), Channel(l1, uv21, rowB));
        p.g = _mm_packs_epi32(Channel(l0, uv0, rowG), Channel(l1, uv1, rowG));
        p.r = _mm_packs_epi32(Channel(l0, uv0, rowR), Channel(l1, uv1, rowR));
        return p;
    }
};

struct StudioRange {
    // high16(a * w) + bit 15 of low16(a * w): (u * w + 8192) >> 14 for a = 4u.
    static __m128i Rounded(__m128i a, __m128i w) {
        return _mm_add_epi16(_mm_mulhi_epi16(a, w), _mm_srli_epi16(_mm_mullo_epi16(a, w), 15));
    }
    static Bgr8 Convert(__m128i y, __m128i cb, __m128i cr, const DVColourConstants& c) {
        const __m128i offset = Row(c, 0), round = Row(c, 1);
        const __m128i gCb = Row(c, 2), gCr = Row(c, 3), bCb = Row(c, 4), rCr = Row(c, 5);
        const __m128i a = _mm_slli_epi16(_mm_sub_epi16(cb, offset), 2);
        const __m128i b = _mm_slli_epi16(_mm_sub_epi16(cr, offset), 2);
        // G: the fraction bits of both products (low halves / 4, exact)
        // plus the rounding term give a carry of 0, 1 or 2.
        const __m128i fraction = _mm_add_epi16(
            _mm_add_epi16(_mm_srli_epi16(_mm_mullo_epi16(a, gCb), 2), _mm_srli_epi16(_mm_mullo_epi16(b, gCr), 2)),
            round);
        const __m128i g = _mm_add_epi16(_mm_add_epi16(_mm_mulhi_epi16(a, gCb), _mm_mulhi_epi16(b, gCr)),
                                        _mm_srli_epi16(fraction, 14));
        Bgr8 p;
        p.b = _mm_add_epi16(y, Rounded(a, bCb));
        p.g = _mm_add_epi16(y, g);
        p.r = _mm_add_epi16(y, Rounded(b, rCr));
        return p;
    }
};

// 16 pixels, B G R A bytes (alpha 255, or 0 for the 24-bit squeeze) as four
// vectors of four pixels.
inline void InterleaveBgrx(const Bgr8& p0, const Bgr8& p1, __m128i x, __m128i out[4]) {
    const __m128i b = _mm_packus_epi16(p0.b, p1.b);
    const __m128i g = _mm_packus_epi16(p0.g, p1.g);
    const __m128i r = _mm_packus_epi16(p0.r, p1.r);
    const __m128i bg0 = _mm_unpacklo_epi8(b, g), bg1 = _mm_unpackhi_epi8(b, g);
    const __m128i rx0 = _mm_unpacklo_epi8(r, x), rx1 = _mm_unpackhi_epi8(r, x);
    out[0] = _mm_unpacklo_epi16(bg0, rx0);
    out[1] = _mm_unpackhi_epi16(bg0, rx0);
    out[2] = _mm_unpacklo_epi16(bg1, rx1);
    out[3] = _mm_unpackhi_epi16(bg1, rx1);
}

struct PutBgra32 {
    static constexpr int kBytes = 4;
    static void Put16(uint8_t* dst, const Bgr8& p0, const Bgr8& p1) {
        __m128i q[4];
        InterleaveBgrx(p0, p1, _mm_set1_epi8(-1), q);
        for (int i = 0; i < 4; i++) Store16(dst + 16 * i, q[i]);
    }
};

struct PutBgr24 {
    static constexpr int kBytes = 3;
    // Four B G R 0 pixels to twelve bytes B G R B G R ... in bytes 0..11.
    static __m128i Squeeze(__m128i q) {
        // Within each 64-bit half, move the second pixel down over the zero byte.
        const __m128i first = _mm_and_si128(q, _mm_set_epi64x(0xFFFFFF, 0xFFFFFF));
        const __m128i second = _mm_and_si128(_mm_srli_epi64(q, 8), _mm_set_epi64x(0xFFFFFF000000, 0xFFFFFF000000));
        const __m128i six = _mm_or_si128(first, second);  // 6 bytes in each half
        // Close the two-byte gap between the halves.
        return _mm_or_si128(_mm_move_epi64(six), _mm_slli_si128(_mm_srli_si128(six, 8), 6));
    }
    static void Put16(uint8_t* dst, const Bgr8& p0, const Bgr8& p1) {
        __m128i q[4];
        InterleaveBgrx(p0, p1, _mm_setzero_si128(), q);
        const __m128i c0 = Squeeze(q[0]), c1 = Squeeze(q[1]), c2 = Squeeze(q[2]), c3 = Squeeze(q[3]);
        Store16(dst, _mm_or_si128(c0, _mm_slli_si128(c1, 12)));
        Store16(dst + 16, _mm_or_si128(_mm_srli_si128(c1, 4), _mm_slli_si128(c2, 8)));
        Store16(dst + 32, _mm_or_si128(_mm_srli_si128(c2, 8), _mm_slli_si128(c3, 4)));
    }
};

// 16-bit words: each channel saturated to a byte, widened again, its low bits
// dropped and shifted into place.
template <int kGreenBits>
struct PutRgb16 {
    static constexpr int kBytes = 2;
    static __m128i Word(const Bgr8& p) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i b = _mm_unpacklo_epi8(_mm_packus_epi16(p.b, p.b), zero);
        const __m128i g = _mm_unpacklo_epi8(_mm_packus_epi16(p.g, p.g), zero);
        const __m128i r = _mm_unpacklo_epi8(_mm_packus_epi16(p.r, p.r), zero);
        const __m128i w = _mm_or_si128(_mm_srli_epi16(b, 3), _mm_slli_epi16(_mm_srli_epi16(g, 8 - kGreenBits), 5));
        return _mm_or_si128(w, _mm_slli_epi16(_mm_srli_epi16(r, 3), 5 + kGreenBits));
    }
    static void Put16(uint8_t* dst, const Bgr8& p0, const Bgr8& p1) {
        Store16(dst, Word(p0));
        Store16(dst + 16, Word(p1));
    }
};

template <class Conversion, class Packing>
struct RgbFamilySSE2 {
    static constexpr int kBytesPerPixel = Packing::kBytes;
    static constexpr bool kHas444 = true;
    static constexpr bool kPairTail = false;
    template <bool kFullChroma>
    static void Step16(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                       const DVColourConstants& c) {
        const __m128i zero = _mm_setzero_si128();
        __m128i vcb, vcr;
        if (kFullChroma) {
            vcb = Load16(cb);
            vcr = Load16(cr);
        } else {  // each of the eight samples serves two pixels
            vcb = Load8(cb);
            vcb = _mm_unpacklo_epi8(vcb, vcb);
            vcr = Load8(cr);
            vcr = _mm_unpacklo_epi8(vcr, vcr);
        }
        const __m128i luma = Load16(y);
        const Bgr8 p0 = Conversion::Convert(_mm_unpacklo_epi8(luma, zero), _mm_unpacklo_epi8(vcb, zero),
                                            _mm_unpacklo_epi8(vcr, zero), c);
        const Bgr8 p1 = Conversion::Convert(_mm_unpackhi_epi8(luma, zero), _mm_unpackhi_epi8(vcb, zero),
                                            _mm_unpackhi_epi8(vcr, zero), c);
        Packing::Put16(dst, p0, p1);
    }
};

}  // namespace

void AddRgbKernelsSSE2(DVKernelSlots* table) {
    table[kFamilyBGRA32] = MakeSlots<RgbFamilySSE2<FullRange, PutBgra32>>();
    table[kFamilyBGR24] = MakeSlots<RgbFamilySSE2<FullRange, PutBgr24>>();
    table[kFamilyBGRA32Studio] = MakeSlots<RgbFamilySSE2<StudioRange, PutBgra32>>();
    table[kFamilyBGR24Studio] = MakeSlots<RgbFamilySSE2<StudioRange, PutBgr24>>();
    table[kFamilyRGB555] = MakeSlots<RgbFamilySSE2<FullRange, PutRgb16<5>>>();
    table[kFamilyRGB565] = MakeSlots<RgbFamilySSE2<FullRange, PutRgb16<6>>>();
}

}  // namespace hvdv
