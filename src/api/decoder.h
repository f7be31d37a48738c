// The per-call decoder object and the frame decode driver.
#pragma once
#include <atomic>
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

// The work of one frame that its jobs share.  Segments and picture rows are
// split into one contiguous range per job; a job takes small runs from the
// front of its own range, then from the fronts of the others' ranges, so that
// a job that starts late (a worker still waking up, or a core taken by
// another process) leaves its work to the others instead of holding every
// job at the barrier.  Contiguous ranges keep neighbouring macroblocks,
// whose samples share cache lines of the picture, on one job for most of
// the frame.  Which job decodes a segment or converts a row changes nothing
// in the picture: every macroblock and every row has one place.
struct alignas(64) DVWorkRange {
    std::atomic<int32_t> next;  // front of what is left
    int32_t end;
};
struct DVFrameQueue {
    DVWorkRange segments[kMaxJobs];
    DVWorkRange rows[kMaxJobs];
    int32_t jobs;
    int32_t segmentRun;     // taken at a time
    int32_t rowRun;
};

// One job's share of a frame: the segments and rows it takes from the
// queue; jobs 1 to 15 run on their worker.  Each record on cache lines of
// its own, since a job writes its run and count while the others run.
struct alignas(64) DVSegmentJob {
    DVWorker worker;
    DVSegmentRun run;
    DVPictureWriter* writer;
    DVFrameQueue* queue;
    int32_t damagedCount;   // macroblocks counted damaged by the job
};

// One frame to decode with a writer that is ready for it.
struct DVFrameRequest {
    const DVProfile* profile;
    const uint8_t* frame;
    uint32_t frameSize;
    bool headerBlocks;
    bool half;                   // macroblocks at half size
    uint32_t decodeFlags;        // HVDV_FLAG_SWAP_FIELDS, HVDV_FLAG_SINGLE_PASS
    int jobs;                    // 1 .. kMaxJobs
    int32_t rows;                // picture rows the jobs' flushes share
    DVMacroblockDamage* damage;  // null, or kMaxVideoBlocks records
    bool keepDamaged;            // damaged macroblocks never reach the writer
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

    // Decodes the frame into the writer (both phases, on request.jobs jobs)
    // and returns the number of damaged macroblocks.  The caller begins and
    // ends the writer's frame.  Needs a decoder whose job table exists.
    int64_t Run(const DVFrameRequest& request, DVPictureWriter* writer);

    bool Usable() const;

private:
    DVFrameQueue queue_;
    uint32_t cpuFeatures_ = 0;
    DVDecInstance* instance_ = nullptr;
    DVSegmentJob* jobs_ = nullptr;
    DVRepeatedBlocks* repeated_ = nullptr;  // the instance's or our own
    const DVKernelContext* kernels_ = nullptr;  // the instance's or ownKernels_
    DVKernelContext ownKernels_;
};

// A decoder instance for the kernels of cpuFlags; null when memory or a lock
// cannot be had.  DestroyInstance ends its workers first.
DVDecInstance* CreateInstance(uint32_t cpuFlags);
void DestroyInstance(DVDecInstance* instance);

// Packed pictures of these sizes are decoded at half size.
bool IsHalfSizePicture(uint32_t width, uint32_t height);

// Jobs for a frame: the processor count of the affinity mask, at most
// kMaxJobs and at most `limit` when limit is not 0.
int JobCountFor(int limit);

// Common body of both decode calls: builds a decoder for the call (bound to
// `instance` when not null) and decodes.
DVStatus DecodeWithNewDecoder(DVDecInstance* instance, const uint8_t* frame, uint32_t frameSize,
                              uint8_t* picture, int32_t pitch, uint32_t width, uint32_t height,
                              uint32_t flags, uint32_t outputFormat);

}  // namespace hvdv
