// Processor feature detection and the instruction-set mask, on every target
// (32-bit x86 takes the EFLAGS ID-bit path before CPUID).
#include "threads/cpu.h"

#include <gtest/gtest.h>

#include <thread>

#if HVDV_ARCH_X86
#define HVDV_TEST_X86 1
#else
#define HVDV_TEST_X86 0
#endif

namespace hvdv {
namespace {

// Restores the default mask even when an assertion fails half way.
struct MaskGuard {
    ~MaskGuard() { SetCpuMask(0xFFFFFFFFu); }
};

TEST(Cpu, X86ProcessorsReportSse2) {
    if (!HVDV_TEST_X86) GTEST_SKIP() << "not an x86 build";
    // Every machine the x86 builds run on has SSE2 (the 64-bit ISA includes
    // it); losing it would mean the detection itself is broken.
    EXPECT_NE(DetectCpuFeatures() & kCpuSSE2, 0u);
}

#if HVDV_TEST_X86 && defined(__GNUC__)
TEST(Cpu, AgreesWithTheCompilerRuntime) {
    // libgcc reads CPUID on its own; both must see the same processor.
    __builtin_cpu_init();
    struct Case {
        uint32_t flag;
        bool runtime;
        const char* name;
    } cases[] = {{kCpuSSE2, __builtin_cpu_supports("sse2") != 0, "sse2"},
                 {kCpuSSSE3, __builtin_cpu_supports("ssse3") != 0, "ssse3"},
                 {kCpuSSE41, __builtin_cpu_supports("sse4.1") != 0, "sse4.1"}};
    const uint32_t detected = DetectCpuFeatures();
    for (const Case& c : cases) EXPECT_EQ((detected & c.flag) != 0, c.runtime) << c.name;
}
#endif

TEST(Cpu, DetectionIsTheSameOnEveryThread) {
    const uint32_t here = DetectCpuFeatures();
    uint32_t there = ~here;
    std::thread t([&] { there = DetectCpuFeatures(); });
    t.join();
    EXPECT_EQ(here, there);
}

TEST(Cpu, MaskRestrictsTheUsableFeatures) {
    MaskGuard guard;
    const uint32_t detected = DetectCpuFeatures();
    const uint32_t masks[] = {0u, kCpuSSE2, kCpuSSE2 | kCpuSSSE3, kCpuSSSE3, 0xFFFFFFFFu};
    for (uint32_t mask : masks) {
        SetCpuMask(mask);
        EXPECT_EQ(CpuFlags(), detected & mask) << "mask " << mask;
        EXPECT_EQ(DetectCpuFeatures(), detected) << "mask " << mask;
    }
}

}  // namespace
}  // namespace hvdv
