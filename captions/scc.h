// Scenarist SCC text: the caption pairs of one field as four-digit hex
// words, a line for each run of frames with data, stamped with the
// timecode of the run's first frame.  And the SMPTE timecode arithmetic it
// needs (drop-frame counting at 30 frames a second).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace hvdv_cc {

struct Timecode {
    int hours = 0, minutes = 0, seconds = 0, frames = 0;
    bool dropFrame = false;
};

// "HH:MM:SS:FF", or "HH:MM:SS;FF" (also "." or "," before the frames) for
// drop-frame.  False when it is not a timecode of `rate` (25 or 30) frames a
// second, or names a frame that drop-frame counting skips.
bool ParseTimecode(const std::string& text, int rate, Timecode* tc);
// "HH:MM:SS:FF", ";" before the frames when drop-frame.
std::string TimecodeText(const Timecode& tc);
// Frames from 00:00:00:00, and back; the count wraps at 24 hours.
int64_t TimecodeFrames(const Timecode& tc, int rate);
Timecode FramesTimecode(int64_t frames, int rate, bool dropFrame);

// Writes SCC text pair after pair, one pair a frame.
class SccWriter {
public:
    SccWriter();
    // The frame's pair; a pair other than 0x80 0x80 continues the frame
    // before's line or starts one stamped with tc.
    void Add(const Timecode& tc, uint8_t byte1, uint8_t byte2);
    const std::string& Text() const { return text_; }
    uint64_t Lines() const { return lines_; }

private:
    std::string text_;
    bool inRun_ = false;
    uint64_t lines_ = 0;
};

struct SccLine {
    Timecode timecode;
    std::vector<uint16_t> words;  // byte 1 in the high half
};

// Reads SCC text; false with the line and the reason in *error.
bool ParseScc(const std::string& text, std::vector<SccLine>* lines, std::string* error);

}  // namespace hvdv_cc
