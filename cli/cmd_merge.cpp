// hvdv merge: several transfers of one tape become one raw DV file, each
// DIF block taken from a transfer that read it cleanly.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli.h"
#include "merge.h"
#include "records.h"
#include "source.h"

namespace {

const char kCommand[] = "merge";

void PrintHelp() {
    std::printf(
        "usage: hvdv merge IN1 IN2 [IN3...] -o OUT.dv [--report R.csv|R.json] [--force]\n"
        "\n"
        "Merges transfers of one tape into one raw DV file.  Inputs: raw DV, \"-\" for\n"
        "standard input (once)%s.\n"
        "Frames are placed on the tape by timecode, recording date and time, the clean\n"
        "blocks they share and their order; each frame found in any input is written\n"
        "once, in tape order, and each of its DIF blocks is copied from an input that\n"
        "read it cleanly (video STA 0, audio without error samples, subcode and VAUX\n"
        "packs intact), else from the least damaged copy.  With three inputs or more,\n"
        "one that never shares a frame with the others is left out (another tape).\n"
        "\n"
        "  -o OUT.dv      the merged file (kept if it exists, unless --force)\n"
        "  --report FILE  one row per output frame: CSV with a header row, or JSON\n"
        "                 lines when FILE ends in .json\n"
        "  --force        overwrite OUT.dv and the report\n"
        "  --window N     frames kept ahead per input to align them (default 100)\n"
        "\n"
        "A summary closes on stderr: frames, frames found in one input only, blocks\n"
        "repaired, blocks and frames still damaged, inputs left out and why.\n"
        "Exit status: 0 done, 1 failed (an input unreadable, inputs of different\n"
        "kinds, the output exists or cannot be written), 2 bad argument.\n",
        hvdv_input::ContainersSupported() ? ", a container's DV track" : "");
}

FILE* OpenOutput(const std::string& path, bool force, std::string* error) {
    FILE* f = nullptr;
    if (force) {
        f = std::fopen(path.c_str(), "wb");
    } else {
#if defined(_WIN32)
        if (FILE* existing = std::fopen(path.c_str(), "rb")) {
            std::fclose(existing);
            errno = EEXIST;
        } else {
            f = std::fopen(path.c_str(), "wb");
        }
#else
        f = std::fopen(path.c_str(), "wbx");
#endif
    }
    if (!f)
        *error = errno == EEXIST ? std::string("exists (--force overwrites it)")
                                 : "cannot write: " + std::string(std::strerror(errno));
    return f;
}

// Removes an output left half-written; never a device or pipe named as the
// output (/dev/null, a FIFO).
// Returns what became of it, for the message.
std::string RemovePartial(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return path + " is not a file: left as it is";
    return std::filesystem::remove(path, ec) ? path + " removed" : path + " could not be removed (incomplete)";
}

std::string Timecode(const hvdv_merge::OutputFrame& f) {
    if (!f.hasTimecode) return "";
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u%c%02u", f.tc[0], f.tc[1], f.tc[2], f.tcDrop ? ';' : ':', f.tc[3]);
    return text;
}

std::string Recorded(const hvdv_merge::OutputFrame& f) {
    if (!f.hasDate) return "";
    // Civil date from days since 1970 (the inverse of DaysFromCivil).
    const int64_t days = f.recorded / 86400, secs = f.recorded % 86400;
    const int64_t z = days + 719468, era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097, yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1, m = mp < 10 ? mp + 3 : mp - 9, y = yoe + era * 400 + (m <= 2);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", int(y), int(m), int(d), int(secs / 3600),
                  int(secs / 60 % 60), int(secs % 60));
    return text;
}

struct Totals {
    uint64_t frames = 0, single = 0, missing = 0, repaired = 0, damagedBlocks = 0, damagedFrames = 0;
    uint64_t audioBefore = 0, audioAfter = 0;
};

int RunMerge(int argc, char** argv) {
    auto usage = [](const std::string& message) {
        hvdv_cli::PrintError(kCommand, message + " (see hvdv merge --help)");
        return 2;
    };
    std::vector<std::string> inputs;
    std::string output, report;
    bool force = false, options = true;
    hvdv_merge::Options mergeOptions;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!options || arg.empty() || arg[0] != '-' || arg == "-") {
            inputs.push_back(arg);
        } else if (arg == "--") {
            options = false;
        } else if (arg == "--help" || arg == "-h") {
            PrintHelp();
            return 0;
        } else if (arg == "-o" || arg == "--report" || arg == "--window") {
            if (i + 1 >= argc) return usage(arg + " needs a value");
            const std::string value = argv[++i];
            if (arg == "-o") {
                output = value;
            } else if (arg == "--report") {
                report = value;
            } else {
                char* end = nullptr;
                const unsigned long w = std::strtoul(value.c_str(), &end, 10);
                if (!end || *end || w < 4 || w > 100000) return usage("--window takes 4 to 100000 frames");
                mergeOptions.window = w;
            }
        } else if (arg == "--force") {
            force = true;
        } else {
            return usage("unknown option " + arg);
        }
    }
    if (inputs.size() < 2) return usage("at least two inputs are needed");
    if (output.empty()) return usage("no output given (-o OUT.dv)");
    size_t stdinCount = 0;
    for (const std::string& in : inputs) stdinCount += in == "-";
    if (stdinCount > 1) return usage("standard input (-) can be read once only");
    // Audio error samples are counted (the audio decoded) for the report.
    mergeOptions.audioErrors = !report.empty();

    std::vector<std::unique_ptr<hvdv_input::FrameSource>> sources;
    for (const std::string& in : inputs) {
        std::string error;
        sources.push_back(hvdv_input::OpenFrameSource(in, &error));
        if (!sources.back()) {
            hvdv_cli::PrintError(kCommand, in + ": " + error);
            return 1;
        }
    }
    std::string error;
    FILE* out = OpenOutput(output, force, &error);
    if (!out) {
        hvdv_cli::PrintError(kCommand, output + ": " + error);
        return 1;
    }
    FILE* rep = nullptr;
    const bool json = report.size() >= 5 && report.compare(report.size() - 5, 5, ".json") == 0;
    if (!report.empty()) {
        rep = OpenOutput(report, force, &error);
        if (!rep) {
            std::fclose(out);
            RemovePartial(output);
            hvdv_cli::PrintError(kCommand, report + ": " + error);
            return 1;
        }
    }
    // Stops with the output removed, saying why.
    auto fail = [&](const std::string& message) {
        std::fclose(out);
        const std::string what = RemovePartial(output);
        if (rep) {
            std::fclose(rep);
            RemovePartial(report);
        }
        hvdv_cli::PrintError(kCommand, message + "; " + what);
        return 1;
    };

    if (rep && !json) {
        std::fprintf(rep, "index,timecode,recorded,inputs,missing_before,damaged_blocks,video_sta_blocks,"
                          "audio_error_samples,repaired_blocks");
        for (size_t k = 1; k <= inputs.size(); ++k) {
            const std::string in = ",in" + std::to_string(k);
            std::fprintf(rep, "%s_frame%s_match%s_blocks_taken%s_damaged_blocks%s_audio_error_samples", in.c_str(),
                         in.c_str(), in.c_str(), in.c_str(), in.c_str());
        }
        std::fprintf(rep, "\n");
    }

    hvdv_merge::Merger merger(inputs.size(), mergeOptions);
    std::vector<uint64_t> read(inputs.size(), 0);
    hvdv_input::SourceFrame frame;
    hvdv_merge::OutputFrame merged;
    Totals t;
    const bool terminal = isatty(STDERR_FILENO) != 0;
    const auto start = std::chrono::steady_clock::now();
    auto lastShown = start;
    bool shown = false;
    for (;;) {
        for (size_t i = 0; i < inputs.size(); ++i)
            while (merger.Wants(i)) {
                hvdv_merge::InputFrame f;
                merger.Spare(&f);
                frame.bytes.swap(f.bytes);
                if (!sources[i]->Next(&frame)) {
                    if (!sources[i]->Error().empty())
                        return fail(inputs[i] + ": frame " + std::to_string(read[i]) + ": " + sources[i]->Error());
                    merger.End(i);
                    break;
                }
                f.bytes.swap(frame.bytes);
                f.index = read[i]++;
                hvdv_merge::Describe(&f, mergeOptions.audioErrors);
                merger.Push(i, std::move(f));
            }
        if (!merger.Next(&merged)) {
            if (!merger.Error().empty()) {
                std::string kinds;
                for (size_t i = 0; i < inputs.size(); ++i)
                    if (merger.LeftOut()[i].empty())
                        kinds += (kinds.empty() ? "" : ", ") + inputs[i] + " is " +
                                 hvdv_scan::KindName(merger.Kind(i));
                return fail("inputs of different DV kinds: " + kinds);
            }
            if (merger.Done()) break;
            continue;
        }
        if (std::fwrite(merged.bytes.data(), 1, merged.bytes.size(), out) != merged.bytes.size())
            return fail(output + ": frame " + std::to_string(merged.index) + ": cannot write: " + std::strerror(errno));
        ++t.frames;
        t.single += merged.sources == 1;
        t.missing += merged.missingBefore;
        t.repaired += merged.repaired;
        t.damagedBlocks += merged.damaged;
        t.damagedFrames += merged.damaged != 0;
        t.audioAfter += merged.audioErrors;
        uint32_t fewest = UINT32_MAX;
        for (const hvdv_merge::InputUse& u : merged.inputs)
            if (u.match != hvdv_merge::Match::kNone) fewest = std::min(fewest, u.audioErrors);
        t.audioBefore += fewest == UINT32_MAX ? 0 : fewest;
        if (rep) {
            uint32_t sta = 0;
            hvdv_block_summary s{};
            s.size = sizeof s;
            std::vector<hvdv_block> blocks(merged.blocks);
            if (hvdv_block_status(merged.bytes.data(), merged.bytes.size(), blocks.data(), blocks.size(), &s) == HVDV_OK)
                sta = s.damaged[HVDV_SECTION_VIDEO];
            const uint32_t after = merged.audioErrors;
            const std::string tc = Timecode(merged), when = Recorded(merged);
            if (json)
                std::fprintf(rep, "{\"index\":%" PRIu64 ",\"timecode\":%s,\"recorded\":%s,\"inputs\":%u,"
                                  "\"missingBefore\":%u,\"damagedBlocks\":%u,\"videoStaBlocks\":%u,"
                                  "\"audioErrorSamples\":%u,\"repairedBlocks\":%u,\"sources\":[",
                             merged.index, tc.empty() ? "null" : hvdv_cli::JsonString(tc).c_str(),
                             when.empty() ? "null" : hvdv_cli::JsonString(when).c_str(), merged.sources,
                             merged.missingBefore, merged.damaged, sta, after, merged.repaired);
            else
                std::fprintf(rep, "%" PRIu64 ",%s,%s,%u,%u,%u,%u,%u,%u", merged.index, tc.c_str(), when.c_str(),
                             merged.sources, merged.missingBefore, merged.damaged, sta, after, merged.repaired);
            for (size_t k = 0; k < inputs.size(); ++k) {
                const hvdv_merge::InputUse& u = merged.inputs[k];
                const bool used = u.match != hvdv_merge::Match::kNone;
                const std::string index = used ? std::to_string(u.index) : "missing";
                if (json)
                    std::fprintf(rep,
                                 "%s{\"frame\":%s,\"match\":\"%s\",\"blocksTaken\":%u,\"damagedBlocks\":%u,"
                                 "\"audioErrorSamples\":%u}",
                                 k ? "," : "", used ? index.c_str() : "null", hvdv_merge::MatchName(u.match),
                                 u.blocksTaken, u.damaged, u.audioErrors);
                else
                    std::fprintf(rep, ",%s,%s,%u,%u,%u", index.c_str(), hvdv_merge::MatchName(u.match), u.blocksTaken,
                                 u.damaged, u.audioErrors);
            }
            std::fprintf(rep, json ? "]}\n" : "\n");
        }
        if (terminal) {
            const auto now = std::chrono::steady_clock::now();
            if (now - lastShown >= std::chrono::milliseconds(250)) {
                lastShown = now;
                const double seconds = std::chrono::duration<double>(now - start).count();
                std::fprintf(stderr, "\rhvdv merge: frame %" PRIu64 ", %.1f frames/s, %" PRIu64 " blocks repaired  ",
                             t.frames, seconds > 0 ? double(t.frames) / seconds : 0.0, t.repaired);
                std::fflush(stderr);
                shown = true;
            }
        }
    }
    if (shown) std::fprintf(stderr, "\r%78s\r", "");
    if (std::fclose(out) != 0) {
        out = nullptr;
        const std::string reason = std::strerror(errno);
        hvdv_cli::PrintError(kCommand, output + ": cannot write: " + reason + "; " + RemovePartial(output));
        if (rep) std::fclose(rep);
        return 1;
    }
    if (rep && std::fclose(rep) != 0) {
        hvdv_cli::PrintError(kCommand, report + ": cannot write: " + std::strerror(errno));
        return 1;
    }
    if (t.frames == 0) {
        hvdv_cli::PrintError(kCommand, "no DV frame in the inputs; " + RemovePartial(output));
        return 1;
    }
    std::fprintf(stderr,
                 "hvdv merge: %s: %" PRIu64 " frames, %" PRIu64 " found in one input only, %" PRIu64
                 " missing from every input (timecode gaps); %" PRIu64 " blocks repaired, %" PRIu64
                 " blocks still damaged in %" PRIu64 " frames",
                 output.c_str(), t.frames, t.single, t.missing, t.repaired, t.damagedBlocks, t.damagedFrames);
    if (mergeOptions.audioErrors)
        std::fprintf(stderr, "; audio error samples %" PRIu64 " in the best input frame of each, %" PRIu64 " after",
                     t.audioBefore, t.audioAfter);
    std::fprintf(stderr, "\n");
    if (!merger.Warning().empty()) std::fprintf(stderr, "hvdv merge: %s\n", merger.Warning().c_str());
    for (size_t i = 0; i < inputs.size(); ++i) {
        if (!merger.LeftOut()[i].empty())
            std::fprintf(stderr, "hvdv merge: %s left out: %s\n", inputs[i].c_str(), merger.LeftOut()[i].c_str());
        else if (merger.Repeats(i))
            std::fprintf(stderr, "hvdv merge: %s: %u repeated frames dropped\n", inputs[i].c_str(), merger.Repeats(i));
    }
    return 0;
}

const hvdv_cli::RegisterCommand kRegister{kCommand, "several transfers of one tape into one, block by block",
                                          RunMerge};

}  // namespace
