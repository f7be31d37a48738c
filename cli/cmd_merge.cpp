// hvdv merge: several transfers of one tape become one raw DV file, each
// DIF block taken from a transfer that read it cleanly.

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli.h"
#include "merge_run.h"
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

int RunMerge(int argc, char** argv) {
    auto usage = [](const std::string& message) {
        hvdv_cli::PrintError(kCommand, message + " (see hvdv merge --help)");
        return 2;
    };
    std::vector<std::string> inputs;
    std::string output, report;
    bool force = false;
    size_t window = 100;
    hvdv_cli::Arguments args(argc, argv);
    std::string arg;
    bool option;
    while (args.Next(&arg, &option)) {
        if (!option) {
            inputs.push_back(arg);
        } else if (arg == "--help" || arg == "-h") {
            PrintHelp();
            return 0;
        } else if (arg == "-o" || arg == "--report" || arg == "--window") {
            std::string value;
            if (!args.Value(&value)) return usage(arg + " needs a value");
            if (arg == "-o") {
                output = value;
            } else if (arg == "--report") {
                report = value;
            } else {
                char* end = nullptr;
                const unsigned long w = std::strtoul(value.c_str(), &end, 10);
                if (!end || *end || w < 4 || w > 100000) return usage("--window takes 4 to 100000 frames");
                window = w;
            }
        } else if (arg == "--force") {
            force = true;
        } else {
            return usage("unknown option " + arg);
        }
    }
    hvdv_merge::RunOptions run;
    run.inputs = inputs;
    run.output = output;
    run.report = report;
    run.force = force;
    run.window = window;
    hvdv_cli::ProgressLine line;
    auto progress = [&](const hvdv_merge::RunSummary& t) {
        if (!line.Due()) return;
        const double seconds = line.Seconds();
        char text[128];
        std::snprintf(text, sizeof text, "hvdv merge: frame %" PRIu64 ", %.1f frames/s, %" PRIu64 " blocks repaired",
                      t.frames, seconds > 0 ? double(t.frames) / seconds : 0.0, t.repaired);
        line.Show(text);
    };
    hvdv_merge::RunSummary t;
    std::string error;
    const hvdv_merge::RunResult result = hvdv_merge::Run(run, &t, &error, progress);
    line.Clear();
    if (result == hvdv_merge::RunResult::kArgument) return usage(error);
    if (result != hvdv_merge::RunResult::kDone) {
        hvdv_cli::PrintError(kCommand, error);
        return 1;
    }
    std::fprintf(stderr,
                 "hvdv merge: %s: %" PRIu64 " frames, %" PRIu64 " found in one input only, %" PRIu64
                 " missing from every input (timecode gaps); %" PRIu64 " blocks repaired, %" PRIu64
                 " blocks still damaged in %" PRIu64 " frames",
                 output.c_str(), t.frames, t.single, t.missing, t.repaired, t.damagedBlocks, t.damagedFrames);
    if (t.audioCounted)
        std::fprintf(stderr, "; audio error samples %" PRIu64 " in the best input frame of each, %" PRIu64 " after",
                     t.audioBefore, t.audioAfter);
    std::fprintf(stderr, "\n");
    if (!t.warning.empty()) std::fprintf(stderr, "hvdv merge: %s\n", t.warning.c_str());
    for (size_t i = 0; i < inputs.size(); ++i) {
        if (!t.leftOut[i].empty())
            std::fprintf(stderr, "hvdv merge: %s left out: %s\n", inputs[i].c_str(), t.leftOut[i].c_str());
        else if (t.repeats[i])
            std::fprintf(stderr, "hvdv merge: %s: %u repeated frames dropped\n", inputs[i].c_str(), t.repeats[i]);
    }
    return 0;
}

const hvdv_cli::RegisterCommand kRegister{kCommand, "several transfers of one tape into one, block by block",
                                          RunMerge};

}  // namespace
