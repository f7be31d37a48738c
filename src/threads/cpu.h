// Processor features and the instruction-set mask used to pick kernels.
#pragma once
#include <cstdint>

namespace hvdv {

enum CpuFlag : uint32_t {
    kCpuSSE2 = 1u << 0,
    kCpuSSSE3 = 1u << 1,
    kCpuSSE41 = 1u << 2,
    kCpuAVX2 = 1u << 3,   // with the operating system saving the 256-bit registers
    kCpuBMI2 = 1u << 4,   // BMI1, BMI2 and MOVBE (scalar: shifts, bit fields, byte-swapped loads)
    kCpuAVX512 = 1u << 5, // AVX-512 F, BW, VL and VBMI2, with the system saving the 512-bit registers
    kCpuNEON = 1u << 8,   // 64-bit ARM Advanced SIMD
};

// What the processor supports (CPUID on x86; NEON on 64-bit ARM, where every
// processor has it; 0 elsewhere).  Computed once.
uint32_t DetectCpuFeatures();

// The features kernels may use: DetectCpuFeatures() restricted by the mask
// that tests, benchmarks and the command-line tool can set.  A decoder
// chooses its kernels from this value when it is made (api/kernel_context.h).
uint32_t CpuFlags();

// Restricts CpuFlags() to detected & mask (all ones restores the default).
// It only stores the mask: decoders made afterwards (an instance at DVNewDec,
// each decode without an instance) choose their kernels from it; instances
// made before keep theirs.
void SetCpuMask(uint32_t mask);

}  // namespace hvdv
