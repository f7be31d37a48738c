// The audio of one DV frame: the AAUX source pack (0x50) of every half of
// every DIF channel, and the samples of the audio DIF blocks as interleaved
// signed 16-bit PCM.
//
// Each DIF channel splits its sequences into two halves (sequences 0-4 and
// 5-9 at 525/60, 0-5 and 6-11 at 625/50).  With 16-bit samples a half holds
// one channel: the first half the left, the second the right channel of the
// DIF channel's stereo pair.  With 12-bit samples (25 Mb/s, 32 kHz) a half
// holds a whole stereo pair, three bytes for a left and a right sample, so a
// frame carries four channels; each half's packs say whether it has audio.
#pragma once
#include <cstddef>
#include <cstdint>

#include "format/profile.h"

namespace hvdv {

enum : int {
    kMaxAudioChannels = 8,       // DVCPRO HD: four DIF channels of a stereo pair
    kMaxAudioHalves = 8,         // two halves of each of four DIF channels
    kAudioErrorPositions = 16,   // error samples whose position is kept
};

// What the AAUX source pack of one half says; -1 where the pack is absent.
struct DVAudioHalf {
    bool pack;       // a source pack was found in this half's sequences
    bool audio;      // its samples are decoded (else silence): the pack is
                     // absent or agrees with the frame's mode and AM is not 15
    int am;          // AUDIO MODE (15: no audio in this half)
    int pa;          // PA: 1 one pair of channels, 0 independent channels
    int chn;         // CHN: audio channels in one audio block (0 one, 1 two)
};

// The frame's audio, from the first source pack found (DIF channel after
// channel, first half first).  Values are 0 / -1 where no pack gives them.
struct DVFrameAudio {
    bool sourcePack;        // some half carries a source pack
    int sampleRate;         // 48000, 44100, 32000; 0 absent or reserved
    int quantization;       // 16 (linear) or 12 (non-linear); 0 absent or unsupported
    int locked;             // LF: 1 locked, 0 unlocked, -1 absent
    int emphasis;           // EF: 1 on (TC says 50/15 us when tc is 1), 0 off, -1 absent
    int tc;                 // emphasis time constant bit, -1 absent
    int samples;            // samples of each channel in this frame (AF_SIZE + minimum)
    int channels;           // interleaved channels of the output
    int channelBase;        // 720-line DVCPRO HD: 4 when the frame holds DIF channels 2-3
    int halves;             // 2 x DIF channels
    DVAudioHalf half[kMaxAudioHalves];
    uint32_t errorSamples;  // samples that carried the error code
    uint32_t errorPositions[kAudioErrorPositions];  // their output indices, the first ones
    uint32_t missingBlocks; // audio blocks outside the buffer or not marked as audio
};

enum class DVAudioStatus : int {
    kOk = 0,
    kNoAudio,        // no source pack in the frame: nothing written
    kUnsupported,    // reserved rate or quantisation, or more samples than the blocks hold
    kShortBuffer,    // capacity below samples x channels: nothing written
};

struct DVAudioOptions {
    // Error samples become the previous good sample of their channel in this
    // frame (0 before the first); otherwise silence (0).
    bool holdErrors = false;
};

// Reads the source packs of the frame's audio blocks (profile: the frame's
// kind; headerBlocks: sequences begin with a header block).  Bytes beyond
// frameSize are never read.
DVAudioStatus ReadFrameAudio(const uint8_t* frame, uint32_t frameSize, const DVProfile& profile,
                             bool headerBlocks, DVFrameAudio* info);

// ReadFrameAudio, then the samples: info->samples x info->channels values,
// channel 0 first, into out (capacity values).  Allocates nothing.
DVAudioStatus DecodeFrameAudio(const uint8_t* frame, uint32_t frameSize, const DVProfile& profile,
                               bool headerBlocks, int16_t* out, size_t capacity,
                               const DVAudioOptions& options, DVFrameAudio* info);

// True when two frames' audio cannot be joined into one stream: rate,
// quantisation, channels or which halves carry audio differ.
bool AudioModeChanged(const DVFrameAudio& a, const DVFrameAudio& b);

// 12-bit non-linear code (two's complement) to its 16-bit linear value.
int16_t Expand12Bit(int code);

}  // namespace hvdv
