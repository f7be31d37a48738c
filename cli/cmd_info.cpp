// hvdv info: what a raw DV file holds, read from its first frame.
#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "format/profile.h"
#include "cli.h"
#include "hv_dec_dv.h"

namespace {

using hvdv_cli::FormatName;
using hvdv_cli::JsonString;

const char kCommand[] = "info";

// Enough for the largest frame (1080-line, 625/50 units: 4 x 144000).
constexpr size_t kLargestFrame = 576000;

struct StreamReport {
    std::string file;
    std::string error;  // empty when the file was described
    std::vector<std::string> warnings;
    std::string format;
    int32_t width = 0, height = 0;
    int32_t aspectX = 0, aspectY = 0;
    int32_t rateNumerator = 0, rateDenominator = 1;
    int32_t frameBytes = 0;
    bool audioKnown = false;
    int32_t sampleRate = 0, channels = 0;
    uint64_t frames = 0;

    double FrameRate() const { return double(rateNumerator) / rateDenominator; }
    double Duration() const { return rateNumerator ? double(frames) * rateDenominator / rateNumerator : 0.0; }
};

// Describes the first frame with DVGetInfoEx (frames that begin with their
// header block).
bool DescribeWithInfo(const std::vector<uint8_t>& first, StreamReport* r) {
    DVStreamInfoEx info{};
    info.size = sizeof info;
    DVAudioInfoEx audio{};
    audio.size = sizeof audio;
    int32_t audioValid = 0;
    if (DVGetInfoEx(first.data(), int32_t(first.size()), &info, &audio, &audioValid) != HVDV_INFO_OK) return false;
    // DVGetInfoEx reads no chroma layout: the classification tells 4:2:0
    // from 4:1:1 on 625/50 frames.
    const size_t classified = std::min(first.size(), size_t(info.frameBytes));
    const uint32_t frameType = hvdv::ClassifyFrame(first.data(), uint32_t(classified), uint32_t(info.height));
    r->format = FormatName(info.formatCode, frameType);
    r->width = info.width;
    r->height = info.height;
    r->aspectX = info.aspectX;
    r->aspectY = info.aspectY;
    r->rateNumerator = info.rateNumerator;
    r->rateDenominator = info.rateDenominator;
    r->frameBytes = info.frameBytes;
    r->audioKnown = first.size() >= size_t(info.frameBytes);
    r->sampleRate = audioValid ? audio.sampleRate : 0;
    r->channels = audioValid ? audio.channels : 0;
    return true;
}

// Frames without header blocks, which DVGetInfoEx does not take: the
// classification of the first frame gives the kind, the system gives the
// rate; the audio is not read.
bool DescribeWithClassification(const std::vector<uint8_t>& first, StreamReport* r) {
    if (first.empty()) return false;
    // The VAUX source and source control packs must be where the layout
    // puts them (80 bytes earlier without the header block).
    const size_t base = first[0] == 0x3F ? 0 : 80;
    if (first.size() < base + 378 || first[base + 368] != 0x60 || first[base + 373] != 0x61) return false;
    const uint32_t type = hvdv::ClassifyFrame(first.data(), uint32_t(first.size()), 0);
    const bool is525 = (type & hvdv::kFrame525) != 0;
    const int32_t sequences = is525 ? 10 : 12;
    const int32_t sequenceBytes = (type & hvdv::kFrameHeaders) ? 12000 : 11920;
    const int32_t channels = (type & hvdv::kFrameHD1080) ? 4 : (type & (hvdv::kFrame422 | hvdv::kFrameHD720)) ? 2 : 1;
    r->frameBytes = channels * sequences * sequenceBytes;
    r->width = 720;
    r->height = is525 ? 480 : 576;
    r->rateNumerator = is525 ? 30000 : 25;
    r->rateDenominator = is525 ? 1001 : 1;
    if (type & hvdv::kFrameHD1080) {
        r->format = "DVCPRO HD 1080i";
        r->width = 1920;
        r->height = 1080;
    } else if (type & hvdv::kFrameHD720) {
        r->format = "DVCPRO HD 720p";
        r->width = 1280;
        r->height = 720;
        r->rateNumerator *= 2;
    } else {
        r->format = FormatName((type & hvdv::kFrame422) ? 3 : 1, type);
    }
    const bool wide = (type & (hvdv::kFrameWide | hvdv::kFrameHD720 | hvdv::kFrameHD1080)) != 0;
    r->aspectX = wide ? 16 : 4;
    r->aspectY = wide ? 9 : 3;
    r->audioKnown = false;
    return true;
}

StreamReport Describe(const std::string& path) {
    StreamReport r;
    r.file = path;
    hvdv_cli::InputFile file;
    std::string reason;
    if (!file.Open(path, &reason)) {
        r.error = "cannot open: " + reason;
        return r;
    }
    const std::vector<uint8_t> first = file.Read(0, kLargestFrame);
    if (first.size() != std::min<uint64_t>(file.Size(), kLargestFrame)) {
        r.error = "cannot read: " + std::string(std::strerror(errno));
        return r;
    }
    if (!DescribeWithInfo(first, &r) && !DescribeWithClassification(first, &r)) {
        r.error = first.empty() ? "empty file" : "not a DV stream (no DV header block or VAUX packs at its start)";
        return r;
    }
    r.frames = file.Size() / uint64_t(r.frameBytes);
    const uint64_t rest = file.Size() % uint64_t(r.frameBytes);
    if (r.frames == 0) {
        r.error = "truncated: " + std::to_string(file.Size()) + " bytes, less than one " +
                  std::to_string(r.frameBytes) + "-byte frame";
        return r;
    }
    if (rest)
        r.warnings.push_back("last frame truncated (" + std::to_string(rest) + " of " +
                             std::to_string(r.frameBytes) + " bytes); counting " + std::to_string(r.frames) +
                             " whole frames");
    return r;
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

void PrintText(const StreamReport& r) {
    std::printf("%s\n", r.file.c_str());
    std::printf("  format:          %s\n", r.format.c_str());
    std::printf("  picture:         %d x %d\n", r.width, r.height);
    std::printf("  display aspect:  %d:%d\n", r.aspectX, r.aspectY);
    std::printf("  frame rate:      %d/%d (%s frames/s)\n", r.rateNumerator, r.rateDenominator,
                Fixed(r.FrameRate(), 3).c_str());
    std::printf("  frame size:      %d bytes\n", r.frameBytes);
    if (!r.audioKnown)
        std::printf("  audio:           not read (frames without header blocks)\n");
    else if (r.channels)
        std::printf("  audio:           %d Hz, %d channels\n", r.sampleRate, r.channels);
    else
        std::printf("  audio:           none\n");
    std::printf("  frames:          %" PRIu64 "\n", r.frames);
    std::printf("  duration:        %s s\n", Fixed(r.Duration(), 3).c_str());
}

std::string Json(const StreamReport& r) {
    std::string j = "  {\"file\": " + JsonString(r.file);
    if (!r.error.empty()) return j + ", \"error\": " + JsonString(r.error) + "}";
    j += ", \"format\": " + JsonString(r.format);
    j += ", \"width\": " + std::to_string(r.width) + ", \"height\": " + std::to_string(r.height);
    j += ", \"displayAspect\": " + JsonString(std::to_string(r.aspectX) + ":" + std::to_string(r.aspectY));
    j += ", \"frameRate\": {\"numerator\": " + std::to_string(r.rateNumerator) +
         ", \"denominator\": " + std::to_string(r.rateDenominator) + ", \"value\": " + Fixed(r.FrameRate(), 6) + "}";
    j += ", \"frameBytes\": " + std::to_string(r.frameBytes);
    if (!r.audioKnown)
        j += ", \"audio\": null";
    else
        j += ", \"audio\": {\"sampleRate\": " + std::to_string(r.sampleRate) +
             ", \"channels\": " + std::to_string(r.channels) + "}";
    j += ", \"frames\": " + std::to_string(r.frames);
    j += ", \"duration\": " + Fixed(r.Duration(), 6);
    j += ", \"warnings\": [";
    for (size_t i = 0; i < r.warnings.size(); ++i) j += (i ? ", " : "") + JsonString(r.warnings[i]);
    return j + "]}";
}

void PrintHelp() {
    std::printf(
        "usage: hvdv info [--json] FILE...\n"
        "\n"
        "Describes raw DV files (whole frames one after the other): format, picture\n"
        "size, display aspect, frame rate, frame size, audio, number of frames and\n"
        "duration, read from the first frame.\n"
        "\n"
        "  --json   one JSON object per file, in an array\n"
        "\n"
        "The exit status is 1 when a file cannot be described.\n");
}

int RunInfo(int argc, char** argv) {
    bool json = false;
    std::vector<std::string> files;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "--help" || arg == "-h")) {
            PrintHelp();
            return 0;
        } else if (options && arg == "--json") {
            json = true;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            hvdv_cli::PrintError(kCommand, "unknown option " + arg + " (see hvdv info --help)");
            return 2;
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        hvdv_cli::PrintError(kCommand, "no file given (usage: hvdv info [--json] FILE...)");
        return 2;
    }

    int status = 0;
    if (json) std::printf("[\n");
    for (size_t i = 0; i < files.size(); ++i) {
        const StreamReport r = Describe(files[i]);
        if (!r.error.empty()) {
            hvdv_cli::PrintError(kCommand, r.file + ": " + r.error);
            status = 1;
        }
        for (const std::string& w : r.warnings) hvdv_cli::PrintError(kCommand, r.file + ": warning: " + w);
        if (json) {
            std::printf("%s%s\n", Json(r).c_str(), i + 1 < files.size() ? "," : "");
        } else if (r.error.empty()) {
            if (i) std::printf("\n");
            PrintText(r);
        }
    }
    if (json) std::printf("]\n");
    return status;
}

const hvdv_cli::RegisterCommand kRegister{kCommand, "describe raw DV files (format, size, rate, audio, duration)",
                                          RunInfo};

}  // namespace
