// Video segment decoding: DIF block addressing, the macroblock shuffle of the
// 25 Mb/s systems, and the per-segment loop from compressed macroblocks to
// samples handed to the picture writer.
#include "decode/segments.h"

#include <array>
#include <cstddef>
#include <cstring>

#include "decode/coefficients.h"
#include "decode/decode_dsp.h"
#include "decode/idct.h"
#include "decode/segments_hd.h"
#include "decode/tables.h"
#include "writer/writer.h"

namespace hvdv {

namespace {

constexpr int kSequencesMax = 24;
constexpr int kVideoBlocksPerSequence = 135;
constexpr int kEntries = kSequencesMax * kVideoBlocksPerSequence;  // 3240
constexpr uint32_t kDifBlockBytes = 80;
constexpr uint32_t kPayloadBytes = 77;  // after the 3-byte DIF block ID

// Video DIF block v of a sequence follows the header block (if stored), two
// subcode and three VAUX blocks, and one audio block before every 15 video
// blocks.  Entries point past the 3-byte block ID.
constexpr std::array<uint32_t, kEntries> MakeOffsets(bool headers) {
    std::array<uint32_t, kEntries> t{};
    const uint32_t sequenceBytes = (headers ? 150 : 149) * kDifBlockBytes;
    const uint32_t first = headers ? 7 : 6;
    for (int e = 0; e < kEntries; e++) {
        const uint32_t s = (uint32_t)(e / kVideoBlocksPerSequence), v = (uint32_t)(e % kVideoBlocksPerSequence);
        t[e] = s * sequenceBytes + (first + v + v / 15) * kDifBlockBytes + 3;
    }
    return t;
}

// The DV shuffle: macroblock j of segment k of sequence i lies in super
// block row (i + a_j) mod n, column c_j; inside the super block (48 lines
// high) macroblock k is found by walking columns of macroblocks downwards
// and upwards in turn.
constexpr int kRowOffset[5] = {2, 6, 8, 0, 4};
constexpr int kColumn[5] = {2, 1, 3, 0, 4};

// 4:2:0: 16 x 16 macroblocks, nine columns of three per super block.
constexpr void Position420(int k, int c, int y0, uint32_t& x, uint32_t& y) {
    const int q = k / 3, t = k % 3;
    const int row = (q & 1) ? 2 - t : t;
    x = (uint32_t)(144 * c + 16 * q);
    y = (uint32_t)(y0 + 16 * row);
}

// 4:1:1: 32 x 8 macroblocks, six rows per column; the rightmost 16 columns
// of the picture hold 16 x 16 macroblocks.
constexpr void Position411(int k, int c, int y0, uint32_t& x, uint32_t& y) {
    if (c == 4) {
        if (k < 24) {
            const int q = k / 6, t = k % 6;
            x = (uint32_t)(576 + 32 * q);
            y = (uint32_t)(y0 + 8 * ((q & 1) ? 5 - t : t));
        } else {
            x = 704;
            y = (uint32_t)(y0 + 16 * (k - 24));
        }
    } else if (c == 0 || c == 2) {
        const int m0 = 9 * (c / 2);
        if (k < 24) {
            const int q = k / 6, t = k % 6;
            x = (uint32_t)(32 * (m0 + q));
            y = (uint32_t)(y0 + 8 * ((q & 1) ? 5 - t : t));
        } else {
            x = (uint32_t)(32 * (m0 + 4));
            y = (uint32_t)(y0 + 8 * (k - 24));
        }
    } else {
        // Columns 1 and 3 share a macroblock column with their left
        // neighbour: they start in its lower half.
        const int m1 = 9 * (c / 2) + 4;
        if (k < 3) {
            x = (uint32_t)(32 * m1);
            y = (uint32_t)(y0 + 24 + 8 * k);
        } else {
            const int kk = k - 3, q = kk / 6, t = kk % 6;
            x = (uint32_t)(32 * (m1 + 1 + q));
            y = (uint32_t)(y0 + 8 * ((q & 1) ? t : 5 - t));
        }
    }
}

template <int kSequences, bool k420>
constexpr std::array<uint32_t, 2 * kSequences * kVideoBlocksPerSequence> MakePositions() {
    std::array<uint32_t, 2 * kSequences * kVideoBlocksPerSequence> t{};
    for (int i = 0; i < kSequences; i++) {
        for (int k = 0; k < 27; k++) {
            for (int j = 0; j < 5; j++) {
                const int e = 5 * (27 * i + k) + j;
                const int y0 = 48 * ((i + kRowOffset[j]) % kSequences);
                uint32_t x = 0, y = 0;
                if (k420) Position420(k, kColumn[j], y0, x, y);
                else Position411(k, kColumn[j], y0, x, y);
                t[2 * e] = x;
                t[2 * e + 1] = y;
            }
        }
    }
    return t;
}

constexpr std::array<uint32_t, kEntries> kOffsetsHeaders = MakeOffsets(true);
constexpr std::array<uint32_t, kEntries> kOffsetsNoHeaders = MakeOffsets(false);
constexpr auto kPositions625_420 = MakePositions<12, true>();
constexpr auto kPositions625_411 = MakePositions<12, false>();
constexpr auto kPositions525_411 = MakePositions<10, false>();

// Exchanges the lines of the two fields: rows 0 and 1, 2 and 3, ...
inline void SwapFieldLines(uint8_t* slot) {
    for (int y = 0; y < 8; y += 2) {
        uint8_t tmp[8];
        std::memcpy(tmp, slot + 8 * y, 8);
        std::memcpy(slot + 8 * y, slot + 8 * y + 8, 8);
        std::memcpy(slot + 8 * y + 8, tmp, 8);
    }
}

// A block with only its DC coefficient (8 DC) is flat: the weight of the
// DC is 1.0 with every step shift (dequantised value 2 c0 = 16 DC), and
// every other term of both transform passes is zero, so each sample is
// (16 DC + 128 * 32 + 16) >> 5, clamped.  The same holds at half size in
// 8-8 mode; 2-4-8 half size has a rounding term of its own and is not
// shortcut.
inline uint8_t FlatSample(int16_t c0) {
    const int v = (2 * c0 + 4112) >> 5;
    return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
}

}  // namespace

const uint32_t* MacroblockTable(int frameKind) {
    switch (frameKind) {
    case 0x00: return kPositions625_420.data();
    case 0x02: return kPositions625_411.data();
    case 0x03: return kPositions525_411.data();
    default: return nullptr;
    }
}

const uint32_t* BlockOffsetTable(int headerBlocks) {
    return headerBlocks ? kOffsetsHeaders.data() : kOffsetsNoHeaders.data();
}

void DecodeSegments(DVSegmentJob* job) {
    if (IsSegmentKindHD((int)(job->frameType & 0xFF))) return DecodeSegmentsHD(job);
    DVMacroblockState states[kMacroblocksPerSegment];
    for (DVMacroblockState& s : states) InitMacroblockState(&s, 6);
    if (job->firstSegment >= job->endSegment) return;

    alignas(16) DVMacroblock samples;
    // Zero-padded copies of macroblocks near the end of the frame buffer,
    // where the reader's look-ahead would leave it.
    alignas(16) uint8_t padded[kMacroblocksPerSegment][kPayloadBytes + kOverRead];

    const uint32_t* const offsets = job->blockOffsets;
    const uint32_t* const positions = job->macroblockTable;
    const uint8_t* const frame = job->frame;
    const size_t frameSize = job->frameSize;
    const bool half = job->halfSize != 0;
    const bool swapFields = !half && (job->decodeFlags & 0x1u);
    const bool singlePass = (job->decodeFlags & 0x2u) != 0;
    const DVIdctKernel kernel = half ? job->dsp->idct.half : job->dsp->idct.full;
    DVPictureWriter* const writer = job->writer;
    int damaged = 0;

    for (int g = job->firstSegment; g < job->endSegment; g++) {
        for (int j = 0; j < kMacroblocksPerSegment; j++) {
            const int e = 5 * g + j;
            const size_t payloadOffset = offsets[e];
            const uint32_t x = positions[2 * e], y = positions[2 * e + 1];
            DVMacroblockState& mb = states[j];
            if (payloadOffset < 3 || payloadOffset - 3 + kDifBlockBytes > frameSize) {
                // Not in the buffer: decoded as a flat block, counted damaged.
                mb.data = nullptr;
                mb.x = x;
                mb.y = y;
                mb.sta = 0;
                mb.qno = 0;
                mb.missing = 1;
                damaged++;
                continue;
            }
            const uint8_t* payload = frame + payloadOffset;
            if (payloadOffset + kPayloadBytes + kOverRead > frameSize) {
                std::memcpy(padded[j], payload, kPayloadBytes);
                std::memset(padded[j] + kPayloadBytes, 0, kOverRead);
                payload = padded[j];
            }
            BeginMacroblock(&mb, payload, j, x, y);
            damaged += mb.sta & 1;
        }

        if (half) DecodeCoefficientsHalf(states);
        else if (singlePass) DecodeCoefficientsSinglePass(states);
        else DecodeCoefficients(states);

        for (int j = 0; j < kMacroblocksPerSegment; j++) {
            DVMacroblockState& mb = states[j];
            for (int b = 0; b < mb.blockCount; b++) {
                const DVBlockState& blk = mb.blocks[b];
                if (blk.last == 0 && !(half && blk.mode)) {
                    std::memset(samples.slot[b], FlatSample(blk.coefficients[0]), 64);
                    continue;
                }
                const DVDequant d = SelectDequant(blk.classNumber, blk.mode, mb.qno);
                kernel(samples.slot[b], blk.coefficients, d.weights, d.shift, blk.mode);
                if (swapFields) SwapFieldLines(samples.slot[b]);
            }
            writer->PutMacroblock(writer, job->jobIndex, (int)mb.x, (int)mb.y, &samples);
        }
    }
    job->damagedCount += damaged;
}

}  // namespace hvdv
