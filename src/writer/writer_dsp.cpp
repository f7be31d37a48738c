// Row kernels of the picture writers (plain C++ references), their filter
// taps and the initialiser of a decoder's table of them.
#include <cstring>

#include "threads/cpu.h"
#include "writer/writer_ops.h"

namespace hvdv {

// 3:4 polyphase filter.  Output phase p lies 3p/4 of an input step right of
// input 3j.  Phase 0 keeps 1870/2048 of the co-sited sample; phases 1 and 3
// mirror each other, phase 2 is symmetric about 3j + 1.5.
alignas(16) const int16_t kTaps3To4[4][kResampleTaps] = {
    // t = -7 .. +16
    {4, -13, 32, -61, 99, -137, 165, 1870, 165, -137, 99, -61, 32, -13, 4, 0, 0, 0},
    {-1, 3, -12, 35, -81, 161, -304, 705, 1710, -209, 40, 10, -20, 16, -8, 3, 0, 0},
    {0, 1, -1, -2, 17, -58, 148, -357, 1276, 1276, -357, 148, -58, 17, -2, -1, 1, 0},
    {0, 0, 3, -8, 16, -20, 10, 40, -209, 1710, 705, -304, 161, -81, 35, -12, 3, -1},
};

// 2:3 polyphase filter.  Output phase p lies 2p/3 of an input step right of
// input 2j; phase 0 keeps 1924/2048 of the co-sited sample, phases 1 and 2
// mirror each other.
alignas(16) const int16_t kTaps2To3[3][kResampleTaps] = {
    // t = -10 .. +13
    {-3, 6, -13, 24, -38, 56, -76, 95, -112, 123, 1924, 123, -112, 95, -76, 56, -38, 24, -13,
     6, -3, 0},
    {0, -1, 3, -9, 21, -42, 74, -124, 205, -358, 893, 1623, -332, 137, -58, 19, -1, -6, 7, -5,
     3, -1},
    {0, -1, 3, -5, 7, -6, -1, 19, -58, 137, -332, 1623, 893, -358, 205, -124, 74, -42, 21, -9,
     3, -1},
};

namespace {

inline uint8_t Clamp255(int v) { return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v); }

// (a * k) >> 16 with an arithmetic shift: the high half of a signed 16 x 16
// bit product.
inline int MulHigh(int a, int k) { return (a * k) >> 16; }

// Writes the mirrored row ends: src[-1 - i] = src[i], src[n + i] = src[n - 1 - i].
inline void MirrorMargins(uint8_t* src, int n) {
    for (int i = 0; i < 16; i++) {
        src[-1 - i] = src[i];
        src[n + i] = src[n - 1 - i];
    }
}

template <int kPhases, int kStep, int kBefore>
void ResampleRow(uint8_t* src, int n, uint8_t* out, const int16_t (*taps)[kResampleTaps]) {
    MirrorMargins(src, n);
    for (int j = 0; j < n / kStep; j++) {
        const uint8_t* s = src + kStep * j - kBefore;
        for (int p = 0; p < kPhases; p++) {
            int sum = 0;
            for (int t = 0; t < kResampleTaps; t++) sum += taps[p][t] * s[t];
            // 11-bit taps; 1023 rounds an exact half down.
            out[kPhases * j + p] = Clamp255((sum + 1023) >> 11);
        }
    }
}

}  // namespace

// Sample i of the row sits on pixel 4i.  Its value is sharpened by 17/64 of
// its second difference (centre gain 17408 = 17/64 in 16-bit fixed point);
// pixel 4i + 2 takes the mean of samples i and i + 1; pixels 4i - 1 and
// 4i + 1 are extrapolated from the opposite half-step means with the side
// gain 28672 = 7/16.
void Chroma411To444_c(const uint8_t* current, const uint8_t* previous, const uint8_t* next,
                      uint8_t* out) {
    for (int i = 0; i < 8; i++) {
        const int c = current[i];
        const int l = i == 0 ? previous[7] : current[i - 1];
        const int r = i == 7 ? next[0] : current[i + 1];
        const int sharp = c + MulHigh(2 * c - l - r, 17408);
        const int hl = (l + c) >> 1, hr = (c + r) >> 1;
        const int a = 2 * c - sharp - MulHigh(hl - sharp, 28672);
        const int b = 2 * c - sharp - MulHigh(hr - sharp, 28672);
        out[4 * i - 1] = Clamp255(b);
        out[4 * i] = Clamp255(sharp);
        out[4 * i + 1] = Clamp255(a);
        out[4 * i + 2] = Clamp255(hr);
    }
}

void Chroma411To422_c(const uint8_t* current, const uint8_t* next, uint8_t* out) {
    for (int i = 0; i < 8; i++) {
        const int right = i == 7 ? next[0] : current[i + 1];
        out[2 * i] = current[i];
        out[2 * i + 1] = (uint8_t)((current[i] + right + 1) >> 1);
    }
}

void EntryRow411To422_c(const uint8_t* row, uint8_t* luma, uint8_t* cb, uint8_t* cr) {
    for (int i = 0; i < kEntriesPerRow; i++, row += kEntryBytes) {
        std::memcpy(luma + 32 * i, row, 32);
        Chroma411To422_c(row + 32, row + kEntryBytes + 32, cb + 16 * i);
        Chroma411To422_c(row + 40, row + kEntryBytes + 40, cr + 16 * i);
    }
}

void ResampleRow3To4_c(uint8_t* src, int n, uint8_t* out) {
    ResampleRow<4, 3, kTapsBefore3To4>(src, n, out, kTaps3To4);
}

void ResampleRow2To3_c(uint8_t* src, int n, uint8_t* out) {
    ResampleRow<3, 2, kTapsBefore2To3>(src, n, out, kTaps2To3);
}

void StoreMacroblockHD_c(const uint8_t* slots, uint8_t* luma, std::ptrdiff_t lumaPitch, uint8_t* cb,
                         std::ptrdiff_t cbPitch, uint8_t* cr, std::ptrdiff_t crPitch) {
    for (int r = 0; r < 16; r++, luma += lumaPitch, cb += cbPitch, cr += crPitch) {
        const uint8_t* left = slots + 128 * (r >> 3) + 8 * (r & 7);
        std::memcpy(luma, left, 8);
        std::memcpy(luma + 8, left + 64, 8);
        std::memcpy(cb, slots + 6 * 64 + 8 * r, 8);  // rows 8-15 from slot 7
        std::memcpy(cr, slots + 4 * 64 + 8 * r, 8);  // and slot 5
    }
}

void InitWriterDsp(DVWriterDsp* dsp, uint32_t cpuFlags) {
    dsp->chroma411To444 = Chroma411To444_c;
    dsp->chroma411To422 = Chroma411To422_c;
    dsp->entryRow411To422 = EntryRow411To422_c;
    dsp->resampleRow3To4 = ResampleRow3To4_c;
    dsp->resampleRow2To3 = ResampleRow2To3_c;
    dsp->storeMacroblockHD = StoreMacroblockHD_c;
#if HVDV_HAVE_SSE2
    if (cpuFlags & kCpuSSE2) {
        dsp->storeMacroblockHD = StoreMacroblockHD_sse2;
        dsp->chroma411To444 = Chroma411To444_sse2;
        dsp->chroma411To422 = Chroma411To422_sse2;
        dsp->entryRow411To422 = EntryRow411To422_sse2;
        dsp->resampleRow3To4 = ResampleRow3To4_sse2;
        dsp->resampleRow2To3 = ResampleRow2To3_sse2;
    }
#if HVDV_HAVE_AVX2
    if (cpuFlags & kCpuAVX2) {
        dsp->resampleRow3To4 = ResampleRow3To4_avx2;
        dsp->resampleRow2To3 = ResampleRow2To3_avx2;
    }
#endif
#endif
#if HVDV_HAVE_NEON
    if (cpuFlags & kCpuNEON) {
        dsp->chroma411To444 = Chroma411To444_neon;
        dsp->chroma411To422 = Chroma411To422_neon;
        dsp->entryRow411To422 = EntryRow411To422_neon;
        dsp->resampleRow3To4 = ResampleRow3To4_neon;
        dsp->resampleRow2To3 = ResampleRow2To3_neon;
    }
#endif
    (void)cpuFlags;
}

}  // namespace hvdv
