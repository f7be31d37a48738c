// Coefficient decoding: the compressed bytes of one video segment (five
// macroblocks) to quantised DCT coefficients, with the DV redistribution of
// spare bits between blocks.
#pragma once
#include <cstdint>

namespace hvdv {

// Where the blocks of a compressed macroblock lie.  The 25 Mb/s layout has
// four 14-byte luminance and two 10-byte colour-difference blocks; each block
// starts with a 12-bit header (9-bit DC, DCT mode, 2-bit class) followed by
// its AC budget of 8 * bytes - 12 bits.  Kept as data so that other block
// arrangements can be added without touching the decoders' inner loops.
enum { kMaxBlocks = 8, kMacroblocksPerSegment = 5 };
struct DVBlockLayout {
    int blockCount;
    uint8_t offset[kMaxBlocks];  // byte offset of each block in the compressed macroblock
    uint8_t bits[kMaxBlocks];    // AC bit budget
    uint8_t scanByMode;          // 1: a block's M bit picks its scan order; 0: always 8-8
    uint8_t pairOrder[kMaxBlocks];  // the blocks in the order their own areas are read, two at a time
};
// 25 and 50 Mb/s: 14,14,14,14,10,10 bytes.  High definition: eight blocks,
// 10 bytes x 6 and 8 bytes x 2, always scanned in the 8-8 order (the M bit
// of block 0 chooses the macroblock's frame or field arrangement instead).
// kLayout50 has the areas of kLayout25 and the same results; it pairs the
// two luminance blocks (areas 0 and 2) and the two dummies (1 and 3), which
// end at once, so that no dense block is read alone.
extern const DVBlockLayout kLayout25;
extern const DVBlockLayout kLayout50;
extern const DVBlockLayout kLayoutHD;

struct DVBlockState {
    int32_t mode;            // 0: 8-8, 1: 2-4-8
    int32_t classNumber;     // 0..3
    int32_t position;        // scan position reached (past the last one: complete)
    int32_t last;            // highest scan position stored; 0: only the DC term
    uint32_t leftoverBits;   // unread remainder of the block's own area, right-aligned
    int32_t leftoverCount;   // its length in bits (below 16)
    int16_t* coefficients;   // 64 values, internal order
    const uint8_t* scan;     // scan order of the mode (internal indexes)
};

struct DVMacroblockState {
    DVBlockState blocks[kMaxBlocks];
    // 64-byte aligned where the 512-bit half-size reader stores each half
    // of a block's coefficients as one whole cache line.
#if HVDV_HAVE_AVX512
    alignas(64) int16_t coefficientArea[kMaxBlocks][64];
#else
    alignas(16) int16_t coefficientArea[kMaxBlocks][64];
#endif
    // Each block's scan order (the first 64 bytes of its row), copied when
    // the block starts, at the same distance from every block's
    // coefficients: the code reader reaches both through one register.
    alignas(16) uint8_t scanArea[kMaxBlocks][64 * sizeof(int16_t)];
    uint32_t x, y;
    int32_t qno;
    int32_t sta;
    const uint8_t* data;   // the compressed macroblock (byte after STA/QNO)
    int32_t blockCount;
    int32_t missing;       // nonzero: not in the frame; decoded as all zero
};

// Sets the block coefficient pointers, the block count and every block's
// scan copy to the 8-8 order.  The high-definition layout (always 8-8) reads
// that copy and does not make its own, so states that a 25 or 50 Mb/s decode
// has used are set up again before a high-definition one.
void InitMacroblockState(DVMacroblockState* state, int blockCount);
// payload points at the STA/QNO byte of the macroblock's DIF block.
void BeginMacroblock(DVMacroblockState* state, const uint8_t* payload, uint32_t x, uint32_t y);

// Fills mode, class and all 64 coefficients of every block of the five
// macroblock states (initialised with layout.blockCount blocks) for the
// layout kLayout25, kLayout50 or kLayoutHD: three passes with the redistribution of
// spare bits, single pass (each block's own bits only), or half size (own
// bits, scan positions 0-24; a decoder may leave the coefficients past
// internal index 31 of a high-definition frame macroblock's blocks (block
// 0's M bit clear) as they were, since the 4 x 4 transform reads only those
// below).  The bit reader may load up to kOverRead bytes
// past the end of a macroblock's 77-byte payload.
enum { kOverRead = 16 };
enum DVCoefficientPasses { kPassesThree, kPassesSingle, kPassesHalf };
void DecodeCoefficientsWith(DVMacroblockState* macroblocks, const DVBlockLayout& layout,
                            DVCoefficientPasses passes);

// The same decoder compiled for processors with BMI2 and MOVBE (x86 builds
// with HVDV_HAVE_BMI2 only); same results.
void DecodeCoefficientsBmi2(DVMacroblockState* macroblocks, const DVBlockLayout& layout,
                            DVCoefficientPasses passes);

// Half size read in AVX-512 lanes, the other passes as DecodeCoefficientsBmi2
// (x86-64 builds with HVDV_HAVE_AVX512 only; for processors with kCpuAVX512
// and kCpuBMI2); same results.
void DecodeCoefficientsAvx512(DVMacroblockState* macroblocks, const DVBlockLayout& layout,
                              DVCoefficientPasses passes);

// Where pass 1 (a block's own area) left each block: the budget still
// unread and whether the block is complete.  The other passes continue from
// there: ContinueThreePassesBmi2 does what DecodeCoefficientsBmi2 does for
// kPassesThree after pass 1, given the coefficients, positions and fields
// pass 1 stored and its ends[macroblock][block] (same results).
struct DVOwnAreaEnd {
    int32_t remaining;
    int32_t complete;
};
void ContinueThreePassesBmi2(DVMacroblockState* macroblocks, const DVBlockLayout& layout,
                             const DVOwnAreaEnd (*ends)[kMaxBlocks]);

// The decoder for the instruction sets in cpuFlags (threads/cpu.h).
using DVCoefficientDecoder = void (*)(DVMacroblockState*, const DVBlockLayout&, DVCoefficientPasses);
DVCoefficientDecoder SelectCoefficientDecoder(uint32_t cpuFlags);

}  // namespace hvdv
