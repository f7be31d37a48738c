// Per-frame metadata against what ffprobe (timecode) and exiftool (recording
// date and time, audio) report for the same frames, then the voting of the
// timecode copies, the layout without header blocks, and truncated frames.
//
// The expected columns were produced frame by frame (one frame per file):
//   ffprobe -v quiet -show_entries format_tags=timecode -of csv=p=0 one.dv
//   exiftool -s3 -DateTimeOriginal -AudioChannels -AudioSampleRate -AudioBitsPerSample one.dv
// exiftool reports no date for dvrescue_cc_525.dv (its date packs are
// empty) and nothing for jj_sony_head_clog.dv (the first sequence lacks its
// VAUX source pack); their dates come from the samples' README.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "format/profile.h"
#include "hvdv.h"
#include "meta/metadata.h"
#include "test_streams.h"

using hvdv::DVFrameMetadata;

namespace {

struct Expected {
    const char* file;
    int frame;
    const char* timecode;  // ffprobe
    const char* recorded;  // exiftool DateTimeOriginal; "" when absent
    int channels, rate, bits, samples;
    bool locked;
    const char* caption;   // the frame's 0x65 pack, hex; "" when none
};

const Expected kFrames[] = {
    {"jj_sony_perfect.dv", 0, "00:00:02;20", "2024:07:08 19:55:58", 4, 32000, 12, 1068, false, ""},
    {"jj_sony_good_quality.dv", 0, "00:00:02;17", "2024:07:08 19:55:58", 4, 32000, 12, -1, false, ""},
    {"jj_sony_good_quality.dv", 4, "00:00:02;21", "2024:07:08 19:55:58", 4, 32000, 12, -1, false, ""},
    {"jj_sony_head_clog.dv", 0, "00:00:00;12", "2000:12:03 10:15:57", 4, 32000, 12, -1, false, ""},
    {"dvrescue_cc_525.dv", 0, "00:37:46:06", "", 2, 48000, 16, 1602, true, "6594208080"},
    {"dvrescue_cc_525.dv", 2, "00:37:46:08", "", 2, 48000, 16, -1, true, "6594768080"},
    // FFmpeg's DV muxer: drop-frame timecode counting on from -timecode,
    // creation_time in both date packs, 1600 then 1602 samples, LF set.
    {"meta_tc_525.dv", 0, "01:02:03;04", "2024:02:29 23:59:59", 2, 48000, 16, 1600, false, ""},
    {"meta_tc_525.dv", 2, "01:02:03;06", "2024:02:29 23:59:59", 2, 48000, 16, 1602, false, ""},
    {"meta_minute_525.dv", 1, "00:00:59;29", "1999:12:31 23:59:59", 2, 48000, 16, -1, false, ""},
    {"meta_minute_525.dv", 2, "00:01:00;02", "1999:12:31 23:59:59", 2, 48000, 16, -1, false, ""},
};

DVFrameMetadata Read(const uint8_t* frame, uint32_t size, bool headerBlocks = true, int kind = hvdv::kKind525_411) {
    DVFrameMetadata m;
    hvdv::ReadFrameMetadata(frame, size, *hvdv::ProfileForKind(kind), headerBlocks, &m);
    return m;
}

std::string Timecode(const hvdv::DVTimecode& t) {
    if (!t.present) return "";
    char s[16];
    std::snprintf(s, sizeof s, "%02d:%02d:%02d%c%02d", t.hours, t.minutes, t.seconds, t.dropFrame ? ';' : ':', t.frames);
    return s;
}

std::string Recorded(const hvdv::DVDate& d, const hvdv::DVTime& t) {
    if (!d.present || !t.present) return "";
    char s[24];
    std::snprintf(s, sizeof s, "%04d:%02d:%02d %02d:%02d:%02d", d.year, d.month, d.day, t.hours, t.minutes, t.seconds);
    return s;
}

std::string Hex(const uint8_t* p, int n) {
    std::string s;
    char b[3];
    for (int i = 0; i < n; ++i) s += (std::snprintf(b, sizeof b, "%02x", p[i]), b);
    return s;
}

}  // namespace

// Through the public interface.
TEST(Metadata, FramesAgreeWithFfprobeAndExiftool) {
    for (const Expected& e : kFrames) {
        SCOPED_TRACE(std::string(e.file) + " frame " + std::to_string(e.frame));
        const testdata::Stream s = testdata::Load(e.file, 120000, 480);
        ASSERT_GT(s.frames(), size_t(e.frame));
        hvdv_metadata m{};
        m.size = sizeof m;
        ASSERT_EQ(hvdv_read_metadata(s.frame(e.frame), s.frameBytes, &m), HVDV_OK);
        char tc[16] = "", rec[24] = "";
        if (m.present & HVDV_META_TIMECODE)
            std::snprintf(tc, sizeof tc, "%02d:%02d:%02d%c%02d", m.tc_hours, m.tc_minutes, m.tc_seconds,
                          m.tc_drop_frame ? ';' : ':', m.tc_frames);
        if ((m.present & HVDV_META_REC_DATE) && (m.present & HVDV_META_REC_TIME))
            std::snprintf(rec, sizeof rec, "%04u:%02u:%02u %02u:%02u:%02u", m.rec_year, m.rec_month, m.rec_day,
                          m.rec_hours, m.rec_minutes, m.rec_seconds);
        EXPECT_STREQ(tc, e.timecode);
        EXPECT_STREQ(rec, e.recorded);
        EXPECT_EQ(m.audio_channels, (uint32_t)e.channels);
        EXPECT_TRUE(m.present & HVDV_META_AUDIO_MODE);
        EXPECT_EQ(m.audio_rate, (uint32_t)e.rate);
        EXPECT_EQ(m.audio_bits, (uint32_t)e.bits);
        EXPECT_EQ(m.audio_locked, (uint32_t)e.locked);
        if (e.samples > 0) {
            EXPECT_EQ(m.audio_samples, (uint32_t)e.samples);
        }
        EXPECT_EQ(m.caption_count > 0 ? Hex(m.captions[0], 5) : "", e.caption);

        // Inside: one caption copy in every DIF sequence, one DIF channel.
        const DVFrameMetadata inner = Read(s.frame(e.frame), s.frameBytes);
        EXPECT_EQ(inner.captionCopies, *e.caption ? 10 : 0);
        EXPECT_FALSE(inner.audio[2].present);
    }
}

// Two-digit years: 00-69 are 20xx, 70-99 19xx.  70 is what FFmpeg's DV
// muxer writes without a creation time (1970-01-01, which MediaInfo also
// reads as 1970); exiftool turns at 90 and MediaInfo between 00 and 69,
// so the table is by hand.  Where the VAUX date is unknown (all digits
// set) the subcode's is read, and the record says so.
TEST(Metadata, TwoDigitYearsAndTheirSource) {
    std::vector<uint8_t> f = testdata::Load("meta_tc_525.dv", 120000, 480).copy(0);
    std::vector<size_t> vaux, subcode;  // year bytes of the 2024-02-29 date packs
    for (size_t o = 0; o + 5 <= f.size(); ++o)
        if (f[o] == 0x62 && (f[o + 2] & 0x3F) == 0x29 && (f[o + 3] & 0x1F) == 0x02 && f[o + 4] == 0x24)
            (o % 12000 >= 240 ? vaux : subcode).push_back(o + 4);  // DIF blocks 3-5 of a sequence: VAUX
    ASSERT_TRUE(!vaux.empty() && !subcode.empty());
    const struct {
        uint8_t code;
        uint32_t year;
        bool fromSubcode;
    } cases[] = {{0x00, 2000, false}, {0x69, 2069, true}, {0x70, 1970, false}, {0x74, 1974, true}, {0x99, 1999, false}};
    for (const auto& c : cases) {
        for (size_t o : subcode) f[o] = c.code;
        for (size_t o : vaux) f[o] = c.fromSubcode ? 0xFF : c.code;
        hvdv_metadata m{};
        m.size = sizeof m;
        ASSERT_EQ(hvdv_read_metadata(f.data(), f.size(), &m), HVDV_OK);
        EXPECT_EQ(m.rec_year, c.year) << int(c.code);
        EXPECT_EQ(m.rec_from_subcode, uint32_t(c.fromSubcode)) << int(c.code);
    }
}

// The public record carries each value the packs give, field by field
// (the packs' reading is checked above against ffprobe and exiftool):
// camera packs, unlocked 12-bit audio in two groups (Sony), captions and
// locked audio (dvrescue), wide screen (625/50).
TEST(Metadata, PublicRecordCarriesEveryValue) {
    const struct {
        const char* file;
        uint32_t frameBytes;
        int kind;
    } frames[] = {{"jj_sony_perfect.dv", 120000, hvdv::kKind525_411},
                  {"dvrescue_cc_525.dv", 120000, hvdv::kKind525_411},
                  {"pal_420_wide_32k.dv", 144000, hvdv::kKind625_420}};
    for (const auto& f : frames) {
        SCOPED_TRACE(f.file);
        const std::vector<uint8_t> frame = testdata::Load(f.file, f.frameBytes, 0).copy(0);
        const DVFrameMetadata in = Read(frame.data(), f.frameBytes, true, f.kind);
        hvdv_metadata m{};
        m.size = sizeof m;
        ASSERT_EQ(hvdv_read_metadata(frame.data(), frame.size(), &m), HVDV_OK);
        auto v = [](const hvdv::DVValue& x) { return x.present ? int64_t(x.value) : 0; };
        const hvdv::DVAudioGroup& a = in.audio[in.audio[0].present ? 0 : 1];
        const hvdv::DVCamera& c = in.camera;
        const hvdv_camera& k = m.camera;
        const struct {
            const char* name;
            int64_t got, expected;
        } fields[] = {
            {"tc", m.tc_hours << 24 | m.tc_minutes << 16 | m.tc_seconds << 8 | m.tc_frames,
             in.timecode.hours << 24 | in.timecode.minutes << 16 | in.timecode.seconds << 8 | in.timecode.frames},
            {"tc_drop_frame", m.tc_drop_frame, in.timecode.dropFrame},
            {"tc_copies", m.tc_copies, in.timecode.copies},
            {"tc_disagreeing", m.tc_disagreeing, in.timecode.disagreeing},
            {"rec_frames", m.rec_frames, v(in.vauxTime.frames)},
            {"rec_start", m.rec_start, v(in.recordStart)},
            {"repeated", m.repeated, v(in.repeatedFrame)},
            {"wide", m.wide, v(in.wide)},
            {"disp", m.disp, v(in.disp)},
            {"bcsys", m.bcsys, v(in.bcsys)},
            {"first_field", m.first_field, v(in.firstField)},
            {"field_one_first", m.field_one_first, v(in.fieldOne)},
            {"interlaced", m.interlaced, v(in.interlaced)},
            {"cgms", m.cgms, v(in.cgms)},
            {"audio_rate", m.audio_rate, v(a.sampleRate)},
            {"audio_bits", m.audio_bits, v(a.bits)},
            {"audio_samples", m.audio_samples, v(a.samples)},
            {"audio_locked", m.audio_locked, a.locked},
            {"audio_channels", m.audio_channels, v(in.audioChannels)},
            {"caption_count", m.caption_count, in.captionCount},
            {"camera packs", k.packs_present, c.present},
            {"iris", k.iris_code, v(c.iris)},
            {"f_number_tenths", k.f_number_tenths, v(c.fNumberTenths)},
            {"gain", k.gain, v(c.gain)},
            {"white_balance", k.white_balance, v(c.whiteBalance)},
            {"white_balance_mode", k.white_balance_mode, v(c.whiteBalanceMode)},
            {"shutter", k.shutter, v(c.shutterConsumer)},
            {"exposure_mode", k.exposure_mode, v(c.autoExposureMode)},
            {"present", m.present,
             (in.timecode.present ? HVDV_META_TIMECODE : 0) | (in.vauxDate.present ? HVDV_META_REC_DATE : 0) |
                 (in.vauxTime.present ? HVDV_META_REC_TIME : 0) |
                 (in.vauxTime.frames.present ? HVDV_META_REC_TIME_FRAMES : 0) |
                 (in.recordStart.present ? HVDV_META_REC_START : 0) |
                 (in.repeatedFrame.present ? HVDV_META_REPEATED : 0) | (in.disp.present ? HVDV_META_ASPECT : 0) |
                 (in.fieldOne.present ? HVDV_META_FIELD_ORDER : 0) |
                 (in.interlaced.present ? HVDV_META_INTERLACED : 0) | (in.cgms.present ? HVDV_META_CGMS : 0) |
                 HVDV_META_AUDIO_MODE | (in.captionCount ? HVDV_META_CAPTIONS : 0) |
                 (c.present ? HVDV_META_CAMERA : 0)},
            {"camera present", k.present,
             (c.iris.present ? HVDV_CAMERA_IRIS : 0) | (c.gain.present ? HVDV_CAMERA_GAIN : 0) |
                 (c.whiteBalance.present || c.whiteBalanceMode.present ? HVDV_CAMERA_WHITE_BALANCE : 0) |
                 (c.shutterConsumer.present ? HVDV_CAMERA_SHUTTER : 0) |
                 (c.autoExposureMode.present ? HVDV_CAMERA_EXPOSURE_MODE : 0)},
        };
        for (const auto& x : fields) EXPECT_EQ(x.got, x.expected) << x.name;
        EXPECT_EQ(std::memcmp(k.packs, c.packs, sizeof k.packs), 0);
    }
}

TEST(Metadata, SonyAudioGroups) {
    const testdata::Stream s = testdata::Load("jj_sony_perfect.dv", 120000, 480);
    const DVFrameMetadata m = Read(s.frame(0), s.frameBytes);
    // Two channels in each half; the second half says audio mode 15.
    EXPECT_TRUE(m.audio[0].channels.value == 2 && m.audio[0].audioMode == 0);
    EXPECT_TRUE(m.audio[1].channels.value == 2 && m.audio[1].audioMode == 15);
}

TEST(Metadata, TimecodeCopiesVote) {
    // The clogged-head frame carries two timecodes: 19 copies of ;12, 16 of ;13.
    const testdata::Stream clog = testdata::Load("jj_sony_head_clog.dv", 120000, 480);
    DVFrameMetadata m = Read(clog.frame(0), clog.frameBytes);
    EXPECT_EQ(m.timecode.copies, 35);
    EXPECT_EQ(m.timecode.disagreeing, 16);

    // A clean frame: every copy agrees; then copies rewritten, one to an
    // impossible value (frame digit 0xA).
    std::vector<uint8_t> f = testdata::Load("jj_sony_perfect.dv", 120000, 480).copy(0);
    m = Read(f.data(), 120000);
    const int copies = m.timecode.copies;
    EXPECT_GT(copies, 20);
    EXPECT_EQ(m.timecode.disagreeing, 0);
    // Read as 625/50, PC1 bit 6 is no drop-frame flag.
    EXPECT_EQ(Timecode(Read(f.data(), 120000, true, hvdv::kKind625_411).timecode), "00:00:02:20");
    uint32_t changed = 0;
    for (uint32_t o = 0; o + 5 <= f.size() && changed < 4; ++o)
        if (f[o] == 0x13 && f[o + 1] == 0xE0 && f[o + 2] == 0x82) f[o + 1] = changed++ ? 0xE5 : 0xEA;
    m = Read(f.data(), 120000);
    EXPECT_EQ(Timecode(m.timecode), "00:00:02;20");
    EXPECT_EQ(m.timecode.copies, copies);
    EXPECT_EQ(m.timecode.disagreeing, 4);
}

TEST(Metadata, LayoutWithoutHeaderBlocks) {
    // The same frame with the header block of every sequence removed.
    const std::vector<uint8_t> f = testdata::Load("jj_sony_perfect.dv", 120000, 480).copy(0);
    std::vector<uint8_t> g;
    for (uint32_t q = 0; q < 10; ++q) g.insert(g.end(), f.begin() + q * 12000 + 80, f.begin() + (q + 1) * 12000);
    const DVFrameMetadata a = Read(f.data(), 120000), b = Read(g.data(), uint32_t(g.size()), false);
    EXPECT_EQ(Timecode(b.timecode), "00:00:02;20");
    EXPECT_EQ(b.timecode.copies, a.timecode.copies);
    EXPECT_EQ(Recorded(b.vauxDate, b.vauxTime), Recorded(a.vauxDate, a.vauxTime));
    EXPECT_EQ(b.audioChannels.value, 4);
    EXPECT_EQ(b.camera.present, a.camera.present);
}

TEST(Metadata, TruncatedFramesReadOnlyWhatIsThere) {
    // Exact-size copies, so that the sanitizer build sees any read past the
    // end.  A short frame reports what its first sequences carry.
    const std::vector<uint8_t> f = testdata::Load("dvrescue_cc_525.dv", 120000, 480).copy(0);
    for (uint32_t size : {0u, 1u, 90u, 91u, 477u, 478u, 12272u, 12273u, 60000u, 119999u}) {
        SCOPED_TRACE(size);
        const std::vector<uint8_t> cut(f.begin(), f.begin() + size);
        const DVFrameMetadata m = Read(size ? cut.data() : f.data(), size);
        // The first timecode pack is bytes 86-90.
        EXPECT_EQ(m.timecode.present, size >= 91);
        // One caption pack a sequence: VAUX pack 44 (bytes 473-477) of even
        // sequences, pack 5 (bytes 268-272) of odd ones.
        int captions = 0;
        for (uint32_t q = 0; q < 10; ++q) captions += q * 12000 + (q & 1 ? 273 : 478) <= size;
        EXPECT_EQ(m.captionCopies, captions);
    }
    DVFrameMetadata m;
    EXPECT_FALSE(hvdv::ReadFrameMetadata(nullptr, 120000, *hvdv::ProfileForKind(hvdv::kKind525_411), true, &m));
}
