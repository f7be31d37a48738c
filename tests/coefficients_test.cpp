// Coefficient decoding against segments built from the encoder's side: each
// block's code stream is laid into its own area, and what does not fit goes
// into the spare bits of the macroblock, then of the segment, in the DV
// order.  The decoders must recover exactly the codes that were placed whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "decode/coefficients.h"
#include "decode/tables.h"
#include "dv_code_list.h"
#include "hv_dec_dv.h"

using namespace hvdv;
using dvtest::BitWriter;

namespace {

constexpr int kBlockBytes[6] = {14, 14, 14, 14, 10, 10};
constexpr int kBlockOffset[6] = {0, 14, 28, 42, 56, 66};

struct CodeUse {
    std::string bits;
    int advance;  // run + 1, 64 for end of block
    int value;    // amplitude * 16
};

struct Block {
    int dc = 0, mode = 0, cls = 0;
    std::vector<CodeUse> codes;
    std::string stream;  // concatenated code bits
};

struct Segment {
    int sta[5] = {0, 0, 0, 0, 0};
    Block blocks[5][6];
};

CodeUse Escape(int amplitude, int sign) {
    std::string s = "1111111";
    for (int i = 7; i >= 0; i--) s += ((amplitude >> i) & 1) ? '1' : '0';
    s += sign ? '1' : '0';
    return {s, 1, (sign ? -16 : 16) * amplitude};
}

CodeUse ZeroRun(int run) {
    std::string s = "1111110";
    for (int i = 5; i >= 0; i--) s += ((run >> i) & 1) ? '1' : '0';
    return {s, run + 1, 0};
}

CodeUse ListCode(const dvtest::Code& c, int sign) {
    if (c.run == 64) return {c.bits, 64, 0};
    if (c.amplitude == 0) return {c.bits, c.run + 1, 0};
    return {c.bits + (sign ? "1" : "0"), c.run + 1, (sign ? -16 : 16) * c.amplitude};
}

const dvtest::Code& EndOfBlock() {
    for (const auto& c : dvtest::CodeList())
        if (c.run == 64) return c;
    return dvtest::CodeList()[0];
}

// A random block: codes up to a random length, then end of block (or, now
// and then, a run that leaves the block).
Block RandomBlock(std::mt19937& rng, int targetBits) {
    Block b;
    b.dc = (int)(rng() % 512) - 256;
    b.mode = (int)(rng() % 2);
    b.cls = (int)(rng() % 4);
    int pos = 0;
    const auto& list = dvtest::CodeList();
    while ((int)b.stream.size() < targetBits) {
        CodeUse c;
        int kind = (int)(rng() % 20);
        if (kind == 0) c = Escape(23 + (int)(rng() % 233), (int)(rng() % 2));
        else if (kind == 1) c = ZeroRun(6 + (int)(rng() % 10));
        else {
            const auto& d = list[rng() % list.size()];
            if (d.run == 64) continue;
            c = ListCode(d, (int)(rng() % 2));
        }
        if (pos + c.advance > 63) break;
        pos += c.advance;
        b.codes.push_back(c);
        b.stream += c.bits;
    }
    if (rng() % 16 == 0 && pos >= 2) {
        CodeUse c = ZeroRun(61);  // runs past position 63: ends the block
        b.codes.push_back(c);
        b.stream += c.bits;
    } else {
        CodeUse c = ListCode(EndOfBlock(), 0);
        b.codes.push_back(c);
        b.stream += c.bits;
    }
    return b;
}

struct Placement {
    std::vector<uint8_t> bytes;   // 5 x 77 payload bytes and read-ahead padding
    int placed[5][6] = {};        // stream bits placed, all passes
    int ownBits[5][6] = {};       // stream bits in the block's own area
};

// Lays out a segment the way an encoder distributes bits.  Unused bits are
// random, so a decoder that reads past a budget shows it.
Placement Place(const Segment& seg, std::mt19937& rng) {
    Placement pl;
    std::vector<int> bits(5 * 77 * 8);
    for (int& b : bits) b = (int)(rng() & 1);
    auto areaStart = [](int j, int b) { return (77 * j + 1 + kBlockOffset[b]) * 8; };
    struct Spare {
        int pos, len;
    };
    std::vector<Spare> mbSpare[5];
    for (int j = 0; j < 5; j++) {
        int byte0 = (seg.sta[j] << 4) | (int)(rng() % 16);
        for (int i = 0; i < 8; i++) bits[77 * j * 8 + i] = (byte0 >> (7 - i)) & 1;
        for (int b = 0; b < 6; b++) {
            const Block& blk = seg.blocks[j][b];
            int start = areaStart(j, b);
            int header = ((blk.dc & 511) << 3) | (blk.mode << 2) | blk.cls;
            for (int i = 0; i < 12; i++) bits[start + i] = (header >> (11 - i)) & 1;
            int budget = kBlockBytes[b] * 8 - 12;
            int n = std::min<int>(budget, (int)blk.stream.size());
            for (int i = 0; i < n; i++) bits[start + 12 + i] = blk.stream[i] - '0';
            pl.placed[j][b] = pl.ownBits[j][b] = n;
            if (n < budget) mbSpare[j].push_back({start + 12 + n, budget - n});
        }
    }
    // Writes the rest of block (j, b) into spares, in order; false if it
    // did not all fit.
    auto fill = [&](std::vector<Spare*>& spares, size_t& cursor, int j, int b) {
        const std::string& s = seg.blocks[j][b].stream;
        while (pl.placed[j][b] < (int)s.size()) {
            while (cursor < spares.size() && spares[cursor]->len == 0) cursor++;
            if (cursor == spares.size()) return false;
            Spare& sp = *spares[cursor];
            bits[sp.pos++] = s[pl.placed[j][b]++] - '0';
            sp.len--;
        }
        return true;
    };
    auto remaining = [&](int j, int b) { return pl.placed[j][b] < (int)seg.blocks[j][b].stream.size(); };
    int firstDamaged = 5;
    for (int j = 0; j < 5; j++)
        if (seg.sta[j] & 9) {
            firstDamaged = j;
            break;
        }
    std::vector<Spare*> segmentSpares;
    for (int j = 0; j < 5; j++) {
        if (seg.sta[j] & 9) continue;
        std::vector<Spare*> spares;
        for (Spare& s : mbSpare[j]) spares.push_back(&s);
        size_t cursor = 0;
        for (int b = 0; b < 6; b++)
            if (remaining(j, b) && !fill(spares, cursor, j, b)) break;
        for (Spare& s : mbSpare[j])
            if (s.len > 0) segmentSpares.push_back(&s);
    }
    size_t cursor = 0;
    for (int j = 0; j < firstDamaged; j++)
        for (int b = 0; b < 6; b++)
            if (remaining(j, b)) fill(segmentSpares, cursor, j, b);

    pl.bytes.assign(5 * 77 + kOverRead, 0);
    for (size_t i = 0; i < bits.size(); i++)
        if (bits[i]) pl.bytes[i / 8] |= (uint8_t)(0x80 >> (i % 8));
    return pl;
}

// The coefficients a block must hold when `available` bits of its stream
// were placed and positions beyond lastPosition are not stored.
std::vector<int16_t> Expected(const Block& blk, int available, int lastPosition, bool* complete = nullptr) {
    std::vector<int16_t> c(64, 0);
    c[0] = (int16_t)(blk.dc * 8);
    const uint8_t* scan = blk.mode ? kScan248 : kScan88;
    int used = 0, pos = 0;
    if (complete) *complete = false;
    for (const CodeUse& code : blk.codes) {
        used += (int)code.bits.size();
        if (used > available) return c;
        pos += code.advance;
        if (pos > lastPosition) break;
        int i = scan[pos];
        c[InternalIndex(i >> 3, i & 7)] = (int16_t)code.value;
    }
    if (complete) *complete = true;
    return c;
}

enum class Decoder { ThreePass, SinglePass, Half };

void Check(const Segment& seg, const Placement& pl, Decoder which, const char* what) {
    DVMacroblockState states[5];
    for (int j = 0; j < 5; j++) {
        InitMacroblockState(&states[j], 6);
        BeginMacroblock(&states[j], pl.bytes.data() + 77 * j, j, 0, 0);
    }
    if (which == Decoder::ThreePass) DecodeCoefficients(states);
    else if (which == Decoder::SinglePass) DecodeCoefficientsSinglePass(states);
    else DecodeCoefficientsHalf(states);
    for (int j = 0; j < 5; j++) {
        for (int b = 0; b < 6; b++) {
            const Block& blk = seg.blocks[j][b];
            int available = which == Decoder::ThreePass ? pl.placed[j][b] : pl.ownBits[j][b];
            std::vector<int16_t> want = Expected(blk, available, which == Decoder::Half ? 24 : 63);
            const DVBlockState& got = states[j].blocks[b];
            ASSERT_EQ(got.mode, blk.mode) << what;
            ASSERT_EQ(got.classNumber, blk.cls) << what;
            for (int i = 0; i < 64; i++)
                ASSERT_EQ(got.coefficients[i], want[i])
                    << what << ": macroblock " << j << " block " << b << " internal index " << i
                    << " (placed " << available << " of " << blk.stream.size() << " bits)";
            // The segment loop paints a block flat when last is 0 and may
            // skip work past last: no nonzero AC term may lie beyond it.
            ASSERT_GE(got.last, 0) << what;
            ASSERT_LE(got.last, which == Decoder::Half ? 24 : 63) << what;
            for (int p = got.last + 1; p < 64; p++)
                ASSERT_EQ(0, got.coefficients[g_scanOrders[blk.mode][p]])
                    << what << ": macroblock " << j << " block " << b << " scan position " << p
                    << " beyond last " << got.last;
        }
    }
}

TEST(Coefficients, RandomSegmentsDecodeAsPlaced) {
    InitDVDec();
    std::mt19937 rng(12345);
    int straddles = 0, completedLater = 0, stillShortAfterLending = 0, excludedSegments = 0;
    for (int iter = 0; iter < 3000; iter++) {
        Segment seg;
        // Mostly short blocks with a few long ones, so spare bits and
        // overflow meet in every pass.
        for (int j = 0; j < 5; j++) {
            int r = (int)(rng() % 16);
            seg.sta[j] = r == 0 ? 8 : r == 1 ? 1 : r == 2 ? 2 : 0;
            for (int b = 0; b < 6; b++) {
                int budget = kBlockBytes[b] * 8 - 12;
                int target = (rng() % 3 == 0) ? budget + (int)(rng() % 200) : (int)(rng() % budget);
                seg.blocks[j][b] = RandomBlock(rng, target);
            }
        }
        Placement pl = Place(seg, rng);
        bool anyExcluded = false;
        for (int j = 0; j < 5; j++) {
            anyExcluded |= (seg.sta[j] & 9) != 0;
            for (int b = 0; b < 6; b++) {
                const Block& blk = seg.blocks[j][b];
                int own = pl.ownBits[j][b];
                bool ownComplete = false, complete = false;
                Expected(blk, own, 63, &ownComplete);
                Expected(blk, pl.placed[j][b], 63, &complete);
                if (!ownComplete && complete) {
                    completedLater++;
                    // The first code not wholly in the block's own area
                    // starts inside it: split between own and lent bits.
                    int used = 0;
                    for (const CodeUse& c : blk.codes) {
                        if (used < own && used + (int)c.bits.size() > own) straddles++;
                        used += (int)c.bits.size();
                    }
                }
                if (!complete && pl.placed[j][b] > own) stillShortAfterLending++;
            }
        }
        excludedSegments += anyExcluded;
        Check(seg, pl, Decoder::ThreePass, "three-pass");
        Check(seg, pl, Decoder::SinglePass, "single-pass");
        Check(seg, pl, Decoder::Half, "half");
        if (HasFatalFailure()) return;
    }
    // The cases that matter were met: codes split between a block's own
    // area and lent bits, blocks completed with lent bits, damaged
    // macroblocks excluded from redistribution.
    EXPECT_GT(straddles, 100);
    EXPECT_GT(completedLater, 100);
    EXPECT_GT(stillShortAfterLending, 10);
    EXPECT_GT(excludedSegments, 100);
}

}  // namespace
