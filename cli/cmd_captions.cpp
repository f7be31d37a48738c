// hvdv captions: the line-21 closed captions of DV as SCC, SRT or text.
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "caption_track.h"
#include "cli.h"
#include "source.h"

namespace {

const char kCommand[] = "captions";

void PrintHelp() {
    std::printf(
        "usage: hvdv captions IN -o OUT.scc|OUT.srt|OUT.txt [--field 1|2]\n"
        "                     [--channel CC1|CC2|CC3|CC4] [--start-tc dv|HH:MM:SS:FF|HH:MM:SS;FF]\n"
        "\n"
        "Writes the closed captions (CEA-608, line 21) that IN carries in its VAUX\n"
        "closed-caption packs (IN: raw DV, \"-\" for standard input%s).\n"
        "The extension of OUT chooses the output:\n"
        "\n"
        "  .scc  the caption pairs of one field exactly as stored (parity bits and\n"
        "        doubled control codes kept): a line for each run of frames whose\n"
        "        pair is not 80 80, with the timecode of the run's first frame\n"
        "  .srt  the captions of one channel decoded, one cue from the frame a\n"
        "        caption is shown to the frame it is removed or replaced; times from\n"
        "        the start of the input\n"
        "  .txt  the same cues, one line each after its start timecode\n"
        "\n"
        "  --field 1|2       SCC: the field (default 1)\n"
        "  --channel CCn     SRT and text: CC1 or CC2 (field 1), CC3 or CC4 (field 2);\n"
        "                    default CC1, or CC3 with --field 2\n"
        "  --start-tc TC     timecodes count from TC at the first frame (\";\" before the\n"
        "                    frames: drop-frame); \"dv\" (the default) takes each frame's\n"
        "                    own timecode, the previous one's plus one where it has none\n"
        "\n"
        "A summary on stderr gives the frames read, those with a caption pack, with\n"
        "data in the field read, with a parity error, and whose copies disagree.\n"
        "Exit status: 0 done, 1 failed (cannot read the input or write OUT),\n"
        "2 bad argument.\n",
        hvdv_input::ContainersSupported() ? ", or a container's DV track" : "");
}

bool EndsWith(const std::string& s, const char* tail) {
    const size_t n = std::strlen(tail);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower((unsigned char)s[s.size() - n + i]) != tail[i]) return false;
    return true;
}

int RunCaptions(int argc, char** argv) {
    auto usage = [](const std::string& message) {
        hvdv_cli::PrintError(kCommand, message + " (see hvdv captions --help)");
        return 2;
    };
    std::string input, output;
    hvdv_cli::CaptionOptions options;
    int field = 0, channel = 0;
    hvdv_cli::Arguments args(argc, argv);
    std::string arg, v;
    bool option;
    while (args.Next(&arg, &option)) {
        if (!option) {
            if (!input.empty()) return usage("more than one input (" + input + ", " + arg + ")");
            input = arg;
        } else if (arg == "--help" || arg == "-h") {
            PrintHelp();
            return 0;
        } else if (arg == "-o") {
            if (!args.Value(&output)) return usage("-o needs a file");
        } else if (arg == "--field") {
            if (!args.Value(&v) || (v != "1" && v != "2")) return usage("--field takes 1 or 2");
            field = v[0] - '0';
        } else if (arg == "--channel") {
            if (!args.Value(&v) || v.size() != 3 || (v.compare(0, 2, "CC") != 0 && v.compare(0, 2, "cc") != 0) ||
                v[2] < '1' || v[2] > '4')
                return usage("--channel takes CC1, CC2, CC3 or CC4");
            channel = v[2] - '0';
        } else if (arg == "--start-tc") {
            if (!args.Value(&options.startTc)) return usage("--start-tc needs dv or a timecode");
        } else {
            return usage("unknown option " + arg);
        }
    }
    if (input.empty()) return usage("no input given");
    if (output.empty()) return usage("no output given (-o OUT.scc, OUT.srt or OUT.txt)");
    if (EndsWith(output, ".scc")) {
        options.format = hvdv_cli::CaptionFormat::kScc;
        if (channel) return usage("--channel is for SRT and text; SCC takes --field");
        options.field = field ? field : 1;
    } else if (EndsWith(output, ".srt") || EndsWith(output, ".txt")) {
        options.format = EndsWith(output, ".srt") ? hvdv_cli::CaptionFormat::kSrt : hvdv_cli::CaptionFormat::kText;
        if (channel && field && (channel >= 3 ? 2 : 1) != field)
            return usage("CC" + std::to_string(channel) + " is not on field " + std::to_string(field));
        options.channel = channel ? channel : field == 2 ? 3 : 1;
    } else {
        return usage(output + ": the extension must be .scc, .srt or .txt");
    }

    std::string error;
    const std::unique_ptr<hvdv_input::FrameSource> source = hvdv_input::OpenFrameSource(input, &error);
    if (!source) {
        hvdv_cli::PrintError(kCommand, input + ": " + error);
        return 1;
    }
    hvdv_cli::ProgressLine line;
    auto progress = [&](uint64_t frames) {
        if (line.Due()) line.Show("hvdv captions: frame " + std::to_string(frames));
    };
    std::string text;
    hvdv_cli::CaptionSummary s;
    const bool ok = hvdv_cli::MakeCaptions(*source, options, &text, &s, &error, progress);
    line.Clear();
    if (!ok) {
        hvdv_cli::PrintError(kCommand, input + ": " + error + "; " + output + " not written");
        return 1;
    }
    // Written whole or not at all.
    FILE* f = std::fopen(output.c_str(), "wb");
    if (!f) {
        hvdv_cli::PrintError(kCommand, output + ": cannot write: " + std::strerror(errno));
        return 1;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) != 0 || !written) {
        hvdv_cli::PrintError(kCommand, output + ": cannot write: " + std::strerror(errno) + " (removed)");
        std::remove(output.c_str());
        return 1;
    }
    if (s.notDv)
        hvdv_cli::PrintError(kCommand, input + ": frame " + std::to_string(s.firstNotDv) + ": not a DV frame (" +
                                           std::to_string(s.notDv) + " such frames, read as without captions)");
    const bool scc = options.format == hvdv_cli::CaptionFormat::kScc;
    std::fprintf(stderr,
                 "hvdv captions: %s: %" PRIu64 " frames, %" PRIu64 " with a caption pack, %" PRIu64
                 " with data in field %d, %" PRIu64 " with a parity error, %" PRIu64
                 " with disagreeing copies; %" PRIu64 " %s written to %s\n",
                 input.c_str(), s.frames, s.withPack, s.withData, scc ? options.field : (options.channel >= 3 ? 2 : 1),
                 s.parityErrors, s.disagreeing, s.items, scc ? "SCC lines" : "cues", output.c_str());
    return 0;
}

const hvdv_cli::RegisterCommand kRegister{kCommand, "closed captions (CEA-608) as SCC, SRT or text", RunCaptions};

}  // namespace
