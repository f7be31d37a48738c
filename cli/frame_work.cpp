#include "frame_work.h"

#include <algorithm>
#include <cstring>

#include "md5.h"

namespace hvdv_cli {

namespace {

hvdv_picture PictureOf(const DecodeSettings& s, uint8_t* base) {
    hvdv_picture p{};
    p.size = sizeof p;
    p.format = s.format;
    if (s.format == HVDV_FORMAT_PLANAR) {
        for (int i = 0; i < 3; ++i) {
            p.data[i] = base + s.planes.offset[i];
            p.pitch[i] = int32_t(s.planes.width[i]);
        }
    } else {
        p.data[0] = base;
        p.pitch[0] = s.packed.pitch;
        p.width = s.packed.width;
        p.height = s.packed.height;
    }
    return p;
}

void TakeMd5(const DecodeSettings& s, FrameWork* work) {
    if (!s.md5) return;
    Md5 md5;
    md5.Update(work->picture.data(), work->picture.size());
    work->md5 = md5.HexDigest();
}

}  // namespace

void DecodeFrame(hvdv_decoder* decoder, const DecodeSettings& s, FrameWork* work) {
    const std::vector<uint8_t>& frame = work->input.bytes;
    work->damagedMacroblocks = 0;
    work->concealedBlocks = 0;
    work->kind = HVDV_KIND_UNKNOWN;
    if (s.audio) {
        work->pcm.resize(size_t(HVDV_MAX_AUDIO_SAMPLES) * HVDV_MAX_AUDIO_CHANNELS);
        work->audioInfo = hvdv_audio_info{};
        work->audioInfo.size = sizeof work->audioInfo;
        work->audio = hvdv_decode_audio(nullptr, frame.data(), frame.size(), work->pcm.data(), work->pcm.size(), 0,
                                        &work->audioInfo);
    }
    if (!s.video) return;
    work->picture.resize(s.PictureBytes());
    // The planes are sized for the first frame's kind and the library
    // cannot see their sizes: a frame of another kind is not decoded.
    hvdv_frame_info info{};
    info.size = sizeof info;
    work->video = hvdv_probe_frame(frame.data(), frame.size(), &info);
    work->kind = info.kind;
    if (work->video == HVDV_OK && info.kind != s.kind) work->video = kKindChanged;
    if (work->video == HVDV_OK) {
        const hvdv_picture picture = PictureOf(s, work->picture.data());
        hvdv_damage damage{};
        damage.size = sizeof damage;
        work->video = hvdv_decode_video(decoder, frame.data(), frame.size(), &picture, s.flags, nullptr, &damage);
        work->damagedMacroblocks = damage.damaged;
        for (int sta = 2; sta < 16; sta += 2) work->concealedBlocks += damage.sta_counts[sta];
    }
    if (work->video != HVDV_OK)
        std::fill(work->picture.begin(), work->picture.end(), s.format == HVDV_FORMAT_PLANAR ? 0x80 : 0);
    // Hashing costs more than decoding: it belongs with the frame's thread.
    TakeMd5(s, work);
}

Concealer::~Concealer() { hvdv_decoder_destroy(decoder_); }

bool Concealer::Init(uint32_t cpuMask) {
    hvdv_decoder_config config{};
    config.size = sizeof config;
    config.threads = 1;
    config.cpu_mask = cpuMask;
    return hvdv_decoder_create(&config, &decoder_) == HVDV_OK;
}

void Concealer::Apply(const DecodeSettings& s, FrameWork* work) {
    if (!s.video || s.format != HVDV_FORMAT_PLANAR) return;
    if (havePrevious_ && work->video != HVDV_OK) {
        work->picture = previous_;
        TakeMd5(s, work);
        return;
    }
    if (havePrevious_ && work->damagedMacroblocks) {
        const hvdv_picture picture = PictureOf(s, previous_.data());
        const std::vector<uint8_t>& frame = work->input.bytes;
        // The first decode found this frame of the stream's kind, so the
        // planes fit.
        hvdv_decode_video(decoder_, frame.data(), frame.size(), &picture, s.flags | HVDV_DECODE_KEEP_DAMAGED, nullptr,
                          nullptr);
        std::memcpy(work->picture.data(), previous_.data(), previous_.size());
        TakeMd5(s, work);
        return;
    }
    if (work->video == HVDV_OK) {
        previous_ = work->picture;
        havePrevious_ = true;
    }
}

}  // namespace hvdv_cli
