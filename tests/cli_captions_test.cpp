// Closed captions: the pairs read from the VAUX packs (voting, first DIF
// channel, parity), and "hvdv captions" on streams made here by writing the
// pairs of SCC text into the packs of a committed 525/60 stream: SCC out is
// the SCC put in, byte for byte, and the SRT cues are the captions as
// decoded by hand from the CEA-608 codes (comments give the reading).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "caption_track.h"
#include "hvdv.h"
#include "records.h"
#include "scc.h"
#include "source.h"
#include "test_streams.h"

namespace {

constexpr uint32_t kSequenceBytes = 12000;
// A free pack slot in the streams FFmpeg writes: the first VAUX block
// (fourth DIF block of a sequence), pack 4.
constexpr uint32_t kPackOffset = 3 * 80 + 3 + 5 * 4;

void WritePack(uint8_t* sequence, uint16_t field1, uint16_t field2) {
    uint8_t* p = sequence + kPackOffset;
    p[0] = 0x65;
    p[1] = uint8_t(field1 >> 8);
    p[2] = uint8_t(field1);
    p[3] = uint8_t(field2 >> 8);
    p[4] = uint8_t(field2);
}

uint8_t Bcd(int v) { return uint8_t((v / 10) << 4 | v % 10); }

// The subcode timecode packs of a frame set to frame `n` counted at 30
// frames a second, non-drop.
void WriteTimecode(uint8_t* frame, int n) {
    for (int s = 0; s < 10; ++s)
        for (int b = 1; b <= 2; ++b)
            for (int i = 0; i < 6; ++i) {
                uint8_t* p = frame + s * kSequenceBytes + b * 80 + 3 + 8 * i + 3;
                if (p[0] != 0x13) continue;
                p[1] = uint8_t((p[1] & 0x80) | Bcd(n % 30));
                p[2] = uint8_t((p[2] & 0x80) | Bcd(n / 30 % 60));
                p[3] = uint8_t((p[3] & 0x80) | Bcd(n / 1800 % 60));
                p[4] = uint8_t((p[4] & 0xC0) | Bcd(n / 108000));
            }
}

// The words of SCC text by frame (timecodes from 00:00:00:00 at 30 frames a
// second); 0x8080 where it has none.
std::vector<uint16_t> WordsByFrame(const std::string& scc, size_t frames) {
    std::vector<uint16_t> words(frames, 0x8080);
    if (scc.empty()) return words;
    std::vector<hvdv_cc::SccLine> lines;
    std::string error;
    EXPECT_TRUE(hvdv_cc::ParseScc(scc, &lines, &error)) << error;
    for (const hvdv_cc::SccLine& l : lines) {
        size_t f = size_t(hvdv_cc::TimecodeFrames(l.timecode, 30));
        for (uint16_t w : l.words) {
            EXPECT_LT(f, frames);
            if (f < frames) words[f++] = w;
        }
    }
    return words;
}

// A raw 525/60 stream of `frames` frames (the committed stream's frames over
// and over) carrying the pairs of both fields in every DIF sequence.
std::string MakeStream(const std::string& name, const std::string& scc1, const std::string& scc2, size_t frames) {
    const testdata::Stream base = testdata::Load("ntsc_411_48k.dv", 120000, 480);
    EXPECT_GT(base.frames(), 0u);
    const std::vector<uint16_t> f1 = WordsByFrame(scc1, frames), f2 = WordsByFrame(scc2, frames);
    const std::string path = ::testing::TempDir() + "hvdv_captions_test_" + name + ".dv";
    FILE* out = std::fopen(path.c_str(), "wb");
    EXPECT_NE(out, nullptr);
    for (size_t i = 0; out && i < frames && base.frames(); ++i) {
        std::vector<uint8_t> frame = base.copy(i % base.frames());
        WriteTimecode(frame.data(), int(i));
        for (int s = 0; s < 10; ++s) WritePack(frame.data() + s * kSequenceBytes, f1[i], f2[i]);
        std::fwrite(frame.data(), 1, frame.size(), out);
    }
    if (out) std::fclose(out);
    return path;
}

// What "hvdv captions" writes for the input.
std::string Captions(const std::string& path, hvdv_cli::CaptionFormat format, int fieldOrChannel,
                     const std::string& startTc = "") {
    std::string error, text;
    const std::unique_ptr<hvdv_input::FrameSource> source = hvdv_input::OpenFrameSource(path, &error);
    EXPECT_TRUE(source) << path << ": " << error;
    if (!source) return "";
    hvdv_cli::CaptionOptions options;
    options.format = format;
    options.field = fieldOrChannel;
    options.channel = fieldOrChannel;
    options.startTc = startTc;
    hvdv_cli::CaptionSummary summary;
    EXPECT_TRUE(hvdv_cli::MakeCaptions(*source, options, &text, &summary, &error)) << error;
    return text;
}

const char kEmptyScc[] = "Scenarist_SCC V1.0\n\n";

TEST(Captions, PairsVotedFromTheFirstChannelWithParity) {
    struct Case {
        const char* file;
        uint32_t frameBytes, sequences;     // sequences of the whole frame
        uint16_t field1, field2;            // written in every sequence of the first channel ...
        uint16_t otherField1, otherField2;  // ... but `others` of them, and in any second channel
        int others;
        uint8_t want1[2];
        uint32_t disagreeing1, disagreeing2, parity;
    };
    const Case cases[] = {
        // Three damaged copies of ten are outvoted and reported.
        {"ntsc_411_48k.dv", 120000, 10, 0x9420, 0x8080, 0x1420, 0x8080, 3, {0x94, 0x20}, 3, 0, 0},
        // 0x14 and 0x00 have an even number of ones.
        {"ntsc_411_48k.dv", 120000, 10, 0x1420, 0x8000, 0, 0, 0, {0x14, 0x20}, 0, 0,
         HVDV_CAPTION_PARITY_F1_BYTE1 | HVDV_CAPTION_PARITY_F2_BYTE2},
        // 50 Mb/s: the second channel's packs are not read.
        {"dv50_525.dv", 240000, 20, 0xc180, 0x8080, 0x9420, 0x1520, 0, {0xc1, 0x80}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::vector<uint8_t> frame = testdata::Load(c.file, c.frameBytes, 480).copy(0);
        ASSERT_FALSE(frame.empty());
        hvdv_captions cc{};
        cc.size = sizeof cc;
        ASSERT_EQ(hvdv_read_captions(frame.data(), frame.size(), &cc), HVDV_OK);
        EXPECT_EQ(cc.present, 0u);  // FFmpeg writes no caption pack
        EXPECT_EQ(cc.field1[0], 0x80);
        for (uint32_t s = 0; s < c.sequences; ++s) {
            const bool other = s >= 10 || s < uint32_t(c.others);
            WritePack(frame.data() + s * kSequenceBytes, other ? c.otherField1 : c.field1,
                      other ? c.otherField2 : c.field2);
        }
        ASSERT_EQ(hvdv_read_captions(frame.data(), frame.size(), &cc), HVDV_OK);
        EXPECT_EQ(cc.present, 1u);
        EXPECT_EQ(cc.copies, 10u);
        EXPECT_EQ(cc.field1[0], c.want1[0]);
        EXPECT_EQ(cc.field1[1], c.want1[1]);
        EXPECT_EQ(cc.field2[0] << 8 | cc.field2[1], c.field2);
        EXPECT_EQ(cc.field1_disagreeing, c.disagreeing1);
        EXPECT_EQ(cc.field2_disagreeing, c.disagreeing2);
        EXPECT_EQ(cc.parity_errors, c.parity);
    }
}

// The real sample: its first three frames carry 94 20, 94 20, 94 76 in field
// 1 (RCL twice, then a preamble address code: the start of a pop-on
// caption, nothing shown yet) from timecode 00:37:46:06; the QuickTime file
// holds the same frames.
TEST(Captions, RealSample) {
    for (const char* name : {"dvrescue_cc_525.dv", "dvrescue_cc_525.mov"}) {
        SCOPED_TRACE(name);
        const std::string path = testdata::Path(name);
        if (std::string(name).find(".mov") != std::string::npos && !hvdv_input::ContainersSupported()) continue;
        EXPECT_EQ(Captions(path, hvdv_cli::CaptionFormat::kScc, 1),
                  std::string(kEmptyScc) + "00:37:46:06\t9420 9420 9476\n\n");
        EXPECT_EQ(Captions(path, hvdv_cli::CaptionFormat::kScc, 2), kEmptyScc);
        EXPECT_EQ(Captions(path, hvdv_cli::CaptionFormat::kSrt, 1), "");
    }
}

TEST(Captions, SccRoundTripAndCues) {
    struct Case {
        const char* name;
        const char* scc1;   // field 1
        const char* scc2;   // field 2
        int channel;
        size_t frames;
        int parityBytes;    // bytes with bad parity in the SCC
        const char* srt;    // frame f at f x 1001/30 ms
    };
    const Case cases[] = {
        // RCL RCL; PAC row 14 indent 4 (repeated); "A"; mid-row italics
        // (a space); "BC"; PAC row 15; "DE"; EOC at frame 21.  EDM at 40.
        {"popon",
         "Scenarist_SCC V1.0\n\n00:00:00:10\t9420 9420 9452 9452 c180 91ae 91ae c243 9470 9470 c445 942f 942f\n\n"
         "00:00:01:10\t942c 942c\n\n",
         "", 1, 50, 0, "1\n00:00:00,701 --> 00:00:01,335\nA BC\nDE\n\n"},
        // RU3; "A" CR "B" CR "C" CR "D"; EDM.  Three rows stay until the
        // third CR rolls "A" off (frame 14); EDM at 17.
        {"rollup3",
         "Scenarist_SCC V1.0\n\n00:00:00:05\t9426 9426 c180 94ad 94ad c280 94ad 94ad 4380 94ad 94ad c480 942c "
         "942c\n\n",
         "", 1, 25, 0,
         "1\n00:00:00,234 --> 00:00:00,467\nA\nB\nC\n\n2\n00:00:00,467 --> 00:00:00,567\nB\nC\nD\n\n"},
        // RDC; PAC row 1; "HE" shown at frame 7; "Y"; BS; "LP"; PAC row 1
        // (column 0); DER at 14 empties the row.
        {"painton",
         "Scenarist_SCC V1.0\n\n00:00:00:03\t9429 9429 9140 9140 c845 d980 94a1 94a1 4cd0 9140 9140 94a4 94a4\n\n", "",
         1, 25, 0, "1\n00:00:00,234 --> 00:00:00,467\nHELP\n\n"},
        // Special ♪ (sent twice, shown once), é of the standard set, U
        // replaced by the extended Ü, s by ß, special °; EOC at 21, EDM at 30.
        {"characters",
         "Scenarist_SCC V1.0\n\n00:00:00:02\t9420 9420 9470 9470 9137 9137 20e3 61e6 dc20 d580 92a4 92a4 62e5 f220 "
         "7380 1334 1334 9131 9131 942f 942f\n\n00:00:01:00\t942c 942c\n\n",
         "", 1, 40, 0, "1\n00:00:00,701 --> 00:00:01,001\n\xe2\x99\xaa caf\xc3\xa9 \xc3\x9c" "ber \xc3\x9f\xc2\xb0\n\n"},
        // "ONE" shown by EOC at 8; "TWO" loaded, EOC at 16 shows it, its
        // copy at 17 is ignored, the third EOC at 18 swaps "ONE" back; EDM 25.
        {"doubled",
         "Scenarist_SCC V1.0\n\n00:00:00:02\t9420 9420 9470 9470 4fce 4580 942f 942f\n\n"
         "00:00:00:12\t9470 9470 5457 4f80 942f 942f 942f\n\n00:00:00:25\t942c 942c\n\n",
         "", 1, 35, 0,
         "1\n00:00:00,267 --> 00:00:00,534\nONE\n\n2\n00:00:00,534 --> 00:00:00,601\nTWO\n\n"
         "3\n00:00:00,601 --> 00:00:00,834\nONE\n\n"},
        // RCL with a bad first byte is dropped, so its copy is not a repeat
        // and is obeyed; "i" with bad parity shows as the solid block.
        {"parity", "Scenarist_SCC V1.0\n\n00:00:00:02\t1420 9420 9470 9470 c869 942f 942f\n\n00:00:00:15\t942c 942c\n\n",
         "", 1, 25, 2, "1\n00:00:00,234 --> 00:00:00,501\nH\xe2\x96\x88\n\n"},
        // CC3 on field 2 (0x15 commands) beside a CC1 caption on field 1.
        {"field2", "Scenarist_SCC V1.0\n\n00:00:00:02\t9420 9420 9470 9470 ce4f 942f 942f\n\n",
         "Scenarist_SCC V1.0\n\n00:00:00:02\t1520 1520 9470 9470 4343 b380 152f 152f\n\n00:00:00:20\t152c 152c\n\n", 3,
         30, 0, "1\n00:00:00,267 --> 00:00:00,667\nCC3\n\n"},
        // The fifteen pairs of the whole dvrescue sample (read from its
        // DIF data): RCL, PAC row 15 indent 12, tab offset 3, ♪ twice (each
        // sent twice), RCL, EDM, EOC at its last frame.
        {"dvrescue15",
         "Scenarist_SCC V1.0\n\n00:00:00:00\t9420 9420 9476 9476 9723 9723 9137 9137 9137 9137 9420 9420 942c 942c "
         "942f\n\n",
         "", 1, 15, 0, "1\n00:00:00,467 --> 00:00:00,501\n\xe2\x99\xaa\xe2\x99\xaa\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = MakeStream(c.name, c.scc1, c.scc2, c.frames);
        EXPECT_EQ(Captions(path, hvdv_cli::CaptionFormat::kScc, 1), *c.scc1 ? c.scc1 : kEmptyScc);
        EXPECT_EQ(Captions(path, hvdv_cli::CaptionFormat::kScc, 2), *c.scc2 ? c.scc2 : kEmptyScc);
        EXPECT_EQ(Captions(path, hvdv_cli::CaptionFormat::kSrt, c.channel), c.srt);
        // No caption for the other channel of the field, nor of the other field.
        EXPECT_EQ(Captions(path, hvdv_cli::CaptionFormat::kSrt, c.channel == 1 ? 2 : 4), "");
        EXPECT_EQ(Captions(path, hvdv_cli::CaptionFormat::kSrt, c.channel == 1 ? 3 : 1) != "",
                  c.channel == 3);

        // scan: a pack in every frame, data where either SCC has a word.
        const std::vector<uint16_t> w1 = WordsByFrame(c.scc1, c.frames), w2 = WordsByFrame(c.scc2, c.frames);
        hvdv_scan::FrameReader reader(false);
        std::string error;
        const auto source = hvdv_scan::OpenReading(path, reader, &error);
        ASSERT_TRUE(source) << error;
        hvdv_input::SourceFrame frame;
        hvdv_scan::FrameRecord r;
        int parity = 0;
        while (source->Next(&frame)) {
            reader.Read(frame.bytes.data(), frame.bytes.size(), frame.index, frame.offset, &r);
            EXPECT_TRUE(r.hasCaptions);
            EXPECT_EQ(r.captionData, w1[frame.index] != 0x8080 || w2[frame.index] != 0x8080) << frame.index;
            parity += int(r.captionParityErrors);
        }
        EXPECT_EQ(parity, c.parityBytes);
        std::remove(path.c_str());
    }
}

// Text: one line a cue, rows joined, at the timecode of its first frame
// (EOC at frame 12); --start-tc 00:00:59;29 counts drop-frame, so frame 12
// is 00:01:00;13 (00:01:00;00 and ;01 do not exist).
TEST(Captions, TextWithStartTimecode) {
    const std::string path =
        MakeStream("text", "Scenarist_SCC V1.0\n\n00:00:00:02\t9420 9420 9452 9452 4fce 4580 9470 9470 5457 4f80 942f\n\n",
                   "", 20);
    EXPECT_EQ(Captions(path, hvdv_cli::CaptionFormat::kText, 1), "00:00:00:12\tONE TWO\n");
    EXPECT_EQ(Captions(path, hvdv_cli::CaptionFormat::kText, 1, "00:00:59;29"), "00:01:00;13\tONE TWO\n");
    std::remove(path.c_str());
}

}  // namespace
