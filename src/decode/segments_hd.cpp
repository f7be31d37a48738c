// Video segment decoding for 50 Mb/s 4:2:2 and DVCPRO HD frames.
//
// 50 Mb/s macroblocks keep the 25 Mb/s block layout (four 14-byte and two
// 10-byte areas) and dequantisation; only the left and right luminance
// blocks (areas 0 and 2) and the two chroma blocks (areas 4 Cr and 5 Cb)
// are pictures: areas 1 and 3 are dummies that an encoder leaves at DC
// -256 with an immediate end of block.  They are still parsed, because
// their spare bits take part in the redistribution.
//
// High-definition macroblocks have eight areas (Y0 Y1 Y2 Y3 Cr0 Cr1 Cb0
// Cb1), always the 8-8 transform, and a dequantisation of their own.  The M
// bit of Y0 chooses the macroblock's arrangement: frame (Y0 Y1 over Y2 Y3,
// Cr0/Cb0 the upper chroma rows) or field (Y0 Y1 the even lines of the
// macroblock, Y2 Y3 the odd ones; Cr0/Cb0 even, Cr1/Cb1 odd).  Field
// macroblocks are rearranged into the frame order the picture writers take.
#include "decode/segments_hd.h"

#include <cstddef>
#include <cstring>

#include "api/classify.h"
#include "decode/coefficients.h"
#include "decode/decode_dsp.h"
#include "decode/dequant_hd.h"
#include "decode/idct.h"
#include "decode/positions_hd.h"
#include "decode/tables.h"
#include "threads/cpu.h"
#include "writer/writer.h"

namespace hvdv {

alignas(16) const uint16_t kUnitWeights[64] = {
    8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192,
    8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192,
    8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192,
    8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192, 8192};

namespace {

constexpr uint32_t kDifBlockBytes = 80;
constexpr uint32_t kPayloadBytes = 77;  // after the 3-byte DIF block ID

// The weighted AC terms, then the DC (stored as 8 DC) doubled into the
// transform's DC units, unweighted.
inline void Dequantise(DVDequantHDKernel kernel, int16_t* out, const int16_t* coefficients,
                       const DVDequantHD* m) {
    kernel(out, coefficients, m);
    out[0] = (int16_t)(uint16_t)(2u * (uint16_t)coefficients[0]);
}

// Exchanges the lines of the two fields: rows 0 and 1, 2 and 3, ...
inline void SwapFieldLines(uint8_t* slot) {
    for (int y = 0; y < 8; y += 2) {
        uint8_t tmp[8];
        std::memcpy(tmp, slot + 8 * y, 8);
        std::memcpy(slot + 8 * y, slot + 8 * y + 8, 8);
        std::memcpy(slot + 8 * y + 8, tmp, 8);
    }
}

inline bool OnlyDc(const int16_t* c) {
    uint64_t word[16];
    std::memcpy(word, c, sizeof word);
    uint64_t any = (uint64_t)(uint16_t)c[1] | (uint16_t)c[2] | (uint16_t)c[3];
    for (int i = 1; i < 16; i++) any |= word[i];
    return any == 0;
}

// A DC-only block is flat: (16 DC + 128 * 32 + 16) >> 5, clamped (the
// kernels' result for it at both sizes in the 8-8 mode).
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

struct SegmentContext {
    const DVBlockLayout* layout;
    bool hd, lines720, half, swapFields;
    DVCoefficientPasses passes;
    DVIdctKernel full, halfKernel;
    const DVDequantHD* dequant[2];  // luma, chroma tables of the picture height
    DVDequantHDKernel dequantKernel;
};

// Samples of a 50 Mb/s macroblock: slots 0, 2 (luma), 4 (Cr), 5 (Cb).
void Samples50(const SegmentContext& ctx, const DVMacroblockState& mb, DVMacroblock* out) {
    static const int kShown[4] = {0, 2, 4, 5};
    const DVIdctKernel kernel = ctx.half ? ctx.halfKernel : ctx.full;
    for (int b : kShown) {
        const DVBlockState& blk = mb.blocks[b];
        if ((blk.last == 0 || OnlyDc(blk.coefficients)) && !(ctx.half && blk.mode)) {
            std::memset(out->slot[b], FlatSample(blk.coefficients[0]), 64);
            continue;
        }
        const DVDequant d = SelectDequant(blk.classNumber, blk.mode, mb.qno);
        kernel(out->slot[b], blk.coefficients, d.weights, d.shift, blk.mode);
        if (ctx.swapFields) SwapFieldLines(out->slot[b]);
    }
}

// Samples of a high-definition macroblock in frame arrangement.
void SamplesHD(const SegmentContext& ctx, const DVMacroblockState& mb, DVMacroblock* out) {
    const bool field = mb.blocks[0].mode != 0;
    // Half size of a field macroblock: full-size samples, rearranged, then
    // halved, so that the picture is the same as the full one scaled down.
    const bool halveAfter = ctx.half && field;
    const DVIdctKernel kernel = ctx.half && !field ? ctx.halfKernel : ctx.full;
    alignas(16) DVMacroblock decoded;
    DVMacroblock* target = field ? &decoded : out;
    alignas(16) int16_t D[64];
    for (int b = 0; b < 8; b++) {
        const DVBlockState& blk = mb.blocks[b];
        // Nothing stored past the DC: a flat block without looking at the
        // coefficients.
        if (blk.last == 0 || OnlyDc(blk.coefficients)) {
            std::memset(target->slot[b], FlatSample(blk.coefficients[0]), 64);
            continue;
        }
        const DVDequantHD* m = ctx.dequant[b >= 4] + 4 * (mb.qno & 15) + (blk.classNumber & 3);
        Dequantise(ctx.dequantKernel, D, blk.coefficients, m);
        kernel(target->slot[b], D, kUnitWeights, 0, 0);
    }
    if (!field) {
        if (ctx.swapFields)
            for (int b = 0; b < 8; b++) SwapFieldLines(out->slot[b]);
        return;
    }
    if (!halveAfter) {
        FieldToFrame(decoded, out);
        if (ctx.swapFields)
            for (int b = 0; b < 8; b++) SwapFieldLines(out->slot[b]);
        return;
    }
    alignas(16) DVMacroblock frame;
    FieldToFrame(decoded, &frame);
    for (int b = 0; b < 8; b++) HalveSlot(frame.slot[b], out->slot[b]);
}

}  // namespace

void DequantiseHD(int16_t* out, const int16_t* coefficients, int qno, int classNumber, bool lines720,
                  bool chroma) {
    DVDequantHDKernel kernel;
    InitDequantHDDsp(&kernel, CpuFlags());
    Dequantise(kernel, out, coefficients, &DequantTableHD(qno, classNumber, lines720, chroma));
}

bool IsSegmentKindHD(int frameKind) { return VideoGeometry(frameKind) != nullptr; }

int SegmentSlotsHD(int frameKind) {
    const DVVideoGeometry* g = VideoGeometry(frameKind);
    return g ? g->channels * g->sequences * 27 : 0;
}

void DecodeSegmentsHD(DVSegmentJob* job) {
    const int frameKind = (int)(job->frameType & 0xFF);
    const DVVideoGeometry* geometry = VideoGeometry(frameKind);
    if (!geometry || job->firstSegment >= job->endSegment) return;

    SegmentContext ctx;
    ctx.hd = geometry->blocksPerMacroblock == 8;
    ctx.layout = ctx.hd ? &kLayoutHD : &kLayout25;
    ctx.lines720 = geometry->codedHeight == 720;
    ctx.half = job->halfSize != 0;
    ctx.swapFields = !ctx.half && (job->decodeFlags & 0x1u);
    ctx.passes = ctx.half ? kPassesHalf : (job->decodeFlags & 0x2u) ? kPassesSingle : kPassesThree;
    ctx.full = job->dsp->idct.full;
    ctx.halfKernel = job->dsp->idct.half;
    ctx.dequant[0] = DequantTablesHD(ctx.lines720, false);
    ctx.dequant[1] = DequantTablesHD(ctx.lines720, true);
    ctx.dequantKernel = job->dsp->dequantHD;

    const bool headers = (job->frameType & kFrameHeaders) != 0;
    const size_t sequenceBytes = (headers ? 150 : 149) * (size_t)kDifBlockBytes;
    const uint32_t firstVideoBlock = headers ? 7 : 6;
    const int slots = geometry->channels * geometry->sequences * 27;
    const uint8_t* const frame = job->frame;
    const size_t frameSize = job->frameSize;
    DVPictureWriter* const writer = job->writer;

    DVMacroblockState states[kMacroblocksPerSegment];
    for (DVMacroblockState& s : states) InitMacroblockState(&s, ctx.layout->blockCount);
    alignas(16) uint8_t padded[kMacroblocksPerSegment][kPayloadBytes + kOverRead];
    alignas(16) DVMacroblock samples;
    bool shown[kMacroblocksPerSegment];
    int damaged = 0;

    const int end = job->endSegment < slots ? job->endSegment : slots;
    for (int g = job->firstSegment < 0 ? 0 : job->firstSegment; g < end; g++) {
        const size_t sequenceSlot = (size_t)(g / 27);
        const uint32_t j = (uint32_t)(g % 27);
        bool any = false;
        for (uint32_t m = 0; m < kMacroblocksPerSegment; m++) {
            DVMacroblockState& mb = states[m];
            shown[m] = false;
            mb.missing = 1;
            mb.data = nullptr;
            mb.sta = 0;
            mb.qno = 0;
            const uint32_t v = 5 * j + m;
            const size_t blockOffset =
                sequenceSlot * sequenceBytes + (firstVideoBlock + v + v / 15) * (size_t)kDifBlockBytes;
            if (blockOffset + kDifBlockBytes > frameSize) {
                damaged++;
                continue;
            }
            const uint8_t* id = frame + blockOffset;
            // DIF block ID: section type in bits 7-5 of byte 0 (4 = video);
            // DIF sequence in bits 7-4 of byte 1, FSC bit 3, FSP bit 2
            // (channel FSC + 2 (1 - FSP)); block number in byte 2.
            const int c = ((id[1] >> 3) & 1) + 2 * (1 - ((id[1] >> 2) & 1));
            const int s = id[1] >> 4;
            const int dbn = id[2];
            int x = 0, y = 0;
            if ((id[0] >> 5) != 4 || dbn >= 135 ||
                !MacroblockPosition(frameKind, c, s, dbn / 5, dbn % 5, &x, &y)) {
                // Sequences that carry no video in this kind are skipped;
                // anything else is a damaged block.
                const bool spare = (id[0] >> 5) == 4 && dbn < 135 && s < geometry->sequences &&
                                   !SequenceCarriesVideo(frameKind, c, s);
                if (!spare) damaged++;
                continue;
            }
            const uint8_t* payload = id + 3;
            if (blockOffset + 3 + kPayloadBytes + kOverRead > frameSize) {
                std::memcpy(padded[m], payload, kPayloadBytes);
                std::memset(padded[m] + kPayloadBytes, 0, kOverRead);
                payload = padded[m];
            }
            BeginMacroblock(&mb, payload, (int)m, (uint32_t)x, (uint32_t)y);
            damaged += mb.sta & 1;
            shown[m] = true;
            any = true;
        }
        if (!any) continue;

        DecodeCoefficientsWith(states, *ctx.layout, ctx.passes);

        for (int m = 0; m < kMacroblocksPerSegment; m++) {
            if (!shown[m]) continue;
            const DVMacroblockState& mb = states[m];
            if (ctx.hd) SamplesHD(ctx, mb, &samples);
            else Samples50(ctx, mb, &samples);
            writer->PutMacroblock(writer, job->jobIndex, (int)mb.x, (int)mb.y, &samples);
        }
    }
    job->damagedCount += damaged;
}

}  // namespace hvdv
