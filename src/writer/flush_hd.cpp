// High-definition band conversion: each decoding thread resamples its band
// of plane rows horizontally (3:4 or 2:3) and packs it into
// the picture.  There is no vertical scaling: picture row n comes from
// plane row n.
#include "writer/convert_rows.h"
#include "writer/writer_ops.h"

namespace hvdv {

namespace {

// The rows of a band that both the planes and the picture hold.
inline bool RowVisible(const DVPictureWriter* w, int row) {
    const int pictureRow = w->rowOffset + row;
    return row >= 0 && row < (w->frameRows >> w->halfSize) && pictureRow >= 0 &&
           pictureRow < w->height;
}

template <int kNum, int kDen>
void FlushRowsScale(DVPictureWriter* w, int t, int firstRow, int rowCount) {
    const DVWriterDsp& dsp = *w->dsp;
    const ResampleRowFn resample = kNum == 4 ? dsp.resampleRow3To4 : dsp.resampleRow2To3;
    DVPixelKernelSet* k = w->kernelSets[t];
    alignas(16) uint8_t luma[kMaxRunPixels];
    alignas(16) uint8_t cb[kMaxRunPixels / 2];
    alignas(16) uint8_t cr[kMaxRunPixels / 2];
    const int lumaIn = w->codedLumaWidth >> w->halfSize;
    const int chromaIn = w->codedChromaWidth >> w->halfSize;
    // Convert no more than the resampled row holds.
    const int lumaOut = lumaIn / kDen * kNum;
    const int count = w->width < lumaOut ? w->width : lumaOut;
    if (!w->planeY || count <= 0 || lumaOut > kMaxRunPixels - 16) return;
    // Rounding a partial count up to 16 reads working samples that no
    // resampler wrote; give them a value.
    if (count & 15) {
        std::memset(luma + lumaOut, 0, 16);
        std::memset(cb + lumaOut / 2, 0, 8);
        std::memset(cr + lumaOut / 2, 0, 8);
    }
    k->srcY = luma;
    k->srcCb = cb;
    k->srcCr = cr;
    for (int row = firstRow; row < firstRow + rowCount; row++) {
        if (!RowVisible(w, row)) continue;
        resample(w->planeY + (size_t)row * w->lumaStride, lumaIn, luma);
        resample(w->planeCb + (size_t)row * w->chromaStride, chromaIn, cb);
        resample(w->planeCr + (size_t)row * w->chromaStride, chromaIn, cr);
        ConvertRun(k, k->convertRun422, PictureRow(w->picture, w->rowOffset + row, w->pitch),
                   count);
    }
}

}  // namespace

void FlushRowsScale3To4(DVPictureWriter* w, int t, int firstRow, int rowCount) {
    FlushRowsScale<4, 3>(w, t, firstRow, rowCount);
}

void FlushRowsScale2To3(DVPictureWriter* w, int t, int firstRow, int rowCount) {
    FlushRowsScale<3, 2>(w, t, firstRow, rowCount);
}

}  // namespace hvdv
