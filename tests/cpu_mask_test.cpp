// The instruction-set mask (hvdv --no-simd sets it): the kernels are chosen
// from the detected features it leaves, and only from those.
#include <gtest/gtest.h>

#include "threads/cpu.h"

TEST(CpuMask, RestrictsTheUsableFeatures) {
    const uint32_t detected = hvdv::DetectCpuFeatures();
    for (uint32_t mask : {0u, uint32_t(hvdv::kCpuSSE2), uint32_t(hvdv::kCpuNEON), 0xFFFFFFFFu}) {
        hvdv::SetCpuMask(mask);
        EXPECT_EQ(hvdv::CpuFlags(), detected & mask) << "mask " << mask;
    }
}
