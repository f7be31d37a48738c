// Packed YUV kernels, NEON: the interleaving stores (vst2, vst4) write Cb Y
// Cr Y, Y Cb Y Cr or V U Y A straight from a luma vector and the chroma
// vectors.
#include <arm_neon.h>

#include <cstring>

#include "kernels/kernel_impl.h"

namespace hvdv {
namespace {

// Four bytes, in both 32-bit lanes of a vector.
inline uint8x8_t Load4(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return vreinterpret_u8_u32(vdup_n_u32(v));
}

// Eight Cb Cr pairs, interleaved: Cb0 Cr0 Cb1 Cr1 ...
inline uint8x16_t InterleaveChroma(uint8x8_t cb, uint8x8_t cr) {
    const uint8x8x2_t z = vzip_u8(cb, cr);
    return vcombine_u8(z.val[0], z.val[1]);
}

// Sixteen pixels from a luma vector and an interleaved Cb Cr vector: Cb Y Cr Y
// (UYVY) or Y Cb Y Cr (YUY2), 32 bytes.
template <bool kChromaFirst>
inline void StorePacked32(uint8_t* dst, uint8x16_t luma, uint8x16_t cbcr) {
    uint8x16x2_t v;
    v.val[kChromaFirst ? 0 : 1] = cbcr;
    v.val[kChromaFirst ? 1 : 0] = luma;
    vst2q_u8(dst, v);
}

template <class Order, bool kChromaFirst>
struct PackedPairNEON {
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
        StorePacked32<kChromaFirst>(dst, vld1q_u8(y), InterleaveChroma(vld1_u8(cb), vld1_u8(cr)));
    }
};

// A whole 4:2:0 macroblock: each output row is one luma vector (two slot
// rows) and one interleaved chroma vector, shared by two luma rows.
template <bool kChromaFirst>
void PackedMacroblock420(const DVPixelKernelSet*, uint8_t* dst, std::ptrdiff_t pitch, const uint8_t* slots) {
    const uint8_t* const cr = slots + 4 * 64;
    const uint8_t* const cb = slots + 5 * 64;
    for (int r = 0; r < 16; r++) {
        const int h = r >> 3, j = r & 7, c = 4 * h + 2 * (j >> 2) + (j & 1);
        const uint8_t* left = slots + 128 * h + 8 * j;
        const uint8x16_t luma = vcombine_u8(vld1_u8(left), vld1_u8(left + 64));
        StorePacked32<kChromaFirst>(dst + r * pitch, luma, InterleaveChroma(vld1_u8(cb + 8 * c), vld1_u8(cr + 8 * c)));
    }
}

// Eight 4:2:2 rows: a luma vector from two slot rows, one interleaved chroma
// vector per row.
template <bool kChromaFirst>
void PackedBlockPair422(const DVPixelKernelSet*, uint8_t* dst, std::ptrdiff_t pitch, const uint8_t* left,
                        const uint8_t* right, const uint8_t* cb, const uint8_t* cr) {
    for (int r = 0; r < 8; r++) {
        const uint8x16_t luma = vcombine_u8(vld1_u8(left + 8 * r), vld1_u8(right + 8 * r));
        StorePacked32<kChromaFirst>(dst + r * pitch, luma, InterleaveChroma(vld1_u8(cb + 8 * r), vld1_u8(cr + 8 * r)));
    }
}

// Half-size 4:2:0: output row r is 4 + 4 luma samples of slot row r % 4 and
// the four chroma pairs of chroma row r / 2, 16 bytes.
template <bool kChromaFirst>
void PackedMacroblock420Half(const DVPixelKernelSet*, uint8_t* dst, std::ptrdiff_t pitch, const uint8_t* slots) {
    const uint8_t* const cr = slots + 4 * 64;
    const uint8_t* const cb = slots + 5 * 64;
    for (int r = 0; r < 8; r++) {
        const uint8_t* left = slots + 128 * (r >> 2) + 8 * (r & 3);
        const uint8x8_t luma = vext_u8(Load4(left), Load4(left + 64), 4);  // low 4 from left, high 4 from right
        const uint8x8_t cbcr = vzip1_u8(Load4(cb + 8 * (r >> 1)), Load4(cr + 8 * (r >> 1)));
        const uint8x8x2_t z = kChromaFirst ? vzip_u8(cbcr, luma) : vzip_u8(luma, cbcr);
        vst1q_u8(dst + r * pitch, vcombine_u8(z.val[0], z.val[1]));
    }
}

// Half-size 4:1:1: 16 luma samples from the four slots' row r, each chroma
// pair repeated for two pixel pairs.
template <bool kChromaFirst>
void PackedMacroblock411Half(const DVPixelKernelSet*, uint8_t* dst, std::ptrdiff_t pitch, const uint8_t* slots) {
    const uint8_t* const cr = slots + 4 * 64;
    const uint8_t* const cb = slots + 5 * 64;
    for (int r = 0; r < 4; r++) {
        const uint8_t* y = slots + 8 * r;
        const uint8x16_t luma = vcombine_u8(vext_u8(Load4(y), Load4(y + 64), 4), vext_u8(Load4(y + 128), Load4(y + 192), 4));
        const uint16x4_t pairs = vreinterpret_u16_u8(vzip1_u8(Load4(cb + 8 * r), Load4(cr + 8 * r)));
        const uint16x4x2_t twice = vzip_u16(pairs, pairs);
        StorePacked32<kChromaFirst>(dst + r * pitch, luma,
                                    vreinterpretq_u8_u16(vcombine_u16(twice.val[0], twice.val[1])));
    }
}

struct VuyaNEON {
    static constexpr int kBytesPerPixel = 4;
    static constexpr bool kHas444 = true;
    static constexpr bool kPairTail = false;
    template <bool kFullChroma>
    static void Step16(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                       const DVColourConstants&) {
        uint8x16x4_t v;
        if (kFullChroma) {
            v.val[0] = vld1q_u8(cr);
            v.val[1] = vld1q_u8(cb);
        } else {  // each sample twice, for its two pixels
            const uint8x8_t c8r = vld1_u8(cr), c8b = vld1_u8(cb);
            v.val[0] = vcombine_u8(vzip1_u8(c8r, c8r), vzip2_u8(c8r, c8r));
            v.val[1] = vcombine_u8(vzip1_u8(c8b, c8b), vzip2_u8(c8b, c8b));
        }
        v.val[2] = vld1q_u8(y);
        v.val[3] = vdupq_n_u8(255);
        vst4q_u8(dst, v);
    }
};

}  // namespace

void AddPackedYuvKernelsNEON(DVKernelSlots* table) {
    // No NEON 4:1:1 macroblock kernel yet: the plain one and its row join stay.
    const DVKernelSlots plainUYVY = table[kFamilyUYVY], plainYUY2 = table[kFamilyYUY2];
    table[kFamilyUYVY] = MakeSlots<PackedPairNEON<UyvyOrder, true>>();
    table[kFamilyYUY2] = MakeSlots<PackedPairNEON<Yuy2Order, false>>();
    table[kFamilyUYVY].convertMacroblock411 = plainUYVY.convertMacroblock411;
    table[kFamilyYUY2].convertMacroblock411 = plainYUY2.convertMacroblock411;
    table[kFamilyUYVY].joinRow411 = plainUYVY.joinRow411;
    table[kFamilyYUY2].joinRow411 = plainYUY2.joinRow411;
    table[kFamilyUYVY].convertMacroblock420 = PackedMacroblock420<true>;
    table[kFamilyYUY2].convertMacroblock420 = PackedMacroblock420<false>;
    table[kFamilyUYVY].convertMacroblock420Half = PackedMacroblock420Half<true>;
    table[kFamilyYUY2].convertMacroblock420Half = PackedMacroblock420Half<false>;
    table[kFamilyUYVY].convertMacroblock411Half = PackedMacroblock411Half<true>;
    table[kFamilyYUY2].convertMacroblock411Half = PackedMacroblock411Half<false>;
    table[kFamilyUYVY].convertBlockPair422 = PackedBlockPair422<true>;
    table[kFamilyYUY2].convertBlockPair422 = PackedBlockPair422<false>;
    table[kFamilyVUYA] = MakeSlots<VuyaNEON>();
}

}  // namespace hvdv
