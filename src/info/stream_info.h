// Stream information read from one DV frame without decoding it; the
// exported DVGetInfo and DVGetInfoEx (include/hv_dec_dv.h) call these.
#pragma once
#include <cstdint>

#include "hv_dec_dv.h"

namespace hvdv {

int32_t StreamInfo(const uint8_t* frame, int32_t frameSize, DVStreamInfo* info, DVAudioInfo* audio,
                   int32_t* audioValid);
int32_t StreamInfoEx(const uint8_t* frame, int32_t frameSize, DVStreamInfoEx* info,
                     DVAudioInfoEx* audio, int32_t* audioValid);

}  // namespace hvdv
