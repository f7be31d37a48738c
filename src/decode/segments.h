// Video segment decoding: compressed DIF blocks to decoded macroblocks handed
// to a sink (the picture writer).
#pragma once
#include <cstdint>

#include "decode/decode_dsp.h"
#include "format/macroblock.h"
#include "format/profile.h"

namespace hvdv {

// Where decoded macroblocks go.  x, y: the macroblock's top-left luma
// sample in full-frame coordinates (also at half size).  The sink is done
// with samples when Put returns.
struct DVMacroblockSink {
    void (*Put)(void* target, int threadIndex, int x, int y, const DVMacroblock* samples);
    void* target;
    // May be null.  At full size: true with *planes set when the
    // macroblock at x, y is to be written into the sink's planes instead of
    // handed to Put.
    bool (*Planes)(void* target, int x, int y, DVMacroblockPlanes* planes);
};

// The video DIF blocks of a frame placed by block ID whose ID (channel,
// sequence, block number) repeats the ID of a block before it in the
// buffer; bit 135 q + v for video block v of buffer sequence slot q.  Every
// ID names one place, so a repeated ID names a place already taken.
enum : uint32_t { kMaxVideoBlocks = 4 * 12 * 135 };
struct DVRepeatedBlocks {
    uint32_t bits[(kMaxVideoBlocks + 31) / 32];
    bool Has(uint32_t b) const { return (bits[b / 32] >> (b % 32)) & 1; }
};

// Reads the IDs of every video block of the frame in buffer order (kinds
// placed by block ID) and marks the repeated ones, so that every place is
// written once, by one thread, whatever the frame holds.
void FindRepeatedBlocks(const DVProfile& profile, const uint8_t* frame, uint32_t frameSize,
                        bool headerBlocks, DVRepeatedBlocks* repeated);

// What the decoder found in one video DIF block of the buffer: the record of
// buffer block slot * 135 + v.  x, y: the macroblock's top-left luma sample,
// 0xFFFF when the block names no place of the picture.
enum : uint8_t {
    kMbError = 1,      // STA marks its data in error (odd STA)
    kMbMissing = 2,    // the block lies outside the buffer
    kMbBadId = 4,      // its ID names no video place of the kind, or a place taken
    kMbFilled = 8,     // drawn flat by the decoder
    kMbUntouched = 16, // not drawn at all
};
struct DVMacroblockDamage {
    uint16_t x, y;
    uint8_t sta;
    uint8_t flags;
    uint8_t sequence;  // buffer sequence slot
    uint8_t reserved;
};

// One job's run of video segments.  Segment g is video segment g % 27 of
// DIF sequence slot g / 27 of the buffer (channel after channel).
struct DVSegmentRun {
    const DVProfile* profile;
    const uint8_t* frame;
    uint32_t frameSize;     // bytes of frame that may be read; blocks beyond are not read
    bool headerBlocks;      // sequences of 150 blocks (else 149)
    bool half;              // 4 x 4 samples a block
    uint32_t decodeFlags;   // the caller's decode flags
    const DVDecodeDsp* dsp; // the decoder's transform and dequantisation kernels
    const DVRepeatedBlocks* repeated;  // kinds placed by block ID: from FindRepeatedBlocks
    DVMacroblockSink sink;
    DVMacroblockDamage* damage;  // null, or kMaxVideoBlocks records to fill
    bool keepDamaged;       // damaged macroblocks are not handed to the sink
    int threadIndex;        // passed to the sink
    int firstSegment, endSegment;
    // Null: the run is segments [firstSegment, endSegment) of the buffer.
    // Else the run is entries [firstSegment, endSegment) of this order of
    // the buffer's segments (how jobs share a frame).
    const uint16_t* order;
};

// Decodes the run and hands every macroblock to the sink.  Shuffled kinds
// (25 Mb/s) place each macroblock by its place in the buffer: one that lies
// outside the buffer is put flat.  The other kinds place each macroblock
// from its own DIF block ID: a block whose ID is not a video block of the
// kind, or repeats an earlier block's (run.repeated), is not decoded, and
// blocks of sequences that carry no video in the kind are skipped.  Returns the number of damaged macroblocks: those whose
// STA marks an error, those outside the buffer, and blocks with unusable
// IDs.  With keepDamaged, macroblocks in error, missing or with unusable
// IDs never reach the sink.
int DecodeSegments(const DVSegmentRun& run);

}  // namespace hvdv
