// ProbeFrame on every committed stream, intact and with the damage real
// tapes show, against the profile the compatible interface decodes the
// intact frame with.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "format/probe.h"
#include "test_streams.h"

using namespace hvdv;

namespace {

// Every stream of tests/data and its frame size.
const struct {
    const char* name;
    uint32_t frameBytes;
} kStreams[] = {
    {"sample_625_420.dv", 144000}, {"pal_411.dv", 144000},         {"pal_420_wide_32k.dv", 144000},
    {"pal_420_detail.dv", 144000}, {"ntsc_411_48k.dv", 120000},    {"ntsc_411_detail.dv", 120000},
    {"meta_tc_525.dv", 120000},    {"meta_minute_525.dv", 120000}, {"dvrescue_cc_525.dv", 120000},
    {"jj_sony_perfect.dv", 120000}, {"jj_sony_good_quality.dv", 120000},
    {"jj_sony_head_clog.dv", 120000}, {"dv50_525.dv", 240000},     {"dv50_625.dv", 288000},
    {"dv50_625_audio.dv", 288000}, {"hd_1080i60.dv", 480000},      {"hd_1080i50.dv", 576000},
    {"hd_720p60.dv", 240000},
};

using Frame = std::vector<uint8_t>;
constexpr uint32_t kAll = kProbeHeader | kProbeVaux | kProbeBlockIds | kProbeSize;

// Block b of sequence q (the streams store header blocks: 150 blocks a sequence).
uint8_t* Block(Frame& f, size_t q, size_t b) { return &f[q * 12000 + b * 80]; }

void ErasePayload(Frame& f, size_t q, size_t b, size_t bytes = 77) { std::memset(Block(f, q, b) + 3, 0xFF, bytes); }

// Blank tape: no subcode, VAUX or AAUX pack survives, every video block
// says its data is concealed (STA 0xA); the block IDs and header blocks stay.
void Blank(Frame& f) {
    for (size_t q = 0; q < f.size() / 12000; q++)
        for (size_t b = 1; b < 150; b++) {
            if (b < 6) ErasePayload(f, q, b);
            else if ((b - 6) % 16 == 0) ErasePayload(f, q, b, 5);
            else Block(f, q, b)[3] = (uint8_t)(0xA0 | (Block(f, q, b)[3] & 0x0F));
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

struct Expected {
    bool identified;  // the intact frame's profile; else `failure`
    DVProbeFailure failure;
    uint32_t sources, conflicts;
};

struct Damage {
    const char* name;
    std::function<void(Frame&)> apply;
    // From the intact frame's profile and whether its channels are 2 and 3
    // (the second picture of a 720-line frame).
    std::function<Expected(const DVProfile&, bool)> expect;
};

const Expected kSame{true, DVProbeFailure::kNone, kAll, 0};

const Damage kDamages[] = {
    {"intact", [](Frame&) {}, [](const DVProfile&, bool) { return kSame; }},
    {"vaux_of_sequence_0_erased", [](Frame& f) { for (size_t b = 3; b < 6; b++) ErasePayload(f, 0, b); },
     [](const DVProfile&, bool) { return kSame; }},
    // Only STYPE tells 50 Mb/s from 720 lines; channels 2 and 3 exist only at 720 lines.
    {"blank_tape", Blank,
     [](const DVProfile& p, bool pair23) {
         if (p.channels == 2 && !pair23) return Expected{false, DVProbeFailure::kAmbiguous, 0, 0};
         return Expected{true, DVProbeFailure::kNone, kAll & ~kProbeVaux, 0};
     }},
    {"dsf_flipped_everywhere", [](Frame& f) { for (size_t q = 0; q < f.size() / 12000; q++) Block(f, q, 0)[3] ^= 0x80; },
     [](const DVProfile&, bool) { return Expected{true, DVProbeFailure::kNone, kAll & ~kProbeHeader, kProbeHeader}; }},
    // Half of a multi-channel frame has the size of a frame of another kind:
    // the size contradicts the packs, as many sources for each.
    {"truncated_to_half", [](Frame& f) { f.resize(f.size() / 2); },
     [](const DVProfile& p, bool pair23) {
         if (p.channels > 1 && !pair23) return Expected{false, DVProbeFailure::kAmbiguous, 0, 0};
         return Expected{true, DVProbeFailure::kNone, kAll & ~kProbeSize, kProbeSize};
     }},
    {"shorter_than_a_sequence", [](Frame& f) { f.resize(11999); },
     [](const DVProfile&, bool) { return Expected{false, DVProbeFailure::kTruncated, 0, 0}; }},
    // A 1035-line frame has four channels: channels 2 and 3 alone are a 720-line picture.
    {"stype_1035", Stype1035,
     [](const DVProfile&, bool pair23) {
         if (pair23) return Expected{true, DVProbeFailure::kNone, kAll & ~kProbeVaux, kProbeVaux};
         return Expected{false, DVProbeFailure::kUnsupported, 0, 0};
     }},
    {"random_bytes",
     [](Frame& f) {
         uint32_t x = 12345;
         for (uint8_t& v : f) v = (uint8_t)((x = x * 1103515245u + 12345u) >> 24);
     },
     [](const DVProfile&, bool) { return Expected{false, DVProbeFailure::kNotDv, 0, 0}; }},
    {"zeros", [](Frame& f) { std::fill(f.begin(), f.end(), 0); },
     [](const DVProfile&, bool) { return Expected{false, DVProbeFailure::kNotDv, 0, 0}; }},
};

TEST(Probe, EveryStreamIntactAndDamaged) {
    for (const auto& s : kStreams) {
        const testdata::Stream stream = testdata::Load(s.name, s.frameBytes, 0);
        ASSERT_GE(stream.frames(), 1u) << s.name;
        // The first two frames: the second picture of a 720-line frame is on channels 2 and 3.
        for (size_t i = 0; i < stream.frames() && i < 2; i++) {
            const Frame intact = stream.copy(i);
            uint32_t type = 0;
            bool forced = false;
            const DVProfile* want = FrameProfileForDecoding(intact.data(), s.frameBytes, 0, &type, &forced);
            ASSERT_NE(want, nullptr) << s.name;
            const bool pair23 = !(intact[1] & 4);
            for (const Damage& d : kDamages) {
                Frame f = intact;
                d.apply(f);
                const Expected e = d.expect(*want, pair23);
                DVProbe probe;
                const bool ok = ProbeFrame(f.data(), (uint32_t)f.size(), &probe);
                SCOPED_TRACE(testing::Message() << s.name << " frame " << i << ": " << d.name);
                EXPECT_EQ(ok, e.identified);
                EXPECT_EQ(probe.failure, e.failure);
                EXPECT_TRUE(probe.headerBlocks);
                if (!e.identified) {
                    EXPECT_EQ(probe.profile, nullptr);
                    continue;
                }
                EXPECT_EQ(probe.profile, want);
                EXPECT_EQ(probe.sources, e.sources);
                EXPECT_EQ(probe.conflicts, e.conflicts);
                if (e.sources & kProbeVaux) {
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
