// The pixel kernel table of a decoder, and the kernel set initialisers: one
// per output format, each taking its family's kernels from that table and
// loading the colour constants the family reads.
#include <cstring>

#include "kernels/kernel_impl.h"
#include "threads/cpu.h"

namespace hvdv {
namespace {

// Colour constants, fixed point with 14 fraction bits (16384 = 1.0).
//
// Full-range tables (RGB 0..255 from luma 16..235, chroma 16..240):
//   row 0  chroma offset 128 (u = Cb - 128, v = Cr - 128)
//   row 1  luma gain 19077 = 1.16437 (255/219)
//   row 2  luma bias as four 32-bit values, each stored as the 16-bit pair
//          (30668, -5): 30668 - 5 * 65536 = -297012 = -16 * 19077 + 8220,
//          8220 (0.5017) being the rounding term of the final shift by 14
//   row 3  (Cb, Cr) weights of G
//   row 4  (Cb, Cr) weights of R
//   row 5  (Cb, Cr) weights of B, halved: the kernels double u and v first
// The pair rows are multiplied against interleaved (u, v) pairs.
#define HVDV_ROW8(a) {a, a, a, a, a, a, a, a}
#define HVDV_PAIR4(a, b) {a, b, a, b, a, b, a, b}

alignas(16) const DVColourConstants kFullRange709 = {{
    HVDV_ROW8(128),
    HVDV_ROW8(19077),
    HVDV_PAIR4(30668, -5),
    HVDV_PAIR4(-3493, -8734),  // G: -0.21320 Cb, -0.53308 Cr
    HVDV_PAIR4(0, 29369),      // R: 1.79254 Cr
    HVDV_PAIR4(17305, 0),      // B: 34610 / 2 = 2.11243 / 2 Cb
}};

alignas(16) const DVColourConstants kFullRange601 = {{
    HVDV_ROW8(128),
    HVDV_ROW8(19077),
    HVDV_PAIR4(30668, -5),
    HVDV_PAIR4(-6448, -13326),  // G: -0.39355 Cb, -0.81335 Cr
    HVDV_PAIR4(0, 26153),       // R: 1.59625 Cr
    HVDV_PAIR4(16516, 0),       // B: 33032 / 2 = 2.01611 / 2 Cb
}};

// Studio-range tables: luma passes unscaled, so each chroma weight is the
// full-range one times 219/255.
//   row 0  chroma offset 128
//   row 1  rounding term of the G sum, 8188 = 0.49976
//   row 2  G weight of Cb, row 3 G weight of Cr, row 4 B weight of Cb,
//   row 5  R weight of Cr
alignas(16) const DVColourConstants kStudio709 = {{
    HVDV_ROW8(128),
    HVDV_ROW8(8188),
    HVDV_ROW8(-3000),  // -0.18311
    HVDV_ROW8(-7501),  // -0.45782
    HVDV_ROW8(29725),  //  1.81427
    HVDV_ROW8(25223),  //  1.53949
}};

alignas(16) const DVColourConstants kStudio601 = {{
    HVDV_ROW8(128),
    HVDV_ROW8(8188),
    HVDV_ROW8(-5537),   // -0.33795
    HVDV_ROW8(-11445),  // -0.69855
    HVDV_ROW8(28368),   //  1.73145
    HVDV_ROW8(22461),   //  1.37091
}};

#undef HVDV_ROW8
#undef HVDV_PAIR4

void Init(DVPixelKernelSet* k, const DVPixelDsp* dsp, DVKernelFamily family, int32_t bytesPerPixel,
          const DVColourConstants* constants) {
    const DVKernelSlots& s = dsp->family[family];
    k->convertRun422 = s.convertRun422;
    k->convertStrip422 = s.convertStrip422;
    k->convertRun444 = s.convertRun444;
    k->convertMacroblock420 = s.convertMacroblock420;
    k->convertMacroblock420Half = s.convertMacroblock420Half;
    k->convertMacroblock411Half = s.convertMacroblock411Half;
    k->convertBlockPair422 = s.convertBlockPair422;
    k->convertMacroblockHDHalf = s.convertMacroblockHDHalf;
    k->convertMacroblock411 = s.convertMacroblock411;
    k->joinRow411 = s.joinRow411;
    k->pixelCount = 16;
    k->bytesPerPixel = bytesPerPixel;
    if (constants) std::memcpy(&k->constants, constants, sizeof(DVColourConstants));
}

const DVColourConstants* FullRange(int useBT709) { return useBT709 ? &kFullRange709 : &kFullRange601; }
const DVColourConstants* Studio(int useBT709) { return useBT709 ? &kStudio709 : &kStudio601; }

}  // namespace

void InitPixelDsp(DVPixelDsp* dsp, uint32_t cpuFlags) {
    *dsp = DVPixelDsp{};
    AddPackedYuvKernelsC(dsp->family);
    AddRgbKernelsC(dsp->family);
#if HVDV_HAVE_SSE2
    if (cpuFlags & kCpuSSE2) {
        AddPackedYuvKernelsSSE2(dsp->family);
        AddRgbKernelsSSE2(dsp->family);
    }
#if HVDV_HAVE_AVX2
    if ((cpuFlags & kCpuSSE2) && (cpuFlags & kCpuAVX2)) AddPackedYuvKernelsAVX2(dsp->family);
#endif
#endif
#if HVDV_HAVE_NEON
    if (cpuFlags & kCpuNEON) {
        AddPackedYuvKernelsNEON(dsp->family);
        AddRgbKernelsNEON(dsp->family);
    }
#endif
    (void)cpuFlags;
}

void PackUYVY(DVPixelKernelSet* k, int, const DVPixelDsp* dsp) { Init(k, dsp, kFamilyUYVY, 2, nullptr); }
void PackYUY2(DVPixelKernelSet* k, int, const DVPixelDsp* dsp) { Init(k, dsp, kFamilyYUY2, 2, nullptr); }
void PackVUYA(DVPixelKernelSet* k, int, const DVPixelDsp* dsp) { Init(k, dsp, kFamilyVUYA, 4, nullptr); }

void ConvertBGR24(DVPixelKernelSet* k, int useBT709, const DVPixelDsp* dsp) {
    Init(k, dsp, kFamilyBGR24, 3, FullRange(useBT709));
}
void ConvertBGR24Studio(DVPixelKernelSet* k, int useBT709, const DVPixelDsp* dsp) {
    Init(k, dsp, kFamilyBGR24Studio, 3, Studio(useBT709));
}
void ConvertBGRA32(DVPixelKernelSet* k, int useBT709, const DVPixelDsp* dsp) {
    Init(k, dsp, kFamilyBGRA32, 4, FullRange(useBT709));
}
void ConvertBGRA32Studio(DVPixelKernelSet* k, int useBT709, const DVPixelDsp* dsp) {
    Init(k, dsp, kFamilyBGRA32Studio, 4, Studio(useBT709));
}
void ConvertRGB555(DVPixelKernelSet* k, int useBT709, const DVPixelDsp* dsp) {
    Init(k, dsp, kFamilyRGB555, 2, FullRange(useBT709));
}
void ConvertRGB565(DVPixelKernelSet* k, int useBT709, const DVPixelDsp* dsp) {
    Init(k, dsp, kFamilyRGB565, 2, FullRange(useBT709));
}

}  // namespace hvdv
