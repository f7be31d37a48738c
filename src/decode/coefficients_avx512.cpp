// Coefficient decoding in AVX-512 lanes: half size, and pass 1 of the
// three passes for high definition (passes 2 and 3 then go on in the BMI2
// decoder from where the lanes left each block); chosen for processors with
// AVX-512 F, BW, VL and VBMI2 (kCpuAVX512) and BMI2.  Everything else goes
// to the BMI2 decoder.  Same results as the decoder for every processor.
//
// At half size a block reads its own area only, up to scan position 24, so
// the blocks of a segment are independent from their first code; so are
// they in pass 1, up to position 63.  Each of them takes a 64-bit lane:
// its whole area (at most 100 AC bits, plus what follows for the last
// lookup) sits in two registers, hi and lo, shifted together by each code's
// length, so that no step loads the stream; the one load of a step is the
// table lookup, gathered for eight lanes.  A lane stops at the first code
// that passes the last position or does not fit the budget, and keeps
// stepping as a no-op until every lane of its group of eight has stopped.  Each step writes its eight table entries to a log;
// afterwards the values are taken out of the log a lane at a time, spread by
// the lane's positions (a mask with one bit a position) and put into
// coefficient order by a permutation.
//
// GCC 12 reports the intrinsics' own deliberately undefined start values
// (in avx512fintrin.h) as uninitialised.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#include <immintrin.h>

#include <cstddef>
#include <cstring>

#include "decode/coefficients.h"
#include "decode/tables.h"

namespace hvdv {

namespace {

enum { kLanes = 8, kMaxSteps = 32, kHalfLast = 24, kFullLast = 63 };

inline uint64_t LoadBE64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return __builtin_bswap64(v);
}

// The code tables in the form the lanes use, one 64-bit entry a code:
//   bits 0-4    length (bit 5 clear: a shift by the entry shifts by it)
//   bits 32-47  coefficient value (word 2 of the entry, for the log)
//   bits 57-63  scan position advance
// The low half is the length alone and the advance is at the top of the high
// half, so that one subtraction of 32-bit halves takes a code from a lane's
// budget (low half) and its position (high half); see State below.
//
// Both levels form one table, so that a step makes one lookup and takes no
// branch.  The prefixes that link to the second level are the last ones,
// from kLinkFirst on, and their second-level tables follow each other in
// prefix order; with x the next 16 bits of the stream, the second-level
// entry of x is therefore at x - 31 * kLinkFirst, right after the first
// level's kLinkFirst entries.  That index is the larger of it and x >> 5
// exactly for the linked prefixes, and below x >> 5 (or 0, with a
// saturating subtraction) for the others.
enum { kWideValueWord = 2, kWideAdvanceShift = 57 };
enum { kLinkFirst = 2000, kLinkFold = 31 * kLinkFirst, kWideSize = (1 << 16) - kLinkFold };

static_assert(kWideSize - kLinkFirst == kVlcLevel2Size && kLinkFirst < (1 << kVlcLevel1Bits),
              "the second level follows the first");

struct WideTable {
    alignas(64) uint64_t entry[kWideSize];
};

uint64_t Widen(uint32_t x) {
    return (uint64_t)(x & 31) | ((uint64_t)((x >> kVlcValueShift) & 0xFFFF) << 32) |
           ((uint64_t)(x >> kVlcAdvanceShift) << kWideAdvanceShift);
}

const WideTable& Wide() {
    static const WideTable w = [] {
        WideTable t;
        for (int i = 0; i < kLinkFirst; i++) t.entry[i] = Widen(g_vlcLevel1[i]);
        for (int i = 0; i < kWideSize - kLinkFirst; i++) t.entry[kLinkFirst + i] = Widen(g_vlcLevel2[i]);
        return t;
    }();
    return w;
}

// A lane's budget and position in one 64-bit value: the budget left in the
// low half, (last - position) << 25 plus 25 one bits in the high half, last
// being the last scan position read (24 at half size, 63 in a block's own
// area at full size).  After subtracting an entry, a half is negative
// exactly when the code does not fit (low) or passes the last position
// (high); the one bits absorb the value bits below the advance, and are set
// again after every code taken.
constexpr uint64_t kStateOnes = 0x01FFFFFFull << 32;
constexpr uint64_t kStateSigns = 0x8000000080000000ull;
template <int kLast>
constexpr uint64_t StartState(int budget) { return ((uint64_t)kLast << 57) | kStateOnes | (uint64_t)budget; }

// The word permutations from scan positions 0-31 to coefficient order (the
// internal index of each of the 64 coefficients), low and high 32
// coefficients, for each scan order, with a mask of the coefficients whose
// position is below 32 (the others are zero).
struct ScanPermutes {
    alignas(64) uint16_t index[2][2][32];
    uint32_t below32[2][2];
    // The same for positions 0-63, from two registers of 32 positions.
    alignas(64) uint16_t index64[2][2][32];
    alignas(64) uint16_t steps[32];  // 0, 1, ..., 31
};

const ScanPermutes& Permutes() {
    static const ScanPermutes p = [] {
        ScanPermutes s;
        for (int mode = 0; mode < 2; mode++) {
            int positionOf[64];
            for (int q = 0; q < 64; q++) positionOf[g_scanOrders[mode][q]] = q;
            s.below32[mode][0] = s.below32[mode][1] = 0;
            for (int i = 0; i < 32; i++) s.steps[i] = (uint16_t)i;
            for (int i = 0; i < 64; i++) {
                const int q = positionOf[i];
                s.index[mode][i >> 5][i & 31] = (uint16_t)(q & 31);
                s.index64[mode][i >> 5][i & 31] = (uint16_t)q;
                if (q < 32) s.below32[mode][i >> 5] |= 1u << (i & 31);
            }
        }
        return s;
    }();
    return p;
}

inline __m512i Load512(const uint16_t* p) { return _mm512_load_si512((const void*)p); }

// Eight lanes: the stream bits (hi, lo), the budget and position (state)
// and a bit for each position stored (positions).  A lane that has stopped
// keeps all of them, so its hi still begins with the code it stopped at.
struct Group {
    __m512i hi, lo, state, positions;
    __mmask8 alive;
};

// The entries of the codes at the top of hi (see WideTable).
inline __m512i Lookup(const WideTable& t, __m512i hi) {
    const __m512i folded = _mm512_srli_epi64(_mm512_subs_epu16(hi, _mm512_set1_epi64((long long)kLinkFold << 48)), 48);
    const __m512i idx = _mm512_max_epu64(_mm512_srli_epi64(hi, 53), folded);
    return _mm512_i64gather_epi64(idx, (const long long*)t.entry, 8);
}

// One code of every lane of g; the entries go to log (one row).
template <int kLast>
inline void Step(Group& g, const WideTable& t, uint64_t* log) {
    const __m512i e = Lookup(t, g.hi);
    const __m512i s = _mm512_sub_epi32(g.state, e);
    const __mmask8 ok = _mm512_mask_testn_epi64_mask(g.alive, s, _mm512_set1_epi64((long long)kStateSigns));
    g.alive = ok;
    // The double shifts take their count modulo 64: the entry's low six
    // bits, its length.  A stopped lane keeps the code it stopped at.
    g.hi = _mm512_mask_shldv_epi64(g.hi, ok, g.lo, e);
    g.lo = _mm512_mask_shldv_epi64(g.lo, ok, _mm512_setzero_si512(), e);
    // state = s with its 25 one bits set again, where the code was taken.
    g.state = _mm512_mask_ternarylogic_epi64(g.state, ok, s, _mm512_set1_epi64((long long)kStateOnes), 0xEE);
    // 1 << position, from last - position in the state's top bits.
    const __m512i bit = _mm512_srlv_epi64(_mm512_set1_epi64((long long)(1ull << kLast)), _mm512_srli_epi64(s, 57));
    g.positions = _mm512_mask_or_epi64(g.positions, ok, g.positions, bit);
    _mm512_store_si512((void*)log, e);
}

// The values of steps 0-31 of each lane of a group whose log has `rows`
// rows written (later rows are not read), one register a lane.  Four rows
// go to one register with the values of four steps in each lane's 64 bits
// (shifts put each row's value word in its place, blends merge them); the
// eight such registers are then transposed as 8 x 8 64-bit elements.
inline void Columns(const uint64_t (*log)[kLanes], int rows, __m512i* column) {
    __m512i R[8];
    for (int i = 0; i < 8; i++) {
        if (4 * i >= rows) {
            R[i] = _mm512_setzero_si512();
            continue;
        }
        __m512i row[4];
        for (int r = 0; r < 4; r++)
            row[r] = 4 * i + r < rows ? _mm512_load_si512((const void*)log[4 * i + r]) : _mm512_setzero_si512();
        static_assert(kWideValueWord == 2, "the shifts below move word 2");
        __m512i x = _mm512_srli_epi64(row[0], 32);
        x = _mm512_mask_blend_epi16(0x22222222, x, _mm512_srli_epi64(row[1], 16));
        x = _mm512_mask_blend_epi16(0x44444444, x, row[2]);
        R[i] = _mm512_mask_blend_epi16(0x88888888, x, _mm512_slli_epi64(row[3], 16));
    }
    __m512i T[8], U[8];
    for (int i = 0; i < 8; i += 2) {
        T[i] = _mm512_unpacklo_epi64(R[i], R[i + 1]);
        T[i + 1] = _mm512_unpackhi_epi64(R[i], R[i + 1]);
    }
    for (int i = 0; i < 8; i += 4)
        for (int h = 0; h < 2; h++) {
            U[i + h] = _mm512_shuffle_i64x2(T[i + h], T[i + h + 2], 0x88);
            U[i + h + 2] = _mm512_shuffle_i64x2(T[i + h], T[i + h + 2], 0xDD);
        }
    // U[0] holds lanes 0 and 4 of rows 0-15, U[1] lanes 1 and 5, U[2]
    // lanes 2 and 6, U[3] lanes 3 and 7; U[4..7] the same of rows 16-31.
    for (int l = 0; l < 4; l++) {
        column[l] = _mm512_shuffle_i64x2(U[l], U[l + 4], 0x88);
        column[l + 4] = _mm512_shuffle_i64x2(U[l], U[l + 4], 0xDD);
    }
}

// Lanes in block order, the five macroblocks' block b side by side, so that
// blocks which usually take as many codes share a group: a group whose
// lanes have all stopped takes no more steps.  The 50 Mb/s areas 1 and 3,
// which end at once, come last.
enum { kMaxGroups = 5, kMaxLanes = kMaxGroups * kLanes };
struct LaneTable {
    // Lane 5 * o + j: macroblock j's block order[o], at byte offset
    // blockOffset from the first macroblock's state; its area at byte
    // offset areaOffset of the compressed macroblock, and its AC budget.
    alignas(64) int64_t macroblock[kMaxLanes];
    alignas(64) int64_t areaOffset[kMaxLanes];
    alignas(64) int64_t blockOffset[kMaxLanes];
    alignas(64) uint64_t budget[kMaxLanes];
    uint8_t block[kMaxLanes];
    uint64_t used;
};

LaneTable MakeLaneTable(const DVBlockLayout& layout, const uint8_t* order) {
    LaneTable t = {};
    for (int o = 0; o < layout.blockCount; o++)
        for (int j = 0; j < kMacroblocksPerSegment; j++) {
            const int lane = kMacroblocksPerSegment * o + j, b = order[o];
            t.macroblock[lane] = j;
            t.areaOffset[lane] = layout.offset[b];
            t.blockOffset[lane] = (int64_t)(j * sizeof(DVMacroblockState) + offsetof(DVMacroblockState, blocks) +
                                            b * sizeof(DVBlockState));
            t.budget[lane] = layout.bits[b];
            t.block[lane] = (uint8_t)b;
            t.used |= 1ull << lane;
        }
    return t;
}

const LaneTable& LanesOf(const DVBlockLayout& layout) {
    static const uint8_t kOrder[kMaxBlocks] = {0, 1, 2, 3, 4, 5, 6, 7};
    static const uint8_t kOrder50[kMaxBlocks] = {0, 2, 4, 5, 1, 3, 6, 7};
    static const LaneTable t25 = MakeLaneTable(kLayout25, kOrder), t50 = MakeLaneTable(kLayout50, kOrder50),
                           tHD = MakeLaneTable(kLayoutHD, kOrder);
    return layout.blockCount == kLayoutHD.blockCount ? tHD : &layout == &kLayout50 ? t50 : t25;
}

// A segment of layout's blocks in kGroups groups of lanes (see LaneTable),
// each block in its own area up to scan position kLast: half size (24), or
// pass 1 of the three passes (63; high definition only, whose areas hold at
// most 22 codes, so that a lane's steps fit the log), which also records in
// ends where each block stopped.
template <int kGroups, int kLast>
void DecodeLanes(DVMacroblockState* macroblocks, const DVBlockLayout& layout, DVOwnAreaEnd (*ends)[kMaxBlocks]) {
    static_assert(kLast == kHalfLast || kLast == kFullLast, "half size or pass 1");
    (void)ends;
    enum { kCount = kGroups * kLanes };
    alignas(64) uint64_t hi[kCount], lo[kCount], state[kCount], header[kCount];
    DVBlockState* laneBlock[kCount];
    const uint8_t scanByMode = layout.scanByMode;
    const LaneTable& lanes = LanesOf(layout);
    static_assert((int)kCount <= (int)kMaxLanes, "lane table size");
    bool anyMissing = false;
    for (int j = 0; j < kMacroblocksPerSegment; j++) anyMissing |= macroblocks[j].missing != 0;
    uint64_t alive = 0;
    if (!anyMissing) {
        // Eight lanes at a time: the areas' addresses from the
        // macroblocks', then each area's 12-bit header and the AC bits from
        // bit 12, 116 of them (the last twelve bits of lo stay zero): the
        // budget allows at most 100 and a lookup reads 16 more.  The loads
        // reach byte 15 of the area, within the reader's allowance past the
        // last area.
        const uint8_t* const base = macroblocks[0].data;
        alignas(64) int64_t delta[kLanes] = {};
        for (int j = 1; j < kMacroblocksPerSegment; j++) delta[j] = macroblocks[j].data - base;
        const __m512i deltas = _mm512_load_si512(delta);
        const __m512i swap = _mm512_set4_epi32(0x08090a0b, 0x0c0d0e0f, 0x00010203, 0x04050607);
        const __m512i states = _mm512_set1_epi64((int64_t)(intptr_t)macroblocks);
        for (int k = 0; k < kGroups; k++) {
            const __m512i at = _mm512_add_epi64(_mm512_permutexvar_epi64(_mm512_load_si512(lanes.macroblock + kLanes * k), deltas),
                                                _mm512_load_si512(lanes.areaOffset + kLanes * k));
            const __m512i b0 = _mm512_shuffle_epi8(_mm512_i64gather_epi64(at, base, 1), swap);
            const __m512i b8 = _mm512_shuffle_epi8(_mm512_i64gather_epi64(at, base + 8, 1), swap);
            _mm512_store_si512(header + kLanes * k, _mm512_srli_epi64(b0, 52));
            _mm512_store_si512(hi + kLanes * k, _mm512_shldi_epi64(b0, b8, 12));
            _mm512_store_si512(lo + kLanes * k, _mm512_slli_epi64(b8, 12));
            _mm512_store_si512(state + kLanes * k, _mm512_or_si512(_mm512_load_si512(lanes.budget + kLanes * k),
                                                                   _mm512_set1_epi64((long long)StartState<kLast>(0))));
            _mm512_storeu_si512(laneBlock + kLanes * k,
                                _mm512_add_epi64(states, _mm512_load_si512(lanes.blockOffset + kLanes * k)));
        }
        alive = lanes.used;
    } else {
        for (int lane = 0; lane < kCount; lane++) {
            hi[lane] = lo[lane] = state[lane] = header[lane] = 0;
            if (!((lanes.used >> lane) & 1)) continue;
            DVMacroblockState& mb = macroblocks[lanes.macroblock[lane]];
            DVBlockState& blk = mb.blocks[lanes.block[lane]];
            if (mb.missing) {
                // Not in the frame: DC 0, 8-8, class 0.
                blk.leftoverBits = 0;
                blk.leftoverCount = 0;
                std::memset(blk.coefficients, 0, 64 * sizeof(int16_t));
                blk.mode = 0;
                blk.classNumber = 0;
                blk.position = 0;
                blk.last = 0;
                blk.scan = g_scanOrders[0];
                continue;
            }
            const uint8_t* area = mb.data + lanes.areaOffset[lane];
            laneBlock[lane] = &blk;
            header[lane] = (((uint32_t)area[0] << 8) | area[1]) >> 4;
            hi[lane] = (LoadBE64(area + 1) << 4) | (area[9] >> 4);
            lo[lane] = LoadBE64(area + 9) << 4;
            state[lane] = StartState<kLast>((int)lanes.budget[lane]);
            alive |= 1ull << lane;
        }
    }
    // The groups as separate variables, not an array, so that the compiler
    // keeps them in registers through the steps.
    auto start = [&](int k) {
        Group g;
        g.hi = _mm512_load_si512(hi + kLanes * k);
        g.lo = _mm512_load_si512(lo + kLanes * k);
        g.state = _mm512_load_si512(state + kLanes * k);
        g.positions = _mm512_setzero_si512();
        g.alive = (__mmask8)(alive >> (kLanes * k));
        return g;
    };
    static_assert(kGroups == 4 || kGroups == 5, "four or five groups");
    Group g0 = start(0), g1 = start(1), g2 = start(2), g3 = start(3), g4 = start(kGroups - 1);
    alignas(64) uint64_t log[kGroups][kMaxSteps][kLanes];
    const WideTable& tables = Wide();
    int rows[kGroups] = {};
    auto step = [&](Group& g, int k) {
        if (!g.alive) return false;
        Step<kLast>(g, tables, log[k][rows[k]++]);
        return true;
    };
    // Positions rise by at least one a code and stop past 24, so a lane
    // takes at most 25 steps at half size; a high-definition area holds at
    // most 22 codes (68 bits, 3 at least a code), so pass 1 takes at most 23.
    for (int n = 0; n < kMaxSteps; n++) {
        bool any = step(g0, 0);
        any |= step(g1, 1);
        any |= step(g2, 2);
        any |= step(g3, 3);
        if constexpr (kGroups == 5) any |= step(g4, 4);
        if (!any) break;
    }
    const ScanPermutes& perm = Permutes();
    // At half size a high-definition frame macroblock's blocks go to the 4 x
    // 4 transform, which reads coefficients 0-31 only; a field macroblock's
    // (block 0's M bit set) go to the full one.  Block 0 of macroblock j is
    // lane j.
    uint32_t fullBlocks = ~0u;
    if (kLast == kHalfLast && layout.blockCount == kLayoutHD.blockCount) {
        fullBlocks = 0;
        for (int j = 0; j < kMacroblocksPerSegment; j++) fullBlocks |= (uint32_t)((header[j] >> 2) & 1) << j;
    }
    auto finish = [&](int k, const Group& gk) {
        if (!(__mmask8)(alive >> (kLanes * k))) return;
        // The values past a lane's last step are not used: positions mark
        // what is.
        __m512i column[kLanes];
        Columns(log[k], rows[k], column);
        // Where each block stopped: at the code that did not fit (its
        // length above the budget left), or past the last position.  Position and
        // last stored position in one 64-bit value, as the block keeps them.
        const __m512i e = Lookup(tables, gk.hi);
        const __m512i last = _mm512_sub_epi64(_mm512_set1_epi64(kLast), _mm512_srli_epi64(gk.state, 57));
        const __mmask8 fits = _mm512_cmple_epu64_mask(_mm512_and_si512(e, _mm512_set1_epi64(31)),
                                                      _mm512_and_si512(gk.state, _mm512_set1_epi64(0xFFFFFFFF)));
        const __m512i position = _mm512_mask_add_epi64(last, fits, last, _mm512_srli_epi64(e, kWideAdvanceShift));
        // Pass 1: a code that fits was taken (it ended the block); the
        // budget left after it.
        alignas(64) uint64_t remaining[kLanes];
        if constexpr (kLast == kFullLast) {
            const __m512i budget = _mm512_and_si512(gk.state, _mm512_set1_epi64(0xFFFFFFFF));
            _mm512_store_si512(remaining, _mm512_mask_sub_epi64(budget, fits, budget,
                                                                _mm512_and_si512(e, _mm512_set1_epi64(31))));
        }
        static_assert(offsetof(DVBlockState, last) == offsetof(DVBlockState, position) + 4, "position, then last");
        alignas(64) uint64_t stops[kLanes], positions[kLanes];
        _mm512_store_si512(stops, _mm512_or_si512(position, _mm512_slli_epi64(last, 32)));
        _mm512_store_si512(positions, gk.positions);
        // From each header: mode and class as the block keeps them (one
        // 64-bit value), the scan order, and the DC term (9-bit two's
        // complement, times 8) as a 16-bit value.
        static_assert(offsetof(DVBlockState, classNumber) == offsetof(DVBlockState, mode) + 4, "mode, then class");
        const __m512i hdr = _mm512_load_si512(header + kLanes * k);
        const __m512i mode = _mm512_and_si512(_mm512_srli_epi64(hdr, 2), _mm512_set1_epi64(1));
        const __m512i scanMode = _mm512_and_si512(mode, _mm512_set1_epi64(scanByMode));
        alignas(64) uint64_t modeClass[kLanes], scans[kLanes], scanModes[kLanes], dcs[kLanes];
        _mm512_store_si512(modeClass,
                           _mm512_or_si512(mode, _mm512_slli_epi64(_mm512_and_si512(hdr, _mm512_set1_epi64(3)), 32)));
        _mm512_store_si512(scanModes, scanMode);
        _mm512_store_si512(scans, _mm512_add_epi64(_mm512_set1_epi64((int64_t)(intptr_t)g_scanOrders[0]),
                                                   _mm512_slli_epi64(scanMode, 6)));
        _mm512_store_si512(dcs, _mm512_and_si512(_mm512_slli_epi64(_mm512_srai_epi64(_mm512_slli_epi64(hdr, 52), 55), 3),
                                                 _mm512_set1_epi64(0xFFFF)));
        for (int l = 0; l < kLanes; l++) {
            const int lane = kLanes * k + l;
            if (!((alive >> lane) & 1)) continue;
            DVBlockState& blk = *laneBlock[lane];
            std::memcpy(&blk.mode, &modeClass[l], 8);
            blk.scan = (const uint8_t*)(intptr_t)scans[l];
            blk.leftoverBits = 0;
            blk.leftoverCount = 0;
            std::memcpy(&blk.position, &stops[l], 8);
            const int s = (int)scanModes[l];
            // The DC term at position 0, which no code stores.
            const __m512i dc = _mm512_castsi128_si512(_mm_cvtsi64_si128((long long)dcs[l]));
            if constexpr (kLast == kFullLast) {
                // Positions 0-31 and 32-63 each spread in a register of their
                // own, the second from the values after the first's.
                const uint64_t p = positions[l];
                const __m512i low = _mm512_mask_expand_epi16(dc, (__mmask32)p, column[l]);
                const __m512i next = _mm512_add_epi16(Load512(perm.steps), _mm512_set1_epi16((short)__builtin_popcount((uint32_t)p)));
                const __m512i high = _mm512_maskz_expand_epi16((__mmask32)(p >> 32), _mm512_permutexvar_epi16(next, column[l]));
                _mm512_storeu_si512((void*)blk.coefficients,
                                    _mm512_permutex2var_epi16(low, Load512(perm.index64[s][0]), high));
                _mm512_storeu_si512((void*)(blk.coefficients + 32),
                                    _mm512_permutex2var_epi16(low, Load512(perm.index64[s][1]), high));
                DVOwnAreaEnd& end = ends[lanes.macroblock[lane]][lanes.block[lane]];
                end.remaining = (int32_t)remaining[l];
                end.complete = (int32_t)((fits >> l) & 1);
                continue;
            }
            const __m512i byPosition = _mm512_mask_expand_epi16(dc, (__mmask32)positions[l], column[l]);
            _mm512_storeu_si512((void*)blk.coefficients,
                                _mm512_maskz_permutexvar_epi16(perm.below32[s][0], Load512(perm.index[s][0]), byPosition));
            if ((fullBlocks >> lanes.macroblock[lane]) & 1)
                _mm512_storeu_si512((void*)(blk.coefficients + 32),
                                    _mm512_maskz_permutexvar_epi16(perm.below32[s][1], Load512(perm.index[s][1]), byPosition));
        }
    };
    finish(0, g0);
    finish(1, g1);
    finish(2, g2);
    finish(3, g3);
    if constexpr (kGroups == 5) finish(4, g4);
}

}  // namespace

void DecodeCoefficientsAvx512(DVMacroblockState* macroblocks, const DVBlockLayout& layout,
                              DVCoefficientPasses passes) {
    if (passes == kPassesHalf) {
        if (layout.blockCount <= 6)
            DecodeLanes<4, kHalfLast>(macroblocks, layout, nullptr);
        else
            DecodeLanes<5, kHalfLast>(macroblocks, layout, nullptr);
        return;
    }
    if (passes == kPassesThree && layout.blockCount == kLayoutHD.blockCount) {
        DVOwnAreaEnd ends[kMacroblocksPerSegment][kMaxBlocks];
        DecodeLanes<5, kFullLast>(macroblocks, layout, ends);
        return ContinueThreePassesBmi2(macroblocks, layout, ends);
    }
    DecodeCoefficientsBmi2(macroblocks, layout, passes);
}

}  // namespace hvdv
