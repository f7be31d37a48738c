// ProbeFrame on every committed stream, intact and with the damage real
// tapes show, against the profile the compatible interface decodes the
// intact frame with.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "format/probe.h"
#include "test_streams.h"

using namespace hvdv;

namespace {

// Every stream of tests/data, by frame size.
const std::pair<uint32_t, std::vector<std::string>> kStreams[] = {
    {144000, {"sample_625_420", "pal_411", "pal_420_wide_32k", "pal_420_detail"}},
    {120000,
     {"ntsc_411_48k", "ntsc_411_detail", "meta_tc_525", "meta_minute_525", "dvrescue_cc_525", "jj_sony_perfect",
      "jj_sony_good_quality", "jj_sony_head_clog"}},
    {240000, {"dv50_525", "hd_720p60"}},
    {288000, {"dv50_625", "dv50_625_audio"}},
    {480000, {"hd_1080i60"}},
    {576000, {"hd_1080i50"}},
};

using Frame = std::vector<uint8_t>;
constexpr uint32_t kAll = kProbeHeader | kProbeVaux | kProbeBlockIds | kProbeSize;

// Block b of sequence q (the streams store header blocks: 150 blocks a sequence).
uint8_t* Block(Frame& f, size_t q, size_t b) {
    return &f[q * 12000 + b * 80];
}

void ErasePayload(Frame& f, size_t q, size_t b, size_t bytes = 77) {
    std::memset(Block(f, q, b) + 3, 0xFF, bytes);
}

// Blank tape: no subcode, VAUX or AAUX pack survives, every video block
// says its data is concealed (STA 0xA); the block IDs and header blocks stay.
void Blank(Frame& f) {
    for (size_t q = 0; q < f.size() / 12000; q++)
        for (size_t b = 1; b < 150; b++) {
            if (b < 6 || (b - 6) % 16 == 0) ErasePayload(f, q, b, b < 6 ? 77 : 5);
            if (b > 6 && (b - 6) % 16 != 0) Block(f, q, b)[3] = (uint8_t)(0xA0 | (Block(f, q, b)[3] & 0x0F));
        }
}

// Every VAUX source pack's STYPE set to 1035 lines.
void Stype1035(Frame& f) {
    for (size_t q = 0; q < f.size() / 12000; q++)
        for (size_t b = 3; b < 6; b++)
            for (int i = 0; i < 15; i++) {
                uint8_t* pack = Block(f, q, b) + 3 + 5 * i;
                if (pack[0] == 0x60) pack[3] = (uint8_t)((pack[3] & 0xE0) | kStype1035);
            }
}

void EraseVauxOfSequence0(Frame& f) {
    for (size_t b = 3; b < 6; b++) ErasePayload(f, 0, b);
}

void FlipDsf(Frame& f) {
    for (size_t q = 0; q < f.size() / 12000; q++) Block(f, q, 0)[3] ^= 0x80;
}

// APT 1 in every header block, AP1-AP3 as they were: 4:1:1 at 625/50
// only when all four are 1, as ClassifyFrame rules (FFmpeg takes APT alone).
void SetAptAlone(Frame& f) {
    for (size_t q = 0; q < f.size() / 12000; q++) Block(f, q, 0)[4] = (uint8_t)((Block(f, q, 0)[4] & 0xF8) | 1);
}

// Stored without header blocks: 149 blocks a sequence.
void StripHeaderBlocks(Frame& f) {
    Frame out;
    for (size_t q = 0; q < f.size() / 12000; q++) out.insert(out.end(), Block(f, q, 1), Block(f, q, 0) + 12000);
    f = out;
}

void Noise(Frame& f) {
    uint32_t x = 12345;
    for (uint8_t& v : f) v = (uint8_t)((x = x * 1103515245u + 12345u) >> 24);
}

// When a damage makes the probe fail.  Only STYPE tells 50 Mb/s from 720
// lines; only a 720-line picture lies on channels 2 and 3 alone; half of a
// multi-channel frame has the size of a frame of another kind.
enum When { kNever, kAlways, kChannels01, kTwoChannels01, kMultiChannel01 };
using F = DVProbeFailure;

const struct {
    const char* name;
    void (*apply)(Frame&);
    uint32_t lost, conflicts;  // sources missing from kAll / disagreeing when identified
    DVProbeFailure failure;
    When when;
} kDamages[] = {
    {"intact", [](Frame&) {}, 0, 0, F::kNone, kNever},
    {"vaux_of_sequence_0_erased", EraseVauxOfSequence0, 0, 0, F::kNone, kNever},
    {"blank_tape", Blank, kProbeVaux, 0, F::kAmbiguous, kTwoChannels01},
    {"apt_alone", SetAptAlone, 0, 0, F::kNone, kNever},
    {"dsf_flipped_everywhere", FlipDsf, kProbeHeader, kProbeHeader, F::kNone, kNever},
    {"sequence_numbers_lost",
     [](Frame& f) {
         for (size_t b = 0; b < f.size() / 80; b++) f[80 * b + 1] |= 0xF0;
     },
     kProbeBlockIds, kProbeBlockIds, F::kNone, kNever},
    // Nothing says APT then: 625/50 4:1:1 is read as 4:2:0, as ClassifyFrame does.
    {"header_blocks_not_stored", StripHeaderBlocks, kProbeHeader, 0, F::kNone, kNever},
    {"truncated_to_half", [](Frame& f) { f.resize(f.size() / 2); }, kProbeSize, kProbeSize, F::kAmbiguous,
     kMultiChannel01},
    {"stype_1035", Stype1035, kProbeVaux, kProbeVaux, F::kUnsupported, kChannels01},
    {"shorter_than_a_sequence", [](Frame& f) { f.resize(11999); }, 0, 0, F::kTruncated, kAlways},
    {"random_bytes", Noise, 0, 0, F::kNotDv, kAlways},
    {"zeros", [](Frame& f) { std::fill(f.begin(), f.end(), 0); }, 0, 0, F::kNotDv, kAlways},
};

TEST(Probe, EveryStreamIntactAndDamaged) {
    for (const auto& [frameBytes, names] : kStreams)
        for (const std::string& name : names) {
            const testdata::Stream stream = testdata::Load(name + ".dv", frameBytes, 0);
            ASSERT_GE(stream.frames(), 1u) << name;
            // The first two frames: the second picture of a 720-line frame is on channels 2 and 3.
            for (size_t i = 0; i < stream.frames() && i < 2; i++) {
                const Frame intact = stream.copy(i);
                uint32_t type = 0;
                bool forced = false;
                const DVProfile* want = FrameProfileForDecoding(intact.data(), frameBytes, 0, &type, &forced);
                ASSERT_NE(want, nullptr) << name;
                const bool pair01 = (intact[1] & 4) != 0;  // FSP 1
                for (const auto& d : kDamages) {
                    Frame f = intact;
                    d.apply(f);
                    const bool fails = d.when == kAlways ||
                                       (d.when == kTwoChannels01 && want->channels == 2 && pair01) ||
                                       (d.when == kMultiChannel01 && want->channels > 1 && pair01) ||
                                       (d.when == kChannels01 && pair01);
                    SCOPED_TRACE(testing::Message() << name << " frame " << i << ": " << d.name);
                    DVProbe probe;
                    EXPECT_EQ(ProbeFrame(f.data(), (uint32_t)f.size(), &probe), !fails);
                    EXPECT_EQ(probe.failure, fails ? d.failure : DVProbeFailure::kNone);
                    const bool stripped = f.size() % 11920 == 0;
                    EXPECT_EQ(probe.headerBlocks, !stripped);
                    if (fails) {
                        EXPECT_EQ(probe.profile, nullptr);
                        continue;
                    }
                    // 4:1:1 at 625/50 needs the header's APT.
                    const bool lostApt = stripped && want->kind == kKind625_411;
                    EXPECT_EQ(probe.profile, lostApt ? ProfileForKind(kKind625_420) : want);
                    EXPECT_EQ(probe.sources, kAll & ~d.lost);
                    EXPECT_EQ(probe.conflicts, d.conflicts);
                    if (probe.sources & kProbeVaux) {
                        EXPECT_EQ(probe.vauxAgreeing, probe.vauxCopies);
                        EXPECT_EQ(probe.wide, (type & kFrameWide) != 0);
                    } else {
                        EXPECT_EQ(probe.vauxAgreeing, 0);
                    }
                }
            }
        }
}

// The clogged-head frame: sequence 0 lost its VAUX packs; sequences 2 and 6
// carry the source pack in its even-sequence place, 3 and 7 in the odd one.
TEST(Probe, ClogHeadFrame) {
    const Frame f = testdata::ReadFile("jj_sony_head_clog.dv");
    DVProbe probe;
    ASSERT_TRUE(ProbeFrame(f.data(), (uint32_t)f.size(), &probe));
    EXPECT_EQ(probe.profile, ProfileForKind(kKind525_411));
    EXPECT_EQ(probe.sources, kAll);
    EXPECT_EQ(probe.vauxCopies, 4);
    EXPECT_EQ(probe.vauxAgreeing, 4);
}

}  // namespace

// The decoder's place table against MacroblockPosition for every block ID of
// every kind placed by block ID (720p50 has no committed stream).
TEST(Places, TableMatchesPosition) {
    for (int kind : {kKind625_422, kKind525_422, kKind720_50, kKind720_60, kKind1080_50, kKind1080_60}) {
        const DVProfile& p = *ProfileForKind(kind);
        const uint16_t* places = PlacesByBlockId(p);
        ASSERT_NE(places, nullptr);
        int mismatches = 0;
        for (int c = 0; c < 4; c++)
            for (int s = 0; s < 16; s++)
                for (int b = 0; b < (int)kVideoBlocksPerSequence; b++) {
                    int x = -1, y = -1;
                    const bool placed = MacroblockPosition(p, c, s, b / 5, b % 5, &x, &y);
                    const uint16_t e = places[(16 * c + s) * kVideoBlocksPerSequence + b];
                    const bool same = placed ? e != kNoPlace && 16 * (e >> 8) == x && 8 * (e & 0xFF) == y
                                             : e == kNoPlace;
                    mismatches += !same;
                }
        EXPECT_EQ(mismatches, 0) << "kind " << kind;
    }
    EXPECT_EQ(PlacesByBlockId(*ProfileForKind(kKind625_420)), nullptr);
}
