// Frame classification: which kind of DV frame a buffer holds.
#pragma once
#include <cstdint>

namespace hvdv {

// DVFrameType bits.  Bits 0-7 form the frame kind.
enum : uint32_t {
    kFrame525 = 0x1,         // 525/60 system (clear: 625/50)
    kFrame411 = 0x2,         // 4:1:1 chroma
    kFrame422 = 0x4,         // 4:2:2 chroma (50 Mb/s and high definition)
    kFrameHD720 = 0x10,      // 720-line high definition
    kFrameHD1080 = 0x20,     // 1080-line high definition
    kFrameWide = 0x1000,     // coded full-format wide screen
    kFrameHeaders = 0x4000,  // DIF sequences begin with a header DIF block
};

// Frame kinds (bits 0-7 of a DVFrameType).
enum : int {
    kKind625_420 = 0x00,
    kKind525Open = 0x01,
    kKind625_411 = 0x02,
    kKind525_411 = 0x03,
    kKind625_422 = 0x04,
    kKind525_422 = 0x05,
    kKind720_144 = 0x14,
    kKind720_120 = 0x15,
    kKind1080_144 = 0x24,
    kKind1080_120 = 0x25,
};

// Classifies the frame from its header DIF block and VAUX packs, or from
// frameSize and the caller's picture height when the packs are absent.  A
// byte at or beyond frameSize counts as absent: nothing outside the buffer
// is read.
uint32_t ClassifyFrame(const uint8_t* frame, uint32_t frameSize, uint32_t height);

// The frame kind that decoding uses.  ClassifyFrame reads the high-definition
// STYPE values of the VAUX source pack like 25 Mb/s ones; this reads the
// source pack again (when it lies whole inside the buffer) and turns type
// into 1080 lines for STYPE 0x14 and 720 lines for STYPE 0x18, keeping the
// system bit and bits 8-31.  Returns false for a kind whose macroblocks
// cannot be placed (STYPE 0x15, 1035 lines): such a frame is not decoded.
bool DecodingFrameType(const uint8_t* frame, uint32_t frameSize, uint32_t* type);

}  // namespace hvdv
