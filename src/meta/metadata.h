// Per-frame metadata of one DV frame, read from its subcode, VAUX and AAUX
// packs: timecode, recording date and time, recording start, repeated
// frame, display and field flags, copy control, the audio of each audio
// block group, closed captions and camera packs.  Reads nothing outside the
// buffer and allocates nothing.
#pragma once
#include <cstdint>

#include "format/profile.h"

namespace hvdv {

// A value that a frame may or may not carry: absent is not the same as 0.
struct DVValue {
    bool present;
    int value;
};

// Timecode of the subcode (pack 0x13).  Every DIF sequence repeats it in
// several sync blocks; the value is the one most copies agree on.
struct DVTimecode {
    bool present;
    int hours, minutes, seconds, frames;
    bool dropFrame;   // 525/60 drop-frame counting; never set at 625/50
    int copies;       // copies of the pack found
    int disagreeing;  // copies that differ from the value taken or do not read as a timecode
};

// Recording date (pack 0x62).  Years are two digits: below 70 they are
// 20xx, else 19xx.
struct DVDate {
    bool present;
    int year, month, day;
};

// Recording time (pack 0x63); frames are often left unset.
struct DVTime {
    bool present;
    int hours, minutes, seconds;
    DVValue frames;
};

// AAUX source pack (0x50) of one audio block group: the first or second
// half of the DIF sequences of one DIF channel.
struct DVAudioGroup {
    bool present;
    DVValue sampleRate;  // Hz (SMP)
    DVValue bits;        // 16 linear, 12 non-linear, 20 (QU)
    DVValue channels;    // audio channels in the group's blocks (CHN 0: 1, CHN 1: 2)
    int chn;             // CHN as coded
    int audioMode;       // AM as coded (15: no audio in this group)
    bool locked;         // LF 0: audio locked to the video
    DVValue samples;     // samples of this frame (AF SIZE over the rate's minimum)
};

// Camera packs 0x70-0x7F of the VAUX, raw, with the fields of consumer
// camera 1 (0x70) and shutter (0x7F) decoded.
struct DVCamera {
    uint16_t present;              // bit t: pack 0x70 + t found
    uint8_t packs[16][5];          // first copy of each, type byte included
    DVValue iris;                  // code: F = 2^(code / 8) below 61
    DVValue fNumberTenths;         // that F number times 10, rounded
    DVValue autoExposureMode;
    DVValue gain;                  // AGC code 0-14
    DVValue whiteBalanceMode;
    DVValue whiteBalance;
    DVValue shutterConsumer;       // consumer shutter speed code (1-0x7FFE)
    DVValue shutterUpper, shutterLower;  // professional upper and lower line codes
};

enum : int {
    kMaxAudioGroups = 8,    // four DIF channels, two halves each
    kMaxCaptionPacks = 4,   // distinct closed-caption packs kept a frame
};

struct DVFrameMetadata {
    DVTimecode timecode;
    DVDate vauxDate, subcodeDate;
    DVTime vauxTime, subcodeTime;
    DVValue recordStart;    // AAUX source control REC ST: 1 at a recording's start point
    DVValue repeatedFrame;  // VAUX source control FC 0: the picture repeats the previous one
    DVValue disp, bcsys;    // display format of the VAUX source control pack
    DVValue wide;           // 1: full-format 16:9 or 14:9 from DISP and BCSYS
    DVValue firstField;     // FF: 1 both fields in turn, 0 one field twice
    DVValue fieldOne;       // FS: 1 field 1 first (or repeated), 0 field 2
    DVValue interlaced;     // IL
    DVValue cgms;           // copy generation management: 0 free, 2 once, 3 never
    DVAudioGroup audio[kMaxAudioGroups];  // group 2 c + h: DIF channel c, half h
    DVValue audioChannels;  // sum over the groups that state their channels
    uint8_t captions[kMaxCaptionPacks][5];  // distinct 0x65 packs, in order of appearance
    int captionCount;
    int captionCopies;      // 0x65 packs read, repeats included
    DVCamera camera;
};

// Reads the metadata of one frame laid out as the profile says (DIF channels
// and sequences), with or without header blocks.  A pack counts only when
// its five bytes lie inside frameSize.  Returns false when no pack was found.
bool ReadFrameMetadata(const uint8_t* frame, uint32_t frameSize, const DVProfile& profile,
                       bool headerBlocks, DVFrameMetadata* out);

}  // namespace hvdv
