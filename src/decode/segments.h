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
};

// Where each video DIF block of a frame placed by block ID goes: x | y << 16
// of its macroblock, or one of the codes below; entry 135 q + v for video
// block v of buffer sequence slot q.
enum : uint32_t {
    kPlaceDamaged = 0xFFFFFFFFu,  // outside the buffer, or an ID that names no free place
    kPlaceSpare = 0xFFFFFFFEu,    // a sequence that carries no video in this kind
    kMaxVideoBlocks = 4 * 12 * 135,
};
struct DVBlockPlaces {
    uint32_t place[kMaxVideoBlocks];
};

// Reads the IDs of every video block of the frame (kinds placed by block ID)
// in buffer order.  A block whose ID names the place of a block before it
// is damaged, so that every place is written once, by one thread, whatever
// the frame holds.
void LocateBlocks(const DVProfile& profile, const uint8_t* frame, uint32_t frameSize,
                  bool headerBlocks, DVBlockPlaces* places);

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
    const DVBlockPlaces* places;  // kinds placed by block ID: from LocateBlocks
    DVMacroblockSink sink;
    int threadIndex;        // passed to the sink
    int firstSegment, endSegment;
};

// Decodes the run and hands every macroblock to the sink.  Shuffled kinds
// (25 Mb/s) place each macroblock by its place in the buffer: one that lies
// outside the buffer is put flat.  The other kinds place each macroblock
// from its own DIF block ID (run.places): a block whose ID is not a video
// block of the kind, or names a place already taken, is not decoded, and
// blocks of sequences that carry no video in the kind are skipped.  Returns the number of damaged macroblocks: those whose
// STA marks an error, those outside the buffer, and blocks with unusable
// IDs.
int DecodeSegments(const DVSegmentRun& run);

}  // namespace hvdv
