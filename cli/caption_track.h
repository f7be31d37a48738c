// The closed captions of a DV input as a file's text: SCC (the pairs of one
// field as stored), SRT or plain text (one channel decoded).
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "source.h"

namespace hvdv_cli {

enum class CaptionFormat { kScc, kSrt, kText };

struct CaptionOptions {
    CaptionFormat format = CaptionFormat::kScc;
    int field = 1;             // SCC: 1 or 2
    int channel = 1;           // SRT and text: CC1-CC4
    std::string startTc;       // empty or "dv": each frame's own timecode; else the first frame's
};

struct CaptionSummary {
    uint64_t frames = 0;
    uint64_t withPack = 0;      // frames with a caption pack
    uint64_t withData = 0;      // frames whose pair of the field read carries data
    uint64_t parityErrors = 0;  // frames with a byte of bad parity in that pair
    uint64_t disagreeing = 0;   // frames whose copies of that pair disagree
    uint64_t items = 0;         // SCC lines or cues written
    uint64_t notDv = 0;         // frames that could not be identified (their pairs taken as 80 80)
    uint64_t firstNotDv = 0;    // the first of them
};

// Reads every frame of source into *text.  False with the reason (naming the
// frame) in *error.  progress (may be empty) is called after each frame.
bool MakeCaptions(hvdv_input::FrameSource& source, const CaptionOptions& options, std::string* text,
                  CaptionSummary* summary, std::string* error,
                  const std::function<void(uint64_t)>& progress = nullptr);

}  // namespace hvdv_cli
