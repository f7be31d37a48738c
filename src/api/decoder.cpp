#include "api/decoder.h"

#include <new>

#include "api/instance.h"
#include "decode/tables.h"
#include "hv_dec_dv.h"
#include "threads/cpu.h"
#include "threads/platform.h"
#include "threads/workers.h"
#include "writer/writer.h"

namespace hvdv {

namespace {

void PutIntoWriter(void* target, int threadIndex, int x, int y, const DVMacroblock* samples) {
    DVPictureWriter* w = static_cast<DVPictureWriter*>(target);
    w->PutMacroblock(w, threadIndex, x, y, samples);
}

bool WriterPlanes(void* target, int x, int y, DVMacroblockPlanes* planes) {
    DVPictureWriter* w = static_cast<DVPictureWriter*>(target);
    return w->MacroblockPlanes(w, x, y, planes) != 0;
}

// Runs `work` on runs of `run` items taken from the job's own range, then
// from the ranges of the jobs after it.
template <class F>
void TakeRuns(DVWorkRange* ranges, int jobs, int job, int32_t run, F work) {
    for (int k = 0; k < jobs; k++) {
        DVWorkRange& r = ranges[(job + k) % jobs];
        for (;;) {
            const int32_t first = r.next.fetch_add(run, std::memory_order_relaxed);
            if (first >= r.end) break;
            work(first, run < r.end - first ? run : r.end - first);
        }
    }
}

// The two phases of a job, on the calling thread or on its worker.
void DecodeJobSegments(void* argument) {
    DVSegmentJob* job = static_cast<DVSegmentJob*>(argument);
    DVFrameQueue& q = *job->queue;
    int damaged = 0;
    TakeRuns(q.segments, q.jobs, job->run.threadIndex, q.segmentRun, [&](int32_t first, int32_t count) {
        job->run.firstSegment = first;
        job->run.endSegment = first + count;
        damaged += DecodeSegments(job->run);
    });
    job->damagedCount = damaged;
}

void FlushJobRows(void* argument) {
    DVSegmentJob* job = static_cast<DVSegmentJob*>(argument);
    DVPictureWriter* w = job->writer;
    if (!w->FlushRows) return;
    DVFrameQueue& q = *job->queue;
    TakeRuns(q.rows, q.jobs, job->run.threadIndex, q.rowRun,
             [&](int32_t first, int32_t count) { w->FlushRows(w, job->run.threadIndex, first, count); });
}

// Number of jobs: 1 with the single-thread flag, else the processor count of
// the affinity mask, capped at kMaxJobs.
int JobCount(uint32_t flags) { return (flags & HVDV_FLAG_SINGLE_THREAD) ? 1 : JobCountFor(0); }

// Segments and rows taken at a time.  A dense 25 Mb/s segment takes a few
// microseconds, so a run of three costs one counter update per ten
// microseconds of work and leaves at most that much imbalance at the end;
// 16 rows of a conversion are about as long.
enum { kSegmentRun = 3, kRowRun = 16 };

// Splits count items into `jobs` contiguous ranges: equal ones, the
// remainder one item each to the first jobs.
void SplitRanges(DVWorkRange* ranges, int jobs, int32_t count) {
    const int32_t q = count / jobs, r = count % jobs;
    int32_t first = 0;
    for (int i = 0; i < jobs; i++) {
        const int32_t size = q + (i < r ? 1 : 0);
        ranges[i].next.store(first, std::memory_order_relaxed);
        ranges[i].end = first + size;
        first += size;
    }
}

// The order in which a frame's segments are decoded.  With several jobs,
// each takes a contiguous range of it, so it puts first the segments whose
// macroblocks lie together in the picture: then neighbours in a row of a
// plane (8 or 16 bytes of chroma each, several to a cache line) are mostly
// written by the same job instead of bouncing cache lines between cores.
// Two groups, one after the other:
//   25 and 50 Mb/s: the even DIF sequences, then the odd ones.  The shuffle
//   takes the five macroblocks of a segment from superblock rows i, i + 2,
//   i + 4, i + 6 and i + 8 of sequence i, so a row of superblocks comes from
//   sequences of one parity.
//   720p: the first half of every channel's sequences, then the second
//   half (the two channels hold alternate 96-pixel columns, so buffer order
//   split the picture into interleaved columns).
//   1080 lines: the two halves of the buffer (each channel holds its own
//   part of the picture).
// Within a group, segments follow the raster order of their first
// macroblocks.  The shuffle mostly puts all five macroblocks of the next
// segment in that order 16 pixels right of the segment's own, so the cache
// lines of a plane row are finished while they are still cached: this pays
// for a single job too where the planes are larger than the caches (1080
// lines).
// Counted with each kind's macroblock places for two jobs, the planes' cache
// lines written by both jobs fall from 56-89 % (chroma) to 0 % at 25 Mb/s,
// from 31 % to 15 % at 50 Mb/s and from 88 % to 11 % at 720p with the
// groups alone.
enum { kMaxOrderedSegments = 4 * 12 * 27 };
const int kOrderedKinds[] = {kKind625_420, kKind625_411, kKind525_411, kKind625_422,
                             kKind525_422, kKind720_50,   kKind720_60, kKind1080_50, kKind1080_60};
constexpr int kOrderedKindCount = sizeof kOrderedKinds / sizeof kOrderedKinds[0];

struct DVSegmentOrders {
    // [0]: the groups in buffer order; [1]: raster order within them.
    uint16_t order[2][kOrderedKindCount][kMaxOrderedSegments];
};

DVSegmentOrders BuildSegmentOrders() {
    DVSegmentOrders t{};
    for (int r = 0; r < 2; r++) {
        for (int k = 0; k < kOrderedKindCount; k++) {
            const DVProfile* p = ProfileForKind(kOrderedKinds[k]);
            const int count = p->segments < kMaxOrderedSegments ? p->segments : kMaxOrderedSegments;
            // Sort key: the job group, then the raster place of the segment's
            // first macroblock or its place in the buffer.
            int key[kMaxOrderedSegments];
            uint16_t* const order = t.order[r][k];
            for (int g = 0; g < count; g++) {
                const int q = g / (int)kSegmentsPerSequence;
                const int sequence = q % p->sequences;
                int group;
                if (p->codedHeight == 1080) group = g >= p->segments / 2;
                else if (p->hd) group = sequence >= p->sequences / 2;
                else group = sequence & 1;
                int x = 0, y = 0;
                MacroblockPosition(*p, q / p->sequences, sequence, g % (int)kSegmentsPerSequence, 0, &x, &y);
                key[g] = group * (1 << 24) + (r ? y * 4096 + x : g);
                order[g] = (uint16_t)g;
            }
            // Bottom-up merge sort (stable), once per process.
            uint16_t spare[kMaxOrderedSegments];
            uint16_t* from = order;
            uint16_t* to = spare;
            for (int width = 1; width < count; width *= 2) {
                for (int lo = 0; lo < count; lo += 2 * width) {
                    const int mid = lo + width < count ? lo + width : count;
                    const int hi = lo + 2 * width < count ? lo + 2 * width : count;
                    int a = lo, b = mid, o = lo;
                    while (a < mid && b < hi) to[o++] = key[from[b]] < key[from[a]] ? from[b++] : from[a++];
                    while (a < mid) to[o++] = from[a++];
                    while (b < hi) to[o++] = from[b++];
                }
                uint16_t* const done = from;
                from = to;
                to = done;
            }
            if (from != order)
                for (int g = 0; g < count; g++) order[g] = from[g];
        }
    }
    return t;
}

// Half size keeps buffer order within the groups (and a single job the plain
// buffer order): its picture is small, and the raster order only made it
// read the frame out of sequence.
const uint16_t* SegmentOrder(const DVProfile& profile, int jobs, bool half) {
    static const DVSegmentOrders orders = BuildSegmentOrders();
    const bool raster = !half;
    if (jobs < 2 && !(raster && profile.codedHeight == 1080)) return nullptr;
    for (int k = 0; k < kOrderedKindCount; k++)
        if (profile.kind == kOrderedKinds[k] && profile.segments <= kMaxOrderedSegments)
            return orders.order[raster][k];
    return nullptr;
}

}  // namespace

CDVDecoder::CDVDecoder(DVDecInstance* inst) : cpuFeatures_(DetectCpuFeatures()), instance_(inst) {
    jobs_ = inst ? inst->jobs : new (std::nothrow) DVSegmentJob[kMaxJobs]();
    repeated_ = inst ? &inst->repeated : new (std::nothrow) DVRepeatedBlocks;
    if (!inst) InitKernelContext(&ownKernels_, CpuFlags());
    kernels_ = inst ? &inst->kernels : &ownKernels_;
}

CDVDecoder::~CDVDecoder() {
    if (!instance_) {
        delete[] jobs_;
        delete repeated_;
    }
}

DVStatus CDVDecoder::DecodeFrame(const uint8_t* frame, uint32_t frameSize, uint8_t* picture,
                                 int32_t pitch, uint32_t width, uint32_t height, uint32_t flags,
                                 uint32_t outputFormat) {
    if (!Usable()) return DVStatus::kFailed;
    InitTables();

    // A kind whose macroblocks cannot be placed is not decoded and the
    // picture is left as it is.
    uint32_t type = 0;
    bool forced525 = false;
    const DVProfile* profile = FrameProfileForDecoding(frame, frameSize, height, &type, &forced525);
    if (!profile) return DVStatus::kFailed;
    if (forced525) OutputDebugText("DV: Unknown type \r\n");
    const bool wideScreen = !(flags & HVDV_FLAG_IGNORE_WIDE) && (type & kFrameWide);
    const bool halfSize = IsHalfSizePicture(width, height);
    const int n = JobCount(flags);

    DVPictureWriter* writer = CreatePictureWriter(&kernels_->writer, &kernels_->pixel, outputFormat, n,
                                                  *profile, halfSize ? 1 : 0, wideScreen ? 1 : 0);
    if (!writer) return DVStatus::kFailed;
    writer->workBuffer = instance_ ? &instance_->work : nullptr;
    if (writer->BeginFrame(writer, picture, pitch, (int32_t)width, (int32_t)height) != 0) {
        writer->Release(writer);
        return DVStatus::kFailed;
    }

    // A high-definition writer may choose half size from the width alone;
    // the macroblocks must then be decoded at half size.
    DVFrameRequest request{};
    request.profile = profile;
    request.frame = frame;
    request.frameSize = frameSize;
    request.headerBlocks = (type & kFrameHeaders) != 0;
    request.half = halfSize || (profile->placement == DVPlacement::kBlockId && writer->halfSize);
    request.decodeFlags = flags;
    request.jobs = n;
    request.rows = (int32_t)height;
    const int64_t damaged = Run(request, writer);

    if (!writer->FlushRows) writer->EndFrame(writer);
    writer->FreeFrameBuffer(writer);
    writer->Release(writer);

    if (damaged == 0) return DVStatus::kOk;
    // Blocks with unusable IDs count as damaged too, so high-definition
    // frames may count more than their video macroblocks.
    return damaged >= profile->videoMacroblocks ? DVStatus::kFailed : DVStatus::kDamaged;
}

int64_t CDVDecoder::Run(const DVFrameRequest& request, DVPictureWriter* writer) {
    const DVProfile* profile = request.profile;
    const int n = request.jobs;
    DVSegmentRun run{};
    run.profile = profile;
    run.frame = request.frame;
    run.frameSize = request.frameSize;
    run.headerBlocks = request.headerBlocks;
    run.half = request.half;
    run.decodeFlags = request.decodeFlags;
    run.damage = request.damage;
    run.keepDamaged = request.keepDamaged;
    run.dsp = &kernels_->decode;
    run.repeated = repeated_;
    if (profile->placement == DVPlacement::kBlockId)
        FindRepeatedBlocks(*profile, run.frame, run.frameSize, run.headerBlocks, repeated_);
    run.sink = DVMacroblockSink{PutIntoWriter, writer, writer->MacroblockPlanes ? WriterPlanes : nullptr};
    run.order = SegmentOrder(*profile, n, request.half);
    queue_.jobs = n;
    SplitRanges(queue_.segments, n, profile->segments);
    SplitRanges(queue_.rows, n, request.rows > 0 ? request.rows : 0);
    queue_.segmentRun = n == 1 ? (profile->segments > 0 ? profile->segments : 1) : kSegmentRun;
    queue_.rowRun = n == 1 ? (request.rows > 0 ? request.rows : 1) : kRowRun;
    for (int i = 0; i < n; ++i) {
        DVSegmentJob& job = jobs_[i];
        job.run = run;
        job.run.threadIndex = i;
        job.queue = &queue_;
        job.writer = writer;
        job.damagedCount = 0;
        job.worker.firstPhase = DecodeJobSegments;
        job.worker.secondPhase = FlushJobRows;
        job.worker.argument = &job;
    }

    // Start or wake the workers.  A job whose thread or events could not be
    // made is not waited for: the calling thread runs it in both phases.
    // Without a second phase the workers may go on from the first at once.
    const bool secondPhase = writer->FlushRows != nullptr;
    bool onWorker[kMaxJobs] = {};
    for (int i = 1; i < n; ++i) {
        DVWorker& worker = jobs_[i].worker;
        worker.frame++;
        if (!instance_) {
            onWorker[i] = StartWorker(&worker, 0) == 0;
        } else if (!worker.threadStarted) {
            onWorker[i] = StartWorker(&worker, 1) == 0;
        } else {
            worker.persistent = 1;
            HandOff(worker.nextFrame, worker.frameStarted, worker.frame);
            onWorker[i] = true;
        }
        if (onWorker[i] && !secondPhase) HandOff(worker.startSecond, worker.secondAllowed, worker.frame);
    }

    // Phase 1: every job decodes segments into the writer.
    for (int i = 0; i < n; ++i)
        if (!onWorker[i]) DecodeJobSegments(&jobs_[i]);
    if (secondPhase) {
        for (int i = 1; i < n; ++i) {
            if (!onWorker[i]) continue;
            DVWorker& worker = jobs_[i].worker;
            AwaitHandOff(worker.firstDone, worker.firstFinished, worker.frame);
        }
        if (writer->FillGaps) writer->FillGaps(writer);
        // Phase 2: every job converts rows.
        for (int i = 1; i < n; ++i)
            if (onWorker[i]) HandOff(jobs_[i].worker.startSecond, jobs_[i].worker.secondAllowed, jobs_[i].worker.frame);
        for (int i = 0; i < n; ++i)
            if (!onWorker[i]) FlushJobRows(&jobs_[i]);
    }
    for (int i = 1; i < n; ++i) {
        if (!onWorker[i]) continue;
        DVWorker& worker = jobs_[i].worker;
        if (!secondPhase) AwaitHandOff(worker.firstDone, worker.firstFinished, worker.frame);
        if (!instance_) {
            EndOneFrameWorker(&worker);
        } else {
            AwaitHandOff(worker.frameDone, worker.frameFinished, worker.frame);
        }
    }

    if (!secondPhase && writer->FillGaps) writer->FillGaps(writer);
    int64_t damaged = 0;
    for (int i = 0; i < n; ++i) damaged += jobs_[i].damagedCount;
    return damaged;
}

bool CDVDecoder::Usable() const {
#if HVDV_ARCH_X86
    if (!(cpuFeatures_ & kCpuSSE2)) return false;
#endif
    return jobs_ && repeated_;
}

bool IsHalfSizePicture(uint32_t width, uint32_t height) {
    if (width == 360) return true;
    if (height == 360) return width == 640 || width == 480 || width == 720;
    if (height == 540) return width == 960 || width == 720 || width == 640;
    return false;
}

int JobCountFor(int limit) {
    int n = CountProcessors(kCountAffinity);
    if (n < 1) n = 1;
    if (n > kMaxJobs) n = kMaxJobs;
    return limit > 0 && limit < n ? limit : n;
}

DVDecInstance* CreateInstance(uint32_t cpuFlags) {
    DVDecInstance* instance = new (std::nothrow) DVDecInstance();
    if (!instance) return nullptr;
    instance->jobs = new (std::nothrow) DVSegmentJob[kMaxJobs]();
    if (!instance->jobs || CreateLock(&instance->lock) != 0) {
        delete[] instance->jobs;
        delete instance;
        return nullptr;
    }
    InitKernelContext(&instance->kernels, cpuFlags);
    return instance;
}

void DestroyInstance(DVDecInstance* instance) {
    if (!instance) return;
    // Record 0 is the calling thread's; only records 1 to 15 have workers.
    for (int i = 1; i < kMaxJobs; ++i) EndPersistentWorker(&instance->jobs[i].worker);
    delete[] instance->jobs;
    ReleaseWorkBuffer(&instance->work);
    DeleteLock(&instance->lock);
    delete instance;
}

DVStatus DecodeWithNewDecoder(DVDecInstance* instance, const uint8_t* frame, uint32_t frameSize,
                              uint8_t* picture, int32_t pitch, uint32_t width, uint32_t height,
                              uint32_t flags, uint32_t outputFormat) {
    // The decoder object lives for this call only, on the stack: a decode
    // through an instance allocates nothing but the picture writer (and its
    // work buffer when a frame needs a larger one than the instance keeps).
    CDVDecoder decoder(instance);
    return decoder.DecodeFrame(frame, frameSize, picture, pitch, width, height, flags, outputFormat);
}

}  // namespace hvdv
