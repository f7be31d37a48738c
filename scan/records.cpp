#include "records.h"

#include "timecode.h"

#include <algorithm>
#include <cstdio>

namespace hvdv_scan {

namespace {

int64_t RecordTimecode(const FrameRecord& r, uint32_t tcRate) {
    return TimecodeFrames(r.tcHours, r.tcMinutes, r.tcSeconds, r.tcFrames, r.tcDrop, tcRate);
}

}  // namespace

char InterlaceTag(const hvdv_frame_info& info, const hvdv_metadata* meta) {
    if (!info.interlaced) return 'p';
    const bool hd = info.kind >= HVDV_KIND_HD_1080I60;
    if (!meta || !(meta->present & HVDV_META_FIELD_ORDER)) return hd ? 't' : 'b';
    // FS of the VAUX control pack, read as libavcodec reads it (its field
    // order for the test streams): at 25 and 50 Mb/s FS = 1 is the usual
    // bottom field first, at 1080 lines FS = 1 is top field first.  IL = 0
    // says the picture is not interlaced.
    if (!hd && (meta->present & HVDV_META_INTERLACED) && !meta->interlaced) return 'p';
    return (meta->field_one_first != 0) == hd ? 't' : 'b';
}

bool FrameRecord::Damaged() const {
    return !error.empty() || !identified || damaged || concealed || audioErrorSamples;
}

double FrameRecord::DamageShare() const {
    if (!identified || (!hasVideo && !error.empty())) return 1.0;
    if (!hasVideo || macroblocks == 0) return 0.0;
    return std::min(1.0, double(damaged + concealed) / macroblocks);
}

std::string TimecodeText(const FrameRecord& r) {
    if (!r.hasTimecode) return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u%c%02u", r.tcHours, r.tcMinutes, r.tcSeconds,
                  r.tcDrop ? ';' : ':', r.tcFrames);
    return text;
}

std::string RecordedText(const FrameRecord& r) {
    char date[32] = "", time[32] = "";
    if (r.hasDate) std::snprintf(date, sizeof date, "%04u-%02u-%02u", r.year, r.month, r.day);
    if (r.hasTime) std::snprintf(time, sizeof time, "%02u:%02u:%02u", r.hours, r.minutes, r.seconds);
    if (r.hasDate && r.hasTime) return std::string(date) + "T" + time;
    return std::string(date) + time;
}

const char* KindName(hvdv_kind kind) {
    switch (kind) {
        case HVDV_KIND_DV25_525_411: return "DV25 525/60 4:1:1";
        case HVDV_KIND_DV25_625_420: return "DV25 625/50 4:2:0";
        case HVDV_KIND_DV25_625_411: return "DV25 625/50 4:1:1";
        case HVDV_KIND_DV50_525: return "DV50 525/60 4:2:2";
        case HVDV_KIND_DV50_625: return "DV50 625/50 4:2:2";
        case HVDV_KIND_HD_1080I60: return "DVCPRO HD 1080i60";
        case HVDV_KIND_HD_1080I50: return "DVCPRO HD 1080i50";
        case HVDV_KIND_HD_720P60: return "DVCPRO HD 720p60";
        case HVDV_KIND_HD_720P50: return "DVCPRO HD 720p50";
        default: return "unknown";
    }
}

const char* FieldOrderName(FieldOrder order) {
    switch (order) {
        case FieldOrder::kBottomFirst: return "bottom first";
        case FieldOrder::kTopFirst: return "top first";
        case FieldOrder::kProgressive: return "progressive";
        default: return nullptr;
    }
}

std::string StaText(const FrameRecord& r) {
    std::string text;
    for (int s = 1; s < 16; ++s) {
        if (!r.sta[s]) continue;
        char item[24];
        std::snprintf(item, sizeof item, "%s%x:%u", text.empty() ? "" : " ", s, r.sta[s]);
        text += item;
    }
    return text;
}

bool PadShortFrame(const uint8_t* frame, size_t size, std::vector<uint8_t>* padded) {
    // Section types (bits 7-5 of a block's first byte) of the first blocks.
    static const int kSections[] = {0, 1, 1, 2, 2, 2};
    constexpr size_t kFirstBlocks = sizeof kSections / sizeof kSections[0];
    if (!frame || size >= kDifSequenceBytes || size < 80 * kFirstBlocks) return false;
    for (size_t b = 0; b < kFirstBlocks; ++b)
        if ((frame[80 * b] >> 5) != kSections[b]) return false;
    padded->assign(kDifSequenceBytes, 0xFF);
    std::copy(frame, frame + size / 80 * 80, padded->begin());
    return true;
}

FrameReader::FrameReader(bool withVideo) : withVideo_(withVideo) {
    padded_.reserve(kDifSequenceBytes);
    hvdv_decoder_config config{};
    config.size = sizeof config;
    createResult_ = hvdv_decoder_create(&config, &decoder_);
    pcm_.resize(size_t(HVDV_MAX_AUDIO_CHANNELS) * HVDV_MAX_AUDIO_SAMPLES);
}

FrameReader::~FrameReader() { hvdv_decoder_destroy(decoder_); }

bool FrameReader::Ready(std::string* error) const {
    if (decoder_) return true;
    *error = std::string("cannot make a decoder: ") + hvdv_strerror(createResult_);
    return false;
}

void FrameReader::Read(const uint8_t* frame, size_t size, uint64_t index, int64_t offset, FrameRecord* record) {
    FrameRecord& r = *record;
    r = FrameRecord();
    r.index = index;
    r.offset = offset;
    r.bytes = size;

    // A frame shorter than a DIF sequence is described from the blocks it
    // has; nothing of it is decoded.
    const bool truncated = PadShortFrame(frame, size, &padded_);
    const uint8_t* whole = truncated ? padded_.data() : frame;
    hvdv_frame_info info{};
    info.size = sizeof info;
    const int probed = hvdv_probe_frame(whole, truncated ? padded_.size() : size, &info);
    if (probed != HVDV_OK) {
        r.error = hvdv_strerror(probed);
        return;
    }
    r.identified = true;
    r.kind = info.kind;
    r.frameBytes = info.frame_bytes;
    r.rateNum = info.rate_num;
    r.rateDen = info.rate_den ? info.rate_den : 1;
    if (truncated)
        r.error = "truncated: " + std::to_string(size) + " of " + std::to_string(info.frame_bytes) +
                  " bytes, less than one DIF sequence (described from its first blocks)";
    else if (size < info.frame_bytes)
        r.error = "cut short: " + std::to_string(size) + " of " + std::to_string(info.frame_bytes) + " bytes";
    // Extra bytes after a whole frame are not part of it.
    const size_t bytes = truncated ? padded_.size() : std::min<size_t>(size, info.frame_bytes);

    hvdv_metadata m{};
    m.size = sizeof m;
    if (hvdv_read_metadata(whole, bytes, &m) == HVDV_OK) {
        r.hasTimecode = (m.present & HVDV_META_TIMECODE) != 0;
        r.tcHours = m.tc_hours;
        r.tcMinutes = m.tc_minutes;
        r.tcSeconds = m.tc_seconds;
        r.tcFrames = m.tc_frames;
        r.tcDrop = m.tc_drop_frame != 0;
        r.hasDate = (m.present & HVDV_META_REC_DATE) != 0;
        r.year = m.rec_year;
        r.month = m.rec_month;
        r.day = m.rec_day;
        r.hasTime = (m.present & HVDV_META_REC_TIME) != 0;
        r.hours = m.rec_hours;
        r.minutes = m.rec_minutes;
        r.seconds = m.rec_seconds;
        r.hasRecStart = (m.present & HVDV_META_REC_START) != 0;
        r.recStart = m.rec_start != 0;
        r.hasRepeated = (m.present & HVDV_META_REPEATED) != 0;
        r.repeated = m.repeated != 0;
        r.hasAspect = (m.present & HVDV_META_ASPECT) != 0;
        r.wide = m.wide != 0;
        // The field order the decoder's YUV4MPEG2 output states.
        if ((m.present & (HVDV_META_INTERLACED | HVDV_META_FIELD_ORDER)) || !info.interlaced) {
            const char tag = InterlaceTag(info, &m);
            r.fieldOrder = tag == 'p' ? FieldOrder::kProgressive
                           : tag == 't' ? FieldOrder::kTopFirst
                                        : FieldOrder::kBottomFirst;
        }
        if (m.present & HVDV_META_AUDIO_MODE) {
            r.hasAudio = true;
            r.audioRate = m.audio_rate;
            r.audioBits = m.audio_bits;
            // A truncated frame has only the first audio group; the
            // second, in the missing sequences, records as many channels.
            r.audioChannels = truncated ? 2 * m.audio_channels : m.audio_channels;
            r.audioSamples = m.audio_samples;
            r.audioLocked = m.audio_locked != 0;
        }
    }
    if (truncated) return;

    hvdv_captions cc{};
    cc.size = sizeof cc;
    if (hvdv_read_captions(frame, bytes, &cc) == HVDV_OK && cc.present) {
        r.hasCaptions = true;
        r.captionData = cc.field1[0] != 0x80 || cc.field1[1] != 0x80 || cc.field2[0] != 0x80 || cc.field2[1] != 0x80;
        for (uint32_t bits = cc.parity_errors; bits; bits >>= 1) r.captionParityErrors += bits & 1;
    }

    hvdv_audio_info audio{};
    audio.size = sizeof audio;
    if (hvdv_decode_audio(decoder_, frame, bytes, pcm_.data(), pcm_.size(), 0, &audio) == HVDV_OK) {
        // The audio of every channel, where the metadata reads only the
        // first source pack.
        r.hasAudio = true;
        r.audioRate = audio.sample_rate;
        r.audioBits = audio.bits;
        r.audioChannels = audio.channels;
        r.audioSamples = audio.samples;
        r.audioLocked = audio.locked != 0;
        r.hasAudioErrors = true;
        r.audioErrorSamples = audio.error_samples;
    }

    if (!withVideo_) return;
    // Half size: the damage map is the same (it is read from the DIF
    // blocks, not the picture) and the decode costs half as much.
    const size_t luma = size_t(info.coded_width / 2) * (info.coded_height / 2);
    const size_t chroma = size_t(info.chroma_width / 2) * (info.chroma_height / 2);
    if (planes_.size() < luma + 2 * chroma) planes_.resize(luma + 2 * chroma);
    hvdv_picture picture{};
    picture.size = sizeof picture;
    picture.format = HVDV_FORMAT_PLANAR;
    picture.data[0] = planes_.data();
    picture.data[1] = planes_.data() + luma;
    picture.data[2] = planes_.data() + luma + chroma;
    picture.pitch[0] = int32_t(info.coded_width / 2);
    picture.pitch[1] = picture.pitch[2] = int32_t(info.chroma_width / 2);
    hvdv_damage damage{};
    damage.size = sizeof damage;
    const int decoded = hvdv_decode_video(decoder_, frame, bytes, &picture, HVDV_DECODE_HALF, nullptr, &damage);
    if (decoded != HVDV_OK && decoded != HVDV_ERROR_UNDECODABLE) {
        if (r.error.empty()) r.error = hvdv_strerror(decoded);
        return;
    }
    r.hasVideo = true;
    r.macroblocks = damage.macroblock_count;
    r.damaged = decoded == HVDV_OK ? damage.damaged : damage.macroblock_count;
    // An even, non-zero STA: the recorder or the deck replaced the data
    // (concealed); an odd STA marks it in error, which "damaged" counts.
    for (uint32_t i = 0; i < damage.macroblock_count; ++i) {
        const uint8_t sta = damage.macroblocks[i].sta;
        if (sta && !(sta & 1)) ++r.concealed;
    }
    std::copy(damage.sta_counts, damage.sta_counts + 16, r.sta);
}

std::string BreakText(uint32_t reasons) {
    static const char* const kWords[] = {"first frame",      "date/time goes back", "date/time jumps forward",
                                         "timecode goes back", "timecode jumps forward", "REC START",
                                         "DV kind changes",  "aspect changes",      "audio mode changes"};
    std::string text;
    for (int bit = 0; bit < 9; ++bit)
        if (reasons & (1u << bit)) text += (text.empty() ? "" : ", ") + std::string(kWords[bit]);
    return text;
}

FrameVerdict RecordingTracker::Add(const FrameRecord& r) {
    FrameVerdict v;
    uint32_t reasons = frames == 0 ? uint32_t(kBreakFirstFrame) : 0u;
    const uint32_t rateNum = r.identified ? r.rateNum : 0, rateDen = r.identified ? r.rateDen : 1;

    if (r.hasTimecode && rateNum) {
        const uint32_t tcRate = TimecodeRate(rateNum, rateDen);
        const int64_t now = RecordTimecode(r, tcRate);
        if (haveTimecode_ && tcRate == timecodeRate_) {
            // The frames in between advance the timecode by elapsed x
            // tcRate / picture rate: exactly, or within one where 720p
            // pictures share a timecode.
            const int64_t elapsed = int64_t(r.index - timecodeIndex_);
            const int64_t scaled = elapsed * tcRate, pictures = std::max(1u, PictureRate(rateNum, rateDen));
            const int64_t low = scaled / pictures, high = (scaled + pictures - 1) / pictures;
            const int64_t day = TimecodeDay(tcRate, r.tcDrop);
            int64_t delta = (now - lastTimecode_) % day;
            if (delta >= day / 2) delta -= day;
            if (delta < -day / 2) delta += day;
            const bool repeat = r.hasRepeated && r.repeated && delta == 0;
            if (!(delta >= low && delta <= high) && !repeat) {
                v.timecodeBreak = true;
                if (delta < 0)
                    reasons |= kBreakTimecodeBack;
                else if (delta > high + tcRate)
                    reasons |= kBreakTimecodeForward;
            }
        }
        haveTimecode_ = true;
        lastTimecode_ = now;
        timecodeIndex_ = r.index;
        timecodeRate_ = tcRate;
    }

    if (r.hasDate && r.hasTime && rateNum) {
        const int64_t now = DaysFromCivil(r.year, r.month, r.day) * 86400 +
                            (int64_t(r.hours) * 60 + r.minutes) * 60 + r.seconds;
        if (haveDate_) {
            const int64_t delta = now - lastDate_;
            const int64_t elapsedSeconds = int64_t(r.index - dateIndex_) * rateDen / rateNum;
            if (delta < 0)
                reasons |= kBreakDateBack;
            else if (delta > elapsedSeconds + kDateSlackSeconds)
                reasons |= kBreakDateForward;
        }
        haveDate_ = true;
        lastDate_ = now;
        dateIndex_ = r.index;
    }

    const bool recStart = r.hasRecStart && r.recStart;
    if (recStart && !lastRecStart_ && frames) reasons |= kBreakRecStart;
    lastRecStart_ = recStart;

    if (r.identified) {
        if (haveKind_ && r.kind != kind_) reasons |= kBreakKind;
        haveKind_ = true;
        kind_ = r.kind;
    }
    if (r.hasAspect) {
        if (haveAspect_ && r.wide != wide_) reasons |= kBreakAspect;
        haveAspect_ = true;
        wide_ = r.wide;
    }
    if (r.hasAudio) {
        if (haveAudio_ && (r.audioRate != audioRate_ || r.audioBits != audioBits_ || r.audioChannels != audioChannels_)) {
            reasons |= kBreakAudioMode;
            v.audioChange = true;
        }
        haveAudio_ = true;
        audioRate_ = r.audioRate;
        audioBits_ = r.audioBits;
        audioChannels_ = r.audioChannels;
    }

    ++frames;
    if (r.Damaged()) ++damagedFrames;
    if (r.captionData) ++captionFrames;
    if (v.timecodeBreak) ++timecodeBreaks;
    if (v.audioChange) ++audioChanges;
    v.reasons = reasons;
    v.newRecording = reasons != 0;
    if (v.newRecording) ++recordings;
    v.recording = uint32_t(recordings);
    return v;
}

std::unique_ptr<hvdv_input::FrameSource> OpenReading(const std::string& input, const FrameReader& reader, std::string* error) {
    std::unique_ptr<hvdv_input::FrameSource> source = hvdv_input::OpenFrameSource(input, error);
    if (source && reader.Ready(error)) return source;
    return nullptr;
}

}  // namespace hvdv_scan
