// Several transfers of one tape become one: the frames of each transfer are
// placed on the tape from everything they carry (timecode, recording date
// and time, the clean blocks they share with the other transfers, their
// order), and every DIF block of an output frame is taken from a transfer
// that read it cleanly.  No I/O: frames go in, decisions and merged frames
// come out; each input keeps a window of a bounded number of frames, so
// memory does not grow with the length of the tape.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "hvdv.h"

namespace hvdv_merge {

// How an input's frame was found to be the output frame's place.
enum class Match : uint8_t {
    kNone,       // the input has no frame there ("missing")
    kChosen,     // the frame the others were matched against
    kTimecode,   // same timecode, clean blocks consistent
    kContent,    // clean video / audio blocks byte-identical
    kDate,       // same recording date and time, nothing against it
    kPosition,   // between frames matched in step, nothing against it
};
const char* MatchName(Match m);

// One frame of an input as the merge sees it.
struct InputFrame {
    std::vector<uint8_t> bytes;
    uint64_t index = 0;                 // in its input, from 0
    bool identified = false;
    hvdv_kind kind = HVDV_KIND_UNKNOWN;
    uint32_t frameBytes = 0;
    std::vector<hvdv_block> blocks;     // one record a whole block
    uint32_t damaged = 0;               // damaged blocks
    uint32_t audioErrors = 0;           // error samples of its decoded audio (when decoded)
    bool hasTimecode = false, tcTrusted = false, tcDrop = false;
    int64_t timecode = 0;               // frames since midnight
    uint8_t tc[4] = {};                 // hours, minutes, seconds, frames
    bool hasDate = false, dateTrusted = false;  // trusted: no subcode or VAUX block damaged
    int64_t recorded = 0;               // seconds since 1970, local time as recorded
    bool recStart = false;
};

// Reads what the merge needs from f->bytes (f->index set by the caller);
// the audio is decoded to count its error samples when decodeAudio is set.
// The record's buffers are reused.
void Describe(InputFrame* f, bool decodeAudio);

struct InputUse {
    Match match = Match::kNone;
    uint64_t index = 0;                 // the input frame (when match is not kNone)
    uint32_t blocksTaken = 0;           // output blocks copied from it
    uint32_t damaged = 0;               // its damaged blocks
    uint32_t audioErrors = 0;           // error samples of its decoded audio
    uint32_t repeatsSkipped = 0;        // its frames dropped before this one as repeats
};

struct OutputFrame {
    std::vector<uint8_t> bytes;
    uint64_t index = 0;
    bool hasTimecode = false, tcDrop = false;
    uint8_t tc[4] = {};
    bool hasDate = false;
    int64_t recorded = 0;
    std::vector<InputUse> inputs;       // one per input
    uint32_t blocks = 0;
    uint32_t damaged = 0;               // damaged blocks of the output
    uint32_t repaired = 0;              // blocks damaged in the chosen frame, clean from another
    uint32_t audioErrors = 0;           // error samples of the output's decoded audio
    uint32_t sources = 0;               // inputs holding this frame
    uint32_t missingBefore = 0;         // frames no input holds just before (timecode gap)
};

struct Options {
    size_t window = 100;                // frames kept ahead per input
    bool audioErrors = false;           // count the output's audio error samples (decodes its audio)
};

class Merger {
public:
    Merger(size_t inputs, const Options& options = Options());

    // True while input i wants another frame before the merge can go on.
    bool Wants(size_t i) const;
    // Hands input i's next frame over (frames in the input's order).
    void Push(size_t i, InputFrame&& frame);
    // A record whose buffers were used before, to be filled and pushed
    // (saves an allocation a frame).
    void Spare(InputFrame* f);
    // Input i has no more frames.
    void End(size_t i);
    // The next output frame, when the windows allow a decision; false when
    // more input is needed or everything has been written.
    bool Next(OutputFrame* out);
    // True when every input ended and every frame went out.
    bool Done() const;

    // A reason to stop (inputs of different DV kinds or systems): empty
    // while the merge can go on.
    const std::string& Error() const { return error_; }
    // Something the caller should be told (inputs that share no frame).
    const std::string& Warning() const { return warning_; }
    // Inputs left out and why (empty reason: in use).
    const std::vector<std::string>& LeftOut() const { return leftOut_; }
    // The kind of input i's first identified frame (after the first output
    // was asked for).
    hvdv_kind Kind(size_t i) const;
    // Frames of input i dropped as repeats of the frame before.
    uint32_t Repeats(size_t i) const { return inputs_[i].repeats; }

private:
    struct Input {
        std::deque<InputFrame> window;
        bool ended = false;
        bool excluded = false;
        bool pending = false;           // shares no frame with the others yet
        bool havePrevious = false;
        InputFrame previous;            // last frame taken (for repeats)
        void Retire(InputFrame&& f, std::vector<InputFrame>* spare);
        uint32_t repeats = 0;
    };
    bool Ready() const;
    void CheckInputs();
    void Admit(const std::vector<size_t>& active);
    bool Repeat(size_t i, const InputFrame& head) const;
    int Find(const InputFrame& a, size_t j, Match* how) const;
    void Build(const std::vector<size_t>& group, const std::vector<Match>& how, OutputFrame* out);

    Options options_;
    std::vector<Input> inputs_;
    std::vector<std::string> leftOut_;
    std::vector<hvdv_kind> kinds_;
    std::vector<bool> lastGroup_;       // inputs that gave the last output
    std::string error_, warning_;
    bool checked_ = false;
    uint64_t produced_ = 0;
    // The last output: its timecode, and the input whose previous frame led it.
    bool haveLast_ = false, lastTcTrusted_ = false;
    int64_t lastTimecode_ = 0;
    hvdv_kind lastKind_ = HVDV_KIND_UNKNOWN;
    size_t lastLead_ = 0;
    std::vector<InputFrame> spare_;
    std::vector<size_t> from_;          // Build: the frame each output block came from
};

}  // namespace hvdv_merge
