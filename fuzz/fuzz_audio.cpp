// Fuzz target: the audio of one frame from any bytes, in exact-size buffers.
//
// Input: 4 parameter bytes, then the frame.
//   0     the profile (one of the kinds below, by the value modulo their number)
//   1     bit 0: sequences start with a header block, bit 1: hold error samples,
//         bit 2: the output is cut by the length below instead of exact
//   2-3   a length of values taken off the output capacity
#include <cstdint>

#include "audio/audio.h"
#include "fuzz_common.h"

using hvdv_fuzz::ExactBuffer;
using hvdv_fuzz::ParamReader;
using hvdv_fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int kKinds[] = {hvdv::kKind625_420, hvdv::kKind525_411, hvdv::kKind625_411,
                                 hvdv::kKind625_422,  hvdv::kKind525_422, hvdv::kKind720_50,
                                 hvdv::kKind720_60,   hvdv::kKind1080_50, hvdv::kKind1080_60};
    ParamReader params(data, size);
    const hvdv::DVProfile& profile = *hvdv::ProfileForKind(kKinds[params.Byte() % 9]);
    const uint8_t flags = params.Byte();
    const uint16_t cut = params.Word();
    const bool headerBlocks = flags & 1;

    const ExactBuffer frame(params.Rest(), params.RestSize());
    const uint32_t frameSize = (uint32_t)frame.size();

    hvdv::DVFrameAudio info;
    const hvdv::DVAudioStatus read = hvdv::ReadFrameAudio(frame.data(), frameSize, profile, headerBlocks, &info);
    const size_t needed = read == hvdv::DVAudioStatus::kOk ? (size_t)info.samples * info.channels : 0;
    Require(needed <= (size_t)hvdv::kMaxAudioChannels * 1944);

    // The output: exactly the values asked for, or fewer.
    const size_t capacity = (flags & 4) ? (cut < needed ? needed - cut : 0) : needed;
    ExactBuffer out(capacity * sizeof(int16_t));
    hvdv::DVAudioOptions options;
    options.holdErrors = flags & 2;
    const hvdv::DVAudioStatus s = hvdv::DecodeFrameAudio(frame.data(), frameSize, profile, headerBlocks,
                                                         reinterpret_cast<int16_t*>(out.data()), capacity,
                                                         options, &info);
    Require(s == read || (s == hvdv::DVAudioStatus::kShortBuffer && capacity < needed));
    if (s == hvdv::DVAudioStatus::kOk) {
        Require(info.channels > 0 && info.channels <= hvdv::kMaxAudioChannels);
        Require(info.errorSamples <= needed);
        Require(info.missingBlocks <= (uint32_t)(profile.channels * profile.sequences * 9));
    }
    return 0;
}
