// Frame audio against FFmpeg's DV demuxer: the PCM MD5s of tests/data/audio.md5
// (made by tests/data/make_audio_md5.sh), one per stream and stereo pair, for
// the committed streams and for frames whose audio blocks a small writer here
// fills from known samples (every channel FFmpeg does not describe as well).
// Then truncated and damaged frames in exact-size buffers.
#include <cstdlib>
#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio/audio.h"
#include "md5.h"
#include "test_streams.h"

namespace {

using namespace hvdv;

std::map<std::string, std::string> ExpectedMd5s() {
    std::map<std::string, std::string> m;
    std::ifstream in(testdata::Path("audio.md5"));
    std::string name, md5;
    while (in >> name >> md5) m[name] = md5;
    return m;
}

// Decodes every frame; one MD5 of little-endian PCM per stereo pair.
std::vector<std::string> PairMd5s(const std::vector<uint8_t>& data, const DVProfile& p) {
    std::vector<hvdv_cli::Md5> md5(kMaxAudioChannels / 2);
    int pairs = 0;
    for (size_t at = 0; at + p.frameBytes <= data.size(); at += p.frameBytes) {
        const std::vector<uint8_t> frame(data.begin() + at, data.begin() + at + p.frameBytes);
        std::vector<int16_t> pcm(kMaxAudioChannels * 1944);
        DVFrameAudio info;
        EXPECT_EQ(DecodeFrameAudio(frame.data(), p.frameBytes, p, true, pcm.data(), pcm.size(), {}, &info),
                  DVAudioStatus::kOk);
        // 720-line frames alternate between pairs 0-1 and 2-3, as in FFmpeg.
        pairs = std::max(pairs, (info.channelBase + info.channels) / 2);
        for (int n = 0; n < info.samples * info.channels; ++n) {
            const uint8_t le[2] = {uint8_t(pcm[n]), uint8_t(uint16_t(pcm[n]) >> 8)};
            md5[(info.channelBase + n % info.channels) / 2].Update(le, 2);
        }
    }
    std::vector<std::string> out;
    for (int i = 0; i < pairs; ++i) out.push_back(md5[i].HexDigest());
    return out;
}

void ExpectMatchesFfmpeg(const std::string& name, const std::vector<uint8_t>& data, const DVProfile& p) {
    auto expected = ExpectedMd5s();
    const auto got = PairMd5s(data, p);
    ASSERT_FALSE(got.empty()) << name;
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_EQ(got[i], expected[name + "." + std::to_string(i)]) << name << " pair " << i;
}

TEST(Audio, CommittedStreamsMatchFfmpeg) {
    const struct { const char* file; int kind; } kStreams[] = {
        {"sample_625_420.dv", kKind625_420}, {"ntsc_411_48k.dv", kKind525_411},
        {"pal_420_wide_32k.dv", kKind625_420}, {"dv50_625_audio.dv", kKind625_422},
        {"jj_sony_perfect.dv", kKind525_411}, {"jj_sony_good_quality.dv", kKind525_411},
        {"jj_sony_head_clog.dv", kKind525_411}};
    for (const auto& s : kStreams) ExpectMatchesFfmpeg(s.file, testdata::ReadFile(s.file), *ProfileForKind(s.kind));
}

// Test-only writer: source packs (in every sequence, block 0 of odd and 3 of
// even ones) and samples code(n, channel) by the same shuffle the decoder
// undoes; am[h] is each half's AUDIO MODE.
template <typename Code>
void WriteAudio(uint8_t* f, const DVProfile& p, int qu, int smp, int afSize, int stype,
                const int* am, Code code) {
    static const int kMinSamples[2][3] = {{1580, 1452, 1053}, {1896, 1742, 1264}};
    const int half = p.sequences / 2, row = 9 * half, samples = kMinSamples[half == 6][smp] + afSize;
    for (int h = 0; h < 2 * p.channels; ++h)
        for (int s = 0; s < half; ++s)
            for (int k = 0; k < 9; ++k) {
                const int q = (h / 2) * p.sequences + (h % 2) * half + s;
                uint8_t* b = &f[AudioBlockOffset(q, k, true)];
                const bool pack = k == ((q % p.sequences) % 2 ? 0 : 3);
                const uint8_t bytes[5] = {0x50, uint8_t(0xC0 | afSize), uint8_t(qu << 5 | qu << 4 | am[h]),
                                          uint8_t(0xC0 | (half == 6) << 5 | stype), uint8_t(0xC0 | smp << 3 | qu)};
                for (int i = 0; i < 5; ++i) b[3 + i] = pack ? bytes[i] : 0xFF;
            }
    for (int n = 0; n < samples; ++n)
        for (int h = 0; h < 2 * p.channels; ++h) {
            const int q = (h / 2) * p.sequences + (h % 2) * half + (n / 3 + 2 * (n % 3)) % half;
            uint8_t* b = &f[AudioBlockOffset(q, 3 * (n % 3) + (n % row) / (3 * half), true) + 8];
            if (qu) {
                const int l = code(n, 2 * h), r = code(n, 2 * h + 1);
                uint8_t* u = b + 3 * (n / row);
                u[0] = uint8_t(l >> 4), u[1] = uint8_t(r >> 4), u[2] = uint8_t((l & 15) << 4 | (r & 15));
            } else {
                b[2 * (n / row)] = uint8_t(code(n, h) >> 8), b[2 * (n / row) + 1] = uint8_t(code(n, h));
            }
        }
}

TEST(Audio, WrittenFramesRoundTripAndMatchFfmpeg) {
    // 12-bit 32 kHz, four channels on a 525/60 frame; 16-bit 48 kHz, eight
    // channels on 1080i60 and 1080i50 DVCPRO HD frames, four on each of two 720p60 frames
    // (DIF channels 0-1, then 2-3).  Every 97th sample is an error code.
    const struct { const char* name; const char* base; int kind, qu, smp, af, stype, mask; } kCases[] = {
        {"written_12bit_4ch.dv", "ntsc_411_detail.dv", kKind525_411, 1, 2, 15, 0, 0xFFF},
        {"written_hd_8ch.dv", "hd_1080i60.dv", kKind1080_60, 0, 0, 20, 3, 0xFFFF},
        {"written_hd50_8ch.dv", "hd_1080i50.dv", kKind1080_50, 0, 0, 24, 3, 0xFFFF},
        {"written_720p.dv", "hd_720p60.dv", kKind720_60, 0, 0, 20, 3, 0xFFFF}};
    for (const auto& c : kCases) {
        const DVProfile& p = *ProfileForKind(c.kind);
        std::vector<uint8_t> f = testdata::ReadFile(c.base);
        ASSERT_EQ(f.size() % p.frameBytes, 0u);
        const int am[8] = {0, 1, 0, 1, 0, 1, 0, 1};
        const int error = c.qu ? 0x800 : 0x8000;
        const auto code = [&](int n, int ch) { return n % 97 == 3 ? error : (n * 2654435761u >> 7 ^ ch * 977) & c.mask; };
        for (size_t at = 0; at < f.size(); at += p.frameBytes) WriteAudio(&f[at], p, c.qu, c.smp, c.af, c.stype, am, code);
        if (const char* dir = std::getenv("HVDV_AUDIO_DUMP"))
            std::ofstream(std::string(dir) + "/" + c.name, std::ios::binary)
                .write(reinterpret_cast<const char*>(f.data()), f.size());
        ExpectMatchesFfmpeg(c.name, f, p);

        for (bool hold : {false, true}) {
            std::vector<int16_t> pcm(kMaxAudioChannels * 1944);
            DVFrameAudio info;
            ASSERT_EQ(DecodeFrameAudio(f.data(), p.frameBytes, p, true, pcm.data(), pcm.size(), {hold}, &info),
                      DVAudioStatus::kOk);
            ASSERT_EQ(info.channels, c.qu ? 4 : 2 * p.channels);
            int errors = 0;
            for (int n = 0; n < info.samples; ++n)
                for (int ch = 0; ch < info.channels; ++ch) {
                    const auto linear = [&](int v) { return c.qu ? Expand12Bit(v) : int16_t(v); };
                    const int v = code(n, ch);
                    errors += v == error;
                    const int want = v != error ? linear(v) : hold ? linear(code(n - 1, ch)) : 0;
                    ASSERT_EQ(pcm[n * info.channels + ch], want) << c.name << " n " << n << " ch " << ch;
                }
            EXPECT_EQ(int(info.errorSamples), errors);
            EXPECT_EQ(info.errorPositions[1], uint32_t(3 * info.channels + 1));
        }
        // A half marked "no audio" is silence, whatever its blocks hold.
        const int silent[8] = {0, 15, 0, 1, 0, 1, 0, 1};
        WriteAudio(f.data(), p, c.qu, c.smp, c.af, c.stype, silent, code);
        std::vector<int16_t> pcm(kMaxAudioChannels * 1944, 1);
        DVFrameAudio info;
        DecodeFrameAudio(f.data(), p.frameBytes, p, true, pcm.data(), pcm.size(), {}, &info);
        EXPECT_FALSE(info.half[1].audio);
        for (int n = 0; n < info.samples; ++n)
            for (int ch = c.qu ? 2 : 1; ch < (c.qu ? 4 : 2); ++ch) ASSERT_EQ(pcm[n * info.channels + ch], 0);
    }
}

TEST(Audio, TruncatedAndDamagedFramesStayInside) {
    const DVProfile& p = *ProfileForKind(kKind525_411);
    const auto sony = testdata::ReadFile("jj_sony_perfect.dv");
    std::vector<int16_t> whole(4 * 1068);
    DVFrameAudio info;
    ASSERT_EQ(DecodeFrameAudio(sony.data(), 120000, p, true, whole.data(), whole.size(), {}, &info), DVAudioStatus::kOk);
    // Cut copies: exact-size heap buffers; what is decoded is the whole
    // frame's sample or silence, and the blocks cut off are counted.
    for (uint32_t size : {0u, 80u, 560u, 12000u, 12000u * 4 + 7, 119999u}) {
        std::vector<uint8_t> cut(sony.begin(), sony.begin() + size);
        std::vector<int16_t> pcm(4 * 1068);
        const DVAudioStatus s = DecodeFrameAudio(cut.data(), size, p, true, pcm.data(), pcm.size(), {}, &info);
        if (s != DVAudioStatus::kOk) continue;
        if (size < AudioBlockOffset(9, 8, true) + 80) {
            EXPECT_GT(info.missingBlocks, 0u) << size;
        }
        for (size_t i = 0; i < pcm.size(); ++i) ASSERT_TRUE(pcm[i] == whole[i] || pcm[i] == 0) << size;
    }
    // Random bytes over the audio blocks, and a buffer of exactly the size asked for.
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> f(sony.begin(), sony.begin() + 120000);
        for (int i = 0; i < 64; ++i) f[AudioBlockOffset(rng() % 10, rng() % 9, true) + rng() % 80] = uint8_t(rng());
        if (ReadFrameAudio(f.data(), 120000, p, true, &info) != DVAudioStatus::kOk) continue;
        std::vector<int16_t> pcm(size_t(info.samples) * info.channels);
        EXPECT_EQ(DecodeFrameAudio(f.data(), 120000, p, true, pcm.data(), pcm.size(), {true}, &info), DVAudioStatus::kOk);
        EXPECT_EQ(DecodeFrameAudio(f.data(), 120000, p, true, pcm.data(), pcm.size() - 1, {}, &info),
                  DVAudioStatus::kShortBuffer);
    }
}

}  // namespace
