// Containers through libavformat: the DV video stream's packets, as stored.
// Only the demuxers are used; libavformat's stream probing, which would run
// libavcodec's DV decoder, is not (the container header says enough).
#include <cstring>

#include "source_detail.h"

#if defined(HVDV_INPUT_LIBAVFORMAT)
extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}
#endif

namespace hvdv_input {

#if !defined(HVDV_INPUT_LIBAVFORMAT)

bool ContainersSupported() { return false; }

std::unique_ptr<FrameSource> OpenContainerSource(const std::string&, std::string* error) {
    *error = "this hvdv was built without libavformat: only raw DV can be read";
    return nullptr;
}

#else

bool ContainersSupported() { return true; }

namespace {

std::string TagText(uint32_t tag) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = char((tag >> (8 * i)) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}

uint32_t Le32(const uint8_t* p) { return p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// What an AVI file's headers say of a type-1 stream (one stream whose strh
// type is "iavs": video and audio interleaved in the DIF frames).
// libavformat hands such a stream to its raw DV demuxer and keeps none of
// the strh values, so they are read here.
struct AviHeader {
    int type = 2;
    std::string handler;
    uint32_t scale = 0, rate = 0;
    int64_t frames = -1;
};

AviHeader ReadAviHeader(const std::string& path) {
    AviHeader h;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return h;
    uint8_t head[16384];
    const size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    for (size_t i = 12; i + 44 <= n; ++i) {
        // "strh", its size, then fccType, fccHandler, flags, priority and
        // language, initial frames, scale, rate, start, length.
        if (std::memcmp(head + i, "strh", 4) == 0 &&
            (std::memcmp(head + i + 8, "iavs", 4) == 0 || std::memcmp(head + i + 8, "ivas", 4) == 0)) {
            h.type = 1;
            h.handler = std::string(reinterpret_cast<const char*>(head + i + 12), 4);
            h.scale = Le32(head + i + 28);
            h.rate = Le32(head + i + 32);
            if (h.frames < 0) h.frames = Le32(head + i + 40);
        }
        // OpenDML's extended header: the frames of every RIFF part.
        if (std::memcmp(head + i, "dmlh", 4) == 0) h.frames = Le32(head + i + 8);
    }
    return h;
}

class ContainerSource : public FrameSource {
public:
    ~ContainerSource() override {
        av_packet_free(&packet_);
        avformat_close_input(&format_);
    }

    bool Open(const std::string& path, std::string* error) {
        av_log_set_level(AV_LOG_ERROR);
        int r = avformat_open_input(&format_, path.c_str(), nullptr, nullptr);
        if (r < 0) {
            *error = "not a DV stream (" + AvError(r) + ")";
            return false;
        }
        for (unsigned i = 0; i < format_->nb_streams; ++i) {
            const AVCodecParameters* p = format_->streams[i]->codecpar;
            if (p->codec_type == AVMEDIA_TYPE_VIDEO && p->codec_id == AV_CODEC_ID_DVVIDEO && stream_ < 0) stream_ = int(i);
        }
        if (stream_ < 0) {
            *error = std::string("not a DV stream (") + format_->iformat->name + " file without a DV video track)";
            return false;
        }
        packet_ = av_packet_alloc();
        if (!packet_) {
            *error = "out of memory";
            return false;
        }
        FillFacts(path);
        return true;
    }

    bool Next(SourceFrame* frame) override {
        if (!error_.empty()) return false;
        for (;;) {
            const int r = av_read_frame(format_, packet_);
            if (r == AVERROR_EOF) return false;
            if (r < 0) {
                error_ = "cannot read frame " + std::to_string(index_) + ": " + AvError(r);
                return false;
            }
            if (packet_->stream_index != stream_) {
                av_packet_unref(packet_);
                continue;
            }
            frame->bytes.assign(packet_->data, packet_->data + packet_->size);
            frame->index = index_++;
            frame->offset = packet_->pos;
            av_packet_unref(packet_);
            return true;
        }
    }

    const ContainerFacts& Facts() const override { return facts_; }
    std::string Error() const override { return error_; }

private:
    static std::string AvError(int r) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(r, text, sizeof text);
        return text;
    }

    void FillFacts(const std::string& path) {
        const AVStream* st = format_->streams[stream_];
        const AVCodecParameters* p = st->codecpar;
        const std::string name = format_->iformat->name;
        AviHeader avi;
        if (name == "avi") {
            avi = ReadAviHeader(path);
            facts_.format = avi.type == 1 ? "AVI type 1" : "AVI type 2";
        } else if (name.find("mov") != std::string::npos) {
            facts_.format = "QuickTime / MP4";
        } else if (name == "mxf") {
            facts_.format = "MXF";
        } else {
            facts_.format = format_->iformat->long_name ? format_->iformat->long_name : name;
        }
        if (name == "avi" && avi.type == 1) {
            // The stream's values in libavformat come from the DIF data
            // (the raw DV demuxer reads them), not from the file's headers.
            facts_.codecTag = avi.handler;
            if (avi.rate && avi.scale) {
                AVRational r;
                av_reduce(&r.num, &r.den, avi.rate, avi.scale, 1 << 30);
                facts_.rateNumerator = r.num;
                facts_.rateDenominator = r.den;
            }
            facts_.frames = avi.frames;
            return;
        }
        facts_.codecTag = p->codec_tag ? TagText(p->codec_tag) : "";
        AVRational rate = st->avg_frame_rate;
        if (rate.num <= 0 || rate.den <= 0) rate = st->r_frame_rate;
        // MXF counts in edit units: its time base is the frame period.
        if ((rate.num <= 0 || rate.den <= 0) && name == "mxf") rate = av_inv_q(st->time_base);
        if (rate.num > 0 && rate.den > 0) {
            facts_.rateNumerator = rate.num;
            facts_.rateDenominator = rate.den;
        }
        AVRational sar = st->sample_aspect_ratio.num > 0 ? st->sample_aspect_ratio : p->sample_aspect_ratio;
        if (sar.num > 0 && sar.den > 0 && p->width > 0 && p->height > 0) {
            AVRational dar;
            av_reduce(&dar.num, &dar.den, int64_t(p->width) * sar.num, int64_t(p->height) * sar.den, 1 << 20);
            facts_.aspectNumerator = dar.num;
            facts_.aspectDenominator = dar.den;
        }
        if (st->nb_frames > 0) {
            facts_.frames = st->nb_frames;
        } else if (st->duration > 0 && rate.num > 0) {
            // MXF states a duration, not a count of samples.
            facts_.frames = av_rescale_q(st->duration, st->time_base, av_inv_q(rate));
        }
        // A timecode: the video track's tag, a timecode track's, the file's.
        const AVDictionaryEntry* tc = av_dict_get(st->metadata, "timecode", nullptr, 0);
        for (unsigned i = 0; !tc && i < format_->nb_streams; ++i)
            tc = av_dict_get(format_->streams[i]->metadata, "timecode", nullptr, 0);
        if (!tc) tc = av_dict_get(format_->metadata, "timecode", nullptr, 0);
        if (tc) facts_.timecode = tc->value;
        for (unsigned i = 0; i < format_->nb_streams; ++i)
            if (format_->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) facts_.separateAudio = true;
    }

    AVFormatContext* format_ = nullptr;
    AVPacket* packet_ = nullptr;
    int stream_ = -1;
    uint64_t index_ = 0;
    ContainerFacts facts_;
    std::string error_;
};

}  // namespace

std::unique_ptr<FrameSource> OpenContainerSource(const std::string& path, std::string* error) {
    auto source = std::make_unique<ContainerSource>();
    if (!source->Open(path, error)) return nullptr;
    return source;
}

#endif

}  // namespace hvdv_input
