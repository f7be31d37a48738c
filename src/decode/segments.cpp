// Video segment decoding, one loop for every kind: DIF block addressing, the
// macroblock's place in the picture, coefficient decoding of the five
// macroblocks of a segment, and their samples handed to the sink.
//
// 25 and 50 Mb/s macroblocks have six block areas (four 14-byte and two
// 10-byte) and the DV dequantisation.  At 50 Mb/s only the left and right
// luminance blocks (areas 0 and 2) and the two chroma blocks (areas 4 Cr and
// 5 Cb) are pictures: areas 1 and 3 are dummies that an encoder leaves at DC
// -256 with an immediate end of block.  They are still parsed, because their
// spare bits take part in the redistribution.
//
// High-definition macroblocks have eight areas (Y0 Y1 Y2 Y3 Cr0 Cr1 Cb0
// Cb1), always the 8-8 transform, and a dequantisation of their own.  The M
// bit of Y0 chooses the macroblock's arrangement: frame (Y0 Y1 over Y2 Y3,
// Cr0/Cb0 the upper chroma rows) or field (Y0 Y1 the even lines of the
// macroblock, Y2 Y3 the odd ones; Cr0/Cb0 even, Cr1/Cb1 odd).  Field
// macroblocks are rearranged into the frame order the picture writers take.
#include "decode/segments.h"

#include <cstddef>
#include <cstring>

#include "decode/coefficients.h"
#include "decode/tables.h"
#include "hv_dec_dv.h"

namespace hvdv {

namespace {

// Exchanges the lines of the two fields: rows 0 and 1, 2 and 3, ...
inline void SwapFieldLines(uint8_t* slot) {
    for (int y = 0; y < 8; y += 2) {
        uint8_t tmp[8];
        std::memcpy(tmp, slot + 8 * y, 8);
        std::memcpy(slot + 8 * y, slot + 8 * y + 8, 8);
        std::memcpy(slot + 8 * y + 8, tmp, 8);
    }
}

// A block with only its DC coefficient (stored as 8 DC) is flat: the weight
// of the DC is 1.0 with every step shift (dequantised value 2 c0 = 16 DC),
// and every other term of both transform passes is zero, so each sample is
// (16 DC + 128 * 32 + 16) >> 5, clamped.  The same holds at half size in
// 8-8 mode; 2-4-8 half size has a rounding term of its own and is not
// shortcut.
inline uint8_t FlatSample(int16_t c0) {
    const int v = (2 * c0 + 4112) >> 5;
    return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Field arrangement to frame arrangement.  Blocks a (even lines) and b (odd
// lines) of a field macroblock become the upper and lower frame slots:
// frame row r of the upper slot is line r / 2 of a (r even) or b (r odd);
// the lower slot continues with lines 4 .. 7.
inline void Interleave(const uint8_t* a, const uint8_t* b, uint8_t* upper, uint8_t* lower) {
    for (int r = 0; r < 8; r++) {
        const uint8_t* src = (r & 1) ? b : a;
        std::memcpy(upper + 8 * r, src + 8 * (r >> 1), 8);
        std::memcpy(lower + 8 * r, src + 8 * (4 + (r >> 1)), 8);
    }
}

// Slot order of the frame arrangement from a field macroblock: (Y0, Y2) give
// slots 0 and 2, (Y1, Y3) slots 1 and 3, (Cr0, Cr1) 4 and 5, (Cb0, Cb1) 6
// and 7.  The bottom strip of a 1080-line picture uses the same slots (the
// writer puts slot 2 beside slot 1 there).
void FieldToFrame(const DVMacroblock& field, DVMacroblock* frame) {
    Interleave(field.slot[0], field.slot[2], frame->slot[0], frame->slot[2]);
    Interleave(field.slot[1], field.slot[3], frame->slot[1], frame->slot[3]);
    Interleave(field.slot[4], field.slot[5], frame->slot[4], frame->slot[5]);
    Interleave(field.slot[6], field.slot[7], frame->slot[6], frame->slot[7]);
}

// 8 x 8 to the half-size slot format (4 rows of 4 at bytes 0, 8, 16, 24):
// the rounded mean of each 2 x 2 square.
void HalveSlot(const uint8_t* in, uint8_t* out) {
    uint8_t tmp[32];
    for (int r = 0; r < 4; r++)
        for (int x = 0; x < 4; x++) {
            const uint8_t* p = in + 16 * r + 2 * x;
            tmp[8 * r + x] = (uint8_t)((p[0] + p[1] + p[8] + p[9] + 2) >> 2);
        }
    for (int r = 0; r < 4; r++) std::memcpy(out + 8 * r, tmp + 8 * r, 4);
}

// What stays the same for every segment of a run.
struct SegmentPlan {
    const DVBlockLayout* layout;
    DVCoefficientPasses passes;
    bool half, swapFields;
    // Standard definition: the areas that are pictures.
    const int* shownBlocks;
    int shownCount;
    // High definition: luma and chroma multipliers of the picture height.
    const DVDequantHD* dequant[2];
};

// Samples of a 25 or 50 Mb/s macroblock.
void SamplesSD(const SegmentPlan& plan, const DVSegmentRun& run, const DVMacroblockState& mb, DVMacroblock* out) {
    const DVIdctKernels& k = run.dsp->idct;
    const DVIdctKernel kernel = plan.half ? k.half : k.full;
    const DVIdctPairKernel pair = plan.half ? k.halfPair : k.fullPair;
    const DVIdctBlocksKernel blocks = plan.half ? k.halfBlocks : k.fullBlocks;
    // The blocks with AC terms, in order, with their dequantisation; flat
    // ones are filled at once.  Then all in one call, or two at a time and
    // alone, as the kernels present allow.
    uint8_t* slots[6];
    const int16_t* coefficients[6];
    const uint16_t* weights[6];
    int shifts[6], modes[6];
    int n = 0;
    for (int i = 0; i < plan.shownCount; i++) {
        const int b = plan.shownBlocks[i];
        const DVBlockState& blk = mb.blocks[b];
        if (!(plan.half && blk.mode) && blk.last == 0) {
            std::memset(out->slot[b], FlatSample(blk.coefficients[0]), 64);
            continue;
        }
        const DVDequant d = SelectDequant(blk.classNumber, blk.mode, mb.qno);
        slots[n] = out->slot[b];
        coefficients[n] = blk.coefficients;
        weights[n] = d.weights;
        shifts[n] = d.shift;
        modes[n] = blk.mode;
        n++;
    }
    int i = 0;
    if (blocks) {
        if (n) blocks(slots, coefficients, weights, shifts, modes, n);
        i = n;
    }
    if (pair)
        for (; i + 1 < n; i += 2)
            pair(slots[i], slots[i + 1], coefficients[i], coefficients[i + 1], weights[i], weights[i + 1], shifts[i],
                 shifts[i + 1], modes[i], modes[i + 1]);
    for (; i < n; i++) kernel(slots[i], coefficients[i], weights[i], shifts[i], modes[i]);
    if (plan.swapFields)
        for (int i = 0; i < plan.shownCount; i++) SwapFieldLines(out->slot[plan.shownBlocks[i]]);
}

// Samples of a high-definition macroblock in frame arrangement.
void SamplesHD(const SegmentPlan& plan, const DVSegmentRun& run, const DVMacroblockState& mb, DVMacroblock* out) {
    const bool field = mb.blocks[0].mode != 0;
    // Half size of a field macroblock: full-size samples, rearranged, then
    // halved, so that the picture is the same as the full one scaled down.
    const bool halveAfter = plan.half && field;
    const DVIdctHDKernels& k = run.dsp->idctHD;
    const DVIdctHDKernel kernel = plan.half && !field ? k.half : k.full;
    alignas(16) DVMacroblock decoded;
    DVMacroblock* target = field ? &decoded : out;
    // Blocks go through one call of the blocks kernel, or the pair kernel
    // two by two, when there are such.
    const DVIdctHDPairKernel pair = kernel == k.full ? k.fullPair : k.halfPair;
    const DVIdctHDBlocksKernel blocks = kernel == k.full ? k.fullBlocks : k.halfBlocks;
    // The multiplier tables of the macroblock's QNO, luma and chroma; a
    // block's own is one of them plus its class.
    const int q = 4 * (mb.qno & 15);
    const DVDequantHD* const tables[2] = {plan.dequant[0] + q, plan.dequant[1] + q};
    // The blocks with AC terms, in order, with their multipliers; flat ones
    // are filled at once.
    const DVDequantHD* multipliers[8];
    uint8_t* slots[8];
    const int16_t* coefficients[8];
    int n = 0;
    for (int b = 0; b < 8; b++) {
        multipliers[n] = tables[b >> 2] + (mb.blocks[b].classNumber & 3);
        slots[n] = target->slot[b];
        coefficients[n] = mb.coefficientArea[b];
        if (mb.blocks[b].last == 0)
            std::memset(target->slot[b], FlatSample(mb.coefficientArea[b][0]), 64);
        else
            n++;
    }
    int i = 0;
    if (blocks) {
        if (n) blocks(slots, coefficients, multipliers, n);
        i = n;
    }
    if (pair)
        for (; i + 1 < n; i += 2)
            pair(slots[i], slots[i + 1], coefficients[i], coefficients[i + 1], multipliers[i], multipliers[i + 1]);
    for (; i < n; i++) kernel(slots[i], coefficients[i], multipliers[i]);
    if (field && !halveAfter) {
        FieldToFrame(decoded, out);
    } else if (halveAfter) {
        alignas(16) DVMacroblock frame;
        FieldToFrame(decoded, &frame);
        for (int b = 0; b < 8; b++) HalveSlot(frame.slot[b], out->slot[b]);
        return;
    }
    if (plan.swapFields)
        for (int b = 0; b < 8; b++) SwapFieldLines(out->slot[b]);
}

// 8 rows of 8 samples of value v, pitch apart.
inline void FillBlock(uint8_t* out, ptrdiff_t pitch, uint8_t v) {
    uint8_t row[8];
    std::memset(row, v, 8);
    for (int r = 0; r < 8; r++) std::memcpy(out + r * pitch, row, 8);
}

// Samples of a 25 or 50 Mb/s macroblock at full size written straight into
// the places of t.
void SamplesSDIntoPlanes(const SegmentPlan& plan, const DVSegmentRun& run, const DVMacroblockState& mb,
                         const DVMacroblockPlanes& t) {
    uint8_t* out[6];
    ptrdiff_t pitch[6];
    const int16_t* coefficients[6];
    const uint16_t* weights[6];
    int shifts[6], modes[6];
    int n = 0;
    for (int i = 0; i < plan.shownCount; i++) {
        const int b = plan.shownBlocks[i];
        const DVBlockState& blk = mb.blocks[b];
        if (blk.last == 0) {
            FillBlock(t.block[b], t.pitch[b], FlatSample(blk.coefficients[0]));
            continue;
        }
        const DVDequant d = SelectDequant(blk.classNumber, blk.mode, mb.qno);
        out[n] = t.block[b];
        pitch[n] = t.pitch[b];
        coefficients[n] = blk.coefficients;
        weights[n] = d.weights;
        shifts[n] = d.shift;
        modes[n] = blk.mode;
        n++;
    }
    if (n) run.dsp->idct.fullStrided(out, pitch, coefficients, weights, shifts, modes, n);
}

// Samples of a high-definition macroblock at full size written straight
// into the places of t (frame arrangement).  A field macroblock's first
// blocks (Y0 Y1, Cr0, Cb0) take the even lines of the frame's upper
// blocks' places and the lower ones below, the others the odd lines.
void SamplesHDIntoPlanes(const SegmentPlan& plan, const DVSegmentRun& run, const DVMacroblockState& mb,
                         const DVMacroblockPlanes& t) {
    // A frame macroblock reads t as it is, a value at a time: the writer
    // has just stored it that way, and a wider load across two of those
    // stores would wait for them to reach the cache.
    uint8_t* fieldPlaces[8];
    ptrdiff_t fieldPitches[8];
    uint8_t* const* places = t.block;
    const ptrdiff_t* pitches = t.pitch;
    if (mb.blocks[0].mode != 0) {
        static const int kUpper[8] = {0, 1, 0, 1, 4, 4, 6, 6};
        for (int b = 0; b < 8; b++) {
            const int u = kUpper[b];
            const bool odd = b == 2 || b == 3 || b == 5 || b == 7;
            fieldPlaces[b] = t.block[u] + (odd ? t.pitch[u] : 0);
            fieldPitches[b] = 2 * t.pitch[u];
        }
        places = fieldPlaces;
        pitches = fieldPitches;
    }
    const int q = 4 * (mb.qno & 15);
    const DVDequantHD* const tables[2] = {plan.dequant[0] + q, plan.dequant[1] + q};
    const DVDequantHD* multipliers[8];
    uint8_t* out[8];
    ptrdiff_t pitch[8];
    const int16_t* coefficients[8];
    int n = 0;
    for (int b = 0; b < 8; b++) {
        if (mb.blocks[b].last == 0) {
            FillBlock(places[b], pitches[b], FlatSample(mb.coefficientArea[b][0]));
            continue;
        }
        multipliers[n] = tables[b >> 2] + (mb.blocks[b].classNumber & 3);
        out[n] = places[b];
        pitch[n] = pitches[b];
        coefficients[n] = mb.coefficientArea[b];
        n++;
    }
    if (n) run.dsp->idctHD.fullStrided(out, pitch, coefficients, multipliers, n);
}

// Not in the buffer, or in a block that is no video block of the kind.
inline void MarkMissing(DVMacroblockState& mb, int x, int y) {
    mb.data = nullptr;
    mb.x = (uint32_t)x;
    mb.y = (uint32_t)y;
    mb.sta = 0;
    mb.qno = 0;
    mb.missing = 1;
}

}  // namespace

void FindRepeatedBlocks(const DVProfile& p, const uint8_t* frame, uint32_t frameSize, bool headerBlocks,
                        DVRepeatedBlocks* repeated) {
    // One bit per video block ID: byte 1 (sequence, FSC, FSP; bits 1-0 are
    // reserved and name nothing) and byte 2 (block number).  A 720-line
    // frame holds one picture per pair of channels, so channels c and c + 2
    // (FSP set or clear) name the same places.
    const uint8_t idMask = p.codedHeight == 720 ? 0xF8 : 0xFC;
    uint32_t seen[(1u << 16) / 32] = {};
    const uint32_t blocks = (uint32_t)p.segments * kMacroblocksPerSegment;
    std::memset(repeated->bits, 0, sizeof repeated->bits);
    for (uint32_t b = 0; b < blocks; b++) {
        const size_t offset = VideoBlockOffset(b / kVideoBlocksPerSequence, b % kVideoBlocksPerSequence, headerBlocks);
        if (offset + kDifBlockBytes > frameSize) break;
        if ((frame[offset] >> 5) != 4) continue;  // not a video block: decoded as none
        const uint32_t id = (uint32_t)(frame[offset + 1] & idMask) << 8 | frame[offset + 2];
        if (seen[id / 32] & (1u << (id % 32))) repeated->bits[b / 32] |= 1u << (b % 32);
        seen[id / 32] |= 1u << (id % 32);
    }
}

int DecodeSegments(const DVSegmentRun& run) {
    static const int kAllSix[6] = {0, 1, 2, 3, 4, 5};
    static const int kShown50[4] = {0, 2, 4, 5};

    const DVProfile& p = *run.profile;
    const uint16_t* const shuffle = ShufflePositions(p);
    const bool shuffled = shuffle != nullptr;
    const uint16_t* const places = shuffled ? nullptr : PlacesByBlockId(p);
    SegmentPlan plan;
    plan.layout = p.blocksPerMacroblock == kLayoutHD.blockCount ? &kLayoutHD
                  : p.chroma == DVChroma::k422                  ? &kLayout50
                                                                : &kLayout25;
    plan.half = run.half;
    plan.swapFields = !run.half && (run.decodeFlags & HVDV_FLAG_SWAP_FIELDS);
    plan.passes = run.half ? kPassesHalf : (run.decodeFlags & HVDV_FLAG_SINGLE_PASS) ? kPassesSingle : kPassesThree;
    plan.shownBlocks = p.chroma == DVChroma::k422 ? kShown50 : kAllSix;
    plan.shownCount = p.chroma == DVChroma::k422 ? 4 : 6;
    plan.dequant[0] = plan.dequant[1] = nullptr;
    if (p.hd) {
        plan.dequant[0] = DequantTablesHD(p.codedHeight == 720, false);
        plan.dequant[1] = DequantTablesHD(p.codedHeight == 720, true);
    }

    // At full size macroblocks may go straight into the sink's planes (not
    // with the field swap, which a block's place and pitch do not express).
    const bool intoPlanes = !run.half && !plan.swapFields && run.sink.Planes;

    DVMacroblockState states[kMacroblocksPerSegment];
    for (DVMacroblockState& s : states) InitMacroblockState(&s, plan.layout->blockCount);
    // Zero-padded copies of macroblocks near the end of the frame buffer,
    // where the reader's look-ahead would leave it.
    alignas(16) uint8_t padded[kMacroblocksPerSegment][kDifPayloadBytes + kOverRead];
    alignas(16) DVMacroblock samples;
    bool shown[kMacroblocksPerSegment];
    int damaged = 0;

    const uint8_t* const frame = run.frame;
    const size_t frameSize = run.frameSize;
    const int first = run.firstSegment < 0 ? 0 : run.firstSegment;
    const int end = run.endSegment < p.segments ? run.endSegment : p.segments;
    DVMacroblockDamage* const damage = run.damage;
    auto note = [damage](uint32_t b, int x, int y, int sta, uint8_t flags) {
        if (!damage) return;
        DVMacroblockDamage& d = damage[b];
        d.x = (uint16_t)x;
        d.y = (uint16_t)y;
        d.sta = (uint8_t)sta;
        d.flags = flags;
        d.sequence = (uint8_t)(b / kVideoBlocksPerSequence);
        d.reserved = 0;
    };
    for (int i = first; i < end; i++) {
        const int g = run.order ? run.order[i] : i;
        const uint32_t slot = (uint32_t)g / kSegmentsPerSequence;
        const int j = g % (int)kSegmentsPerSequence;
        bool any = false;
        for (int m = 0; m < kMacroblocksPerSegment; m++) {
            DVMacroblockState& mb = states[m];
            shown[m] = false;
            const uint32_t b = slot * kVideoBlocksPerSequence + (uint32_t)(5 * j + m);
            const size_t blockOffset = VideoBlockOffset(slot, (uint32_t)(5 * j + m), run.headerBlocks);
            int x = 0, y = 0;
            if (shuffled) {
                const int e = 5 * g + m;
                x = shuffle[2 * e];
                y = shuffle[2 * e + 1];
                if (blockOffset + kDifBlockBytes > frameSize) {
                    // Its place is known: put flat (unless kept), counted damaged.
                    MarkMissing(mb, x, y);
                    shown[m] = !run.keepDamaged;
                    any |= shown[m];
                    note(b, x, y, 0, kMbMissing | (run.keepDamaged ? kMbUntouched : kMbFilled));
                    damaged++;
                    continue;
                }
            } else {
                if (blockOffset + kDifBlockBytes > frameSize || run.repeated->Has(b)) {
                    MarkMissing(mb, 0, 0);
                    note(b, 0xFFFF, 0xFFFF, 0,
                         (blockOffset + kDifBlockBytes > frameSize ? kMbMissing : kMbBadId) | kMbUntouched);
                    damaged++;
                    continue;
                }
                // DIF block ID: section type in bits 7-5 of byte 0 (4 =
                // video); DIF sequence in bits 7-4 of byte 1, FSC bit 3, FSP
                // bit 2 (channel FSC + 2 (1 - FSP)); block number in byte 2.
                const uint8_t* id = frame + blockOffset;
                const int c = ((id[1] >> 3) & 1) + 2 * (1 - ((id[1] >> 2) & 1));
                const int s = id[1] >> 4;
                const int dbn = id[2];
                const bool video = (id[0] >> 5) == 4 && dbn < (int)kVideoBlocksPerSequence;
                bool placed;
                if (places) {
                    const uint16_t e =
                        video ? places[(16 * c + s) * kVideoBlocksPerSequence + dbn] : (uint16_t)kNoPlace;
                    placed = e != kNoPlace;
                    x = 16 * (e >> 8);
                    y = 8 * (e & 0xFF);
                } else {
                    placed = video && MacroblockPosition(p, c, s, dbn / 5, dbn % 5, &x, &y);
                }
                if (!placed) {
                    // Sequences that carry no video in this kind are
                    // skipped; anything else is a damaged block.
                    MarkMissing(mb, 0, 0);
                    const bool empty = video && s < p.sequences && !SequenceCarriesVideo(p, c, s);
                    note(b, 0xFFFF, 0xFFFF, 0, empty ? 0 : kMbBadId | kMbUntouched);
                    if (!empty) damaged++;
                    continue;
                }
            }
            const uint8_t* payload = frame + blockOffset + kDifIdBytes;
            if (blockOffset + kDifIdBytes + kDifPayloadBytes + kOverRead > frameSize) {
                std::memcpy(padded[m], payload, kDifPayloadBytes);
                std::memset(padded[m] + kDifPayloadBytes, 0, kOverRead);
                payload = padded[m];
            }
            BeginMacroblock(&mb, payload, (uint32_t)x, (uint32_t)y);
            const int error = mb.sta & 1;
            damaged += error;
            // A macroblock in error is still parsed (it takes part in the
            // segment's bit redistribution) but, when kept, not drawn.
            shown[m] = !(error && run.keepDamaged);
            any |= shown[m];
            note(b, x, y, mb.sta, (uint8_t)(error ? kMbError | (shown[m] ? 0 : kMbUntouched) : 0));
        }
        if (!any) continue;

        run.dsp->coefficients(states, *plan.layout, plan.passes);

        for (int m = 0; m < kMacroblocksPerSegment; m++) {
            if (!shown[m]) continue;
            const DVMacroblockState& mb = states[m];
            if (intoPlanes) {
                DVMacroblockPlanes planes;
                if (run.sink.Planes(run.sink.target, (int)mb.x, (int)mb.y, &planes)) {
                    if (p.hd)
                        SamplesHDIntoPlanes(plan, run, mb, planes);
                    else
                        SamplesSDIntoPlanes(plan, run, mb, planes);
                    continue;
                }
            }
            if (p.hd)
                SamplesHD(plan, run, mb, &samples);
            else
                SamplesSD(plan, run, mb, &samples);
            run.sink.Put(run.sink.target, run.threadIndex, (int)mb.x, (int)mb.y, &samples);
        }
    }
    return damaged;
}

}  // namespace hvdv
