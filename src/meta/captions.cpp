// Closed captions: every 0x65 pack in the VAUX blocks of the first DIF
// channel's sequences votes for each field's pair on its own, so that one
// damaged copy of a field does not take the other field's pair with it.
#include "meta/captions.h"

namespace hvdv {

namespace {

constexpr uint32_t kPackBytes = 5;
constexpr int kVauxBlocks = 3;   // VAUX DIF blocks of a sequence, after the two subcode blocks
constexpr int kVauxPacks = 15;   // packs of a VAUX DIF block
constexpr int kCandidates = 8;   // distinct values counted a field; further ones only disagree

struct PairVote {
    uint16_t values[kCandidates] = {};
    int counts[kCandidates] = {};
    int distinct = 0;
    int copies = 0;

    void Add(uint16_t v) {
        ++copies;
        for (int i = 0; i < distinct; ++i)
            if (values[i] == v) {
                ++counts[i];
                return;
            }
        if (distinct < kCandidates) {
            values[distinct] = v;
            counts[distinct++] = 1;
        }
    }

    // The value most copies carry; the first one read on a tie.
    DVCaptionField Result() const {
        DVCaptionField f{};
        f.copies = copies;
        int best = -1;
        for (int i = 0; i < distinct; ++i)
            if (best < 0 || counts[i] > counts[best]) best = i;
        if (best < 0) return f;
        f.bytes[0] = uint8_t(values[best] >> 8);
        f.bytes[1] = uint8_t(values[best]);
        f.disagreeing = copies - counts[best];
        return f;
    }
};

}  // namespace

bool ReadFrameCaptions(const uint8_t* frame, uint32_t frameSize, const DVProfile& profile, bool headerBlocks,
                       DVFrameCaptions* out) {
    *out = DVFrameCaptions{};
    if (!frame) return false;
    const uint64_t sequenceBytes = headerBlocks ? kSequenceBytes : kSequenceBytesNoHeader;
    // VAUX blocks follow the header block (if any) and two subcode blocks.
    const uint64_t firstVaux = uint64_t(headerBlocks ? 3 : 2) * kDifBlockBytes;
    PairVote votes[2];
    for (int s = 0; s < profile.sequences; ++s) {
        const uint64_t base = uint64_t(s) * sequenceBytes + firstVaux;
        if (base >= frameSize) break;
        for (int b = 0; b < kVauxBlocks; ++b)
            for (int i = 0; i < kVauxPacks; ++i) {
                const uint64_t offset = base + uint64_t(b) * kDifBlockBytes + kDifIdBytes + kPackBytes * i;
                if (offset + kPackBytes > frameSize) continue;
                const uint8_t* p = frame + offset;
                if (p[0] != 0x65) continue;
                votes[0].Add(uint16_t(p[1] << 8 | p[2]));
                votes[1].Add(uint16_t(p[3] << 8 | p[4]));
            }
    }
    if (votes[0].copies == 0) return false;
    out->present = true;
    for (int f = 0; f < 2; ++f) {
        out->field[f] = votes[f].Result();
        for (int k = 0; k < 2; ++k)
            if (!CaptionParityOk(out->field[f].bytes[k])) out->parityErrors |= 1u << (2 * f + k);
    }
    return true;
}

}  // namespace hvdv
