// Picture writer creation, per-picture set-up and release.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "writer/writer_ops.h"

namespace hvdv {

namespace {

uint8_t* AlignUp16(void* p) {
    return (uint8_t*)(((uintptr_t)p + 15) & ~(uintptr_t)15);
}

// Plane geometry of the high-definition writers: coded luma and chroma
// widths, coded rows, and the plane strides (coded width plus 64 bytes, room
// for the mirrored margins of the horizontal resamplers on both sides).
struct HDGeometry {
    int32_t lumaWidth, chromaWidth, rows, lumaStride, chromaStride;
};

HDGeometry PlaneGeometry(const DVProfile& p) {
    const int32_t chroma = p.codedWidth / 2;
    return HDGeometry{p.codedWidth, chroma, p.codedHeight, p.codedWidth + 64, chroma + 64};
}

// Work memory for one frame: the first `bytes` of the decoder's work buffer,
// or an allocation of the writer's own.  Bytes that the writers of a layout
// never write must read as zero: a buffer last used for another layout (or
// another size of it) is cleared, a fresh one comes zero-filled.
uint8_t* AcquireWork(DVPictureWriter* w, size_t bytes, uint32_t layout) {
    DVWorkBuffer* b = w->workBuffer;
    if (!b) {
        void* block = std::calloc(bytes, 1);
        w->frameBufferBlock = block;
        return (uint8_t*)block;
    }
    if (b->bytes < bytes) {
        void* block = std::calloc(bytes, 1);
        if (!block) return nullptr;
        std::free(b->block);
        b->block = block;
        b->bytes = bytes;
    } else if (b->layout != layout) {
        std::memset(b->block, 0, bytes);
    }
    b->layout = layout;
    return (uint8_t*)b->block;
}

// The planes are one block, after a flag per 16 x 8 tile of the coded frame
// (tileFlags, set by the macroblocks that write the tile); frameBuffer is the
// block's first 16-byte boundary after the flags and planeY starts 32 bytes
// further, so that row 0 has room for its left margin.  Tiles that no
// macroblock reached are cleared by FillGapsHD: the flush reads them, and a
// kept block still holds an earlier frame there.
int32_t AllocatePlanes(DVPictureWriter* w, const HDGeometry& g, int32_t rows) {
    const size_t tiles = (size_t)(w->codedLumaWidth >> 4) * (size_t)(w->frameRows >> 3);
    const size_t flagBytes = (tiles + 63) & ~(size_t)63;
    const size_t bytes = flagBytes + (size_t)rows * (size_t)(g.lumaStride + 2 * g.chromaStride) + 48;
    const uint32_t layout = 0x48440000u | (uint32_t)(w->profile->kind << 4) | (uint32_t)w->halfSize;
    uint8_t* block = AcquireWork(w, bytes, layout);
    if (!block) return 1;
    w->tileFlags = block;
    std::memset(w->tileFlags, 0, tiles);
    w->frameBuffer = AlignUp16(block + flagBytes);
    w->planeY = w->frameBuffer + 32;
    w->planeCr = w->planeY + (size_t)rows * (size_t)g.lumaStride;
    w->planeCb = w->planeCr + (size_t)rows * (size_t)g.chromaStride;
    w->FillGaps = FillGapsHD;
    return 0;
}

void SetGeometry(DVPictureWriter* w, const HDGeometry& g) {
    w->codedLumaWidth = g.lumaWidth;
    w->codedChromaWidth = g.chromaWidth;
    w->frameRows = g.rows;
    w->lumaStride = g.lumaStride;
    w->chromaStride = g.chromaStride;
}

}  // namespace

DVPictureWriter* CreatePictureWriterWith(const DVWriterDsp* dsp, const DVPixelDsp* pixels,
                                         DVKernelSetInit init, int useBT709, int threadCount,
                                         const DVProfile& profile, int halfSize, int wideScreen) {
    if (!dsp || !init || threadCount < 1 || threadCount > 16) return nullptr;
    // One zero-filled block: the record, the table of set pointers, then the
    // sets themselves, each on cache lines of its own: a job writes its set's
    // sources and destination for every run it converts.
    const size_t setStride = (sizeof(DVPixelKernelSet) + 63) & ~(size_t)63;
    const size_t tableOffset = sizeof(DVPictureWriter);
    const size_t setsOffset = tableOffset + (size_t)threadCount * sizeof(DVPixelKernelSet*);
    const size_t bytes = setsOffset + 63 + (size_t)threadCount * setStride;
    void* block = std::calloc(bytes, 1);
    if (!block) return nullptr;
    DVPictureWriter* w = (DVPictureWriter*)block;
    w->kernelSets = (DVPixelKernelSet**)((uint8_t*)block + tableOffset);
    uint8_t* const setsStart = (uint8_t*)block + setsOffset;
    uint8_t* const sets = setsStart + ((64 - ((uintptr_t)setsStart & 63)) & 63);

    w->BeginFrame = BeginFrameCommon;
    w->FillGaps = nullptr;
    w->EndFrame = EndFrameNone;
    w->FlushRows = nullptr;
    w->FreeFrameBuffer = FreeFrameBuffer;
    w->Release = Release;
    w->threadCount = threadCount;
    w->dsp = dsp;
    for (int t = 0; t < threadCount; t++) {
        w->kernelSets[t] = (DVPixelKernelSet*)(sets + (size_t)t * setStride);
        init(w->kernelSets[t], useBT709, pixels);
    }

    const bool half = halfSize != 0;
    if (profile.hd) {
        // Planes first, converted in row bands by FlushRows: 720 and 1440
        // coded samples a row are shown 4/3 wider, 1280 3/2 wider.
        w->BeginFrame = BeginFrameHD;
        w->EndFrame = EndFrameFlushAll;
        if (profile.codedHeight == 720) {
            w->PutMacroblock = half ? PutHD720Half : PutHD720;
            w->FlushRows = FlushRowsScale3To4;
        } else if (profile.kind == kKind1080_50) {
            w->PutMacroblock = PutHD1080x50;
            w->FlushRows = FlushRowsScale3To4;
        } else {
            w->PutMacroblock = PutHD1080x60;
            w->FlushRows = FlushRowsScale2To3;
        }
    } else if (profile.chroma == DVChroma::k420) {
        w->PutMacroblock = half ? Put420Half : Put420;
    } else if (profile.chroma == DVChroma::k422) {
        w->PutMacroblock = half ? Put422Half : Put422;
    } else if (half) {
        w->PutMacroblock = Put411Half;
    } else {
        // Full-size 4:1:1 goes through a frame buffer: each chroma sample
        // is reconstructed from its neighbours across macroblock borders.
        w->BeginFrame = BeginFrame411;
        w->PutMacroblock = Put411;
        w->EndFrame = w->kernelSets[0]->convertRun444 ? EndFrame411To444 : EndFrame411To422;
        w->FlushRows = w->kernelSets[0]->convertRun444 ? FlushRows411To444 : FlushRows411To422;
    }
    w->bytesPerPixel = w->kernelSets[0]->bytesPerPixel;
    w->profile = &profile;
    w->halfSize = half ? 1 : 0;
    w->wideScreen = wideScreen;
    return w;
}

int32_t BeginFrameCommon(DVPictureWriter* w, uint8_t* picture, int32_t pitch, int32_t width,
                         int32_t height) {
    w->pitch = pitch;
    w->width = width;
    w->height = height;
    w->picture = picture;
    // Pictures taller than the coded frame get it placed lower: the 480
    // coded rows of 525/60 sit in rows 2-481 of a 486-row picture, and a
    // letterboxed wide-screen frame in a 4:3 picture of 288 or 240 rows is
    // moved down by the rows of its top bar.
    int32_t rowOffset = 0;
    if (height == 486) {
        rowOffset = 2;
    } else if (height == 288) {
        if (w->profile->kind == kKind525_411)
            rowOffset = w->wideScreen ? 39 : 24;
        else
            rowOffset = w->wideScreen ? 36 : 0;
    } else if (height == 240) {
        rowOffset = w->wideScreen ? 15 : 0;
    }
    w->rowOffset = rowOffset;
    w->origin = picture + (ptrdiff_t)rowOffset * pitch;
    return 0;
}

int32_t BeginFrame411(DVPictureWriter* w, uint8_t* picture, int32_t pitch, int32_t width,
                      int32_t height) {
    BeginFrameCommon(w, picture, pitch, width, height);
    FreeFrameBuffer(w);  // a writer reused for another picture
    // Packed 4:2:2 output that holds the whole coded frame goes straight
    // into the picture, rows joined at the macroblock borders afterwards.
    // Otherwise the rows the conversion below would write (frame rows
    // below 8 (height / 8) and the picture's last row) are not the coded
    // ones, or the picture is narrower, and the frame buffer is used.
    DVPixelKernelSet* const k = w->kernelSets[0];
    const int32_t frameRows = 8 * (height / 8) < height - w->rowOffset ? 8 * (height / 8) : height - w->rowOffset;
    if (k->convertMacroblock411 && k->joinRow411 && !k->convertRun444 && k->bytesPerPixel == 2 && width >= 720 &&
        frameRows == w->profile->codedHeight) {
        w->frameRows = frameRows;
        w->PutMacroblock = Put411Packed;
        w->EndFrame = EndFrame411Packed;
        w->FlushRows = FlushRows411Packed;
        return 0;
    }
    w->PutMacroblock = Put411;
    w->EndFrame = k->convertRun444 ? EndFrame411To444 : EndFrame411To422;
    w->FlushRows = k->convertRun444 ? FlushRows411To444 : FlushRows411To422;
    // height / 8 macroblock rows, one entry of margin in front and at least
    // 512 bytes behind (the chroma reconstruction of the right-edge entry
    // peeks at the bytes that follow it).  Bytes that Put411 never writes
    // (the margins, the right half of the right-edge entries) are still read
    // by the conversion and must be zero.  Everything else is rewritten
    // every frame: the shuffle gives every macroblock of the frame its
    // place, and a missing one is put flat, so a kept buffer needs no
    // clearing between frames of one size.
    const size_t rows = height > 0 ? (size_t)(height / 8) : 0;
    uint8_t* block = AcquireWork(w, rows * kMacroblockRowBytes + 912, 0x41100000u | (uint32_t)rows);
    if (!block) return 1;
    w->frameBuffer = AlignUp16(block) + kEntryBytes;
    return 0;
}

int32_t BeginFrameHD(DVPictureWriter* w, uint8_t* picture, int32_t pitch, int32_t width,
                     int32_t height) {
    BeginFrameCommon(w, picture, pitch, width, height);
    FreeFrameBuffer(w);  // a writer reused for another picture
    const HDGeometry g = PlaneGeometry(*w->profile);
    const int kind = w->profile->kind;
    SetGeometry(w, g);
    // The coded width and its half go straight into the picture: no planes
    // (and none of their allocation and clearing for every frame).
    if (width == g.lumaWidth || width == g.lumaWidth / 2) {
        const bool half = width != g.lumaWidth;
        if (half) w->halfSize = 1;
        if (w->profile->codedHeight == 720)
            w->PutMacroblock = half ? PutHD720NativeHalf : PutHD720Native;
        else
            w->PutMacroblock = half ? PutHD1080NativeHalf : PutHD1080Native;
        w->EndFrame = EndFrameNone;
        w->FlushRows = nullptr;
        w->frameBuffer = nullptr;
        return 0;
    }
    switch (kind) {
        case kKind720_50:
        case kKind720_60:
            if (width == 640) w->halfSize = 1;
            if (w->halfSize) w->PutMacroblock = PutHD720Half;
            if (width == 1440 || width == 720) w->FlushRows = FlushRowsScale2To3;
            break;
        case kKind1080_60:
            if (width == 960) w->halfSize = 1;
            if (w->halfSize) w->PutMacroblock = PutHD1080x60Half;
            break;
        case kKind1080_50:
            if (width == 960) w->halfSize = 1;
            if (w->halfSize) w->PutMacroblock = PutHD1080x50Half;
            break;
    }
    // Half size fills half the rows and half of each row: planes of that
    // size (a quarter of the block to allocate and clear).
    if (w->halfSize) {
        HDGeometry h = g;
        h.lumaStride = (g.lumaWidth >> 1) + 64;
        h.chromaStride = (g.chromaWidth >> 1) + 64;
        SetGeometry(w, h);
        return AllocatePlanes(w, h, g.rows >> 1) ? 1 : 0;
    }
    if (AllocatePlanes(w, g, g.rows)) return 1;
    return 0;
}

int32_t FreeFrameBuffer(DVPictureWriter* w) {
    if (w->frameBufferBlock) {
        std::free(w->frameBufferBlock);
        w->frameBufferBlock = nullptr;
    }
    w->frameBuffer = nullptr;
    w->tileFlags = nullptr;
    w->planeY = w->planeCr = w->planeCb = nullptr;
    return 0;
}

void ReleaseWorkBuffer(DVWorkBuffer* buffer) {
    if (!buffer) return;
    std::free(buffer->block);
    *buffer = DVWorkBuffer{};
}

void Release(DVPictureWriter* w) {
    if (!w) return;
    std::free(w->frameBufferBlock);
    std::free(w);
}

void FillGapsHD(DVPictureWriter* w) {
    if (!w->tileFlags || !w->planeY) return;
    const int h = w->halfSize;
    const int across = w->codedLumaWidth >> 4, down = w->frameRows >> 3;
    const int lw = 16 >> h, cw = 8 >> h, th = 8 >> h;
    for (int ty = 0; ty < down; ty++)
        for (int tx = 0; tx < across; tx++) {
            // Eight written tiles at a time, the usual case.
            uint64_t eight;
            if (tx + 8 <= across) {
                std::memcpy(&eight, w->tileFlags + ty * across + tx, 8);
                if (eight == 0x0101010101010101u) {
                    tx += 7;
                    continue;
                }
            }
            if (w->tileFlags[ty * across + tx]) continue;
            for (int r = ty * th; r < (ty + 1) * th; r++) {
                std::memset(w->planeY + (size_t)r * w->lumaStride + tx * lw, 0, (size_t)lw);
                std::memset(w->planeCr + (size_t)r * w->chromaStride + tx * cw, 0, (size_t)cw);
                std::memset(w->planeCb + (size_t)r * w->chromaStride + tx * cw, 0, (size_t)cw);
            }
        }
}

void EndFrameNone(DVPictureWriter*) {}

void EndFrameFlushAll(DVPictureWriter* w) {
    if (w->FlushRows) w->FlushRows(w, 0, 0, w->frameRows >> w->halfSize);
}

}  // namespace hvdv
