// Packed YUV kernels, plain C++ reference: samples are copied unchanged into
// UYVY, YUY2 (4:2:2, one Cb/Cr pair per two pixels) or VUYA (one V, U, Y,
// alpha quadruple per pixel) order.
#include "kernels/kernel_impl.h"

namespace hvdv {
namespace {

template <class Order>
struct PackedPairC {
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
        for (int k = 0; k < 8; k++) PutPair(dst + 4 * k, y + 2 * k, cb[k], cr[k]);
    }
};

struct VuyaC {
    static constexpr int kBytesPerPixel = 4;
    static constexpr bool kHas444 = true;
    static constexpr bool kPairTail = false;
    template <bool kFullChroma>
    static void Step16(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* dst,
                       const DVColourConstants&) {
        for (int i = 0; i < 16; i++) {
            const int c = kFullChroma ? i : i / 2;
            dst[4 * i + 0] = cr[c];
            dst[4 * i + 1] = cb[c];
            dst[4 * i + 2] = y[i];
            dst[4 * i + 3] = 255;
        }
    }
};

// Full-size 4:1:1 macroblock, 32 x 8 (kernels.h): pair p of row r takes
// luma slot p / 4, columns 2 (p % 4) and the one after, and the mean of
// chroma samples p / 2 and p / 2 + (p odd), sample 7 standing in for its
// own right neighbour.
template <class Order>
void PackedMacroblock411(const DVPixelKernelSet*, uint8_t* dst, std::ptrdiff_t pitch, const uint8_t* slots) {
    for (int r = 0; r < 8; r++, dst += pitch) {
        const uint8_t* cb = slots + 5 * 64 + 8 * r;
        const uint8_t* cr = slots + 4 * 64 + 8 * r;
        for (int p = 0; p < 16; p++) {
            const int i = p >> 1, j = (p & 1) && i < 7 ? i + 1 : i;
            PutYuvPair<Order>(dst + 4 * p, slots + 64 * (p >> 2) + 8 * r + 2 * (p & 3),
                              (uint8_t)((cb[i] + cb[j] + 1) >> 1), (uint8_t)((cr[i] + cr[j] + 1) >> 1));
        }
    }
}

// The last pair of each of the 22 full macroblocks of a row takes the
// rounded mean of its neighbours' chroma (kernels.h).
template <class Order>
void JoinRow411(uint8_t* row) {
    for (int m = 0; m < 22; m++) {
        uint8_t* pair = row + 4 * (16 * m + 15);
        pair[Order::kCb] = (uint8_t)((pair[Order::kCb - 4] + pair[Order::kCb + 4] + 1) >> 1);
        pair[Order::kCr] = (uint8_t)((pair[Order::kCr - 4] + pair[Order::kCr + 4] + 1) >> 1);
    }
}

}  // namespace

void AddPackedYuvKernelsC(DVKernelSlots* table) {
    table[kFamilyUYVY] = MakeSlots<PackedPairC<UyvyOrder>>();
    table[kFamilyYUY2] = MakeSlots<PackedPairC<Yuy2Order>>();
    table[kFamilyUYVY].convertMacroblock411 = PackedMacroblock411<UyvyOrder>;
    table[kFamilyYUY2].convertMacroblock411 = PackedMacroblock411<Yuy2Order>;
    table[kFamilyUYVY].joinRow411 = JoinRow411<UyvyOrder>;
    table[kFamilyYUY2].joinRow411 = JoinRow411<Yuy2Order>;
    table[kFamilyVUYA] = MakeSlots<VuyaC>();
}

}  // namespace hvdv
