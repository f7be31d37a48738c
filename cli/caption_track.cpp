// Closed captions out of DV frames: hvdv_read_captions for the pairs,
// hvdv_read_metadata for the timecode, the captions module for SCC and the
// CEA-608 decoding.
#include "caption_track.h"

#include <cinttypes>
#include <cstdio>

#include "cea608.h"
#include "hvdv.h"
#include "scc.h"

namespace hvdv_cli {

namespace {

using hvdv_cc::Timecode;

// "00:01:02,345" for the frame's time from the start.
std::string SrtTime(uint64_t frame, uint32_t rateNum, uint32_t rateDen) {
    const uint64_t ms = (frame * 1000 * rateDen + rateNum / 2) / rateNum;
    char s[32];
    std::snprintf(s, sizeof s, "%02" PRIu64 ":%02" PRIu64 ":%02" PRIu64 ",%03" PRIu64, ms / 3600000,
                  ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
    return s;
}

}  // namespace

bool MakeCaptions(hvdv_input::FrameSource& source, const CaptionOptions& options, std::string* text,
                  CaptionSummary* summary, std::string* error, const std::function<void(uint64_t)>& progress) {
    *summary = CaptionSummary{};
    const bool scc = options.format == CaptionFormat::kScc;
    const int field = scc ? options.field : (options.channel >= 3 ? 2 : 1);
    const bool fromDv = options.startTc.empty() || options.startTc == "dv";
    hvdv_cc::SccWriter writer;
    hvdv_cc::Decoder decoder(options.channel);
    uint32_t rateNum = 0, rateDen = 1;
    int tcRate = 30;
    Timecode start, previous;
    bool havePrevious = false;
    if (!fromDv && !hvdv_cc::ParseTimecode(options.startTc, 30, &start)) {
        *error = "--start-tc " + options.startTc + ": not a timecode (HH:MM:SS:FF, or HH:MM:SS;FF for drop-frame)";
        return false;
    }
    hvdv_input::SourceFrame frame;
    std::vector<Timecode> frameTimecodes;  // text output: a cue is stamped with its first frame's

    while (source.Next(&frame)) {
        const uint8_t* data = frame.bytes.data();
        const size_t size = frame.bytes.size();
        hvdv_frame_info info{};
        info.size = sizeof info;
        const bool identified = hvdv_probe_frame(data, size, &info) == HVDV_OK;
        if (!identified && summary->notDv++ == 0) summary->firstNotDv = frame.index;
        if (rateNum == 0 && identified) {
            rateNum = info.rate_num;
            rateDen = info.rate_den ? info.rate_den : 1;
            tcRate = int((rateNum + rateDen / 2) / rateDen);
            if (tcRate > 30) tcRate /= 2;  // 720p counts frame pairs
            if (!fromDv && tcRate != 30 && !hvdv_cc::ParseTimecode(options.startTc, tcRate, &start)) {
                *error = "--start-tc " + options.startTc + ": not a timecode at " + std::to_string(tcRate) +
                         " frames a second";
                return false;
            }
        }
        // The frame's timecode: its own, else the previous one's plus one.
        Timecode tc;
        hvdv_metadata meta{};
        meta.size = sizeof meta;
        if (!fromDv) {
            tc = hvdv_cc::FramesTimecode(hvdv_cc::TimecodeFrames(start, tcRate) + int64_t(frame.index),
                                               tcRate, start.dropFrame);
        } else if (hvdv_read_metadata(data, size, &meta) == HVDV_OK && (meta.present & HVDV_META_TIMECODE)) {
            tc.hours = meta.tc_hours;
            tc.minutes = meta.tc_minutes;
            tc.seconds = meta.tc_seconds;
            tc.frames = meta.tc_frames;
            tc.dropFrame = meta.tc_drop_frame != 0;
        } else if (havePrevious) {
            tc = hvdv_cc::FramesTimecode(hvdv_cc::TimecodeFrames(previous, tcRate) + 1, tcRate,
                                               previous.dropFrame);
        }
        previous = tc;
        havePrevious = true;

        hvdv_captions c{};
        c.size = sizeof c;
        uint8_t pair[2] = {0x80, 0x80};
        if (hvdv_read_captions(data, size, &c) == HVDV_OK && c.present) {
            ++summary->withPack;
            const uint8_t* p = field == 2 ? c.field2 : c.field1;
            pair[0] = p[0];
            pair[1] = p[1];
            const uint32_t bad = (c.parity_errors >> (field == 2 ? 2 : 0)) & 3;
            if (bad) ++summary->parityErrors;
            if ((field == 2 ? c.field2_disagreeing : c.field1_disagreeing) > 0) ++summary->disagreeing;
            if (pair[0] != 0x80 || pair[1] != 0x80) ++summary->withData;
        }
        if (scc) {
            writer.Add(tc, pair[0], pair[1]);
        } else {
            decoder.Push(frame.index, pair[0], pair[1]);
            frameTimecodes.push_back(tc);
        }
        ++summary->frames;
        if (progress) progress(summary->frames);
    }
    if (!source.Error().empty()) {
        *error = "frame " + std::to_string(summary->frames) + ": " + source.Error();
        return false;
    }
    if (summary->frames == 0 || rateNum == 0) {
        *error = "no DV frame";
        return false;
    }
    if (scc) {
        writer.Add(Timecode(), 0x80, 0x80);  // ends the last line
        *text = writer.Text();
        summary->items = writer.Lines();
        return true;
    }
    decoder.Finish(summary->frames);
    text->clear();
    uint64_t n = 0;
    for (const hvdv_cc::Cue& cue : decoder.Cues()) {
        ++n;
        if (options.format == CaptionFormat::kSrt) {
            *text += std::to_string(n) + "\n" + SrtTime(cue.start, rateNum, rateDen) + " --> " +
                     SrtTime(cue.end, rateNum, rateDen) + "\n" + cue.text + "\n\n";
        } else {
            std::string line = cue.text;
            for (char& ch : line)
                if (ch == '\n') ch = ' ';
            *text += hvdv_cc::TimecodeText(frameTimecodes[cue.start]) + "\t" + line + "\n";
        }
    }
    summary->items = n;
    return true;
}

}  // namespace hvdv_cli
