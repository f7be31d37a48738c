#include "threads/cpu.h"

#include <atomic>

#if HVDV_ARCH_X86
#if defined(_MSC_VER)
#include <intrin.h>
#else
#include <cpuid.h>
#endif
#endif

namespace hvdv {

namespace {

std::atomic<uint32_t> g_mask{0xFFFFFFFFu};

uint32_t Detect() {
    uint32_t flags = 0;
#if HVDV_ARCH_X86
#if defined(__i386__) || defined(_M_IX86)
    // On 32-bit x86 the CPUID instruction exists only when bit 21 (ID) of
    // EFLAGS can be toggled.
    uint32_t before = 0, after = 0;
#if defined(_MSC_VER)
    before = (uint32_t)__readeflags();
    __writeeflags(before ^ 0x200000u);
    after = (uint32_t)__readeflags();
    __writeeflags(before);
#else
    __asm__ volatile(
        "pushfl\n\t"
        "popl %0\n\t"
        "movl %0, %1\n\t"
        "xorl $0x200000, %1\n\t"
        "pushl %1\n\t"
        "popfl\n\t"
        "pushfl\n\t"
        "popl %1\n\t"
        "pushl %0\n\t"
        "popfl\n\t"
        : "=&r"(before), "=&r"(after)
        :
        : "cc");
#endif
    if (((before ^ after) & 0x200000u) == 0) return 0;
#endif
    unsigned a = 0, b = 0, c = 0, d = 0;
#if defined(_MSC_VER)
    int r[4];
    __cpuid(r, 0);
    a = (unsigned)r[0];
#else
    __cpuid(0, a, b, c, d);
#endif
    if (a < 1) return 0;
    unsigned maxLeaf = a;
#if defined(_MSC_VER)
    __cpuid(r, 1);
    c = (unsigned)r[2];
    d = (unsigned)r[3];
#else
    __cpuid(1, a, b, c, d);
#endif
    const unsigned c1 = c;
    if (d & (1u << 26)) flags |= kCpuSSE2;
    if ((flags & kCpuSSE2) && (c & (1u << 9))) flags |= kCpuSSSE3;
    if ((flags & kCpuSSSE3) && (c & (1u << 19))) flags |= kCpuSSE41;
    // AVX2: CPUID leaf 7 says the instructions exist, leaf 1 that the
    // system uses XSAVE (OSXSAVE) and the processor has AVX; XCR0 bits 1
    // and 2 that the system saves the SSE and AVX register state.
    const bool osAvx = (c & (1u << 27)) && (c & (1u << 28));
    if ((flags & kCpuSSE41) && osAvx && maxLeaf >= 7) {
        uint32_t xcr0 = 0;
#if defined(_MSC_VER)
        xcr0 = (uint32_t)_xgetbv(0);
        __cpuidex(r, 7, 0);
        b = (unsigned)r[1];
        c = (unsigned)r[2];
#else
        uint32_t xcrHigh = 0;
        __asm__ volatile("xgetbv" : "=a"(xcr0), "=d"(xcrHigh) : "c"(0));
        (void)xcrHigh;
        __cpuid_count(7, 0, a, b, c, d);
#endif
        if ((xcr0 & 6) == 6 && (b & (1u << 5))) flags |= kCpuAVX2;
        // AVX-512: F, BW, VL (leaf 7 EBX bits 16, 30, 31) and VBMI2 (ECX
        // bit 6); XCR0 bits 5-7: the system saves the mask registers and
        // all 512 bits of the 32 vector registers.
        if ((flags & kCpuAVX2) && (xcr0 & 0xE0) == 0xE0 && (b & (1u << 16)) && (b & (1u << 30)) &&
            (b & (1u << 31)) && (c & (1u << 6)))
            flags |= kCpuAVX512;
    }
    // BMI1 and BMI2 (leaf 7 EBX bits 3 and 8) with MOVBE (leaf 1 ECX bit 22).
    if (maxLeaf >= 7 && (c1 & (1u << 22))) {
#if defined(_MSC_VER)
        __cpuidex(r, 7, 0);
        b = (unsigned)r[1];
#else
        __cpuid_count(7, 0, a, b, c, d);
#endif
        if ((b & (1u << 3)) && (b & (1u << 8))) flags |= kCpuBMI2;
    }
    (void)maxLeaf;
#elif HVDV_ARCH_ARM64
    // Advanced SIMD is mandatory in the 64-bit ARM architecture; it is a flag
    // only so that the mask can still turn it off.
    flags |= kCpuNEON;
#endif
    return flags;
}

}  // namespace

uint32_t DetectCpuFeatures() {
    static const uint32_t flags = Detect();
    return flags;
}

uint32_t CpuFlags() { return DetectCpuFeatures() & g_mask.load(std::memory_order_relaxed); }

void SetCpuMask(uint32_t mask) { g_mask.store(mask, std::memory_order_relaxed); }

}  // namespace hvdv
