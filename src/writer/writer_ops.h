// The operations that picture writers install in their slots, and the
// table of row kernels they use (4:1:1 chroma reconstruction and the
// high-definition horizontal resamplers).
#pragma once
#include <cstddef>
#include <cstdint>

#include "writer/writer.h"

namespace hvdv {

// Builds a writer that runs the row kernels of dsp and whose kernel sets are
// initialised by init from pixels.  CreatePictureWriter is a thin wrapper
// around it.
DVPictureWriter* CreatePictureWriterWith(const DVWriterDsp* dsp, const DVPixelDsp* pixels,
                                         DVKernelSetInit init, int useBT709, int threadCount,
                                         const DVProfile& profile, int halfSize, int wideScreen);

// Frame set-up and finishing steps.
int32_t BeginFrameCommon(DVPictureWriter* w, uint8_t* picture, int32_t pitch, int32_t width,
                         int32_t height);
int32_t BeginFrame411(DVPictureWriter* w, uint8_t* picture, int32_t pitch, int32_t width,
                      int32_t height);
// High definition: planes, or the picture itself at the coded width.
// Clears the plane tiles that no macroblock wrote this frame.
void FillGapsHD(DVPictureWriter* w);
int32_t BeginFrameHD(DVPictureWriter* w, uint8_t* picture, int32_t pitch, int32_t width,
                     int32_t height);
int32_t FreeFrameBuffer(DVPictureWriter* w);
void Release(DVPictureWriter* w);
void EndFrameNone(DVPictureWriter* w);
void EndFrameFlushAll(DVPictureWriter* w);
void EndFrame411To444(DVPictureWriter* w);
void EndFrame411To422(DVPictureWriter* w);
// The same conversion for a band of picture rows, on kernel set t.
void FlushRows411To444(DVPictureWriter* w, int t, int firstRow, int rowCount);
void FlushRows411To422(DVPictureWriter* w, int t, int firstRow, int rowCount);
// Full-size 4:1:1 straight into a packed 4:2:2 picture (the kernel set's
// convertMacroblock411): the rows' join at macroblock borders.
void EndFrame411Packed(DVPictureWriter* w);
void FlushRows411Packed(DVPictureWriter* w, int t, int firstRow, int rowCount);

// Macroblock placement.
void Put420(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb);
void Put420Half(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb);
void Put422(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb);
void Put422Half(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb);
void Put411(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb);
void Put411Packed(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb);
void Put411Half(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb);
void PutHD720Native(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb);
void PutHD1080Native(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb);
// Half the coded width, straight into the picture as the coded width is.
void PutHD720NativeHalf(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb);
void PutHD1080NativeHalf(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb);
void PutHD720(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb);
void PutHD1080x60(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb);
void PutHD1080x50(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb);
void PutHD720Half(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb);
void PutHD1080x60Half(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb);
void PutHD1080x50Half(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb);

// High-definition band conversion.
void FlushRowsScale3To4(DVPictureWriter* w, int t, int firstRow, int rowCount);
void FlushRowsScale2To3(DVPictureWriter* w, int t, int firstRow, int rowCount);

// 4:1:1 frame buffer geometry: 23 entries of 8 rows x 48 bytes per
// macroblock row (32 luma, 8 Cb, 8 Cr bytes per entry row).
enum {
    kEntryRowBytes = 48,
    kEntryBytes = 8 * kEntryRowBytes,
    kEntriesPerRow = 23,
    kMacroblockRowBytes = kEntriesPerRow * kEntryBytes,  // 8832
};

// Row kernels.
//
// Chroma411To444: current holds 8 chroma samples; previous[7] is the sample
// left of current[0] and next[0] the one right of current[7].  Writes the 32
// samples out[-1] .. out[30] (sample i lands on out[4i]).
// Chroma411To422: writes out[0] .. out[15] (sample i on out[2i], the rounded
// mean of it and its right neighbour on out[2i + 1]).
// ResampleRow3To4 / ResampleRow2To3: n input samples from src (n a positive
// multiple of 12, resp. 8) to 4n/3 (3n/2) samples at out.  Both first write
// the mirrored row ends into src[-16 .. -1] and src[n .. n + 15].
typedef void (*Chroma411To444Fn)(const uint8_t* current, const uint8_t* previous,
                                 const uint8_t* next, uint8_t* out);
typedef void (*Chroma411To422Fn)(const uint8_t* current, const uint8_t* next, uint8_t* out);
// EntryRow411To422: one picture row of the frame buffer in a single call.
// row points at the row's bytes in entry 0 (entry i at row + i * kEntryBytes,
// 32 luma, 8 Cb, 8 Cr); copies the 23 * 32 luma bytes to luma and writes
// chroma411To422 of every entry's Cb and Cr (with the next entry's first
// sample, for the last entry the bytes at row + 23 * kEntryBytes + 32 and
// + 40) to cb[16 i] and cr[16 i].  Bytes up to row + 23 * kEntryBytes + 48
// must be readable.
typedef void (*EntryRow411To422Fn)(const uint8_t* row, uint8_t* luma, uint8_t* cb, uint8_t* cr);
typedef void (*ResampleRowFn)(uint8_t* src, int n, uint8_t* out);
// StoreMacroblockHD: a full-size high-definition macroblock (all but the
// 32 x 8 bottom strip of a 1080-line frame) into three planes: luma 16 x 16
// (slots 0 1 over 2 3) at luma, Cb 8 x 16 (slot 6 over 7) at cb and Cr
// (slot 4 over 5) at cr, each row `pitch` bytes below the last.  slots
// points at the macroblock's eight consecutive 64-byte slots.
typedef void (*StoreMacroblockHDFn)(const uint8_t* slots, uint8_t* luma, std::ptrdiff_t lumaPitch, uint8_t* cb,
                                    std::ptrdiff_t cbPitch, uint8_t* cr, std::ptrdiff_t crPitch);

struct DVWriterDsp {
    Chroma411To444Fn chroma411To444;
    Chroma411To422Fn chroma411To422;
    EntryRow411To422Fn entryRow411To422;
    ResampleRowFn resampleRow3To4;
    ResampleRowFn resampleRow2To3;
    StoreMacroblockHDFn storeMacroblockHD;
};

// Fills dsp with the reference kernels, then overwrites the entries that
// the instruction sets allowed by cpuFlags (threads/cpu.h) provide.
void InitWriterDsp(DVWriterDsp* dsp, uint32_t cpuFlags);

// Plain C++ references, the definition of the arithmetic.
void Chroma411To444_c(const uint8_t* current, const uint8_t* previous, const uint8_t* next,
                      uint8_t* out);
void Chroma411To422_c(const uint8_t* current, const uint8_t* next, uint8_t* out);
void EntryRow411To422_c(const uint8_t* row, uint8_t* luma, uint8_t* cb, uint8_t* cr);
void ResampleRow3To4_c(uint8_t* src, int n, uint8_t* out);
void ResampleRow2To3_c(uint8_t* src, int n, uint8_t* out);
void StoreMacroblockHD_c(const uint8_t* slots, uint8_t* luma, std::ptrdiff_t lumaPitch, uint8_t* cb,
                         std::ptrdiff_t cbPitch, uint8_t* cr, std::ptrdiff_t crPitch);
#if HVDV_HAVE_SSE2
void Chroma411To444_sse2(const uint8_t* current, const uint8_t* previous, const uint8_t* next,
                         uint8_t* out);
void Chroma411To422_sse2(const uint8_t* current, const uint8_t* next, uint8_t* out);
void EntryRow411To422_sse2(const uint8_t* row, uint8_t* luma, uint8_t* cb, uint8_t* cr);
void ResampleRow3To4_sse2(uint8_t* src, int n, uint8_t* out);
void ResampleRow2To3_sse2(uint8_t* src, int n, uint8_t* out);
void StoreMacroblockHD_sse2(const uint8_t* slots, uint8_t* luma, std::ptrdiff_t lumaPitch, uint8_t* cb,
                            std::ptrdiff_t cbPitch, uint8_t* cr, std::ptrdiff_t crPitch);
#endif
#if HVDV_HAVE_AVX2
void ResampleRow3To4_avx2(uint8_t* src, int n, uint8_t* out);
void ResampleRow2To3_avx2(uint8_t* src, int n, uint8_t* out);
#endif
#if HVDV_HAVE_NEON
void Chroma411To444_neon(const uint8_t* current, const uint8_t* previous, const uint8_t* next,
                         uint8_t* out);
void Chroma411To422_neon(const uint8_t* current, const uint8_t* next, uint8_t* out);
void EntryRow411To422_neon(const uint8_t* row, uint8_t* luma, uint8_t* cb, uint8_t* cr);
void ResampleRow3To4_neon(uint8_t* src, int n, uint8_t* out);
void ResampleRow2To3_neon(uint8_t* src, int n, uint8_t* out);
#endif

// Resampler taps: phase p of the 3:4 filter weights s[3j + t] by
// kTaps3To4[p][t + 7] (t = -7 .. +16, nonzero up to +10); phase p of the 2:3
// filter weights s[2j + t] by kTaps2To3[p][t + 10] (t = -10 .. +13, nonzero
// up to +11).  11-bit fixed point: every phase sums to 2048.  Rows are
// padded with zeros to 24 taps, three vectors of eight.
enum { kResampleTaps = 24, kTapsBefore3To4 = 7, kTapsBefore2To3 = 10 };
extern const int16_t kTaps3To4[4][kResampleTaps];
extern const int16_t kTaps2To3[3][kResampleTaps];

}  // namespace hvdv
