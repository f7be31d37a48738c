// Every exported function of the library: argument checks, then a call
// inward.  Internal results become the documented result codes here.
#include <new>

#include "api/decoder.h"
#include "api/instance.h"
#include "api/query.h"
#include "decode/tables.h"
#include "format/output_format.h"
#include "hv_dec_dv.h"
#include "info/stream_info.h"
#include "threads/cpu.h"
#include "threads/platform.h"
#include "threads/workers.h"

namespace {

int32_t ResultCode(hvdv::DVStatus status) {
    switch (status) {
        case hvdv::DVStatus::kOk: return HVDV_DECODE_OK;
        case hvdv::DVStatus::kDamaged: return HVDV_DECODE_DAMAGED;
        case hvdv::DVStatus::kFailed: break;
    }
    return HVDV_DECODE_FAILED;
}

}  // namespace

extern "C" {

HVDV_API void HVDV_CALL InitDVDec(void) { hvdv::InitTables(); }

HVDV_API DVDecInstance* HVDV_CALL DVNewDec(void) { return hvdv::CreateInstance(hvdv::CpuFlags()); }

HVDV_API void HVDV_CALL DVDoneDec(DVDecInstance* instance) { hvdv::DestroyInstance(instance); }

HVDV_API int32_t HVDV_CALL DVDecompressBuffer(DVDecInstance* instance, const uint8_t* frame,
                                              uint32_t frameSize, uint8_t* picture, int32_t pitch,
                                              uint32_t width, uint32_t height, uint32_t flags,
                                              uint32_t fourcc, int32_t, int32_t) {
    if (!instance) return HVDV_DECODE_FAILED;
    hvdv::EnterLock(instance->lock);
    const hvdv::DVOutputFormat format = hvdv::OutputFormatFromFourcc(fourcc);
    hvdv::DVStatus status = hvdv::DVStatus::kFailed;
    if (format != hvdv::kFormatNone)
        status = hvdv::DecodeWithNewDecoder(instance, frame, frameSize, picture, pitch, width, height,
                                            flags, format);
    hvdv::LeaveLock(instance->lock);
    return ResultCode(status);
}

HVDV_API int32_t HVDV_CALL DecompressBuffer_DV(const uint8_t* frame, uint32_t frameSize,
                                               uint8_t* picture, int32_t pitch, uint32_t width,
                                               uint32_t height, uint32_t flags, uint32_t fourcc,
                                               int32_t, int32_t) {
    const hvdv::DVOutputFormat format = hvdv::OutputFormatFromFourcc(fourcc);
    if (format == hvdv::kFormatNone) return HVDV_DECODE_FAILED;
    return ResultCode(hvdv::DecodeWithNewDecoder(nullptr, frame, frameSize, picture, pitch, width,
                                                 height, flags, format));
}

HVDV_API int32_t HVDV_CALL DVGetInfo(const uint8_t* frame, int32_t frameSize, DVStreamInfo* info,
                                     DVAudioInfo* audio, int32_t* audioValid) {
    return hvdv::StreamInfo(frame, frameSize, info, audio, audioValid);
}

HVDV_API int32_t HVDV_CALL DVGetInfoEx(const uint8_t* frame, int32_t frameSize, DVStreamInfoEx* info,
                                       DVAudioInfoEx* audio, int32_t* audioValid) {
    return hvdv::StreamInfoEx(frame, frameSize, info, audio, audioValid);
}

HVDV_API DVDecQueryFn HVDV_CALL DVDecGetAPIExt(int32_t id) {
    return id == HVDV_API_EXT_QUERY ? &hvdv::DVDecQuery : nullptr;
}

}  // extern "C"
