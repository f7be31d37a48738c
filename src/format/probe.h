// Identifies a frame's kind for the second interface.
#pragma once
#include <cstdint>

#include "format/profile.h"

namespace hvdv {

// Sources of a probe's answer (the same values as hvdv.h's HVDV_SOURCE_*).
enum : uint32_t { kProbeHeader = 1, kProbeVaux = 2, kProbeBlockIds = 4, kProbeSize = 8 };
enum class DVProbeFailure { kNone, kTruncated, kNotDv, kAmbiguous, kUnsupported };

struct DVProbe {
    const DVProfile* profile;  // null on failure
    bool headerBlocks;         // sequences begin with a header block
    uint32_t sources;          // sources read that agree with the result
    uint32_t conflicts;        // sources read that disagree
    int vauxCopies, vauxAgreeing;
    int disp, bcsys;           // VAUX source control DISP and BCSYS, -1 when none
    bool wide;
    DVProbeFailure failure;
};

bool ProbeFrame(const uint8_t* frame, uint32_t frameSize, DVProbe* out);

}  // namespace hvdv
