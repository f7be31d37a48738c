// hvdv split: one raw DV file per recording, the frames copied byte for byte.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli.h"
#include "output_file.h"
#include "records.h"
#include "source.h"

namespace {

const char kCommand[] = "split";

void PrintHelp() {
    std::printf(
        "usage: hvdv split IN -o PREFIX [--force]\n"
        "\n"
        "Writes each recording of IN (raw DV, \"-\" for standard input%s) to a raw\n"
        "DV file of its own, the frames byte for byte as stored: the files one after\n"
        "the other are the input's frames.  A recording begins where \"hvdv scan\"\n"
        "sees one (see hvdv scan --help).  Names come from the recording date and\n"
        "time of its first frame and a number:\n"
        "\n"
        "  PREFIX-001-2024-07-08T19-55-58.dv   (PREFIX-001.dv when it has no date)\n"
        "\n"
        "  -o PREFIX   path and start of the names\n"
        "  --force     overwrite files that exist (otherwise the split stops there)\n"
        "\n"
        "Each file written is named on stdout with its frames.\n"
        "Exit status: 0 done, 1 failed (cannot read the input, a file exists or\n"
        "cannot be written), 2 bad argument.\n",
        hvdv_input::ContainersSupported() ? ", or a container's DV track" : "");
}

// "PREFIX-003-2024-07-08T19-55-58.dv": the ISO date with "-" for ":", which
// file systems refuse.
std::string PieceName(const std::string& prefix, uint32_t number, const hvdv_scan::FrameRecord& r) {
    char index[16];
    std::snprintf(index, sizeof index, "-%03u", number);
    std::string name = prefix + index;
    if (r.hasDate && r.hasTime) {
        std::string when = hvdv_scan::RecordedText(r);
        for (char& c : when)
            if (c == ':') c = '-';
        name += "-" + when;
    }
    return name + ".dv";
}


struct Piece {
    std::string path;
    FILE* file = nullptr;
    uint64_t first = 0, frames = 0, bytes = 0;
    std::string recorded, timecode;
};

// Closes the piece and says what it holds; false when the close failed.
bool FinishPiece(Piece* p, std::string* error) {
    if (!p->file) return true;
    const bool ok = std::fclose(p->file) == 0;
    p->file = nullptr;
    if (!ok) {
        *error = "cannot write: " + std::string(std::strerror(errno));
        return false;
    }
    std::printf("%s: frames %" PRIu64 "-%" PRIu64 " (%" PRIu64 " frames, %" PRIu64 " bytes)  %s  %s\n",
                p->path.c_str(), p->first, p->first + p->frames - 1, p->frames, p->bytes,
                p->recorded.empty() ? "no date" : p->recorded.c_str(),
                p->timecode.empty() ? "no timecode" : p->timecode.c_str());
    std::fflush(stdout);
    return true;
}

int RunSplit(int argc, char** argv) {
    auto usage = [](const std::string& message) {
        hvdv_cli::PrintError(kCommand, message + " (see hvdv split --help)");
        return 2;
    };
    std::string input, prefix;
    bool force = false;
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
        } else if (arg == "-o") {
            if (!args.Value(&prefix)) return usage("-o needs a prefix");
        } else if (arg == "--force") {
            force = true;
        } else {
            return usage("unknown option " + arg);
        }
    }
    if (input.empty()) return usage("no input given");
    if (prefix.empty()) return usage("no output prefix given (-o PREFIX)");

    // The recording rule needs no picture: metadata and audio only.
    hvdv_scan::FrameReader reader(false);
    std::string error;
    const std::unique_ptr<hvdv_input::FrameSource> source = hvdv_scan::OpenReading(input, reader, &error);
    if (!source) {
        hvdv_cli::PrintError(kCommand, input + ": " + error);
        return 1;
    }
    if (!source->Facts().notice.empty()) hvdv_cli::PrintError(kCommand, input + ": warning: " + source->Facts().notice);

    hvdv_scan::RecordingTracker tracker;
    hvdv_input::SourceFrame frame;
    hvdv_scan::FrameRecord r;
    Piece piece;
    while (source->Next(&frame)) {
        reader.Read(frame.bytes.data(), frame.bytes.size(), frame.index, frame.offset, &r);
        const hvdv_scan::FrameVerdict v = tracker.Add(r);
        if (v.newRecording) {
            if (!FinishPiece(&piece, &error)) {
                hvdv_cli::PrintError(kCommand, piece.path + ": " + error);
                return 1;
            }
            piece = Piece();
            piece.path = PieceName(prefix, v.recording, r);
            piece.first = r.index;
            piece.recorded = hvdv_scan::RecordedText(r);
            piece.timecode = hvdv_scan::TimecodeText(r);
            piece.file = hvdv_input::CreateOutputFile(piece.path, force, &error);
            if (!piece.file) {
                hvdv_cli::PrintError(kCommand, piece.path + ": recording " + std::to_string(v.recording) +
                                                   " from frame " + std::to_string(r.index) + ": " + error);
                return 1;
            }
        }
        if (std::fwrite(frame.bytes.data(), 1, frame.bytes.size(), piece.file) != frame.bytes.size()) {
            hvdv_cli::PrintError(kCommand, piece.path + ": frame " + std::to_string(r.index) +
                                               ": cannot write: " + std::strerror(errno));
            std::fclose(piece.file);
            return 1;
        }
        ++piece.frames;
        piece.bytes += frame.bytes.size();
    }
    if (!FinishPiece(&piece, &error)) {
        hvdv_cli::PrintError(kCommand, piece.path + ": " + error);
        return 1;
    }
    if (!source->Error().empty()) {
        hvdv_cli::PrintError(kCommand, input + ": frame " + std::to_string(tracker.frames) + ": " + source->Error());
        return 1;
    }
    if (tracker.frames == 0) {
        hvdv_cli::PrintError(kCommand, input + ": no DV frame");
        return 1;
    }
    std::fprintf(stderr, "hvdv split: %s: %" PRIu64 " frames in %" PRIu64 " recordings\n", input.c_str(),
                 tracker.frames, tracker.recordings);
    return 0;
}

const hvdv_cli::RegisterCommand kRegister{kCommand, "one raw DV file per recording, frames copied byte for byte",
                                          RunSplit};

}  // namespace
