// DVGetInfo and DVGetInfoEx: the committed streams against what ffprobe
// reports for them, synthetic frames for the rate pack and audio rules, the
// size-limited writing of the extended records, and the failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>

#include "hv_dec_dv.h"
#include "info_test_util.h"

using hvdv_test::FrameRecipe;
using hvdv_test::MakeFrame;

namespace {

// Extended records filled with 0xA5 but for their size, so that every field
// the call leaves alone shows.
template <typename T>
T Filled() {
    T t;
    std::memset(&t, 0xA5, sizeof t);
    t.size = sizeof t;
    return t;
}

// The fields both records have.
struct Video {
    int32_t width, height, aspectX, aspectY, scanCode, frameBytes, formatCode;
};
template <typename Info>
void ExpectVideo(const Info& i, const Video& v, bool withScan = true) {
    EXPECT_EQ((std::vector<int32_t>{i.width, i.height, i.aspectX, i.aspectY, withScan ? i.scanCode : 0, i.frameBytes,
                                    i.formatCode}),
              (std::vector<int32_t>{v.width, v.height, v.aspectX, v.aspectY, withScan ? v.scanCode : 0, v.frameBytes,
                                    v.formatCode}));
}

// ffprobe -v error -show_streams on each committed stream gave these
// values.  High-definition frames store fewer samples per line than they
// show: DVGetInfo reports the display width, ffprobe's width times its
// sample aspect ratio (1440 x 4/3 and 1280 x 3/2 = 1920, 960 x 4/3 = 1280).
// ffprobe has no word for the format code; it follows from how FFmpeg
// writes the header block (APT 1 on its 4:1:1 frames, STYPE 4 at 50 Mb/s,
// the high-definition STYPEs).
struct ProbedStream {
    const char* file;
    int32_t frameBytes;
    int32_t width, height;  // ffprobe width, height
    int32_t sarNum, sarDen; // sample_aspect_ratio
    bool displayWidth;      // the library reports width x sample aspect
    int32_t darX, darY;     // display_aspect_ratio
    int32_t rateNum, rateDen;  // r_frame_rate
    int32_t sampleRate, channels;  // audio stream, 0 when none
    int32_t formatCode;
};

const ProbedStream kProbed[] = {
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

TEST(StreamInfo, CommittedStreamsAgreeWithFfprobe) {
    for (const ProbedStream& p : kProbed) {
        const std::vector<uint8_t> stream = hvdv_test::ReadStream(p.file);
        ASSERT_FALSE(stream.empty()) << p.file;
        ASSERT_EQ(stream.size() % p.frameBytes, 0u) << p.file;
        const int32_t width = p.displayWidth ? p.width * p.sarNum / p.sarDen : p.width;
        for (size_t at = 0; at < stream.size(); at += p.frameBytes) {
            SCOPED_TRACE(std::string(p.file) + " frame at " + std::to_string(at));
            const uint8_t* frame = stream.data() + at;

            using V = std::vector<int32_t>;
            const Video v{width, p.height, p.darX, p.darY, 0, p.frameBytes, p.formatCode};
            DVStreamInfo info;
            DVAudioInfo audio;
            int32_t audioValid = -1;
            ASSERT_EQ(DVGetInfo(frame, p.frameBytes, &info, &audio, &audioValid), HVDV_INFO_OK);
            ExpectVideo(info, v, false);
            EXPECT_EQ((V{info.rateNumerator, info.rateDenominator, audioValid, audio.channels}),
                      (V{p.rateNum, p.rateDen, p.channels > 0, std::min(p.channels, 2)}));
            if (p.channels) {
                EXPECT_EQ(audio.sampleRate, p.sampleRate);
            }
            DVStreamInfoEx ex = Filled<DVStreamInfoEx>();
            DVAudioInfoEx audioEx = Filled<DVAudioInfoEx>();
            ASSERT_EQ(DVGetInfoEx(frame, p.frameBytes, &ex, &audioEx, &audioValid), HVDV_INFO_OK);
            ExpectVideo(ex, v, false);
            EXPECT_EQ((V{ex.rateNumerator, ex.rateDenominator, ex.wholeRate, audioEx.channels}),
                      (V{p.rateNum, p.rateDen, p.rateDen == 1, p.channels}));
            if (p.channels) {
                EXPECT_EQ(audioEx.sampleRate, p.sampleRate);
            }
        }
    }
}

// Synthetic frames for what the committed streams do not show: the
// frame-rate pack, audio in several DIF channels, the wide-screen rule of
// APT-1 frames.
//
// A synthetic frame: the header blocks and packs of its kind, an AAUX source
// pack of sampling code smp in each of its first "channels" DIF
// channels, optionally a frame-rate pack, TF1 set at byte tf1At (> 0), and
// the display bits.
struct Synth {
    uint32_t size;
    bool f50;
    int stype;
    bool apt1;
    int channels, smp;
    int pack[3] = {-1, 0, 0};  // PC1 - PC3 of a frame-rate pack
    bool badCheck = false;
    int tf1At = 0, disp = 0, bcsys = 0;
    std::vector<uint8_t> Make() const {
        FrameRecipe r = hvdv_test::Packs(size, f50, f50, stype, apt1);
        r.disp = disp;
        r.bcsys = bcsys;
        std::vector<uint8_t> f = MakeFrame(r);
        for (int c = 0; c < channels; ++c) hvdv_test::PutAudioSourcePack(f, c * (f50 ? 144000 : 120000), smp);
        if (pack[0] >= 0) hvdv_test::PutRatePack(f, uint8_t(pack[0]), uint8_t(pack[1]), uint8_t(pack[2]), badCheck);
        if (tf1At) f[tf1At] |= 0x80;
        return f;
    }
};
struct Rate {  // DVGetInfo
    int32_t code, numerator, denominator, mode, phase, flag;
};
struct RateEx {  // DVGetInfoEx where it differs
    int32_t numerator, denominator, phase, systemCode, systemNumerator, wholeRate;
};
struct Audio {
    int32_t sampleRate, channels, channelsEx, foundMask, maxChannelsEx, valid;
};

const Video k525{720, 480, 4, 3, 2, 120000, 1};
const Video k720{1280, 720, 16, 9, 1, 240000, 4};
const Video k1080{1920, 1080, 16, 9, 3, 480000, 5};
const Rate k525Rate{0x30, 30000, 1001, 0, 0, 0}, k625Rate{0x25, 25, 1, 0, 0, 0};
const RateEx k525RateEx{30000, 1001, 15, 0x30, 30000, 0}, k625RateEx{25, 1, 15, 0x25, 25, 1};
const Audio k48kPair{48000, 2, 2, 1, 2, 1}, kNone{0, 0, 0, 0, 0, 0};

TEST(StreamInfo, SyntheticFrames) {
    const struct {
        const char* name;
        Synth frame;
        Video video;
        Rate rate;
        RateEx rateEx;
        Audio audio;
    } cases[] = {
        {"525 with 48 kHz", {120000, false, 0, false, 1, 0}, k525, k525Rate, k525RateEx, k48kPair},
        {"525 with TF1 set", {120000, false, 0, false, 1, 0, {-1}, false, 5}, k525, k525Rate, k525RateEx,
         {0, 0, 0, 0, 2, 0}},
        {"625 wide with 32 kHz", {144000, true, 0, false, 1, 2, {-1}, false, 0, 2}, {720, 576, 16, 9, 2, 144000, 1},
         k625Rate, k625RateEx, {32000, 2, 2, 1, 2, 1}},
        {"625 APT 1 with DISP 2 is wide whatever BCSYS", {144000, true, 0, true, 0, 0, {-1}, false, 0, 2, 1},
         {720, 576, 16, 9, 2, 144000, 2}, k625Rate, k625RateEx, {0, 0, 0, 0, 2, 0}},
        {"525 50 Mb/s with audio in both channels", {240000, false, 4, false, 2, 1}, {720, 480, 4, 3, 2, 240000, 3},
         k525Rate, k525RateEx, {44100, 2, 4, 3, 4, 1}},
        {"1080-line 60 with audio in four channels", {480000, false, 0x14, true, 4, 0}, k1080, k525Rate, k525RateEx,
         {48000, 2, 8, 15, 8, 1}},
        {"1080-line 60, audio stops at the first channel without it",
         {480000, false, 0x15, true, 4, 0, {-1}, false, 2 * 120000 + 5}, k1080, k525Rate, k525RateEx,
         {48000, 2, 4, 3, 8, 1}},
        {"720-line 50", {288000, true, 0x18, false, 0, 0}, {1280, 720, 16, 9, 1, 288000, 4}, {0x50, 50, 1, 0, 0, 0},
         {50, 1, 15, 0x50, 50, 1}, {0, 0, 0, 0, 4, 0}},
        {"720-line 60, 24 frames with phase 3", {240000, false, 0x18, false, 2, 0, {0x40, 0x24, 0x03}}, k720,
         {0x24, 24000, 1001, 2, 3, 0}, {24000, 1001, 3, 0x60, 60000, 0}, {48000, 2, 4, 3, 4, 1}},
        {"720-line 60, 24 frames without phase", {240000, false, 0x18, false, 2, 0, {0x00, 0x24, 0x0F}}, k720,
         {0x24, 24000, 1001, 0, 0, 0}, {24000, 1001, 15, 0x24, 24000, 0}, kNone},
        {"720-line 50 carrying 25 frames", {288000, true, 0x18, false, 2, 0, {0x20, 0x25, 0x0F}},
         {1280, 720, 16, 9, 1, 288000, 4}, {0x25, 25, 1, 3, 0, 0}, {25, 1, 15, 0x50, 50, 1}, {48000, 2, 4, 3, 4, 1}},
        {"525 24 frames, progressive", {120000, false, 0, false, 1, 0, {0x80, 0x24, 0x0F}},
         {720, 480, 4, 3, 1, 120000, 1}, {0x24, 24000, 1001, 1, 15, 0}, {24000, 1001, 15, 0x30, 30000, 0}, k48kPair},
        {"525 rate flag", {120000, false, 0, false, 1, 0, {0x10, 0x60, 0x0F}}, k525, {0x30, 30, 1, 0, 0, 1},
         {30000, 1001, 15, 0x30, 30000, 0}, kNone},
        {"rate pack with a wrong check byte", {120000, false, 0, false, 1, 0, {0x90, 0x24, 0x03}, true}, k525,
         k525Rate, k525RateEx, k48kPair},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> frame = c.frame.Make();
        const int32_t size = int32_t(frame.size());

        using V = std::vector<int32_t>;
        DVStreamInfo info;
        DVAudioInfo audio;
        std::memset(&info, 0xA5, sizeof info);
        std::memset(&audio, 0xA5, sizeof audio);
        int32_t audioValid = -1;
        ASSERT_EQ(DVGetInfo(frame.data(), size, &info, &audio, &audioValid), HVDV_INFO_OK);
        ExpectVideo(info, c.video);
        const Rate& r = c.rate;
        EXPECT_EQ((V{info.rateCode, info.rateNumerator, info.rateDenominator, info.rateMode, info.ratePhase,
                     info.rateFlag, info.reserved[0], audioValid, audio.channels}),
                  (V{r.code, r.numerator, r.denominator, r.mode, r.phase, r.flag, 0, c.audio.valid, c.audio.channels}));
        if (c.audio.channels) {
            EXPECT_EQ((V{audio.sampleRate, audio.bytesPerFrame}), (V{c.audio.sampleRate, c.audio.channels * 2}));
        }

        DVStreamInfoEx ex = Filled<DVStreamInfoEx>();
        DVAudioInfoEx audioEx = Filled<DVAudioInfoEx>();
        audioValid = -1;
        ASSERT_EQ(DVGetInfoEx(frame.data(), size, &ex, &audioEx, &audioValid), HVDV_INFO_OK);
        ExpectVideo(ex, c.video);
        const RateEx& e = c.rateEx;
        EXPECT_EQ((V{ex.rateCode, ex.rateMode, ex.rateFlag, ex.rateNumerator, ex.rateDenominator, ex.ratePhase,
                     ex.systemRateCode, ex.systemRateNumerator, ex.wholeRate, ex.reserved}),
                  (V{r.code, r.mode, r.flag, e.numerator, e.denominator, e.phase, e.systemCode, e.systemNumerator,
                     e.wholeRate, 0}));
        const int m = c.audio.foundMask;
        EXPECT_EQ((V{audioValid, audioEx.channels, audioEx.maxChannels, audioEx.channelFound[0],
                     audioEx.channelFound[1], audioEx.channelFound[2], audioEx.channelFound[3]}),
                  (V{c.audio.valid, c.audio.channelsEx, c.audio.maxChannelsEx, m & 1, m >> 1 & 1, m >> 2 & 1,
                     m >> 3 & 1}));
        if (c.audio.channelsEx) {
            EXPECT_EQ((V{audioEx.formatTag, audioEx.sampleRate, audioEx.bitsPerSample, audioEx.bytesPerFrame}),
                      (V{4, c.audio.sampleRate, 16, c.audio.channelsEx * 2}));
        }
    }
}

// A 50 Mb/s frame in a buffer of one 25 Mb/s frame: DVGetInfo refuses it,
// DVGetInfoEx describes it and leaves the audio alone but for the channel
// capacity; audioValid then says only that TF1 is clear.
TEST(StreamInfo, ExDescribesAFrameLongerThanItsBuffer) {
    for (bool tf1 : {false, true}) {
        std::vector<uint8_t> frame = Synth{120000, false, 4, false, 1, 0}.Make();
        if (tf1) frame[5] |= 0x80;
        DVStreamInfo info;
        int32_t audioValid = -1;
        EXPECT_EQ(DVGetInfo(frame.data(), 120000, &info, nullptr, &audioValid), HVDV_INFO_FAILED);
        EXPECT_EQ(audioValid, 0);

        DVStreamInfoEx ex = Filled<DVStreamInfoEx>();
        DVAudioInfoEx audio = Filled<DVAudioInfoEx>();
        audioValid = -1;
        ASSERT_EQ(DVGetInfoEx(frame.data(), 120000, &ex, &audio, &audioValid), HVDV_INFO_OK);
        EXPECT_EQ(ex.frameBytes, 240000);
        EXPECT_EQ(ex.formatCode, 3);
        EXPECT_EQ(audioValid, tf1 ? 0 : 1);
        EXPECT_EQ(audio.size, int32_t(sizeof audio));
        const int32_t* fields = &audio.size;
        for (int i = 1; i < 11; ++i) EXPECT_EQ(fields[i], i == 6 ? 4 : 0) << "audio field " << i;
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

    const int32_t sizes[] = {0, 7, 8, 43, 44, 71, 72, 88, -4, INT_MIN};
    constexpr int kWords = 24;  // room beyond both records: guard words
    for (int32_t size : sizes) {
        SCOPED_TRACE("size " + std::to_string(size));
        alignas(8) int32_t infoWords[kWords];
        alignas(8) int32_t audioWords[kWords];
        std::fill(infoWords, infoWords + kWords, int32_t(0xA5A5A5A5));
        std::fill(audioWords, audioWords + kWords, int32_t(0xA5A5A5A5));
        infoWords[0] = audioWords[0] = size;
        int32_t audioValid = -1;
        ASSERT_EQ(DVGetInfoEx(stream.data(), 144000, reinterpret_cast<DVStreamInfoEx*>(infoWords),
                              reinterpret_cast<DVAudioInfoEx*>(audioWords), &audioValid),
                  HVDV_INFO_OK);
        EXPECT_EQ(audioValid, 1);

        const int32_t* wantInfo = &fullInfo.size;
        const int32_t* wantAudio = &fullAudio.size;
        EXPECT_EQ(infoWords[0], size);
        EXPECT_EQ(audioWords[0], size);
        for (int i = 1; i < kWords; ++i) {
            const bool reached = int64_t(size) >= 4 * i + 4;
            EXPECT_EQ(infoWords[i], reached && i < 18 ? wantInfo[i] : int32_t(0xA5A5A5A5)) << "info field " << i;
            EXPECT_EQ(audioWords[i], reached && i < 11 ? wantAudio[i] : int32_t(0xA5A5A5A5))
                << "audio field " << i;
        }
    }
}

// Every way a frame cannot be described, on both calls.  audioValid is
// cleared first whenever it is given.
struct FailureCase {
    const char* name;
    std::function<std::vector<uint8_t>()> make;
    int32_t size;  // -1: the frame's size
    bool nullFrame, nullInfo, nullAudioValid;
    int32_t infoResult, exResult;
};

// A 525 frame with one byte changed.
std::function<std::vector<uint8_t>()> Poked(size_t at, uint8_t value, bool orInto = false) {
    return [=] {
        std::vector<uint8_t> f = MakeFrame(hvdv_test::Packs(120000, false, false));
        f[at] = orInto ? uint8_t(f[at] | value) : value;
        return f;
    };
}

TEST(StreamInfo, Failures) {
    const auto ok525 = [] { return Synth{120000, false, 0, false, 1, 0}.Make(); };
    const auto stype = [](uint32_t size, bool f50, int s, bool apt1) {
        return [=] { return MakeFrame(hvdv_test::Packs(size, f50, f50, s, apt1)); };
    };
    const int F = HVDV_INFO_FAILED, OK = HVDV_INFO_OK;
    const FailureCase cases[] = {
        {"a describable frame", ok525, -1, false, false, false, OK, OK},
        {"null info", ok525, -1, false, true, false, F, F},
        {"null audioValid", ok525, -1, false, false, true, F, OK},
        {"one byte short", ok525, 119999, false, false, false, F, F},
        {"subcode block first", Poked(0, 0x3F), -1, false, false, false, F, F},
        {"video not valid (TF2)", Poked(6, 0x80, true), -1, false, false, false, F, F},
        {"no source pack", Poked(448, 0xFF), -1, false, false, false, F, F},
        {"DSF 1, 60 fields", [] { return MakeFrame(hvdv_test::Packs(144000, true, false)); }, -1, false, false,
         false, F, F},
        {"625 frame cut to 143999", [] { return MakeFrame(hvdv_test::Packs(143999, true, true)); }, -1, false, false, false, F, OK},
        {"1080-line frame in one unit", stype(120000, false, 0x14, true), -1, false, false, false, F, OK},
        {"high-definition STYPE 0x10", stype(576000, true, 0x10, true), -1, false, false, false, F, F},
        {"high-definition STYPE 0x1C", stype(480000, false, 0x1C, false), -1, false, false, false, F, F},
        {"APT 1 with STYPE 1", stype(120000, false, 1, true), -1, false, false, false, F, F},
        {"APT 1 with STYPE 0x12", stype(120000, false, 0x12, true), -1, false, false, false, F, F},
        {"APT 0 with STYPE 0x12 is 25 Mb/s", stype(120000, false, 0x12, false), -1, false, false, false, OK, OK},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> frame = c.make();
        const uint8_t* data = c.nullFrame ? nullptr : frame.data();
        const int32_t size = c.size == -1 ? int32_t(frame.size()) : c.size;
        DVStreamInfo info;
        DVAudioInfo audio;
        int32_t audioValid = -1;
        EXPECT_EQ(DVGetInfo(data, size, c.nullInfo ? nullptr : &info, &audio,
                            c.nullAudioValid ? nullptr : &audioValid),
                  c.infoResult);
        if (!c.nullAudioValid && c.infoResult == F) {
            EXPECT_EQ(audioValid, 0);
        }

        DVStreamInfoEx ex = Filled<DVStreamInfoEx>();
        DVAudioInfoEx audioEx = Filled<DVAudioInfoEx>();
        audioValid = -1;
        EXPECT_EQ(DVGetInfoEx(data, size, c.nullInfo ? nullptr : &ex, &audioEx,
                              c.nullAudioValid ? nullptr : &audioValid),
                  c.exResult);
        if (!c.nullAudioValid && c.exResult == F) {
            EXPECT_EQ(audioValid, 0);
        }
    }
}

}  // namespace
