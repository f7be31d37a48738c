// A decoder instance: a recursive lock held for each decode on it, and the
// table of 16 job records whose workers persist between frames.
#pragma once

#include "threads/job.h"

struct DVDecInstance {
    hvdv::DVHandle lock;
    hvdv::DVSegmentJob* jobs;  // 16 records, zero-filled at creation
};
