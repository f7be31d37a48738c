// DVGetInfo and DVGetInfoEx in one table: the committed streams against what
// ffprobe reports for them, synthetic frames for the rules those streams do
// not reach (frame-rate pack, display bits, audio channels) and the frames
// that cannot be described; then the size-limited writing of the extended
// records.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "hv_dec_dv.h"
#include "test_streams.h"

using V = std::vector<int32_t>;

namespace {

// A synthetic frame: 0xFF (as unused DIF bytes and empty packs are) but for
// the header block of every DIF sequence (DSF; APT and AP1-AP3 all 1 or all
// 0), the VAUX source pack (0x60: 50/60 bit, STYPE) and source control pack
// (0x61: DISP, BCSYS) of the first sequence, an AAUX source pack (0x50,
// sampling code smp: 0 48 kHz, 1 44.1 kHz, 2 32 kHz) in audio block 3 of each
// of the first `channels` DIF channels, optionally a frame-rate pack (0x64,
// PC1-PC3 and a check byte) and TF1 set at byte tf1At.
std::vector<uint8_t> Synth(uint32_t size, bool dsf, bool f50, int stype, bool apt1, int channels = 0, int smp = 0,
                           V rate = {}, bool badCheck = false, uint32_t tf1At = 0, int disp = 0, int bcsys = 0) {
    std::vector<uint8_t> f(size, 0xFF);
    auto put = [&](uint32_t at, std::vector<int> bytes) {
        for (size_t i = 0; i < bytes.size() && at + i < size; ++i) f[at + i] = uint8_t(bytes[i]);
    };
    for (uint32_t s = 0; s + 8 <= size; s += 12000)
        put(s, {0x1F, 0x07, 0x00, dsf ? 0xBF : 0x3F, 0xF8 | apt1, 0x78 | apt1, 0x78 | apt1, 0x78 | apt1});
    put(448, {0x60, 0xFF, 0xFF, 0xC0 | (f50 ? 0x20 : 0) | stype, 0xFF});
    put(453, {0x61, 0x3F, 0xC8 | disp, 0xFC | bcsys, 0xFF});
    for (int c = 0; c < channels; ++c) put(c * (f50 ? 144000 : 120000) + 483 + 3 * 1280, {0x50, 0xD0, 0, 0xE0, 0x80 | smp << 3});
    if (!rate.empty()) put(468, {0x64, rate[0], rate[1], rate[2], (((rate[0] + rate[1] + rate[2]) & 0xFF) ^ 0x55) ^ badCheck});
    if (tf1At) f[tf1At] |= 0x80;
    return f;
}

// Expected values, -1 where a row does not say.  video: width, height,
// aspect x and y, scan code, frame bytes, format code (both records).  rate:
// DVGetInfo's code, numerator, denominator, mode, phase, flag.  rateEx:
// DVGetInfoEx's numerator, denominator, phase, system rate code and
// numerator, whole rate.  audio: sample rate, DVGetInfo's channels,
// DVGetInfoEx's channels, channels found (a bit per DIF channel), channel
// capacity, audio valid.
struct Row {
    std::string name;
    std::vector<uint8_t> frame;
    int32_t result, resultEx;
    V video, rate, rateEx, audio;
};

const int32_t OK = HVDV_INFO_OK, F = HVDV_INFO_FAILED;
const V k525Rate{0x30, 30000, 1001, 0, 0, 0}, k625Rate{0x25, 25, 1, 0, 0, 0};
const V k525RateEx{30000, 1001, 15, 0x30, 30000, 0}, k625RateEx{25, 1, 15, 0x25, 25, 1};
const V k525{720, 480, 4, 3, 2, 120000, 1}, k720{1280, 720, 16, 9, 1, 240000, 4};
const V kNoAudio{0, 0, 0, 0, 2, 0}, kNone(6, 0), k48kPair{48000, 2, 2, 1, 2, 1}, k48kTwoUnits{48000, 2, 4, 3, 4, 1};

std::vector<Row> Rows() {
    std::vector<Row> rows;
    // ffprobe -show_streams on each committed stream: width (high definition:
    // times the sample aspect ratio, the display width), height,
    // display_aspect_ratio, field_order (bb 2, tt 3, progressive 1),
    // r_frame_rate, audio sample_rate and channels.  The format code follows
    // from the header block FFmpeg writes (APT 1 on 4:1:1, STYPE 4 at 50 Mb/s,
    // the high-definition STYPEs).
    const struct {
        const char* file;
        int32_t frameBytes, width, height, darX, darY, scan, format, rateNum, rateDen, sampleRate, channels;
    } probed[] = {
        {"sample_625_420.dv", 144000, 720, 576, 4, 3, 2, 1, 25, 1, 48000, 2},
        {"ntsc_411_48k.dv", 120000, 720, 480, 4, 3, 2, 2, 30000, 1001, 48000, 2},
        {"pal_411.dv", 144000, 720, 576, 4, 3, 2, 2, 25, 1, 0, 0},
        {"pal_420_wide_32k.dv", 144000, 720, 576, 16, 9, 2, 1, 25, 1, 32000, 2},
        {"dv50_625.dv", 288000, 720, 576, 4, 3, 2, 3, 25, 1, 0, 0},
        {"dv50_525.dv", 240000, 720, 480, 4, 3, 2, 3, 30000, 1001, 0, 0},
        {"hd_1080i50.dv", 576000, 1920, 1080, 16, 9, 3, 5, 25, 1, 0, 0},
        {"hd_1080i60.dv", 480000, 1920, 1080, 16, 9, 3, 5, 30000, 1001, 0, 0},
        {"hd_720p60.dv", 240000, 1280, 720, 16, 9, 1, 4, 60000, 1001, 0, 0},
    };
    for (const auto& p : probed) {
        const testdata::Stream s = testdata::Load(p.file, p.frameBytes, 0);
        EXPECT_GT(s.frames(), 0u) << p.file;
        for (size_t i = 0; i < s.frames(); ++i)
            rows.push_back({std::string(p.file) + " frame " + std::to_string(i), s.copy(i), OK, OK,
                            {p.width, p.height, p.darX, p.darY, p.scan, p.frameBytes, p.format},
                            {},
                            {p.rateNum, p.rateDen, -1, -1, -1, p.rateDen == 1},
                            {p.channels ? p.sampleRate : 0, p.channels, p.channels, -1, -1, p.channels > 0}});
    }
    const std::vector<uint8_t> ok525 = Synth(120000, false, false, 0, false, 1);
    auto poked = [&](size_t at, uint8_t value, uint8_t keep = 0) {  // ok525 with one byte changed
        std::vector<uint8_t> f(ok525);
        return f[at] = uint8_t((f[at] & keep) | value), f;
    };
    const std::vector<Row> synthetic = {
        {"525 with TF1 set", Synth(120000, false, false, 0, false, 1, 0, {}, false, 5), OK, OK, k525, k525Rate,
         k525RateEx, kNoAudio},
        {"625 APT 1 with DISP 2 is wide whatever BCSYS", Synth(144000, true, true, 0, true, 0, 0, {}, false, 0, 2, 1),
         OK, OK, {720, 576, 16, 9, 2, 144000, 2}, k625Rate, k625RateEx, kNoAudio},
        {"525 50 Mb/s with audio in both channels", Synth(240000, false, false, 4, false, 2, 1), OK, OK,
         {720, 480, 4, 3, 2, 240000, 3}, k525Rate, k525RateEx, {44100, 2, 4, 3, 4, 1}},
        {"1080-line 60, audio stops at the first channel without it",
         Synth(480000, false, false, 0x15, true, 4, 0, {}, false, 2 * 120000 + 5), OK, OK,
         {1920, 1080, 16, 9, 3, 480000, 5}, k525Rate, k525RateEx, {48000, 2, 4, 3, 8, 1}},
        {"720-line 60, 24 frames with phase 3", Synth(240000, false, false, 0x18, false, 2, 0, {0x40, 0x24, 0x03}),
         OK, OK, k720, {0x24, 24000, 1001, 2, 3, 0}, {24000, 1001, 3, 0x60, 60000, 0}, k48kTwoUnits},
        {"720-line 60, 24 frames without phase", Synth(240000, false, false, 0x18, false, 2, 0, {0x00, 0x24, 0x0F}),
         OK, OK, k720, {0x24, 24000, 1001, 0, 0, 0}, {24000, 1001, 15, 0x24, 24000, 0}, kNone},
        {"720-line 50 carrying 25 frames", Synth(288000, true, true, 0x18, false, 2, 0, {0x20, 0x25, 0x0F}), OK, OK,
         {1280, 720, 16, 9, 1, 288000, 4}, {0x25, 25, 1, 3, 0, 0}, {25, 1, 15, 0x50, 50, 1}, k48kTwoUnits},
        {"525 24 frames, progressive", Synth(120000, false, false, 0, false, 1, 0, {0x80, 0x24, 0x0F}), OK, OK,
         {720, 480, 4, 3, 1, 120000, 1}, {0x24, 24000, 1001, 1, 15, 0}, {24000, 1001, 15, 0x30, 30000, 0}, k48kPair},
        {"525 rate flag", Synth(120000, false, false, 0, false, 1, 0, {0x10, 0x60, 0x0F}), OK, OK, k525,
         {0x30, 30, 1, 0, 0, 1}, {30000, 1001, 15, 0x30, 30000, 0}, kNone},
        {"rate pack with a wrong check byte", Synth(120000, false, false, 0, false, 1, 0, {0x90, 0x24, 0x03}, true),
         OK, OK, k525, k525Rate, k525RateEx, k48kPair},
        // Frames that cannot be described (DVGetInfoEx describes frames longer
        // than their buffer, without reading past it).
        {"one byte short", std::vector<uint8_t>(ok525.begin(), ok525.end() - 1), F, F, {}, {}, {}, {}},
        {"subcode block first", poked(0, 0x3F), F, F, {}, {}, {}, {}},
        {"video not valid (TF2)", poked(6, 0x80, 0xFF), F, F, {}, {}, {}, {}},
        {"no source pack", poked(448, 0xFF), F, F, {}, {}, {}, {}},
        {"DSF 1, 60 fields", Synth(144000, true, false, 0, false), F, F, {}, {}, {}, {}},
        {"625 frame cut to 143999", Synth(143999, true, true, 0, false), F, OK, {}, {}, {}, {}},
        {"1080-line frame in one unit", Synth(120000, false, false, 0x14, true), F, OK, {}, {}, {}, {}},
        {"high-definition STYPE 0x10", Synth(576000, true, true, 0x10, true), F, F, {}, {}, {}, {}},
        {"APT 1 with STYPE 1", Synth(120000, false, false, 1, true), F, F, {}, {}, {}, {}},
        {"APT 0 with STYPE 0x12 is 25 Mb/s", Synth(120000, false, false, 0x12, false), OK, OK, {}, {}, {}, {}},
    };
    rows.insert(rows.end(), synthetic.begin(), synthetic.end());
    return rows;
}

// got with the fields want leaves open (-1) cleared the same way.
V Said(const V& want, V got) {
    for (size_t i = 0; i < want.size() && i < got.size(); ++i) got[i] = want[i] < 0 ? -1 : got[i];
    return want.empty() ? V{} : got;
}

// Every field a call leaves alone shows as 0xA5 bytes.
template <typename T>
T Filled() {
    T t;
    std::memset(&t, 0xA5, sizeof t);
    return t;
}

TEST(StreamInfo, Table) {
    for (const Row& r : Rows()) {
        SCOPED_TRACE(r.name);
        DVStreamInfo info = Filled<DVStreamInfo>();
        DVAudioInfo audio = Filled<DVAudioInfo>();
        DVStreamInfoEx ex = Filled<DVStreamInfoEx>();
        DVAudioInfoEx audioEx = Filled<DVAudioInfoEx>();
        ex.size = sizeof ex;
        audioEx.size = sizeof audioEx;
        int32_t valid = -1, validEx = -1;
        ASSERT_EQ(DVGetInfo(r.frame.data(), int32_t(r.frame.size()), &info, &audio, &valid), r.result);
        ASSERT_EQ(DVGetInfoEx(r.frame.data(), int32_t(r.frame.size()), &ex, &audioEx, &validEx), r.resultEx);
        EXPECT_TRUE((r.result == OK || valid == 0) && (r.resultEx == OK || validEx == 0)) << "audioValid cleared";
        if (r.video.empty()) continue;
        EXPECT_EQ(Said(r.video, {info.width, info.height, info.aspectX, info.aspectY, info.scanCode, info.frameBytes,
                                 info.formatCode}),
                  r.video);
        EXPECT_EQ(Said(r.video, {ex.width, ex.height, ex.aspectX, ex.aspectY, ex.scanCode, ex.frameBytes,
                                 ex.formatCode}),
                  r.video);
        EXPECT_EQ(Said(r.rate, {info.rateCode, info.rateNumerator, info.rateDenominator, info.rateMode,
                                info.ratePhase, info.rateFlag}),
                  r.rate);
        EXPECT_EQ(Said(r.rateEx, {ex.rateNumerator, ex.rateDenominator, ex.ratePhase, ex.systemRateCode,
                                  ex.systemRateNumerator, ex.wholeRate}),
                  r.rateEx);
        // Both records agree on the rate code, mode and flag; reserved fields are 0.
        EXPECT_EQ((V{ex.rateCode, ex.rateMode, ex.rateFlag, info.reserved[0], ex.reserved}),
                  (V{info.rateCode, info.rateMode, info.rateFlag, 0, 0}));
        const V& a = r.audio;
        const int32_t found = audioEx.channelFound[0] | audioEx.channelFound[1] << 1 |
                              audioEx.channelFound[2] << 2 | audioEx.channelFound[3] << 3;
        EXPECT_EQ(Said(a, {a[1] ? audio.sampleRate : 0, audio.channels, audioEx.channels, found,
                           audioEx.maxChannels, validEx}),
                  a);
        EXPECT_EQ(valid, validEx);
        if (a[1] > 0) {
            EXPECT_EQ(audio.bytesPerFrame, a[1] * 2);
        }
        if (a[2] > 0) {
            EXPECT_EQ((V{audioEx.formatTag, audioEx.sampleRate, audioEx.bitsPerSample, audioEx.bytesPerFrame}),
                      (V{4, a[0], 16, a[2] * 2}));
        }
    }
    // Nowhere to write the stream information fails; audioValid may be left out.
    const std::vector<uint8_t> frame = Synth(120000, false, false, 0, false, 1);
    DVStreamInfo info;
    DVStreamInfoEx ex{};
    ex.size = sizeof ex;
    EXPECT_EQ((V{DVGetInfo(frame.data(), 120000, nullptr, nullptr, nullptr),
                 DVGetInfoEx(frame.data(), 120000, nullptr, nullptr, nullptr),
                 DVGetInfo(frame.data(), 120000, &info, nullptr, nullptr),
                 DVGetInfoEx(frame.data(), 120000, &ex, nullptr, nullptr)}),
              (V{F, F, F, OK}));
}

// Field i of an extended record is written only when size >= 4 i + 4; the
// size itself and whatever lies beyond the known fields stay as they were.
TEST(StreamInfo, ExRecordsAreWrittenOnlyAsFarAsTheirSize) {
    const testdata::Stream s = testdata::Load("sample_625_420.dv", 144000, 576);
    ASSERT_GT(s.frames(), 0u);
    DVStreamInfoEx fullInfo = Filled<DVStreamInfoEx>();
    DVAudioInfoEx fullAudio = Filled<DVAudioInfoEx>();
    fullInfo.size = sizeof fullInfo;
    fullAudio.size = sizeof fullAudio;
    ASSERT_EQ(DVGetInfoEx(s.frame(0), 144000, &fullInfo, &fullAudio, nullptr), HVDV_INFO_OK);
    const int32_t* want[2] = {&fullInfo.size, &fullAudio.size};
    for (int32_t size : {0, 7, 8, 43, 44, 71, 72, 88, -4, INT_MIN}) {
        alignas(8) int32_t words[2][24];  // room beyond both records: guard words
        std::fill(&words[0][0], &words[0][0] + 48, int32_t(0xA5A5A5A5));
        words[0][0] = words[1][0] = size;
        ASSERT_EQ(DVGetInfoEx(s.frame(0), 144000, reinterpret_cast<DVStreamInfoEx*>(words[0]),
                              reinterpret_cast<DVAudioInfoEx*>(words[1]), nullptr),
                  HVDV_INFO_OK);
        for (int k = 0; k < 2; ++k)
            for (int i = 0; i < 24; ++i)
                EXPECT_EQ(words[k][i], i == 0                                         ? size
                                       : int64_t(size) >= 4 * i + 4 && i < (k ? 11 : 18) ? want[k][i]
                                                                                        : int32_t(0xA5A5A5A5))
                    << "size " << size << (k ? " audio" : " info") << " field " << i;
    }
}

}  // namespace
