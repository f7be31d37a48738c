// Fuzz target: the second interface on any bytes, as a caller uses it -
// probe, then planar decoding into planes of exactly the size the probe
// gives, then audio into exactly the samples the frame states, then
// metadata.  Every buffer is an exact-size heap block.
//
// Input: 4 parameter bytes, then the frame.
//   0     decode flags (HALF, KEEP_DAMAGED, SWAP_FIELDS; others cleared)
//   1     bit 0: audio errors held; bit 1: one decoding thread
//   2-3   bytes cut off the end of the frame (more than it has: none left)
#include <cstdint>
#include <cstring>
#include <memory>

#include "fuzz_common.h"
#include "hvdv.h"

using hvdv_fuzz::ExactBuffer;
using hvdv_fuzz::ParamReader;
using hvdv_fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ParamReader params(data, size);
    const uint32_t flags = params.Byte() & (HVDV_DECODE_HALF | HVDV_DECODE_KEEP_DAMAGED | HVDV_DECODE_SWAP_FIELDS);
    const uint8_t options = params.Byte();
    const uint16_t cut = params.Word();
    const size_t whole = params.RestSize();
    const ExactBuffer frame(params.Rest(), cut < whole ? whole - cut : 0);

    hvdv_frame_info info{};
    info.size = sizeof info;
    const int probed = hvdv_probe_frame(frame.data(), frame.size(), &info);
    if (probed != HVDV_OK) {
        Require(probed < 0 && hvdv_read_metadata(frame.data(), frame.size(), nullptr) == HVDV_ERROR_ARGUMENT);
        return 0;
    }
    Require(info.kind != HVDV_KIND_UNKNOWN && info.coded_width <= 1440 && info.coded_height <= 1080);

    static hvdv_decoder* decoder[2] = {};
    const int d = options & 2 ? 1 : 0;
    if (!decoder[d]) {
        hvdv_decoder_config config{};
        config.size = sizeof config;
        config.threads = d ? 1 : 0;
        Require(hvdv_decoder_create(&config, &decoder[d]) == HVDV_OK);
    }

    const int s = flags & HVDV_DECODE_HALF ? 1 : 0;
    std::unique_ptr<ExactBuffer> plane[3];
    hvdv_picture pic{};
    pic.size = sizeof pic;
    pic.format = HVDV_FORMAT_PLANAR;
    for (int i = 0; i < 3; i++) {
        const uint32_t w = (i ? info.chroma_width : info.coded_width) >> s;
        const uint32_t h = (i ? info.chroma_height : info.coded_height) >> s;
        plane[i].reset(new ExactBuffer((size_t)w * h));
        pic.data[i] = plane[i]->data();
        pic.pitch[i] = (int32_t)w;
    }
    hvdv_damage damage{};
    damage.size = sizeof damage;
    const int decoded = hvdv_decode_video(decoder[d], frame.data(), frame.size(), &pic, flags, nullptr, &damage);
    Require(decoded == HVDV_OK || decoded == HVDV_ERROR_UNDECODABLE);
    uint32_t counted = 0;
    for (uint32_t b = 0; b < damage.macroblock_count; b++)
        counted += (damage.macroblocks[b].flags & (HVDV_MB_ERROR | HVDV_MB_MISSING | HVDV_MB_BAD_ID)) != 0;
    Require(counted == damage.damaged && damage.macroblock_count <= 4 * 12 * 135);

    hvdv_audio_info audio{};
    audio.size = sizeof audio;
    int r = hvdv_decode_audio(decoder[d], frame.data(), frame.size(), nullptr, 0, 0, &audio);
    if (r == HVDV_ERROR_BUFFER_SMALL) {
        Require(audio.channels <= HVDV_MAX_AUDIO_CHANNELS && audio.samples <= HVDV_MAX_AUDIO_SAMPLES);
        ExactBuffer pcm((size_t)audio.channels * audio.samples * 2);
        r = hvdv_decode_audio(decoder[d], frame.data(), frame.size(), reinterpret_cast<int16_t*>(pcm.data()),
                              (size_t)audio.channels * audio.samples,
                              options & 1 ? HVDV_AUDIO_HOLD_ERRORS : 0, &audio);
        Require(r == HVDV_OK);
    }

    hvdv_metadata meta{};
    meta.size = sizeof meta;
    Require(hvdv_read_metadata(frame.data(), frame.size(), &meta) == HVDV_OK);
    Require(!(meta.present & HVDV_META_TIMECODE) || (meta.tc_hours < 24 && meta.tc_minutes < 60));
    hvdv_captions cc{};
    cc.size = sizeof cc;
    Require(hvdv_read_captions(frame.data(), frame.size(), &cc) == HVDV_OK);
    Require(cc.present == (cc.copies > 0) && cc.field1_disagreeing < cc.copies + !cc.present &&
            cc.parity_errors < 16 && (cc.present || cc.field1[0] == 0x80));
    return 0;
}
