// DVGetInfo and DVGetInfoEx: the committed streams against what ffprobe
// reports for them, synthetic frames for the rate pack and audio rules, the
// size-limited writing of the extended records, and the failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "hv_dec_dv.h"
#include "info_test_util.h"

using hvdv_test::MakeFrame;
using hvdv_test::Packs;
using V = std::vector<int32_t>;

namespace {

// Records filled with 0xA5 (but for the size of the extended ones), so that
// every field the call leaves alone shows.
template <typename T>
T Filled(bool sized = true) {
    T t;
    const int32_t size = sizeof t;
    std::memset(&t, 0xA5, sizeof t);
    std::memcpy(&t, &size, sized ? sizeof size : 0);
    return t;
}

// The fields both records have.
template <typename Info>
V VideoOf(const Info& i, bool withScan = true) {
    return {i.width, i.height, i.aspectX, i.aspectY, withScan ? i.scanCode : 0, i.frameBytes, i.formatCode};
}

// ffprobe -v error -show_streams on each committed stream gave these
// values.  High-definition frames store fewer samples per line than they
// show: DVGetInfo reports the display width, ffprobe's width times its
// sample aspect ratio (1440 x 4/3 and 1280 x 3/2 = 1920, 960 x 4/3 = 1280).
// ffprobe has no word for the format code; it follows from how FFmpeg
// writes the header block (APT 1 on its 4:1:1 frames, STYPE 4 at 50 Mb/s,
// the high-definition STYPEs).
// Fields: file, frame bytes, width, height, sample_aspect_ratio, whether the
// library reports width x sample aspect, display_aspect_ratio, r_frame_rate,
// audio sample rate and channels (0 when none), format code.
const struct {
    const char* file;
    int32_t frameBytes, width, height, sarNum, sarDen;
    bool displayWidth;
    int32_t darX, darY, rateNum, rateDen, sampleRate, channels, formatCode;
} kProbed[] = {
    {"sample_625_420.dv", 144000, 720, 576, 16, 15, false, 4, 3, 25, 1, 48000, 2, 1},
    {"ntsc_411_48k.dv", 120000, 720, 480, 8, 9, false, 4, 3, 30000, 1001, 48000, 2, 2},
    {"pal_411.dv", 144000, 720, 576, 16, 15, false, 4, 3, 25, 1, 0, 0, 2},
    {"pal_420_wide_32k.dv", 144000, 720, 576, 64, 45, false, 16, 9, 25, 1, 32000, 2, 1},
    {"dv50_625.dv", 288000, 720, 576, 16, 15, false, 4, 3, 25, 1, 0, 0, 3},
    {"dv50_525.dv", 240000, 720, 480, 8, 9, false, 4, 3, 30000, 1001, 0, 0, 3},
    {"hd_1080i50.dv", 576000, 1440, 1080, 4, 3, true, 16, 9, 25, 1, 0, 0, 5},
    {"hd_1080i60.dv", 480000, 1280, 1080, 3, 2, true, 16, 9, 30000, 1001, 0, 0, 5},
    {"hd_720p60.dv", 240000, 960, 720, 4, 3, true, 16, 9, 60000, 1001, 0, 0, 4},
};

// (DVGetInfoEx; DVGetInfo shares its rules, checked on the synthetic frames.)
TEST(StreamInfo, CommittedStreamsAgreeWithFfprobe) {
    for (const auto& p : kProbed) {
        const std::vector<uint8_t> stream = hvdv_test::ReadStream(p.file);
        ASSERT_TRUE(!stream.empty() && stream.size() % p.frameBytes == 0) << p.file;
        const V video{p.displayWidth ? p.width * p.sarNum / p.sarDen : p.width,
                      p.height,
                      p.darX,
                      p.darY,
                      0,
                      p.frameBytes,
                      p.formatCode};
        for (size_t at = 0; at < stream.size(); at += p.frameBytes) {
            SCOPED_TRACE(std::string(p.file) + " frame at " + std::to_string(at));
            DVStreamInfoEx ex = Filled<DVStreamInfoEx>();
            DVAudioInfoEx audio = Filled<DVAudioInfoEx>();
            int32_t valid = -1;
            ASSERT_EQ(DVGetInfoEx(stream.data() + at, p.frameBytes, &ex, &audio, &valid), HVDV_INFO_OK);
            EXPECT_EQ(VideoOf(ex, false), video);
            EXPECT_EQ((V{ex.rateNumerator, ex.rateDenominator, ex.wholeRate, valid, audio.channels,
                         p.channels ? audio.sampleRate : 0}),
                      (V{p.rateNum, p.rateDen, p.rateDen == 1, p.channels > 0, p.channels, p.sampleRate}));
        }
    }
}

// A synthetic frame: the header blocks and packs of its kind, an AAUX source
// pack of sampling code smp in each of its first "channels" DIF channels,
// optionally a frame-rate pack (PC1 - PC3), TF1 set at byte tf1At (> 0), and
// the display bits.
std::vector<uint8_t> Synth(uint32_t size, bool f50, int stype, bool apt1, int channels, int smp, V pack = {},
                           bool badCheck = false, int tf1At = 0, int disp = 0, int bcsys = 0) {
    hvdv_test::FrameRecipe r = Packs(size, f50, f50, stype, apt1);
    r.disp = disp;
    r.bcsys = bcsys;
    std::vector<uint8_t> f = MakeFrame(r);
    for (int c = 0; c < channels; ++c) hvdv_test::PutAudioSourcePack(f, c * (f50 ? 144000 : 120000), smp);
    if (!pack.empty()) hvdv_test::PutRatePack(f, uint8_t(pack[0]), uint8_t(pack[1]), uint8_t(pack[2]), badCheck);
    if (tf1At) f[tf1At] |= 0x80;
    return f;
}
// DVGetInfo's rate code, numerator, denominator, mode, phase, flag; where
// DVGetInfoEx differs: numerator, denominator, phase, system rate code and
// numerator, whole rate; audio sample rate, channels of DVGetInfo and of
// DVGetInfoEx, channels found (mask), channel capacity, audio valid.
const V k525Rate{0x30, 30000, 1001, 0, 0, 0}, k625Rate{0x25, 25, 1, 0, 0, 0}, k48kPair{48000, 2, 2, 1, 2, 1};
const V k525RateEx{30000, 1001, 15, 0x30, 30000, 0}, k625RateEx{25, 1, 15, 0x25, 25, 1}, kNone(6, 0);
const V k525{720, 480, 4, 3, 2, 120000, 1}, k720{1280, 720, 16, 9, 1, 240000, 4};

TEST(StreamInfo, SyntheticFrames) {
    const struct {
        const char* name;
        std::vector<uint8_t> frame;
        V video, rate, rateEx, audio;
    } cases[] = {
        {"525 with TF1 set",
         Synth(120000, false, 0, false, 1, 0, {}, false, 5),
         k525,
         k525Rate,
         k525RateEx,
         {0, 0, 0, 0, 2, 0}},
        {"625 APT 1 with DISP 2 is wide whatever BCSYS",
         Synth(144000, true, 0, true, 0, 0, {}, false, 0, 2, 1),
         {720, 576, 16, 9, 2, 144000, 2},
         k625Rate,
         k625RateEx,
         {0, 0, 0, 0, 2, 0}},
        {"525 50 Mb/s with audio in both channels",
         Synth(240000, false, 4, false, 2, 1),
         {720, 480, 4, 3, 2, 240000, 3},
         k525Rate,
         k525RateEx,
         {44100, 2, 4, 3, 4, 1}},
        {"1080-line 60, audio stops at the first channel without it",
         Synth(480000, false, 0x15, true, 4, 0, {}, false, 2 * 120000 + 5),
         {1920, 1080, 16, 9, 3, 480000, 5},
         k525Rate,
         k525RateEx,
         {48000, 2, 4, 3, 8, 1}},
        {"720-line 60, 24 frames with phase 3",
         Synth(240000, false, 0x18, false, 2, 0, V{0x40, 0x24, 0x03}),
         k720,
         {0x24, 24000, 1001, 2, 3, 0},
         {24000, 1001, 3, 0x60, 60000, 0},
         {48000, 2, 4, 3, 4, 1}},
        {"720-line 60, 24 frames without phase",
         Synth(240000, false, 0x18, false, 2, 0, V{0x00, 0x24, 0x0F}),
         k720,
         {0x24, 24000, 1001, 0, 0, 0},
         {24000, 1001, 15, 0x24, 24000, 0},
         kNone},
        {"720-line 50 carrying 25 frames",
         Synth(288000, true, 0x18, false, 2, 0, V{0x20, 0x25, 0x0F}),
         {1280, 720, 16, 9, 1, 288000, 4},
         {0x25, 25, 1, 3, 0, 0},
         {25, 1, 15, 0x50, 50, 1},
         {48000, 2, 4, 3, 4, 1}},
        {"525 24 frames, progressive",
         Synth(120000, false, 0, false, 1, 0, V{0x80, 0x24, 0x0F}),
         {720, 480, 4, 3, 1, 120000, 1},
         {0x24, 24000, 1001, 1, 15, 0},
         {24000, 1001, 15, 0x30, 30000, 0},
         k48kPair},
        {"525 rate flag",
         Synth(120000, false, 0, false, 1, 0, V{0x10, 0x60, 0x0F}),
         k525,
         {0x30, 30, 1, 0, 0, 1},
         {30000, 1001, 15, 0x30, 30000, 0},
         kNone},
        {"rate pack with a wrong check byte", Synth(120000, false, 0, false, 1, 0, V{0x90, 0x24, 0x03}, true), k525,
         k525Rate, k525RateEx, k48kPair},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DVStreamInfo info = Filled<DVStreamInfo>(false);
        DVAudioInfo audio = Filled<DVAudioInfo>(false);
        DVStreamInfoEx ex = Filled<DVStreamInfoEx>();
        DVAudioInfoEx audioEx = Filled<DVAudioInfoEx>();
        int32_t valid = -1, validEx = -1;
        ASSERT_EQ(DVGetInfo(c.frame.data(), int32_t(c.frame.size()), &info, &audio, &valid), HVDV_INFO_OK);
        ASSERT_EQ(DVGetInfoEx(c.frame.data(), int32_t(c.frame.size()), &ex, &audioEx, &validEx), HVDV_INFO_OK);
        EXPECT_EQ((std::vector<V>{VideoOf(info), VideoOf(ex)}), (std::vector<V>{c.video, c.video}));
        const V &r = c.rate, &e = c.rateEx, &a = c.audio;
        EXPECT_EQ(
            (V{info.rateCode, info.rateNumerator, info.rateDenominator, info.rateMode, info.ratePhase, info.rateFlag,
               info.reserved[0], valid, audio.channels, a[1] ? audio.sampleRate : 0, a[1] ? audio.bytesPerFrame : 0}),
            (V{r[0], r[1], r[2], r[3], r[4], r[5], 0, a[5], a[1], a[0], a[1] * 2}));
        EXPECT_EQ((V{ex.rateCode, ex.rateMode, ex.rateFlag, ex.rateNumerator, ex.rateDenominator, ex.ratePhase,
                     ex.systemRateCode, ex.systemRateNumerator, ex.wholeRate, ex.reserved}),
                  (V{r[0], r[3], r[5], e[0], e[1], e[2], e[3], e[4], e[5], 0}));
        EXPECT_EQ((V{validEx, audioEx.channels, audioEx.maxChannels, audioEx.channelFound[0], audioEx.channelFound[1],
                     audioEx.channelFound[2], audioEx.channelFound[3]}),
                  (V{a[5], a[2], a[4], a[3] & 1, a[3] >> 1 & 1, a[3] >> 2 & 1, a[3] >> 3 & 1}));
        EXPECT_EQ((a[2] ? V{audioEx.formatTag, audioEx.sampleRate, audioEx.bitsPerSample, audioEx.bytesPerFrame}
                        : V{4, 0, 16, 0}),
                  (V{4, a[0], 16, a[2] * 2}));
    }
}

// Field i of an extended record is written only when size >= 4 i + 4; the
// size itself and whatever lies beyond the known fields stay as they were.
TEST(StreamInfo, ExRecordsAreWrittenOnlyAsFarAsTheirSize) {
    const std::vector<uint8_t> stream = hvdv_test::ReadStream("sample_625_420.dv");
    ASSERT_GE(stream.size(), 144000u);
    DVStreamInfoEx fullInfo = Filled<DVStreamInfoEx>();
    DVAudioInfoEx fullAudio = Filled<DVAudioInfoEx>();
    ASSERT_EQ(DVGetInfoEx(stream.data(), 144000, &fullInfo, &fullAudio, nullptr), HVDV_INFO_OK);
    ASSERT_EQ(fullAudio.channels, 2);  // something other than the clearing value to see
    const int32_t* want[2] = {&fullInfo.size, &fullAudio.size};
    for (int32_t size : {0, 7, 8, 43, 44, 71, 72, 88, -4, INT_MIN}) {
        alignas(8) int32_t words[2][24];  // room beyond both records: guard words
        std::fill(&words[0][0], &words[0][0] + 48, int32_t(0xA5A5A5A5));
        words[0][0] = words[1][0] = size;
        int32_t valid = -1;
        ASSERT_EQ(DVGetInfoEx(stream.data(), 144000, reinterpret_cast<DVStreamInfoEx*>(words[0]),
                              reinterpret_cast<DVAudioInfoEx*>(words[1]), &valid),
                  HVDV_INFO_OK);
        EXPECT_EQ((V{valid, words[0][0], words[1][0]}), (V{1, size, size}));
        for (int k = 0; k < 2; ++k)
            for (int i = 1; i < 24; ++i)
                EXPECT_EQ(words[k][i],
                          int64_t(size) >= 4 * i + 4 && i < (k ? 11 : 18) ? want[k][i] : int32_t(0xA5A5A5A5))
                    << "size " << size << (k ? " audio" : " info") << " field " << i;
    }
}

// Every way a frame cannot be described, on both calls.  audioValid is
// cleared first whenever it is given.  DVGetInfoEx describes frames longer
// than their buffer (without reading past it).
TEST(StreamInfo, Failures) {
    const std::vector<uint8_t> ok525 = Synth(120000, false, 0, false, 1, 0);
    const int F = HVDV_INFO_FAILED, OK = HVDV_INFO_OK;
    auto poked = [&](size_t at, uint8_t value, uint8_t keep = 0) {  // ok525 with one byte changed
        std::vector<uint8_t> f(ok525);
        return f[at] = uint8_t((f[at] & keep) | value), f;
    };
    const struct {
        const char* name;
        std::vector<uint8_t> frame;
        bool nullInfo, nullValid;
        int32_t info, ex;
    } cases[] = {
        {"null info", ok525, true, false, F, F},
        {"null audioValid", ok525, false, true, F, OK},
        {"one byte short", std::vector<uint8_t>(ok525.begin(), ok525.end() - 1), false, false, F, F},
        {"subcode block first", poked(0, 0x3F), false, false, F, F},
        {"video not valid (TF2)", poked(6, 0x80, 0xFF), false, false, F, F},
        {"no source pack", poked(448, 0xFF), false, false, F, F},
        {"DSF 1, 60 fields", MakeFrame(Packs(144000, true, false)), false, false, F, F},
        {"625 frame cut to 143999", MakeFrame(Packs(143999, true, true)), false, false, F, OK},
        {"1080-line frame in one unit", MakeFrame(Packs(120000, false, false, 0x14, true)), false, false, F, OK},
        {"high-definition STYPE 0x10", MakeFrame(Packs(576000, true, true, 0x10, true)), false, false, F, F},
        {"APT 1 with STYPE 1", MakeFrame(Packs(120000, false, false, 1, true)), false, false, F, F},
        {"APT 0 with STYPE 0x12 is 25 Mb/s", MakeFrame(Packs(120000, false, false, 0x12)), false, false, OK, OK},
    };
    for (const auto& c : cases) {
        DVStreamInfo info;
        DVStreamInfoEx ex = Filled<DVStreamInfoEx>();
        int32_t valid = -1, validEx = -1;
        EXPECT_EQ(DVGetInfo(c.frame.data(), int32_t(c.frame.size()), c.nullInfo ? nullptr : &info, nullptr,
                            c.nullValid ? nullptr : &valid),
                  c.info)
            << c.name;
        EXPECT_EQ(DVGetInfoEx(c.frame.data(), int32_t(c.frame.size()), c.nullInfo ? nullptr : &ex, nullptr,
                              c.nullValid ? nullptr : &validEx),
                  c.ex)
            << c.name;
        EXPECT_TRUE((c.nullValid || c.info == OK || valid == 0) && (c.nullValid || c.ex == OK || validEx == 0))
            << c.name;
    }
}

}  // namespace
