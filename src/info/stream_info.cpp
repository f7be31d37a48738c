// Stream information read from one DV frame without decoding it: the header
// DIF block, the VAUX source (0x60), source control (0x61) and frame-rate
// (0x64) packs of the first DIF sequence, and the AAUX source pack (0x50) of
// the audio DIF blocks.
#include "info/stream_info.h"

#include <cstring>

#include "format/profile.h"

namespace hvdv {

namespace {

// Byte offsets from the start of a frame that begins with its header block.
constexpr int32_t kHeaderTf1 = 5;      // bit 7: audio data not valid
constexpr int32_t kHeaderTf2 = 6;      // bit 7: video data not valid
constexpr int32_t kRatePack = 468;     // VAUX pack 43: 0x64

// Bytes of one 25 Mb/s DIF channel (10 or 12 DIF sequences).
constexpr int32_t kUnit525 = kChannelBytes525;
constexpr int32_t kUnit625 = kChannelBytes625;

enum FormatCode : int32_t {
    kFormat25 = 1,       // 25 Mb/s, IEC 61834 kind
    kFormat25Apt1 = 2,   // 25 Mb/s with APT = AP1 = AP2 = AP3 = 1 (SMPTE 314M)
    kFormat50 = 3,       // 50 Mb/s 4:2:2
    kFormatHD720 = 4,
    kFormatHD1080 = 5,
};

// The caller's buffer; a byte at or beyond its end is absent.
struct Frame {
    const uint8_t* data;
    int32_t size;

    bool Has(int64_t offset, int64_t count) const { return offset >= 0 && offset + count <= size; }
    int At(int32_t offset) const { return data[offset]; }
};

// Binary-coded decimal frame rate to its value (0x25 -> 25, 0x30 -> 30).
int32_t BcdValue(int32_t code) { return 10 * ((code >> 4) & 0xF) + (code & 0xF); }

// Looks for a pack of the given type among the first AAUX packs (right
// after the 3 ID bytes) of the audio blocks of one DIF channel starting at
// "start"; a pack whose five bytes do not all lie inside the buffer is not
// there.  Returns its offset or -1.
int32_t FindAuxPack(const Frame& frame, int32_t start, bool f50, int packType) {
    const uint32_t sequences = f50 ? 12 : 10;
    for (uint32_t s = 0; s < sequences; ++s) {
        for (uint32_t k = 0; k < kAudioBlocksPerSequence; ++k) {
            const int64_t offset = int64_t(start) + AudioBlockOffset(s, k, true) + kDifIdBytes;
            if (!frame.Has(offset, 5)) return -1;  // later packs lie further on
            if (frame.At(int32_t(offset)) == packType) return int32_t(offset);
        }
    }
    return -1;
}

// Sampling rate of the DIF channel starting at "start", from its AAUX source
// pack; 0 when the channel's audio is marked not valid (TF1) or no rate is
// found.  SMP, bits 5-3 of PC4: 0 = 48 kHz, 1 = 44.1 kHz, 2 = 32 kHz.
int32_t AudioSampleRate(const Frame& frame, int32_t start, bool f50) {
    if (!frame.Has(int64_t(start) + kHeaderTf1, 1) || (frame.At(start + kHeaderTf1) & 0x80)) return 0;
    const int32_t pack = FindAuxPack(frame, start, f50, 0x50);
    if (pack < 0) return 0;
    switch ((frame.At(pack + 4) >> 3) & 7) {
        case 0: return 48000;
        case 1: return 44100;
        case 2: return 32000;
        default: return 0;
    }
}

enum class Variant { kInfo, kInfoEx };

// Everything both calls report, gathered before it is written out.
struct StreamValues {
    int32_t width = 0;
    int32_t height = 0;
    int32_t aspectX = 0;
    int32_t aspectY = 0;
    int32_t rateCode = 0;
    int32_t rateNumerator = 0;
    int32_t systemRateCode = 0;
    int32_t systemRateNumerator = 0;
    int32_t wholeRate = 0;
    int32_t rateDenominator = 0;
    int32_t rateMode = 0;
    int32_t ratePhase = 0;
    int32_t rateFlag = 0;
    int32_t scanCode = 0;
    int32_t frameBytes = 0;
    int32_t formatCode = 0;

    bool f50 = false;
    int32_t difChannels = 0;
    int32_t unit = 0;
    bool audioPermitted = true;
    int32_t audioValid = 0;
};

// Reads the header block and the VAUX packs.  The caller has made sure that
// the buffer holds at least 120000 bytes, which covers every byte read here.
// Returns false when the frame cannot be described.
bool ReadStream(const Frame& frame, Variant variant, StreamValues* v) {
    const DVFrameHeader h = ReadFrameHeader(frame.data, (uint32_t)frame.size);
    if (h.dsf < 0) return false;  // no header block
    const bool dsf625 = h.dsf == 1;
    if (variant == Variant::kInfo && dsf625 && frame.size < kUnit625) return false;
    if (frame.At(kHeaderTf2) & 0x80) return false;  // video not valid

    v->audioValid = (frame.At(kHeaderTf1) & 0x80) ? 0 : 1;
    v->formatCode = kFormat25;
    v->scanCode = 2;
    v->rateMode = 0;
    v->ratePhase = variant == Variant::kInfoEx ? 15 : 0;
    const bool aptAllOne = h.aptAllOne;

    if (!h.sourcePack || !h.controlPack) return false;
    const bool f50 = h.f50 != 0;
    if (f50 != dsf625) return false;
    const int stype = h.stype;
    const int disp = h.disp;
    const int bcsys = h.bcsys;
    v->f50 = f50;

    // High definition: 1080-line frames carry four DIF channels, 720-line
    // frames two; both are always 16:9, and 1035-line frames are described
    // like 1080-line ones.  Standard definition: 25 Mb/s (any STYPE but 4
    // without APT 1, STYPE 0 with it) and 50 Mb/s.
    const DVProfile* profile = nullptr;
    bool wide;
    if ((stype & 0x10) && !(stype & 0x02)) {
        profile = ProfileFromStype(stype == kStype1035 ? kStype1080 : stype, !f50, true);
        if (!profile) return false;
        wide = true;
        v->formatCode = profile->codedHeight == 720 ? kFormatHD720 : kFormatHD1080;
        v->scanCode = profile->codedHeight == 720 ? 1 : 3;
    } else {
        if (!aptAllOne && stype != kStype50) {
            profile = ProfileFromStype(kStype25, !f50, false);
        } else if (stype == kStype25) {
            v->formatCode = kFormat25Apt1;
            profile = ProfileFromStype(kStype25, !f50, true);
        } else if (stype == kStype50) {
            v->formatCode = kFormat50;
            profile = ProfileFromStype(kStype50, !f50, aptAllOne);
        } else {
            return false;
        }
        // DISP 2 alone is 16:9 for the APT-1 kind.
        wide = (aptAllOne && disp == 2) || IsWideScreen(disp, bcsys);
    }
    v->width = profile->displayWidth;
    v->height = profile->codedHeight;
    v->difChannels = profile->channels;
    // The system's picture rate, as binary-coded decimal of its rounded value.
    const int rate = (profile->rateNumerator + profile->rateDenominator / 2) / profile->rateDenominator;
    v->rateCode = 16 * (rate / 10) + rate % 10;
    // 50-field systems run at whole rates (25, 50); 60-field systems at
    // 30000/1001 and 60000/1001.
    v->rateDenominator = f50 ? 1 : 1001;
    v->wholeRate = f50 ? 1 : 0;
    v->systemRateCode = v->rateCode;
    v->systemRateNumerator = BcdValue(v->rateCode) * (f50 ? 1 : 1000);

    v->unit = f50 ? kUnit625 : kUnit525;
    v->frameBytes = (int32_t)profile->frameBytes;
    if (variant == Variant::kInfo && frame.size < v->frameBytes) return false;

    v->aspectX = wide ? 16 : 4;
    v->aspectY = wide ? 9 : 3;

    // Frame-rate pack: taken only when its check byte PC4 equals
    // ((PC1 + PC2 + PC3) mod 256) XOR 0x55.
    const int pc1 = frame.At(kRatePack + 1);
    const int pc2 = frame.At(kRatePack + 2);
    const int pc3 = frame.At(kRatePack + 3);
    if (frame.At(kRatePack) == 0x64 && frame.At(kRatePack + 4) == (((pc1 + pc2 + pc3) & 0xFF) ^ 0x55)) {
        const bool whole = (pc1 & 0x20) != 0;
        v->rateDenominator = whole ? 1 : 1001;
        v->wholeRate = whole ? 1 : 0;
        v->rateFlag = (pc1 >> 4) & 1;
        v->rateCode = pc2;
        // Rate conversion of 24-frame material: mode 1 or 2 by PC1 bit 6,
        // with its phase in PC3.
        const int mode24 = (pc1 & 0x40) ? 2 : 1;
        if (v->formatCode == kFormatHD720) {
            if (pc2 == 0x25 || pc2 == 0x30) {
                if ((pc1 & 3) != 3) v->rateMode = 3;
            } else if (pc2 == 0x24) {
                if ((pc3 & 0xF) != 15) {
                    v->ratePhase = pc3 & 0xF;
                    v->rateMode = mode24;
                }
            }
            if (pc2 != 0x50 && pc2 != 0x60 && v->rateMode == 0) {
                v->audioValid = 0;
                v->audioPermitted = false;
            }
        } else if (pc2 == 0x60 || pc2 == 0x50) {
            v->rateCode = f50 ? 0x25 : 0x30;
        } else if (pc2 == 0x24) {
            v->ratePhase = pc3 & 0xF;
            v->rateMode = mode24;
        }
        if (pc1 & 0x80) v->scanCode = 1;
        if (v->rateFlag) {
            if (variant == Variant::kInfo) v->rateDenominator = 1;
            v->audioValid = 0;
            v->audioPermitted = false;
        }
    }

    if (variant == Variant::kInfo) {
        v->rateNumerator = BcdValue(v->rateCode) * (v->rateDenominator == 1 ? 1 : 1000);
    } else {
        v->rateNumerator = BcdValue(v->rateCode) * (v->wholeRate ? 1 : 1000);
        if (v->formatCode == kFormatHD720 && v->rateMode == 0 &&
            (v->rateCode == 0x25 || v->rateCode == 0x30 || v->rateCode == 0x24)) {
            v->systemRateCode = v->rateCode;
            v->systemRateNumerator = v->rateNumerator;
        }
    }
    return true;
}

// Writes field "index" of a size-prefixed record when its size reaches it.
void PutField(void* record, int32_t size, int index, int32_t value) {
    if (int64_t(size) >= 4 * int64_t(index) + 4)
        std::memcpy(static_cast<uint8_t*>(record) + 4 * index, &value, sizeof value);
}

}  // namespace

int32_t StreamInfo(const uint8_t* frame, int32_t frameSize, DVStreamInfo* info, DVAudioInfo* audio,
                   int32_t* audioValid) {
    if (!audioValid) return HVDV_INFO_FAILED;
    *audioValid = 0;
    if (!frame || !info || frameSize < kUnit525) return HVDV_INFO_FAILED;
    *info = DVStreamInfo{};
    if (audio) *audio = DVAudioInfo{};

    const Frame bytes{frame, frameSize};
    StreamValues v;
    if (!ReadStream(bytes, Variant::kInfo, &v)) return HVDV_INFO_FAILED;

    info->width = v.width;
    info->height = v.height;
    info->aspectX = v.aspectX;
    info->aspectY = v.aspectY;
    info->rateCode = v.rateCode;
    info->rateNumerator = v.rateNumerator;
    info->rateDenominator = v.rateDenominator;
    info->rateMode = v.rateMode;
    info->ratePhase = v.ratePhase;
    info->rateFlag = v.rateFlag;
    info->scanCode = v.scanCode;
    info->frameBytes = v.frameBytes;
    info->formatCode = v.formatCode;

    if (v.audioValid && audio) {
        // One stereo pair per DIF channel looked at: one round for every two
        // DIF channels (the first channel, and the second as well on
        // four-channel 1080-line frames).  This record holds one pair at most.
        int32_t channels = 0;
        int32_t rate = 0;
        for (int32_t r = 0; 2 * r < v.difChannels; ++r) {
            const int32_t found = AudioSampleRate(bytes, r * v.unit, v.f50);
            if (!found) break;
            if (!rate) rate = found;
            channels += 2;
        }
        if (channels > 2) channels = 2;
        v.audioValid = channels > 0 ? 1 : 0;
        audio->formatTag = 4;
        audio->sampleRate = rate;
        audio->bitsPerSample = 16;
        audio->channels = channels;
        audio->bytesPerFrame = channels * 16 / 8;
    }
    *audioValid = v.audioValid;
    return HVDV_INFO_OK;
}

int32_t StreamInfoEx(const uint8_t* frame, int32_t frameSize, DVStreamInfoEx* info,
                     DVAudioInfoEx* audio, int32_t* audioValid) {
    if (audioValid) *audioValid = 0;
    if (!frame || !info || frameSize < kUnit525) return HVDV_INFO_FAILED;

    const Frame bytes{frame, frameSize};
    StreamValues v;
    if (!ReadStream(bytes, Variant::kInfoEx, &v)) return HVDV_INFO_FAILED;

    // Field 0 is the caller's size and is never written; field 16 is kept 0.
    const int32_t size = info->size;
    const int32_t fields[18] = {0,
                                v.width,
                                v.height,
                                v.aspectX,
                                v.aspectY,
                                v.rateCode,
                                v.rateNumerator,
                                v.systemRateCode,
                                v.systemRateNumerator,
                                v.wholeRate,
                                v.rateDenominator,
                                v.rateMode,
                                v.ratePhase,
                                v.rateFlag,
                                v.scanCode,
                                v.frameBytes,
                                0,
                                v.formatCode};
    for (int i = 1; i < 18; ++i) PutField(info, size, i, fields[i]);

    if (audio) {
        const int32_t audioSize = audio->size;
        for (int i = 1; i < 11; ++i) PutField(audio, audioSize, i, 0);
        if (v.audioPermitted) {
            PutField(audio, audioSize, 6, 2 * v.difChannels);  // most channels the format carries
            if (frameSize >= v.frameBytes) {
                // Every DIF channel may carry its own stereo pair; stop at the
                // first one without valid audio.
                int32_t channels = 0;
                int32_t rate = 0;
                int32_t found[4] = {0, 0, 0, 0};
                for (int32_t c = 0; c < v.difChannels; ++c) {
                    const int32_t channelRate = AudioSampleRate(bytes, c * v.unit, v.f50);
                    if (!channelRate) break;
                    if (!rate) rate = channelRate;
                    channels += 2;
                    found[c] = 1;
                }
                PutField(audio, audioSize, 1, 4);
                PutField(audio, audioSize, 2, channels);
                PutField(audio, audioSize, 3, rate);
                PutField(audio, audioSize, 4, 16);
                PutField(audio, audioSize, 5, 16 * channels / 8);
                for (int c = 0; c < 4; ++c) PutField(audio, audioSize, 7 + c, found[c]);
                v.audioValid = channels > 0 ? 1 : 0;
            }
        }
    }
    if (audioValid) *audioValid = v.audioValid;
    return HVDV_INFO_OK;
}

}  // namespace hvdv
