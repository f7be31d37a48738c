// A decoded macroblock as handed to a picture writer.
#pragma once
#include <cstddef>
#include <cstdint>

namespace hvdv {

// Consecutive 64-byte block slots, 16-byte aligned: six for standard
// definition (Y0, Y1, Y2, Y3, Cr, Cb), eight for high definition (Y0-Y3,
// Cr upper, Cr lower, Cb upper, Cb lower).  Full size: 8 rows of 8 samples
// per slot, row j at bytes 8j..8j+7.  Half size: 4 rows of 4 samples at bytes
// 0, 8, 16 and 24 of the slot (the other bytes are undefined).
struct alignas(16) DVMacroblock {
    uint8_t slot[8][64];
};

// Where a macroblock goes in planes that the decoder may write into
// itself: for each slot of the frame arrangement above (at full size), the
// top-left sample of its 8 x 8 block and the row pitch there; null for
// the 50 Mb/s dummy slots 1 and 3.
struct DVMacroblockPlanes {
    uint8_t* block[8];
    ptrdiff_t pitch[8];
};

}  // namespace hvdv
