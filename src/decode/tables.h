// Process-wide block decoding tables: dequantisation weights, scan orders,
// quantiser selection, transform constants and the AC code lookup tables.
// Built once by InitTables (the exported InitDVDec); read-only afterwards.
#pragma once
#include <cstdint>

namespace hvdv {

// Coefficient blocks are kept transposed inside the decoder: coefficient
// (v, h) (v vertical index, h horizontal frequency) lives at index 8h + v, so
// that one 16-byte row of the block holds the eight vertical indexes of one
// horizontal frequency and the first transform pass runs across rows.
inline int InternalIndex(int v, int h) { return 8 * h + v; }

// The two DV zig-zag orders in the natural index convention 8v + h (DCT mode
// 0: 8-8; mode 1: 2-4-8, where v = 2m is the sum field and v = 2m + 1 the
// difference field of vertical frequency m).
extern const uint8_t kScan88[64];
extern const uint8_t kScan248[64];

// The same orders remapped to internal indexes; scanOrders[mode].
extern uint8_t g_scanOrders[2][64];

// Dequantisation weights, [mode][table n][internal index], 16384 = 1.0 at
// the DC position; every weight lies in 1406..21407.
struct alignas(16) DVWeightTable {
    uint16_t w[64];
};
extern DVWeightTable g_weightTables[2][4];

// Quantisation pattern T per class (0-3) and QNO (0-15).
extern const uint8_t kQuantIndex[4][16];

// Weight table and shift per pattern and mode, indexed m + 2T.
struct DVQuantSelect {
    uint8_t table;
    int8_t shift;  // -1 .. 4
};
extern const DVQuantSelect kQuantSelect[26];

// Both choices made for every QNO, class and mode, so that a block's
// weights and shift take one load: [16 * 8] indexed 8 * QNO + 2 * class +
// mode (built by BuildWeightTables).
struct DVWeightChoice {
    const uint16_t* weights;
    int32_t shift;
};
extern DVWeightChoice g_weightChoices[16 * 8];

// Transform constant vectors of eight equal 16-bit lanes, for the SSE2
// kernels.
enum {
    kIdctRound0 = 0,   // 1
    kIdctRound1 = 1,   // 1
    kIdctRound5 = 2,   // 2
    kIdctRound6 = 3,   // 1
    kIdctTan8 = 4,     // 27146 = tan(pi/8) * 65536
    kIdctCos4 = 5,     // 23170 = cos(pi/4) * 32768
    kIdctCos8 = 6,     // 30274 = cos(pi/8) * 32768
    kIdctK13 = 7,      // 21407 = 1.30656 * 16384
    kIdctBias = 8,     // 4112 = 128 * 32 + 16: level shift and rounding
    kIdctNegTan8 = 9,  // -27146
    kIdctConstantCount = 10
};
struct alignas(16) DVIdctConstants {
    int16_t v[kIdctConstantCount][8];
};
extern DVIdctConstants g_idctConstants;

// AC code lookup.  One entry describes one code:
//   bits 0-4   code length in bits including the sign (3..16)
//   bit  5     clear, so that bits 0-5 are the length too: a 64-bit shift by
//              the whole entry (which takes the count's low six bits) needs
//              no mask in front of it on the code reader's dependency chain
//   bits 6-21  coefficient value, amplitude * 16 (signed), or for a link the
//              base index into g_vlcLevel2
//   bit  22    set: not a code but a link to a second-level table
//   bits 25-31 scan position advance, run + 1 (64 for end of block), alone
//              at the top so that one shift extracts it
// The first level is indexed by the next 11 bits of the stream and resolves
// every code of up to 11 bits; the 48 prefixes of longer codes link to
// 32-entry tables indexed by the following 5 bits.
enum : uint32_t { kVlcLinkFlag = 0x400000u };
enum { kVlcValueShift = 6, kVlcAdvanceShift = 25 };
enum { kVlcLevel1Bits = 11, kVlcLevel2Bits = 5, kVlcLevel2Size = 48 * 32 };
extern uint32_t g_vlcLevel1[1 << kVlcLevel1Bits];
extern uint32_t g_vlcLevel2[kVlcLevel2Size];

// Builds every table below once per process; safe to call from several
// threads at once, later calls return at once.
void InitTables();

// The builders InitTables runs, in this order.  Each may be called again;
// the result is the same.
void BuildWeightTables();
void InitIdctConstants();
void BuildCodeTables();

}  // namespace hvdv
