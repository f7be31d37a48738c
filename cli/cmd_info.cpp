// hvdv info: what a DV file (raw, or in AVI, QuickTime / MP4 or MXF) or
// standard input holds, read from its first frame through the public hvdv.h
// calls; what the container says is set beside it where the two disagree.
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "cli.h"
#include "decode_setup.h"
#include "hvdv.h"
#include "md5.h"
#include "source.h"

namespace {

const char* FieldOrderText(char tag) {
    return tag == 'p' ? "progressive" : tag == 't' ? "top field first" : "bottom field first";
}

using hvdv_scan::JsonString;

const char kCommand[] = "info";

// Containers whose frame count is missing, or this small, are read through
// to count their frames (reading only packets: a few milliseconds a frame).
constexpr int64_t kCountAllBelow = 4000;
// Closed captions are looked for in the first frames only (two seconds).
constexpr uint64_t kCaptionFrames = 60;
// Raw DV files up to this size are read through to count their frames (a
// few seconds at most); larger ones are estimated from their size.
constexpr uint64_t kCountRawBelowBytes = uint64_t(512) << 20;

struct StreamReport {
    std::string file;
    std::string error;  // empty when the file was described
    std::vector<std::string> warnings;
    std::string format;
    uint32_t width = 0, height = 0;
    uint32_t aspectX = 0, aspectY = 0;
    uint32_t rateNumerator = 0, rateDenominator = 1;
    uint32_t frameBytes = 0;
    bool interlaced = false;
    std::string fieldOrder;
    bool audioKnown = false;  // false: the frame's audio could not be read
    uint32_t sampleRate = 0, channels = 0, bits = 0;
    bool locked = false;
    std::string timecode, recorded;  // empty: not in the frame
    // Closed captions in the first frames (at most kCaptionFrames).
    uint64_t captionFramesRead = 0, captionPacks = 0, captionData[2] = {};
    std::string truncated;  // how a frame 0 shorter than one DIF sequence was described
    hvdv_input::ContainerFacts container;
    uint64_t frames = 0;
    std::string framesFrom;  // "file size", "container", "counted"
    std::vector<std::string> disagreements;

    double FrameRate() const { return double(rateNumerator) / rateDenominator; }
    double Duration() const { return rateNumerator ? double(frames) * rateDenominator / rateNumerator : 0.0; }
};

std::string KindName(hvdv_kind kind) {
    switch (kind) {
        case HVDV_KIND_DV25_525_411: return "DV 25 Mb/s 525/60 4:1:1";
        case HVDV_KIND_DV25_625_420: return "DV 25 Mb/s 625/50 4:2:0";
        case HVDV_KIND_DV25_625_411: return "DV 25 Mb/s 625/50 4:1:1";
        case HVDV_KIND_DV50_525: return "DV 50 Mb/s 525/60 4:2:2";
        case HVDV_KIND_DV50_625: return "DV 50 Mb/s 625/50 4:2:2";
        case HVDV_KIND_HD_1080I60:
        case HVDV_KIND_HD_1080I50: return "DVCPRO HD 1080i";
        case HVDV_KIND_HD_720P60:
        case HVDV_KIND_HD_720P50: return "DVCPRO HD 720p";
        default: return "unknown DV format";
    }
}

// Two-digit fields joined by separators, e.g. 1, 2, 3, 4 with ":", ":", ";"
// gives "01:02:03;04".
std::string TwoDigits(std::initializer_list<uint32_t> values, const char* separators) {
    std::string text;
    size_t i = 0;
    for (uint32_t v : values) {
        if (i) text += separators[i - 1];
        text += char('0' + v / 10 % 10);
        text += char('0' + v % 10);
        ++i;
    }
    return text;
}

std::string Ratio(int64_t a, int64_t b) { return std::to_string(a) + (b ? "/" + std::to_string(b) : ""); }

// The first frame's facts, through the public calls only.
bool DescribeFrame(const std::vector<uint8_t>& bytes, StreamReport* r) {
    // A frame shorter than one DIF sequence (a file cut short) is described
    // from its first blocks, padded to a sequence; its audio is not decoded.
    std::vector<uint8_t> padded;
    const bool truncated = hvdv_scan::PadShortFrame(bytes.data(), bytes.size(), &padded);
    const std::vector<uint8_t>& frame = truncated ? padded : bytes;
    hvdv_frame_info info{};
    info.size = sizeof info;
    const int probed = hvdv_probe_frame(frame.data(), frame.size(), &info);
    if (probed != HVDV_OK) {
        r->error = std::string("frame 0: ") + hvdv_strerror(probed);
        return false;
    }
    r->format = KindName(info.kind);
    r->width = info.display_width;
    r->height = info.coded_height;
    // High definition is always 16:9; standard definition says so in its
    // VAUX packs.
    const bool wide = info.wide || info.kind >= HVDV_KIND_HD_1080I60;
    r->aspectX = wide ? 16 : 4;
    r->aspectY = wide ? 9 : 3;
    r->rateNumerator = info.rate_num;
    r->rateDenominator = info.rate_den ? info.rate_den : 1;
    r->frameBytes = info.frame_bytes;
    r->interlaced = info.interlaced != 0;
    r->fieldOrder = FieldOrderText(hvdv_scan::InterlaceTag(info, nullptr));
    if (truncated)
        r->truncated = std::to_string(bytes.size()) + " of " + std::to_string(info.frame_bytes) +
                       " bytes, less than one DIF sequence (described from its header, subcode and VAUX blocks)";
    if (bytes.size() < info.frame_bytes)
        r->warnings.push_back("frame 0 is cut short (" + std::to_string(bytes.size()) + " of " +
                              std::to_string(info.frame_bytes) + " bytes)");

    static int16_t pcm[HVDV_MAX_AUDIO_SAMPLES * HVDV_MAX_AUDIO_CHANNELS];
    hvdv_audio_info audio{};
    audio.size = sizeof audio;
    const int a = truncated ? HVDV_ERROR_TRUNCATED
                            : hvdv_decode_audio(nullptr, frame.data(), frame.size(), pcm, sizeof pcm / sizeof pcm[0],
                                                0, &audio);
    r->audioKnown = a == HVDV_OK || a == HVDV_ERROR_NO_AUDIO;
    if (a == HVDV_OK) {
        r->sampleRate = audio.sample_rate;
        r->channels = audio.channels;
        r->bits = audio.bits;
        r->locked = audio.locked != 0;
    }

    hvdv_metadata meta{};
    meta.size = sizeof meta;
    if (hvdv_read_metadata(frame.data(), frame.size(), &meta) == HVDV_OK) {
        // The field order the decoder's YUV4MPEG2 output and scan state.
        r->fieldOrder = FieldOrderText(hvdv_scan::InterlaceTag(info, &meta));
        // The audio mode of a truncated frame: its AAUX source pack, when
        // the frame still has it.
        if (truncated && (meta.present & HVDV_META_AUDIO_MODE)) {
            r->audioKnown = true;
            r->sampleRate = meta.audio_rate;
            // The first audio group only; the second group of the DIF
            // channel, in the missing sequences, records as many channels.
            r->channels = 2 * meta.audio_channels;
            r->bits = meta.audio_bits;
            r->locked = meta.audio_locked != 0;
        }
        if (meta.present & HVDV_META_TIMECODE)
            r->timecode = TwoDigits({meta.tc_hours, meta.tc_minutes, meta.tc_seconds, meta.tc_frames},
                                    meta.tc_drop_frame ? "::;" : ":::");
        if (meta.present & HVDV_META_REC_DATE) {
            r->recorded = std::to_string(meta.rec_year) + "-" + TwoDigits({meta.rec_month, meta.rec_day}, "-");
            if (meta.present & HVDV_META_REC_TIME)
                r->recorded += "T" + TwoDigits({meta.rec_hours, meta.rec_minutes, meta.rec_seconds}, "::");
        }
        // The VAUX source control pack: FF 1 shows both fields in turn, FS
        // names the one shown first; FF 0 shows one field twice.
        if ((meta.present & HVDV_META_FIELD_ORDER) && r->interlaced)
            r->fieldOrder += meta.first_field ? (meta.field_one_first ? " (VAUX: both fields, field 1 first)"
                                                                      : " (VAUX: both fields, field 2 first)")
                                              : (meta.field_one_first ? " (VAUX: field 1 shown twice)"
                                                                      : " (VAUX: field 2 shown twice)");
    }
    return true;
}

// The bytes of a whole frame of the kind `frame` is (a frame shorter than
// one DIF sequence read from its first blocks); 0 when not known.
uint32_t WholeFrameBytes(const std::vector<uint8_t>& frame) {
    std::vector<uint8_t> padded;
    const bool truncated = hvdv_scan::PadShortFrame(frame.data(), frame.size(), &padded);
    hvdv_frame_info info{};
    info.size = sizeof info;
    const std::vector<uint8_t>& bytes = truncated ? padded : frame;
    return hvdv_probe_frame(bytes.data(), bytes.size(), &info) == HVDV_OK ? info.frame_bytes : 0;
}

// What the container says against the DIF data, which is what is used.
void Compare(StreamReport* r) {
    const hvdv_input::ContainerFacts& c = r->container;
    const char* used = " (the DIF data is used)";
    if (c.rateNumerator > 0 && r->rateNumerator) {
        // 2997/100 and 30000/1001 are the same rate written two ways.
        const double container = double(c.rateNumerator) / c.rateDenominator;
        if (std::fabs(container - r->FrameRate()) > 0.0005 * r->FrameRate())
            r->disagreements.push_back("frame rate: container " + Ratio(c.rateNumerator, c.rateDenominator) +
                                       ", DIF data " + Ratio(r->rateNumerator, r->rateDenominator) + used);
    }
    if (c.aspectNumerator > 0 && int64_t(c.aspectNumerator) * r->aspectY != int64_t(c.aspectDenominator) * r->aspectX)
        r->disagreements.push_back("display aspect: container " + std::to_string(c.aspectNumerator) + ":" +
                                   std::to_string(c.aspectDenominator) + ", DIF data " + std::to_string(r->aspectX) +
                                   ":" + std::to_string(r->aspectY) + used);
    if (!c.timecode.empty() && c.timecode != r->timecode)
        r->disagreements.push_back("timecode: container " + c.timecode + ", DIF data " +
                                   (r->timecode.empty() ? "none" : r->timecode) + used);
}

StreamReport Describe(const std::string& path, bool frameMd5) {
    StreamReport r;
    r.file = path;
    std::string reason;
    std::unique_ptr<hvdv_input::FrameSource> source = hvdv_input::OpenFrameSource(path, &reason);
    if (!source) {
        r.error = reason;
        return r;
    }
    r.container = source->Facts();
    if (!r.container.notice.empty()) r.warnings.push_back(r.container.notice);
    hvdv_input::SourceFrame frame;
    if (!source->Next(&frame)) {
        r.error = source->Error().empty() ? "no frame" : source->Error();
        return r;
    }
    if (!DescribeFrame(frame.bytes, &r)) return r;
    Compare(&r);

    const bool raw = r.container.format == "raw DV";
    const int64_t stated = r.container.frames;
    // Raw DV from a file is read through and its frames counted when it is
    // small enough to read quickly: its kind, and so its frame size, may
    // change part-way.  A larger one is estimated from its size and the
    // first frame's size, and said to be.  A container's count is taken
    // when it is large; a small one is read through and its frames counted
    // (a cut file may keep the sample table of the whole).  Standard input
    // is read to its end.
    uint64_t fileBytes = 0;
    if (raw && stated >= 0 && path != "-") {
        hvdv_cli::InputFile file;
        std::string ignored;
        if (file.Open(path, &ignored)) fileBytes = file.Size();
    }
    const bool count = frameMd5 || stated < 0 || (!raw && stated < kCountAllBelow) ||
                       (raw && fileBytes <= kCountRawBelowBytes);
    hvdv_cli::Md5 all, one;
    uint64_t counted = 0, lastBytes = 0;
    do {
        if (counted < kCaptionFrames) {
            hvdv_captions cc{};
            cc.size = sizeof cc;
            ++r.captionFramesRead;
            if (hvdv_read_captions(frame.bytes.data(), frame.bytes.size(), &cc) == HVDV_OK && cc.present) {
                ++r.captionPacks;
                if (cc.field1[0] != 0x80 || cc.field1[1] != 0x80) ++r.captionData[0];
                if (cc.field2[0] != 0x80 || cc.field2[1] != 0x80) ++r.captionData[1];
            }
        }
        if (frameMd5) {
            one.Update(frame.bytes.data(), frame.bytes.size());
            all.Update(frame.bytes.data(), frame.bytes.size());
            std::printf("frame %" PRIu64 ": offset %" PRId64 ", %zu bytes, %s\n", frame.index, frame.offset,
                        frame.bytes.size(), one.HexDigest().c_str());
        }
        ++counted;
        lastBytes = frame.bytes.size();
    } while ((count || counted < kCaptionFrames) && source->Next(&frame));
    if (count && !source->Error().empty()) r.warnings.push_back("reading stopped: " + source->Error());
    if (frameMd5) std::printf("all: %" PRIu64 " frames, %s\n", counted, all.HexDigest().c_str());

    if (count && !raw && stated >= 0 && counted != uint64_t(stated))
        r.disagreements.push_back("frames: container " + std::to_string(stated) + ", " + std::to_string(counted) +
                                  " read (the frames read are counted)");
    if (!count) {
        r.frames = uint64_t(stated);
        r.framesFrom = raw ? "estimated from the file size" : "container";
        if (raw && r.frameBytes && fileBytes % r.frameBytes)
            r.warnings.push_back("the file size is not a multiple of frame 0's " + std::to_string(r.frameBytes) +
                                 " bytes: its last frame is cut short or its kind changes");
        return r;
    }
    r.frames = counted;
    r.framesFrom = "counted";
    // The last frame (still in `frame`) against a whole frame of its kind.
    const uint32_t whole = WholeFrameBytes(frame.bytes);
    if (whole && lastBytes < whole) {
        if (counted == 1) {
            if (r.truncated.empty()) r.truncated = std::to_string(lastBytes) + " of " + std::to_string(whole) + " bytes";
        } else {
            r.warnings.push_back("last frame truncated (" + std::to_string(lastBytes) + " of " + std::to_string(whole) +
                                 " bytes)" + (raw ? "; counting " + std::to_string(counted - 1) + " whole frames" : ""));
        }
        // Raw DV counts whole frames only.
        if (raw) r.frames = counted - 1;
    }
    return r;
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string AudioText(const StreamReport& r) {
    if (!r.audioKnown) return "not read";
    if (!r.channels) return "none";
    return std::to_string(r.sampleRate) + " Hz, " + std::to_string(r.channels) + " channels, " +
           (r.bits == 12 ? "12-bit non-linear" : std::to_string(r.bits) + "-bit linear") +
           (r.locked ? ", locked" : ", unlocked");
}

std::string ContainerText(const hvdv_input::ContainerFacts& c) {
    std::string text = c.format;
    if (!c.codecTag.empty()) text += ", codec tag \"" + c.codecTag + "\"";
    if (c.separateAudio) text += ", separate audio track";
    return text;
}

// "field 1: data in 12 of the first 60 frames", "packs without data in the
// first 60 frames", "none in the first 60 frames".
std::string CaptionText(const StreamReport& r) {
    const std::string first = "the first " + std::to_string(r.captionFramesRead) + " frames";
    if (!r.captionPacks) return "none in " + first;
    std::string text;
    for (int f = 0; f < 2; ++f)
        if (r.captionData[f])
            text += std::string(text.empty() ? "" : ", ") + "field " + std::to_string(f + 1) + ": data in " +
                    std::to_string(r.captionData[f]) + " of " + first;
    return text.empty() ? "packs without data in " + first : text;
}

void PrintText(const StreamReport& r) {
    std::printf("%s\n", r.file.c_str());
    std::printf("  format:          %s\n", r.format.c_str());
    std::printf("  picture:         %u x %u\n", r.width, r.height);
    std::printf("  display aspect:  %u:%u\n", r.aspectX, r.aspectY);
    std::printf("  frame rate:      %u/%u (%s frames/s)\n", r.rateNumerator, r.rateDenominator,
                Fixed(r.FrameRate(), 3).c_str());
    std::printf("  field order:     %s\n", r.fieldOrder.c_str());
    std::printf("  frame size:      %u bytes\n", r.frameBytes);
    std::printf("  audio:           %s\n", AudioText(r).c_str());
    std::printf("  timecode:        %s\n", r.timecode.empty() ? "none" : r.timecode.c_str());
    std::printf("  recorded:        %s\n", r.recorded.empty() ? "unknown" : r.recorded.c_str());
    std::printf("  captions:        %s\n", CaptionText(r).c_str());
    std::printf("  container:       %s\n", ContainerText(r.container).c_str());
    std::printf("  frames:          %" PRIu64 " (%s)\n", r.frames, r.framesFrom.c_str());
    std::printf("  duration:        %s s\n", Fixed(r.Duration(), 3).c_str());
    if (!r.truncated.empty()) std::printf("  truncated:       %s\n", r.truncated.c_str());
    for (const std::string& d : r.disagreements) std::printf("  disagreement:    %s\n", d.c_str());
}

std::string JsonOrNull(const std::string& text) { return text.empty() ? "null" : JsonString(text); }

std::string Json(const StreamReport& r) {
    std::string j = "  {\"file\": " + JsonString(r.file);
    if (!r.error.empty()) return j + ", \"error\": " + JsonString(r.error) + "}";
    j += ", \"format\": " + JsonString(r.format);
    j += ", \"width\": " + std::to_string(r.width) + ", \"height\": " + std::to_string(r.height);
    j += ", \"displayAspect\": " + JsonString(std::to_string(r.aspectX) + ":" + std::to_string(r.aspectY));
    j += ", \"frameRate\": {\"numerator\": " + std::to_string(r.rateNumerator) +
         ", \"denominator\": " + std::to_string(r.rateDenominator) + ", \"value\": " + Fixed(r.FrameRate(), 6) + "}";
    j += ", \"interlaced\": " + std::string(r.interlaced ? "true" : "false");
    j += ", \"fieldOrder\": " + JsonString(r.fieldOrder);
    j += ", \"frameBytes\": " + std::to_string(r.frameBytes);
    if (!r.audioKnown || !r.channels)
        j += ", \"audio\": null";
    else
        j += ", \"audio\": {\"sampleRate\": " + std::to_string(r.sampleRate) +
             ", \"channels\": " + std::to_string(r.channels) + ", \"bits\": " + std::to_string(r.bits) +
             ", \"locked\": " + (r.locked ? "true" : "false") + "}";
    j += ", \"timecode\": " + JsonOrNull(r.timecode);
    j += ", \"recorded\": " + JsonOrNull(r.recorded);
    const hvdv_input::ContainerFacts& c = r.container;
    j += ", \"container\": {\"format\": " + JsonString(c.format) + ", \"codecTag\": " + JsonOrNull(c.codecTag);
    j += ", \"frameRate\": " + (c.rateNumerator > 0 ? JsonString(Ratio(c.rateNumerator, c.rateDenominator)) : "null");
    j += ", \"displayAspect\": " +
         (c.aspectNumerator > 0
              ? JsonString(std::to_string(c.aspectNumerator) + ":" + std::to_string(c.aspectDenominator))
              : "null");
    j += ", \"timecode\": " + JsonOrNull(c.timecode);
    j += ", \"frames\": " + (c.frames >= 0 ? std::to_string(c.frames) : "null");
    j += ", \"separateAudio\": " + std::string(c.separateAudio ? "true" : "false") + "}";
    j += ", \"frames\": " + std::to_string(r.frames);
    j += ", \"framesFrom\": " + JsonString(r.framesFrom);
    j += ", \"duration\": " + Fixed(r.Duration(), 6);
    j += ", \"truncated\": " + JsonOrNull(r.truncated);
    j += ", \"disagreements\": [";
    for (size_t i = 0; i < r.disagreements.size(); ++i) j += (i ? ", " : "") + JsonString(r.disagreements[i]);
    j += "], \"warnings\": [";
    for (size_t i = 0; i < r.warnings.size(); ++i) j += (i ? ", " : "") + JsonString(r.warnings[i]);
    j += "], \"captions\": {\"framesRead\": " + std::to_string(r.captionFramesRead) +
         ", \"withPack\": " + std::to_string(r.captionPacks) +
         ", \"field1Data\": " + std::to_string(r.captionData[0]) +
         ", \"field2Data\": " + std::to_string(r.captionData[1]);
    return j + "}}";
}

void PrintHelp() {
    std::printf(
        "usage: hvdv info [--json] FILE...\n"
        "\n"
        "Describes DV files: raw DV (\"-\" reads standard input) and\n"
        "%s.\n"
        "From the first frame: format, picture size, display aspect, frame rate, field\n"
        "order, frame size, audio (rate, channels, quantisation), timecode and\n"
        "recording date and time; then the container, the number of frames (counted by\n"
        "reading; from the container; or, for raw files over 512 MB, estimated from the\n"
        "file size) and the duration.  A file cut short inside its first DIF sequence is\n"
        "described from the blocks it has and said to be truncated.  Where the\n"
        "container states a rate, aspect, timecode or frame count that the DIF data\n"
        "does not, both are shown; the DIF data is used.  Closed captions: whether\n"
        "the first 60 frames carry caption packs and which field's pairs carry data\n"
        "(\"hvdv captions\" writes them out).\n"
        "\n"
        "  --json   one JSON object per file, in an array\n"
        "\n"
        "The exit status is 1 when a file cannot be described.\n",
        hvdv_input::ContainersSupported() ? "DV in AVI (types 1 and 2), QuickTime / MP4 and MXF"
                                        : "no container (this hvdv was built without libavformat)");
}

int RunInfo(int argc, char** argv) {
    bool json = false, frameMd5 = false;
    std::vector<std::string> files;
    hvdv_cli::Arguments args(argc, argv);
    std::string arg;
    bool option;
    while (args.Next(&arg, &option)) {
        if (!option) {
            files.push_back(arg);
        } else if (arg == "--help" || arg == "-h") {
            PrintHelp();
            return 0;
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--frame-md5") {
            // Not in the help: the MD5 of every frame as read, for the tests
            // that compare what the sources hand on with the raw DV.
            frameMd5 = true;
        } else {
            hvdv_cli::PrintError(kCommand, "unknown option " + arg + " (see hvdv info --help)");
            return 2;
        }
    }
    if (files.empty()) {
        hvdv_cli::PrintError(kCommand, "no file given (usage: hvdv info [--json] FILE...)");
        return 2;
    }

    int status = 0;
    if (json) std::printf("[\n");
    for (size_t i = 0; i < files.size(); ++i) {
        const StreamReport r = Describe(files[i], frameMd5);
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

const hvdv_cli::RegisterCommand kRegister{kCommand, "describe DV files (format, size, rate, audio, timecode, container)",
                                          RunInfo};

}  // namespace
