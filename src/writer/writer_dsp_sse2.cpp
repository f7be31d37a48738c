// SSE2 versions of the writer row kernels; identical results to the plain
// C++ references in writer_dsp.cpp.
#include <emmintrin.h>

#include <cstring>

#include "writer/writer_ops.h"

namespace hvdv {

namespace {

inline __m128i Load8(const uint8_t* p) { return _mm_loadl_epi64((const __m128i*)p); }

inline __m128i Widen8(const uint8_t* p) {
    return _mm_unpacklo_epi8(Load8(p), _mm_setzero_si128());
}

// Sums the four 32-bit lanes of each of a, b, c, d: returns
// {sum a, sum b, sum c, sum d}.
inline __m128i HorizontalSum4(__m128i a, __m128i b, __m128i c, __m128i d) {
    const __m128i ab = _mm_add_epi32(_mm_unpacklo_epi32(a, b), _mm_unpackhi_epi32(a, b));
    const __m128i cd = _mm_add_epi32(_mm_unpacklo_epi32(c, d), _mm_unpackhi_epi32(c, d));
    return _mm_add_epi32(_mm_unpacklo_epi64(ab, cd), _mm_unpackhi_epi64(ab, cd));
}

// Dot product of 24 samples (three vectors of eight 16-bit values) with one
// 24-tap phase: four partial 32-bit sums.
inline __m128i Dot24(__m128i s0, __m128i s1, __m128i s2, const int16_t* taps) {
    const __m128i p0 = _mm_madd_epi16(s0, _mm_load_si128((const __m128i*)taps));
    const __m128i p1 = _mm_madd_epi16(s1, _mm_load_si128((const __m128i*)(taps + 8)));
    const __m128i p2 = _mm_madd_epi16(s2, _mm_load_si128((const __m128i*)(taps + 16)));
    return _mm_add_epi32(_mm_add_epi32(p0, p1), p2);
}

// (sum + 1023) >> 11 of four 32-bit sums.
inline __m128i Round11(__m128i v) {
    return _mm_srai_epi32(_mm_add_epi32(v, _mm_set1_epi32(1023)), 11);
}

inline void MirrorMargins(uint8_t* src, int n) {
    for (int i = 0; i < 16; i++) {
        src[-1 - i] = src[i];
        src[n + i] = src[n - 1 - i];
    }
}

}  // namespace

void Chroma411To444_sse2(const uint8_t* current, const uint8_t* previous, const uint8_t* next,
                         uint8_t* out) {
    const __m128i c = Widen8(current);
    // Left and right neighbours: the row shifted by one lane, with the
    // neighbouring entries' samples shifted in.
    const __m128i l = _mm_insert_epi16(_mm_slli_si128(c, 2), previous[7], 0);
    const __m128i r = _mm_insert_epi16(_mm_srli_si128(c, 2), next[0], 7);
    const __m128i c2 = _mm_add_epi16(c, c);
    // Centre gain 17408 = 17/64, side gain 28672 = 7/16 (16-bit fixed point).
    const __m128i sharp =
        _mm_add_epi16(c, _mm_mulhi_epi16(_mm_sub_epi16(_mm_sub_epi16(c2, l), r),
                                         _mm_set1_epi16(17408)));
    const __m128i hl = _mm_srai_epi16(_mm_add_epi16(l, c), 1);
    const __m128i hr = _mm_srai_epi16(_mm_add_epi16(c, r), 1);
    const __m128i side = _mm_set1_epi16(28672);
    const __m128i base = _mm_sub_epi16(c2, sharp);
    const __m128i a = _mm_sub_epi16(base, _mm_mulhi_epi16(_mm_sub_epi16(hl, sharp), side));
    const __m128i b = _mm_sub_epi16(base, _mm_mulhi_epi16(_mm_sub_epi16(hr, sharp), side));
    // Saturate to 0..255 and interleave B, C', A, hr per sample.
    const __m128i bs = _mm_packus_epi16(b, sharp);   // B0-7, C'0-7
    const __m128i ah = _mm_packus_epi16(a, hr);      // A0-7, hr0-7
    const __m128i bc = _mm_unpacklo_epi8(bs, _mm_srli_si128(bs, 8));
    const __m128i ahi = _mm_unpacklo_epi8(ah, _mm_srli_si128(ah, 8));
    _mm_storeu_si128((__m128i*)(out - 1), _mm_unpacklo_epi16(bc, ahi));
    _mm_storeu_si128((__m128i*)(out + 15), _mm_unpackhi_epi16(bc, ahi));
}

void Chroma411To422_sse2(const uint8_t* current, const uint8_t* next, uint8_t* out) {
    const __m128i c = Load8(current);
    const __m128i n = _mm_or_si128(_mm_srli_epi64(c, 8),
                                   _mm_slli_epi64(_mm_cvtsi32_si128(next[0]), 56));
    // pavgb: (a + b + 1) >> 1, the mean rounded half up.
    _mm_storeu_si128((__m128i*)out, _mm_unpacklo_epi8(c, _mm_avg_epu8(c, n)));
}

// Cb and Cr of an entry row are 16 adjacent bytes, eight of each: both
// components go through one vector.  The right neighbours are the row
// shifted by one byte within each 8-byte half, with the next entry's first
// Cb and Cr sample entering at the top byte of each half.
void EntryRow411To422_sse2(const uint8_t* row, uint8_t* luma, uint8_t* cb, uint8_t* cr) {
    __m128i c = _mm_loadu_si128((const __m128i*)(row + 32));
    for (int i = 0; i < kEntriesPerRow; i++, row += kEntryBytes) {
        _mm_storeu_si128((__m128i*)(luma + 32 * i), _mm_loadu_si128((const __m128i*)row));
        _mm_storeu_si128((__m128i*)(luma + 32 * i + 16), _mm_loadu_si128((const __m128i*)(row + 16)));
        const __m128i following = _mm_loadu_si128((const __m128i*)(row + kEntryBytes + 32));
        const __m128i n = _mm_or_si128(_mm_srli_epi64(c, 8), _mm_slli_epi64(following, 56));
        const __m128i mean = _mm_avg_epu8(c, n);
        _mm_storeu_si128((__m128i*)(cb + 16 * i), _mm_unpacklo_epi8(c, mean));
        _mm_storeu_si128((__m128i*)(cr + 16 * i), _mm_unpackhi_epi8(c, mean));
        c = following;
    }
}

// Four rows a step, each row addressed from the step's first by 0, 1, 2
// or 3 pitches (so one pointer add per plane and step): a luma row is the
// left and right slots' rows side by side; a chroma slot's rows are 16-byte
// loads stored low and high half.  Integer moves only: a double-typed store
// may go through the x87 unit on 32-bit x86, which quiets a signalling-NaN
// bit pattern and so changes the samples.
namespace {
inline void StoreHigh8(uint8_t* p, __m128i v) { _mm_storel_epi64((__m128i*)p, _mm_unpackhi_epi64(v, v)); }
inline __m128i LumaRow(const uint8_t* left) {
    return _mm_unpacklo_epi64(_mm_loadl_epi64((const __m128i*)left), _mm_loadl_epi64((const __m128i*)(left + 64)));
}
}  // namespace

void StoreMacroblockHD_sse2(const uint8_t* slots, uint8_t* luma, std::ptrdiff_t lumaPitch, uint8_t* cb,
                            std::ptrdiff_t cbPitch, uint8_t* cr, std::ptrdiff_t crPitch) {
    const std::ptrdiff_t l3 = 3 * lumaPitch, b3 = 3 * cbPitch, r3 = 3 * crPitch;
    for (int r = 0; r < 16; r += 4) {
        const uint8_t* left = slots + 128 * (r >> 3) + 8 * (r & 7);
        _mm_storeu_si128((__m128i*)luma, LumaRow(left));
        _mm_storeu_si128((__m128i*)(luma + lumaPitch), LumaRow(left + 8));
        _mm_storeu_si128((__m128i*)(luma + 2 * lumaPitch), LumaRow(left + 16));
        _mm_storeu_si128((__m128i*)(luma + l3), LumaRow(left + 24));
        const __m128i u0 = _mm_loadu_si128((const __m128i*)(slots + 6 * 64 + 8 * r));
        const __m128i u1 = _mm_loadu_si128((const __m128i*)(slots + 6 * 64 + 8 * r + 16));
        const __m128i v0 = _mm_loadu_si128((const __m128i*)(slots + 4 * 64 + 8 * r));
        const __m128i v1 = _mm_loadu_si128((const __m128i*)(slots + 4 * 64 + 8 * r + 16));
        _mm_storel_epi64((__m128i*)cb, u0);
        StoreHigh8(cb + cbPitch, u0);
        _mm_storel_epi64((__m128i*)(cb + 2 * cbPitch), u1);
        StoreHigh8(cb + b3, u1);
        _mm_storel_epi64((__m128i*)cr, v0);
        StoreHigh8(cr + crPitch, v0);
        _mm_storel_epi64((__m128i*)(cr + 2 * crPitch), v1);
        StoreHigh8(cr + r3, v1);
        luma += 4 * lumaPitch;
        cb += 4 * cbPitch;
        cr += 4 * crPitch;
    }
}

// 3:4: one step takes input samples 3j - 7 .. 3j + 16 for four consecutive
// j and produces the 16 outputs 4j .. 4j + 15.
void ResampleRow3To4_sse2(uint8_t* src, int n, uint8_t* out) {
    MirrorMargins(src, n);
    for (int j = 0; j < n / 3; j += 4, out += 16) {
        __m128i res[4];
        for (int g = 0; g < 4; g++) {
            const uint8_t* s = src + 3 * (j + g) - kTapsBefore3To4;
            const __m128i s0 = Widen8(s), s1 = Widen8(s + 8), s2 = Widen8(s + 16);
            res[g] = Round11(HorizontalSum4(Dot24(s0, s1, s2, kTaps3To4[0]),
                                            Dot24(s0, s1, s2, kTaps3To4[1]),
                                            Dot24(s0, s1, s2, kTaps3To4[2]),
                                            Dot24(s0, s1, s2, kTaps3To4[3])));
        }
        const __m128i lo = _mm_packs_epi32(res[0], res[1]);
        const __m128i hi = _mm_packs_epi32(res[2], res[3]);
        _mm_storeu_si128((__m128i*)out, _mm_packus_epi16(lo, hi));
    }
}

// 2:3: one step takes input samples 2j - 10 .. 2j + 13 for four consecutive
// j and produces the 12 outputs 3j .. 3j + 11.
void ResampleRow2To3_sse2(uint8_t* src, int n, uint8_t* out) {
    MirrorMargins(src, n);
    const __m128i low24 = _mm_set_epi32(0, 0xFFFFFF, 0, 0xFFFFFF);
    const __m128i high24 = _mm_set_epi32(0xFFFF, (int)0xFF000000u, 0xFFFF, (int)0xFF000000u);
    for (int j = 0; j < n / 2; j += 4, out += 12) {
        __m128i res[4];
        for (int g = 0; g < 4; g++) {
            const uint8_t* s = src + 2 * (j + g) - kTapsBefore2To3;
            const __m128i s0 = Widen8(s), s1 = Widen8(s + 8), s2 = Widen8(s + 16);
            res[g] = Round11(HorizontalSum4(Dot24(s0, s1, s2, kTaps2To3[0]),
                                            Dot24(s0, s1, s2, kTaps2To3[1]),
                                            Dot24(s0, s1, s2, kTaps2To3[2]),
                                            _mm_setzero_si128()));
        }
        // Bytes: o0 o1 o2 _ | o3 o4 o5 _ | ... ; squeeze out every fourth.
        const __m128i v = _mm_packus_epi16(_mm_packs_epi32(res[0], res[1]),
                                           _mm_packs_epi32(res[2], res[3]));
        const __m128i f = _mm_or_si128(_mm_and_si128(v, low24),
                                       _mm_and_si128(_mm_srli_epi64(v, 8), high24));
        const __m128i g = _mm_or_si128(_mm_move_epi64(f), _mm_slli_si128(_mm_srli_si128(f, 8), 6));
        _mm_storel_epi64((__m128i*)out, g);
        const int tail = _mm_cvtsi128_si32(_mm_srli_si128(g, 8));
        std::memcpy(out + 8, &tail, 4);
    }
}

}  // namespace hvdv
