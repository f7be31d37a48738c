// hvdv decode: decodes the frames of a DV stream into a YUV4MPEG2 stream at
// the coded chroma sampling, a PNG picture or raw packed pixels, its audio
// into a WAV file, or prints MD5 checksums of the pictures.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli.h"
#include "decode_pipeline.h"
#include "decode_setup.h"
#include "frame_work.h"
#include "hvdv.h"
#include "png_out.h"
#include "source.h"
#include "wav.h"
#include "y4m.h"

namespace {

using hvdv_cli::FrameWork;

const char kCommand[] = "decode";

enum class Output { kNone, kY4m, kPng, kRaw };

struct Options {
    std::string input;
    std::string output;
    std::string audio;
    Output kind = Output::kNone;
    std::string fourccName;
    bool half = false;
    bool codedWidth = false;
    bool chroma422 = false;
    bool square = false;
    bool conceal = false;
    bool strict = false;
    unsigned threads = 0;  // 0: one a processor
    bool md5 = false;
    bool noSimd = false;
    uint64_t first = 0, last = UINT64_MAX;
    bool rangeGiven = false;
    uint64_t rf64Above = hvdv_cli::WavWriter::kRiffLimit;  // lowered by tests only
};

void PrintHelp() {
    std::printf(
        "usage: hvdv decode IN.dv -o OUT [options]\n"
        "       hvdv decode IN.dv --audio OUT.wav [-o OUT] [options]\n"
        "       hvdv decode IN.dv --md5 [options]\n"
        "\n"
        "Decodes the frames of a DV stream.  The extension of OUT chooses what is written:\n"
        "\n"
        "  .y4m         YUV4MPEG2 at the coded chroma sampling: C411 (4:1:1), C420paldv\n"
        "               (625/50 4:2:0, blue and red on alternate lines), C422 (50 Mb/s and\n"
        "               DVCPRO HD at its coded width), with frame rate, field order and\n"
        "               pixel aspect from the first frame\n"
        "  .png         one frame (--frame N, default 0) as 8-bit RGB\n"
        "  .yuv, .raw   the packed pixels of --fourcc (default UYVY), frame after frame\n"
        "\n"
        "options:\n"
        "  -o OUT          picture output\n"
        "  --audio OUT.wav every audio channel as 16-bit PCM (WAVE_FORMAT_EXTENSIBLE with\n"
        "                  no speaker positions above two channels, RF64 beyond 4 GB);\n"
        "                  unlocked audio is written sample for sample as stored\n"
        "  --frames A-B    decode frames A to B (inclusive, from 0); \"A-\" to the end\n"
        "  --frame N       decode frame N only\n"
        "  --fourcc NAME   packed pixels for .yuv/.raw and --md5: %s\n"
        "  --chroma 422    .y4m as planar 4:2:2 from the packed decode (HD at display width)\n"
        "  --square        .png with square pixels: rows resampled to the display aspect\n"
        "                  (linear interpolation between the two nearest samples)\n"
        "  --half          half size: half the width and half the rows\n"
        "  --coded-width   packed high definition at the coded width (960, 1280, 1440)\n"
        "                  instead of the display width (1280 or 1920)\n"
        "  --conceal       damaged macroblocks keep the previous picture (planar output:\n"
        "                  .y4m, or --md5 without --fourcc)\n"
        "  --threads N     decode N frames at once (default: one a processor); 1 decodes\n"
        "                  on the calling thread only\n"
        "  --md5           print the MD5 of each picture (\"frame N: <hex>\"): the planes\n"
        "                  as a .y4m frame holds them, or the packed pixels of --fourcc,\n"
        "                  .yuv/.raw and .png\n"
        "  --strict        exit status 3 when any frame had damage: damaged macroblocks,\n"
        "                  blocks the recorder marked as concealed (STA), audio error\n"
        "                  samples, or a frame that failed\n"
        "  --no-simd       decode with the plain C++ kernels only\n"
        "\n"
        "On a terminal a progress line is kept on stderr; at the end a summary gives\n"
        "the frames decoded, those with damaged macroblocks and those that failed, and\n"
        "the audio written.  A frame that fails is written grey (planar) or as zero\n"
        "bytes (packed), or as the previous picture with --conceal, so the output keeps\n"
        "its frame count.  An audio mode change (rate or channels) ends the WAV file\n"
        "before the frame that changes, with an error.\n"
        "\n"
        "exit status: 0 done, 1 failed (input unreadable, output not written, every\n"
        "frame failed, audio mode changed), 2 bad argument, 3 done with damage under\n"
        "--strict\n",
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

bool ParseNumber(const std::string& text, uint64_t max, uint64_t* value) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    *value = std::stoull(text);
    return *value > 0 && *value <= max;
}

// -1 when the options are good, else the exit status (after a message).
int ParseOptions(int argc, char** argv, Options* o) {
    auto usage = [](const std::string& message) {
        hvdv_cli::PrintError(kCommand, message + " (see hvdv decode --help)");
        return 2;
    };
    bool frameGiven = false;
    std::vector<std::string> files;
    hvdv_cli::Arguments args(argc, argv);
    std::string arg, v;
    bool option;
    while (args.Next(&arg, &option)) {
        uint64_t number = 0;
        if (!option) {
            files.push_back(arg);
        } else if (arg == "--help" || arg == "-h") {
            PrintHelp();
            return 0;
        } else if (arg == "-o") {
            if (!args.Value(&o->output)) return usage("-o needs a file name");
        } else if (arg == "--audio") {
            if (!args.Value(&o->audio)) return usage("--audio needs a file name");
            if (!EndsWith(o->audio, ".wav")) return usage("--audio writes .wav files");
        } else if (arg == "--frames" || arg == "--frame") {
            if (!args.Value(&v)) return usage(arg + " needs a value");
            const bool single = arg == "--frame";
            if (o->rangeGiven) return usage("give --frame or --frames once");
            if (!hvdv_cli::ParseFrameRange(v, &o->first, &o->last) || (single && o->first != o->last))
                return usage("bad " + arg + " value \"" + v + "\"" + (single ? "" : " (A-B, A- or N)"));
            o->rangeGiven = true;
            frameGiven = single;
        } else if (arg == "--fourcc") {
            if (!args.Value(&o->fourccName)) return usage("--fourcc needs a name");
            uint32_t fourcc;
            if (!hvdv_cli::FourccFromName(o->fourccName, &fourcc))
                return usage("unknown pixel format \"" + o->fourccName + "\" (one of " + hvdv_cli::FourccNames() +
                             ")");
        } else if (arg == "--chroma") {
            if (!args.Value(&v) || v != "422") return usage("--chroma takes 422");
            o->chroma422 = true;
        } else if (arg == "--threads") {
            if (!args.Value(&v) || !ParseNumber(v, 64, &number)) return usage("--threads needs a number from 1 to 64");
            o->threads = unsigned(number);
        } else if (arg == "--rf64-above") {  // for tests: RF64 without writing 4 GB
            if (!args.Value(&v) || !ParseNumber(v, UINT64_MAX, &number)) return usage("--rf64-above needs a byte count");
            o->rf64Above = number;
        } else if (arg == "--half") {
            o->half = true;
        } else if (arg == "--coded-width") {
            o->codedWidth = true;
        } else if (arg == "--square") {
            o->square = true;
        } else if (arg == "--conceal") {
            o->conceal = true;
        } else if (arg == "--strict") {
            o->strict = true;
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
        if (!o->md5 && o->audio.empty()) return usage("no output given: -o OUT, --audio OUT.wav or --md5");
    } else if (EndsWith(o->output, ".y4m")) {
        o->kind = Output::kY4m;
    } else if (EndsWith(o->output, ".png")) {
        o->kind = Output::kPng;
    } else if (EndsWith(o->output, ".yuv") || EndsWith(o->output, ".raw")) {
        o->kind = Output::kRaw;
    } else {
        return usage("cannot tell the output format of \"" + o->output + "\": use .y4m, .png, .yuv or .raw");
    }
    if (!o->fourccName.empty() && (o->kind == Output::kY4m || o->kind == Output::kPng))
        return usage("--fourcc applies to .yuv/.raw output and --md5 only");
    if (o->chroma422 && o->kind != Output::kY4m) return usage("--chroma applies to .y4m output");
    if (o->square && o->kind != Output::kPng) return usage("--square applies to .png output");
    if (o->square && o->codedWidth) return usage("--square and --coded-width exclude each other");
    if (o->kind == Output::kRaw && o->fourccName.empty()) o->fourccName = "UYVY";
    if (o->kind == Output::kY4m && o->chroma422) o->fourccName = "UYVY";
    if (o->kind == Output::kPng) o->fourccName = "BGR3";
    const bool planar = o->fourccName.empty();
    if (o->conceal && !planar)
        return usage("--conceal works on planes: .y4m at the coded sampling, or --md5 without --fourcc");
    if (o->codedWidth && planar) return usage("--coded-width applies to packed pictures (planes are coded size)");
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

// The progress line on a terminal: frames, speed, time left when the total
// is known, damaged frames; redrawn at most four times a second.
class Progress {
public:
    explicit Progress(int64_t total) : total_(total) {}
    void Frame(uint64_t done, uint64_t damaged) {
        if (!line_.Due()) return;
        const double seconds = line_.Seconds();
        const double fps = seconds > 0 ? double(done) / seconds : 0;
        char eta[32] = "";
        if (total_ > 0 && fps > 0) {
            const uint64_t left = uint64_t(double(uint64_t(total_) - std::min(done, uint64_t(total_))) / fps + 0.5);
            std::snprintf(eta, sizeof eta, ", %" PRIu64 ":%02u left", left / 60, unsigned(left % 60));
        }
        const std::string of = total_ > 0 ? " of " + std::to_string(total_) : "";
        char text[160];
        std::snprintf(text, sizeof text, "hvdv decode: frame %" PRIu64 "%s, %.1f frames/s%s, %" PRIu64 " damaged", done,
                      of.c_str(), fps, eta, damaged);
        line_.Show(text);
    }
    // Clears the line before other output.
    void Clear() { line_.Clear(); }

private:
    int64_t total_;
    hvdv_cli::ProgressLine line_;
};

std::string AudioMode(uint32_t rate, uint32_t channels) {
    return std::to_string(rate) + " Hz, " + std::to_string(channels) + " channel" + (channels == 1 ? "" : "s");
}

// Everything done with a decoded frame, in input order.
struct Writer {
    Writer(const Options& options, const hvdv_cli::DecodeSettings& settings, Progress& shown)
        : o(options), s(settings), progress(shown) {}
    const Options& o;
    const hvdv_cli::DecodeSettings& s;
    Progress& progress;
    OutputFile* out = nullptr;
    hvdv_cli::Concealer* concealer = nullptr;
    std::vector<uint8_t> planes;  // --chroma 422
    std::vector<uint8_t> png;     // the picture of a .png
    hvdv_cli::WavWriter wav;
    bool wavOpen = false, audioStopped = false, audioError = false;
    uint64_t frames = 0, damaged = 0, failed = 0, concealed = 0;
    uint64_t audioFrames = 0, noAudio = 0, unlocked = 0, errorSamples = 0;
    uint32_t fewestSamples = UINT32_MAX, mostSamples = 0;

    void Error(const std::string& message) {
        progress.Clear();
        hvdv_cli::PrintError(kCommand, o.input + ": " + message);
    }

    bool Audio(const FrameWork& w) {
        const std::string frame = "frame " + std::to_string(w.input.index);
        if (w.audio == HVDV_ERROR_NO_AUDIO) {
            ++noAudio;
            return true;
        }
        if (w.audio != HVDV_OK) {
            Error(frame + ": audio: " + hvdv_strerror(w.audio));
            audioError = true;
            return true;
        }
        const hvdv_audio_info& a = w.audioInfo;
        std::string reason;
        if (!wavOpen) {
            if (!wav.Open(o.audio, a.sample_rate, a.channels, &reason, o.rf64Above)) {
                progress.Clear();
                hvdv_cli::PrintError(kCommand, "cannot write " + o.audio + ": " + reason);
                return false;
            }
            wavOpen = true;
        } else if (a.sample_rate != wav.Rate() || a.channels != wav.Channels()) {
            Error(frame + ": audio changes from " + AudioMode(wav.Rate(), wav.Channels()) + " to " +
                  AudioMode(a.sample_rate, a.channels) + "; " + o.audio + " ends before this frame");
            audioStopped = true;
            return true;
        }
        if (!wav.Write(w.pcm.data(), a.samples, &reason)) {
            progress.Clear();
            hvdv_cli::PrintError(kCommand, "cannot write " + o.audio + ": " + reason);
            return false;
        }
        ++audioFrames;
        if (!a.locked) ++unlocked;
        errorSamples += a.error_samples;
        fewestSamples = std::min(fewestSamples, a.samples);
        mostSamples = std::max(mostSamples, a.samples);
        return true;
    }

    bool Put(FrameWork& w) {
        ++frames;
        if (!o.audio.empty() && !audioStopped && !Audio(w)) return false;
        if (s.video) {
            if (concealer) concealer->Apply(s, &w);
            const std::string frame = "frame " + std::to_string(w.input.index);
            if (w.video == hvdv_cli::kKindChanged) {
                Error(frame + ": another kind of DV than the first frame; not decoded");
            } else if (w.video != HVDV_OK) {
                Error(frame + ": not decoded: " + hvdv_strerror(w.video));
            }
            if (w.video != HVDV_OK) ++failed;
            if (w.damagedMacroblocks) ++damaged;
            if (w.concealedBlocks) ++concealed;
            if (o.md5) {
                progress.Clear();
                std::printf("frame %" PRIu64 ": %s\n", w.input.index, w.md5.c_str());
            }
            if (o.kind == Output::kRaw && !out->Write(w.picture.data(), w.picture.size())) return false;
            if (o.kind == Output::kPng) png.swap(w.picture);
            if (o.kind == Output::kY4m) {
                const uint8_t* payload = w.picture.data();
                size_t bytes = w.picture.size();
                if (s.format != HVDV_FORMAT_PLANAR) {
                    const hvdv_cli::PictureGeometry& g = s.packed;
                    const size_t luma = size_t(g.width) * g.height;
                    planes.resize(2 * luma);
                    uint8_t* y = planes.data();
                    hvdv_cli::UyvyToPlanar422(payload, g.pitch, g.width, g.height, y, y + luma, y + luma + luma / 2);
                    payload = planes.data();
                    bytes = planes.size();
                }
                if (!out->Write(hvdv_cli::kY4mFrameHeader, sizeof hvdv_cli::kY4mFrameHeader - 1) ||
                    !out->Write(payload, bytes))
                    return false;
            }
        }
        progress.Frame(frames, damaged);
        return true;
    }
};

bool WritePng(const Options& o, const hvdv_cli::PictureGeometry& g, const std::vector<uint8_t>& bgr) {
    std::string reason;
    bool written;
    if (o.square && g.pixelAspectX != g.pixelAspectY) {
        const uint32_t width = uint32_t((uint64_t(g.width) * g.pixelAspectX * 2 + g.pixelAspectY) / (2 * g.pixelAspectY));
        std::vector<uint8_t> square(size_t(width) * 3 * g.height);
        hvdv_cli::ResampleRows(bgr.data(), g.pitch, g.width, g.height, 3, width, square.data());
        written = hvdv_cli::WritePngFromBgr(o.output, square.data(), int32_t(width * 3), width, g.height, 1, 1, &reason);
    } else {
        written = hvdv_cli::WritePngFromBgr(o.output, bgr.data(), g.pitch, g.width, g.height, g.pixelAspectX,
                                            g.pixelAspectY, &reason);
    }
    if (!written) hvdv_cli::PrintError(kCommand, "cannot write " + o.output + ": " + reason);
    return written;
}

int RunDecode(int argc, char** argv) {
    Options o;
    const int parsed = ParseOptions(argc, argv, &o);
    if (parsed >= 0) return parsed;

    std::string reason;
    const std::unique_ptr<hvdv_input::FrameSource> opened = hvdv_input::OpenFrameSource(o.input, &reason);
    if (!opened) {
        hvdv_cli::PrintError(kCommand, o.input + ": " + reason);
        return 1;
    }
    if (!opened->Facts().notice.empty()) hvdv_cli::PrintError(kCommand, o.input + ": warning: " + opened->Facts().notice);
    hvdv_input::FrameSource& source = *opened;
    // A range past the end is refused before anything is written.  A raw
    // file's count is its size over its first frame's, which holds while the
    // kind does not change: its frames are counted before a range is refused.
    int64_t total = source.Facts().frames;
    auto pastEnd = [&o](int64_t frames) {
        return frames >= 0 && (o.first >= uint64_t(frames) || (o.last != UINT64_MAX && o.last >= uint64_t(frames)));
    };
    if (pastEnd(total) && source.Facts().framesEstimated) {
        std::string ignored;
        if (const std::unique_ptr<hvdv_input::FrameSource> again = hvdv_input::OpenFrameSource(o.input, &ignored)) {
            hvdv_input::SourceFrame frame;
            int64_t counted = 0;
            while (again->Next(&frame)) ++counted;
            if (again->Error().empty()) total = counted;
        }
    }
    if (pastEnd(total)) {
        const uint64_t missing = o.first >= uint64_t(total) ? o.first : o.last;
        hvdv_cli::PrintError(kCommand, o.input + ": no frame " + std::to_string(missing) + " (the file has " +
                                           std::to_string(total) + ")");
        return 1;
    }
    // The stream as its first frame of the range describes it.
    hvdv_input::SourceFrame first;
    for (;;) {
        if (!source.Next(&first)) {
            const std::string error = source.Error();
            hvdv_cli::PrintError(kCommand, o.input + ": " +
                                               (error.empty() ? "no frame " + std::to_string(o.first) : error));
            return 1;
        }
        if (first.index == o.first) break;
    }
    hvdv_frame_info info{};
    info.size = sizeof info;
    int r = hvdv_probe_frame(first.bytes.data(), first.bytes.size(), &info);
    if (r != HVDV_OK) {
        hvdv_cli::PrintError(kCommand, o.input + ": frame " + std::to_string(first.index) + ": " + hvdv_strerror(r));
        return 1;
    }
    hvdv_metadata meta{};
    meta.size = sizeof meta;
    const hvdv_metadata* metaRead =
        hvdv_read_metadata(first.bytes.data(), first.bytes.size(), &meta) == HVDV_OK ? &meta : nullptr;

    hvdv_cli::DecodeSettings s;
    s.kind = info.kind;
    s.video = o.md5 || o.kind != Output::kNone;
    s.audio = !o.audio.empty();
    s.md5 = o.md5;
    if (!o.fourccName.empty()) {
        hvdv_cli::FourccFromName(o.fourccName, &s.format);
        hvdv_cli::ChooseGeometry(info, metaRead, o.half, o.codedWidth, s.format, &s.packed, &reason);
    } else {
        s.format = HVDV_FORMAT_PLANAR;
        s.flags = o.half ? HVDV_DECODE_HALF : 0;
        s.planes = hvdv_cli::ChoosePlanes(info, metaRead, o.half);
    }

    OutputFile out;
    if (o.kind == Output::kY4m || o.kind == Output::kRaw) {
        if (!out.Open(o.output)) return 1;
        if (o.kind == Output::kY4m) {
            const hvdv_cli::PlaneLayout& p = s.planes;
            const hvdv_cli::PictureGeometry& g = s.packed;
            const std::string header =
                s.format == HVDV_FORMAT_PLANAR
                    ? hvdv_cli::Y4mStreamHeader(p.width[0], p.height[0], info.rate_num, info.rate_den, p.interlace,
                                                p.pixelAspectX, p.pixelAspectY, p.y4mChroma)
                    : hvdv_cli::Y4mStreamHeader(g.width, g.height, info.rate_num, info.rate_den, g.interlace,
                                                g.pixelAspectX, g.pixelAspectY, "422");
            if (!out.Write(header.data(), header.size())) return 1;
        }
    }

    const uint32_t cpuMask = o.noSimd ? 1 : 0;
    hvdv_cli::Concealer concealer;
    if (o.conceal && !concealer.Init(cpuMask)) {
        hvdv_cli::PrintError(kCommand, "cannot make a decoder");
        return 1;
    }
    // Frames of the range, when the input says how many it has.
    uint64_t count = 0;
    if (total >= 0) count = std::min<uint64_t>(o.last, uint64_t(total) - 1) - o.first + 1;
    Progress progress(total >= 0 ? int64_t(count) : -1);
    Writer writer(o, s, progress);
    writer.out = &out;
    writer.concealer = o.conceal ? &concealer : nullptr;

    unsigned threads = o.threads;
    if (!threads) threads = std::max(1u, std::min(16u, std::thread::hardware_concurrency()));
    const auto start = std::chrono::steady_clock::now();
    bool ok = true;
    {
        hvdv_cli::DecodePipeline pipeline(s, [&](FrameWork& w) { return writer.Put(w); });
        if (!pipeline.Start(threads, cpuMask, &reason)) {
            hvdv_cli::PrintError(kCommand, "cannot make a decoder: " + reason);
            return 1;
        }
        FrameWork* w = pipeline.Acquire();
        if (w) {
            std::swap(w->input, first);
            pipeline.Submit();
        }
        for (uint64_t n = o.first + 1; n <= o.last && ok; ++n) {
            w = pipeline.Acquire();
            if (!w) break;
            if (!source.Next(&w->input)) {
                if (!source.Error().empty()) {
                    writer.Error("frame " + std::to_string(n) + ": cannot read: " + source.Error());
                    ok = false;
                }
                break;
            }
            pipeline.Submit();
        }
        ok = pipeline.Finish() && ok && w;
    }
    progress.Clear();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    if (ok && o.kind == Output::kPng) ok = WritePng(o, s.packed, writer.png);
    if (ok && (o.kind == Output::kY4m || o.kind == Output::kRaw)) ok = out.Close();
    if (writer.wavOpen && !writer.wav.Close(&reason)) {
        hvdv_cli::PrintError(kCommand, "cannot write " + o.audio + ": " + reason);
        ok = false;
    }

    const uint64_t frames = writer.frames;
    if (s.video) {
        const std::string byRecorder =
            writer.concealed ? ", " + std::to_string(writer.concealed) + " with blocks the recorder concealed" : "";
        std::fprintf(stderr,
                     "hvdv decode: %" PRIu64 " frame%s: %" PRIu64 " decoded (%" PRIu64
                     " with damaged macroblocks%s), %" PRIu64 " failed; %.1f frames/s\n",
                     frames, frames == 1 ? "" : "s", frames - writer.failed, writer.damaged, byRecorder.c_str(),
                     writer.failed, seconds > 0 ? double(frames) / seconds : 0.0);
    }
    if (s.audio) {
        if (!writer.wavOpen) {
            hvdv_cli::PrintError(kCommand, o.input + ": no audio in frames " + std::to_string(o.first) + "-" +
                                               std::to_string(o.first + frames - 1) + "; " + o.audio + " not written");
            ok = false;
        } else {
            const uint32_t bytesPerSample = 2 * writer.wav.Channels();
            std::string perFrame = std::to_string(writer.fewestSamples);
            if (writer.mostSamples != writer.fewestSamples) perFrame += "-" + std::to_string(writer.mostSamples);
            std::string notes;
            if (writer.noAudio) notes += ", " + std::to_string(writer.noAudio) + " frames without audio";
            if (writer.errorSamples) notes += ", " + std::to_string(writer.errorSamples) + " error samples";
            const char* lock = !writer.unlocked                           ? "locked"
                               : writer.unlocked == writer.audioFrames ? "unlocked"
                                                                       : "partly unlocked";
            std::fprintf(stderr, "hvdv decode: audio: %s, %" PRIu64 " samples a channel from %" PRIu64
                                 " frames (%s a frame, %s)%s\n",
                         AudioMode(writer.wav.Rate(), writer.wav.Channels()).c_str(),
                         writer.wav.DataBytes() / bytesPerSample, writer.audioFrames, perFrame.c_str(), lock,
                         notes.c_str());
        }
    }
    if (!ok || writer.audioStopped || writer.audioError) return 1;
    if (s.video && writer.failed == frames) return 1;
    if (o.strict && (writer.damaged || writer.concealed || writer.failed || writer.errorSamples)) return 3;
    return 0;
}

const hvdv_cli::RegisterCommand kRegister{
    kCommand, "decode DV to YUV4MPEG2, PNG, raw pixels or WAV audio, or print picture MD5s", RunDecode};

}  // namespace
