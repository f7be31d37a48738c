// Frame classification: size fall-back, pack-based kinds, the header-less
// layout, DSF / 50-60 disagreements, wide screen, and the committed streams.
#include "api/classify.h"

#include <gtest/gtest.h>

#include "info_test_util.h"

using hvdv_test::FrameRecipe;

namespace {

struct ClassifyCase {
    const char* name;
    FrameRecipe recipe;
    uint32_t height;
    uint32_t expected;
};

using hvdv_test::Packs;

FrameRecipe NoPacks(uint32_t size) {
    FrameRecipe s = Packs(size, false, false);
    s.packs = false;
    return s;
}

FrameRecipe WithLayout(FrameRecipe s, FrameRecipe::Layout layout) {
    s.layout = layout;
    return s;
}

FrameRecipe WithDisplay(FrameRecipe s, int disp, int bcsys) {
    s.disp = disp;
    s.bcsys = bcsys;
    return s;
}

TEST(ClassifyFrame, Table) {
    const ClassifyCase cases[] = {
        // Neither pack present: the size and the picture height decide.
        {"size 525 with headers", NoPacks(120000), 480, 0x4003},
        {"size 525 without headers", NoPacks(119200), 480, 0x0001},
        {"size 625 with headers", NoPacks(144000), 576, 0x4000},
        {"size 625 without headers", NoPacks(143040), 576, 0x0000},
        {"size 50 Mb/s 525", NoPacks(240000), 480, 0x4005},
        {"size 720-line 525 unit", NoPacks(240000), 720, 0x4015},
        {"size 50 Mb/s 625", NoPacks(288000), 576, 0x4004},
        {"size 1080-line 525 unit", NoPacks(480000), 1080, 0x4025},
        {"size three 525 units", NoPacks(360000), 480, 0x4001},
        {"size zero", NoPacks(0), 480, 0x4001},
        {"size unrelated", NoPacks(100000), 480, 0x0000},

        // Both packs present with a header block.
        {"525 IEC", Packs(120000, false, false), 480, 0x4003},
        {"625 4:2:0", Packs(144000, true, true), 576, 0x4000},
        {"625 APT 1 is 4:1:1", Packs(144000, true, true, 0, true), 576, 0x4002},
        {"625 50 Mb/s", Packs(288000, true, true, 4), 576, 0x4004},
        {"525 50 Mb/s with APT 1", Packs(240000, false, false, 4, true), 480, 0x4005},
        {"high-definition STYPE read as 25 Mb/s", Packs(480000, false, false, 0x14, true), 1080, 0x4003},
        {"packs win over size and height", Packs(144000, true, true), 480, 0x4000},

        // The header says 625/50, the source pack 60 fields: only sizes of
        // 525/60 frames make it 525/60.
        {"DSF 1 f50 0 at 120000", Packs(120000, true, false), 480, 0x4003},
        {"DSF 1 f50 0 at 144000", Packs(144000, true, false), 480, 0x4000},
        {"DSF 1 f50 0 at 120080", Packs(120080, true, false), 480, 0x4000},
        {"DSF 0 f50 1 at 120000", Packs(120000, false, true), 576, 0x4003},
        {"DSF 0 f50 1 50 Mb/s at 240000", Packs(240000, false, true, 4), 576, 0x4005},

        // Without header blocks the packs sit 80 bytes earlier.
        {"no headers 525", WithLayout(Packs(119200, false, false), FrameRecipe::kNoHeader), 480, 0x0003},
        {"no headers 625 50 Mb/s", WithLayout(Packs(286080, false, true, 4), FrameRecipe::kNoHeader), 576, 0x0004},
        {"no headers, packs where a header layout has them",
         [] {
             FrameRecipe s = WithLayout(Packs(119200, false, false), FrameRecipe::kNoHeader);
             s.packBase = 80;
             return s;
         }(),
         480, 0x0001},
        // An unrecognised first block: header layout, system from the pack.
        {"other ID 60 fields", WithLayout(Packs(144000, false, false), FrameRecipe::kOtherId), 576, 0x4003},
        {"other ID 50 fields", WithLayout(Packs(120000, false, true), FrameRecipe::kOtherId), 480, 0x4000},

        // Wide screen from DISP and BCSYS.
        {"DISP 2 BCSYS 0", WithDisplay(Packs(144000, true, true), 2, 0), 576, 0x5000},
        {"DISP 2 BCSYS 1", WithDisplay(Packs(144000, true, true), 2, 1), 576, 0x4000},
        {"DISP 7 BCSYS 1", WithDisplay(Packs(120000, false, false), 7, 1), 480, 0x5003},
        {"DISP 7 BCSYS 0", WithDisplay(Packs(144000, true, true), 7, 0), 576, 0x4000},
        {"DISP 2 BCSYS 0 no headers", WithDisplay(WithLayout(Packs(119200, false, false), FrameRecipe::kNoHeader), 2, 0),
         480, 0x1003},

        // Buffers cut inside the packs: a pack not wholly inside counts as
        // absent and the size decides (458 = 448 + 10 holds both packs).
        {"cut inside the source pack", Packs(450, false, false), 480, 0x0000},
        {"cut inside the control pack", Packs(457, false, false), 480, 0x0000},
        {"cut right after the control pack", Packs(458, false, false), 480, 0x4003},
    };
    for (const ClassifyCase& c : cases) {
        const std::vector<uint8_t> frame = hvdv_test::MakeFrame(c.recipe);
        EXPECT_EQ(hvdv::ClassifyFrame(frame.data(), uint32_t(frame.size()), c.height), c.expected)
            << c.name;
    }
    EXPECT_EQ(hvdv::ClassifyFrame(nullptr, 0, 1080), 0x4001u);
}

// The committed streams, as their header blocks and packs read: FFmpeg
// writes APT = AP1-AP3 = 1 for its 4:1:1 625/50 and high-definition frames,
// STYPE 4 for 50 Mb/s, and DISP 2 / BCSYS 0 for 16:9.  High-definition
// frames come out as their system's 25 Mb/s kind: the packs alone do not
// give the high-definition kinds.
TEST(ClassifyFrame, CommittedStreams) {
    const struct {
        const char* file;
        uint32_t frameBytes;
        uint32_t height;
        uint32_t expected;
    } cases[] = {
        {"sample_625_420.dv", 144000, 576, 0x4000},
        {"pal_420_wide_32k.dv", 144000, 576, 0x5000},
        {"pal_411.dv", 144000, 576, 0x4002},
        {"ntsc_411_48k.dv", 120000, 480, 0x4003},
        {"dv50_625.dv", 288000, 576, 0x4004},
        {"dv50_525.dv", 240000, 480, 0x4005},
        {"hd_1080i50.dv", 576000, 1080, 0x5002},
        {"hd_1080i60.dv", 480000, 1080, 0x5003},
        {"hd_720p60.dv", 240000, 720, 0x5003},
    };
    for (const auto& c : cases) {
        const testdata::Stream s = testdata::Load(c.file, c.frameBytes, c.height);
        ASSERT_GT(s.frames(), 0u) << c.file;
        for (size_t i = 0; i < s.frames(); i++)
            EXPECT_EQ(hvdv::ClassifyFrame(s.frame(i), c.frameBytes, c.height), c.expected) << c.file << " frame " << i;
    }
}

}  // namespace
