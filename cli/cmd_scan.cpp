// hvdv scan: one record per frame (timecode, recording date, flags, format,
// audio, damage) and where the recordings on a tape begin.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "plot.h"
#include "records.h"
#include "scan_text.h"
#include "source.h"

namespace {

using hvdv_scan::FrameRecord;
using hvdv_scan::FrameVerdict;
using hvdv_scan::JsonString;
using hvdv_scan::JsonRecord;
using hvdv_scan::CsvRecord;
using hvdv_scan::kCsvHeader;

const char kCommand[] = "scan";
// Frame errors named on stderr before the rest are only counted.
constexpr uint64_t kErrorLines = 20;

enum class Style { kTable, kJson, kCsv };

void PrintHelp() {
    std::printf(
        "usage: hvdv scan IN [--json | --csv] [--plot FILE.png] [--strict]\n"
        "\n"
        "Reads every frame of IN (raw DV, \"-\" for standard input%s) and prints one\n"
        "record per frame: index, byte offset, timecode (HH:MM:SS:FF, HH:MM:SS;FF when\n"
        "drop-frame), recording date and time (YYYY-MM-DDTHH:MM:SS, local time as\n"
        "recorded), REC START and repeated-frame flags, DV kind, aspect, field order,\n"
        "audio (rate, bits, channels, samples, locked, error samples), damaged and\n"
        "concealed macroblocks, the video blocks of each non-zero STA value (\"a:810\"\n"
        "is 810 blocks with STA 0xA), and whether the frame starts a new recording.\n"
        "Values a frame does not carry are left empty (null in JSON).  A summary\n"
        "follows: frames, damaged frames, recordings, timecode breaks, audio changes,\n"
        "frames with captions.  JSON and CSV also give, per frame, whether a\n"
        "closed-caption pack is there, whether its pairs carry data (not 80 80) and\n"
        "its bytes with bad parity.\n"
        "In the table, flags are S (REC START), R (repeated frame), T (timecode\n"
        "break) and C (caption data); dmg, conc and aerr count damaged and concealed macroblocks and\n"
        "audio error samples.  The damage comes from a half-size decode of each frame.\n"
        "\n"
        "A frame starts a new recording when its recording date and time goes back,\n"
        "or forward by more than the frames in between last plus 3 s; when its\n"
        "timecode goes back, or forward by more than 1 s beyond the frames in between\n"
        "(smaller skips are counted as timecode breaks only); when REC START is set\n"
        "and was not on the frame before; or when the DV kind, the aspect or the audio\n"
        "mode (rate, bits, channels) changes.  A value a frame lacks is never a break.\n"
        "\n"
        "  --json           one JSON object per line, then {\"summary\": ...}\n"
        "  --csv            comma-separated with a header line; summary on stderr\n"
        "  --plot FILE.png  a %d x %d picture of the damage per frame over the whole\n"
        "                   input, recording starts marked%s\n"
        "  --strict         exit status 3 when any frame is damaged\n"
        "\n"
        "Exit status: 0 clean, 1 failed (cannot read the input or write the plot),\n"
        "2 bad argument, 3 damaged frames with --strict.\n",
        hvdv_input::ContainersSupported() ? ", or a container's DV track" : "", hvdv_cli::kPlotWidth,
        hvdv_cli::kPlotHeight, hvdv_cli::PlotSupported() ? "" : " (not in this build: no cairo)");
}

std::string Number(uint32_t value) { return std::to_string(value); }

void PrintTableHeader() {
    std::printf("%7s %12s  %-11s  %-19s  %-5s %-17s  %-6s %-12s  %-24s %5s %5s %5s  %s\n", "frame", "offset",
                "timecode", "recorded", "flags", "kind", "aspect", "fields", "audio", "dmg", "conc", "aerr", "sta");
}

void PrintTableRecord(const FrameRecord& r, const FrameVerdict& v) {
    if (v.newRecording)
        std::printf("== recording %u from frame %" PRIu64 ": %s\n", v.recording, r.index,
                    hvdv_scan::BreakText(v.reasons).c_str());
    std::string flags;
    if (r.recStart) flags += "S";
    if (r.repeated) flags += "R";
    if (v.timecodeBreak) flags += "T";
    if (r.captionData) flags += "C";
    char audio[64] = "";
    if (r.hasAudio)
        std::snprintf(audio, sizeof audio, "%u Hz %u bit %u ch %u%s", r.audioRate, r.audioBits, r.audioChannels,
                      r.audioSamples, r.audioLocked ? " L" : "");
    const char* fields = hvdv_scan::FieldOrderName(r.fieldOrder);
    const std::string offset = r.offset >= 0 ? std::to_string(r.offset) : "";
    const std::string dmg = r.hasVideo ? Number(r.damaged) : "", conc = r.hasVideo ? Number(r.concealed) : "";
    const std::string aerr = r.hasAudioErrors ? Number(r.audioErrorSamples) : "";
    std::string sta = hvdv_scan::StaText(r);
    if (!r.error.empty()) sta += (sta.empty() ? "" : "  ") + r.error;
    std::printf("%7" PRIu64 " %12s  %-11s  %-19s  %-5s %-17s  %-6s %-12s  %-24s %5s %5s %5s  %s\n", r.index,
                offset.c_str(), hvdv_scan::TimecodeText(r).c_str(), hvdv_scan::RecordedText(r).c_str(),
                flags.empty() ? "-" : flags.c_str(), r.identified ? hvdv_scan::KindName(r.kind) : "",
                r.hasAspect ? (r.wide ? "16:9" : "4:3") : "", fields ? fields : "", audio, dmg.c_str(), conc.c_str(),
                aerr.c_str(), sta.c_str());
}

struct RecordingStart {
    uint64_t frame = 0;
    std::string recorded, timecode;
};

int RunScan(int argc, char** argv) {
    auto usage = [](const std::string& message) {
        hvdv_cli::PrintError(kCommand, message + " (see hvdv scan --help)");
        return 2;
    };
    Style style = Style::kTable;
    std::string input, plotPath;
    bool strict = false;
    hvdv_cli::Arguments args(argc, argv);
    std::string arg;
    bool option;
    while (args.Next(&arg, &option)) {
        if (!option) {
            if (!input.empty()) return usage("more than one input (" + input + ", " + arg + ")");
            input = arg;
        } else if (arg == "--help" || arg == "-h") {
            PrintHelp();
            return 0;
        } else if (arg == "--json" || arg == "--csv") {
            const Style chosen = arg == "--json" ? Style::kJson : Style::kCsv;
            if (style != Style::kTable && style != chosen) return usage("--json and --csv exclude each other");
            style = chosen;
        } else if (arg == "--plot") {
            if (!args.Value(&plotPath)) return usage("--plot needs a file name");
        } else if (arg == "--strict") {
            strict = true;
        } else {
            return usage("unknown option " + arg);
        }
    }
    if (input.empty()) return usage("no input given");
    if (!plotPath.empty() && !hvdv_cli::PlotSupported()) {
        hvdv_cli::PrintError(kCommand, "this hvdv was built without cairo: --plot is not available");
        return 1;
    }

    hvdv_scan::FrameReader reader(true);
    std::string error;
    const std::unique_ptr<hvdv_input::FrameSource> source = hvdv_scan::OpenReading(input, reader, &error);
    if (!source) {
        hvdv_cli::PrintError(kCommand, input + ": " + error);
        return 1;
    }
    if (!source->Facts().notice.empty()) hvdv_cli::PrintError(kCommand, input + ": warning: " + source->Facts().notice);

    hvdv_scan::RecordingTracker tracker;
    hvdv_cli::DamagePlot plot;
    std::vector<RecordingStart> starts;
    hvdv_input::SourceFrame frame;
    FrameRecord r;
    uint64_t frameErrors = 0;
    if (style == Style::kTable) PrintTableHeader();
    if (style == Style::kCsv) std::printf("%s\n", kCsvHeader);
    while (source->Next(&frame)) {
        reader.Read(frame.bytes.data(), frame.bytes.size(), frame.index, frame.offset, &r);
        const FrameVerdict v = tracker.Add(r);
        if (style == Style::kJson) std::printf("%s\n", JsonRecord(r, v).c_str());
        else if (style == Style::kCsv) std::printf("%s\n", CsvRecord(r, v).c_str());
        else PrintTableRecord(r, v);
        if (!r.error.empty() && ++frameErrors <= kErrorLines)
            hvdv_cli::PrintError(kCommand, input + ": frame " + std::to_string(r.index) + ": " + r.error);
        if (v.newRecording) {
            starts.push_back({r.index, hvdv_scan::RecordedText(r), hvdv_scan::TimecodeText(r)});
            plot.recordingStarts.push_back(r.index);
        }
        if (r.identified && plot.damage.empty()) {
            plot.rateNum = r.rateNum;
            plot.rateDen = r.rateDen;
        }
        if (!plotPath.empty()) plot.damage.push_back(float(r.DamageShare()));
    }
    if (frameErrors > kErrorLines)
        hvdv_cli::PrintError(kCommand, input + ": " + std::to_string(frameErrors - kErrorLines) +
                                           " more frames with errors (see the records)");
    int status = 0;
    if (!source->Error().empty()) {
        hvdv_cli::PrintError(kCommand, input + ": frame " + std::to_string(tracker.frames) + ": " + source->Error());
        status = 1;
    } else if (tracker.frames == 0) {
        hvdv_cli::PrintError(kCommand, input + ": no DV frame");
        status = 1;
    }

    char summary[256];
    std::snprintf(summary, sizeof summary,
                  "%" PRIu64 " frames, %" PRIu64 " damaged, %" PRIu64 " recordings, %" PRIu64
                  " timecode breaks, %" PRIu64 " audio changes, %" PRIu64 " with captions",
                  tracker.frames, tracker.damagedFrames, tracker.recordings, tracker.timecodeBreaks,
                  tracker.audioChanges, tracker.captionFrames);
    if (style == Style::kJson) {
        std::printf("{\"summary\": %s}\n", hvdv_scan::JsonSummary(tracker).c_str());
    } else if (style == Style::kCsv) {
        hvdv_cli::PrintError(kCommand, input + ": " + summary);
    } else {
        std::printf("\n%s: %s\n", input.c_str(), summary);
        for (size_t n = 0; n < starts.size(); ++n) {
            const uint64_t end = n + 1 < starts.size() ? starts[n + 1].frame : tracker.frames;
            std::printf("  recording %zu: frames %" PRIu64 "-%" PRIu64 " (%" PRIu64 ")  %s  %s\n", n + 1,
                        starts[n].frame, end - 1, end - starts[n].frame,
                        starts[n].recorded.empty() ? "no date" : starts[n].recorded.c_str(),
                        starts[n].timecode.empty() ? "no timecode" : starts[n].timecode.c_str());
        }
    }
    std::fflush(stdout);

    if (!plotPath.empty() && tracker.frames) {
        plot.title = input + ": " + summary;
        if (!hvdv_cli::WritePlot(plotPath, plot, hvdv_cli::kPlotWidth, hvdv_cli::kPlotHeight, &error)) {
            hvdv_cli::PrintError(kCommand, plotPath + ": " + error);
            return 1;
        }
    }
    if (status) return status;
    return strict && tracker.damagedFrames ? 3 : 0;
}

const hvdv_cli::RegisterCommand kRegister{
    kCommand, "one record per frame: timecode, date, format, audio, damage; recordings; --plot", RunScan};

}  // namespace
