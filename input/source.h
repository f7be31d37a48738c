// Where the tool's DV frames come from: a raw DV file or standard input, or
// the video track of a container (AVI type 1 and 2, QuickTime / MP4, MXF)
// read with libavformat.  Every frame is handed on byte for byte as stored.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace hvdv_input {

// What the container says about the stream, where it says it.  The tool's
// stream facts come from the DIF data; these are reported beside them when
// they disagree.
struct ContainerFacts {
    std::string format;          // "raw DV", "AVI", "QuickTime / MP4", "MXF", ...
    std::string codecTag;        // e.g. "dvsd", "dvc ", "dvh6"; empty for raw DV
    int rateNumerator = 0;       // 0: not stated
    int rateDenominator = 1;
    int aspectNumerator = 0;     // display aspect; 0: not stated
    int aspectDenominator = 1;
    std::string timecode;        // timecode track or tag; empty: none
    int64_t frames = -1;         // frames the container states; -1: unknown
    bool framesEstimated = false;  // raw DV: frames from the file size and the first
                                   // frame's, wrong when the kind changes part-way
    bool separateAudio = false;  // audio in a track of its own (type-2 AVI, QuickTime)
    // Raw DV that does not start with a whole frame: why, and the bytes
    // skipped to the first one (their frames are not read).  Empty: none.
    std::string notice;
};

// One DV frame as stored.
struct SourceFrame {
    std::vector<uint8_t> bytes;
    uint64_t index = 0;          // from 0, in the order of the input
    int64_t offset = -1;         // byte offset in the input file; -1 unknown
};

class FrameSource {
public:
    virtual ~FrameSource() = default;
    // The next frame; false at the end of the input or on an error (Error()
    // is then not empty).  A last frame cut short is returned as it is.
    virtual bool Next(SourceFrame* frame) = 0;
    virtual const ContainerFacts& Facts() const = 0;
    virtual std::string Error() const = 0;
};

// Opens path ("-": standard input, raw DV, read as a stream of any length).
// Null with a reason in *error, e.g. "not a DV stream" or, in a build
// without libavformat, "this hvdv was built without libavformat: only raw
// DV can be read".
std::unique_ptr<FrameSource> OpenFrameSource(const std::string& path, std::string* error);

// True when containers can be read (the tool was built with libavformat).
bool ContainersSupported();

}  // namespace hvdv_input
