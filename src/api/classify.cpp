// Frame classification from the header DIF block and the VAUX packs of the
// first DIF sequence, with a fall-back on the buffer size.
//
// DV frame sizes: a DIF sequence is 150 DIF blocks of 80 bytes (12000 bytes)
// when its header block is stored, 149 blocks (11920 bytes) when it is not.
// A 25 Mb/s frame has 10 sequences at 525/60 (120000 or 119200 bytes) and 12
// at 625/50 (144000 or 143040 bytes); 50 Mb/s frames carry two such DIF
// channels, 1080-line frames four and 720-line frames two.
#include "api/classify.h"

namespace hvdv {

namespace {

// VAUX pack offsets from "base" (80 when the header block is stored, 0 when
// not).  The three VAUX DIF blocks of a sequence follow the header and the
// two subcode blocks and hold 15 packs of 5 bytes each after their 3 ID
// bytes; pack 39, the VAUX source pack, is the tenth pack of the third VAUX
// block: 80 + 320 + 3 + 9 x 5 = 448 = 80 + 368.
constexpr uint32_t kSourcePack = 368;         // 0x60 pack header
constexpr uint32_t kSourcePackPC3 = 371;      // 50/60 bit and STYPE
constexpr uint32_t kControlPack = 373;        // 0x61 pack header
constexpr uint32_t kControlPackPC2 = 375;     // DISP
constexpr uint32_t kControlPackPC3 = 376;     // BCSYS

// Sizes at which a 525/60 system is believed when the header's DSF bit and
// the source pack's 50/60 bit disagree: one 25 Mb/s 525/60 frame with and
// without header blocks, and two of them (50 Mb/s).
constexpr uint32_t kSizes525[] = {120000, 119200, 240000, 238400};

// Reads bytes of the caller's buffer; a byte at or beyond the end is absent.
class FrameBytes {
public:
    FrameBytes(const uint8_t* frame, uint32_t size) : frame_(frame), size_(size) {}
    bool Has(uint32_t offset) const { return offset < size_; }
    // -1 for an absent byte, so it never equals a pack header or ID value.
    int At(uint32_t offset) const { return offset < size_ ? frame_[offset] : -1; }
    // A pack is there when its header byte has the pack's type and its four
    // data bytes follow inside the buffer.
    bool HasPack(uint32_t offset, int type) const { return Has(offset + 4) && At(offset) == type; }

private:
    const uint8_t* frame_;
    uint32_t size_;
};

uint32_t ClassifyFromSize(uint32_t frameSize, uint32_t height) {
    uint32_t type = 0;
    if (frameSize % 119200 == 0) type |= kFrame525;
    if (frameSize % 120000 == 0) type |= kFrame525 | kFrameHeaders;
    if (frameSize % 144000 == 0) type |= kFrameHeaders;

    const uint32_t unit = (type & kFrame525) ? 120000 : 144000;
    switch (frameSize / unit) {
        case 1:
            if (type & kFrame525) type |= kFrame525 | kFrame411;
            break;
        case 2:
            type |= kFrame422;
            if (height == 720) type |= kFrameHD720;
            break;
        case 4: type |= kFrame422 | kFrameHD1080; break;
        default: break;
    }
    return type;
}

}  // namespace

uint32_t ClassifyFrame(const uint8_t* frame, uint32_t frameSize, uint32_t height) {
    const FrameBytes bytes(frame, frameSize);

    // ID byte 0 of a DIF block holds the section type in bits 7-5 (0 header,
    // 1 subcode, 2 VAUX, 3 audio, 4 video) over a 1 in bit 4.  Bits 6-4 equal
    // to 001 are taken as the header block (ID 0x1F); 0x3F, a subcode block,
    // means the frame was stored without header blocks.  Anything else is
    // read with the header-block layout and an unknown system.
    const int id = bytes.At(0);
    int dsf = -1;  // -1: unknown
    bool aptAllOne = false;
    uint32_t flags = kFrameHeaders;
    uint32_t base = 80;
    if (id >= 0 && ((id >> 4) & 7) == 1) {
        // Header DIF block: DSF in byte 3, APT and AP1-AP3 in bytes 4-7.
        // The packs lie well past these bytes, so whenever the packs are
        // read these bytes are present; an absent byte counts as 0.
        dsf = bytes.Has(3) ? (bytes.At(3) >> 7) & 1 : 0;
        aptAllOne = true;
        for (uint32_t i = 4; i < 8; ++i)
            if (!bytes.Has(i) || (bytes.At(i) & 7) != 1) aptAllOne = false;
    } else if (id == 0x3F) {
        flags = 0;
        base = 0;
    }

    if (!bytes.HasPack(base + kSourcePack, 0x60) || !bytes.HasPack(base + kControlPack, 0x61))
        return ClassifyFromSize(frameSize, height);

    // Both packs lie whole inside the buffer, and so does every byte read
    // below.
    const int stypeByte = bytes.At(base + kSourcePackPC3);
    const int f50 = (stypeByte >> 5) & 1;
    const int stype = stypeByte & 0x1F;

    bool is525;
    if (dsf < 0) {
        is525 = f50 == 0;
    } else if (dsf == f50) {
        is525 = dsf == 0;
    } else {
        // The header and the source pack disagree: trust a size that only a
        // 525/60 frame has.
        is525 = false;
        for (uint32_t size : kSizes525)
            if (frameSize == size) is525 = true;
    }
    uint32_t type = flags;
    if (is525) type |= kFrame525;

    if (stype == 4)
        type |= kFrame422;
    else if (aptAllOne || is525)
        type |= kFrame411;

    // Full-format wide screen: DISP 2 with BCSYS 0 (16:9), and DISP 7 or 6
    // with BCSYS 1 (16:9 and 14:9 of the second display-select system).
    const int disp = bytes.At(base + kControlPackPC2) & 7;
    const int bcsys = bytes.At(base + kControlPackPC3) & 3;
    if ((disp == 7 && bcsys == 1) || (disp == 2 && bcsys == 0) || (disp == 6 && bcsys == 1))
        type |= kFrameWide;
    return type;
}

}  // namespace hvdv
