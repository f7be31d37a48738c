// Pixel kernels over one 720-pixel row: the run kernels of every family,
// plain C++ reference against SSE2.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "kernels/kernels.h"
#include "threads/cpu.h"

namespace {

using namespace hvdv;

struct Row {
    std::vector<uint8_t> y, cb, cr, out;
    Row() : y(720), cb(720), cr(720), out(4 * 720) {
        uint32_t s = 12345;
        for (int i = 0; i < 720; i++) {
            s = s * 1664525u + 1013904223u;
            y[i] = (uint8_t)(s >> 24);
            cb[i] = (uint8_t)(s >> 16);
            cr[i] = (uint8_t)(s >> 8);
        }
    }
};

void RunKernel(benchmark::State& state, DVKernelSetInit init, bool fullChroma, uint32_t flags) {
    if (flags && (DetectCpuFeatures() & flags) != flags) {
        state.SkipWithError("instruction set not available");
        return;
    }
    static Row row;
    DVPixelKernelSet k;
    std::memset(&k, 0, sizeof k);
    DVPixelDsp dsp;
    InitPixelDsp(&dsp, flags);
    init(&k, 0, &dsp);
    const DVPixelKernel fn = fullChroma ? k.convertRun444 : k.convertRun422;
    k.srcY = row.y.data();
    k.srcCb = row.cb.data();
    k.srcCr = row.cr.data();
    k.dst = row.out.data();
    k.pixelCount = 720;
    for (auto _ : state) {
        fn(&k);
        benchmark::DoNotOptimize(row.out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 720);
}

#define HVDV_KERNEL_BENCH(name, init, full)                                    \
    BENCHMARK_CAPTURE(RunKernel, name##_c, init, full, 0u);                    \
    BENCHMARK_CAPTURE(RunKernel, name##_sse2, init, full, (uint32_t)kCpuSSE2);

HVDV_KERNEL_BENCH(uyvy_run422, PackUYVY, false)
HVDV_KERNEL_BENCH(yuy2_run422, PackYUY2, false)
HVDV_KERNEL_BENCH(vuya_run422, PackVUYA, false)
HVDV_KERNEL_BENCH(vuya_run444, PackVUYA, true)
HVDV_KERNEL_BENCH(bgra32_run422, ConvertBGRA32, false)
HVDV_KERNEL_BENCH(bgra32_run444, ConvertBGRA32, true)
HVDV_KERNEL_BENCH(bgr24_run422, ConvertBGR24, false)
HVDV_KERNEL_BENCH(bgr24_run444, ConvertBGR24, true)
HVDV_KERNEL_BENCH(bgra32_studio_run422, ConvertBGRA32Studio, false)
HVDV_KERNEL_BENCH(bgra32_studio_run444, ConvertBGRA32Studio, true)
HVDV_KERNEL_BENCH(bgr24_studio_run422, ConvertBGR24Studio, false)
HVDV_KERNEL_BENCH(bgr24_studio_run444, ConvertBGR24Studio, true)
HVDV_KERNEL_BENCH(rgb555_run422, ConvertRGB555, false)
HVDV_KERNEL_BENCH(rgb555_run444, ConvertRGB555, true)
HVDV_KERNEL_BENCH(rgb565_run422, ConvertRGB565, false)
HVDV_KERNEL_BENCH(rgb565_run444, ConvertRGB565, true)

}  // namespace
