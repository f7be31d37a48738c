// The coefficient decoder's body, compiled once for every processor
// (coefficients.cpp) and once more with BMI2 and MOVBE (coefficients_bmi2.cpp:
// shifts by a register amount without the CL register, big-endian loads in one
// instruction).  Everything here has internal linkage, so each compilation
// keeps its own copy; the only entry is DecodeSegmentCoefficients.
//
// Coefficient decoding with the DV bit redistribution.
//
// Every block of a compressed macroblock has a fixed area.  Codes that do not
// fit in it continue, in stream order, in the spare bits that blocks which
// finished early left behind: first those of the same macroblock (pass 2),
// then those of the whole segment (pass 3).  The bits of a block that stopped
// short (fewer than 16, since no code is longer) are kept and read before the
// lent bits, so a code may straddle the two.
//
// The bit reader keeps a 64-bit window, next bit at the top, refilled with
// 8-byte big-endian loads before every code.  Only bits within a block's
// budget are ever consumed; the loads run ahead of the budget by at most
// kOverRead bytes past the area being read, which the caller keeps readable.
#pragma once
#include "decode/coefficients.h"

#include <cstddef>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "decode/tables.h"

// The pair reader inlined into its callers whatever the compiler's
// estimate: called as a function, its readers' state went through memory
// on the way in and out of every pair of blocks.
#if defined(_MSC_VER) && !defined(__clang__)
#define HVDV_CODE_INLINE __forceinline
#else
#define HVDV_CODE_INLINE __attribute__((always_inline)) inline
#endif

namespace hvdv {

namespace {
// The layouts as constants, so that each decoder below is compiled for one
// layout with its block count and areas folded in.
constexpr DVBlockLayout kAreas25 = {
    6, {0, 14, 28, 42, 56, 66, 0, 0}, {100, 100, 100, 100, 68, 68, 0, 0}, 1, {0, 1, 2, 3, 4, 5, 0, 0}};
constexpr DVBlockLayout kAreas50 = {
    6, {0, 14, 28, 42, 56, 66, 0, 0}, {100, 100, 100, 100, 68, 68, 0, 0}, 1, {0, 2, 1, 3, 4, 5, 0, 0}};
constexpr DVBlockLayout kAreasHD = {
    8, {0, 10, 20, 30, 40, 50, 60, 68}, {68, 68, 68, 68, 68, 68, 52, 52}, 0, {0, 1, 2, 3, 4, 5, 6, 7}};

inline uint64_t LoadBE64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
#if defined(_MSC_VER) && !defined(__clang__)
    return _byteswap_uint64(v);
#else
    return __builtin_bswap64(v);
#endif
}

// Reader state; also the record of a span of spare bits.  Invariants: the
// next unread bit is bit 63 of w; n bits of w are valid (bits below them are
// zero or the stream's own next bits); p is the byte whose first bit belongs
// at position n; budget is the number of bits that may still be consumed.
struct BitReader {
    uint64_t w;
    const uint8_t* p;
    int n;
    int budget;
};

// A reader with at most 48 bits in the window, so that a block's leftover
// bits (at most 15) can be put in front of them.  Written without a branch:
// whether a reader needs it depends on the data.
inline BitReader Normalised(BitReader r) {
    const int d = ((r.n - 41) & -(int)(r.n > 48)) >> 3;
    r.p -= d;
    r.n -= 8 * d;
    return r;
}

// Zeroes a block's 64 coefficients (16-byte aligned) with eight vector
// stores: a memset of this size becomes a string instruction, whose start-up
// costs more than the stores.
inline void ClearCoefficients(int16_t* c) {
#if defined(__SSE2__) || defined(_M_X64)
    // Written out: as a loop it is turned back into the string instruction.
    const __m128i zero = _mm_setzero_si128();
    __m128i* v = (__m128i*)c;
    _mm_store_si128(v + 0, zero);
    _mm_store_si128(v + 1, zero);
    _mm_store_si128(v + 2, zero);
    _mm_store_si128(v + 3, zero);
    _mm_store_si128(v + 4, zero);
    _mm_store_si128(v + 5, zero);
    _mm_store_si128(v + 6, zero);
    _mm_store_si128(v + 7, zero);
#else
    std::memset(c, 0, 64 * sizeof(int16_t));
#endif
}

// From a block's coefficients to its copy of the scan order.
constexpr ptrdiff_t kScanFromCoefficients =
    (ptrdiff_t)offsetof(DVMacroblockState, scanArea) - (ptrdiff_t)offsetof(DVMacroblockState, coefficientArea);
static_assert(sizeof(DVMacroblockState::scanArea[0]) == sizeof(DVMacroblockState::coefficientArea[0]),
              "the scan copies keep the coefficients' stride");

// Parses the 12-bit block header and positions the reader on the AC codes.
// Only the scan positions below kScanBytes are copied (a reader that stops
// past position 24 needs 32); layouts that always scan in the 8-8 order
// (kCopyScan false) keep the copy InitMacroblockState made.
template <int kScanBytes = 64, bool kCopyScan = true>
inline void StartBlock(DVBlockState& blk, const uint8_t* area, int acBits, int scanByMode, BitReader& r) {
    ClearCoefficients(blk.coefficients);
    const uint32_t hdr = (((uint32_t)area[0] << 8) | area[1]) >> 4;
    blk.classNumber = (int32_t)(hdr & 3);
    blk.mode = (int32_t)((hdr >> 2) & 1);
    const int dc = (int)((hdr >> 3) ^ 256) - 256;  // 9-bit two's complement
    blk.coefficients[0] = (int16_t)(dc * 8);
    blk.scan = g_scanOrders[blk.mode & scanByMode];
    if constexpr (kCopyScan) std::memcpy((uint8_t*)blk.coefficients + kScanFromCoefficients, blk.scan, kScanBytes);
    blk.position = 0;
    blk.last = 0;
    blk.leftoverBits = 0;
    blk.leftoverCount = 0;
    r.w = LoadBE64(area + 1) << 4;  // drop the header's last 4 bits
    r.n = 52;
    r.p = area + 8;
    r.budget = acBits;
}

// A block's reader and scan state in one record that the compiler keeps in
// registers while codes are read.
struct CodeCursor {
    uint64_t w;
    const uint8_t* p;
    // Register-wide, so that no sign extension sits between them and the
    // addresses they make.
    intptr_t n, budget, pos, end;
    int16_t* coef;  // the scan order is kScanFromCoefficients bytes on
};

enum { kCodeGoOn = 0, kCodeStop = 1 };

// One code of a cursor, with (kRefill) or without a refill of the window.
// A cursor holds at least 24 valid bits between pairs of steps, as readers
// do in RunCodes: the first step of a pair looks its code up and refills, the
// second finds 40 or more bits left.
template <int kLast, bool kRefill>
inline int CodeStep(CodeCursor& c) {
    const uint32_t e0 = g_vlcLevel1[c.w >> (64 - kVlcLevel1Bits)];
    const uint32_t e =
        (e0 & kVlcLinkFlag) ? g_vlcLevel2[((e0 >> kVlcValueShift) & 0xFFFF) + ((uint32_t)(c.w >> 48) & 31)] : e0;
    if (kRefill) {
        c.w |= LoadBE64(c.p) >> c.n;
        c.p += (63 - c.n) >> 3;
        c.n |= 56;
    }
    const intptr_t len = (intptr_t)(e & 31);
    if (len > c.budget) {
        c.end = c.pos;
        return kCodeStop;
    }
    c.budget -= len;
    // By the entry's low six bits (bit 5 is clear): a shift by the entry
    // itself, without the mask of len in front of it.
    c.w <<= (e & 63);
    c.n -= len;
    const intptr_t next = c.pos + (intptr_t)(e >> kVlcAdvanceShift);
    if (next > kLast) {
        c.end = next;
        return kCodeStop;
    }
    c.pos = next;
    c.coef[((const uint8_t*)c.coef + kScanFromCoefficients)[next]] = (int16_t)(uint16_t)(e >> kVlcValueShift);
    return kCodeGoOn;
}

inline CodeCursor OpenCursor(const BitReader& r, const DVBlockState& blk) {
    return CodeCursor{r.w, r.p, r.n, r.budget, blk.position, blk.position, blk.coefficients};
}

// Stores a cursor back; a finished one records where it ended.
inline void CloseCursor(const CodeCursor& c, BitReader& r, DVBlockState& blk, bool finished) {
    r.w = c.w;
    r.p = c.p;
    r.n = (int)c.n;
    r.budget = (int)c.budget;
    blk.last = (int32_t)c.pos;
    blk.position = (int32_t)(finished ? c.end : c.pos);
}

// Decodes codes until the block is complete (true) or the next code does not
// fit in the budget (false; nothing of it consumed).  Positions past kLast
// end the block; the coefficient there is not stored.
//
// Every stored reader holds at least 24 valid bits, so a code is looked up
// before the window is topped up: the refill's load then runs beside the
// table lookup instead of in front of it.  A refill leaves 56 or more bits
// and a code takes at most 16, so one refill serves two codes.  blk.last
// records the highest scan position stored so far.
template <int kLast>
inline bool RunCodes(BitReader& r, DVBlockState& blk) {
    CodeCursor c = OpenCursor(r, blk);
    while (CodeStep<kLast, true>(c) == kCodeGoOn && CodeStep<kLast, false>(c) == kCodeGoOn) {
    }
    CloseCursor(c, r, blk, true);
    return c.end > kLast;
}

// RunCodes on blocks a and b; returns their completion in *completeA and
// *completeB.  Each code of a block waits for the previous one (its length
// decides where the next begins), so one block alone leaves the processor
// idle for most of every table lookup; two independent blocks interleaved
// fill that time.  Blocks of a macroblock are independent in their own
// areas.
template <int kLast>
HVDV_CODE_INLINE void RunCodesPair(BitReader& ra, DVBlockState& a, BitReader& rb, DVBlockState& b, bool* completeA,
                                   bool* completeB) {
    CodeCursor ca = OpenCursor(ra, a), cb = OpenCursor(rb, b);
    bool aStopped;
    for (;;) {
        if (CodeStep<kLast, true>(ca) != kCodeGoOn) {
            aStopped = true;
            break;
        }
        if (CodeStep<kLast, true>(cb) != kCodeGoOn) {
            aStopped = false;
            break;
        }
        if (CodeStep<kLast, false>(ca) != kCodeGoOn) {
            aStopped = true;
            break;
        }
        if (CodeStep<kLast, false>(cb) != kCodeGoOn) {
            aStopped = false;
            break;
        }
    }
    if (aStopped) {
        CloseCursor(ca, ra, a, true);
        CloseCursor(cb, rb, b, false);
        *completeA = ca.end > kLast;
        *completeB = RunCodes<kLast>(rb, b);
    } else {
        CloseCursor(cb, rb, b, true);
        CloseCursor(ca, ra, a, false);
        *completeB = cb.end > kLast;
        *completeA = RunCodes<kLast>(ra, a);
    }
}

// The unread rest of a stopped block's budget (below 16 bits), right-aligned.
// The shift stays in range for any budget: callers that pass a finished
// block's reader mask the value away.
inline uint32_t LeftoverBits(const BitReader& r) {
    return (uint32_t)((r.w >> (63 - (r.budget & 15))) >> 1);
}

// A stopped block keeps the unread rest of its budget.
inline void KeepLeftover(DVBlockState& blk, const BitReader& r) {
    blk.leftoverCount = r.budget;
    blk.leftoverBits = LeftoverBits(r);
}

inline void StoreBE64(uint8_t* p, uint64_t v) {
#if defined(_MSC_VER) && !defined(__clang__)
    v = _byteswap_uint64(v);
#else
    v = __builtin_bswap64(v);
#endif
    std::memcpy(p, &v, 8);
}

// Spare bits lent by several spans, gathered in order into one buffer, so
// that the blocks continuing in them read a single stream: a block that
// does not finish in one span goes on in the next (a code may straddle
// them), and the next block starts where the previous one finished.  One
// exit from the code loop per block instead of one per block and span.
template <int kBytes>
struct SpareBits {
    uint8_t bytes[kBytes + 8 + kOverRead];  // 8: the last append's overshoot
    int bits;
    uint64_t pending;  // the bits after the last whole byte, at the top (bits & 7 of them)

    void Restart() {
        bits = 0;
        pending = 0;
    }
    // Zeroes the bytes after the gathered bits that a reader's look-ahead
    // loads (the appends wrote everything before them), so that nothing it
    // reads is left from an earlier segment or uninitialised.
    void Seal() { std::memset(bytes + ((bits + 7) >> 3), 0, 8 + kOverRead); }
};
// Pass 2: the spans of one macroblock (at most its blocks' AC bits, 536).
// Pass 3: what the segment's macroblocks have left.
enum { kMacroblockSpareBytes = 68, kSegmentSpareBytes = 5 * 68 };

// Appends the whole budget of `span`, up to 56 bits at a time.  Every store
// writes the pending bits of the last byte again together with the new ones
// (and zeros after them), so nothing stored is ever loaded back: a load that
// straddles the previous store cannot be forwarded from it and would wait
// for the store to reach the cache.
template <int kBytes>
inline void AppendSpan(SpareBits<kBytes>& spare, BitReader span) {
    uint64_t pending = spare.pending;
    int bits = spare.bits;
    for (int left = span.budget; left > 0; left -= 56) {
        span.w |= LoadBE64(span.p) >> span.n;
        span.p += (63 - span.n) >> 3;
        span.n |= 56;
        const int take = left < 56 ? left : 56;
        const uint64_t chunk = span.w & ~(~(uint64_t)0 >> take);
        span.w <<= 56;
        span.n -= 56;
        const int used = bits & 7;
        const uint64_t all = pending | (chunk >> used);  // used + take <= 63 bits
        StoreBE64(spare.bytes + (bits >> 3), all);
        pending = all << (8 * ((used + take) >> 3));
        bits += take;
    }
    spare.pending = pending;
    spare.bits = bits;
}

// Continues blocks[0..count) one after another in the gathered bits.  The
// first block that runs out of bits keeps the unread rest (below 16 bits)
// as its leftover; it and the blocks after it stay unfinished.  Returns the
// number of blocks completed; when all are, *rest reads what is left.
template <int kBytes>
int ContinueBlocks(const SpareBits<kBytes>& spare, DVBlockState* const* blocks, int count, BitReader* rest) {
    BitReader r;
    r.w = LoadBE64(spare.bytes);
    r.p = spare.bytes + 7;
    r.n = 56;
    r.budget = spare.bits;
    r = Normalised(r);
    for (int i = 0; i < count; i++) {
        DVBlockState& blk = *blocks[i];
        // The block's own leftover bits come first, then the lent ones
        // (without a branch: leftoverBits is 0 when there are none).
        BitReader b = r;
        const int k = blk.leftoverCount;
        b.w = (((uint64_t)blk.leftoverBits << 1) << (63 - k)) | (r.w >> k);
        b.n += k;
        b.budget += k;
        if (!RunCodes<63>(b, blk)) {
            KeepLeftover(blk, b);
            return i;
        }
        blk.leftoverCount = 0;
        r = Normalised(b);
    }
    *rest = r;
    return count;
}

// A macroblock that is not in the frame: every block is DC 0, 8-8, class 0.
void ClearMacroblock(DVMacroblockState& mb) {
    for (int b = 0; b < mb.blockCount; b++) {
        DVBlockState& blk = mb.blocks[b];
        std::memset(blk.coefficients, 0, 64 * sizeof(int16_t));
        blk.mode = 0;
        blk.classNumber = 0;
        blk.position = 0;
        blk.last = 0;
        blk.leftoverCount = 0;
        blk.scan = g_scanOrders[0];
    }
}

template <int kLast, const DVBlockLayout& layout>
void DecodeOwnBits(DVMacroblockState* macroblocks) {
    constexpr int kScanBytes = kLast < 32 ? 32 : 64;
    constexpr bool kCopyScan = layout.scanByMode != 0;
    for (int j = 0; j < kMacroblocksPerSegment; j++) {
        DVMacroblockState& mb = macroblocks[j];
        if (mb.missing) {
            ClearMacroblock(mb);
            continue;
        }
        int i = 0;
        for (; i + 1 < layout.blockCount; i += 2) {
            const int b0 = layout.pairOrder[i], b1 = layout.pairOrder[i + 1];
            BitReader r0, r1;
            bool c0, c1;
            StartBlock<kScanBytes, kCopyScan>(mb.blocks[b0], mb.data + layout.offset[b0], layout.bits[b0],
                                              layout.scanByMode, r0);
            StartBlock<kScanBytes, kCopyScan>(mb.blocks[b1], mb.data + layout.offset[b1], layout.bits[b1],
                                              layout.scanByMode, r1);
            RunCodesPair<kLast>(r0, mb.blocks[b0], r1, mb.blocks[b1], &c0, &c1);
        }
        if (i < layout.blockCount) {
            const int b = layout.pairOrder[i];
            BitReader r;
            StartBlock<kScanBytes, kCopyScan>(mb.blocks[b], mb.data + layout.offset[b], layout.bits[b],
                                              layout.scanByMode, r);
            RunCodes<kLast>(r, mb.blocks[b]);
        }
    }
}

// Pass 1 in every block's own area, pass 2 within each macroblock, pass 3
// across the segment.
constexpr bool PairsInBlockOrder(const DVBlockLayout& layout) {
    for (int i = 0; i < layout.blockCount; i++)
        if (layout.pairOrder[i] != i) return false;
    return true;
}

// A reader of the budget left in a block's area after `consumed` of its AC
// bits (which start at bit 12).
inline BitReader ReaderAfter(const uint8_t* area, int consumed, int remaining) {
    const int bit = 12 + consumed;
    BitReader r;
    r.w = LoadBE64(area + (bit >> 3)) << (bit & 7);
    r.n = 56 - (bit & 7);
    r.p = area + (bit >> 3) + 7;
    r.budget = remaining;
    return r;
}

// ends: where pass 1 left each block, when it has been done already
// (ContinueThreePasses); null: pass 1 here.
template <const DVBlockLayout& layout>
void DecodeThreePasses(DVMacroblockState* macroblocks, const DVOwnAreaEnd (*ends)[kMaxBlocks] = nullptr) {
    constexpr bool kInOrder = PairsInBlockOrder(layout);
    constexpr bool kCopyScan = layout.scanByMode != 0;
    // Once a macroblock marked damaged (STA bit 0 or 3) has been met, the
    // unfinished blocks of later macroblocks no longer take part in pass 3.
    int excluded = 0;
    DVBlockState* segmentBlocks[kMacroblocksPerSegment * kMaxBlocks];
    int segmentBlockCount = 0;
    SpareBits<kMacroblockSpareBytes> lent;
    SpareBits<kSegmentSpareBytes> segmentLent;
    lent.Restart();
    segmentLent.Restart();

    for (int j = 0; j < kMacroblocksPerSegment; j++) {
        DVMacroblockState& mb = macroblocks[j];
        if (mb.missing) {
            ClearMacroblock(mb);
            continue;
        }
        // Pass 1: every block in its own area, two at a time in the
        // layout's pair order.  Then unfinished blocks keep their leftover
        // and finished ones lend the rest of their area, in block order
        // (after each pair when the pairs are in block order); sorted
        // without branches, as which it is depends on the data.
        DVBlockState* unfinished[kMaxBlocks];
        BitReader spans[kMaxBlocks];
        int unfinishedCount = 0, spanCount = 0;
        auto sort = [&](DVBlockState& blk, const BitReader& r, bool done) {
            const uint32_t keep = (uint32_t)done - 1u;  // all ones when unfinished
            blk.leftoverCount = (int32_t)((uint32_t)r.budget & keep);
            blk.leftoverBits = LeftoverBits(r) & keep;
            unfinished[unfinishedCount] = &blk;
            unfinishedCount += !done;
            spans[spanCount] = r;  // AppendSpan takes any window fill
            spanCount += done && r.budget > 0;
        };
        if (ends) {
            for (int b = 0; b < layout.blockCount; b++) {
                const DVOwnAreaEnd& e = ends[j][b];
                sort(mb.blocks[b], ReaderAfter(mb.data + layout.offset[b], layout.bits[b] - e.remaining, e.remaining),
                     e.complete != 0);
            }
        } else if constexpr (kInOrder) {
            for (int b = 0; b < layout.blockCount; b += 2) {
                BitReader r[2];
                bool complete[2];
                const int count = b + 1 < layout.blockCount ? 2 : 1;
                StartBlock<64, kCopyScan>(mb.blocks[b], mb.data + layout.offset[b], layout.bits[b], layout.scanByMode,
                                          r[0]);
                if (count == 2) {
                    StartBlock<64, kCopyScan>(mb.blocks[b + 1], mb.data + layout.offset[b + 1], layout.bits[b + 1],
                                              layout.scanByMode, r[1]);
                    RunCodesPair<63>(r[0], mb.blocks[b], r[1], mb.blocks[b + 1], &complete[0], &complete[1]);
                } else {
                    complete[0] = RunCodes<63>(r[0], mb.blocks[b]);
                }
                for (int i = 0; i < count; i++) sort(mb.blocks[b + i], r[i], complete[i]);
            }
        } else {
            BitReader r[kMaxBlocks];
            bool complete[kMaxBlocks];
            for (int i = 0; i < layout.blockCount; i += 2) {
                const int b0 = layout.pairOrder[i];
                StartBlock<64, kCopyScan>(mb.blocks[b0], mb.data + layout.offset[b0], layout.bits[b0],
                                          layout.scanByMode, r[b0]);
                if (i + 1 < layout.blockCount) {
                    const int b1 = layout.pairOrder[i + 1];
                    StartBlock<64, kCopyScan>(mb.blocks[b1], mb.data + layout.offset[b1], layout.bits[b1],
                                              layout.scanByMode, r[b1]);
                    RunCodesPair<63>(r[b0], mb.blocks[b0], r[b1], mb.blocks[b1], &complete[b0], &complete[b1]);
                } else {
                    complete[b0] = RunCodes<63>(r[b0], mb.blocks[b0]);
                }
            }
            for (int b = 0; b < layout.blockCount; b++) sort(mb.blocks[b], r[b], complete[b]);
        }
        const int damaged = mb.sta & 9;
        if (damaged) {
            excluded |= damaged;
            continue;
        }
        // Pass 2: within the macroblock.  Without unfinished blocks every
        // span is lent to the segment.
        if (unfinishedCount == 0) {
            for (int sp = 0; sp < spanCount; sp++) AppendSpan(segmentLent, spans[sp]);
            continue;
        }
        int finished = 0;
        if (spanCount > 0) {
            lent.Restart();
            for (int sp = 0; sp < spanCount; sp++) AppendSpan(lent, spans[sp]);
            lent.Seal();
            BitReader rest;
            finished = ContinueBlocks(lent, unfinished, unfinishedCount, &rest);
            if (finished == unfinishedCount) {
                AppendSpan(segmentLent, rest);
                continue;
            }
        }
        if (!excluded)
            for (int c = finished; c < unfinishedCount; c++) segmentBlocks[segmentBlockCount++] = unfinished[c];
    }
    // Pass 3: across the segment.
    if (segmentBlockCount == 0 || segmentLent.bits == 0) return;
    segmentLent.Seal();
    BitReader rest;
    ContinueBlocks(segmentLent, segmentBlocks, segmentBlockCount, &rest);
}

// The three passes after pass 1 (see ContinueThreePassesBmi2).  The
// high-definition layout is told by its block count, as the lanes that ran
// pass 1 tell it.
inline void ContinueSegmentCoefficients(DVMacroblockState* macroblocks, const DVBlockLayout& layout,
                                        const DVOwnAreaEnd (*ends)[kMaxBlocks]) {
    const bool hd = layout.blockCount == kLayoutHD.blockCount, dv50 = &layout == &kLayout50;
    return hd     ? DecodeThreePasses<kAreasHD>(macroblocks, ends)
           : dv50 ? DecodeThreePasses<kAreas50>(macroblocks, ends)
                  : DecodeThreePasses<kAreas25>(macroblocks, ends);
}

// Three passes, single pass or half size for a segment of layout kLayout25,
// kLayout50 or kLayoutHD.
inline void DecodeSegmentCoefficients(DVMacroblockState* macroblocks, const DVBlockLayout& layout,
                                      DVCoefficientPasses passes) {
    const bool hd = &layout == &kLayoutHD, dv50 = &layout == &kLayout50;
    switch (passes) {
        case kPassesThree:
            return hd     ? DecodeThreePasses<kAreasHD>(macroblocks)
                   : dv50 ? DecodeThreePasses<kAreas50>(macroblocks)
                          : DecodeThreePasses<kAreas25>(macroblocks);
        case kPassesSingle:
            return hd     ? DecodeOwnBits<63, kAreasHD>(macroblocks)
                   : dv50 ? DecodeOwnBits<63, kAreas50>(macroblocks)
                          : DecodeOwnBits<63, kAreas25>(macroblocks);
        case kPassesHalf:
            return hd     ? DecodeOwnBits<24, kAreasHD>(macroblocks)
                   : dv50 ? DecodeOwnBits<24, kAreas50>(macroblocks)
                          : DecodeOwnBits<24, kAreas25>(macroblocks);
    }
}

}  // namespace
}  // namespace hvdv
