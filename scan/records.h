// What a scan knows about each frame, and where one recording on a tape
// ends and the next begins.  Only the public hvdv.h calls are used.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hvdv.h"
#include "source.h"

namespace hvdv_scan {

enum class FieldOrder { kUnknown, kBottomFirst, kTopFirst, kProgressive };

// One frame as read.  A value whose `has` flag is false was not in the
// frame (or not readable): it is reported as absent, never as 0.
struct FrameRecord {
    uint64_t index = 0;
    int64_t offset = -1;           // -1: not known (a container)
    size_t bytes = 0;              // as stored
    std::string error;             // why the frame could not be (fully) read

    bool identified = false;       // hvdv_probe_frame knew the kind
    hvdv_kind kind = HVDV_KIND_UNKNOWN;
    uint32_t frameBytes = 0;       // of a whole frame of that kind
    uint32_t rateNum = 0, rateDen = 1;

    bool hasTimecode = false;
    uint32_t tcHours = 0, tcMinutes = 0, tcSeconds = 0, tcFrames = 0;
    bool tcDrop = false;
    bool hasDate = false, hasTime = false;
    uint32_t year = 0, month = 0, day = 0, hours = 0, minutes = 0, seconds = 0;
    bool hasRecStart = false, recStart = false;
    bool hasRepeated = false, repeated = false;
    bool hasAspect = false, wide = false;
    FieldOrder fieldOrder = FieldOrder::kUnknown;

    bool hasAudio = false;
    uint32_t audioRate = 0, audioBits = 0, audioChannels = 0, audioSamples = 0;
    bool audioLocked = false;
    bool hasAudioErrors = false;   // the samples were decoded
    uint32_t audioErrorSamples = 0;

    bool hasCaptions = false;      // a closed-caption pack (VAUX 0x65) was read
    bool captionData = false;      // its pair of field 1 or 2 is not 80 80
    uint32_t captionParityErrors = 0;  // bytes of the two pairs with bad parity (0-4)

    bool hasVideo = false;         // the picture was decoded (scan only)
    uint32_t macroblocks = 0, damaged = 0, concealed = 0;
    uint32_t sta[16] = {};         // video blocks per STA value

    // Damaged in any way the record shows: damaged or concealed macroblocks,
    // audio error samples, a frame cut short or not identified.
    bool Damaged() const;
    // Share of the macroblocks damaged or concealed, 0 to 1 (1 when the
    // picture could not be decoded at all).
    double DamageShare() const;
};

// "01:02:03:04", or "01:02:03;04" for drop-frame; empty when absent.
std::string TimecodeText(const FrameRecord& r);
// "2024-07-08T19:55:58" (local time, as recorded), the date or the time
// alone when only one is there; empty when absent.
std::string RecordedText(const FrameRecord& r);
// The YUV4MPEG2 interlace tag of a frame ('b', 't' or 'p'): the field order
// its VAUX control pack states, else the usual one of its kind.
char InterlaceTag(const hvdv_frame_info& info, const hvdv_metadata* meta);
// "DV25 525/60 4:1:1", ...
const char* KindName(hvdv_kind kind);
const char* FieldOrderName(FieldOrder order);  // null for kUnknown
// The non-zero STA values with their block counts, "a:810 f:3"; empty
// when every block is clean.
std::string StaText(const FrameRecord& r);

// A frame shorter than one DIF sequence (12000 bytes) that still begins with
// its header, two subcode and three VAUX blocks, as a file cut short keeps
// it: its whole blocks are copied into *padded (a sequence long), the rest
// set to 0xFF, what a missing pack reads, so that the calls that need a
// whole sequence read what it carries (kind, timecode, date, aspect, and the
// audio mode when its AAUX source pack is there).  False (padded untouched)
// for any other frame.
bool PadShortFrame(const uint8_t* frame, size_t size, std::vector<uint8_t>* padded);
constexpr size_t kDifSequenceBytes = 12000;

// Reads frames with one decoder: probe, metadata, audio and (withVideo) a
// half-size planar decode for the damage map, into buffers allocated once.
class FrameReader {
public:
    explicit FrameReader(bool withVideo);
    ~FrameReader();
    FrameReader(const FrameReader&) = delete;
    FrameReader& operator=(const FrameReader&) = delete;

    // False when no decoder could be made (error says why).
    bool Ready(std::string* error) const;
    void Read(const uint8_t* frame, size_t size, uint64_t index, int64_t offset, FrameRecord* record);

private:
    bool withVideo_;
    hvdv_decoder* decoder_ = nullptr;
    int createResult_ = 0;
    std::vector<uint8_t> planes_;
    std::vector<int16_t> pcm_;
    std::vector<uint8_t> padded_;
};

// Opens input to be read frame by frame with `reader`; null with the reason
// in *error when the input or the reader's decoder cannot be had.
std::unique_ptr<hvdv_input::FrameSource> OpenReading(const std::string& input, const FrameReader& reader, std::string* error);

// Why a frame begins a new recording (bits of FrameVerdict::reasons).
enum RecordingBreak : uint32_t {
    kBreakFirstFrame = 1 << 0,
    kBreakDateBack = 1 << 1,
    kBreakDateForward = 1 << 2,
    kBreakTimecodeBack = 1 << 3,
    kBreakTimecodeForward = 1 << 4,
    kBreakRecStart = 1 << 5,
    kBreakKind = 1 << 6,
    kBreakAspect = 1 << 7,
    kBreakAudioMode = 1 << 8
};

// The reasons as words, "date/time goes back, timecode goes back".
std::string BreakText(uint32_t reasons);

struct FrameVerdict {
    bool newRecording = false;
    uint32_t reasons = 0;          // RecordingBreak bits
    uint32_t recording = 0;        // 1-based number of the frame's recording
    bool timecodeBreak = false;    // the timecode does not continue the last one
    bool audioChange = false;      // rate, bits or channels differ from the last frame with audio
};

// The recording rule.  A frame starts a new recording when, against the
// last frame that carried the value:
//   - its recording date and time goes back, or forward by more than the
//     time the frames in between last plus kDateSlackSeconds (the clock is
//     read in whole seconds and ticks apart from the frames; frames lost in
//     capture add a little more);
//   - its timecode goes back, or forward by more than one second of
//     timecode beyond the frames in between (smaller skips are frames lost
//     in capture: counted as timecode breaks, not as new recordings);
//   - REC START is set and was not on the frame before;
//   - the DV kind, the aspect or the audio mode (rate, bits, channels)
//     changes.
// A value a frame lacks never starts a recording (a damaged frame may lose
// its packs); the comparison waits for the next frame that has it.
class RecordingTracker {
public:
    static constexpr int64_t kDateSlackSeconds = 3;

    FrameVerdict Add(const FrameRecord& r);

    uint64_t frames = 0, damagedFrames = 0, recordings = 0, timecodeBreaks = 0, audioChanges = 0;
    uint64_t captionFrames = 0;    // frames whose caption pairs carry data

private:
    bool haveTimecode_ = false;
    int64_t lastTimecode_ = 0;     // frames since midnight
    uint64_t timecodeIndex_ = 0;
    uint32_t timecodeRate_ = 0;
    bool haveDate_ = false;
    int64_t lastDate_ = 0;         // seconds from 1970-01-01, local time
    uint64_t dateIndex_ = 0;
    bool lastRecStart_ = false;
    bool haveKind_ = false;
    hvdv_kind kind_ = HVDV_KIND_UNKNOWN;
    bool haveAspect_ = false, wide_ = false;
    bool haveAudio_ = false;
    uint32_t audioRate_ = 0, audioBits_ = 0, audioChannels_ = 0;
};

}  // namespace hvdv_scan
