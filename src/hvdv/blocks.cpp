// hvdv_block_status: the place and state of every DIF block of a frame.
//
// A block's place comes from its position in the buffer.  Video blocks are
// damaged when their STA is not 0, audio blocks when samples carry the error
// code.  Subcode and VAUX packs repeat in every DIF sequence: a pack slot is
// compared with the other copies in the frame: a block is damaged when one
// of its packs is erased where the other sequences carry one, or differs
// from what more than half of the copies of its pack type say.
#include <algorithm>
#include <cstring>

#include "format/probe.h"
#include "hvdv.h"
#include "hvdv/identify.h"
#include "meta/metadata.h"

using namespace hvdv;

namespace {

constexpr uint32_t kPack = 5;
constexpr int kSubcodeSlots = 2 * 6;    // two blocks of six sync blocks
constexpr int kVauxSlots = 3 * 15;      // three blocks of fifteen packs

// Section and number of block n (0-149) of a sequence with header blocks.
void Place(int n, uint8_t* section, uint8_t* number) {
    if (n == 0) {
        *section = HVDV_SECTION_HEADER, *number = 0;
    } else if (n < 3) {
        *section = HVDV_SECTION_SUBCODE, *number = uint8_t(n - 1);
    } else if (n < 6) {
        *section = HVDV_SECTION_VAUX, *number = uint8_t(n - 3);
    } else if ((n - 6) % 16 == 0) {
        *section = HVDV_SECTION_AUDIO, *number = uint8_t((n - 6) / 16);
    } else {
        *section = HVDV_SECTION_VIDEO, *number = uint8_t((n - 6) / 16 * 15 + (n - 6) % 16 - 1);
    }
}

// Per pack type, the value more than half of its copies hold: a
// Boyer-Moore vote in the first pass, the count of agreeing copies in the
// second.  Closed-caption packs (0x65) differ from copy to copy by design
// and are never judged.
struct TypeVote {
    const uint8_t* candidate[256] = {};
    uint16_t lead[256] = {};
    uint16_t copies[256] = {}, agree[256] = {};

    void Add(const uint8_t* p, int pass) {
        const int t = p[0];
        if (t == 0xFF || t == 0x65) return;
        if (pass == 0) {
            if (lead[t] == 0) candidate[t] = p, lead[t] = 1;
            else lead[t] = uint16_t(std::memcmp(candidate[t], p, kPack) == 0 ? lead[t] + 1 : lead[t] - 1);
        } else {
            copies[t]++;
            agree[t] += candidate[t] && std::memcmp(candidate[t], p, kPack) == 0;
        }
    }
    bool Disagrees(const uint8_t* p) const {
        const int t = p[0];
        if (t == 0xFF || t == 0x65 || !candidate[t] || 2 * agree[t] <= copies[t]) return false;
        return std::memcmp(candidate[t], p, kPack) != 0;
    }
};

bool AllOnes(const uint8_t* p) { return p[0] == 0xFF && p[1] == 0xFF && p[2] == 0xFF && p[3] == 0xFF && p[4] == 0xFF; }

}  // namespace

extern "C" HVDV_EXPORT int hvdv_block_status(const uint8_t* frame, size_t frameSize, hvdv_block* blocks,
                                             size_t capacity, hvdv_block_summary* summary) {
    if (!frame || !summary || summary->size < 2 * sizeof(uint32_t) || (!blocks && capacity)) return HVDV_ERROR_ARGUMENT;
    const uint32_t size = frameSize > 0x7FFFFFFFu ? 0x7FFFFFFFu : (uint32_t)frameSize;
    DVProbe probe;
    if (!ProbeFrame(frame, size, &probe)) return ProbeResult(probe.failure);
    const DVProfile& profile = *probe.profile;
    const bool headers = probe.headerBlocks;
    const uint32_t sequenceBlocks = headers ? 150 : 149;
    const uint32_t slots = uint32_t(profile.channels * profile.sequences);
    const uint32_t count = std::min(size / kDifBlockBytes, slots * sequenceBlocks);

    hvdv_block_summary s{};
    s.size = sizeof s;
    s.block_count = count;
    auto deliver = [&] { std::memcpy(summary, &s, std::min<size_t>(summary->size, sizeof s)); };
    if (capacity < count) {
        const uint32_t callerSize = summary->size;
        deliver();
        summary->size = callerSize;
        return blocks ? HVDV_ERROR_BUFFER_SMALL : HVDV_OK;
    }

    // Audio quantisation per half of each DIF channel, from its source pack;
    // a half without one takes the frame's first.
    DVFrameMetadata meta;
    ReadFrameMetadata(frame, size, profile, headers, &meta);
    int firstBits = 16;
    for (const DVAudioGroup& g : meta.audio)
        if (g.bits.present) {
            firstBits = g.bits.value;
            break;
        }
    s.audio_bits = (uint32_t)firstBits;

    // Subcode and VAUX packs: per pack type, the value more than half of
    // its copies hold; per pack slot, whether most sequences that lay out
    // their packs alike carry a pack there.
    const uint32_t sequenceBytes = sequenceBlocks * kDifBlockBytes;
    const uint32_t first = headers ? 1 : 0;  // first subcode block in a sequence
    auto packAt = [&](uint32_t q, uint32_t block, uint32_t offset) -> const uint8_t* {
        const uint64_t at = uint64_t(q) * sequenceBytes + (first + block) * kDifBlockBytes + offset;
        return at + kPack <= size ? frame + at : nullptr;
    };
    auto subcodePack = [&](uint32_t q, int slot) { return packAt(q, slot / 6, kDifIdBytes + 8 * (slot % 6) + 3); };
    auto vauxPack = [&](uint32_t q, int slot) { return packAt(q, 2 + slot / 15, kDifIdBytes + kPack * (slot % 15)); };
    TypeVote subcodeVote, vauxVote;
    uint16_t subcodeFilled[kSubcodeSlots] = {};
    uint16_t vauxFilled[2][kVauxSlots] = {}, vauxSeen[2][kVauxSlots] = {};
    for (int pass = 0; pass < 2; ++pass)
        for (uint32_t q = 0; q < slots; ++q) {
            for (int slot = 0; slot < kSubcodeSlots; ++slot)
                if (const uint8_t* p = subcodePack(q, slot)) {
                    subcodeVote.Add(p, pass);
                    if (pass == 0) subcodeFilled[slot] += p[0] != 0xFF;
                }
            const int parity = int(q % uint32_t(profile.sequences)) % 2;
            for (int slot = 0; slot < kVauxSlots; ++slot)
                if (const uint8_t* p = vauxPack(q, slot)) {
                    vauxVote.Add(p, pass);
                    if (pass == 0) vauxSeen[parity][slot]++, vauxFilled[parity][slot] += p[0] != 0xFF;
                }
        }
    // A pack against the others: erased where other sequences carry a pack
    // in that slot (every recorder fills every subcode slot; VAUX slots are
    // judged against at least half of the sequences of the same parity),
    // differing from the majority of its type.
    auto judge = [](const uint8_t* p, const TypeVote& vote, bool slotFilled) -> uint8_t {
        if (AllOnes(p)) return slotFilled ? HVDV_BLOCK_ERASED : 0;
        return vote.Disagrees(p) ? HVDV_BLOCK_DISAGREES : 0;
    };

    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t q = i / sequenceBlocks;
        const int n = int(i % sequenceBlocks) + (headers ? 0 : 1);
        const uint8_t* b = frame + size_t(i) * kDifBlockBytes;
        hvdv_block r{};
        r.channel = uint8_t(q / uint32_t(profile.sequences));
        r.sequence = uint8_t(q % uint32_t(profile.sequences));
        Place(n, &r.section, &r.number);
        // The ID: section type, sequence number, block number.
        const int sct = b[0] >> 5, dseq = b[1] >> 4;
        if (sct != r.section || b[2] != r.number || (r.section != HVDV_SECTION_HEADER && dseq != (r.sequence & 15)))
            r.flags |= HVDV_BLOCK_BAD_ID;
        switch (r.section) {
            case HVDV_SECTION_VIDEO:
                r.sta = b[3] >> 4;
                if (r.sta) r.flags |= HVDV_BLOCK_STA;
                break;
            case HVDV_SECTION_AUDIO: {
                const int group = 2 * std::min<int>(r.channel, 3) + (2 * r.sequence >= profile.sequences ? 1 : 0);
                const DVAudioGroup& g = meta.audio[group];
                const int bits = g.bits.present ? g.bits.value : firstBits;
                const uint8_t* d = b + 8;  // after the ID and the AAUX pack
                uint32_t errors = 0, total = 0;
                if (bits == 12) {
                    for (int k = 0; k < 72; k += 3) {
                        const int a = d[k] << 4 | d[k + 2] >> 4, c = d[k + 1] << 4 | (d[k + 2] & 15);
                        errors += (a == 0x800) + (c == 0x800);
                        total += 2;
                    }
                } else {
                    for (int k = 0; k < 72; k += 2) errors += d[k] == 0x80 && d[k + 1] == 0;
                    total = 36;
                }
                r.error_samples = uint16_t(errors);
                s.audio_error_samples += errors;
                if (errors) r.flags |= HVDV_BLOCK_AUDIO_ERRORS;
                if (errors == total) r.flags |= HVDV_BLOCK_ALL_ERRORS;
                break;
            }
            case HVDV_SECTION_SUBCODE: {
                for (int k = 0; k < 6; ++k) {
                    const int slot = r.number * 6 + k;
                    r.flags |= judge(b + kDifIdBytes + 8 * k + 3, subcodeVote, subcodeFilled[slot] > 0);
                }
                break;
            }
            case HVDV_SECTION_VAUX: {
                const int parity = r.sequence % 2;
                for (int k = 0; k < 15; ++k) {
                    const int slot = r.number * 15 + k;
                    r.flags |= judge(b + kDifIdBytes + kPack * k, vauxVote,
                                     2 * vauxFilled[parity][slot] >= vauxSeen[parity][slot]);
                }
                break;
            }
            default:
                break;
        }
        if (r.flags) {
            r.flags |= HVDV_BLOCK_DAMAGED;
            s.damaged[r.section]++;
        }
        blocks[i] = r;
    }
    const uint32_t callerSize = summary->size;
    deliver();
    summary->size = callerSize;
    return HVDV_OK;
}
