// The per-frame records of a scan as JSON lines and CSV rows, the text that
// "hvdv scan" prints and other programs read.
#include "scan_text.h"

#include <cstdio>

namespace hvdv_scan {

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += char(c);
                }
        }
    }
    return out + "\"";
}

namespace {

std::string Number(uint32_t value) { return std::to_string(value); }

// JSON: a value or null.
std::string JsonOr(bool present, const std::string& value) { return present ? value : "null"; }
std::string JsonBool(bool value) { return value ? "true" : "false"; }

// CSV: a field quoted when it holds a comma or a quote.
std::string Csv(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string CsvOr(bool present, const std::string& value) { return present ? value : ""; }

}  // namespace

const char kCsvHeader[] =
    "frame,offset,bytes,timecode,recorded,rec_start,repeated,kind,aspect,field_order,audio_rate,audio_bits,"
    "audio_channels,audio_samples,audio_locked,audio_error_samples,macroblocks,damaged,concealed,sta,"
    "new_recording,recording,reasons,timecode_break,error,caption_pack,caption_data,caption_parity_errors";

std::string JsonRecord(const FrameRecord& r, const FrameVerdict& v) {
    const std::string tc = TimecodeText(r), when = RecordedText(r);
    const char* fields = FieldOrderName(r.fieldOrder);
    std::string j = "{\"frame\": " + std::to_string(r.index);
    j += ", \"offset\": " + JsonOr(r.offset >= 0, std::to_string(r.offset));
    j += ", \"bytes\": " + std::to_string(r.bytes);
    j += ", \"timecode\": " + JsonOr(!tc.empty(), JsonString(tc));
    j += ", \"recorded\": " + JsonOr(!when.empty(), JsonString(when));
    j += ", \"recStart\": " + JsonOr(r.hasRecStart, JsonBool(r.recStart));
    j += ", \"repeated\": " + JsonOr(r.hasRepeated, JsonBool(r.repeated));
    j += ", \"kind\": " + JsonOr(r.identified, JsonString(KindName(r.kind)));
    j += ", \"aspect\": " + JsonOr(r.hasAspect, JsonString(r.wide ? "16:9" : "4:3"));
    j += ", \"fieldOrder\": " + JsonOr(fields != nullptr, JsonString(fields ? fields : ""));
    j += ", \"audio\": ";
    if (r.hasAudio)
        j += "{\"rate\": " + Number(r.audioRate) + ", \"bits\": " + Number(r.audioBits) +
             ", \"channels\": " + Number(r.audioChannels) + ", \"samples\": " + Number(r.audioSamples) +
             ", \"locked\": " + JsonBool(r.audioLocked) +
             ", \"errorSamples\": " + JsonOr(r.hasAudioErrors, Number(r.audioErrorSamples)) + "}";
    else
        j += "null";
    j += ", \"macroblocks\": " + JsonOr(r.hasVideo, Number(r.macroblocks));
    j += ", \"damaged\": " + JsonOr(r.hasVideo, Number(r.damaged));
    j += ", \"concealed\": " + JsonOr(r.hasVideo, Number(r.concealed));
    j += ", \"sta\": ";
    if (r.hasVideo) {
        j += "{";
        bool first = true;
        for (int s = 1; s < 16; ++s) {
            if (!r.sta[s]) continue;
            const char digit[2] = {"0123456789abcdef"[s], 0};
            j += (first ? "\"" : ", \"") + std::string(digit) + "\": " + Number(r.sta[s]);
            first = false;
        }
        j += "}";
    } else {
        j += "null";
    }
    j += ", \"newRecording\": " + JsonBool(v.newRecording);
    j += ", \"recording\": " + std::to_string(v.recording);
    j += ", \"reasons\": " + JsonOr(v.newRecording, JsonString(BreakText(v.reasons)));
    j += ", \"timecodeBreak\": " + JsonBool(v.timecodeBreak);
    j += ", \"error\": " + JsonOr(!r.error.empty(), JsonString(r.error));
    j += ", \"captionPack\": " + JsonBool(r.hasCaptions);
    j += ", \"captionData\": " + JsonOr(r.hasCaptions, JsonBool(r.captionData));
    j += ", \"captionParityErrors\": " + JsonOr(r.hasCaptions, Number(r.captionParityErrors));
    return j + "}";
}

std::string CsvRecord(const FrameRecord& r, const FrameVerdict& v) {
    const char* fields = FieldOrderName(r.fieldOrder);
    const std::string parts[] = {
        std::to_string(r.index),
        CsvOr(r.offset >= 0, std::to_string(r.offset)),
        std::to_string(r.bytes),
        TimecodeText(r),
        RecordedText(r),
        CsvOr(r.hasRecStart, r.recStart ? "1" : "0"),
        CsvOr(r.hasRepeated, r.repeated ? "1" : "0"),
        CsvOr(r.identified, KindName(r.kind)),
        CsvOr(r.hasAspect, r.wide ? "16:9" : "4:3"),
        fields ? fields : "",
        CsvOr(r.hasAudio, Number(r.audioRate)),
        CsvOr(r.hasAudio, Number(r.audioBits)),
        CsvOr(r.hasAudio, Number(r.audioChannels)),
        CsvOr(r.hasAudio, Number(r.audioSamples)),
        CsvOr(r.hasAudio, r.audioLocked ? "1" : "0"),
        CsvOr(r.hasAudioErrors, Number(r.audioErrorSamples)),
        CsvOr(r.hasVideo, Number(r.macroblocks)),
        CsvOr(r.hasVideo, Number(r.damaged)),
        CsvOr(r.hasVideo, Number(r.concealed)),
        StaText(r),
        v.newRecording ? "1" : "0",
        std::to_string(v.recording),
        BreakText(v.reasons),
        v.timecodeBreak ? "1" : "0",
        r.error,
        r.hasCaptions ? "1" : "0",
        CsvOr(r.hasCaptions, r.captionData ? "1" : "0"),
        CsvOr(r.hasCaptions, Number(r.captionParityErrors))};
    std::string line;
    for (const std::string& p : parts) line += (line.empty() ? "" : ",") + Csv(p);
    return line;
}

std::string JsonSummary(const RecordingTracker& t) {
    return "{\"frames\": " + std::to_string(t.frames) + ", \"damagedFrames\": " + std::to_string(t.damagedFrames) +
           ", \"recordings\": " + std::to_string(t.recordings) +
           ", \"timecodeBreaks\": " + std::to_string(t.timecodeBreaks) +
           ", \"audioChanges\": " + std::to_string(t.audioChanges) +
           ", \"captionFrames\": " + std::to_string(t.captionFrames) + "}";
}

}  // namespace hvdv_scan
