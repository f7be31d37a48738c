// Per-frame metadata: one pass over the subcode, VAUX and AAUX packs of every
// DIF sequence.  Packs are five bytes: a type, then PC1-PC4.
#include "meta/metadata.h"

#include <cmath>
#include <cstring>

namespace hvdv {

namespace {

constexpr uint32_t kPackBytes = 5;
constexpr int kSyncBlocks = 6;       // subcode sync blocks of a subcode DIF block
constexpr int kVauxPacks = 15;       // packs of a VAUX DIF block

// Two binary-coded decimal digits, the tens limited to the bits given;
// -1 when a digit is not decimal.
int Bcd(int byte, int tensMask) {
    const int units = byte & 0xF, tens = (byte >> 4) & tensMask;
    return units > 9 || tens > 9 ? -1 : 10 * tens + units;
}

DVValue Value(int v) { return DVValue{true, v}; }

// Recording date: PC2 day (tens in bits 5-4), PC3 month (tens in bit 4),
// PC4 year.  All digits set means unknown; so does any non-decimal digit.
DVDate ReadDate(const uint8_t* p) {
    const int day = Bcd(p[2], 3), month = Bcd(p[3], 1), year = Bcd(p[4], 0xF);
    if (day < 1 || day > 31 || month < 1 || month > 12 || year < 0) return DVDate{};
    // Two-digit years: 70-99 are 19xx, 00-69 are 20xx.  MediaInfo and
    // video-tools turn at 75 instead; DV appeared in 1995, so both read every
    // real recording alike and only 70-74 differ.
    return DVDate{true, year < 70 ? 2000 + year : 1900 + year, month, day};
}

// Recording time: PC1 frames, PC2 seconds, PC3 minutes, PC4 hours.
DVTime ReadTime(const uint8_t* p) {
    const int s = Bcd(p[2], 7), m = Bcd(p[3], 7), h = Bcd(p[4], 3);
    if (s < 0 || s > 59 || m < 0 || m > 59 || h < 0 || h > 23) return DVTime{};
    const int f = Bcd(p[1], 3);
    return DVTime{true, h, m, s, f < 0 ? DVValue{} : Value(f)};
}

// Timecode fields as one key (PC1-PC4 without the colour-frame, polarity
// and binary-group flags; at 625/50 PC1 bit 6 is not a drop-frame flag and
// is dropped too).  -1 when a digit is out of range.
int64_t TimecodeKey(const uint8_t* p, bool is525) {
    const int f = Bcd(p[1], 3), s = Bcd(p[2], 7), m = Bcd(p[3], 7), h = Bcd(p[4], 3);
    if (f < 0 || f > 29 || s < 0 || s > 59 || m < 0 || m > 59 || h < 0 || h > 23) return -1;
    const int df = is525 ? (p[1] >> 6) & 1 : 0;
    return int64_t(df) << 32 | h << 24 | m << 16 | s << 8 | f;
}

// Votes for the timecode copies.  FFmpeg reads the first copy alone; a tape
// played with a clogged head can carry two timecodes in one frame, so every
// copy votes.  A few distinct values at most are kept (more than that on a
// frame means most copies are damaged, and they count as such).
struct TimecodeVote {
    int64_t keys[8] = {};
    int counts[8] = {};
    int distinct = 0;
    int copies = 0;

    void Add(int64_t key) {
        ++copies;
        if (key < 0) return;
        for (int i = 0; i < distinct; ++i)
            if (keys[i] == key) {
                ++counts[i];
                return;
            }
        if (distinct < 8) {
            keys[distinct] = key;
            counts[distinct++] = 1;
        }
    }

    DVTimecode Result() const {
        DVTimecode tc{};
        tc.copies = copies;
        int best = -1;
        for (int i = 0; i < distinct; ++i)
            if (best < 0 || counts[i] > counts[best]) best = i;
        if (best < 0) {
            tc.disagreeing = copies;
            return tc;
        }
        const int64_t k = keys[best];
        tc.present = true;
        tc.dropFrame = (k >> 32) & 1;
        tc.hours = int(k >> 24) & 0xFF;
        tc.minutes = int(k >> 16) & 0xFF;
        tc.seconds = int(k >> 8) & 0xFF;
        tc.frames = int(k) & 0xFF;
        tc.disagreeing = copies - counts[best];
        return tc;
    }
};

// The fewest samples a frame carries at 48, 44.1 and 32 kHz; AF SIZE is
// the count above it.
constexpr int kMinSamples525[3] = {1580, 1452, 1053};
constexpr int kMinSamples625[3] = {1896, 1742, 1264};

DVAudioGroup ReadAudioSource(const uint8_t* p, bool is525) {
    DVAudioGroup g{};
    g.present = true;
    g.locked = (p[1] & 0x80) == 0;
    g.chn = (p[2] >> 5) & 3;
    g.audioMode = p[2] & 0xF;
    if (g.chn < 2) g.channels = Value(g.chn + 1);
    const int smp = (p[4] >> 3) & 7;
    if (smp < 3) {
        static constexpr int kRates[3] = {48000, 44100, 32000};
        g.sampleRate = Value(kRates[smp]);
        g.samples = Value((is525 ? kMinSamples525 : kMinSamples625)[smp] + (p[1] & 0x3F));
    }
    static constexpr int kBits[3] = {16, 12, 20};
    if ((p[4] & 7) < 3) g.bits = Value(kBits[p[4] & 7]);
    return g;
}

// VAUX source control (0x61): PC1 CGMS in bits 7-6; PC2 DISP in bits 2-0;
// PC3 FF, FS, FC, IL in bits 7-4 and BCSYS in bits 1-0.
void ReadSourceControl(const uint8_t* p, DVFrameMetadata* m) {
    m->cgms = Value(p[1] >> 6);
    m->disp = Value(p[2] & 7);
    m->bcsys = Value(p[3] & 3);
    m->wide = Value(IsWideScreen(p[2] & 7, p[3] & 3) ? 1 : 0);
    m->firstField = Value(p[3] >> 7);
    m->fieldOne = Value((p[3] >> 6) & 1);
    m->repeatedFrame = Value((p[3] >> 5) & 1 ? 0 : 1);
    m->interlaced = Value((p[3] >> 4) & 1);
}

void ReadCamera(const uint8_t* p, DVCamera* c) {
    const int t = p[0] - 0x70;
    if (c->present & (1u << t)) return;
    c->present = uint16_t(c->present | 1u << t);
    std::memcpy(c->packs[t], p, kPackBytes);
    if (p[0] == 0x70) {
        // Consumer camera 1: PC1 iris (bits 5-0, 63 unknown), PC2 AE mode
        // and AGC (15 unknown each), PC3 white balance mode (7 unknown) and
        // white balance (31 unknown).
        const int iris = p[1] & 0x3F;
        if (iris != 0x3F) c->iris = Value(iris);
        if (iris <= 60) c->fNumberTenths = Value(int(std::lround(10.0 * std::exp2(iris / 8.0))));
        if ((p[2] >> 4) != 0xF) c->autoExposureMode = Value(p[2] >> 4);
        if ((p[2] & 0xF) != 0xF) c->gain = Value(p[2] & 0xF);
        if ((p[3] >> 5) != 7) c->whiteBalanceMode = Value(p[3] >> 5);
        if ((p[3] & 0x1F) != 0x1F) c->whiteBalance = Value(p[3] & 0x1F);
    } else if (p[0] == 0x7F) {
        // Shutter: PC1 and PC2 the professional upper and lower line codes
        // (0xFF unknown), PC3 and PC4 bits 6-0 the 15-bit consumer code,
        // low byte first (0x7FFF unknown).
        if (p[1] != 0xFF) c->shutterUpper = Value(p[1]);
        if (p[2] != 0xFF) c->shutterLower = Value(p[2]);
        const int consumer = (p[4] & 0x7F) << 8 | p[3];
        if (consumer != 0x7FFF) c->shutterConsumer = Value(consumer);
    }
}

void ReadVauxPack(const uint8_t* p, DVFrameMetadata* m) {
    switch (p[0]) {
        case 0x61:
            if (!m->disp.present) ReadSourceControl(p, m);
            break;
        case 0x62:
            if (!m->vauxDate.present) m->vauxDate = ReadDate(p);
            break;
        case 0x63:
            if (!m->vauxTime.present) m->vauxTime = ReadTime(p);
            break;
        case 0x65: {
            ++m->captionCopies;
            bool seen = false;
            for (int i = 0; i < m->captionCount; ++i) seen = seen || std::memcmp(m->captions[i], p, kPackBytes) == 0;
            if (!seen && m->captionCount < kMaxCaptionPacks) std::memcpy(m->captions[m->captionCount++], p, kPackBytes);
            break;
        }
        default:
            if (p[0] >= 0x70 && p[0] <= 0x7F) ReadCamera(p, &m->camera);
    }
}

}  // namespace

bool ReadFrameMetadata(const uint8_t* frame, uint32_t frameSize, const DVProfile& profile,
                       bool headerBlocks, DVFrameMetadata* out) {
    *out = DVFrameMetadata{};
    if (!frame) return false;
    bool found = false;
    // A pack at `offset` is read only when its five bytes lie in the buffer.
    auto pack = [&](uint64_t offset) -> const uint8_t* {
        if (offset + kPackBytes > frameSize) return nullptr;
        const uint8_t* p = frame + offset;
        if (p[0] == 0xFF) return nullptr;  // no pack
        found = true;
        return p;
    };
    const uint64_t sequenceBytes = headerBlocks ? kSequenceBytes : kSequenceBytesNoHeader;
    const uint64_t first = headerBlocks ? uint64_t(kDifBlockBytes) : 0;  // the first subcode block
    const int sequences = profile.sequences;
    TimecodeVote vote;

    const int channels = profile.channels < 4 ? profile.channels : 4;  // two audio groups each
    for (int c = 0; c < channels; ++c) {
        for (int s = 0; s < sequences; ++s) {
            const uint32_t q = uint32_t(c * sequences + s);
            const uint64_t base = q * sequenceBytes + first;
            if (base >= frameSize) break;
            // Two subcode blocks of six sync blocks: two ID bytes and a
            // parity byte, then the pack.
            for (int b = 0; b < 2; ++b)
                for (int i = 0; i < kSyncBlocks; ++i) {
                    const uint8_t* p = pack(base + b * kDifBlockBytes + kDifIdBytes + 8 * i + 3);
                    if (!p) continue;
                    if (p[0] == 0x13) vote.Add(TimecodeKey(p, profile.is525));
                    if (p[0] == 0x62 && !out->subcodeDate.present) out->subcodeDate = ReadDate(p);
                    if (p[0] == 0x63 && !out->subcodeTime.present) out->subcodeTime = ReadTime(p);
                }
            // Three VAUX blocks of fifteen packs follow.
            for (int b = 2; b < 5; ++b)
                for (int i = 0; i < kVauxPacks; ++i)
                    if (const uint8_t* p = pack(base + b * kDifBlockBytes + kDifIdBytes + kPackBytes * i))
                        ReadVauxPack(p, out);
            // The first pack of each audio block.  The first half of a
            // channel's sequences carries one audio block group, the second
            // half the other.
            DVAudioGroup& group = out->audio[2 * c + (2 * s >= sequences ? 1 : 0)];
            for (uint32_t k = 0; k < kAudioBlocksPerSequence; ++k) {
                const uint8_t* p = pack(uint64_t(AudioBlockOffset(q, k, headerBlocks)) + kDifIdBytes);
                if (!p) continue;
                if (p[0] == 0x50 && !group.present) group = ReadAudioSource(p, profile.is525);
                // AAUX source control: REC ST is PC2 bit 7, 0 at a start point.
                if (p[0] == 0x51 && !out->recordStart.present) out->recordStart = Value(p[2] & 0x80 ? 0 : 1);
            }
        }
    }
    out->timecode = vote.Result();
    int total = 0;
    for (const DVAudioGroup& g : out->audio)
        if (g.channels.present) {
            total += g.channels.value;
            out->audioChannels = Value(total);
        }
    return found;
}

}  // namespace hvdv
