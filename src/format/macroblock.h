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

// Where a high-definition macroblock goes in 4:2:2 planes that the decoder
// may write into itself: the top-left sample of its 16 x 16 luma and of
// its 8 x 16 Cb and Cr, and the planes' row pitches.
struct DVMacroblockPlanes {
    uint8_t* luma;
    uint8_t* cb;
    uint8_t* cr;
    ptrdiff_t lumaPitch, chromaPitch;
};

}  // namespace hvdv
