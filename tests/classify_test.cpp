// Frame classification: size fall-back, pack-based kinds, the header-less
// layout, DSF / 50-60 disagreements, wide screen, and the committed streams.
#include "api/classify.h"

#include <gtest/gtest.h>

#include "info_test_util.h"

using hvdv_test::FrameRecipe;
using hvdv_test::Packs;

namespace {

FrameRecipe With(FrameRecipe s, FrameRecipe::Layout layout, int disp = 0, int bcsys = 0, bool packs = true) {
    s.layout = layout;
    s.disp = disp;
    s.bcsys = bcsys;
    s.packs = packs;
    return s;
}
FrameRecipe NoPacks(uint32_t size) {
    return With(Packs(size, false, false), FrameRecipe::kHeader, 0, 0, false);
}
const FrameRecipe::Layout kHead = FrameRecipe::kHeader, kNoHead = FrameRecipe::kNoHeader;

TEST(ClassifyFrame, Table) {
    FrameRecipe packsWhereHeadersPutThem = With(Packs(119200, false, false), kNoHead);
    packsWhereHeadersPutThem.packBase = 80;
    const struct {
        const char* name;
        FrameRecipe recipe;
        uint32_t height, expected;
    } cases[] = {
        // Neither pack present: the size and the picture height decide.
        {"size 525 with headers", NoPacks(120000), 480, 0x4003},
        {"size 525 without headers", NoPacks(119200), 480, 0x0001},
        {"size 625 with headers", NoPacks(144000), 576, 0x4000},
        {"size 50 Mb/s 525", NoPacks(240000), 480, 0x4005},
        {"size 720-line 525 unit", NoPacks(240000), 720, 0x4015},
        {"size 50 Mb/s 625", NoPacks(288000), 576, 0x4004},
        {"size 1080-line 525 unit", NoPacks(480000), 1080, 0x4025},
        {"size three 525 units", NoPacks(360000), 480, 0x4001},
        {"size zero", NoPacks(0), 480, 0x4001},
        {"size unrelated", NoPacks(100000), 480, 0x0000},
        // Both packs present with a header block.
        {"525 IEC", Packs(120000, false, false), 480, 0x4003},
        {"625 APT 1 is 4:1:1", Packs(144000, true, true, 0, true), 576, 0x4002},
        {"525 50 Mb/s with APT 1", Packs(240000, false, false, 4, true), 480, 0x4005},
        {"high-definition STYPE read as 25 Mb/s", Packs(480000, false, false, 0x14, true), 1080, 0x4003},
        {"packs win over size and height", Packs(144000, true, true), 480, 0x4000},
        // DSF and the source pack disagree: only 525/60 frame sizes make 525/60.
        {"DSF 1 f50 0 at 120000", Packs(120000, true, false), 480, 0x4003},
        {"DSF 1 f50 0 at 120080", Packs(120080, true, false), 480, 0x4000},
        {"DSF 0 f50 1 at 120000", Packs(120000, false, true), 576, 0x4003},
        // Without header blocks the packs sit 80 bytes earlier.
        {"no headers 525", With(Packs(119200, false, false), kNoHead), 480, 0x0003},
        {"no headers, packs at the header offset", packsWhereHeadersPutThem, 480, 0x0001},
        // An unrecognised first block: header layout, system from the pack.
        {"other ID 60 fields", With(Packs(144000, false, false), FrameRecipe::kOtherId), 576, 0x4003},
        // Wide screen from DISP and BCSYS.
        {"DISP 2 BCSYS 0", With(Packs(144000, true, true), kHead, 2, 0), 576, 0x5000},
        {"DISP 2 BCSYS 1", With(Packs(144000, true, true), kHead, 2, 1), 576, 0x4000},
        {"DISP 7 BCSYS 1", With(Packs(120000, false, false), kHead, 7, 1), 480, 0x5003},
        {"DISP 2 BCSYS 0 no headers", With(Packs(119200, false, false), kNoHead, 2, 0), 480, 0x1003},
        // A pack not wholly inside the buffer counts as absent (458 holds both).
        {"cut inside the control pack", Packs(457, false, false), 480, 0x0000},
        {"cut right after the control pack", Packs(458, false, false), 480, 0x4003},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> frame = hvdv_test::MakeFrame(c.recipe);
        EXPECT_EQ(hvdv::ClassifyFrame(frame.data(), uint32_t(frame.size()), c.height), c.expected) << c.name;
    }
    EXPECT_EQ(hvdv::ClassifyFrame(nullptr, 0, 1080), 0x4001u);
}

// The committed streams as FFmpeg writes them: APT 1 for 4:1:1 625/50 and
// high definition, STYPE 4 at 50 Mb/s, DISP 2 / BCSYS 0 for 16:9; the packs
// alone give high-definition frames their system's 25 Mb/s kind.
TEST(ClassifyFrame, CommittedStreams) {
    const struct {
        const char* file;
        uint32_t frameBytes, height, expected;
    } cases[] = {
        {"sample_625_420.dv", 144000, 576, 0x4000}, {"pal_420_wide_32k.dv", 144000, 576, 0x5000},
        {"pal_411.dv", 144000, 576, 0x4002},        {"ntsc_411_48k.dv", 120000, 480, 0x4003},
        {"dv50_625.dv", 288000, 576, 0x4004},       {"dv50_525.dv", 240000, 480, 0x4005},
        {"hd_1080i50.dv", 576000, 1080, 0x5002},    {"hd_1080i60.dv", 480000, 1080, 0x5003},
        {"hd_720p60.dv", 240000, 720, 0x5003},
    };
    for (const auto& c : cases) {
        const testdata::Stream s = testdata::Load(c.file, c.frameBytes, c.height);
        ASSERT_GT(s.frames(), 0u) << c.file;
        for (size_t i = 0; i < s.frames(); i++)
            EXPECT_EQ(hvdv::ClassifyFrame(s.frame(i), c.frameBytes, c.height), c.expected) << c.file << " " << i;
    }
}

}  // namespace
