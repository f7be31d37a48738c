// Pixel kernel sets: per-thread records naming the kernels that turn planar
// 8-bit Y, Cb, Cr runs into packed output pixels of one format.
#pragma once
#include <cstddef>
#include <cstdint>

namespace hvdv {

struct DVPixelKernelSet;

// Every kernel takes the set and returns nothing.  It reads the set (never
// writes it), its three sources and writes only its destination run.
typedef void (*DVPixelKernel)(const DVPixelKernelSet* k);

// Converts one whole 4:2:0 macroblock of the 625/50 system: slots points at
// six consecutive 64-byte blocks of 8 x 8 samples (Y0 Y1 over Y2 Y3, then Cr
// and Cb at half resolution both ways) and the 16 x 16 pixels go to 16 rows
// of dst, pitch bytes apart.  The frame is interlaced: chroma row c serves
// luma rows 4 (c / 2) + c % 2 and the row two below it, i.e. luma row r
// takes chroma row 4 (r / 8) + 2 ((r % 8) / 4) + r % 2.  The result is that
// of sixteen 16-pixel strips of the same family.
//
// The half-size kernels take the 4 x 4 samples at the top left of each slot
// (rows 8 bytes apart).  4:2:0 half size: 8 x 8 pixels, luma of slots 0 1
// over 2 3, output row r taking chroma row r / 2.  4:1:1 half size (every
// macroblock but the right-edge column): 16 x 4 pixels, luma of slots 0 1 2 3
// side by side, each chroma sample of row r serving four pixels of row r.
typedef void (*DVMacroblockKernel)(const DVPixelKernelSet* k, uint8_t* dst, std::ptrdiff_t pitch,
                                   const uint8_t* slots);

// Converts 8 rows of 16 pixels with 4:2:2 chroma: row r is the 8 luma
// samples at left + 8r followed by those at right + 8r, with Cb and Cr
// samples cb[8r + i] and cr[8r + i] serving pixels 2i and 2i + 1.  Rows go
// to dst, pitch bytes apart.  The result is that of eight 16-pixel strips.
typedef void (*DVBlockPairKernel)(const DVPixelKernelSet* k, uint8_t* dst, std::ptrdiff_t pitch,
                                  const uint8_t* left, const uint8_t* right, const uint8_t* cb,
                                  const uint8_t* cr);

// Full-size 4:1:1 straight into a packed 4:2:2 picture (UYVY and YUY2 only).
// The macroblock kernel (a DVMacroblockKernel) converts a 32 x 8 macroblock
// (every one but the right-edge column): luma of slots 0-3 side by side,
// chroma sample i of row r (Cb slot 5, Cr slot 4) serving pixel pair 2i as
// it is and pair 2i + 1 as the mean of samples i and i + 1, rounded half
// up; pair 15 takes sample 7 alone, since its right neighbour is the next
// macroblock's first sample.  Once a picture row is complete, the join
// kernel gives pair 16m + 15 of it (m = 0 .. 21) the rounded mean of the
// chroma of pairs 16m + 14 and 16m + 16, which then hold those two samples
// unchanged.
typedef void (*DVRowJoinKernel)(uint8_t* row);

// Colour conversion constants: 16 rows of eight signed 16-bit values.
struct alignas(16) DVColourConstants {
    int16_t row[16][8];
};

struct alignas(16) DVPixelKernelSet {
    uint8_t* dst;           // first output byte of the run
    const uint8_t* srcY;    // luma, one sample per pixel
    const uint8_t* srcCb;   // Cb, half or full horizontal resolution by slot
    const uint8_t* srcCr;   // Cr, same layout as srcCb
    DVPixelKernel convertRun422;    // pixelCount pixels, chroma at half resolution
    DVPixelKernel convertStrip422;  // exactly 16 pixels, chroma at half resolution
    DVPixelKernel convertRun444;    // may be null: pixelCount pixels, full-resolution chroma
    int32_t pixelCount;
    int32_t bytesPerPixel;
    DVColourConstants constants;    // read only by the RGB families
    // Scratch that only picture writers use when they assemble a 16-pixel strip.
    alignas(16) uint8_t scratchY[16];
    uint8_t scratchCb[8];
    uint8_t scratchCr[8];
    alignas(16) uint8_t scratchOut[64];
    DVMacroblockKernel convertMacroblock420;      // may be null
    DVMacroblockKernel convertMacroblock420Half;  // may be null
    DVMacroblockKernel convertMacroblock411Half;  // may be null
    DVBlockPairKernel convertBlockPair422;        // may be null
    DVMacroblockKernel convertMacroblockHDHalf;   // may be null
    DVMacroblockKernel convertMacroblock411;      // may be null, with joinRow411
    DVRowJoinKernel joinRow411;                   // may be null
};

// The kernels of one family at one instruction-set level; the 4:4:4 run is
// null for the formats that only take half-resolution chroma.
struct DVKernelSlots {
    DVPixelKernel convertRun422;
    DVPixelKernel convertStrip422;
    DVPixelKernel convertRun444;
    DVMacroblockKernel convertMacroblock420;
    DVMacroblockKernel convertMacroblock420Half;
    DVMacroblockKernel convertMacroblock411Half;
    DVBlockPairKernel convertBlockPair422;
    DVMacroblockKernel convertMacroblockHDHalf;
    DVMacroblockKernel convertMacroblock411;  // packed 4:2:2 families only
    DVRowJoinKernel joinRow411;
};

enum DVKernelFamily : int {
    kFamilyUYVY,
    kFamilyYUY2,
    kFamilyVUYA,
    kFamilyBGRA32,
    kFamilyBGR24,
    kFamilyBGRA32Studio,
    kFamilyBGR24Studio,
    kFamilyRGB555,
    kFamilyRGB565,
    kFamilyCount
};

// The pixel kernels of every family, chosen once per decoder.
struct DVPixelDsp {
    DVKernelSlots family[kFamilyCount];
};

// Fills dsp with the plain C++ references, then lets each instruction set
// in cpuFlags (threads/cpu.h) overwrite the families it provides.
void InitPixelDsp(DVPixelDsp* dsp, uint32_t cpuFlags);

// Set initialisers, one per output format.  Each sets pixelCount to 16,
// bytesPerPixel, the slots of its family from dsp (null where the format has
// no such kernel) and the constants.  useBT709 is read by the RGB families
// only.
typedef void (*DVKernelSetInit)(DVPixelKernelSet* k, int useBT709, const DVPixelDsp* dsp);

void PackUYVY(DVPixelKernelSet* k, int useBT709, const DVPixelDsp* dsp);
void PackYUY2(DVPixelKernelSet* k, int useBT709, const DVPixelDsp* dsp);
void PackVUYA(DVPixelKernelSet* k, int useBT709, const DVPixelDsp* dsp);
void ConvertBGR24(DVPixelKernelSet* k, int useBT709, const DVPixelDsp* dsp);
void ConvertBGR24Studio(DVPixelKernelSet* k, int useBT709, const DVPixelDsp* dsp);
void ConvertBGRA32(DVPixelKernelSet* k, int useBT709, const DVPixelDsp* dsp);
void ConvertBGRA32Studio(DVPixelKernelSet* k, int useBT709, const DVPixelDsp* dsp);
void ConvertRGB555(DVPixelKernelSet* k, int useBT709, const DVPixelDsp* dsp);
void ConvertRGB565(DVPixelKernelSet* k, int useBT709, const DVPixelDsp* dsp);

}  // namespace hvdv
