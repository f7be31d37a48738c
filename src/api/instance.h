// A decoder instance: a recursive lock held for each decode on it, the
// table of 16 job records whose workers persist between frames, and the
// kernels its decodes run, and the writers' work memory.
#pragma once

#include "api/decoder.h"
#include "threads/platform.h"
#include "writer/writer.h"

struct DVDecInstance {
    hvdv::DVHandle lock;
    hvdv::DVSegmentJob* jobs;  // kMaxJobs records, zero-filled at creation
    hvdv::DVKernelContext kernels;  // chosen at creation from CpuFlags()
    hvdv::DVRepeatedBlocks repeated;  // the current frame's blocks with repeated IDs
    hvdv::DVWorkBuffer work;  // the writers' frame buffers, kept between frames
};
