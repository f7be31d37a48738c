// Audio of one DV frame: AAUX source packs and the shuffled samples of the
// audio DIF blocks (IEC 61834-2/-4, SMPTE 314M; DVCPRO HD by the same rules
// for each of its DIF channels).
#include "audio/audio.h"

namespace hvdv {

namespace {

constexpr int kSourcePack = 0x50;
constexpr uint32_t kSampleStart = 8;   // ID (3 bytes) and one AAUX pack (5 bytes) come first
constexpr int kError16 = 0x8000;       // the error code of either quantisation
constexpr int kError12 = 0x800;

// Samples of each channel per frame at SMP 0, 1, 2 (48, 44.1, 32 kHz): the
// least, to which the pack's AF_SIZE is added.  The 60-field table also
// serves DVCPRO HD kinds of 10 sequences a channel, the 50-field one those
// of 12.
constexpr int kMinSamples60[3] = {1580, 1452, 1053};
constexpr int kMinSamples50[3] = {1896, 1742, 1264};
constexpr int kRates[3] = {48000, 44100, 32000};

// Where a profile keeps its audio.  A half of "half" sequences has 9 half
// audio blocks; the shuffle deals a channel's samples out over them in rows
// of 9 half: sample n sits in row n / (9 half) (the byte group of the
// block), in block 3 (n mod 3) + (n mod 9 half) / (3 half) and in sequence
// (n / 3 + 2 (n mod 3)) mod half of the half.
struct Layout {
    int sequences;   // per DIF channel
    int half;
    int row;         // 9 half: samples of one byte group over a half
    int units;       // byte groups of a block: 36 of 2 bytes, 24 of 3 bytes
};

// A byte of the frame, or -1 beyond its end.
int ByteAt(const uint8_t* frame, uint32_t frameSize, uint64_t offset) {
    return offset < frameSize ? frame[offset] : -1;
}

// Looks in the audio blocks of sequences [first, first + count) for a source
// pack whose five bytes lie inside the buffer; its offset, or -1.
int64_t FindSourcePack(const uint8_t* frame, uint32_t frameSize, bool headerBlocks, uint32_t first,
                       uint32_t count) {
    for (uint32_t q = first; q < first + count; ++q) {
        for (uint32_t k = 0; k < kAudioBlocksPerSequence; ++k) {
            const uint64_t offset = uint64_t(AudioBlockOffset(q, k, headerBlocks)) + kDifIdBytes;
            if (offset + 5 > frameSize) return -1;  // later blocks lie further on
            if (frame[offset] == kSourcePack) return int64_t(offset);
        }
    }
    return -1;
}

}  // namespace

int16_t Expand12Bit(int code) {
    // The positive codes: 0-511 are the 16-bit values themselves; above, each
    // 256 codes (segment s = code >> 8, 2-7) step by 2^(s-1).  The negative
    // codes mirror them about -1/2 (ones' complement).
    const auto positive = [](int y) {
        const int s = y >> 8;
        return s < 2 ? y : (256 + (y & 0xFF)) << (s - 1);
    };
    const int y = (code & 0x800) ? (code & 0xFFF) - 0x1000 : (code & 0xFFF);
    return int16_t(y >= 0 ? positive(y) : -1 - positive(-1 - y));
}

DVAudioStatus ReadFrameAudio(const uint8_t* frame, uint32_t frameSize, const DVProfile& profile,
                             bool headerBlocks, DVFrameAudio* info) {
    *info = DVFrameAudio{};
    info->locked = info->emphasis = info->tc = -1;
    const int difChannels = profile.channels < 4 ? profile.channels : 4;
    const uint32_t sequences = uint32_t(profile.sequences);
    const uint32_t half = sequences / 2;
    info->halves = 2 * difChannels;

    // Every half's pack; the first one found sets the frame's mode.
    int64_t first = -1;
    int64_t packs[kMaxAudioHalves];
    for (int h = 0; h < info->halves; ++h) {
        packs[h] = FindSourcePack(frame, frameSize, headerBlocks, uint32_t(h) * half, half);
        if (packs[h] >= 0 && first < 0) first = packs[h];
    }
    for (int h = 0; h < info->halves; ++h) {
        DVAudioHalf& x = info->half[h];
        x.pack = packs[h] >= 0;
        x.am = x.pa = x.chn = -1;
        if (x.pack) {
            const int pc2 = frame[packs[h] + 2];
            x.am = pc2 & 0xF;
            x.pa = (pc2 >> 4) & 1;
            x.chn = (pc2 >> 5) & 3;
        }
    }
    if (first < 0) return DVAudioStatus::kNoAudio;
    info->sourcePack = true;

    // PC1: LF (1 unlocked), AF_SIZE.  PC4: EF (0 emphasis on), TC, SMP, QU.
    const int pc1 = frame[first + 1];
    const int pc4 = frame[first + 4];
    info->locked = (pc1 & 0x80) ? 0 : 1;
    info->emphasis = (pc4 & 0x80) ? 0 : 1;
    info->tc = (pc4 >> 6) & 1;
    const int smp = (pc4 >> 3) & 7;
    const int qu = pc4 & 7;
    for (int h = 0; h < info->halves; ++h) {
        DVAudioHalf& x = info->half[h];
        // A half whose pack states another rate or quantisation, or no audio,
        // is silence rather than samples read in the wrong mode.
        x.audio = !x.pack || ((frame[packs[h] + 4] & 0x3F) == (pc4 & 0x3F) && x.am != 0xF);
    }
    if (smp > 2) return DVAudioStatus::kUnsupported;
    info->sampleRate = kRates[smp];
    // 12 bits: two channels in each half, 25 Mb/s only.
    if (qu > 1 || (qu == 1 && difChannels != 1)) return DVAudioStatus::kUnsupported;
    info->quantization = qu ? 12 : 16;
    info->samples = (sequences == 10 ? kMinSamples60 : kMinSamples50)[smp] + (pc1 & 0x3F);
    info->channels = qu ? 4 : 2 * difChannels;
    // 720-line frames alternate between DIF channels 0-1 and 2-3 (FSP 0).
    if (profile.kind == kKind720_50 || profile.kind == kKind720_60) {
        const int id1 = ByteAt(frame, frameSize, 1);
        if (id1 >= 0 && !(id1 & 0x04)) info->channelBase = 4;
    }
    const int units = qu ? 24 : 36;
    if (info->samples > int(9 * half) * units) {
        info->quantization = info->samples = info->channels = 0;
        return DVAudioStatus::kUnsupported;
    }
    return DVAudioStatus::kOk;
}

DVAudioStatus DecodeFrameAudio(const uint8_t* frame, uint32_t frameSize, const DVProfile& profile,
                               bool headerBlocks, int16_t* out, size_t capacity,
                               const DVAudioOptions& options, DVFrameAudio* info) {
    const DVAudioStatus status = ReadFrameAudio(frame, frameSize, profile, headerBlocks, info);
    if (status != DVAudioStatus::kOk) return status;
    const int channels = info->channels;
    const size_t values = size_t(info->samples) * size_t(channels);
    if (!out || capacity < values) return DVAudioStatus::kShortBuffer;

    const bool twelve = info->quantization == 12;
    const Layout layout{profile.sequences, profile.sequences / 2, 9 * (profile.sequences / 2),
                        twelve ? 24 : 36};

    // Which audio blocks are whole inside the buffer and marked as audio
    // (section type 3 in the top bits of the ID).
    constexpr int kBlocks = 4 * 12 * kAudioBlocksPerSequence;
    bool usable[kBlocks];
    const int blocks = info->halves * layout.half * int(kAudioBlocksPerSequence);
    for (int b = 0; b < blocks; ++b) {
        const uint64_t offset = AudioBlockOffset(uint32_t(b) / kAudioBlocksPerSequence,
                                                 uint32_t(b) % kAudioBlocksPerSequence, headerBlocks);
        usable[b] = offset + kDifBlockBytes <= frameSize && (frame[offset] >> 5) == 3;
        if (!usable[b]) ++info->missingBlocks;
    }

    int16_t last[kMaxAudioChannels] = {};
    const auto put = [&](int n, int ch, int16_t value, bool error) {
        const size_t at = size_t(n) * size_t(channels) + size_t(ch);
        if (error) {
            if (info->errorSamples < kAudioErrorPositions) info->errorPositions[info->errorSamples] = uint32_t(at);
            ++info->errorSamples;
            value = options.holdErrors ? last[ch] : 0;
        } else {
            last[ch] = value;
        }
        out[at] = value;
    };

    for (int n = 0; n < info->samples; ++n) {
        const int r = n % 3;
        const int sequence = (n / 3 + 2 * r) % layout.half;
        const int block = 3 * r + (n % layout.row) / (3 * layout.half);
        const int unit = n / layout.row;
        for (int h = 0; h < info->halves; ++h) {
            const int q = (h / 2) * layout.sequences + (h % 2) * layout.half + sequence;
            const int b = q * int(kAudioBlocksPerSequence) + block;
            const bool live = info->half[h].audio && usable[b];
            // Silence (and no pointer into the frame) where the block is unusable.
            const uint32_t at = live ? AudioBlockOffset(uint32_t(q), uint32_t(block), headerBlocks) +
                                           kSampleStart + uint32_t((twelve ? 3 : 2) * unit)
                                     : 0;
            if (!twelve) {
                const int value = live ? (frame[at] << 8) | frame[at + 1] : 0;
                put(n, h, int16_t(value - ((value & 0x8000) << 1)), value == kError16);
            } else {
                // Three bytes: left = first byte and high nibble of the
                // third, right = second byte and its low nibble.
                const int left = live ? (frame[at] << 4) | (frame[at + 2] >> 4) : 0;
                const int right = live ? (frame[at + 1] << 4) | (frame[at + 2] & 0xF) : 0;
                put(n, 2 * h, Expand12Bit(left), left == kError12);
                put(n, 2 * h + 1, Expand12Bit(right), right == kError12);
            }
        }
    }
    return DVAudioStatus::kOk;
}

bool AudioModeChanged(const DVFrameAudio& a, const DVFrameAudio& b) {
    if (a.sampleRate != b.sampleRate || a.quantization != b.quantization || a.channels != b.channels ||
        a.channelBase != b.channelBase || a.halves != b.halves)
        return true;
    for (int h = 0; h < a.halves; ++h)
        if (a.half[h].audio != b.half[h].audio) return true;
    return false;
}

}  // namespace hvdv
