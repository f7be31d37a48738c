// Frame identification by vote.
//
// A DV frame describes itself several times over: every DIF sequence starts
// with a header block (DSF: 525/60 or 625/50; APT), carries the VAUX source
// pack (50/60 bit and STYPE) in its main area, and every DIF block ID
// repeats the sequence number and the channel.  The buffer's size adds
// system and channel count.  A tape dropout or a clogged head wipes some of
// these, rarely all; each source that survives names the kinds it is
// consistent with, and the kind most sources name is the frame's.
#include "format/probe.h"

namespace hvdv {

namespace {

// The kinds told apart here: the profiles, with the two 625/50 25 Mb/s
// profiles as one (only the header's APT bits tell 4:2:0 from 4:1:1, and no
// other source can contradict them), and the 1035-line kinds, which have no
// profile.
enum Group { k525x25, k625x25, k525x50, k625x50, k720x60, k720x50, k1080x60, k1080x50, k1035x60, k1035x50, kGroups };

struct GroupShape {
    bool is525;
    int channels, sequences;  // DIF channels of the frame, sequences of each
    int stype;                // STYPE of the VAUX source pack
    int kind;                 // DVKind (k625x25: the 4:2:0 one); -1 without a profile
};

constexpr GroupShape kShapes[kGroups] = {
    {true, 1, 10, kStype25, kKind525_411},   {false, 1, 12, kStype25, kKind625_420},
    {true, 2, 10, kStype50, kKind525_422},   {false, 2, 12, kStype50, kKind625_422},
    {true, 2, 10, kStype720, kKind720_60},   {false, 2, 12, kStype720, kKind720_50},
    {true, 4, 10, kStype1080, kKind1080_60}, {false, 4, 12, kStype1080, kKind1080_50},
    {true, 4, 10, kStype1035, -1},           {false, 4, 12, kStype1035, -1},
};

// The largest frame: four channels of twelve sequences.
constexpr uint32_t kMaxSlots = 48;

// The first eight blocks of a sequence, whose IDs are read: header, two
// subcode, three VAUX, the first audio and the first video block, with
// their section types and block numbers.
constexpr int kPlaces = 8;
constexpr uint8_t kPlaceSection[kPlaces] = {0, 1, 1, 2, 2, 2, 3, 4};
constexpr uint8_t kPlaceNumber[kPlaces] = {0, 0, 1, 0, 1, 2, 0, 0};

// A block ID: byte 0 section type (bits 7-5) over a 1 (bit 4); byte 1
// sequence number (bits 7-4), FSC (bit 3), FSP (bit 2, 1 below 100 Mb/s) and
// two 1s; byte 2 the block number.  An ID is read only when every fixed
// part fits its place, so that noise, zeros and erased blocks say nothing.
bool IdFits(const uint8_t* b, int place) {
    return (b[0] >> 5) == kPlaceSection[place] && (b[0] & 0x10) && (b[1] & 3) == 3 && b[2] == kPlaceNumber[place];
}

// Channel number c = FSC + 2 (1 - FSP): (0,1) 0, (1,1) 1, (0,0) 2, (1,0) 3.
int IdChannel(const uint8_t* b) {
    return ((b[1] >> 3) & 1) + 2 * (1 - ((b[1] >> 2) & 1));
}

struct Reading {
    int dsf[2];      // header blocks per DSF value
    int apt[2];      // header blocks without / with APT and AP1-AP3 all 1
    int source[64];  // VAUX source packs per (50/60 bit, STYPE)
    int copies;
    int control[32];  // VAUX source control packs per (DISP, BCSYS)
    int controlOrder[32];
    int controls;
    // Per sequence of the buffer, the distinct values of the IDs that fit
    // their place, (sequence << 2) | channel, and how many IDs carry each.
    uint8_t idValue[kMaxSlots][kPlaces];
    uint8_t idCount[kMaxSlots][kPlaces];
    uint8_t idValues[kMaxSlots];
    uint32_t slots;
    int observed;  // IDs that fit their place
};

void ReadPacks(const uint8_t* block, Reading& r) {
    // 15 packs of 5 bytes after the ID.
    for (int i = 0; i < 15; i++) {
        const uint8_t* pack = block + kDifIdBytes + 5 * i;
        if (pack[0] == 0x60) {
            r.source[((pack[3] >> 5) & 1) << 5 | (pack[3] & 0x1F)]++;
            r.copies++;
        } else if (pack[0] == 0x61) {
            const int v = (pack[2] & 7) << 2 | (pack[3] & 3);
            if (r.control[v]++ == 0) r.controlOrder[v] = r.controls;
            r.controls++;
        }
    }
}

void ReadFrame(const uint8_t* frame, uint32_t frameSize, bool headerBlocks, Reading& r) {
    const uint32_t sequenceBytes = headerBlocks ? kSequenceBytes : kSequenceBytesNoHeader;
    const int first = headerBlocks ? 0 : 1;  // place of a sequence's first stored block
    r.slots = frameSize / sequenceBytes + (frameSize % sequenceBytes != 0);
    if (r.slots > kMaxSlots) r.slots = kMaxSlots;
    for (uint32_t q = 0; q < r.slots; q++) {
        for (int p = first; p < kPlaces; p++) {
            const uint32_t offset = q * sequenceBytes + (uint32_t)(p - first) * kDifBlockBytes;
            if (offset + kDifBlockBytes > frameSize) break;
            const uint8_t* b = frame + offset;
            // Packs are read only from a block whose ID fits its place: a
            // random byte 0x60 in noise is no source pack.
            if (!IdFits(b, p)) continue;
            if (p >= 3 && p <= 5) ReadPacks(b, r);
            const uint8_t value = (uint8_t)((b[1] >> 4) << 2 | IdChannel(b));
            int k = 0;
            while (k < r.idValues[q] && r.idValue[q][k] != value) k++;
            if (k == r.idValues[q]) r.idValue[q][r.idValues[q]++] = value;
            r.idCount[q][k]++;
            r.observed++;
            if (p == 0) {
                r.dsf[(b[3] >> 7) & 1]++;
                bool aptAllOne = true;
                for (int i = 4; i < 8; i++)
                    if ((b[i] & 7) != 1) aptAllOne = false;
                r.apt[aptAllOne]++;
            }
        }
    }
}

// Block IDs that contradict the group: sequence q of the buffer should be
// sequence q mod S of channel (q / S) mod C (the next frame's after the
// frame's end).  A 720-line picture is one half of a four-channel frame,
// channels 0 and 1 or 2 and 3, and the other half follows it.
int IdMismatches(const Reading& r, const GroupShape& g) {
    const bool pair = g.stype == kStype720;
    int best = 0;
    for (int base = 0; base <= (pair ? 2 : 0); base += 2) {
        int n = 0;
        for (uint32_t q = 0; q < r.slots; q++) {
            const int s = (int)q % g.sequences, c = (int)q / g.sequences;
            const uint8_t want = (uint8_t)(s << 2 | (pair ? (base + c) % 4 : c % g.channels));
            for (int k = 0; k < r.idValues[q]; k++)
                if (r.idValue[q][k] != want) n += r.idCount[q][k];
        }
        if (base == 0 || n < best) best = n;
    }
    return best;
}

int PopCount(uint32_t v) {
    int n = 0;
    for (; v; v &= v - 1) n++;
    return n;
}

}  // namespace

bool ProbeFrame(const uint8_t* frame, uint32_t frameSize, DVProbe* out) {
    *out = DVProbe{};
    out->disp = out->bcsys = -1;
    out->failure = DVProbeFailure::kTruncated;
    if (!frame) frameSize = 0;
    // A frame stored without header blocks begins with the two subcode
    // blocks, then VAUX; with them, the third block is still subcode.
    // (ReadFrameHeader looks for the subcode ID 0x3F only; real decks also
    // write 0x30, whose Arb bits are 0.)
    out->headerBlocks = !(frameSize > 2 * kDifBlockBytes && (frame[0] >> 5) == 1 &&
                          (frame[2 * kDifBlockBytes] >> 5) == 2);
    const uint32_t sequenceBytes = out->headerBlocks ? kSequenceBytes : kSequenceBytesNoHeader;
    if (frameSize < sequenceBytes) return false;

    Reading r{};
    ReadFrame(frame, frameSize, out->headerBlocks, r);
    out->vauxCopies = r.copies;
    int bestControl = -1;
    for (int v = 0; v < 32; v++)
        if (r.control[v] &&
            (bestControl < 0 || r.control[v] > r.control[bestControl] ||
             (r.control[v] == r.control[bestControl] && r.controlOrder[v] < r.controlOrder[bestControl])))
            bestControl = v;
    if (bestControl >= 0) {
        out->disp = bestControl >> 2;
        out->bcsys = bestControl & 3;
        out->wide = IsWideScreen(out->disp, out->bcsys);
    }

    const bool headers = r.dsf[0] + r.dsf[1] > 0;
    const uint32_t read =
        (headers ? kProbeHeader : 0u) | (r.copies ? kProbeVaux : 0u) | (r.observed ? kProbeBlockIds : 0u) | kProbeSize;
    out->conflicts = read;
    out->failure = DVProbeFailure::kNotDv;
    if (read == kProbeSize) return false;

    // The source pack value most copies carry, when no other value has as
    // many; and its group (kGroups for a STYPE this library does not know).
    int named = -1, namedCopies = 0;
    for (int v = 0; v < 64; v++) {
        if (r.source[v] > namedCopies) {
            named = v;
            namedCopies = r.source[v];
        } else if (r.source[v] == namedCopies && namedCopies > 0) {
            named = -1;
        }
    }
    int namedGroup = kGroups;
    for (int g = 0; g < kGroups && named >= 0; g++)
        if (kShapes[g].is525 == !(named >> 5) && kShapes[g].stype == (named & 0x1F)) namedGroup = g;

    // The block IDs name the groups they contradict least, when that is at
    // most half of them.
    int mismatches[kGroups];
    int fewest = r.observed;
    for (int g = 0; g < kGroups; g++) {
        mismatches[g] = IdMismatches(r, kShapes[g]);
        if (mismatches[g] < fewest) fewest = mismatches[g];
    }

    uint32_t votes[kGroups] = {};
    for (int g = 0; g < kGroups; g++) {
        const GroupShape& s = kShapes[g];
        if (r.dsf[0] != r.dsf[1] && s.is525 == (r.dsf[0] > r.dsf[1])) votes[g] |= kProbeHeader;
        if (g == namedGroup) votes[g] |= kProbeVaux;
        if (r.observed && mismatches[g] == fewest && 2 * fewest <= r.observed) votes[g] |= kProbeBlockIds;
        if (frameSize == (uint32_t)(s.channels * s.sequences) * sequenceBytes) votes[g] |= kProbeSize;
    }

    // The group most sources name.  The 1035-line kinds share the 1080-line
    // sizes; they are only considered when the source packs name them.  The
    // size alone identifies nothing: any buffer has one.
    int winner = -1, top = 0;
    bool tie = false;
    for (int g = 0; g < kGroups; g++) {
        if (kShapes[g].kind < 0 && g != namedGroup) continue;
        const int score = PopCount(votes[g]);
        if (score > top) {
            winner = g;
            top = score;
            tie = false;
        } else if (score == top) {
            tie = true;
        }
    }
    const bool unknownKind = named >= 0 && (namedGroup == kGroups || kShapes[namedGroup].kind < 0);
    if (winner < 0 || tie || !(votes[winner] & ~kProbeSize) || kShapes[winner].kind < 0) {
        out->failure = unknownKind ? DVProbeFailure::kUnsupported : DVProbeFailure::kAmbiguous;
        return false;
    }

    const GroupShape& s = kShapes[winner];
    int kind = s.kind;
    // 625/50 25 Mb/s is 4:1:1 when the header blocks say APT and AP1-AP3
    // are all 1 (as ClassifyFrame rules; a frame without header blocks is
    // 4:2:0).
    if (winner == k625x25 && r.apt[1] > r.apt[0]) kind = kKind625_411;
    out->profile = ProfileForKind(kind);
    out->sources = votes[winner];
    out->conflicts = read & ~votes[winner];
    out->vauxAgreeing = r.source[(s.is525 ? 0 : 32) | s.stype];
    out->failure = DVProbeFailure::kNone;
    return true;
}

}  // namespace hvdv
