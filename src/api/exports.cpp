// The exported decoding interface: decoder instances and the two decode calls.
#include <new>

#include "api/decoder.h"
#include "api/formats.h"
#include "api/instance.h"
#include "hv_dec_dv.h"
#include "threads/cpu.h"
#include "threads/platform.h"
#include "threads/workers.h"

using hvdv::DVSegmentJob;

extern "C" {

HVDV_API DVDecInstance* HVDV_CALL DVNewDec(void) {
    DVDecInstance* instance = new (std::nothrow) DVDecInstance();
    if (!instance) return nullptr;
    instance->jobs = new (std::nothrow) DVSegmentJob[hvdv::kMaxJobs]();
    if (!instance->jobs || hvdv::CreateLock(&instance->lock) != 0) {
        delete[] instance->jobs;
        delete instance;
        return nullptr;
    }
    hvdv::InitKernelContext(&instance->kernels, hvdv::CpuFlags());
    return instance;
}

HVDV_API void HVDV_CALL DVDoneDec(DVDecInstance* instance) {
    if (!instance) return;
    // Record 0 is the calling thread's; only records 1 to 15 have workers.
    for (int i = 1; i < hvdv::kMaxJobs; ++i) hvdv::EndPersistentWorker(&instance->jobs[i]);
    delete[] instance->jobs;
    hvdv::DeleteLock(&instance->lock);
    delete instance;
}

HVDV_API int32_t HVDV_CALL DVDecompressBuffer(DVDecInstance* instance, const uint8_t* frame,
                                              uint32_t frameSize, uint8_t* picture, int32_t pitch,
                                              uint32_t width, uint32_t height, uint32_t flags,
                                              uint32_t fourcc, int32_t, int32_t) {
    if (!instance) return HVDV_DECODE_FAILED;
    hvdv::EnterLock(instance->lock);
    const hvdv::DVOutputFormat format = hvdv::OutputFormatFromFourcc(fourcc);
    int32_t result = HVDV_DECODE_FAILED;
    if (format != hvdv::kFormatNone)
        result = hvdv::DecodeWithNewDecoder(instance, frame, frameSize, picture, pitch, width, height,
                                            flags, format);
    hvdv::LeaveLock(instance->lock);
    return result;
}

HVDV_API int32_t HVDV_CALL DecompressBuffer_DV(const uint8_t* frame, uint32_t frameSize,
                                               uint8_t* picture, int32_t pitch, uint32_t width,
                                               uint32_t height, uint32_t flags, uint32_t fourcc,
                                               int32_t, int32_t) {
    const hvdv::DVOutputFormat format = hvdv::OutputFormatFromFourcc(fourcc);
    if (format == hvdv::kFormatNone) return HVDV_DECODE_FAILED;
    return hvdv::DecodeWithNewDecoder(nullptr, frame, frameSize, picture, pitch, width, height, flags,
                                      format);
}

}  // extern "C"
