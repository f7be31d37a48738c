// The closed-caption pack (VAUX 0x65) of one DV frame: the two line-21
// bytes of each field, voted across the copies of the frame's DIF sequences
// (the first DIF channel's at 50 Mb/s and in high definition).  Reads
// nothing outside the buffer and allocates nothing.
#pragma once
#include <cstdint>

#include "format/profile.h"

namespace hvdv {

// One field's pair: PC1 and PC2 of the pack for field 1, PC3 and PC4 for
// field 2, as stored (bit 7 is the odd-parity bit of each byte).
struct DVCaptionField {
    uint8_t bytes[2];
    int copies;       // copies read
    int disagreeing;  // copies that differ from the value taken
};

struct DVFrameCaptions {
    bool present;             // at least one 0x65 pack was read
    DVCaptionField field[2];
    uint32_t parityErrors;    // bit 2 f + b: byte b of field f has even parity
};

// True when the byte has odd parity (the line-21 rule).
inline bool CaptionParityOk(uint8_t byte) {
    int ones = 0;
    for (int b = byte; b; b >>= 1) ones += b & 1;
    return ones & 1;
}

// Reads the frame's caption packs; false when it carries none.
bool ReadFrameCaptions(const uint8_t* frame, uint32_t frameSize, const DVProfile& profile, bool headerBlocks,
                       DVFrameCaptions* out);

}  // namespace hvdv
