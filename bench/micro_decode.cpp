// Block decoding stages: one segment's coefficients, one inverse transform,
// and a whole 625/50 frame's segments into a writer that discards them.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "api/kernel_context.h"
#include "decode/coefficients.h"
#include "decode/idct.h"
#include "decode/segments.h"
#include "hv_dec_dv.h"
#include "threads/cpu.h"
#include "writer/writer.h"

using namespace hvdv;

namespace {

const std::vector<uint8_t>& Frame() {
    static std::vector<uint8_t> data = [] {
        std::vector<uint8_t> d(144000);
        FILE* f = std::fopen(HVDV_TEST_DATA_DIR "/sample_625_420.dv", "rb");
        if (!f || std::fread(d.data(), 1, d.size(), f) != d.size()) d.clear();
        if (f) std::fclose(f);
        return d;
    }();
    return data;
}

void Discard(DVPictureWriter*, int, int, int, const DVMacroblock* mb) { benchmark::DoNotOptimize(mb->slot[0][0]); }

// Segment 100 of the frame, five macroblocks.
void PrepareSegment(DVMacroblockState* states) {
    InitDVDec();
    const uint32_t* offsets = BlockOffsetTable(1);
    for (int j = 0; j < 5; j++) {
        InitMacroblockState(&states[j], 6);
        BeginMacroblock(&states[j], Frame().data() + offsets[5 * 100 + j], j, 0, 0);
    }
}

template <void (*Decode)(DVMacroblockState*)>
void BM_SegmentCoefficients(benchmark::State& state) {
    if (Frame().empty()) return state.SkipWithError("no test frame");
    DVMacroblockState states[5];
    PrepareSegment(states);
    for (auto _ : state) {
        Decode(states);
        benchmark::ClobberMemory();
    }
}
BENCHMARK_TEMPLATE(BM_SegmentCoefficients, DecodeCoefficients)->Name("Coefficients/ThreePass");
BENCHMARK_TEMPLATE(BM_SegmentCoefficients, DecodeCoefficientsSinglePass)->Name("Coefficients/SinglePass");
BENCHMARK_TEMPLATE(BM_SegmentCoefficients, DecodeCoefficientsHalf)->Name("Coefficients/Half");

void BM_InverseTransform(benchmark::State& state) {
    DVMacroblockState states[5];
    PrepareSegment(states);
    DecodeCoefficients(states);
    DVIdctKernels k;
    InitIdctDsp(&k, state.range(0) ? CpuFlags() : 0);
    const DVIdctKernel kernel = state.range(1) ? k.half : k.full;
    alignas(16) uint8_t out[64];
    int b = 0;
    for (auto _ : state) {
        const DVBlockState& blk = states[b / 6].blocks[b % 6];
        DVDequant d = SelectDequant(blk.classNumber, blk.mode, states[b / 6].qno);
        kernel(out, blk.coefficients, d.weights, d.shift, blk.mode);
        benchmark::DoNotOptimize(out[0]);
        b = b == 29 ? 0 : b + 1;
    }
}
BENCHMARK(BM_InverseTransform)->ArgNames({"simd", "half"})->Args({0, 0})->Args({1, 0})->Args({0, 1})->Args({1, 1});

void BM_DecodeSegmentsFrame(benchmark::State& state) {
    if (Frame().empty()) return state.SkipWithError("no test frame");
    InitDVDec();
    DVPictureWriter writer{};
    writer.PutMacroblock = Discard;
    DVSegmentJob job{};
    job.firstSegment = 0;
    job.endSegment = 324;
    job.halfSize = (int)state.range(0);
    job.decodeFlags = (uint32_t)state.range(1);
    job.macroblockTable = MacroblockTable(0);
    job.blockOffsets = BlockOffsetTable(1);
    job.frame = Frame().data();
    job.frameSize = (uint32_t)Frame().size();
    job.writer = &writer;
    DVKernelContext kernels;
    InitKernelContext(&kernels, CpuFlags());
    job.dsp = &kernels.decode;
    for (auto _ : state) DecodeSegments(&job);
    state.counters["macroblocks/s"] = benchmark::Counter(1620.0 * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeSegmentsFrame)->ArgNames({"half", "flags"})->Args({0, 0})->Args({0, 2})->Args({1, 0})->Unit(benchmark::kMicrosecond);

}  // namespace
