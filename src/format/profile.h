// The DV kinds this library knows and everything that follows from a kind:
// system, DIF channels and sequences, frame bytes, coded and display
// geometry, chroma layout, compressed block layout, macroblock placement and
// the audio block layout.  Classification, stream information, the segment
// decoder and the picture writers all ask this table instead of deriving
// those facts from header bits themselves.
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
enum DVKind : int {
    kKind625_420 = 0x00,
    kKind525Open = 0x01,   // a 525/60 frame of no known layout
    kKind625_411 = 0x02,
    kKind525_411 = 0x03,
    kKind625_422 = 0x04,   // 50 Mb/s
    kKind525_422 = 0x05,
    kKind720_50 = 0x14,    // DVCPRO HD 720p, 50 frames
    kKind720_60 = 0x15,
    kKind1080_50 = 0x24,   // DVCPRO HD 1080i, 50 fields
    kKind1080_60 = 0x25,
};

// DV block and byte geometry shared by every kind.  A DIF sequence is 150
// blocks of 80 bytes: a header block, two subcode, three VAUX, then nine
// groups of one audio block and fifteen video blocks.  A frame stored
// without its header blocks has 149 blocks a sequence.
enum : uint32_t {
    kDifBlockBytes = 80,
    kDifIdBytes = 3,
    kDifPayloadBytes = 77,            // after the 3-byte block ID
    kSequenceBytes = 150 * 80,        // 12000
    kSequenceBytesNoHeader = 149 * 80,
    kVideoBlocksPerSequence = 135,
    kSegmentsPerSequence = 27,        // five macroblocks each
    kAudioBlocksPerSequence = 9,
    kChannelBytes525 = 10 * 12000,    // one 25 Mb/s DIF channel
    kChannelBytes625 = 12 * 12000,
};

enum class DVChroma : uint8_t { k420, k411, k422 };

// How the decoder finds a macroblock's place in the picture: from the
// 25 Mb/s shuffle of its position in the buffer, or from its own DIF block
// ID (50 Mb/s and high definition, sturdier against reordered blocks).
enum class DVPlacement : uint8_t { kShuffle, kBlockId };

struct DVProfile {
    int kind;                // DVKind
    bool is525;              // 525/60 (60 fields or frames); else 625/50
    bool hd;                 // DVCPRO HD: eight-block macroblocks, BT.709
    DVChroma chroma;
    DVPlacement placement;
    int channels;            // DIF channels of one picture
    int sequences;           // DIF sequences per channel
    uint32_t frameBytes;     // one picture, header blocks stored
    int codedWidth, codedHeight;
    int displayWidth;        // width the picture is shown at (HD rows are resampled)
    int blocksPerMacroblock; // compressed block areas: 6 or 8
    int segments;            // video segments of the buffer, shared among the jobs
    int videoMacroblocks;    // macroblocks that carry picture
    int rateNumerator, rateDenominator;  // pictures per second
};

// Null for a kind without a profile (kKind525Open, unknown values).
const DVProfile* ProfileForKind(int kind);

// What the header DIF block and the VAUX source (0x60) and source control
// (0x61) packs of the first DIF sequence say.  A byte at or beyond the end
// of the buffer counts as absent: nothing outside it is read.
struct DVFrameHeader {
    bool headerBlocks;   // sequences start with a header block (else byte 0 is 0x3F)
    int dsf;             // header DSF bit: 0 525/60, 1 625/50, -1 no header block
    bool aptAllOne;      // APT and AP1-AP3 all 1 (SMPTE 314M 4:1:1 and HD)
    bool sourcePack;     // the 0x60 pack lies whole inside the buffer
    bool controlPack;    // the 0x61 pack likewise
    int f50;             // source pack 50/60 bit
    int stype;           // source pack STYPE
    int disp, bcsys;     // source control pack display format
};
DVFrameHeader ReadFrameHeader(const uint8_t* frame, uint32_t frameSize);

// Full-format wide screen from the source control pack: DISP 2 with BCSYS 0
// (16:9), DISP 7 or 6 with BCSYS 1 (16:9 and 14:9 of the second system).
inline bool IsWideScreen(int disp, int bcsys) {
    return (disp == 7 && bcsys == 1) || (disp == 2 && bcsys == 0) || (disp == 6 && bcsys == 1);
}

// STYPE values of the VAUX source pack.
enum : int {
    kStype25 = 0x00,      // 25 Mb/s
    kStype50 = 0x04,      // 50 Mb/s 4:2:2
    kStype1080 = 0x14,    // 1080 interlaced lines
    kStype1035 = 0x15,    // 1035 interlaced lines (no profile)
    kStype720 = 0x18,     // 720 progressive lines
};

// The profile of a frame of the given system whose source pack says STYPE
// (25 Mb/s: 4:1:1 in 525/60 and with APT 1, else 4:2:0).  Null for values
// without a profile.
const DVProfile* ProfileFromStype(int stype, bool is525, bool aptAllOne);

// Classifies the frame (a DVFrameType) from its header block and packs, or
// from frameSize and the caller's picture height when the packs are absent.
// The frame kind is the one the 25 Mb/s rules give: high-definition STYPE
// values are not told apart here (FrameTypeForDecoding does that).
uint32_t ClassifyFrame(const uint8_t* frame, uint32_t frameSize, uint32_t height);

// The frame type that decoding uses: ClassifyFrame, with the kind taken from
// a high-definition STYPE of the source pack, and 525/60 4:1:1 whenever the
// caller asks for a 525-line picture of a frame not classified as 525/60
// (*forced525 reports that).  Null when the kind has no profile (the frame
// is not decoded).
const DVProfile* FrameProfileForDecoding(const uint8_t* frame, uint32_t frameSize, uint32_t height,
                                         uint32_t* frameType, bool* forced525);

// Heights 240, 480 and 486 are 525-line pictures.
inline bool Is525Height(uint32_t height) { return height == 240 || height == 480 || height == 486; }

// Offset of the first byte of video DIF block v (0-134) of buffer sequence
// slot q (channel after channel), with or without header blocks.
inline uint32_t VideoBlockOffset(uint32_t q, uint32_t v, bool headerBlocks) {
    const uint32_t sequence = headerBlocks ? kSequenceBytes : kSequenceBytesNoHeader;
    return q * sequence + ((headerBlocks ? 7 : 6) + v + v / 15) * kDifBlockBytes;
}

// Offset of the first byte of audio DIF block k (0-8) of buffer sequence
// slot q: the audio blocks are blocks 6, 22, 38, ... of a sequence (one
// before every fifteen video blocks), one less without header blocks.
inline uint32_t AudioBlockOffset(uint32_t q, uint32_t k, bool headerBlocks) {
    const uint32_t sequence = headerBlocks ? kSequenceBytes : kSequenceBytesNoHeader;
    return q * sequence + ((headerBlocks ? 6 : 5) + 16 * k) * kDifBlockBytes;
}

// Top-left luma sample, in the coded frame, of macroblock m (0-4) of video
// segment j (0-26) of DIF sequence s of channel c.  For shuffled kinds the
// channel is 0 and s is the buffer sequence; for kinds placed by block ID,
// (c, s) come from the block's ID (c = FSC + 2 (1 - FSP)).  False when that
// macroblock carries no video in this kind or an index is out of range.
bool MacroblockPosition(const DVProfile& profile, int c, int s, int j, int m, int* x, int* y);

// The same for the kinds placed by block ID as a table, for the hot loop:
// entry (16 c + s) * 135 + b for the block of ID (c, s, block number b)
// holds x / 16 in its high byte and y / 8 in its low byte, or kNoPlace
// where MacroblockPosition gives none.  Built on first use; null for
// shuffled kinds.
enum : uint16_t { kNoPlace = 0xFFFF };
const uint16_t* PlacesByBlockId(const DVProfile& profile);

// The same for the shuffled kinds as a table: (x, y) of macroblock m of
// segment j of sequence s at entries 2 e and 2 e + 1, e = 5 (27 s + j) + m.
// Null for kinds placed by block ID.
const uint16_t* ShufflePositions(const DVProfile& profile);

// False for the DIF sequences a kind leaves without video: sequence 11 of
// channels 1-3 at 1080 lines and 50 fields, sequences 10 and 11 at 720 lines
// and 50 frames.
bool SequenceCarriesVideo(const DVProfile& profile, int c, int s);

}  // namespace hvdv
