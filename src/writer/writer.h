// Picture writers: place decoded macroblocks into the caller's picture for
// one output format, frame kind and size.
#pragma once
#include <cstddef>
#include <cstdint>

#include "kernels/kernels.h"
#include "format/macroblock.h"
#include "format/profile.h"

namespace hvdv {

struct DVWriterDsp;

// Three caller planes (Y, Cb, Cr) at the frame's coded chroma sampling.
struct DVPlanes {
    uint8_t* data[3];
    int32_t pitch[3];
    int32_t width[3], height[3];  // samples and rows each plane holds
};

// Work memory that a decoder instance keeps for its writers between frames:
// grown (zero-filled) when a frame needs more, never shrunk, released with
// the instance.  A writer without one allocates and frees its own per frame.
struct DVWorkBuffer {
    void* block = nullptr;
    size_t bytes = 0;
    uint32_t layout = 0;  // what the last frame kept in it (the writer's own tag)
};
void ReleaseWorkBuffer(DVWorkBuffer* buffer);

struct DVPictureWriter {
    // 0 ready, 1 a work buffer could not be allocated.
    int32_t (*BeginFrame)(DVPictureWriter* w, uint8_t* picture, int32_t pitch, int32_t width,
                          int32_t height);
    // x, y: the macroblock's top-left luma sample in full-frame coordinates
    // (also at half size).  The writer is done with samples on return.
    void (*PutMacroblock)(DVPictureWriter* w, int threadIndex, int x, int y,
                          const DVMacroblock* samples);
    // May be null (always at half size).  1 with *planes set when the
    // macroblock at x, y may be written straight into the writer's planes
    // instead of through PutMacroblock, else 0.
    int32_t (*MacroblockPlanes)(DVPictureWriter* w, int x, int y, DVMacroblockPlanes* planes);
    // May be null.  Called once after the last PutMacroblock of a frame and
    // before FlushRows or EndFrame: clears the parts of the work area that no
    // macroblock wrote (a reused area still holds the previous frame there).
    void (*FillGaps)(DVPictureWriter* w);
    void (*EndFrame)(DVPictureWriter* w);
    // May be null.  Converts picture rows firstRow .. firstRow + rowCount - 1.
    void (*FlushRows)(DVPictureWriter* w, int threadIndex, int firstRow, int rowCount);
    int32_t (*FreeFrameBuffer)(DVPictureWriter* w);
    void (*Release)(DVPictureWriter* w);

    int32_t threadCount;
    int32_t pitch;
    int32_t width;
    int32_t height;
    int32_t bytesPerPixel;
    const DVProfile* profile;  // the kind of frame the writer places
    int32_t halfSize;
    int32_t wideScreen;
    uint8_t* origin;        // picture byte that frame row 0 is written to
    uint8_t* picture;
    uint8_t* frameBuffer;   // 16-byte aligned work area (4:1:1 frame buffer or planes)
    void* frameBufferBlock; // the allocation holding frameBuffer, when the writer's own
    DVWorkBuffer* workBuffer;  // set by the decoder before BeginFrame, or null
    uint8_t* tileFlags;  // high definition planes: a flag per 16 x 8 tile, row by row
    uint8_t* planeY;
    uint8_t* planeCr;
    uint8_t* planeCb;
    int32_t codedLumaWidth;
    int32_t codedChromaWidth;
    int32_t frameRows;
    int32_t lumaStride;
    int32_t chromaStride;
    DVPixelKernelSet** kernelSets;  // threadCount sets, set t for job index t
    const DVWriterDsp* dsp;         // row kernels (writer/writer_ops.h), the decoder's
    // Picture row that frame row 0 lands on (origin = picture + rowOffset * pitch).
    // Writers clip to picture rows 0 .. height - 1 and pixels 0 .. width - 1.
    int32_t rowOffset;
    DVPlanes planes;  // the planar writer's output
};

// The factory of one output format (a DVOutputFormat code, see api/formats.h).
// The writer runs the row kernels of dsp and the pixel kernels of pixels,
// both chosen by its decoder, which keeps them alive as long as the writer.
// Returns null for an unknown format or when memory runs out.
DVPictureWriter* CreatePictureWriter(const DVWriterDsp* dsp, const DVPixelDsp* pixels,
                                     uint32_t outputFormat, int threadCount, const DVProfile& profile,
                                     int halfSize, int wideScreen);

// Makes *w a writer that stores every macroblock's samples into the planes
// at the frame's coded chroma sampling (4:1:1, 625/50 4:2:0 or 4:2:2), at
// full or half size, without resampling or converting anything.  A
// macroblock that would not fit the planes is dropped.  Allocates nothing;
// its calls besides PutMacroblock do nothing.  dsp (the decoder's, kept alive
// as long as the writer) gives the high-definition macroblock store.
void InitPlanarWriter(DVPictureWriter* w, const DVWriterDsp* dsp, const DVProfile& profile, int halfSize,
                      const DVPlanes& planes);

// The plane sizes the planar writer fills for a profile: planes[i] of
// width[i] x height[i].
void PlanarGeometry(const DVProfile& profile, int halfSize, int32_t width[3], int32_t height[3]);

}  // namespace hvdv
