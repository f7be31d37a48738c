// Identification of a DV frame from every source it offers, so that a frame
// whose first DIF sequence is damaged (a clogged head, a dropout, blank tape
// between recordings) is still identified.  ClassifyFrame and
// FrameProfileForDecoding keep serving the compatible interface; this is
// what the second one asks.
#pragma once
#include <cstdint>

#include "format/profile.h"

namespace hvdv {

// Sources of the identification (the same values as HVDV_SOURCE_*).
enum : uint32_t { kProbeHeader = 1, kProbeVaux = 2, kProbeBlockIds = 4, kProbeSize = 8 };

enum class DVProbeFailure { kNone, kTruncated, kNotDv, kAmbiguous, kUnsupported };

struct DVProbe {
    const DVProfile* profile;      // null on failure
    bool headerBlocks;             // sequences begin with a header block (else 149 blocks a sequence)
    uint32_t sources;              // sources read that agree with the result (0 on failure)
    uint32_t conflicts;            // sources read that disagree (on failure: every source read)
    int vauxCopies, vauxAgreeing;  // VAUX source packs (0x60) read / agreeing with the result
    int disp, bcsys;               // majority VAUX source control (0x61) DISP/BCSYS, -1 when none
    bool wide;                     // IsWideScreen(disp, bcsys)
    DVProbeFailure failure;
};

// Identifies the frame from
//   - the header blocks (majority of their DSF bits; APT for 625/50 25 Mb/s),
//   - the VAUX source packs of every DIF sequence (the most frequent
//     50/60 bit and STYPE among the copies),
//   - the DIF block IDs of the first eight blocks of every sequence
//     (sequence numbers, channel bits),
//   - the buffer's size.
// Each present source names the kinds it is consistent with; the kind named
// by the most sources wins, when it is the only one with that count and at
// least one source other than the size names it.  Kinds that only STYPE
// tells apart (50 Mb/s and 720 lines, 1080 and 1035 lines) are therefore not
// guessed: without a surviving STYPE a two-channel frame of channels 0 and 1
// is kAmbiguous.  Reads at most the first 48 DIF sequences, nothing outside
// the buffer; allocates nothing.
bool ProbeFrame(const uint8_t* frame, uint32_t frameSize, DVProbe* out);

}  // namespace hvdv
