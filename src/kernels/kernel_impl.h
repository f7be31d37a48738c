// Internal plumbing shared by the pixel kernel families: the slot table that
// each instruction-set level fills, and the loops that turn one 16-pixel step
// into the four kernel slots.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kernels/kernels.h"

namespace hvdv {

// Each level fills the entries of the families it implements; the plain C++
// reference fills all of them, faster levels then overwrite theirs.
void AddPackedYuvKernelsC(DVKernelSlots* table);
void AddRgbKernelsC(DVKernelSlots* table);
#if HVDV_HAVE_SSE2
void AddPackedYuvKernelsSSE2(DVKernelSlots* table);
void AddRgbKernelsSSE2(DVKernelSlots* table);
#endif
#if HVDV_HAVE_AVX2
// Only the 4:1:1 macroblock of UYVY and YUY2; the rest stays SSE2.
void AddPackedYuvKernelsAVX2(DVKernelSlots* table);
#endif
#if HVDV_HAVE_NEON
void AddPackedYuvKernelsNEON(DVKernelSlots* table);
void AddRgbKernelsNEON(DVKernelSlots* table);
#endif

// The two 4:2:2 packed formats differ only in where the four samples of a
// pixel pair go: UYVY is Cb Y0 Cr Y1, YUY2 is Y0 Cb Y1 Cr.
struct UyvyOrder {
    static constexpr int kCb = 0, kY0 = 1, kCr = 2, kY1 = 3;
};
struct Yuy2Order {
    static constexpr int kY0 = 0, kCb = 1, kY1 = 2, kCr = 3;
};

template <class Order>
inline void PutYuvPair(uint8_t* dst, const uint8_t* y, uint8_t cb, uint8_t cr) {
    dst[Order::kY0] = y[0];
    dst[Order::kCb] = cb;
    dst[Order::kY1] = y[1];
    dst[Order::kCr] = cr;
}

// A family F supplies
//   kBytesPerPixel, kHas444 (whether it has the 4:4:4 slots),
//   kPairTail (run kernels finish a count that is not a multiple of 16 one
//              pixel pair at a time, with F::PutPair),
//   template <bool kFullChroma> Step16(y, cb, cr, dst, constants):
//       converts 16 pixels; chroma has 16 samples when kFullChroma, else 8,
//       each serving two neighbouring pixels.
template <class F, bool kFullChroma>
void StripKernel(const DVPixelKernelSet* k) {
    F::template Step16<kFullChroma>(k->srcY, k->srcCb, k->srcCr, k->dst, k->constants);
}

// Runs convert 16 pixels per step while at least 16 remain.  Callers pass a
// multiple of 16 except to the UYVY and YUY2 runs, which then write the
// remaining whole pairs (an odd last pixel is left unwritten); a count that
// breaks that rule only loses its ragged end and never writes past N pixels.
template <class F, bool kFullChroma>
void RunKernel(const DVPixelKernelSet* k) {
    const uint8_t* y = k->srcY;
    const uint8_t* cb = k->srcCb;
    const uint8_t* cr = k->srcCr;
    uint8_t* dst = k->dst;
    const int chromaStep = kFullChroma ? 16 : 8;
    int32_t n = k->pixelCount;
    for (; n >= 16; n -= 16) {
        F::template Step16<kFullChroma>(y, cb, cr, dst, k->constants);
        y += 16;
        cb += chromaStep;
        cr += chromaStep;
        dst += 16 * F::kBytesPerPixel;
    }
    if constexpr (F::kPairTail) {
        static_assert(!kFullChroma, "pair tails exist only with half-resolution chroma");
        for (; n >= 2; n -= 2) {
            F::PutPair(dst, y, *cb, *cr);
            y += 2;
            cb++;
            cr++;
            dst += 4;
        }
    }
}

// A 625/50 4:2:0 macroblock as sixteen strips of the family's step, the
// luma row and its chroma rows read straight from the block slots.
template <class F>
void Macroblock420Kernel(const DVPixelKernelSet* k, uint8_t* dst, std::ptrdiff_t pitch,
                         const uint8_t* slots) {
    const uint8_t* const cr = slots + 4 * 64;
    const uint8_t* const cb = slots + 5 * 64;
    alignas(16) uint8_t y[16];
    for (int r = 0; r < 16; r++, dst += pitch) {
        const int h = r >> 3, j = r & 7, c = 4 * h + 2 * (j >> 2) + (j & 1);
        std::memcpy(y, slots + 64 * (2 * h) + 8 * j, 8);
        std::memcpy(y + 8, slots + 64 * (2 * h + 1) + 8 * j, 8);
        F::template Step16<false>(y, cb + 8 * c, cr + 8 * c, dst, k->constants);
    }
}

// Half-size 4:2:0: one strip per chroma row c, its first 8 pixels on output
// row 2c and its last 8 on row 2c + 1; each chroma row is given twice so that
// both output rows take it.
template <class F>
void Macroblock420HalfKernel(const DVPixelKernelSet* k, uint8_t* dst, std::ptrdiff_t pitch,
                             const uint8_t* slots) {
    alignas(16) uint8_t y[16], cb[8], cr[8], out[16 * 4];
    const size_t rowBytes = 8 * (size_t)F::kBytesPerPixel;
    for (int c = 0; c < 4; c++) {
        const uint8_t* left = slots + 128 * (c >> 1) + 16 * (c & 1);
        std::memcpy(y, left, 4);
        std::memcpy(y + 4, left + 64, 4);
        std::memcpy(y + 8, left + 8, 4);
        std::memcpy(y + 12, left + 72, 4);
        std::memcpy(cb, slots + 5 * 64 + 8 * c, 4);
        std::memcpy(cb + 4, slots + 5 * 64 + 8 * c, 4);
        std::memcpy(cr, slots + 4 * 64 + 8 * c, 4);
        std::memcpy(cr + 4, slots + 4 * 64 + 8 * c, 4);
        F::template Step16<false>(y, cb, cr, out, k->constants);
        std::memcpy(dst + 2 * c * pitch, out, rowBytes);
        std::memcpy(dst + (2 * c + 1) * pitch, out + rowBytes, rowBytes);
    }
}

// Half-size 4:1:1: one strip per row, each chroma sample given twice.
template <class F>
void Macroblock411HalfKernel(const DVPixelKernelSet* k, uint8_t* dst, std::ptrdiff_t pitch,
                             const uint8_t* slots) {
    alignas(16) uint8_t y[16], cb[8], cr[8];
    for (int r = 0; r < 4; r++, dst += pitch) {
        for (int s = 0; s < 4; s++) std::memcpy(y + 4 * s, slots + 64 * s + 8 * r, 4);
        for (int i = 0; i < 4; i++) {
            cb[2 * i] = cb[2 * i + 1] = slots[5 * 64 + 8 * r + i];
            cr[2 * i] = cr[2 * i + 1] = slots[4 * 64 + 8 * r + i];
        }
        F::template Step16<false>(y, cb, cr, dst, k->constants);
    }
}

// Eight 4:2:2 rows: two luma slots side by side, chroma rows read in place.
template <class F>
void BlockPair422Kernel(const DVPixelKernelSet* k, uint8_t* dst, std::ptrdiff_t pitch, const uint8_t* left,
                        const uint8_t* right, const uint8_t* cb, const uint8_t* cr) {
    alignas(16) uint8_t y[16];
    for (int r = 0; r < 8; r++, dst += pitch) {
        std::memcpy(y, left + 8 * r, 8);
        std::memcpy(y + 8, right + 8 * r, 8);
        F::template Step16<false>(y, cb + 8 * r, cr + 8 * r, dst, k->constants);
    }
}

// Half-size high-definition 4:2:2 macroblock, 8 x 8: slots 0-3 hold 4 x 4
// luma (0 1 over 2 3), Cr 4 over 5 and Cb 6 over 7 hold 4 x 4 chroma, one
// sample per two pixels.  One strip per two output rows: its first 8 pixels
// are row r (with chroma row r), its last 8 row r + 1.
template <class F>
void MacroblockHDHalfKernel(const DVPixelKernelSet* k, uint8_t* dst, std::ptrdiff_t pitch,
                            const uint8_t* slots) {
    alignas(16) uint8_t y[16], cb[8], cr[8], out[16 * 4];
    const size_t rowBytes = 8 * (size_t)F::kBytesPerPixel;
    for (int r = 0; r < 8; r += 2) {
        const int pair = r >> 2, j = r & 3;
        const uint8_t* left = slots + 128 * pair + 8 * j;
        std::memcpy(y, left, 4);
        std::memcpy(y + 4, left + 64, 4);
        std::memcpy(y + 8, left + 8, 4);
        std::memcpy(y + 12, left + 72, 4);
        std::memcpy(cb, slots + (6 + pair) * 64 + 8 * j, 4);
        std::memcpy(cb + 4, slots + (6 + pair) * 64 + 8 * j + 8, 4);
        std::memcpy(cr, slots + (4 + pair) * 64 + 8 * j, 4);
        std::memcpy(cr + 4, slots + (4 + pair) * 64 + 8 * j + 8, 4);
        F::template Step16<false>(y, cb, cr, out, k->constants);
        std::memcpy(dst + r * pitch, out, rowBytes);
        std::memcpy(dst + (r + 1) * pitch, out + rowBytes, rowBytes);
    }
}

template <class F>
constexpr DVKernelSlots MakeSlots() {
    DVKernelSlots s{RunKernel<F, false>,          StripKernel<F, false>,
                    nullptr,                      Macroblock420Kernel<F>,
                    Macroblock420HalfKernel<F>,   Macroblock411HalfKernel<F>,
                    BlockPair422Kernel<F>,        MacroblockHDHalfKernel<F>,
                    nullptr,                      nullptr};
    if constexpr (F::kHas444) s.convertRun444 = RunKernel<F, true>;
    return s;
}

}  // namespace hvdv
