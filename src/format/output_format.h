// Output formats: the internal DVOutputFormat code of a caller's FOURCC.
#pragma once
#include <cstdint>

namespace hvdv {

// Bits 12-15: bytes per output pixel; bit 16: variant code ("YuYv", "UyVy",
// studio-range RGB).
enum DVOutputFormat : uint32_t {
    kFormatNone = 0,
    kFormatUYVY = 0x2331,
    kFormatUyVy = 0x12331,
    kFormatYUY2 = 0x2332,
    kFormatYuYv = 0x12332,
    kFormatVUYA = 0x4330,
    kFormatBGR24 = 0x3320,
    kFormatBGR24Studio = 0x13320,
    kFormatBGRA32 = 0x4323,
    kFormatBGRA32Studio = 0x14323,
    kFormatRGB565 = 0x2325,
    kFormatRGB555 = 0x2326,
};

// kFormatNone for a FOURCC the library does not produce.
DVOutputFormat OutputFormatFromFourcc(uint32_t fourcc);

}  // namespace hvdv
