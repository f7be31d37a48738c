// A pixel kernel family for exercising picture writers without a real pixel
// format: every pixel is the four bytes Y, Cb, Cr, 0xEE, so a picture shows
// exactly which samples each pixel received and which pixels were written.
#pragma once
#include <cstdint>

#include "kernels/kernels.h"
#include "writer/writer_ops.h"

namespace probe {

constexpr uint8_t kMarker = 0xEE;

inline void Put(uint8_t* d, uint8_t y, uint8_t cb, uint8_t cr) {
    d[0] = y;
    d[1] = cb;
    d[2] = cr;
    d[3] = kMarker;
}

template <int kChromaShift>
void Convert(const hvdv::DVPixelKernelSet* k, int n) {
    for (int i = 0; i < n; i++)
        Put(k->dst + 4 * i, k->srcY[i], k->srcCb[i >> kChromaShift], k->srcCr[i >> kChromaShift]);
}

inline void Strip422(const hvdv::DVPixelKernelSet* k) { Convert<1>(k, 16); }
inline void Run422(const hvdv::DVPixelKernelSet* k) { Convert<1>(k, k->pixelCount); }
inline void Run444(const hvdv::DVPixelKernelSet* k) { Convert<0>(k, k->pixelCount); }

// With full-resolution slots (like the RGB and VUYA families).
inline void Init(hvdv::DVPixelKernelSet* k, int, const hvdv::DVPixelDsp*) {
    k->convertRun422 = Run422;
    k->convertStrip422 = Strip422;
    k->convertRun444 = Run444;
    k->pixelCount = 16;
    k->bytesPerPixel = 4;
}

// Half-resolution slots only (like the packed 4:2:2 families).
inline void Init422(hvdv::DVPixelKernelSet* k, int u, const hvdv::DVPixelDsp* p) {
    Init(k, u, p);
    k->convertRun444 = nullptr;
}

}  // namespace probe
