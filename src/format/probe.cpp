// Frame identification for the second interface.  This first version takes
// the kind the compatible decoder would use (the first sequence's header
// block and packs, else the size); the reading of every sequence's packs
// and block IDs replaces it.
#include "format/probe.h"

namespace hvdv {

bool ProbeFrame(const uint8_t* frame, uint32_t frameSize, DVProbe* out) {
    *out = DVProbe{};
    out->disp = out->bcsys = -1;
    if (frameSize < kSequenceBytesNoHeader) {
        out->failure = DVProbeFailure::kTruncated;
        return false;
    }
    uint32_t type = 0;
    bool forced525 = false;
    out->profile = FrameProfileForDecoding(frame, frameSize, 0, &type, &forced525);
    if (!out->profile) {
        out->failure = DVProbeFailure::kNotDv;
        return false;
    }
    out->headerBlocks = (type & kFrameHeaders) != 0;
    out->wide = (type & kFrameWide) != 0;
    return true;
}

}  // namespace hvdv
