// One frame's work in "hvdv decode": the frame as read, its picture and
// audio decoded through hvdv.h, and the concealment of damaged macroblocks
// with the previous picture.  Decoding a frame touches only its FrameWork
// and the decoder passed in, so that several frames can be decoded at once
// with one decoder each.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "decode_setup.h"
#include "hvdv.h"
#include "source.h"

namespace hvdv_cli {

// What every frame is decoded to; fixed by the first frame.
struct DecodeSettings {
    hvdv_kind kind = HVDV_KIND_UNKNOWN;  // a frame of another kind is not decoded
    bool video = true;
    uint32_t format = HVDV_FORMAT_PLANAR;  // or a packed FOURCC
    uint32_t flags = 0;                    // HVDV_DECODE_HALF (planar)
    PlaneLayout planes;                    // planar
    PictureGeometry packed;                // packed
    bool audio = false;
    bool md5 = false;  // the MD5 of every picture, taken where it is decoded
    size_t PictureBytes() const {
        return format == HVDV_FORMAT_PLANAR ? planes.bytes : size_t(packed.pitch) * packed.height;
    }
};

// hvdv_decode_video's results, and one of the tool's own.
constexpr int kKindChanged = -1000;

struct FrameWork {
    hvdv_input::SourceFrame input;
    std::vector<uint8_t> picture;  // the planes one after the other, or the packed picture
    int video = HVDV_OK;           // hvdv result or kKindChanged
    hvdv_kind kind = HVDV_KIND_UNKNOWN;  // of this frame, when known
    uint32_t damagedMacroblocks = 0;     // ERROR, MISSING or BAD_ID
    uint32_t concealedBlocks = 0;        // video blocks whose even STA says the recorder concealed them
    std::string md5;                     // of picture, when settings.md5
    std::vector<int16_t> pcm;            // interleaved, audioInfo.samples x channels
    int audio = HVDV_ERROR_NO_AUDIO;
    hvdv_audio_info audioInfo{};
};

// Decodes work->input with decoder into work->picture and work->pcm.  A
// frame that cannot be decoded leaves a grey picture (planar) or zero bytes
// (packed).
void DecodeFrame(hvdv_decoder* decoder, const DecodeSettings& settings, FrameWork* work);

// Damaged macroblocks keep the previous picture's samples: frames pass
// through Apply in output order; a frame with damage is decoded again into
// the previous picture with HVDV_DECODE_KEEP_DAMAGED (frames without damage
// write every macroblock, so they need no second decode), and a frame that
// could not be decoded repeats the previous picture.  Planar output only.
// The MD5 of a picture that changes is taken again.
class Concealer {
public:
    ~Concealer();
    // cpuMask as in hvdv_decoder_config.  False when no decoder can be made.
    bool Init(uint32_t cpuMask);
    void Apply(const DecodeSettings& settings, FrameWork* work);

private:
    hvdv_decoder* decoder_ = nullptr;
    std::vector<uint8_t> previous_;
    bool havePrevious_ = false;
};

}  // namespace hvdv_cli
