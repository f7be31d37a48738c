// The coefficient decoder of each instruction-set level against the one for
// every processor: segments of random bytes, of codes that end every block at
// once or never, of escapes only, with random STA values and missing
// macroblocks, through all three passes, a single pass and half size, for
// every block layout.  Every field of every block state is compared.  The
// 50 Mb/s layout (the 25 Mb/s areas read in another pair order) is also
// compared with the 25 Mb/s one at every level, the plain one included.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "checkasm.h"
#include "decode/coefficients.h"
#include "decode/tables.h"

using namespace hvdv;

namespace {

enum { kPayload = 77, kStride = kPayload + kOverRead };

// Byte patterns: random; "00" codes (one coefficient each, no end of block);
// end-of-block codes only (every block finishes at once, lending all its
// bits); escapes of amplitude 255; random bytes mixed with end-of-block
// bytes, so that blocks end at every length.
uint8_t PatternByte(int pattern, checkasm::Rng& r) {
    switch (pattern) {
        case 0: return (uint8_t)r.Next();
        case 1: return (uint8_t)(r.Next() & 0x22);
        case 2: return 0x66;
        case 3: return 0xFF;
        default: return r.Next() % 3 ? (uint8_t)r.Next() : 0x66;
    }
}

void FillSegment(std::vector<uint8_t>& bytes, int pattern) {
    checkasm::Rng& r = checkasm::rng();
    for (uint8_t& b : bytes) b = PatternByte(pattern, r);
    for (int m = 0; m < kMacroblocksPerSegment; m++) {
        // STA in the high nibble: mostly 0, sometimes damaged (odd or 8).
        const int sta = r.Next() % 4 ? 0 : r.Range(0, 15);
        bytes[(size_t)m * kStride] = (uint8_t)((sta << 4) | (r.Next() & 15));
    }
}

void Decode(DVCoefficientDecoder fn, const std::vector<uint8_t>& bytes, const DVBlockLayout& layout,
            DVCoefficientPasses passes, unsigned missing, DVMacroblockState* states) {
    for (int m = 0; m < kMacroblocksPerSegment; m++) {
        InitMacroblockState(&states[m], layout.blockCount);
        // Leftovers of an earlier segment must not matter.
        for (int b = 0; b < kMaxBlocks; b++) std::memset(states[m].coefficientArea[b], 0x5A, 128);
        BeginMacroblock(&states[m], bytes.data() + (size_t)m * kStride, 0, 0);
        states[m].missing = (missing >> m) & 1;
    }
    fn(states, layout, passes);
}

// halfHD: half size of high definition, where the coefficients past index
// 31 of a frame macroblock's blocks are not compared (the decoders may leave
// them as they were).
bool SameBlocks(const char* what, const DVMacroblockState* ref, const DVMacroblockState* got, bool halfHD) {
    for (int m = 0; m < kMacroblocksPerSegment; m++) {
        const size_t bytes = halfHD && !ref[m].missing && ref[m].blocks[0].mode == 0 ? 64 : 128;
        for (int b = 0; b < ref[m].blockCount; b++) {
            const DVBlockState& x = ref[m].blocks[b];
            const DVBlockState& y = got[m].blocks[b];
            if (x.mode != y.mode || x.classNumber != y.classNumber || x.position != y.position ||
                x.last != y.last || x.leftoverCount != y.leftoverCount || x.leftoverBits != y.leftoverBits ||
                x.scan != y.scan || std::memcmp(x.coefficients, y.coefficients, bytes) != 0) {
                checkasm::Fail("%s: macroblock %d block %d differs (position %d/%d, last %d/%d)", what, m, b,
                               x.position, y.position, x.last, y.last);
                return false;
            }
        }
    }
    return true;
}

CHECKASM_TEST(coefficients) {
    InitTables();
    const DVBlockLayout* layouts[] = {&kLayout25, &kLayout50, &kLayoutHD};
    const DVCoefficientPasses passes[] = {kPassesThree, kPassesSingle, kPassesHalf};
    const char* passNames[] = {"three", "single", "half"};
    std::vector<uint8_t> bytes((size_t)kMacroblocksPerSegment * kStride);
    static DVMacroblockState ref[kMacroblocksPerSegment], got[kMacroblocksPerSegment];
    const auto& levels = checkasm::Levels();
    for (size_t li = 0; li < levels.size(); li++) {
        const DVCoefficientDecoder fn = SelectCoefficientDecoder(levels[li].flags);
        const bool plain = fn == SelectCoefficientDecoder(0);
        if (plain && li > 0) continue;
        for (int round = 0; round < 400; round++) {
            const int pattern = round % 5;
            FillSegment(bytes, pattern);
            const unsigned missing = round % 7 == 6 ? checkasm::rng().Next() & 31 : 0;
            for (const DVBlockLayout* layout : layouts) {
                for (int p = 0; p < 3; p++) {
                    // The plain decoder is the reference of the others; the
                    // 50 Mb/s pair order must give the 25 Mb/s results.
                    if (plain && layout != &kLayout50) continue;
                    Decode(SelectCoefficientDecoder(0), bytes, layout == &kLayout50 ? kLayout25 : *layout,
                           passes[p], missing, ref);
                    Decode(fn, bytes, *layout, passes[p], missing, got);
                    char what[128];
                    std::snprintf(what, sizeof what, "coefficients %s %s %s pattern %d", levels[li].name,
                                  layout == &kLayoutHD ? "hd" : layout == &kLayout50 ? "50" : "25",
                                  passNames[p], pattern);
                    if (!SameBlocks(what, ref, got, passes[p] == kPassesHalf && layout == &kLayoutHD)) return;
                }
            }
        }
        if (plain) continue;
        checkasm::Bench(std::string("coefficients_") + levels[li].name, [&] {
            Decode(fn, bytes, kLayout25, kPassesThree, 0, got);
        }, 2000);
    }
}

}  // namespace
