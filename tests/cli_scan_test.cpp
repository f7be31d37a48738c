// "hvdv scan" and "hvdv split": the recording rule on sequences of frames
// (tests/cli_scan.cmake runs both commands on real files), and the damage
// plot read back pixel by pixel.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "plot.h"
#include "records.h"
#include "test_streams.h"

namespace {

using hvdv_scan::FrameRecord;

// Frame flags: the kind (525/60 DV25 unless one is given), then changes
// from 48 kHz 16-bit stereo, one value at a time.
enum : uint32_t {
    kRecStart = 1, kRepeated = 2, kWide = 4, kPal = 8, k720p50 = 16, k720p60 = 32,
    k32k = 64, k12bit = 128, k4ch = 256
};

struct Step {
    uint64_t index;
    const char* timecode;  // "HH:MM:SS:FF" or ";FF" (drop-frame); null: absent
    const char* recorded;  // "YYYY-MM-DDTHH:MM:SS"; null: absent
    uint32_t flags;
    uint32_t reasons;      // expected RecordingBreak bits
    bool timecodeBreak;    // expected
};

FrameRecord Make(const Step& s) {
    FrameRecord r;
    r.index = s.index;
    r.identified = true;
    r.kind = (s.flags & kPal)      ? HVDV_KIND_DV25_625_420
             : (s.flags & k720p50) ? HVDV_KIND_HD_720P50
             : (s.flags & k720p60) ? HVDV_KIND_HD_720P60
                                   : HVDV_KIND_DV25_525_411;
    r.rateNum = (s.flags & kPal) ? 25 : (s.flags & k720p50) ? 50 : (s.flags & k720p60) ? 60000 : 30000;
    r.rateDen = (s.flags & (kPal | k720p50)) ? 1 : 1001;
    char separator = ':';
    if (s.timecode)
        r.hasTimecode = std::sscanf(s.timecode, "%u:%u:%u%c%u", &r.tcHours, &r.tcMinutes, &r.tcSeconds, &separator,
                                    &r.tcFrames) == 5;
    r.tcDrop = separator == ';';
    if (s.recorded)
        r.hasDate = r.hasTime = std::sscanf(s.recorded, "%u-%u-%uT%u:%u:%u", &r.year, &r.month, &r.day, &r.hours,
                                            &r.minutes, &r.seconds) == 6;
    r.hasRecStart = r.hasRepeated = r.hasAspect = r.hasAudio = true;
    r.recStart = (s.flags & kRecStart) != 0;
    r.repeated = (s.flags & kRepeated) != 0;
    r.wide = (s.flags & kWide) != 0;
    r.audioRate = (s.flags & k32k) ? 32000 : 48000;
    r.audioBits = (s.flags & k12bit) ? 12 : 16;
    r.audioChannels = (s.flags & k4ch) ? 4 : 2;
    return r;
}

constexpr uint32_t kFirst = hvdv_scan::kBreakFirstFrame;

TEST(CliRecordings, Rule) {
    const char* const d = "2024-02-29T23:59:59";
    const struct {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        // Drop-frame: 17982 frames every ten minutes (frames 0 and 1 kept
        // at each tenth minute, skipped at the others); 00:10:00;00 to
        // 00:59:59;29 is five times that, less one.
        {"drop-frame across minutes, tenth minutes and the hour; the date's second ticks",
         {{0, "00:00:59;28", d, 0, kFirst, false},
          {1, "00:00:59;29", d, 0, 0, false},
          {2, "00:01:00;02", "2024-03-01T00:00:00", 0, 0, false},
          {3, "00:09:59;29", nullptr, 0, hvdv_scan::kBreakTimecodeForward, true},
          {4, "00:10:00;00", nullptr, 0, 0, false},
          {4 + 89909, "00:59:59;29", nullptr, 0, 0, false},
          {4 + 89910, "01:00:00;00", nullptr, 0, 0, false},
          {4 + 89911, "01:00:00;01", nullptr, 0, 0, false}}},
        {"timecode wraps at midnight, 25 and 29.97 frame/s drop-frame",
         {{0, "23:59:59:24", d, kPal, kFirst, false}, {1, "00:00:00:00", d, kPal, 0, false},
          {2, "00:59:59:24", d, kPal, hvdv_scan::kBreakTimecodeForward, true},
          {3, "01:00:00:00", d, kPal, 0, false},
          {4, "23:59:59;29", d, 0, hvdv_scan::kBreakKind, false},
          {5, "00:00:00;00", d, 0, 0, false}}},
        // 720p: two pictures a timecode frame, the timecode counting 25 or
        // 30 (drop-frame) frames a second.
        {"720p50 and 720p59.94 pictures share timecodes",
         {{0, "00:00:00:24", d, k720p50, kFirst, false},
          {1, "00:00:00:24", d, k720p50, 0, false},
          {2, "00:00:01:00", d, k720p50, 0, false},
          {3, "00:00:01:00", d, k720p50, 0, false},
          {4, "00:00:01:02", d, k720p50, 0, true},
          {5, "00:00:59;29", d, k720p60, hvdv_scan::kBreakKind, false},
          {6, "00:00:59;29", d, k720p60, 0, false},
          {7, "00:01:00;02", d, k720p60, 0, false},
          {8, "00:01:00;02", d, k720p60, 0, false}}},
        {"date goes back one second; a day at midnight",
         {{0, "01:00:00:00", d, 0, kFirst, false},
          {1, "01:00:00:01", "2024-02-29T23:59:58", 0, hvdv_scan::kBreakDateBack, false},
          {2, "01:00:00:02", "2024-03-01T00:00:00", 0, 0, false},
          {3, "01:00:00:03", "2024-02-29T00:00:00", 0, hvdv_scan::kBreakDateBack, false}}},
        {"date forward: 3 s slack, then beyond; across the century",
         {{0, nullptr, "2024-01-01T10:00:00", 0, kFirst, false},
          {10, nullptr, "2024-01-01T10:00:03", 0, 0, false},
          {20, nullptr, "2024-01-01T10:00:07", 0, hvdv_scan::kBreakDateForward, false},
          {21, nullptr, "1999-12-31T23:59:59", 0, hvdv_scan::kBreakDateBack, false},
          {22, nullptr, "2000-01-01T00:00:00", 0, 0, false}}},
        {"frames without a date or timecode: the time they last is allowed for",
         {{0, "01:00:00:00", "2024-01-01T10:00:00", 0, kFirst, false},
          {1, nullptr, nullptr, 0, 0, false},
          {300, "01:00:10:00", "2024-01-01T10:00:12", 0, 0, false},
          {301, nullptr, "2024-01-01T10:00:17", 0, hvdv_scan::kBreakDateForward, false},
          {400, "01:00:13:20", nullptr, 0, 0, true}}},
        {"timecode: frames lost, then a jump, then back",
         {{0, "01:00:00:00", nullptr, 0, kFirst, false},
          {1, "01:00:00:05", nullptr, 0, 0, true},
          {2, "01:00:02:00", nullptr, 0, hvdv_scan::kBreakTimecodeForward, true},
          {5, "01:00:02:03", nullptr, 0, 0, false},
          {6, "01:00:02:03", nullptr, kRepeated, 0, false},
          {7, "01:00:02:03", nullptr, 0, 0, true},
          {8, "00:59:00:00", nullptr, 0, hvdv_scan::kBreakTimecodeBack, true}}},
        {"REC START counts where it appears",
         {{0, nullptr, nullptr, kRecStart, kFirst, false},
          {1, nullptr, nullptr, 0, 0, false},
          {2, nullptr, nullptr, kRecStart, hvdv_scan::kBreakRecStart, false},
          {3, nullptr, nullptr, kRecStart, 0, false}}},
        {"format changes, one value at a time",
         {{0, "00:00:10:00", d, 0, kFirst, false},
          {1, "00:00:10:01", d, kWide, hvdv_scan::kBreakAspect, false},
          {2, "00:00:10:02", d, kWide | k32k, hvdv_scan::kBreakAudioMode, false},
          {3, "00:00:10:03", d, kWide | k32k | k12bit, hvdv_scan::kBreakAudioMode, false},
          {4, "00:00:10:04", d, kWide | k32k | k12bit | k4ch, hvdv_scan::kBreakAudioMode, false},
          {5, "00:00:10:05", d, kWide | k32k | k12bit | k4ch | kPal, hvdv_scan::kBreakKind, false}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        hvdv_scan::RecordingTracker tracker;
        uint32_t recordings = 0;
        for (const Step& s : c.steps) {
            const hvdv_scan::FrameVerdict v = tracker.Add(Make(s));
            recordings += s.reasons != 0;
            EXPECT_EQ(v.reasons, s.reasons) << "frame " << s.index << ": " << hvdv_scan::BreakText(v.reasons);
            EXPECT_EQ(v.timecodeBreak, s.timecodeBreak) << "frame " << s.index;
            EXPECT_EQ(v.recording, recordings) << "frame " << s.index;
        }
    }
}

// A value a frame lacks is no change: a damaged frame without packs between
// two that agree starts nothing, and the audio change is counted once.
TEST(CliRecordings, AbsentValuesAreNoChange) {
    hvdv_scan::RecordingTracker tracker;
    FrameRecord a = Make({0, "00:00:00:00", "2024-01-01T10:00:00", 0, 0, false});
    tracker.Add(a);
    FrameRecord gap;
    gap.index = 1;
    EXPECT_EQ(tracker.Add(gap).reasons, 0u);
    FrameRecord b = Make({2, "00:00:00:02", "2024-01-01T10:00:00", k4ch, 0, false});
    EXPECT_EQ(tracker.Add(b).reasons, uint32_t(hvdv_scan::kBreakAudioMode));
    EXPECT_EQ(std::vector<uint64_t>({tracker.frames, tracker.damagedFrames, tracker.recordings, tracker.audioChanges,
                                     tracker.timecodeBreaks}),
              std::vector<uint64_t>({3, 1, 2, 1, 0}));
}

}  // namespace

// A frame shorter than one DIF sequence is described from its first blocks
// (header, two subcode, three VAUX) as the whole frame is, and marked
// truncated; without them it is not identified.
TEST(CliRecords, ShortFramesAreDescribedFromTheirFirstBlocks) {
    const std::vector<uint8_t> bytes = testdata::ReadFile("meta_tc_525.dv");
    hvdv_scan::FrameReader reader(true);
    FrameRecord whole, r;
    reader.Read(bytes.data(), 120000, 0, 0, &whole);
    ASSERT_TRUE(whole.hasTimecode && whole.hasDate && whole.hasAudio);
    const struct {
        size_t size;
        int damagedBlock;  // -1: none; else its section type is made wrong
        bool described, audio;
    } cases[] = {{480, -1, true, false},  {479, -1, false, false}, {5000, -1, true, true},
                 {11999, -1, true, true}, {5000, 0, false, false}, {5000, 5, false, false}};
    for (const auto& c : cases) {
        std::vector<uint8_t> frame(bytes.begin(), bytes.begin() + std::ptrdiff_t(c.size));
        if (c.damagedBlock >= 0) frame[80 * size_t(c.damagedBlock)] ^= 0xE0;
        reader.Read(frame.data(), frame.size(), 0, 0, &r);
        SCOPED_TRACE(std::to_string(c.size) + " bytes, block " + std::to_string(c.damagedBlock));
        EXPECT_EQ(r.identified, c.described);
        EXPECT_TRUE(r.Damaged());
        EXPECT_FALSE(r.hasVideo);
        if (!c.described) continue;
        EXPECT_EQ(r.kind, whole.kind);
        EXPECT_EQ(hvdv_scan::TimecodeText(r), hvdv_scan::TimecodeText(whole));
        EXPECT_EQ(hvdv_scan::RecordedText(r), hvdv_scan::RecordedText(whole));
        EXPECT_EQ(r.wide, whole.wide);
        EXPECT_EQ(r.hasAudio, c.audio);
        if (c.audio) {
            EXPECT_EQ(r.audioChannels, whole.audioChannels);
            EXPECT_EQ(r.audioRate, whole.audioRate);
        }
        EXPECT_EQ(r.error.rfind("truncated: ", 0), 0u) << r.error;
    }
}

#if defined(HVDV_CLI_PNG)
#include <png.h>

// A long tape of clean frames with the deck-concealed frame (810 of 1350
// macroblocks) at one place and a single damaged macroblock at another.
// The picture has the stated size; red appears in the columns of the two
// damaged frames and nowhere in a clean frame's column.
TEST(CliPlot, DamagedColumnsStandOut) {
    const uint64_t frames = 30000, heavy = 12345, light = 20000, clean = 5000;
    hvdv_scan::FrameReader reader(true);
    hvdv_scan::FrameRecord clog, good;
    const std::vector<uint8_t> clogBytes = testdata::ReadFile("jj_sony_head_clog.dv");
    const std::vector<uint8_t> goodBytes = testdata::ReadFile("jj_sony_perfect.dv");
    reader.Read(clogBytes.data(), clogBytes.size(), heavy, 0, &clog);
    reader.Read(goodBytes.data(), goodBytes.size(), clean, 0, &good);
    ASSERT_NEAR(clog.DamageShare(), 810.0 / 1350, 1e-9);
    ASSERT_EQ(good.DamageShare(), 0.0);
    hvdv_cli::DamagePlot plot;
    plot.title = "test";
    plot.damage.assign(frames, float(good.DamageShare()));
    plot.damage[heavy] = float(clog.DamageShare());
    plot.damage[light] = 1.0f / 1350;
    plot.recordingStarts = {0, 15000};
    const std::string path = ::testing::TempDir() + testdata::ProcessOwn("hvdv_cli_scan_test_plot.png");
    std::string error;
    if (!hvdv_cli::PlotSupported()) {
        EXPECT_FALSE(hvdv_cli::WritePlot(path, plot, hvdv_cli::kPlotWidth, hvdv_cli::kPlotHeight, &error));
        EXPECT_NE(error.find("cairo"), std::string::npos) << error;
        return;
    }
    ASSERT_TRUE(hvdv_cli::WritePlot(path, plot, hvdv_cli::kPlotWidth, hvdv_cli::kPlotHeight, &error)) << error;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << image.message;
    EXPECT_EQ(image.width, uint32_t(hvdv_cli::kPlotWidth));
    EXPECT_EQ(image.height, uint32_t(hvdv_cli::kPlotHeight));
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) << image.message;
    std::remove(path.c_str());
    auto redPixels = [&](uint64_t frame) {
        int first, last, red = 0;
        hvdv_cli::PlotColumns(frame, frames, int(image.width), &first, &last);
        for (uint32_t y = 0; y < image.height; ++y) {
            const uint8_t* p = &rgb[(y * image.width + uint32_t(first)) * 3];
            red += p[0] > p[1] + 60 && p[0] > p[2] + 60;  // either shade of red
        }
        return red;
    };
    EXPECT_GT(redPixels(heavy), 100);
    EXPECT_GT(redPixels(light), 5);
    EXPECT_LT(redPixels(light), redPixels(heavy));
    EXPECT_EQ(redPixels(clean), 0);
}
#endif
