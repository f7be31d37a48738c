// The per-call decoder object and the frame decode driver.
#pragma once
#include <cstdint>

#include "api/instance.h"
#include "threads/job.h"

namespace hvdv {

constexpr int kMaxJobs = 16;

// Television system set-up shared by decoding classes.
class CDVCoder {
public:
    CDVCoder() = default;
    virtual ~CDVCoder() = default;

    // Sets the system for frame kinds 0x00, 0x02 and 0x03 (bits 0-7 of
    // frameType), the 50 Mb/s kinds 0x04 and 0x05 and the high-definition
    // kinds 0x14, 0x15, 0x24 and 0x25, and returns true; any other kind is
    // refused and changes nothing but the stored frameType.
    bool SetUpSystem(uint32_t frameType);
    // 525/60 4:1:1 for heights 240, 480 and 486, 625/50 4:2:0 otherwise.
    void SetUpSystemForHeight(uint32_t height);

    int32_t systemReady = 0;
    int32_t is525 = 0;
    uint32_t frameType = 0;
    int32_t sequenceCount = 0;    // DIF sequences per channel: 10 or 12
    int32_t macroblockCount = 0;  // video macroblocks: sequenceCount x 135 at 25 Mb/s
    const uint32_t* macroblockTable = nullptr;  // 25 Mb/s only
    int32_t segmentCount = 0;     // video segments shared among the jobs
};

class CDVDecoder : public CDVCoder {
public:
    // With an instance the decoder uses the instance's job table and
    // kernels; without one it allocates its own jobs (jobs stays null when
    // memory runs out, and DecodeFrame then fails) and chooses its kernels
    // from CpuFlags().
    explicit CDVDecoder(DVDecInstance* instance);
    ~CDVDecoder() override;
    CDVDecoder(const CDVDecoder&) = delete;
    CDVDecoder& operator=(const CDVDecoder&) = delete;

    // Decodes one frame into the picture.  0 failure, 1 clean, 2 some
    // macroblocks damaged.
    int32_t DecodeFrame(const uint8_t* frame, uint32_t frameSize, uint8_t* picture, int32_t pitch,
                        uint32_t width, uint32_t height, uint32_t flags, uint32_t outputFormat);

    uint32_t cpuFeatures = 0;
    DVDecInstance* instance = nullptr;
    DVSegmentJob* jobs = nullptr;
    const DVKernelContext* kernels = nullptr;  // the instance's or ownKernels
    DVKernelContext ownKernels;
};

// Common body of both decode calls: builds a decoder for the call (bound to
// `instance` when not null), sets its system from `height` and decodes.
int32_t DecodeWithNewDecoder(DVDecInstance* instance, const uint8_t* frame, uint32_t frameSize,
                             uint8_t* picture, int32_t pitch, uint32_t width, uint32_t height,
                             uint32_t flags, uint32_t outputFormat);

// --- Pieces of the driver, exposed for the tests ---------------------------

struct DVPictureWriter;
typedef DVPictureWriter* (*DVWriterFactory)(uint32_t outputFormat, int threadCount, int frameKind,
                                            int halfSize, int wideScreen);
// Internal test hook: replaces CreatePictureWriter for every decode (null
// restores it).  Set it only while no decode is running.
void SetWriterFactoryForTests(DVWriterFactory factory);

// Heights 240, 480 and 486 are 525-line pictures.
bool Is525Height(uint32_t height);

// Half-size decoding for this picture size.
bool IsHalfSize(uint32_t width, uint32_t height);

// Number of jobs: 1 with the single-thread flag, else the processor count of
// the affinity mask, capped at kMaxJobs.
int JobCount(uint32_t flags);

// The picture rows of job `index` of `jobs`: equal bands, the remainder one
// row each to jobs 1 to r.
void RowBand(uint32_t height, int jobs, int index, int32_t* firstRow, int32_t* rowCount);

// The video segments of job `index` of `jobs`: equal runs, the last job takes
// the remainder.
void SegmentRun(int segments, int jobs, int index, int32_t* first, int32_t* end);

}  // namespace hvdv
