// Packed YUV kernels, SSE2: a 16-pixel step is a few byte and word
// interleaves of the luma vector with the chroma vectors.
#include <emmintrin.h>

#include <cstring>

#include "kernels/kernel_impl.h"

namespace hvdv {
namespace {

inline __m128i Load16(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline __m128i Load8(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
inline void Store16(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// Sixteen pixels from a luma vector and an interleaved Cb Cr vector: Cb Y Cr Y
// (UYVY) or Y Cb Y Cr (YUY2), 32 bytes.
template <bool kChromaFirst>
inline void StorePacked32(uint8_t* dst, __m128i luma, __m128i cbcr) {
    if (kChromaFirst) {
        Store16(dst, _mm_unpacklo_epi8(cbcr, luma));
        Store16(dst + 16, _mm_unpackhi_epi8(cbcr, luma));
    } else {
        Store16(dst, _mm_unpacklo_epi8(luma, cbcr));
        Store16(dst + 16, _mm_unpackhi_epi8(luma, cbcr));
    }
}

template <class Order, bool kChromaFirst>
struct PackedPairSSE2 {
    static constexpr int kBytesPerPixel = 2;
    static constexpr bool kHas444 = false;
    static constexpr bool kPairTail = true;
    static void PutPair(uint8_t* dst, const uint8_t* y, uint8_t cb, uint8_t cr) {
        PutYuvPair<Order>(dst, y, cb, cr);
    }
    template <bool kFullChroma>
    static void Step16(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                       const DVColourConstants&) {
        static_assert(!kFullChroma, "4:2:2 only");
        const __m128i luma = Load16(y);
        const __m128i cbcr = _mm_unpacklo_epi8(Load8(cb), Load8(cr));  // Cb0 Cr0 Cb1 Cr1 ...
        StorePacked32<kChromaFirst>(dst, luma, cbcr);
    }
};

// A whole 4:2:0 macroblock: each output row is one 16-byte luma vector (two
// slot rows) and one interleaved chroma vector, shared by two luma rows.
template <bool kChromaFirst>
void PackedMacroblock420(const DVPixelKernelSet*, uint8_t* dst, std::ptrdiff_t pitch, const uint8_t* slots) {
    const uint8_t* const cr = slots + 4 * 64;
    const uint8_t* const cb = slots + 5 * 64;
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC unroll 16
#endif
    for (int r = 0; r < 16; r++) {
        const int h = r >> 3, j = r & 7, c = 4 * h + 2 * (j >> 2) + (j & 1);
        const uint8_t* left = slots + 128 * h + 8 * j;
        const __m128i luma = _mm_unpacklo_epi64(Load8(left), Load8(left + 64));
        const __m128i cbcr = _mm_unpacklo_epi8(Load8(cb + 8 * c), Load8(cr + 8 * c));
        StorePacked32<kChromaFirst>(dst + r * pitch, luma, cbcr);
    }
}

// Eight 4:2:2 rows, two at a time: one 16-byte load takes two rows of a
// slot, so a luma vector is the low or high halves of the left and right
// loads and the chroma vectors the low and high interleaves of Cb and Cr.
template <bool kChromaFirst>
void PackedBlockPair422(const DVPixelKernelSet*, uint8_t* dst, std::ptrdiff_t pitch, const uint8_t* left,
                        const uint8_t* right, const uint8_t* cb, const uint8_t* cr) {
    for (int r = 0; r < 8; r += 2) {
        const __m128i l = Load16(left + 8 * r), rt = Load16(right + 8 * r);
        const __m128i b = Load16(cb + 8 * r), c = Load16(cr + 8 * r);
        StorePacked32<kChromaFirst>(dst + r * pitch, _mm_unpacklo_epi64(l, rt), _mm_unpacklo_epi8(b, c));
        StorePacked32<kChromaFirst>(dst + (r + 1) * pitch, _mm_unpackhi_epi64(l, rt), _mm_unpackhi_epi8(b, c));
    }
}

inline __m128i Load4(const uint8_t* p) {
    int32_t v;
    std::memcpy(&v, p, 4);
    return _mm_cvtsi32_si128(v);
}

inline __m128i Pack8(__m128i cbcr, __m128i luma, bool chromaFirst) {
    return chromaFirst ? _mm_unpacklo_epi8(cbcr, luma) : _mm_unpacklo_epi8(luma, cbcr);
}

// Half-size 4:2:0: output row r is 4 + 4 luma samples of slot row r % 4 and
// the four chroma pairs of chroma row r / 2.
template <bool kChromaFirst>
void PackedMacroblock420Half(const DVPixelKernelSet*, uint8_t* dst, std::ptrdiff_t pitch, const uint8_t* slots) {
    const uint8_t* const cr = slots + 4 * 64;
    const uint8_t* const cb = slots + 5 * 64;
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC unroll 8
#endif
    for (int r = 0; r < 8; r++) {
        const uint8_t* left = slots + 128 * (r >> 2) + 8 * (r & 3);
        const __m128i luma = _mm_unpacklo_epi32(Load4(left), Load4(left + 64));
        const __m128i cbcr = _mm_unpacklo_epi8(Load4(cb + 8 * (r >> 1)), Load4(cr + 8 * (r >> 1)));
        Store16(dst + r * pitch, Pack8(cbcr, luma, kChromaFirst));
    }
}

// Half-size high definition: output row r is 4 + 4 luma samples of slot
// row r % 4 (slots 0 1 over 2 3) and the four chroma pairs of chroma row r
// (Cr 4 over 5, Cb 6 over 7).
template <bool kChromaFirst>
void PackedMacroblockHDHalf(const DVPixelKernelSet*, uint8_t* dst, std::ptrdiff_t pitch, const uint8_t* slots) {
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC unroll 8
#endif
    for (int r = 0; r < 8; r++) {
        const uint8_t* left = slots + 128 * (r >> 2) + 8 * (r & 3);
        const uint8_t* cr = slots + 64 * (4 + (r >> 2)) + 8 * (r & 3);
        const __m128i luma = _mm_unpacklo_epi32(Load4(left), Load4(left + 64));
        const __m128i cbcr = _mm_unpacklo_epi8(Load4(cr + 128), Load4(cr));
        Store16(dst + r * pitch, Pack8(cbcr, luma, kChromaFirst));
    }
}

// Half-size 4:1:1: 16 luma samples from the four slots' row r, each chroma
// pair repeated for two pixel pairs.
template <bool kChromaFirst>
void PackedMacroblock411Half(const DVPixelKernelSet*, uint8_t* dst, std::ptrdiff_t pitch, const uint8_t* slots) {
    const uint8_t* const cr = slots + 4 * 64;
    const uint8_t* const cb = slots + 5 * 64;
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC unroll 4
#endif
    for (int r = 0; r < 4; r++) {
        const uint8_t* y = slots + 8 * r;
        const __m128i luma = _mm_unpacklo_epi64(_mm_unpacklo_epi32(Load4(y), Load4(y + 64)),
                                                _mm_unpacklo_epi32(Load4(y + 128), Load4(y + 192)));
        const __m128i pairs = _mm_unpacklo_epi8(Load4(cb + 8 * r), Load4(cr + 8 * r));
        const __m128i cbcr = _mm_unpacklo_epi16(pairs, pairs);
        StorePacked32<kChromaFirst>(dst + r * pitch, luma, cbcr);
    }
}

// Full-size 4:1:1 macroblock (kernels.h), two rows a step: a 16-byte load
// takes two rows of a slot.  A chroma sample's right neighbour is the row
// shifted down one byte within its 8-byte half, with sample 7 kept as its
// own; pavgb gives the mean rounded half up.
template <bool kChromaFirst>
void PackedMacroblock411(const DVPixelKernelSet*, uint8_t* dst, std::ptrdiff_t pitch, const uint8_t* slots) {
    const __m128i last = _mm_set_epi32((int)0xFF000000u, 0, (int)0xFF000000u, 0);
    for (int r = 0; r < 8; r += 2, dst += 2 * pitch) {
        const __m128i y0 = Load16(slots + 8 * r), y1 = Load16(slots + 64 + 8 * r);
        const __m128i y2 = Load16(slots + 128 + 8 * r), y3 = Load16(slots + 192 + 8 * r);
        const __m128i b = Load16(slots + 5 * 64 + 8 * r), c = Load16(slots + 4 * 64 + 8 * r);
        const __m128i bm = _mm_avg_epu8(b, _mm_or_si128(_mm_srli_epi64(b, 8), _mm_and_si128(b, last)));
        const __m128i cm = _mm_avg_epu8(c, _mm_or_si128(_mm_srli_epi64(c, 8), _mm_and_si128(c, last)));
        const __m128i b0 = _mm_unpacklo_epi8(b, bm), b1 = _mm_unpackhi_epi8(b, bm);  // rows r, r + 1
        const __m128i c0 = _mm_unpacklo_epi8(c, cm), c1 = _mm_unpackhi_epi8(c, cm);
        StorePacked32<kChromaFirst>(dst, _mm_unpacklo_epi64(y0, y1), _mm_unpacklo_epi8(b0, c0));
        StorePacked32<kChromaFirst>(dst + 32, _mm_unpacklo_epi64(y2, y3), _mm_unpackhi_epi8(b0, c0));
        StorePacked32<kChromaFirst>(dst + pitch, _mm_unpackhi_epi64(y0, y1), _mm_unpacklo_epi8(b1, c1));
        StorePacked32<kChromaFirst>(dst + pitch + 32, _mm_unpackhi_epi64(y2, y3), _mm_unpackhi_epi8(b1, c1));
    }
}

struct VuyaSSE2 {
    static constexpr int kBytesPerPixel = 4;
    static constexpr bool kHas444 = true;
    static constexpr bool kPairTail = false;
    template <bool kFullChroma>
    static void Step16(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                       const DVColourConstants&) {
        __m128i crcb0, crcb1;  // Cr Cb words for pixels 0..7 and 8..15
        if (kFullChroma) {
            const __m128i vcr = Load16(cr), vcb = Load16(cb);
            crcb0 = _mm_unpacklo_epi8(vcr, vcb);
            crcb1 = _mm_unpackhi_epi8(vcr, vcb);
        } else {
            // Eight Cr Cb words, each repeated for its two pixels.
            const __m128i half = _mm_unpacklo_epi8(Load8(cr), Load8(cb));
            crcb0 = _mm_unpacklo_epi16(half, half);
            crcb1 = _mm_unpackhi_epi16(half, half);
        }
        const __m128i luma = Load16(y);
        const __m128i alpha = _mm_set1_epi8(-1);
        const __m128i ya0 = _mm_unpacklo_epi8(luma, alpha);  // Y 255 words
        const __m128i ya1 = _mm_unpackhi_epi8(luma, alpha);
        Store16(dst, _mm_unpacklo_epi16(crcb0, ya0));
        Store16(dst + 16, _mm_unpackhi_epi16(crcb0, ya0));
        Store16(dst + 32, _mm_unpacklo_epi16(crcb1, ya1));
        Store16(dst + 48, _mm_unpackhi_epi16(crcb1, ya1));
    }
};

}  // namespace

void AddPackedYuvKernelsSSE2(DVKernelSlots* table) {
    // The row joins stay the plain ones: a few bytes a macroblock row.
    const DVRowJoinKernel joinUYVY = table[kFamilyUYVY].joinRow411, joinYUY2 = table[kFamilyYUY2].joinRow411;
    table[kFamilyUYVY] = MakeSlots<PackedPairSSE2<UyvyOrder, true>>();
    table[kFamilyYUY2] = MakeSlots<PackedPairSSE2<Yuy2Order, false>>();
    table[kFamilyUYVY].convertMacroblock411 = PackedMacroblock411<true>;
    table[kFamilyYUY2].convertMacroblock411 = PackedMacroblock411<false>;
    table[kFamilyUYVY].joinRow411 = joinUYVY;
    table[kFamilyYUY2].joinRow411 = joinYUY2;
    table[kFamilyUYVY].convertMacroblock420 = PackedMacroblock420<true>;
    table[kFamilyYUY2].convertMacroblock420 = PackedMacroblock420<false>;
    table[kFamilyUYVY].convertMacroblock420Half = PackedMacroblock420Half<true>;
    table[kFamilyYUY2].convertMacroblock420Half = PackedMacroblock420Half<false>;
    table[kFamilyUYVY].convertMacroblock411Half = PackedMacroblock411Half<true>;
    table[kFamilyYUY2].convertMacroblock411Half = PackedMacroblock411Half<false>;
    table[kFamilyUYVY].convertBlockPair422 = PackedBlockPair422<true>;
    table[kFamilyYUY2].convertBlockPair422 = PackedBlockPair422<false>;
    table[kFamilyUYVY].convertMacroblockHDHalf = PackedMacroblockHDHalf<true>;
    table[kFamilyYUY2].convertMacroblockHDHalf = PackedMacroblockHDHalf<false>;
    table[kFamilyVUYA] = MakeSlots<VuyaSSE2>();
}

}  // namespace hvdv
