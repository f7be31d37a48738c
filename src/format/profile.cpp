// The profile table and the rules that find a frame's profile.
//
// DV frame sizes: a DIF sequence is 150 DIF blocks of 80 bytes (12000 bytes)
// when its header block is stored, 149 blocks (11920 bytes) when it is not.
// A 25 Mb/s frame has 10 sequences at 525/60 (120000 or 119200 bytes) and 12
// at 625/50 (144000 or 143040 bytes); 50 Mb/s frames carry two such DIF
// channels, 1080-line frames four and 720-line frames two.
#include "format/profile.h"

#include <array>

namespace hvdv {

namespace {

constexpr int kNtsc = 1001;

// kind, 525, hd, chroma, placement, channels, sequences, frame bytes, coded
// width and height, display width, blocks, segments, video macroblocks,
// picture rate.  720-line frames at 50 pictures a second keep sequences 10
// and 11 empty; 1080-line frames at 50 fields keep sequence 11 of channels
// 1-3 empty.
constexpr DVProfile kProfiles[] = {
    {kKind625_420, false, false, DVChroma::k420, DVPlacement::kShuffle, 1, 12, 144000, 720, 576, 720,
     6, 324, 1620, 25, 1},
    {kKind625_411, false, false, DVChroma::k411, DVPlacement::kShuffle, 1, 12, 144000, 720, 576, 720,
     6, 324, 1620, 25, 1},
    {kKind525_411, true, false, DVChroma::k411, DVPlacement::kShuffle, 1, 10, 120000, 720, 480, 720,
     6, 270, 1350, 30000, kNtsc},
    {kKind625_422, false, false, DVChroma::k422, DVPlacement::kBlockId, 2, 12, 288000, 720, 576, 720,
     6, 648, 3240, 25, 1},
    {kKind525_422, true, false, DVChroma::k422, DVPlacement::kBlockId, 2, 10, 240000, 720, 480, 720,
     6, 540, 2700, 30000, kNtsc},
    {kKind720_50, false, true, DVChroma::k422, DVPlacement::kBlockId, 2, 12, 288000, 960, 720, 1280,
     8, 648, 2700, 50, 1},
    {kKind720_60, true, true, DVChroma::k422, DVPlacement::kBlockId, 2, 10, 240000, 960, 720, 1280,
     8, 540, 2700, 60000, kNtsc},
    {kKind1080_50, false, true, DVChroma::k422, DVPlacement::kBlockId, 4, 12, 576000, 1440, 1080,
     1920, 8, 1296, 6075, 25, 1},
    {kKind1080_60, true, true, DVChroma::k422, DVPlacement::kBlockId, 4, 10, 480000, 1280, 1080,
     1920, 8, 1080, 5400, 30000, kNtsc},
};

// VAUX pack offsets from "base" (80 when the header block is stored, 0 when
// not).  The three VAUX DIF blocks of a sequence follow the header and the
// two subcode blocks and hold 15 packs of 5 bytes each after their 3 ID
// bytes; pack 39, the VAUX source pack, is the tenth pack of the third VAUX
// block: 80 + 320 + 3 + 9 x 5 = 448 = 80 + 368.
constexpr uint32_t kSourcePack = 368;   // 0x60 pack header
constexpr uint32_t kControlPack = 373;  // 0x61 pack header

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

    const uint32_t unit = (type & kFrame525) ? kChannelBytes525 : kChannelBytes625;
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

// The 25 Mb/s shuffle: macroblock j of segment k of sequence i lies in
// super block row (i + a_j) mod n, column c_j; inside the super block (48
// lines high) macroblock k is found by walking columns of macroblocks
// downwards and upwards in turn.
constexpr int kRowOffset[5] = {2, 6, 8, 0, 4};
constexpr int kColumn[5] = {2, 1, 3, 0, 4};

// 4:2:0: 16 x 16 macroblocks, nine columns of three per super block.
constexpr void Position420(int k, int c, int y0, int& x, int& y) {
    const int q = k / 3, t = k % 3;
    const int row = (q & 1) ? 2 - t : t;
    x = 144 * c + 16 * q;
    y = y0 + 16 * row;
}

// 4:1:1: 32 x 8 macroblocks, six rows per column; the rightmost 16 columns
// of the picture hold 16 x 16 macroblocks.
constexpr void Position411(int k, int c, int y0, int& x, int& y) {
    if (c == 4) {
        if (k < 24) {
            const int q = k / 6, t = k % 6;
            x = 576 + 32 * q;
            y = y0 + 8 * ((q & 1) ? 5 - t : t);
        } else {
            x = 704;
            y = y0 + 16 * (k - 24);
        }
    } else if (c == 0 || c == 2) {
        const int m0 = 9 * (c / 2);
        if (k < 24) {
            const int q = k / 6, t = k % 6;
            x = 32 * (m0 + q);
            y = y0 + 8 * ((q & 1) ? 5 - t : t);
        } else {
            x = 32 * (m0 + 4);
            y = y0 + 8 * (k - 24);
        }
    } else {
        // Columns 1 and 3 share a macroblock column with their left
        // neighbour: they start in its lower half.
        const int m1 = 9 * (c / 2) + 4;
        if (k < 3) {
            x = 32 * m1;
            y = y0 + 24 + 8 * k;
        } else {
            const int kk = k - 3, q = kk / 6, t = kk % 6;
            x = 32 * (m1 + 1 + q);
            y = y0 + 8 * ((q & 1) ? t : 5 - t);
        }
    }
}

// (x, y) per macroblock of the buffer, in DIF order: sequence, segment,
// macroblock.
template <int kSequences, bool k420>
constexpr std::array<uint16_t, 2 * kSequences * 135> MakeShuffle() {
    std::array<uint16_t, 2 * kSequences * 135> t{};
    for (int i = 0; i < kSequences; i++) {
        for (int k = 0; k < 27; k++) {
            for (int j = 0; j < 5; j++) {
                const int e = 5 * (27 * i + k) + j;
                const int y0 = 48 * ((i + kRowOffset[j]) % kSequences);
                int x = 0, y = 0;
                if (k420) Position420(k, kColumn[j], y0, x, y);
                else Position411(k, kColumn[j], y0, x, y);
                t[2 * e] = (uint16_t)x;
                t[2 * e + 1] = (uint16_t)y;
            }
        }
    }
    return t;
}

constexpr auto kShuffle625_420 = MakeShuffle<12, true>();
constexpr auto kShuffle625_411 = MakeShuffle<12, false>();
constexpr auto kShuffle525_411 = MakeShuffle<10, false>();

}  // namespace

const uint16_t* ShufflePositions(const DVProfile& p) {
    switch (p.kind) {
        case kKind625_420: return kShuffle625_420.data();
        case kKind625_411: return kShuffle625_411.data();
        case kKind525_411: return kShuffle525_411.data();
        default: return nullptr;
    }
}

namespace {

bool PositionShuffled(const DVProfile& p, int s, int j, int m, int* x, int* y) {
    const uint16_t* t = ShufflePositions(p);
    const int e = 5 * (27 * s + j) + m;
    *x = t[2 * e];
    *y = t[2 * e + 1];
    return true;
}

// 50 Mb/s and high definition.  As at 25 Mb/s, the five macroblocks of a
// video segment come from five places spread across the picture (so that a
// damaged segment does not wipe out one area), and consecutive segments walk
// down and across columns of macroblocks.  Each system has its own walk:
//   - 50 Mb/s: 16 x 8 macroblocks in columns of three; the two channels
//     interleave bands of three macroblock rows.
//   - 1080 lines: 16 x 16 macroblocks; segments are numbered across the
//     whole frame (B) and spread over 10 (60-field) or 11 (50-field) bands
//     of six macroblock rows, channels 1 and 3 taking the right half of a
//     band's columns and channels 2 and 3 the odd rows.  The 60-field
//     picture is 1280 wide, so the walk's 90 columns overhang by 10; the
//     overhang is folded back into the top rows, the bottom rows and a last
//     strip of 32 x 8 macroblocks.  The 50-field picture keeps a spare
//     sequence in channel 0 for its first row and that strip.
//   - 720 lines: 16 x 16 macroblocks in bands of four and a half rows.
//
// Per macroblock m of a segment: band offset, and the first column of its
// part of the picture in the 90-, 60- and 45-column walks.
constexpr int kBandOffset[5] = {2, 6, 8, 0, 4};
constexpr int kColumn90[5] = {36, 18, 54, 0, 72};
constexpr int kColumn60[5] = {24, 12, 36, 0, 48};
constexpr int kColumn45[5] = {18, 9, 27, 0, 36};
// Row within a column of three for segment j: down, then up.
constexpr int kSerpent[6] = {0, 1, 2, 2, 1, 0};

bool Position50(int sequences, int c, int s, int j, int m, int* x, int* y) {
    if (c > 1) return false;
    *x = 16 * (kColumn45[m] + j / 3);
    *y = 8 * (kSerpent[j % 6] + 3 * (2 * ((s + kBandOffset[m]) % sequences) + c));
    return true;
}

bool Position1080x60(int c, int s, int j, int m, int* x, int* y) {
    const int B = (10 * c + s) * 27 + j;
    const int r = (4 * c + s / 5 + 2 * B + kBandOffset[m]) % 10;
    const int k = (B / 5) % 27;
    int col = kColumn90[m] + 9 * (c & 1) + k % 9;
    int row = 2 * (3 * r + k / 9) + (c >> 1) + 4;
    if (col >= 80) {
        // Columns 80-89 are folded: rows 4-35 into the top four rows, rows
        // 36-59 below row 63, rows 60-63 into the bottom strip.
        const int d = col - 80;
        if (row < 36) {
            col = 10 * ((row - 4) / 4) + d;
            row = (row - 4) % 4;
        } else if (row < 60) {
            col = 10 * ((row - 36) / 3) + d;
            row = 64 + (row - 36) % 3;
        } else {
            *x = 320 * (row - 60) + 32 * d;
            *y = 1072;
            return true;
        }
    }
    *x = 16 * col;
    *y = 16 * row;
    return true;
}

bool Position1080x50(int c, int s, int j, int m, int* x, int* y) {
    if (s == 11) {
        // The spare sequence of channel 0: row 0 and the bottom strip.
        const int t = 27 * m + j;
        if (t < 90) {
            *x = 16 * t;
            *y = 0;
        } else {
            *x = 32 * (t - 90);
            *y = 1072;
        }
        return true;
    }
    const int B = (11 * c + s) * 27 + j;
    const int r = (4 * c + B + kBandOffset[m]) % 11;
    const int k = (B / 11) % 27;
    *x = 16 * (kColumn90[m] + 9 * (c & 1) + k % 9);
    *y = 16 * (2 * (3 * r + k / 9) + (c >> 1) + 1);
    return true;
}

bool Position720(int c, int s, int j, int m, int* x, int* y) {
    const int B = (10 * c + s) * 27 + j;
    const int r = (4 * c + s / 5 + 2 * B + kBandOffset[m]) % 10;
    const int k = (B / 5) % 27 + 3 * (r & 1);
    *x = 16 * (kColumn60[m] + k % 6 + 6 * (c & 1));
    *y = 16 * ((9 * r / 2 + k / 6 + 45 * (c >> 1)) % 45);
    return true;
}

}  // namespace

const DVProfile* ProfileForKind(int kind) {
    for (const DVProfile& p : kProfiles)
        if (p.kind == kind) return &p;
    return nullptr;
}

const DVProfile* ProfileFromStype(int stype, bool is525, bool aptAllOne) {
    switch (stype) {
        case kStype25:
            return ProfileForKind(is525 ? kKind525_411 : aptAllOne ? kKind625_411 : kKind625_420);
        case kStype50: return ProfileForKind(is525 ? kKind525_422 : kKind625_422);
        case kStype1080: return ProfileForKind(is525 ? kKind1080_60 : kKind1080_50);
        case kStype720: return ProfileForKind(is525 ? kKind720_60 : kKind720_50);
        default: return nullptr;
    }
}

DVFrameHeader ReadFrameHeader(const uint8_t* frame, uint32_t frameSize) {
    const FrameBytes bytes(frame, frameSize);
    DVFrameHeader h{};
    h.headerBlocks = true;
    h.dsf = -1;
    // ID byte 0 of a DIF block holds the section type in bits 7-5 (0 header,
    // 1 subcode, 2 VAUX, 3 audio, 4 video) over a 1 in bit 4.  Bits 6-4 equal
    // to 001 are taken as the header block (ID 0x1F); 0x3F, a subcode block,
    // means the frame was stored without header blocks.  Anything else is
    // read with the header-block layout and an unknown system.
    const int id = bytes.At(0);
    if (id >= 0 && ((id >> 4) & 7) == 1) {
        // Header DIF block: DSF in byte 3, APT and AP1-AP3 in bytes 4-7; an
        // absent byte counts as 0.
        h.dsf = bytes.Has(3) ? (bytes.At(3) >> 7) & 1 : 0;
        h.aptAllOne = true;
        for (uint32_t i = 4; i < 8; ++i)
            if (!bytes.Has(i) || (bytes.At(i) & 7) != 1) h.aptAllOne = false;
    } else if (id == 0x3F) {
        h.headerBlocks = false;
    }
    const uint32_t base = h.headerBlocks ? (uint32_t)kDifBlockBytes : 0u;
    h.sourcePack = bytes.HasPack(base + kSourcePack, 0x60);
    h.controlPack = bytes.HasPack(base + kControlPack, 0x61);
    if (h.sourcePack) {
        const int pc3 = bytes.At(base + kSourcePack + 3);
        h.f50 = (pc3 >> 5) & 1;
        h.stype = pc3 & 0x1F;
    }
    if (h.controlPack) {
        h.disp = bytes.At(base + kControlPack + 2) & 7;
        h.bcsys = bytes.At(base + kControlPack + 3) & 3;
    }
    return h;
}

uint32_t ClassifyFrame(const uint8_t* frame, uint32_t frameSize, uint32_t height) {
    const DVFrameHeader h = ReadFrameHeader(frame, frameSize);
    if (!h.sourcePack || !h.controlPack) return ClassifyFromSize(frameSize, height);

    bool is525;
    if (h.dsf < 0) {
        is525 = h.f50 == 0;
    } else if (h.dsf == h.f50) {
        is525 = h.dsf == 0;
    } else {
        // The header and the source pack disagree: trust a size that only a
        // 525/60 frame has.
        is525 = false;
        for (uint32_t size : kSizes525)
            if (frameSize == size) is525 = true;
    }
    uint32_t type = h.headerBlocks ? (uint32_t)kFrameHeaders : 0u;
    if (is525) type |= kFrame525;
    if (h.stype == kStype50)
        type |= kFrame422;
    else if (h.aptAllOne || is525)
        type |= kFrame411;
    if (IsWideScreen(h.disp, h.bcsys)) type |= kFrameWide;
    return type;
}

const DVProfile* FrameProfileForDecoding(const uint8_t* frame, uint32_t frameSize, uint32_t height,
                                         uint32_t* frameType, bool* forced525) {
    uint32_t type = ClassifyFrame(frame, frameSize, height);
    // The 25 Mb/s rules read high-definition STYPE values like 25 Mb/s ones;
    // the source pack (when it lies whole inside the buffer) picks the real
    // kind.  1035-line frames have no macroblock layout here.
    const DVFrameHeader h = ReadFrameHeader(frame, frameSize);
    if (h.sourcePack) {
        const uint32_t system = type & kFrame525;
        if (h.stype == kStype1080) type = (type & ~0xFFu) | kFrameHD1080 | kFrame422 | system;
        else if (h.stype == kStype720) type = (type & ~0xFFu) | kFrameHD720 | kFrame422 | system;
        else if (h.stype == kStype1035) return nullptr;
    }
    *forced525 = false;
    if (Is525Height(height) && !(type & kFrame525)) {
        // The caller asked for a 525-line picture: whatever the frame says,
        // it is decoded as 525/60 4:1:1.
        *forced525 = true;
        type = (type & ~0xFCu) | (uint32_t)kKind525_411;
    }
    // A 525/60 frame of no known layout (its size is no multiple of a
    // 25 Mb/s frame and it has no packs) is decoded as 4:1:1, the only
    // 25 Mb/s layout of that system.
    if ((type & 0xFF) == kKind525Open) type = (type & ~0xFFu) | kKind525_411;
    *frameType = type;
    return ProfileForKind((int)(type & 0xFF));
}

bool SequenceCarriesVideo(const DVProfile& p, int c, int s) {
    if (p.kind == kKind1080_50) return !(s == 11 && c != 0);
    if (p.kind == kKind720_50) return s < 10;
    return true;
}

bool MacroblockPosition(const DVProfile& p, int c, int s, int j, int m, int* x, int* y) {
    if (c < 0 || c >= (p.placement == DVPlacement::kShuffle ? 1 : 4) || s < 0 || s >= p.sequences ||
        j < 0 || j >= (int)kSegmentsPerSequence || m < 0 || m > 4 || !SequenceCarriesVideo(p, c, s))
        return false;
    switch (p.kind) {
        case kKind625_420:
        case kKind625_411:
        case kKind525_411: return PositionShuffled(p, s, j, m, x, y);
        case kKind625_422:
        case kKind525_422: return Position50(p.sequences, c, s, j, m, x, y);
        case kKind720_50:
        case kKind720_60: return Position720(c, s, j, m, x, y);
        case kKind1080_50: return Position1080x50(c, s, j, m, x, y);
        case kKind1080_60: return Position1080x60(c, s, j, m, x, y);
        default: return false;
    }
}

namespace {

struct PlaceTable {
    uint16_t entry[4 * 16 * kVideoBlocksPerSequence];
    explicit PlaceTable(int kind) {
        const DVProfile& p = *ProfileForKind(kind);
        for (int c = 0; c < 4; c++)
            for (int s = 0; s < 16; s++)
                for (int b = 0; b < (int)kVideoBlocksPerSequence; b++) {
                    int x = 0, y = 0;
                    uint16_t& e = entry[(16 * c + s) * kVideoBlocksPerSequence + b];
                    e = kNoPlace;
                    // Every place of these kinds is on a 16 x 8 grid within
                    // 255 steps: 1920 x 1080 at most.
                    if (MacroblockPosition(p, c, s, b / 5, b % 5, &x, &y))
                        e = (uint16_t)((x / 16) << 8 | (y / 8));
                }
    }
};

}  // namespace

const uint16_t* PlacesByBlockId(const DVProfile& p) {
    switch (p.kind) {
        case kKind625_422: { static const PlaceTable t(kKind625_422); return t.entry; }
        case kKind525_422: { static const PlaceTable t(kKind525_422); return t.entry; }
        case kKind720_50: { static const PlaceTable t(kKind720_50); return t.entry; }
        case kKind720_60: { static const PlaceTable t(kKind720_60); return t.entry; }
        case kKind1080_50: { static const PlaceTable t(kKind1080_50); return t.entry; }
        case kKind1080_60: { static const PlaceTable t(kKind1080_60); return t.entry; }
        default: return nullptr;
    }
}

}  // namespace hvdv
