// Picture writer stages: whole-frame 4:1:1 conversion, high-definition
// flush, and the row kernels, with a trivial 4-byte probe pixel format.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "api/kernel_context.h"
#include "threads/cpu.h"
#include "writer/writer_ops.h"
#include "writer_probe.h"

using namespace hvdv;

namespace {

// The kernels a decoder would choose: the plain C++ references (simd 0) or
// every instruction set the processor has.
const DVKernelContext& Kernels(int64_t simd) {
    static const struct Levels {
        DVKernelContext plain, simd;
        Levels() {
            InitKernelContext(&plain, 0);
            InitKernelContext(&simd, CpuFlags());
        }
    } levels;
    return simd ? levels.simd : levels.plain;
}

DVPictureWriter* MakeWriter(int64_t simd, DVKernelSetInit init, int kind, int half) {
    const DVKernelContext& k = Kernels(simd);
    return CreatePictureWriterWith(&k.writer, &k.pixel, init, 0, 1, *ProfileForKind(kind), half, 0);
}

struct Writer {
    DVPictureWriter* w;
    std::vector<uint8_t> picture;
    Writer(int64_t simd, DVKernelSetInit init, int kind, int width, int height)
        : w(MakeWriter(simd, init, kind, 0)), picture((size_t)width * height * 4) {
        w->BeginFrame(w, picture.data(), width * 4, width, height);
    }
    ~Writer() {
        w->FreeFrameBuffer(w);
        w->Release(w);
    }
};

void BM_EndFrame411To444(benchmark::State& state) {
    Writer wr(state.range(0), probe::Init, 0x03, 720, 480);
    for (auto _ : state) wr.w->EndFrame(wr.w);
}
BENCHMARK(BM_EndFrame411To444)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_EndFrame411To422(benchmark::State& state) {
    Writer wr(state.range(0), probe::Init422, 0x03, 720, 480);
    for (auto _ : state) wr.w->EndFrame(wr.w);
}
BENCHMARK(BM_EndFrame411To422)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The end of a 4:1:1 frame into UYVY, the common case: since the macroblocks
// go straight into the picture, only the rows' joins at macroblock borders.
void BM_EndFrame411UYVY(benchmark::State& state) {
    DVPictureWriter* w = MakeWriter(state.range(0), PackUYVY, 0x03, 0);
    std::vector<uint8_t> picture((size_t)720 * 480 * 2);
    w->BeginFrame(w, picture.data(), 720 * 2, 720, 480);
    for (auto _ : state) w->EndFrame(w);
    w->FreeFrameBuffer(w);
    w->Release(w);
}
BENCHMARK(BM_EndFrame411UYVY)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// One thread flushing all 1080 rows of a 1440-wide frame to 1920 (3:4) or
// a 1280-wide frame to 1920 (2:3).
void BM_FlushHD1080(benchmark::State& state) {
    Writer wr(state.range(1), probe::Init, state.range(0) ? 0x24 : 0x25, 1920, 1080);
    for (auto _ : state) wr.w->FlushRows(wr.w, 0, 0, 1080);
}
BENCHMARK(BM_FlushHD1080)->Args({1, 0})->Args({1, 1})->Args({0, 0})->Args({0, 1})
    ->Unit(benchmark::kMillisecond);

// Cost of the work buffers per frame: BeginFrame, FillGaps (after a frame
// whose every macroblock arrived: nothing to clear) and FreeFrameBuffer, with
// memory of the writer's own (kept:0, allocated zero-filled every frame) or
// kept between frames as a decoder instance does (kept:1).
void BM_BeginFrameBuffers(benchmark::State& state) {
    const int kind = (int)state.range(0);
    const int width = kind == 0x03 ? 720 : 1920, height = kind == 0x03 ? 480 : 1080;
    DVPictureWriter* w = MakeWriter(1, probe::Init, kind, 0);
    DVWorkBuffer kept;
    std::vector<uint8_t> pic(16);
    for (auto _ : state) {
        w->workBuffer = state.range(1) ? &kept : nullptr;
        w->BeginFrame(w, pic.data(), width * 4, width, height);
        if (w->tileFlags)  // as if every macroblock had been put
            std::memset(w->tileFlags, 1, (size_t)(w->codedLumaWidth >> 4) * (size_t)(w->frameRows >> 3));
        if (w->FillGaps) w->FillGaps(w);
        benchmark::DoNotOptimize(w->frameBuffer);
        w->FreeFrameBuffer(w);
    }
    w->Release(w);
    ReleaseWorkBuffer(&kept);
}
BENCHMARK(BM_BeginFrameBuffers)->ArgsProduct({{0x03, 0x24}, {0, 1}})->ArgNames({"kind", "kept"})
    ->Unit(benchmark::kMicrosecond);

void BM_ResampleRow(benchmark::State& state) {
    const DVWriterDsp& d = Kernels(state.range(1)).writer;
    const bool threeToFour = state.range(0) != 0;
    const int n = threeToFour ? 1440 : 1280;
    std::vector<uint8_t> row(n + 32, 100), out(1920);
    for (int i = 0; i < n; i++) row[16 + i] = (uint8_t)(i * 37);
    for (auto _ : state) {
        (threeToFour ? d.resampleRow3To4 : d.resampleRow2To3)(row.data() + 16, n, out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 1920);
}
BENCHMARK(BM_ResampleRow)->Args({1, 0})->Args({1, 1})->Args({0, 0})->Args({0, 1});

// A whole 625/50 4:2:0 frame of macroblocks placed into UYVY (full or half
// size), through the whole-macroblock kernels or, with those removed from
// the kernel set, through 16-pixel strips.
void BM_Put420FrameUYVY(benchmark::State& state) {
    const bool half = state.range(0) != 0, fused = state.range(1) != 0;
    const int width = half ? 360 : 720, height = half ? 288 : 576;
    DVPictureWriter* w = MakeWriter(1, PackUYVY, 0x00, half ? 1 : 0);
    std::vector<uint8_t> picture((size_t)width * height * 2);
    w->BeginFrame(w, picture.data(), width * 2, width, height);
    if (!fused) {
        w->kernelSets[0]->convertMacroblock420 = nullptr;
        w->kernelSets[0]->convertMacroblock420Half = nullptr;
    }
    DVMacroblock mb;
    for (int i = 0; i < (int)sizeof mb.slot; i++) mb.slot[i / 64][i % 64] = (uint8_t)(i * 7);
    for (auto _ : state) {
        for (int y = 0; y < 576; y += 16)
            for (int x = 0; x < 720; x += 16) w->PutMacroblock(w, 0, x, y, &mb);
        benchmark::DoNotOptimize(picture.data());
    }
    w->Release(w);
}
BENCHMARK(BM_Put420FrameUYVY)->ArgNames({"half", "fused"})->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1})
    ->Unit(benchmark::kMicrosecond);

// A whole 525/60 4:1:1 frame of macroblocks into UYVY, then the frame's
// end: straight into the picture with the row joins (direct 1) or, with the
// 4:1:1 macroblock kernel removed from the set, through the frame buffer and
// its row conversion (direct 0).
void BM_Put411FrameUYVY(benchmark::State& state) {
    DVPictureWriter* w = MakeWriter(1, PackUYVY, 0x03, 0);
    std::vector<uint8_t> picture((size_t)720 * 480 * 2);
    if (!state.range(0)) w->kernelSets[0]->convertMacroblock411 = nullptr;
    w->BeginFrame(w, picture.data(), 720 * 2, 720, 480);
    DVMacroblock mb;
    for (int i = 0; i < (int)sizeof mb.slot; i++) mb.slot[i / 64][i % 64] = (uint8_t)(i * 7);
    for (auto _ : state) {
        for (int y = 0; y < 480; y += 8)
            for (int x = 0; x < 704; x += 32) w->PutMacroblock(w, 0, x, y, &mb);
        for (int y = 0; y < 480; y += 16) w->PutMacroblock(w, 0, 704, y, &mb);
        w->FlushRows(w, 0, 0, 480);
        benchmark::DoNotOptimize(picture.data());
    }
    w->FreeFrameBuffer(w);
    w->Release(w);
}
BENCHMARK(BM_Put411FrameUYVY)->ArgName("direct")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A whole 1080i50 frame of macroblocks (1440 x 1072, the bottom strip left
// out) into the planar writer's three planes, plain or SIMD macroblock store.
void BM_PutHDPlanar(benchmark::State& state) {
    const DVProfile& profile = *ProfileForKind(0x24);
    int32_t width[3], height[3];
    PlanarGeometry(profile, 0, width, height);
    std::vector<uint8_t> planes[3];
    DVPlanes p{};
    for (int i = 0; i < 3; i++) {
        planes[i].resize((size_t)width[i] * height[i]);
        p.data[i] = planes[i].data();
        p.pitch[i] = width[i];
        p.width[i] = width[i];
        p.height[i] = height[i];
    }
    DVPictureWriter w;
    InitPlanarWriter(&w, &Kernels(state.range(0)).writer, profile, 0, p);
    DVMacroblock mb;
    for (int i = 0; i < (int)sizeof mb.slot; i++) mb.slot[i / 64][i % 64] = (uint8_t)(i * 7);
    for (auto _ : state) {
        for (int y = 0; y < 1072; y += 16)
            for (int x = 0; x < 1440; x += 16) w.PutMacroblock(&w, 0, x, y, &mb);
        benchmark::DoNotOptimize(planes[0].data());
    }
}
BENCHMARK(BM_PutHDPlanar)->ArgName("simd")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
