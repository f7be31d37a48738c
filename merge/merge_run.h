// A whole merge with its I/O: the inputs read through the frame-input
// module (raw DV, a container's DV track), the merged frames written as raw
// DV, a row of the report (CSV, or JSON lines when its name ends in .json)
// for each.  Prints nothing: the tool and the Python package say what they
// need from the summary and the error.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "merge.h"

namespace hvdv_merge {

struct RunOptions {
    std::vector<std::string> inputs;    // "-": standard input (once)
    std::string output;                 // the merged raw DV
    std::string report;                 // empty: none
    bool force = false;                 // overwrite the output and the report
    size_t window = 100;                // frames kept ahead per input (4 to 100000)
};

struct RunSummary {
    uint64_t frames = 0;                // frames written
    uint64_t single = 0;                // frames found in one input only
    uint64_t missing = 0;               // frames no input holds (timecode gaps)
    uint64_t repaired = 0;              // blocks damaged in the chosen frame, clean from another
    uint64_t damagedBlocks = 0;         // blocks still damaged in the output
    uint64_t damagedFrames = 0;         // output frames with a damaged block
    bool audioCounted = false;          // audio error samples counted (with a report)
    uint64_t audioBefore = 0;           // error samples of the best input frame of each output frame
    uint64_t audioAfter = 0;            // error samples of the output
    std::string warning;                // inputs that share no frame, and the like
    std::vector<std::string> leftOut;   // per input: why it was left out (empty: used)
    std::vector<uint32_t> repeats;      // per input: frames dropped as repeats
};

enum class RunResult {
    kDone,
    kArgument,   // options the merge does not take (nothing opened)
    kFailed,     // an input unreadable, inputs of different kinds, no DV frame,
                 // an output that exists or cannot be written: the output
                 // and the report are removed (the message says so)
};

// Runs the merge.  progress, when given, is called after each frame written
// with the totals so far (from the calling thread).  On failure *error holds
// one line naming the file and frame.
RunResult Run(const RunOptions& options, RunSummary* summary, std::string* error,
              const std::function<void(const RunSummary&)>& progress = nullptr);

}  // namespace hvdv_merge
