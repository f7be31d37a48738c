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

}  // namespace

void AddPackedYuvKernelsC(DVKernelSlots* table) {
    table[kFamilyUYVY] = MakeSlots<PackedPairC<UyvyOrder>>();
    table[kFamilyYUY2] = MakeSlots<PackedPairC<Yuy2Order>>();
    table[kFamilyVUYA] = MakeSlots<VuyaC>();
}

}  // namespace hvdv
