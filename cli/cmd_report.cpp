// hvdv report: one self-contained HTML page for one or more tapes.  Every
// frame is read once (the records of "hvdv scan"); the page gets per-frame
// arrays, the summary, the scan's CSV (zlib-compressed) and a bounded number
// of pictures with their damaged macroblocks outlined.  The pictures are
// chosen in the same pass: the frame bytes of the first frame of each
// recording (capped) and of the most damaged frames so far are kept, and only
// those are decoded at the end.

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "cli.h"
#include "records.h"
#include "report_page.h"
#include "scan_text.h"
#include "source.h"

namespace {

using hvdv_scan::FrameRecord;
using hvdv_scan::FrameVerdict;
using hvdv_scan::JsonString;

const char kCommand[] = "report";
constexpr uint32_t kDefaultDamagedPictures = 8;
constexpr uint32_t kMaxDamagedPictures = 64;
constexpr size_t kRecordingPictures = 24;  // first frames of recordings, per file
constexpr size_t kErrorTexts = 2000;       // frame errors kept for the page, per file

// Per-frame flags of the page's arrays (the script reads the same bits).
enum : uint8_t {
    kFlagNewRecording = 1,
    kFlagTimecodeBreak = 2,
    kFlagDamaged = 4,
    kFlagUnreadable = 8,
    kFlagAudioChange = 16,
    kFlagDropFrame = 32
};
constexpr uint32_t kAbsent = 0xFFFFFFFFu;

void PrintHelp() {
    std::printf(
        "usage: hvdv report IN [IN...] -o REPORT.html [--pictures N]\n"
        "\n"
        "Reads every frame of each IN (raw DV, \"-\" for standard input%s) as\n"
        "\"hvdv scan\" does and writes one HTML page that opens offline in any current\n"
        "browser: for each file a summary (DV kind, duration, damaged frames and\n"
        "macroblocks, concealed macroblocks, audio error samples, timecode breaks,\n"
        "recordings, audio mode changes, closed captions), the recordings with their\n"
        "start and end timecode and date, pictures of the first frame of each recording\n"
        "and of the most damaged frames with the damaged macroblocks outlined, a\n"
        "filterable table of the damaged frames and a link that saves the full scan\n"
        "CSV; and a timeline of every frame (damage, audio errors, recording starts,\n"
        "timecode breaks) to zoom and pan down to single frames.  The page holds a\n"
        "machine-readable summary in <script id=\"hvdv-summary\">.\n"
        "\n"
        "  -o FILE        the page to write (replaced if it exists)\n"
        "  --pictures N   pictures of the N most damaged frames of each file (default\n"
        "                 %u, at most %u; 0 for none); the first frames of the first %zu\n"
        "                 recordings are always shown\n"
        "\n"
        "Exit status: 0 written, 1 failed (an input unreadable, the page not written),\n"
        "2 bad argument.\n",
        hvdv_input::ContainersSupported() ? ", or a container's DV track" : "", kDefaultDamagedPictures,
        kMaxDamagedPictures, kRecordingPictures);
}

void PutLe16(std::vector<uint8_t>& out, uint32_t v) {
    v = std::min<uint32_t>(v, 0xFFFF);
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int s = 0; s < 32; s += 8) out.push_back(uint8_t(v >> s));
}

struct Recording {
    uint64_t first = 0, frames = 0;
    std::string timecode, recorded, endTimecode, endRecorded;  // empty: none in the recording
    uint64_t damagedFrames = 0, damagedMacroblocks = 0, concealedMacroblocks = 0, audioErrors = 0;
};

// A frame kept for a picture: its bytes until the end of the pass.
struct Kept {
    uint64_t index = 0;
    double share = 0;       // damaged or concealed share of the picture
    uint32_t recording = 0;  // non-zero: the first frame of this recording
    bool damaged = false;    // among the most damaged
    std::vector<uint8_t> bytes;
};

// What one file gives the page.
struct FileReport {
    std::string name, error;
    std::set<std::string> kinds;
    uint32_t rateNum = 0, rateDen = 1, audioPerFrame = 0;
    uint64_t damagedMacroblocks = 0, concealedMacroblocks = 0, audioErrors = 0, audioErrorFrames = 0;
    uint64_t captionFrames = 0;
    hvdv_scan::RecordingTracker tracker;
    std::vector<Recording> recordings;
    std::vector<uint8_t> damaged, concealed, macroblocks, audio, flags, timecode, date, time;
    std::vector<std::pair<uint64_t, std::string>> errors;
    std::vector<hvdv_cli::ReportPicture> pictures;
    std::vector<uint8_t> csv;  // zlib
};

// The progress line on a terminal.
class Progress {
public:
    void Frame(const std::string& name, uint64_t frames, uint64_t damaged) {
        if (!line_.Due()) return;
        line_.Show("hvdv report: " + name + ": frame " + std::to_string(frames) + ", " + std::to_string(damaged) +
                   " damaged");
    }
    void Clear() { line_.Clear(); }

private:
    hvdv_cli::ProgressLine line_;
};

// Keeps the frames to picture: recording starts and the `most` most damaged.
class PictureChoice {
public:
    explicit PictureChoice(uint32_t most) : most_(most) {}

    void Offer(const uint8_t* frame, size_t size, const FrameRecord& r, const FrameVerdict& v) {
        if (v.newRecording && firsts_.size() < kRecordingPictures) {
            Kept k;
            k.index = r.index;
            k.share = r.DamageShare();
            k.recording = v.recording;
            k.bytes.assign(frame, frame + size);
            firsts_.push_back(std::move(k));
        }
        const double share = r.DamageShare();
        if (!most_ || share <= 0 || !r.identified) return;
        // The least damaged of those kept (the later one of equals) gives way.
        if (worst_.size() == most_) {
            auto weakest = std::min_element(worst_.begin(), worst_.end(), [](const Kept& a, const Kept& b) {
                return a.share != b.share ? a.share < b.share : a.index > b.index;
            });
            if (share <= weakest->share) return;
            worst_.erase(weakest);
        }
        Kept k;
        k.index = r.index;
        k.share = share;
        k.damaged = true;
        k.bytes.assign(frame, frame + size);
        worst_.push_back(std::move(k));
    }

    // Every kept frame once, in frame order.
    std::vector<Kept> Take() {
        std::vector<Kept> all = std::move(firsts_);
        for (Kept& k : worst_) {
            auto same = std::find_if(all.begin(), all.end(), [&](const Kept& a) { return a.index == k.index; });
            if (same != all.end()) same->damaged = true;
            else all.push_back(std::move(k));
        }
        std::sort(all.begin(), all.end(), [](const Kept& a, const Kept& b) { return a.index < b.index; });
        return all;
    }

private:
    uint32_t most_;
    std::vector<Kept> firsts_, worst_;
};

// Reads one input into *f.  False when it cannot be opened at all.
bool ReadFile(const std::string& input, uint32_t damagedPictures, Progress& progress, FileReport* f) {
    f->name = input == "-" ? "standard input" : input;
    hvdv_scan::FrameReader reader(true);
    std::string error;
    const std::unique_ptr<hvdv_input::FrameSource> source = hvdv_scan::OpenReading(input, reader, &error);
    if (!source) {
        f->error = error;
        return false;
    }
    hvdv_cli::Deflater csv;
    csv.Add(std::string(hvdv_scan::kCsvHeader) + "\n");
    PictureChoice choice(damagedPictures);
    hvdv_input::SourceFrame frame;
    FrameRecord r;
    while (source->Next(&frame)) {
        reader.Read(frame.bytes.data(), frame.bytes.size(), frame.index, frame.offset, &r);
        const FrameVerdict v = f->tracker.Add(r);
        csv.Add(hvdv_scan::CsvRecord(r, v) + "\n");
        if (r.identified) {
            f->kinds.insert(hvdv_scan::KindName(r.kind));
            if (!f->rateNum) {
                f->rateNum = r.rateNum;
                f->rateDen = r.rateDen;
            }
        }
        if (r.hasAudio && !f->audioPerFrame) f->audioPerFrame = r.audioSamples * r.audioChannels;
        // Closed captions: a pack the scan records do not carry.
        hvdv_metadata meta{};
        meta.size = sizeof meta;
        if (r.identified && hvdv_read_metadata(frame.bytes.data(), std::min<size_t>(frame.bytes.size(), r.frameBytes),
                                               &meta) == HVDV_OK &&
            (meta.present & HVDV_META_CAPTIONS))
            ++f->captionFrames;

        const bool damaged = r.Damaged();
        uint8_t flags = 0;
        if (v.newRecording) flags |= kFlagNewRecording;
        if (v.timecodeBreak) flags |= kFlagTimecodeBreak;
        if (damaged) flags |= kFlagDamaged;
        if (!r.identified || (!r.hasVideo && !r.error.empty())) flags |= kFlagUnreadable;
        if (v.audioChange) flags |= kFlagAudioChange;
        if (r.hasTimecode && r.tcDrop) flags |= kFlagDropFrame;
        f->flags.push_back(flags);
        PutLe16(f->damaged, r.hasVideo ? r.damaged : 0);
        PutLe16(f->concealed, r.hasVideo ? r.concealed : 0);
        PutLe16(f->macroblocks, r.hasVideo ? r.macroblocks : 0);
        PutLe16(f->audio, r.hasAudioErrors ? r.audioErrorSamples : 0);
        PutLe32(f->timecode, r.hasTimecode ? (r.tcHours << 24 | r.tcMinutes << 16 | r.tcSeconds << 8 | r.tcFrames)
                                           : kAbsent);
        PutLe32(f->date, r.hasDate ? r.year * 10000 + r.month * 100 + r.day : kAbsent);
        PutLe32(f->time, r.hasTime ? r.hours * 10000 + r.minutes * 100 + r.seconds : kAbsent);
        if (!r.error.empty() && f->errors.size() < kErrorTexts) f->errors.emplace_back(r.index, r.error);

        if (r.hasVideo) {
            f->damagedMacroblocks += r.damaged;
            f->concealedMacroblocks += r.concealed;
        }
        if (r.hasAudioErrors && r.audioErrorSamples) {
            f->audioErrors += r.audioErrorSamples;
            ++f->audioErrorFrames;
        }
        if (v.newRecording) {
            f->recordings.emplace_back();
            f->recordings.back().first = r.index;
        }
        Recording& rec = f->recordings.back();
        ++rec.frames;
        const std::string tc = hvdv_scan::TimecodeText(r), when = hvdv_scan::RecordedText(r);
        if (!tc.empty()) {
            if (rec.timecode.empty()) rec.timecode = tc;
            rec.endTimecode = tc;
        }
        if (!when.empty()) {
            if (rec.recorded.empty()) rec.recorded = when;
            rec.endRecorded = when;
        }
        if (damaged) ++rec.damagedFrames;
        if (r.hasVideo) {
            rec.damagedMacroblocks += r.damaged;
            rec.concealedMacroblocks += r.concealed;
        }
        if (r.hasAudioErrors) rec.audioErrors += r.audioErrorSamples;

        choice.Offer(frame.bytes.data(), frame.bytes.size(), r, v);
        progress.Frame(input, f->tracker.frames, f->tracker.damagedFrames);
    }
    progress.Clear();
    if (!source->Error().empty())
        f->error = "frame " + std::to_string(f->tracker.frames) + ": " + source->Error();
    else if (f->tracker.frames == 0)
        f->error = "no DV frame";
    if (!csv.Finish(&f->csv, &error)) {
        f->error = "cannot compress the CSV: " + error;
        return false;
    }

    hvdv_decoder* decoder = nullptr;
    if (hvdv_decoder_create(nullptr, &decoder) != HVDV_OK) return true;
    for (Kept& k : choice.Take()) {
        hvdv_cli::ReportPicture p;
        if (!hvdv_cli::MakeReportPicture(decoder, k.bytes.data(), k.bytes.size(), &p)) continue;
        p.frame = k.index;
        if (k.recording) p.why = "first frame of recording " + std::to_string(k.recording);
        if (k.damaged) p.why += std::string(p.why.empty() ? "" : ", ") + "among the most damaged";
        f->pictures.push_back(std::move(p));
    }
    hvdv_decoder_destroy(decoder);
    return true;
}

std::string Json(const std::string& text) { return text.empty() ? "null" : JsonString(text); }
std::string U(uint64_t n) { return std::to_string(n); }

std::string FileSummaryJson(const FileReport& f) {
    std::string kinds;
    for (const std::string& k : f.kinds) kinds += (kinds.empty() ? "" : ", ") + JsonString(k);
    char seconds[32] = "null";
    if (f.rateNum) std::snprintf(seconds, sizeof seconds, "%.3f", double(f.tracker.frames) * f.rateDen / f.rateNum);
    return "{\"file\": " + JsonString(f.name) + ", \"kinds\": [" + kinds + "], \"frames\": " + U(f.tracker.frames) +
           ", \"duration_seconds\": " + seconds + ", \"damaged_frames\": " + U(f.tracker.damagedFrames) +
           ", \"damaged_macroblocks\": " + U(f.damagedMacroblocks) +
           ", \"concealed_macroblocks\": " + U(f.concealedMacroblocks) + ", \"audio_errors\": " + U(f.audioErrors) +
           ", \"audio_error_frames\": " + U(f.audioErrorFrames) + ", \"timecode_breaks\": " +
           U(f.tracker.timecodeBreaks) + ", \"recordings\": " + U(f.tracker.recordings) +
           ", \"audio_changes\": " + U(f.tracker.audioChanges) + ", \"caption_frames\": " + U(f.captionFrames) +
           ", \"error\": " + Json(f.error) + "}";
}

std::string SummaryJson(const std::vector<FileReport>& files) {
    uint64_t frames = 0, damaged = 0, breaks = 0, audio = 0, changes = 0;
    std::string recordings, perFile;
    for (size_t k = 0; k < files.size(); ++k) {
        const FileReport& f = files[k];
        frames += f.tracker.frames;
        damaged += f.tracker.damagedFrames;
        breaks += f.tracker.timecodeBreaks;
        audio += f.audioErrors;
        changes += f.tracker.audioChanges;
        for (const Recording& r : f.recordings)
            recordings += std::string(recordings.empty() ? "" : ",\n  ") + "{\"file\": " + U(k) +
                          ", \"first_frame\": " + U(r.first) + ", \"frames\": " + U(r.frames) +
                          ", \"timecode\": " + Json(r.timecode) + ", \"recorded\": " + Json(r.recorded) +
                          ", \"end_timecode\": " + Json(r.endTimecode) + ", \"end_recorded\": " +
                          Json(r.endRecorded) + ", \"damaged_frames\": " + U(r.damagedFrames) +
                          ", \"damaged_macroblocks\": " + U(r.damagedMacroblocks) +
                          ", \"concealed_macroblocks\": " + U(r.concealedMacroblocks) +
                          ", \"audio_errors\": " + U(r.audioErrors) + "}";
        perFile += std::string(perFile.empty() ? "" : ",\n  ") + FileSummaryJson(f);
    }
    return "{\"frames\": " + U(frames) + ", \"damaged_frames\": " + U(damaged) + ", \"timecode_breaks\": " +
           U(breaks) + ", \"audio_errors\": " + U(audio) + ", \"audio_changes\": " + U(changes) +
           ",\n \"recordings\": [\n  " + recordings + "],\n \"files\": [\n  " + perFile + "]}";
}

std::string DataJson(const std::vector<FileReport>& files) {
    using hvdv_cli::Base64;
    std::string out = "{\"files\": [";
    for (size_t k = 0; k < files.size(); ++k) {
        const FileReport& f = files[k];
        std::string errors, pictures;
        for (const auto& e : f.errors)
            errors += std::string(errors.empty() ? "" : ", ") + "[" + U(e.first) + ", " + JsonString(e.second) + "]";
        for (const hvdv_cli::ReportPicture& p : f.pictures)
            pictures += std::string(pictures.empty() ? "" : ",\n  ") + "{\"frame\": " + U(p.frame) +
                        ", \"why\": " + JsonString(p.why) + ", \"width\": " + U(p.width) + ", \"height\": " +
                        U(p.height) + ", \"display_width\": " + U(p.displayWidth) +
                        ", \"src\": \"data:image/png;base64," + Base64(p.png) + "\"}";
        std::string base = f.name == "standard input" ? "stdin" : f.name.substr(f.name.find_last_of("/\\") + 1);
        base = base.substr(0, base.find_last_of('.')) + ".csv";
        out += std::string(k ? ",\n" : "\n") + "{\"rate\": [" + U(f.rateNum) + ", " + U(f.rateDen) +
               "], \"audio_samples\": " + U(f.audioPerFrame) + ",\n \"damaged\": \"" + Base64(f.damaged) +
               "\",\n \"concealed\": \"" + Base64(f.concealed) + "\",\n \"macroblocks\": \"" +
               Base64(f.macroblocks) + "\",\n \"audio\": \"" + Base64(f.audio) + "\",\n \"flags\": \"" +
               Base64(f.flags) + "\",\n \"timecode\": \"" + Base64(f.timecode) + "\",\n \"date\": \"" +
               Base64(f.date) + "\",\n \"time\": \"" + Base64(f.time) + "\",\n \"errors\": [" + errors +
               "],\n \"pictures\": [" + pictures + "],\n \"csv_name\": " + JsonString(base) + ",\n \"csv\": \"" +
               Base64(f.csv) + "\"}";
    }
    return out + "]}";
}

int RunReport(int argc, char** argv) {
    auto usage = [](const std::string& message) {
        hvdv_cli::PrintError(kCommand, message + " (see hvdv report --help)");
        return 2;
    };
    std::vector<std::string> inputs;
    std::string output;
    uint32_t damagedPictures = kDefaultDamagedPictures;
    hvdv_cli::Arguments args(argc, argv);
    std::string arg, value;
    bool option;
    while (args.Next(&arg, &option)) {
        if (!option) {
            inputs.push_back(arg);
        } else if (arg == "--help" || arg == "-h") {
            PrintHelp();
            return 0;
        } else if (arg == "-o") {
            if (!args.Value(&output)) return usage("-o needs a file name");
        } else if (arg == "--pictures") {
            char* end = nullptr;
            const char* text = args.Value(&value) ? value.c_str() : "";
            const unsigned long n = std::strtoul(text, &end, 10);
            if (!*text || *end || text[0] == '-' || n > kMaxDamagedPictures)
                return usage("--pictures needs a number from 0 to " + std::to_string(kMaxDamagedPictures));
            damagedPictures = uint32_t(n);
        } else {
            return usage("unknown option " + arg);
        }
    }
    if (inputs.empty()) return usage("no input given");
    if (output.empty()) return usage("no output given (-o REPORT.html)");
    if (std::count(inputs.begin(), inputs.end(), std::string("-")) > 1)
        return usage("standard input given more than once");
    if (!hvdv_cli::ReportAvailable()) {
        hvdv_cli::PrintError(kCommand, "this hvdv was built without libpng or zlib: reports are not available");
        return 1;
    }

    std::vector<FileReport> files(inputs.size());
    Progress progress;
    int status = 0;
    for (size_t k = 0; k < inputs.size(); ++k) {
        if (!ReadFile(inputs[k], damagedPictures, progress, &files[k])) {
            hvdv_cli::PrintError(kCommand, inputs[k] + ": " + files[k].error);
            return 1;
        }
        if (!files[k].error.empty()) {
            hvdv_cli::PrintError(kCommand, inputs[k] + ": " + files[k].error);
            status = 1;
        }
    }

    std::string title;
    for (const FileReport& f : files)
        title += (title.empty() ? "" : ", ") + f.name.substr(f.name.find_last_of("/\\") + 1);
    std::string error;
    if (!hvdv_cli::WriteReportPage(output, title, SummaryJson(files), DataJson(files), &error)) {
        hvdv_cli::PrintError(kCommand, output + ": " + error);
        return 1;
    }
    for (const FileReport& f : files)
        std::fprintf(stderr, "hvdv report: %s: %" PRIu64 " frames, %" PRIu64 " damaged, %" PRIu64
                     " recordings, %" PRIu64 " timecode breaks, %zu pictures\n",
                     f.name.c_str(), f.tracker.frames, f.tracker.damagedFrames, f.tracker.recordings,
                     f.tracker.timecodeBreaks, f.pictures.size());
    std::fprintf(stderr, "hvdv report: wrote %s\n", output.c_str());
    return status;
}

const hvdv_cli::RegisterCommand kRegister{
    kCommand, "one HTML page per tape: summary, recordings, timeline, damaged pictures", RunReport};

}  // namespace
