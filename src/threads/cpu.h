// Processor features and the instruction-set mask used to pick kernels.
#pragma once
#include <cstdint>

namespace hvdv {

enum CpuFlag : uint32_t {
    kCpuSSE2 = 1u << 0,
    kCpuSSSE3 = 1u << 1,
    kCpuSSE41 = 1u << 2,
};

// What the processor supports (CPUID on x86; 0 elsewhere).  Computed once.
uint32_t DetectCpuFeatures();

// The features kernels may use: DetectCpuFeatures() restricted by the mask
// that tests and the command-line tool can set.  Every kernel table and every
// kernel set initialiser picks its functions from this value.
uint32_t CpuFlags();

// Restricts CpuFlags() to detected & mask (all ones restores the default).
// Not thread-safe: call it only while no decode is running.  Kernel choices
// already made (writers alive at the time) are not changed; process-wide
// kernel tables are rebuilt.
void SetCpuMask(uint32_t mask);

}  // namespace hvdv
