// Builds the process-wide block decoding tables once per process.
#include "decode/tables.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

#if HVDV_ARCH_X86
#include <emmintrin.h>
#define HVDV_PAUSE() _mm_pause()
#else
#define HVDV_PAUSE() ((void)0)
#endif

#include "decode/dequant_hd.h"
#include "decode/idct.h"
#include "hv_dec_dv.h"

namespace hvdv {

const uint8_t kScan88[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

const uint8_t kScan248[64] = {
    0,  8,  1,  9,  16, 24, 2,  10, 17, 25, 32, 40, 48, 56, 33, 41, 18, 26, 3,  11, 4,  12,
    19, 27, 34, 42, 49, 57, 50, 58, 35, 43, 20, 28, 5,  13, 6,  14, 21, 29, 36, 44, 51, 59,
    52, 60, 37, 45, 22, 30, 7,  15, 23, 31, 38, 46, 53, 61, 54, 62, 39, 47, 55, 63};

uint8_t g_scanOrders[2][64];
DVWeightTable g_weightTables[2][4];
DVWeightChoice g_weightChoices[16 * 8];
DVIdctConstants g_idctConstants;
uint32_t g_vlcLevel1[1 << kVlcLevel1Bits];
uint32_t g_vlcLevel2[kVlcLevel2Size];

const uint8_t kQuantIndex[4][16] = {
    {7, 7, 6, 6, 3, 3, 2, 2, 1, 0, 0, 0, 0, 0, 0, 0},
    {9, 8, 8, 7, 7, 6, 6, 3, 3, 2, 2, 1, 0, 0, 0, 0},
    {10, 10, 9, 9, 8, 8, 7, 7, 6, 6, 3, 3, 2, 2, 1, 0},
    {12, 11, 11, 10, 10, 9, 9, 8, 8, 7, 7, 6, 6, 5, 4, 4},
};

// Pattern T gives the quantisation steps of the four scan areas (positions
// 1-5, 6-20, 21-42, 43-63); each is a weight table (the relative steps inside
// the block) and a power-of-two shift (the overall step).  The 2-4-8 tables
// carry one more halving than the 8-8 ones, hence their shifts differ.
const DVQuantSelect kQuantSelect[26] = {
    {0, -1}, {0, -1},  // T = 0: steps 1, 1, 1, 1
    {1, -1}, {1, 0},   // 1: 1, 1, 1, 2
    {2, 0},  {2, 0},   // 2: 1, 1, 2, 2
    {3, 0},  {3, 1},   // 3: 1, 2, 2, 4
    {0, 0},  {0, 0},   // 4: 2, 2, 2, 2
    {1, 0},  {1, 1},   // 5: 2, 2, 2, 4
    {2, 1},  {2, 1},   // 6: 2, 2, 4, 4
    {3, 1},  {3, 2},   // 7: 2, 4, 4, 8
    {2, 2},  {2, 2},   // 8: 4, 4, 8, 8
    {3, 2},  {3, 3},   // 9: 4, 8, 8, 16
    {2, 3},  {2, 3},   // 10: 8, 8, 16, 16
    {3, 3},  {3, 4},   // 11: 8, 16, 16, 32
    {2, 4},  {2, 4},   // 12: 16, 16, 32, 32
};

// ---------------------------------------------------------------------------
// Dequantisation weights.
//
// A weight folds three factors for coefficient (v, h): the scale the 16-bit
// transform expects of its input (the AAN-style factorisation leaves
// cos(k pi / 16) * sqrt(2) on every term, and 1.0824 = 1 / (2 cos(3 pi / 8))
// on the odd ones), the inverse of the DV weighting the encoder applied, and
// the step of the coefficient's scan area for the table.

void BuildWeightTables() {
    static bool built = false;
    if (built) return;
    built = true;

    // Cosines cos(k pi / 16) as the tables have always been built from them:
    // 11 significant digits.
    const double c[8] = {1.0,           0.9807852804, 0.92387953251, 0.8314696123,
                         0.70710678119, 0.55557023302, 0.38268343237, 0.19509032202};
    const double sqrt2 = 1.4142135623730951;
    const double oddFactor = 1.0823922002939015;  // 1 / (2 cos(3 pi / 8))
    const double K = (sqrt2 + 1) * oddFactor * 0.5;  // 1.3065629648781962

    double w[8], g[8];
    w[0] = 1.0;
    w[1] = c[4] / (c[7] * 4 * c[2]);
    w[2] = c[4] / (c[6] * 2);
    w[3] = 1 / (2 * c[5]);
    w[4] = 0.875;
    w[5] = c[4] / c[3];
    w[6] = c[4] / c[2];
    w[7] = c[4] / c[1];
    for (int k = 0; k < 8; k++) {
        double A = k == 0 ? 1.0 : c[k] * sqrt2;
        double P = (k & 1) ? oddFactor : 1.0;
        g[k] = A * P / w[k];
    }
    // Vertical factor of the 2-4-8 mode per vertical frequency m.
    const double Q[4] = {1.0, K / w[2], 1 / 0.875, K / w[6]};

    // Area shift per table n and scan area; base exponent per mode and n.
    static const int areaShift[4][4] = {{0, 0, 0, 0}, {0, 0, 0, 1}, {0, 0, 1, 1}, {0, 1, 1, 2}};
    static const int baseExp[2][4] = {{1, 1, 2, 2}, {1, 2, 2, 3}};

    for (int mode = 0; mode < 2; mode++) {
        const uint8_t* scan = mode ? kScan248 : kScan88;
        int positionOf[64];
        for (int p = 0; p < 64; p++) positionOf[scan[p]] = p;
        for (int n = 0; n < 4; n++) {
            for (int i = 0; i < 64; i++) {
                int v = i >> 3, h = i & 7;
                int weight;
                if (i == 0) {
                    weight = 16384;
                } else {
                    double F = mode == 0 ? 16384 * g[v] * g[h] : 16384 * g[h] * Q[v >> 1];
                    int p = positionOf[i];
                    int area = p <= 5 ? 0 : p <= 20 ? 1 : p <= 42 ? 2 : 3;
                    int e = areaShift[n][area] - baseExp[mode][n];
                    weight = (int)(std::ldexp(F, e) + 0.499);
                }
                g_weightTables[mode][n].w[InternalIndex(v, h)] = (uint16_t)weight;
            }
        }
        for (int p = 0; p < 64; p++) {
            int i = scan[p];
            g_scanOrders[mode][p] = (uint8_t)InternalIndex(i >> 3, i & 7);
        }
    }
    for (int q = 0; q < 16; q++)
        for (int c = 0; c < 4; c++)
            for (int m = 0; m < 2; m++) {
                const DVQuantSelect sel = kQuantSelect[m + 2 * kQuantIndex[c][q]];
                g_weightChoices[8 * q + 2 * c + m] = DVWeightChoice{g_weightTables[m][sel.table].w, sel.shift};
            }
}

void InitIdctConstants() {
    static const int16_t values[kIdctConstantCount] = {
        1, 1, 2, 1, 27146, 23170, 30274, 21407, 4112, -27146};
    for (int k = 0; k < kIdctConstantCount; k++)
        for (int lane = 0; lane < 8; lane++) g_idctConstants.v[k][lane] = values[k];
}

// ---------------------------------------------------------------------------
// AC code tables.
//
// The DV AC code (IEC 61834-2): every code gives a run of zero coefficients
// and an amplitude; codes with a nonzero amplitude end in a sign bit.  Listed
// here without the sign bit.  Amplitude 0 marks a sign-less code (a plain
// zero run); run 64 is the end-of-block code.
namespace {

struct CodeDef {
    const char* bits;
    uint8_t run;
    uint8_t amplitude;
};

const CodeDef kCodes[] = {
    {"00", 0, 1},          {"010", 0, 2},         {"0110", 64, 0},       {"0111", 1, 1},
    {"1000", 0, 3},        {"1001", 0, 4},        {"10100", 2, 1},       {"10101", 1, 2},
    {"10110", 0, 5},       {"10111", 0, 6},       {"110000", 3, 1},      {"110001", 4, 1},
    {"110010", 0, 7},      {"110011", 0, 8},      {"1101000", 5, 1},     {"1101001", 6, 1},
    {"1101010", 2, 2},     {"1101011", 1, 3},     {"1101100", 1, 4},     {"1101101", 0, 9},
    {"1101110", 0, 10},    {"1101111", 0, 11},    {"11100000", 7, 1},    {"11100001", 8, 1},
    {"11100010", 9, 1},    {"11100011", 10, 1},   {"11100100", 3, 2},    {"11100101", 4, 2},
    {"11100110", 2, 3},    {"11100111", 1, 5},    {"11101000", 1, 6},    {"11101001", 1, 7},
    {"11101010", 0, 12},   {"11101011", 0, 13},   {"11101100", 0, 14},   {"11101101", 0, 15},
    {"11101110", 0, 16},   {"11101111", 0, 17},   {"111100000", 11, 1},  {"111100001", 12, 1},
    {"111100010", 13, 1},  {"111100011", 14, 1},  {"111100100", 5, 2},   {"111100101", 6, 2},
    {"111100110", 3, 3},   {"111100111", 4, 3},   {"111101000", 2, 4},   {"111101001", 2, 5},
    {"111101010", 1, 8},   {"111101011", 0, 18},  {"111101100", 0, 19},  {"111101101", 0, 20},
    {"111101110", 0, 21},  {"111101111", 0, 22},  {"1111100000", 5, 3},  {"1111100001", 3, 4},
    {"1111100010", 3, 5},  {"1111100011", 2, 6},  {"1111100100", 1, 9},  {"1111100101", 1, 10},
    {"1111100110", 1, 11}, {"11111001110", 0, 0}, {"11111001111", 1, 0}, {"11111010000", 6, 3},
    {"11111010001", 4, 4}, {"11111010010", 3, 6}, {"11111010011", 1, 12}, {"11111010100", 1, 13},
    {"11111010101", 1, 14}, {"111110101100", 2, 0}, {"111110101101", 3, 0}, {"111110101110", 4, 0},
    {"111110101111", 5, 0}, {"111110110000", 7, 2}, {"111110110001", 8, 2}, {"111110110010", 9, 2},
    {"111110110011", 10, 2}, {"111110110100", 7, 3}, {"111110110101", 8, 3}, {"111110110110", 4, 5},
    {"111110110111", 3, 7}, {"111110111000", 2, 7}, {"111110111001", 2, 8}, {"111110111010", 2, 9},
    {"111110111011", 2, 10}, {"111110111100", 2, 11}, {"111110111101", 1, 15},
    {"111110111110", 1, 16}, {"111110111111", 1, 17},
};

uint32_t PackCode(int length, int advance, int value) {
    return (uint32_t)length | ((uint32_t)(uint16_t)(int16_t)value << kVlcValueShift) |
           ((uint32_t)advance << kVlcAdvanceShift);
}

// Sets entry [pattern << (16 - length), (pattern + 1) << (16 - length)) of
// the full 16-bit map.
void FillRange(std::vector<uint32_t>& map, uint32_t pattern, int length, uint32_t entry) {
    uint32_t first = pattern << (16 - length), count = 1u << (16 - length);
    for (uint32_t k = 0; k < count; k++) map[first + k] = entry;
}

}  // namespace

void BuildCodeTables() {
    // Every 16-bit pattern mapped to the code it begins with.
    std::vector<uint32_t> map(1u << 16, 0);
    for (const CodeDef& d : kCodes) {
        uint32_t bits = 0;
        int length = 0;
        for (const char* s = d.bits; *s; s++, length++) bits = bits * 2 + (uint32_t)(*s - '0');
        if (d.run == 64) {
            FillRange(map, bits, length, PackCode(length, 64, 0));
        } else if (d.amplitude == 0) {
            FillRange(map, bits, length, PackCode(length, d.run + 1, 0));
        } else {
            FillRange(map, bits * 2, length + 1, PackCode(length + 1, d.run + 1, 16 * d.amplitude));
            FillRange(map, bits * 2 + 1, length + 1, PackCode(length + 1, d.run + 1, -16 * d.amplitude));
        }
    }
    // 1111110 rrrrrr: a run of r (6 to 61) zero coefficients.  The six
    // values below 6 and the two above 61 are not produced by encoders; they
    // decode as the codes 1/+-15, 1/+-16, 1/+-17 and 0/+-23.
    for (uint32_t r = 0; r < 64; r++) {
        uint32_t entry;
        if (r < 6)
            entry = PackCode(13, 2, (r & 1 ? -16 : 16) * (15 + (int)(r >> 1)));
        else if (r < 62)
            entry = PackCode(13, (int)r + 1, 0);
        else
            entry = PackCode(13, 1, (r & 1 ? -16 : 16) * 23);
        FillRange(map, (0x7Eu << 6) | r, 13, entry);
    }
    // 1111111 aaaaaaaa s: amplitude a (23 to 255) at run 0.  Amplitudes below
    // 23 have shorter codes; their escape forms decode as zero runs of
    // 16 + 2a + s coefficients.
    for (uint32_t a = 0; a < 256; a++) {
        for (uint32_t s = 0; s < 2; s++) {
            uint32_t entry = a >= 23 ? PackCode(16, 1, (s ? -16 : 16) * (int)a)
                                     : PackCode(16, 16 + 2 * (int)a + (int)s + 1, 0);
            map[(0x7Fu << 9) | (a << 1) | s] = entry;
        }
    }

    // Split into the two levels.
    const int shift = 16 - kVlcLevel1Bits;
    uint32_t next = 0;
    for (uint32_t i = 0; i < (1u << kVlcLevel1Bits); i++) {
        const uint32_t* run = &map[i << shift];
        if ((int)(run[0] & 31) <= kVlcLevel1Bits) {
            g_vlcLevel1[i] = run[0];
        } else {
            g_vlcLevel1[i] = kVlcLinkFlag | (next << kVlcValueShift);
            for (uint32_t k = 0; k < (1u << shift) && next + k < (uint32_t)kVlcLevel2Size; k++)
                g_vlcLevel2[next + k] = run[k];
            next += 1u << shift;
        }
    }
}


// ---------------------------------------------------------------------------

namespace {
std::atomic<int> g_tablesBuilt{0};
std::atomic<int> g_initLock{0};
}  // namespace

// Builds every table once.  The done flag is published with release order
// after the tables are written, so a thread that sees it set (acquire) also
// sees the tables; threads arriving during the build wait on the spin lock
// and find the flag set when they get it.
void InitTables() {
    if (g_tablesBuilt.load(std::memory_order_acquire)) return;
    while (g_initLock.exchange(1, std::memory_order_acquire) != 0) {
        while (g_initLock.load(std::memory_order_relaxed) != 0) HVDV_PAUSE();
    }
    if (!g_tablesBuilt.load(std::memory_order_relaxed)) {
        BuildWeightTables();
        InitIdctConstants();
        BuildCodeTables();
        (void)DequantTableHD(0, 0, false, false);
        g_tablesBuilt.store(1, std::memory_order_release);
    }
    g_initLock.store(0, std::memory_order_release);
}

}  // namespace hvdv
