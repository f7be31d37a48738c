// hvdv decode: decodes the frames of a raw DV file into a YUV4MPEG2 stream,
// a PNG picture or raw packed pixels, or prints their MD5 checksums.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "format/profile.h"
#include "cli.h"
#include "decode_setup.h"
#include "hv_dec_dv.h"
#include "md5.h"
#include "png_out.h"
#include "threads/cpu.h"
#include "y4m.h"

namespace {

using hvdv_cli::PictureGeometry;

const char kCommand[] = "decode";

// Enough for the largest frame (1080-line, 625/50 units: 4 x 144000).
constexpr size_t kLargestFrame = 576000;

enum class Output { kNone, kY4m, kPng, kRaw };

struct Options {
    std::string input;
    std::string output;
    Output kind = Output::kNone;
    std::string fourccName = "UYVY";
    bool fourccGiven = false;
    bool half = false;
    bool codedWidth = false;
    int threads = 0;  // 0: every processor
    bool md5 = false;
    bool noSimd = false;
    uint64_t first = 0, last = UINT64_MAX;
    bool rangeGiven = false;
};

void PrintHelp() {
    std::printf(
        "usage: hvdv decode IN.dv -o OUT [options]\n"
        "       hvdv decode IN.dv --md5 [options]\n"
        "\n"
        "Decodes the frames of a raw DV file (whole frames one after the other) with\n"
        "one decoder instance.  The extension of OUT chooses what is written:\n"
        "\n"
        "  .y4m         YUV4MPEG2, planar 4:2:2, every frame of the range\n"
        "  .png         one frame as 8-bit RGB (--frame N, default 0)\n"
        "  .yuv, .raw   the packed pixels of --fourcc, frame after frame\n"
        "\n"
        "options:\n"
        "  -o OUT          output file\n"
        "  --frames A-B    decode frames A to B (inclusive, from 0); \"A-\" to the end\n"
        "  --frame N       decode frame N only\n"
        "  --fourcc NAME   pixel format of .yuv/.raw output and of --md5 (default UYVY):\n"
        "                  %s\n"
        "  --half          half size: half the width and half the rows\n"
        "  --coded-width   high definition at the coded width (960, 1280 or 1440)\n"
        "                  instead of the display width (1280 or 1920)\n"
        "  --threads N     1: decode on one thread; any other N: on all processors\n"
        "  --md5           print the MD5 of each decoded picture (\"frame N: <hex>\");\n"
        "                  -o is then optional\n"
        "  --no-simd       decode with the plain C++ kernels only\n"
        "\n"
        "A summary goes to stderr at the end: frames decoded, frames with damaged\n"
        "macroblocks, frames that failed, decoding speed.  A frame that fails is\n"
        "still written (as the decoder left the picture), so the output keeps its\n"
        "frame count.  The exit status is 1 when the input cannot be decoded, the\n"
        "output cannot be written or every frame failed, 2 for a bad argument.\n",
        hvdv_cli::FourccNames());
}

bool EndsWith(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        const char c = text[text.size() - suffix.size() + i];
        if ((c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c) != suffix[i]) return false;
    }
    return true;
}

bool ParsePositive(const std::string& text, int* value) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    *value = std::stoi(text);
    return *value > 0;
}

// -1 when the options are good, else the exit status (after a message).
int ParseOptions(int argc, char** argv, Options* o) {
    auto usage = [](const std::string& message) {
        hvdv_cli::PrintError(kCommand, message + " (see hvdv decode --help)");
        return 2;
    };
    bool frameGiven = false;
    std::vector<std::string> files;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        // Options with a value take it from the next argument.
        auto value = [&](std::string* out) {
            if (i + 1 >= argc) return false;
            *out = argv[++i];
            return true;
        };
        std::string v;
        if (!options || arg.empty() || arg[0] != '-' || arg == "-") {
            files.push_back(arg);
        } else if (arg == "--") {
            options = false;
        } else if (arg == "--help" || arg == "-h") {
            PrintHelp();
            return 0;
        } else if (arg == "-o") {
            if (!value(&o->output)) return usage("-o needs a file name");
        } else if (arg == "--frames" || arg == "--frame") {
            if (!value(&v)) return usage(arg + " needs a value");
            const bool single = arg == "--frame";
            if (o->rangeGiven) return usage("give --frame or --frames once");
            if (!hvdv_cli::ParseFrameRange(v, &o->first, &o->last) || (single && o->first != o->last))
                return usage("bad " + arg + " value \"" + v + "\"" + (single ? "" : " (A-B, A- or N)"));
            o->rangeGiven = true;
            frameGiven = single;
        } else if (arg == "--fourcc") {
            if (!value(&o->fourccName)) return usage("--fourcc needs a name");
            uint32_t fourcc;
            if (!hvdv_cli::FourccFromName(o->fourccName, &fourcc))
                return usage("unknown pixel format \"" + o->fourccName + "\" (one of " + hvdv_cli::FourccNames() +
                             ")");
            o->fourccGiven = true;
        } else if (arg == "--threads") {
            if (!value(&v) || !ParsePositive(v, &o->threads)) return usage("--threads needs a number from 1");
        } else if (arg == "--half") {
            o->half = true;
        } else if (arg == "--coded-width") {
            o->codedWidth = true;
        } else if (arg == "--md5") {
            o->md5 = true;
        } else if (arg == "--no-simd") {
            o->noSimd = true;
        } else {
            return usage("unknown option " + arg);
        }
    }
    if (files.size() != 1) return usage(files.empty() ? "no input file given" : "give one input file");
    o->input = files[0];

    if (o->output.empty()) {
        if (!o->md5) return usage("no output given: -o OUT or --md5");
    } else if (EndsWith(o->output, ".y4m")) {
        o->kind = Output::kY4m;
    } else if (EndsWith(o->output, ".png")) {
        o->kind = Output::kPng;
    } else if (EndsWith(o->output, ".yuv") || EndsWith(o->output, ".raw")) {
        o->kind = Output::kRaw;
    } else {
        return usage("cannot tell the output format of \"" + o->output + "\": use .y4m, .png, .yuv or .raw");
    }
    // YUV4MPEG2 is built from "UYVY" pictures, PNG from "BGR3" ones.
    if (o->kind == Output::kY4m || o->kind == Output::kPng) {
        if (o->fourccGiven) return usage("--fourcc applies to .yuv/.raw output and --md5 only");
        o->fourccName = o->kind == Output::kY4m ? "UYVY" : "BGR3";
    }
    if (o->kind == Output::kPng) {
        if (o->rangeGiven && !frameGiven && o->first != o->last) return usage("a PNG holds one frame: use --frame N");
        o->last = o->first;
        if (!hvdv_cli::PngAvailable()) {
            hvdv_cli::PrintError(kCommand, "this hvdv was built without libpng: no PNG output");
            return 1;
        }
    }
    return -1;
}

// The stream as described by its first frame.
struct Stream {
    DVStreamInfoEx info{};
    std::string format;
    uint64_t frames = 0;
};

bool DescribeStream(hvdv_cli::InputFile& file, const std::string& path, Stream* s) {
    const std::vector<uint8_t> first = file.Read(0, kLargestFrame);
    if (first.size() != std::min<uint64_t>(file.Size(), kLargestFrame)) {
        hvdv_cli::PrintError(kCommand, path + ": cannot read: " + std::strerror(errno));
        return false;
    }
    if (first.empty()) {
        hvdv_cli::PrintError(kCommand, path + ": empty file");
        return false;
    }
    s->info.size = sizeof s->info;
    if (DVGetInfoEx(first.data(), int32_t(first.size()), &s->info, nullptr, nullptr) != HVDV_INFO_OK ||
        s->info.frameBytes <= 0) {
        hvdv_cli::PrintError(kCommand, path +
                                           ": no stream information in the first frame (not DV, or frames "
                                           "without header blocks)");
        return false;
    }
    const size_t classified = std::min(first.size(), size_t(s->info.frameBytes));
    s->format = hvdv_cli::FormatName(
        s->info.formatCode, hvdv::ClassifyFrame(first.data(), uint32_t(classified), uint32_t(s->info.height)));
    s->frames = file.Size() / uint64_t(s->info.frameBytes);
    if (s->frames == 0) {
        hvdv_cli::PrintError(kCommand, path + ": truncated: " + std::to_string(file.Size()) + " bytes, less than one " +
                                           std::to_string(s->info.frameBytes) + "-byte frame");
        return false;
    }
    if (const uint64_t rest = file.Size() % uint64_t(s->info.frameBytes))
        hvdv_cli::PrintError(kCommand, path + ": warning: last frame truncated (" + std::to_string(rest) + " of " +
                                           std::to_string(s->info.frameBytes) + " bytes), not decoded");
    return true;
}

// The open output file of .y4m and .yuv/.raw output.
class OutputFile {
public:
    ~OutputFile() {
        if (file_) std::fclose(file_);
    }
    bool Open(const std::string& path) {
        path_ = path;
        file_ = std::fopen(path.c_str(), "wb");
        return file_ || Fail();
    }
    bool Write(const void* data, size_t size) { return std::fwrite(data, 1, size, file_) == size || Fail(); }
    bool Close() {
        FILE* f = file_;
        file_ = nullptr;
        const bool written = !std::ferror(f);
        const bool closed = std::fclose(f) == 0;  // flushes the last buffer
        return (written && closed) || Fail();
    }

private:
    bool Fail() {
        hvdv_cli::PrintError(kCommand, "cannot write " + path_ + ": " + std::strerror(errno));
        return false;
    }
    std::string path_;
    FILE* file_ = nullptr;
};

// Writes one decoded picture to the output.
struct PictureSink {
    Output kind;
    const PictureGeometry& g;
    OutputFile* file;
    std::vector<uint8_t> planes;  // Y, U and V of a YUV4MPEG2 frame

    bool Put(const std::vector<uint8_t>& picture) {
        if (kind == Output::kRaw) return file->Write(picture.data(), picture.size());
        if (kind != Output::kY4m) return true;
        const size_t luma = size_t(g.width) * g.height;
        planes.resize(2 * luma);
        uint8_t* y = planes.data();
        hvdv_cli::UyvyToPlanar422(picture.data(), g.pitch, g.width, g.height, y, y + luma, y + luma + luma / 2);
        return file->Write(hvdv_cli::kY4mFrameHeader, sizeof hvdv_cli::kY4mFrameHeader - 1) &&
               file->Write(planes.data(), planes.size());
    }
};

class Progress {
public:
    Progress(uint64_t total) : total_(total), shown_(isatty(STDERR_FILENO) != 0) {}
    void Frame(uint64_t done) {
        if (!shown_) return;
        const auto now = std::chrono::steady_clock::now();
        if (done < total_ && now - last_ < std::chrono::milliseconds(200)) return;
        last_ = now;
        std::fprintf(stderr, "\rhvdv decode: frame %" PRIu64 " of %" PRIu64, done, total_);
        std::fflush(stderr);
    }
    void Done() {
        if (shown_) std::fprintf(stderr, "\r%60s\r", "");
    }

private:
    uint64_t total_;
    bool shown_;
    std::chrono::steady_clock::time_point last_{};
};

int RunDecode(int argc, char** argv) {
    Options o;
    const int parsed = ParseOptions(argc, argv, &o);
    if (parsed >= 0) return parsed;
    uint32_t fourcc = 0;
    hvdv_cli::FourccFromName(o.fourccName, &fourcc);

    hvdv_cli::InputFile in;
    std::string reason;
    if (!in.Open(o.input, &reason)) {
        hvdv_cli::PrintError(kCommand, o.input + ": cannot open: " + reason);
        return 1;
    }
    Stream stream;
    if (!DescribeStream(in, o.input, &stream)) return 1;
    PictureGeometry g;
    if (!hvdv_cli::ChooseGeometry(stream.info, o.half, o.codedWidth, fourcc, &g, &reason)) {
        hvdv_cli::PrintError(kCommand, o.input + ": " + stream.format + " " + reason);
        return 1;
    }
    if (o.first >= stream.frames) {
        hvdv_cli::PrintError(kCommand, o.input + ": no frame " + std::to_string(o.first) + " (the file has " +
                                           std::to_string(stream.frames) + ")");
        return 1;
    }
    if (o.last == UINT64_MAX) o.last = stream.frames - 1;
    if (o.last >= stream.frames) {
        hvdv_cli::PrintError(kCommand, o.input + ": no frame " + std::to_string(o.last) + " (the file has " +
                                           std::to_string(stream.frames) + ")");
        return 1;
    }

    OutputFile out;
    if (o.kind == Output::kY4m || o.kind == Output::kRaw) {
        if (!out.Open(o.output)) return 1;
        if (o.kind == Output::kY4m) {
            const std::string header =
                hvdv_cli::Y4mStreamHeader(g, stream.info.rateNumerator, stream.info.rateDenominator);
            if (!out.Write(header.data(), header.size())) return 1;
        }
    }

    // Before DVNewDec: an instance chooses its kernels when it is made.
    if (o.noSimd) hvdv::SetCpuMask(0);
    DVDecInstance* decoder = DVNewDec();
    if (!decoder) {
        hvdv_cli::PrintError(kCommand, "out of memory");
        return 1;
    }
    const uint32_t flags = o.threads == 1 ? HVDV_FLAG_SINGLE_THREAD : 0;
    const uint32_t frameBytes = uint32_t(stream.info.frameBytes);
    std::vector<uint8_t> picture(size_t(g.pitch) * g.height);
    PictureSink sink{o.kind, g, &out, {}};
    hvdv_cli::Md5 md5;
    Progress progress(o.last - o.first + 1);
    uint64_t decoded = 0, damaged = 0, failed = 0;
    std::chrono::steady_clock::duration decodeTime{};
    bool ok = true;
    for (uint64_t n = o.first; n <= o.last && ok; ++n) {
        const std::vector<uint8_t> frame = in.Read(n * frameBytes, frameBytes);
        if (frame.size() != frameBytes) {
            progress.Done();
            hvdv_cli::PrintError(kCommand, o.input + ": cannot read frame " + std::to_string(n));
            ok = false;
            break;
        }
        const auto start = std::chrono::steady_clock::now();
        const int32_t result = DVDecompressBuffer(decoder, frame.data(), frameBytes, picture.data(), g.pitch, g.width,
                                                  g.height, flags, fourcc, 0, 0);
        decodeTime += std::chrono::steady_clock::now() - start;
        ++decoded;
        if (result == HVDV_DECODE_DAMAGED) ++damaged;
        if (result != HVDV_DECODE_OK && result != HVDV_DECODE_DAMAGED) {
            ++failed;
            progress.Done();
            hvdv_cli::PrintError(kCommand, o.input + ": frame " + std::to_string(n) + ": decoding failed");
        }
        if (o.md5) {
            md5.Update(picture.data(), picture.size());
            std::printf("frame %" PRIu64 ": %s\n", n, md5.HexDigest().c_str());
        }
        ok = sink.Put(picture);
        progress.Frame(n - o.first + 1);
    }
    DVDoneDec(decoder);
    progress.Done();

    if (ok && o.kind == Output::kPng) {
        if (!hvdv_cli::WritePngFromBgr(o.output, picture.data(), g.pitch, g.width, g.height, g.pixelAspectX,
                                       g.pixelAspectY, &reason)) {
            hvdv_cli::PrintError(kCommand, "cannot write " + o.output + ": " + reason);
            ok = false;
        }
    }
    if (ok && (o.kind == Output::kY4m || o.kind == Output::kRaw)) ok = out.Close();

    const double seconds = std::chrono::duration<double>(decodeTime).count();
    const uint64_t frames = decoded;  // every frame handed to the decoder
    std::fprintf(stderr,
                 "hvdv decode: %" PRIu64 " frame%s: %" PRIu64 " decoded (%" PRIu64
                 " with damaged macroblocks), %" PRIu64 " failed; %.1f frames/s\n",
                 frames, frames == 1 ? "" : "s", frames - failed, damaged, failed, seconds > 0 ? double(frames) / seconds : 0.0);
    if (!ok) return 1;
    return failed == frames ? 1 : 0;
}

const hvdv_cli::RegisterCommand kRegister{kCommand, "decode a raw DV file to YUV4MPEG2, PNG or raw pixels, or MD5s",
                                          RunDecode};

}  // namespace
