// The second C interface: identification, planar and packed decoding with a
// damage map, audio and metadata, over the same core as the compatible one.
#include <algorithm>
#include <cstring>
#include <new>

#include "api/decoder.h"
#include "api/instance.h"
#include "audio/audio.h"
#include "decode/tables.h"
#include "format/output_format.h"
#include "hv_dec_dv.h"
#include "hvdv.h"
#include "hvdv/identify.h"
#include "meta/captions.h"
#include "meta/metadata.h"
#include "threads/cpu.h"
#include "threads/platform.h"
#include "writer/writer.h"

using namespace hvdv;

struct hvdv_decoder {
    DVDecInstance* instance;
    int threads;                   // 0: every processor
    DVPictureWriter planar;        // reused for every planar frame
    DVMacroblockDamage damage[kMaxVideoBlocks];
    DVFrameAudio lastAudio;
    bool haveAudio;
};

namespace {

// The map's records are handed out as the public ones.
static_assert(sizeof(DVMacroblockDamage) == sizeof(hvdv_macroblock), "damage record layout");
static_assert(offsetof(DVMacroblockDamage, sta) == offsetof(hvdv_macroblock, sta), "damage record layout");
static_assert(offsetof(DVMacroblockDamage, flags) == offsetof(hvdv_macroblock, flags), "damage record layout");
static_assert(offsetof(DVMacroblockDamage, sequence) == offsetof(hvdv_macroblock, sequence),
              "damage record layout");
static_assert((int)kMbError == (int)HVDV_MB_ERROR && (int)kMbMissing == (int)HVDV_MB_MISSING &&
                  (int)kMbBadId == (int)HVDV_MB_BAD_ID && (int)kMbFilled == (int)HVDV_MB_FILLED &&
                  (int)kMbUntouched == (int)HVDV_MB_UNTOUCHED,
              "damage flags");

// A record the caller sized: at least its size field and one more word.
template <typename T>
bool Sized(const T* record) {
    return record && record->size >= 2 * sizeof(uint32_t);
}

// Copies what fits of `full` into the caller's record, keeping its size.
template <typename T>
void Deliver(const T& full, T* out) {
    const uint32_t size = out->size;
    std::memcpy(out, &full, std::min<size_t>(size, sizeof(T)));
    out->size = size;
}

// Frames are at most 576000 bytes: a larger buffer is never read past that.
uint32_t Clamp(size_t frameSize) { return frameSize > 0x7FFFFFFFu ? 0x7FFFFFFFu : (uint32_t)frameSize; }

int Probe(const uint8_t* frame, size_t frameSize, DVProbe* probe) {
    if (!frame) return HVDV_ERROR_ARGUMENT;
    if (!ProbeFrame(frame, Clamp(frameSize), probe)) return ProbeResult(probe->failure);
    return HVDV_OK;
}

uint32_t Value(const DVValue& v) { return v.present ? (uint32_t)v.value : 0; }

// Sums the damage records of one frame into the public summary.
void Summarise(const hvdv_decoder* d, int blocks, const DVProfile& profile, hvdv_damage* out) {
    hvdv_damage s{};
    s.size = sizeof s;
    s.macroblock_count = (uint32_t)blocks;
    s.macroblocks = reinterpret_cast<const hvdv_macroblock*>(d->damage);
    s.sequence_count = (uint32_t)(profile.segments / (int)kSegmentsPerSequence);
    for (int b = 0; b < blocks; b++) {
        const DVMacroblockDamage& m = d->damage[b];
        if (!(m.flags & (kMbMissing | kMbBadId)) && m.x != 0xFFFF) s.sta_counts[m.sta & 15]++;
        if (m.flags & (kMbError | kMbMissing | kMbBadId)) {
            s.damaged++;
            if (m.sequence < HVDV_MAX_SEQUENCES) s.sequence_damaged[m.sequence]++;
        }
        if (m.flags & kMbFilled) s.filled++;
        if (m.flags & kMbUntouched) s.untouched++;
    }
    Deliver(s, out);
}

// Planar output: every plane present and large enough.
bool PlanesFit(const hvdv_picture& pic, const DVProfile& profile, int half, DVPlanes* planes) {
    PlanarGeometry(profile, half, planes->width, planes->height);
    for (int i = 0; i < 3; i++) {
        if (!pic.data[i] || pic.pitch[i] < planes->width[i]) return false;
        planes->data[i] = pic.data[i];
        planes->pitch[i] = pic.pitch[i];
    }
    return true;
}

}  // namespace

extern "C" {

HVDV_EXPORT const char* hvdv_strerror(int result) {
    switch (result) {
        case HVDV_OK: return "success";
        case HVDV_ERROR_ARGUMENT: return "invalid argument";
        case HVDV_ERROR_TRUNCATED: return "frame shorter than one DIF sequence";
        case HVDV_ERROR_NOT_DV: return "not a DV frame";
        case HVDV_ERROR_AMBIGUOUS: return "the frame's sources contradict each other";
        case HVDV_ERROR_UNSUPPORTED: return "unsupported kind, mode or output";
        case HVDV_ERROR_BUFFER_SMALL: return "output buffer too small";
        case HVDV_ERROR_NO_MEMORY: return "out of memory";
        case HVDV_ERROR_NO_AUDIO: return "no audio in the frame";
        case HVDV_ERROR_UNDECODABLE: return "no macroblock of the frame could be decoded";
        case HVDV_ERROR_CPU: return "processor lacks a required instruction set";
    }
    return "unknown result";
}

HVDV_EXPORT uint32_t hvdv_version(void) { return HVDV_VERSION; }

HVDV_EXPORT const char* hvdv_version_string(void) { return "1.1.0"; }

HVDV_EXPORT int hvdv_probe_frame(const uint8_t* frame, size_t frameSize, hvdv_frame_info* info) {
    if (!Sized(info)) return HVDV_ERROR_ARGUMENT;
    DVProbe probe;
    const int r = Probe(frame, frameSize, &probe);
    if (r != HVDV_OK) return r;
    DescribeFrame(probe, info);
    return HVDV_OK;
}

HVDV_EXPORT int hvdv_decoder_create(const hvdv_decoder_config* config, hvdv_decoder** decoder) {
    if (!decoder) return HVDV_ERROR_ARGUMENT;
    *decoder = nullptr;
    hvdv_decoder_config c{};
    c.size = sizeof c;
    if (config) {
        if (!Sized(config)) return HVDV_ERROR_ARGUMENT;
        std::memcpy(&c, config, std::min<size_t>(config->size, sizeof c));
        if (c.cpu_mask > 1 || c.threads > (uint32_t)kMaxJobs) return HVDV_ERROR_ARGUMENT;
    }
#if HVDV_ARCH_X86
    if (!(DetectCpuFeatures() & kCpuSSE2)) return HVDV_ERROR_CPU;
#endif
    InitTables();
    hvdv_decoder* d = new (std::nothrow) hvdv_decoder();
    if (!d) return HVDV_ERROR_NO_MEMORY;
    d->instance = CreateInstance(c.cpu_mask == 1 ? 0u : CpuFlags());
    if (!d->instance) {
        delete d;
        return HVDV_ERROR_NO_MEMORY;
    }
    d->threads = (int)c.threads;
    *decoder = d;
    return HVDV_OK;
}

HVDV_EXPORT void hvdv_decoder_destroy(hvdv_decoder* decoder) {
    if (!decoder) return;
    DestroyInstance(decoder->instance);
    delete decoder;
}

HVDV_EXPORT int hvdv_decode_video(hvdv_decoder* decoder, const uint8_t* frame, size_t frameSize,
                                  const hvdv_picture* picture, uint32_t flags, hvdv_frame_info* info,
                                  hvdv_damage* damage) {
    const uint32_t known = HVDV_DECODE_HALF | HVDV_DECODE_KEEP_DAMAGED | HVDV_DECODE_IGNORE_WIDE |
                           HVDV_DECODE_SWAP_FIELDS;
    if (!decoder || !picture || picture->size < sizeof(hvdv_picture) || (flags & ~known) ||
        (info && !Sized(info)) || (damage && !Sized(damage)))
        return HVDV_ERROR_ARGUMENT;
    DVProbe probe;
    int r = Probe(frame, frameSize, &probe);
    if (r != HVDV_OK) return r;
    const DVProfile& profile = *probe.profile;
    if (info) DescribeFrame(probe, info);

    DVFrameRequest request{};
    request.profile = &profile;
    request.frame = frame;
    request.frameSize = Clamp(frameSize);
    request.headerBlocks = probe.headerBlocks;
    request.decodeFlags = (flags & HVDV_DECODE_SWAP_FIELDS) ? HVDV_FLAG_SWAP_FIELDS : 0;
    request.jobs = JobCountFor(decoder->threads);
    request.damage = decoder->damage;
    request.keepDamaged = (flags & HVDV_DECODE_KEEP_DAMAGED) != 0;

    DVDecInstance* const instance = decoder->instance;
    EnterLock(instance->lock);
    CDVDecoder core(instance);
    int64_t damaged = 0;
    if (picture->format == HVDV_FORMAT_PLANAR) {
        const int half = (flags & HVDV_DECODE_HALF) ? 1 : 0;
        DVPlanes planes;
        if (!PlanesFit(*picture, profile, half, &planes)) {
            LeaveLock(instance->lock);
            return HVDV_ERROR_BUFFER_SMALL;
        }
        InitPlanarWriter(&decoder->planar, &instance->kernels.writer, profile, half, planes);
        request.half = half != 0;
        damaged = core.Run(request, &decoder->planar);
    } else {
        // Packed output through the compatible writers: the picture size
        // chooses full or half size as it does there.
        const DVOutputFormat format = OutputFormatFromFourcc(picture->format);
        if (format == kFormatNone || request.keepDamaged || (flags & HVDV_DECODE_HALF) || !picture->data[0] ||
            picture->width == 0 || picture->height == 0) {
            LeaveLock(instance->lock);
            return format == kFormatNone || request.keepDamaged ? HVDV_ERROR_UNSUPPORTED : HVDV_ERROR_ARGUMENT;
        }
        const bool half = IsHalfSizePicture(picture->width, picture->height);
        const bool wide = probe.wide && !(flags & HVDV_DECODE_IGNORE_WIDE);
        DVPictureWriter* writer = CreatePictureWriter(&instance->kernels.writer, &instance->kernels.pixel, format,
                                                      request.jobs, profile, half ? 1 : 0, wide ? 1 : 0);
        if (writer) writer->workBuffer = &instance->work;
        if (!writer || writer->BeginFrame(writer, picture->data[0], picture->pitch[0], (int32_t)picture->width,
                                          (int32_t)picture->height) != 0) {
            if (writer) writer->Release(writer);
            LeaveLock(instance->lock);
            return HVDV_ERROR_NO_MEMORY;
        }
        request.half = half || (profile.placement == DVPlacement::kBlockId && writer->halfSize);
        request.rows = (int32_t)picture->height;
        damaged = core.Run(request, writer);
        if (!writer->FlushRows) writer->EndFrame(writer);
        writer->FreeFrameBuffer(writer);
        writer->Release(writer);
    }
    LeaveLock(instance->lock);

    const int blocks = profile.segments * 5;  // five macroblocks a segment
    if (damage) Summarise(decoder, blocks, profile, damage);
    (void)damaged;
    // Undecodable: not one macroblock came from data in the buffer.
    for (int b = 0; b < blocks; b++)
        if (!(decoder->damage[b].flags & (kMbMissing | kMbBadId)) && decoder->damage[b].x != 0xFFFF)
            return HVDV_OK;
    return HVDV_ERROR_UNDECODABLE;
}

HVDV_EXPORT int hvdv_decode_audio(hvdv_decoder* decoder, const uint8_t* frame, size_t frameSize, int16_t* pcm,
                                  size_t capacity, uint32_t flags, hvdv_audio_info* info) {
    if ((flags & ~(uint32_t)HVDV_AUDIO_HOLD_ERRORS) || (!pcm && capacity) || (info && !Sized(info)))
        return HVDV_ERROR_ARGUMENT;
    DVProbe probe;
    const int r = Probe(frame, frameSize, &probe);
    if (r != HVDV_OK) return r;
    DVAudioOptions options;
    options.holdErrors = (flags & HVDV_AUDIO_HOLD_ERRORS) != 0;
    DVFrameAudio a{};
    int16_t none = 0;
    const DVAudioStatus status = DecodeFrameAudio(frame, Clamp(frameSize), *probe.profile, probe.headerBlocks,
                                                  pcm ? pcm : &none, capacity, options, &a);
    if (status == DVAudioStatus::kNoAudio) return HVDV_ERROR_NO_AUDIO;
    if (status == DVAudioStatus::kUnsupported) return HVDV_ERROR_UNSUPPORTED;

    hvdv_audio_info out{};
    out.size = sizeof out;
    out.sample_rate = (uint32_t)std::max(a.sampleRate, 0);
    out.bits = (uint32_t)std::max(a.quantization, 0);
    out.channels = (uint32_t)std::max(a.channels, 0);
    out.samples = (uint32_t)std::max(a.samples, 0);
    out.locked = a.locked == 1;
    out.emphasis = a.emphasis == 1;
    out.error_samples = a.errorSamples;
    for (int i = 0; i < HVDV_AUDIO_ERROR_POSITIONS && i < kAudioErrorPositions; i++)
        out.error_positions[i] = a.errorPositions[i];
    out.missing_blocks = a.missingBlocks;
    if (decoder) {
        out.mode_changed = decoder->haveAudio && AudioModeChanged(decoder->lastAudio, a);
        decoder->lastAudio = a;
        decoder->haveAudio = true;
    }
    if (info) Deliver(out, info);
    return status == DVAudioStatus::kShortBuffer ? HVDV_ERROR_BUFFER_SMALL : HVDV_OK;
}

HVDV_EXPORT int hvdv_read_metadata(const uint8_t* frame, size_t frameSize, hvdv_metadata* meta) {
    if (!Sized(meta)) return HVDV_ERROR_ARGUMENT;
    DVProbe probe;
    const int r = Probe(frame, frameSize, &probe);
    if (r != HVDV_OK) return r;
    DVFrameMetadata m;
    hvdv_metadata out{};
    out.size = sizeof out;
    if (!ReadFrameMetadata(frame, Clamp(frameSize), *probe.profile, probe.headerBlocks, &m)) {
        Deliver(out, meta);
        return HVDV_OK;
    }
    if (m.timecode.present) {
        out.present |= HVDV_META_TIMECODE;
        out.tc_hours = (uint8_t)m.timecode.hours;
        out.tc_minutes = (uint8_t)m.timecode.minutes;
        out.tc_seconds = (uint8_t)m.timecode.seconds;
        out.tc_frames = (uint8_t)m.timecode.frames;
        out.tc_drop_frame = m.timecode.dropFrame;
        out.tc_copies = (uint32_t)m.timecode.copies;
        out.tc_disagreeing = (uint32_t)m.timecode.disagreeing;
    }
    // The VAUX packs first; the subcode's when the VAUX has no date.
    const bool vaux = m.vauxDate.present;
    const DVDate& date = vaux ? m.vauxDate : m.subcodeDate;
    const DVTime& time = m.vauxTime.present ? m.vauxTime : m.subcodeTime;
    if (date.present) {
        out.present |= HVDV_META_REC_DATE;
        out.rec_year = (uint32_t)date.year;
        out.rec_month = (uint32_t)date.month;
        out.rec_day = (uint32_t)date.day;
        out.rec_from_subcode = !vaux;
    }
    if (time.present) {
        out.present |= HVDV_META_REC_TIME;
        out.rec_hours = (uint32_t)time.hours;
        out.rec_minutes = (uint32_t)time.minutes;
        out.rec_seconds = (uint32_t)time.seconds;
        if (time.frames.present) out.present |= HVDV_META_REC_TIME_FRAMES;
        out.rec_frames = Value(time.frames);
        if (!date.present) out.rec_from_subcode = !m.vauxTime.present;
    }
    if (m.recordStart.present) out.present |= HVDV_META_REC_START;
    out.rec_start = Value(m.recordStart);
    if (m.repeatedFrame.present) out.present |= HVDV_META_REPEATED;
    out.repeated = Value(m.repeatedFrame);
    if (m.disp.present) out.present |= HVDV_META_ASPECT;
    out.wide = Value(m.wide);
    out.disp = Value(m.disp);
    out.bcsys = Value(m.bcsys);
    if (m.firstField.present && m.fieldOne.present) out.present |= HVDV_META_FIELD_ORDER;
    out.first_field = Value(m.firstField);
    out.field_one_first = Value(m.fieldOne);
    if (m.interlaced.present) out.present |= HVDV_META_INTERLACED;
    out.interlaced = Value(m.interlaced);
    if (m.cgms.present) out.present |= HVDV_META_CGMS;
    out.cgms = Value(m.cgms);
    for (const DVAudioGroup& g : m.audio) {
        if (!g.present) continue;
        out.present |= HVDV_META_AUDIO_MODE;
        out.audio_rate = Value(g.sampleRate);
        out.audio_bits = Value(g.bits);
        out.audio_samples = Value(g.samples);
        out.audio_locked = g.locked;
        break;
    }
    out.audio_channels = Value(m.audioChannels);
    if (m.captionCount > 0) out.present |= HVDV_META_CAPTIONS;
    out.caption_count = (uint32_t)std::min(m.captionCount, 4);
    std::memcpy(out.captions, m.captions, sizeof out.captions);
    const DVCamera& c = m.camera;
    if (c.present) {
        out.present |= HVDV_META_CAMERA;
        hvdv_camera& k = out.camera;
        k.packs_present = c.present;
        std::memcpy(k.packs, c.packs, sizeof k.packs);
        if (c.iris.present) k.present |= HVDV_CAMERA_IRIS;
        k.iris_code = Value(c.iris);
        k.f_number_tenths = Value(c.fNumberTenths);
        if (c.gain.present) k.present |= HVDV_CAMERA_GAIN;
        k.gain = Value(c.gain);
        if (c.whiteBalance.present || c.whiteBalanceMode.present) k.present |= HVDV_CAMERA_WHITE_BALANCE;
        k.white_balance = Value(c.whiteBalance);
        k.white_balance_mode = Value(c.whiteBalanceMode);
        if (c.shutterConsumer.present) k.present |= HVDV_CAMERA_SHUTTER;
        k.shutter = Value(c.shutterConsumer);
        if (c.autoExposureMode.present) k.present |= HVDV_CAMERA_EXPOSURE_MODE;
        k.exposure_mode = Value(c.autoExposureMode);
    }
    Deliver(out, meta);
    return HVDV_OK;
}

HVDV_EXPORT int hvdv_read_captions(const uint8_t* frame, size_t frameSize, hvdv_captions* captions) {
    if (!Sized(captions)) return HVDV_ERROR_ARGUMENT;
    DVProbe probe;
    const int r = Probe(frame, frameSize, &probe);
    if (r != HVDV_OK) return r;
    hvdv_captions out{};
    out.size = sizeof out;
    out.field1[0] = out.field1[1] = out.field2[0] = out.field2[1] = 0x80;
    DVFrameCaptions c;
    if (ReadFrameCaptions(frame, Clamp(frameSize), *probe.profile, probe.headerBlocks, &c)) {
        out.present = 1;
        std::memcpy(out.field1, c.field[0].bytes, 2);
        std::memcpy(out.field2, c.field[1].bytes, 2);
        out.parity_errors = c.parityErrors;
        out.copies = (uint32_t)c.field[0].copies;
        out.field1_disagreeing = (uint32_t)c.field[0].disagreeing;
        out.field2_disagreeing = (uint32_t)c.field[1].disagreeing;
    }
    Deliver(out, captions);
    return HVDV_OK;
}

}  // extern "C"
