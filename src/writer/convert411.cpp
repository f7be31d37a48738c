// Full-size 4:1:1 frames: the whole-frame conversion of the macroblock frame
// buffer at the end of the frame.  4:1:1 carries one chroma sample per four
// pixels; working on complete rows lets each sample be upsampled with its
// neighbours across macroblock borders.
#include "writer/convert_rows.h"
#include "writer/writer_ops.h"

namespace hvdv {

void ConvertRunPartial(DVPixelKernelSet* k, DVPixelKernel run, uint8_t* dst, int count) {
    alignas(16) uint8_t row[kMaxRunPixels * 4];
    if (count > kMaxRunPixels || k->bytesPerPixel > 4) return;
    k->pixelCount = (count + 15) & ~15;
    k->dst = row;
    run(k);
    std::memcpy(dst, row, (size_t)count * (size_t)k->bytesPerPixel);
}

namespace {

enum { kRowPixels = 720, kWorkingLuma = kEntriesPerRow * 32 };

// Touches one byte per cache line of a macroblock row before its 8 rows are
// converted: each picture row reads 23 pieces 384 bytes apart.
inline void WarmMacroblockRow(const uint8_t* p) {
#if defined(__GNUC__)
    for (int i = 0; i < kMacroblockRowBytes; i += 64) __builtin_prefetch(p + i);
#else
    (void)p;
#endif
}

// Converts picture rows firstRow .. firstRow + rowCount - 1 with kernel set
// t.  Every row depends only on its own entry row of the frame buffer, so
// bands of rows may be converted by different threads in any order.
template <bool k444>
void ConvertRows411(DVPictureWriter* w, int t, int firstRow, int rowCount) {
    const DVWriterDsp& dsp = *w->dsp;
    DVPixelKernelSet* k = w->kernelSets[t];
    // The 4:4:4 working chroma rows are written from index -1 on (the first
    // entry's leftmost extrapolated pixel); each has 16 bytes in front.
    alignas(16) uint8_t luma[kWorkingLuma];
    alignas(16) uint8_t cbRow[16 + kWorkingLuma];
    alignas(16) uint8_t crRow[16 + kWorkingLuma];
    alignas(8) uint8_t cbMargin[8] = {0};
    alignas(8) uint8_t crMargin[8] = {0};
    uint8_t* cb = cbRow + 16;
    uint8_t* cr = crRow + 16;
    k->srcY = luma;
    k->srcCb = cb;
    k->srcCr = cr;
    const DVPixelKernel run = k444 ? k->convertRun444 : k->convertRun422;
    const int count = w->width < kRowPixels ? w->width : kRowPixels;
    const int frameRows = 8 * (w->height / 8);
    if (!w->frameBuffer || !run) return;
    const int first = firstRow < 0 ? 0 : firstRow;
    const int end = firstRow + rowCount < w->height ? firstRow + rowCount : w->height;
    for (int pictureRow = first; pictureRow < end; pictureRow++) {
        const int fy = pictureRow - w->rowOffset;
        if (fy < 0 || fy >= frameRows) continue;
        const uint8_t* mbRow = w->frameBuffer + (size_t)(fy / 8) * kMacroblockRowBytes;
        if (fy % 8 == 0 || pictureRow == first) WarmMacroblockRow(mbRow);
        const uint8_t* e = mbRow + (fy % 8) * kEntryRowBytes;
        if (!k444) {
            dsp.entryRow411To422(e, luma, cb, cr);
        } else {
            // Sample 0 of the row is its own left neighbour.
            cbMargin[7] = e[32];
            crMargin[7] = e[40];
            for (int i = 0; i < kEntriesPerRow; i++, e += kEntryBytes) {
                std::memcpy(luma + 32 * i, e, 32);
                // The next entry's chroma; for the right-edge entry these
                // are bytes past the picture's last sample, which only
                // reach pixels beyond 719.
                const uint8_t* prevCb = i == 0 ? cbMargin : e - kEntryBytes + 32;
                const uint8_t* prevCr = i == 0 ? crMargin : e - kEntryBytes + 40;
                dsp.chroma411To444(e + 32, prevCb, e + kEntryBytes + 32, cb + 32 * i);
                dsp.chroma411To444(e + 40, prevCr, e + kEntryBytes + 40, cr + 32 * i);
            }
        }
        ConvertRun(k, run, PictureRow(w->picture, pictureRow, w->pitch), count);
    }
}

}  // namespace

// Frame rows 0 .. frameRows - 1 all lie in the picture (BeginFrame411).
void FlushRows411Packed(DVPictureWriter* w, int t, int firstRow, int rowCount) {
    const DVRowJoinKernel join = w->kernelSets[t]->joinRow411;
    uint8_t* const picture = w->picture;
    const int32_t pitch = w->pitch, rowOffset = w->rowOffset, frameRows = w->frameRows;
    const int first = firstRow < rowOffset ? rowOffset : firstRow;
    const int end = firstRow + rowCount < rowOffset + frameRows ? firstRow + rowCount : rowOffset + frameRows;
    for (int pictureRow = first; pictureRow < end; pictureRow++) join(PictureRow(picture, pictureRow, pitch));
}

void EndFrame411Packed(DVPictureWriter* w) { FlushRows411Packed(w, 0, 0, w->height); }

void EndFrame411To444(DVPictureWriter* w) { ConvertRows411<true>(w, 0, 0, w->height); }
void EndFrame411To422(DVPictureWriter* w) { ConvertRows411<false>(w, 0, 0, w->height); }
void FlushRows411To444(DVPictureWriter* w, int t, int firstRow, int rowCount) {
    ConvertRows411<true>(w, t, firstRow, rowCount);
}
void FlushRows411To422(DVPictureWriter* w, int t, int firstRow, int rowCount) {
    ConvertRows411<false>(w, t, firstRow, rowCount);
}

}  // namespace hvdv
