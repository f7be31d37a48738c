// The per-call decoder object and the frame decode driver.
#pragma once
#include <cstdint>

#include "api/kernel_context.h"
#include "decode/segments.h"
#include "threads/workers.h"

struct DVDecInstance;

namespace hvdv {

constexpr int kMaxJobs = 16;

// Result of a frame decode inside the library; the exported calls turn it
// into their 0 / 1 / 2.
enum class DVStatus { kFailed, kOk, kDamaged };

struct DVPictureWriter;

// One job's share of a frame: a run of video segments to decode and a band
// of picture rows to flush; jobs 1 to 15 run on their worker.
struct DVSegmentJob {
    DVWorker worker;
    DVSegmentRun run;
    DVPictureWriter* writer;
    int32_t firstRow;
    int32_t rowCount;
    int32_t damagedCount;   // macroblocks counted damaged by the run
};

class CDVDecoder {
public:
    // With an instance the decoder uses the instance's job table and
    // kernels; without one it allocates its own jobs (jobs stays null when
    // memory runs out, and DecodeFrame then fails) and chooses its kernels
    // from CpuFlags().
    explicit CDVDecoder(DVDecInstance* instance);
    ~CDVDecoder();
    CDVDecoder(const CDVDecoder&) = delete;
    CDVDecoder& operator=(const CDVDecoder&) = delete;

    DVStatus DecodeFrame(const uint8_t* frame, uint32_t frameSize, uint8_t* picture, int32_t pitch,
                         uint32_t width, uint32_t height, uint32_t flags, uint32_t outputFormat);

private:
    uint32_t cpuFeatures_ = 0;
    DVDecInstance* instance_ = nullptr;
    DVSegmentJob* jobs_ = nullptr;
    DVRepeatedBlocks* repeated_ = nullptr;  // the instance's or our own
    const DVKernelContext* kernels_ = nullptr;  // the instance's or ownKernels_
    DVKernelContext ownKernels_;
};

// Common body of both decode calls: builds a decoder for the call (bound to
// `instance` when not null) and decodes.
DVStatus DecodeWithNewDecoder(DVDecInstance* instance, const uint8_t* frame, uint32_t frameSize,
                              uint8_t* picture, int32_t pitch, uint32_t width, uint32_t height,
                              uint32_t flags, uint32_t outputFormat);

}  // namespace hvdv
