// The second interface as a caller sees it: the damage map of real and
// damaged frames, damaged macroblocks left untouched, packed output equal to
// the compatible interface's, records that carry their size, and bad input.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <random>
#include <string>

#include "hv_dec_dv.h"
#include "hvdv.h"
#include "test_streams.h"

namespace {

struct Planar {
    hvdv_frame_info info{};
    hvdv_picture pic{};
    std::vector<uint8_t> plane[3];

    explicit Planar(const hvdv_frame_info& i, uint8_t fill = 0x5A) : info(i) {
        pic.size = sizeof pic;
        pic.format = HVDV_FORMAT_PLANAR;
        for (int p = 0; p < 3; p++) {
            const uint32_t w = p ? info.chroma_width : info.coded_width;
            const uint32_t h = p ? info.chroma_height : info.coded_height;
            plane[p].assign((size_t)w * h, fill);
            pic.data[p] = plane[p].data();
            pic.pitch[p] = (int32_t)w;
        }
    }
    // Luma rows y .. y + 7 at x .. x + 7 all equal to v.
    bool LumaBlockIs(int x, int y, uint8_t v) const {
        for (int r = 0; r < 8; r++)
            for (int c = 0; c < 8; c++)
                if (plane[0][(size_t)(y + r) * info.coded_width + x + c] != v) return false;
        return true;
    }
};

hvdv_frame_info Probe(const std::vector<uint8_t>& data) {
    hvdv_frame_info info{};
    EXPECT_TRUE(testdata::ProbeFirstFrame(data, &info));
    return info;
}

class Api : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(hvdv_decoder_create(nullptr, &d_), HVDV_OK); }
    void TearDown() override { hvdv_decoder_destroy(d_); }
    hvdv_decoder* d_ = nullptr;
};

// Damage made by the test on every kind: the frame cut after 40% of its
// bytes, and blocks in error (odd STA) in the part that is left.  The map
// must name exactly those macroblocks; with KEEP_DAMAGED they keep the
// caller's bytes while every other macroblock is the same as in the intact
// frame's picture.
TEST_F(Api, DamageMapNamesTheDamageAndKeptMacroblocksAreUntouched) {
    for (const char* name : {"pal_420_detail.dv", "ntsc_411_detail.dv", "pal_411.dv", "dv50_625.dv", "hd_1080i50.dv",
                             "hd_720p60.dv"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> data = testdata::ReadFile(name);
        const hvdv_frame_info info = Probe(data);
        std::vector<uint8_t> f(data.begin(), data.begin() + info.frame_bytes);
        Planar intact(info);
        ASSERT_EQ(hvdv_decode_video(d_, f.data(), f.size(), &intact.pic, 0, nullptr, nullptr), HVDV_OK);

        // Odd STA on every 7th video block of the first sequence.
        uint32_t marked = 0;
        for (uint32_t v = 0; v < 135; v += 7, marked++) f[(7 + v + v / 15) * 80 + 3] |= 0x10;
        const size_t cut = f.size() * 2 / 5;
        for (uint32_t keep : {0u, (uint32_t)HVDV_DECODE_KEEP_DAMAGED}) {
            Planar out(info);
            hvdv_damage dm{};
            dm.size = sizeof dm;
            ASSERT_EQ(hvdv_decode_video(d_, f.data(), cut, &out.pic, keep, nullptr, &dm), HVDV_OK);
            uint32_t errors = 0, missing = 0;
            for (uint32_t b = 0; b < dm.macroblock_count; b++) {
                const hvdv_macroblock& m = dm.macroblocks[b];
                errors += (m.flags & HVDV_MB_ERROR) != 0;
                missing += (m.flags & HVDV_MB_MISSING) != 0;
                const bool damaged = m.flags & (HVDV_MB_ERROR | HVDV_MB_MISSING | HVDV_MB_BAD_ID);
                if (m.x == 0xFFFF || (!keep && damaged)) continue;
                if (keep && damaged) {
                    EXPECT_TRUE(m.flags & HVDV_MB_UNTOUCHED);
                    EXPECT_TRUE(out.LumaBlockIs(m.x, m.y, 0x5A)) << b;
                } else if (b >= 135) {  // the first sequence's neighbours of marked blocks differ
                    for (int r = 0; r < 8; r++)
                        ASSERT_EQ(0, std::memcmp(&out.plane[0][(size_t)(m.y + r) * info.coded_width + m.x],
                                                 &intact.plane[0][(size_t)(m.y + r) * info.coded_width + m.x], 8))
                            << b;
                }
            }
            EXPECT_EQ(errors, marked);
            EXPECT_GT(missing, dm.macroblock_count / 2);
            EXPECT_EQ(dm.damaged, errors + missing);
            EXPECT_EQ(keep ? dm.untouched : dm.untouched + dm.filled, keep ? errors + missing : missing);
            // Per DIF sequence slot of every channel (12000 bytes, 135
            // video blocks each, in buffer order).
            ASSERT_EQ(dm.sequence_count, info.frame_bytes / 12000);
            ASSERT_EQ(dm.sequence_count * 135, dm.macroblock_count);
            for (uint32_t q = 0; q < dm.sequence_count; q++) {
                uint32_t n = 0;
                for (uint32_t b = 135 * q; b < 135 * (q + 1); b++)
                    n += (dm.macroblocks[b].flags & (HVDV_MB_ERROR | HVDV_MB_MISSING | HVDV_MB_BAD_ID)) != 0;
                EXPECT_EQ(dm.sequence_damaged[q], q ? n : marked) << q;
            }
        }
    }
}

// Packed formats through the second interface are the compatible
// interface's pictures, byte for byte.
TEST_F(Api, PackedOutputIsTheCompatibleInterfacesPicture) {
    for (const char* name : {"sample_625_420.dv", "ntsc_411_48k.dv", "dv50_525.dv", "hd_1080i60.dv"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> f = testdata::ReadFile(name);
        const hvdv_frame_info info = Probe(f);
        for (uint32_t fourcc : {(uint32_t)HVDV_FOURCC_UYVY, (uint32_t)HVDV_FOURCC_BGR4})
        for (uint32_t half : {0u, 1u}) {
            const uint32_t w = info.display_width >> half, h = info.coded_height >> half;
            const uint32_t bpp = fourcc == HVDV_FOURCC_UYVY ? 2 : 4;
            std::vector<uint8_t> ours((size_t)w * h * bpp, 1), theirs((size_t)w * h * bpp, 2);
            hvdv_picture pic{};
            pic.size = sizeof pic;
            pic.format = fourcc;
            pic.data[0] = ours.data();
            pic.pitch[0] = (int32_t)(w * bpp);
            pic.width = w;
            pic.height = h;
            ASSERT_EQ(hvdv_decode_video(d_, f.data(), info.frame_bytes, &pic, 0, nullptr, nullptr), HVDV_OK);
            ASSERT_EQ(DecompressBuffer_DV(f.data(), info.frame_bytes, theirs.data(), (int32_t)(w * bpp), w, h, 0,
                                          fourcc, 0, 0),
                      HVDV_DECODE_OK);
            EXPECT_TRUE(ours == theirs);
        }
    }
}

// A caller built against an older, shorter record gets only what fits.
TEST(ApiRecords, ShorterRecordsAreFilledOnlyAsFarAsTheirSize) {
    const std::vector<uint8_t> f = testdata::ReadFile("sample_625_420.dv");
    hvdv_frame_info info;
    std::memset(&info, 0xEE, sizeof info);
    info.size = offsetof(hvdv_frame_info, coded_width);
    ASSERT_EQ(hvdv_probe_frame(f.data(), 144000, &info), HVDV_OK);
    EXPECT_EQ(info.size, offsetof(hvdv_frame_info, coded_width));
    EXPECT_EQ(info.kind, HVDV_KIND_DV25_625_420);
    EXPECT_EQ(info.coded_width, 0xEEEEEEEEu);
}

TEST_F(Api, BadInputGetsAClearResult) {
    const std::vector<uint8_t> f = testdata::ReadFile("sample_625_420.dv");
    const hvdv_frame_info info = Probe(f);
    Planar out(info);
    hvdv_picture small = out.pic;
    small.pitch[1] = (int32_t)info.chroma_width - 1;
    hvdv_picture packed = out.pic;
    packed.format = HVDV_FOURCC_UYVY;
    packed.width = 720;
    packed.height = 576;
    packed.pitch[0] = 1440;
    std::vector<uint8_t> noise(144000);
    std::mt19937 rng(7);
    for (uint8_t& b : noise) b = (uint8_t)rng();
    const std::vector<uint8_t> zeros(144000, 0);
    hvdv_picture unsized = out.pic;
    unsized.size = 8;
    hvdv_picture strange = out.pic;
    strange.format = HVDV_FOURCC('N', 'V', '1', '2');
    struct Case {
        const char* what;
        hvdv_decoder* d;
        const uint8_t* frame;
        size_t size;
        const hvdv_picture* pic;
        uint32_t flags;
        int want;
    } cases[] = {
        {"no decoder", nullptr, f.data(), 144000, &out.pic, 0, HVDV_ERROR_ARGUMENT},
        {"no frame", d_, nullptr, 144000, &out.pic, 0, HVDV_ERROR_ARGUMENT},
        {"no picture", d_, f.data(), 144000, nullptr, 0, HVDV_ERROR_ARGUMENT},
        {"picture record too short", d_, f.data(), 144000, &unsized, 0, HVDV_ERROR_ARGUMENT},
        {"unknown flag", d_, f.data(), 144000, &out.pic, 1u << 20, HVDV_ERROR_ARGUMENT},
        {"empty buffer", d_, f.data(), 0, &out.pic, 0, HVDV_ERROR_TRUNCATED},
        {"one DIF block", d_, f.data(), 80, &out.pic, 0, HVDV_ERROR_TRUNCATED},
        {"random bytes", d_, noise.data(), noise.size(), &out.pic, 0, HVDV_ERROR_NOT_DV},
        {"zeros", d_, zeros.data(), zeros.size(), &out.pic, 0, HVDV_ERROR_NOT_DV},
        {"chroma plane too narrow", d_, f.data(), 144000, &small, 0, HVDV_ERROR_BUFFER_SMALL},
        {"unknown FOURCC", d_, f.data(), 144000, &strange, 0, HVDV_ERROR_UNSUPPORTED},
        {"packed, keep damaged", d_, f.data(), 144000, &packed, HVDV_DECODE_KEEP_DAMAGED, HVDV_ERROR_UNSUPPORTED},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hvdv_decode_video(c.d, c.frame, c.size, c.pic, c.flags, nullptr, nullptr), c.want) << c.what;
        EXPECT_STRNE(hvdv_strerror(c.want), "unknown result") << c.what;
    }
    EXPECT_STREQ(hvdv_strerror(12345), "unknown result");

    // Audio and metadata: short output, missing records.
    int16_t pcm[16];
    hvdv_audio_info a{};
    a.size = sizeof a;
    EXPECT_EQ(hvdv_decode_audio(d_, f.data(), 144000, pcm, 16, 0, &a), HVDV_ERROR_BUFFER_SMALL);
    EXPECT_EQ(a.channels * a.samples > 16, true);
    EXPECT_EQ(hvdv_decode_audio(d_, f.data(), 144000, nullptr, 16, 0, &a), HVDV_ERROR_ARGUMENT);
    EXPECT_EQ(hvdv_read_metadata(f.data(), 144000, nullptr), HVDV_ERROR_ARGUMENT);
    EXPECT_EQ(hvdv_read_captions(f.data(), 144000, nullptr), HVDV_ERROR_ARGUMENT);
    hvdv_captions cc{};
    cc.size = sizeof cc;
    EXPECT_EQ(hvdv_read_captions(nullptr, 144000, &cc), HVDV_ERROR_ARGUMENT);
    hvdv_decoder_config bad{};
    bad.size = sizeof bad;
    bad.threads = 17;
    hvdv_decoder* none = nullptr;
    EXPECT_EQ(hvdv_decoder_create(&bad, &none), HVDV_ERROR_ARGUMENT);
    EXPECT_EQ(none, nullptr);
}

// The audio mode is remembered from frame to frame by a decoder; the flags
// follow the AAUX source pack: LF 1 unlocked (the Sony camcorder), 0 locked
// (the dvrescue sample); EF 1 no emphasis, as recorded, 0 emphasis (made
// here by clearing EF in every source pack).
TEST_F(Api, AudioModeChangeIsReported) {
    std::vector<int16_t> pcm(HVDV_MAX_AUDIO_CHANNELS * HVDV_MAX_AUDIO_SAMPLES);
    hvdv_audio_info a{};
    a.size = sizeof a;
    const std::vector<uint8_t> sony = testdata::ReadFile("jj_sony_good_quality.dv");
    const std::vector<uint8_t> cc = testdata::ReadFile("dvrescue_cc_525.dv");
    std::vector<uint8_t> emphasis(cc.begin(), cc.begin() + 120000);
    for (uint32_t o = 0; o < 120000; o += 80)  // audio blocks: 6, 22, ... of each sequence
        if (o % 12000 / 80 % 16 == 6 && emphasis[o + 3] == 0x50) emphasis[o + 7] &= 0x7F;
    const uint8_t* frames[] = {sony.data(), sony.data() + 120000, cc.data(), emphasis.data(), sony.data()};
    const uint32_t changed[] = {0, 0, 1, 0, 1}, locked[] = {0, 0, 1, 1, 0}, emphasised[] = {0, 0, 0, 1, 0};
    for (int i = 0; i < 5; i++) {
        ASSERT_EQ(hvdv_decode_audio(d_, frames[i], 120000, pcm.data(), pcm.size(), 0, &a), HVDV_OK);
        EXPECT_EQ(a.mode_changed, changed[i]) << i;
        EXPECT_EQ(a.locked, locked[i]) << i;
        EXPECT_EQ(a.emphasis, emphasised[i]) << i;
    }
    EXPECT_EQ(a.channels, 4u);
    EXPECT_EQ(a.bits, 12u);
}

}  // namespace

// Block status against what is known of the frames (tests/data/README.md):
// the committed undamaged streams have no damaged block; the clogged-head
// frame has 810 video blocks with STA 0xA and 54 audio blocks with error
// codes.  One record too few is refused.
TEST(ApiBlocks, BlockStatusNamesTheDamageTheFramesCarry) {
    const struct {
        const char* name;
        uint32_t frameBytes, blocks, video, audio;
    } cases[] = {{"sample_625_420.dv", 144000, 1800, 0, 0}, {"dv50_525.dv", 240000, 3000, 0, 0},
                 {"hd_1080i50.dv", 576000, 7200, 0, 0},     {"jj_sony_perfect.dv", 120000, 1500, 0, 0},
                 {"dvrescue_cc_525.dv", 120000, 1500, 0, 0}, {"jj_sony_head_clog.dv", 120000, 1500, 810, 54}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> f = testdata::ReadFile(c.name);
        ASSERT_GE(f.size(), c.frameBytes);
        hvdv_block_summary s{};
        s.size = sizeof s;
        ASSERT_EQ(hvdv_block_status(f.data(), c.frameBytes, nullptr, 0, &s), HVDV_OK);
        ASSERT_EQ(s.block_count, c.blocks);
        std::vector<hvdv_block> blocks(c.blocks);
        EXPECT_EQ(hvdv_block_status(f.data(), c.frameBytes, blocks.data(), c.blocks - 1, &s), HVDV_ERROR_BUFFER_SMALL);
        ASSERT_EQ(hvdv_block_status(f.data(), c.frameBytes, blocks.data(), c.blocks, &s), HVDV_OK);
        uint32_t sections[5] = {}, sta = 0, audio = 0;
        for (const hvdv_block& b : blocks) {
            sections[b.section]++;
            sta += b.sta == 0xA && (b.flags & HVDV_BLOCK_STA);
            audio += (b.flags & HVDV_BLOCK_AUDIO_ERRORS) != 0;
        }
        // 150 blocks a DIF sequence: 1 header, 2 subcode, 3 VAUX, 9 audio, 135 video.
        EXPECT_EQ(sections[HVDV_SECTION_VIDEO], c.blocks / 150 * 135);
        EXPECT_EQ(sections[HVDV_SECTION_AUDIO], c.blocks / 150 * 9);
        EXPECT_EQ(sta, c.video);
        EXPECT_EQ(s.damaged[HVDV_SECTION_VIDEO], c.video);
        EXPECT_EQ(audio, c.audio);
        if (!c.video) {
            EXPECT_EQ(s.damaged[0] + s.damaged[1] + s.damaged[2] + s.damaged[3], 0u);
        }
    }
}
