#include "api/decoder.h"

#include <atomic>
#include <new>

#include "api/classify.h"
#include "decode/positions_hd.h"
#include "decode/segments.h"
#include "decode/segments_hd.h"
#include "hv_dec_dv.h"
#include "threads/cpu.h"
#include "threads/platform.h"
#include "threads/workers.h"
#include "writer/writer.h"

namespace hvdv {

namespace {

// A 25 Mb/s DIF sequence carries 135 video DIF blocks, one macroblock each;
// five macroblocks from scattered places of the picture form a video
// segment, the unit the spare bits of the variable-length code are shared in.
constexpr int kMacroblocksPerSequence = 135;
constexpr int kMacroblocksPerSegment = 5;

std::atomic<DVWriterFactory> g_writerFactory{nullptr};

}  // namespace

bool CDVCoder::SetUpSystem(uint32_t type) {
    frameType = type;
    const int kind = (int)(type & 0xFF);
    if (const DVVideoGeometry* g = VideoGeometry(kind)) {
        // 50 Mb/s and high definition: macroblocks are placed from their DIF
        // block IDs, there is no position table.
        is525 = (int32_t)(type & kFrame525);
        sequenceCount = g->sequences;
        macroblockCount = g->videoMacroblocks;
        segmentCount = SegmentSlotsHD(kind);
        macroblockTable = nullptr;
        systemReady = 1;
        return true;
    }
    int sequences;
    switch (kind) {
        case kKind625_420:
        case kKind625_411: sequences = 12; break;
        case kKind525_411: sequences = 10; break;
        default: return false;
    }
    is525 = kind == kKind525_411 ? 1 : 0;
    sequenceCount = sequences;
    macroblockCount = sequences * kMacroblocksPerSequence;
    segmentCount = macroblockCount / kMacroblocksPerSegment;
    macroblockTable = MacroblockTable(kind);
    systemReady = 1;
    return true;
}

void CDVCoder::SetUpSystemForHeight(uint32_t height) {
    SetUpSystem(Is525Height(height) ? (uint32_t)kKind525_411 : (uint32_t)kKind625_420);
}

CDVDecoder::CDVDecoder(DVDecInstance* inst) : cpuFeatures(DetectCpuFeatures()), instance(inst) {
    jobs = inst ? inst->jobs : new (std::nothrow) DVSegmentJob[kMaxJobs]();
    if (!inst) InitKernelContext(&ownKernels, CpuFlags());
    kernels = inst ? &inst->kernels : &ownKernels;
}

CDVDecoder::~CDVDecoder() {
    if (!instance) delete[] jobs;
}

void SetWriterFactoryForTests(DVWriterFactory factory) { g_writerFactory.store(factory); }

bool Is525Height(uint32_t height) { return height == 240 || height == 480 || height == 486; }

bool IsHalfSize(uint32_t width, uint32_t height) {
    if (width == 360) return true;
    if (height == 360) return width == 640 || width == 480 || width == 720;
    if (height == 540) return width == 960 || width == 720 || width == 640;
    return false;
}

int JobCount(uint32_t flags) {
    if (flags & HVDV_FLAG_SINGLE_THREAD) return 1;
    const int n = CountProcessors(kCountAffinity);
    return n < kMaxJobs ? n : kMaxJobs;
}

void RowBand(uint32_t height, int jobs, int index, int32_t* firstRow, int32_t* rowCount) {
    const uint32_t q = height / (uint32_t)jobs;
    const uint32_t r = height % (uint32_t)jobs;
    // Jobs 1 to r carry one extra row each; job 0 never does.
    const uint32_t extraBefore = index == 0 ? 0 : ((uint32_t)index - 1 < r ? (uint32_t)index - 1 : r);
    *firstRow = (int32_t)(q * (uint32_t)index + extraBefore);
    *rowCount = (int32_t)(q + (index >= 1 && (uint32_t)index <= r ? 1 : 0));
}

void SegmentRun(int segments, int jobs, int index, int32_t* first, int32_t* end) {
    const int per = segments / jobs;
    *first = index * per;
    *end = index == jobs - 1 ? segments : (index + 1) * per;
}

int32_t CDVDecoder::DecodeFrame(const uint8_t* frame, uint32_t frameSize, uint8_t* picture, int32_t pitch,
                                uint32_t width, uint32_t height, uint32_t flags, uint32_t outputFormat) {
    if (!jobs) return 0;
#if HVDV_ARCH_X86
    if (!(cpuFeatures & kCpuSSE2)) return 0;
#endif
    InitDVDec();

    uint32_t type = ClassifyFrame(frame, frameSize, height);
    // High-definition STYPE values pick the real kind; a kind whose
    // macroblocks cannot be placed is not decoded and the picture is left
    // as it is.
    if (!DecodingFrameType(frame, frameSize, &type)) return 0;
    if (Is525Height(height) && !(type & kFrame525)) {
        // The caller asked for a 525-line picture: whatever the frame says,
        // it is decoded as 525/60 4:1:1.
        OutputDebugText("DV: Unknown type \r\n");
        type = (type & ~0xFCu) | (uint32_t)kKind525_411;
    }
    const int headerBlocks = (type & kFrameHeaders) ? 1 : 0;
    const int wideScreen = (flags & HVDV_FLAG_IGNORE_WIDE) ? 0 : ((type & kFrameWide) ? 1 : 0);
    const int frameKind = (int)(type & 0xFF);
    // A refused kind (0x01) keeps the height-based set-up.
    SetUpSystem(type);
    const uint32_t* blockOffsets = BlockOffsetTable(headerBlocks);
    const int halfSize = IsHalfSize(width, height) ? 1 : 0;
    const int n = JobCount(flags);

    const DVWriterFactory factory = g_writerFactory.load(std::memory_order_relaxed);
    DVPictureWriter* writer =
        factory ? factory(outputFormat, n, frameKind, halfSize, wideScreen)
                : CreatePictureWriter(&kernels->writer, &kernels->pixel, outputFormat, n, frameKind,
                                      halfSize, wideScreen);
    if (!writer) return 0;
    if (writer->BeginFrame(writer, picture, pitch, (int32_t)width, (int32_t)height) != 0) {
        writer->Release(writer);
        return 0;
    }

    // A high-definition writer may choose half size from the width alone;
    // the macroblocks must then be decoded at half size.
    const int jobHalfSize = halfSize | (IsSegmentKindHD(frameKind) && writer->halfSize ? 1 : 0);
    const int segments = segmentCount;
    for (int i = 0; i < n; ++i) {
        DVSegmentJob& job = jobs[i];
        SegmentRun(segments, n, i, &job.firstSegment, &job.endSegment);
        RowBand(height, n, i, &job.firstRow, &job.rowCount);
        job.halfSize = jobHalfSize;
        job.decodeFlags = flags;
        job.frameType = frameType;
        job.macroblockTable = macroblockTable;
        job.blockOffsets = blockOffsets;
        job.frame = frame;
        job.frameSize = frameSize;
        job.writer = writer;
        job.dsp = &kernels->decode;
        job.jobIndex = i;
        job.threadCount = n;
        job.damagedCount = 0;
    }

    // Start or wake the workers.  A job whose thread or events could not be
    // made is not waited for: the calling thread runs it in both phases.
    bool onWorker[kMaxJobs] = {};
    for (int i = 1; i < n; ++i) {
        DVSegmentJob& job = jobs[i];
        if (!instance) {
            onWorker[i] = StartWorker(&job, 0) == 0;
        } else if (!job.threadStarted) {
            onWorker[i] = StartWorker(&job, 1) == 0;
        } else {
            job.persistent = 1;
            SignalEvent(job.nextFrame);
            onWorker[i] = true;
        }
    }

    // Phase 1: every job decodes its segments into the writer.
    DecodeSegments(&jobs[0]);
    for (int i = 1; i < n; ++i)
        if (!onWorker[i]) DecodeSegments(&jobs[i]);
    for (int i = 1; i < n; ++i) {
        if (!onWorker[i]) continue;
        WaitEvent(jobs[i].segmentsDone, kWaitInfinite);
        ResetEventSignal(jobs[i].segmentsDone);
    }

    // Phase 2: every job converts its band of rows.
    for (int i = 1; i < n; ++i)
        if (onWorker[i]) SignalEvent(jobs[i].startRows);
    if (writer->FlushRows) {
        for (int i = 0; i < n; ++i)
            if (!onWorker[i]) writer->FlushRows(writer, i, jobs[i].firstRow, jobs[i].rowCount);
    }
    for (int i = 1; i < n; ++i) {
        if (!onWorker[i]) continue;
        if (!instance) {
            EndOneFrameWorker(&jobs[i]);
        } else {
            WaitEvent(jobs[i].frameDone, kWaitInfinite);
            ResetEventSignal(jobs[i].frameDone);
        }
    }

    int64_t damaged = 0;
    for (int i = 0; i < n; ++i) damaged += jobs[i].damagedCount;

    if (!writer->FlushRows) writer->EndFrame(writer);
    writer->FreeFrameBuffer(writer);
    writer->Release(writer);

    if (damaged == 0) return 1;
    // Blocks with unusable IDs count as damaged too, so high-definition
    // frames may count more than their video macroblocks.
    return damaged >= macroblockCount ? 0 : 2;
}

int32_t DecodeWithNewDecoder(DVDecInstance* instance, const uint8_t* frame, uint32_t frameSize,
                             uint8_t* picture, int32_t pitch, uint32_t width, uint32_t height,
                             uint32_t flags, uint32_t outputFormat) {
    // The decoder object lives for this call only, on the stack: a decode
    // through an instance allocates nothing but the picture writer and its
    // frame buffer.
    CDVDecoder decoder(instance);
    decoder.SetUpSystemForHeight(height);
    return decoder.DecodeFrame(frame, frameSize, picture, pitch, width, height, flags, outputFormat);
}

}  // namespace hvdv
