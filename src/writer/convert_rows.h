// Converting one picture row from working rows, clipped to the picture.
#pragma once
#include <cstddef>
#include <cstring>

#include "kernels/kernels.h"

namespace hvdv {

enum { kMaxRunPixels = 1936 };  // longest row any writer converts, rounded up to 16

// Converts the first count pixels of the run k's sources describe into dst
// with the run kernel `run`.  The run kernels take multiples of 16 pixels:
// an odd count is converted rounded up into a private row and copied in
// part, so the sources must be readable up to the rounded count.
void ConvertRunPartial(DVPixelKernelSet* k, DVPixelKernel run, uint8_t* dst, int count);

inline void ConvertRun(DVPixelKernelSet* k, DVPixelKernel run, uint8_t* dst, int count) {
    if (count <= 0) return;
    if ((count & 15) == 0) {
        k->pixelCount = count;
        k->dst = dst;
        run(k);
        return;
    }
    ConvertRunPartial(k, run, dst, count);
}

// The picture address of row `row` counted from the picture's row 0.
inline uint8_t* PictureRow(uint8_t* picture, int row, int pitch) {
    return picture + (ptrdiff_t)row * pitch;
}

}  // namespace hvdv
