// Block decoding stages: one segment's coefficients, one inverse transform,
// and a whole frame's segments of each kind.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "api/kernel_context.h"
#include "decode/coefficients.h"
#include "decode/idct.h"
#include "decode/segments.h"
#include "format/profile.h"
#include "hv_dec_dv.h"
#include "threads/cpu.h"

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

void Discard(void*, int, int, int, const DVMacroblock* mb) { benchmark::DoNotOptimize(mb->slot[0][0]); }

// Segment 100 of the frame, five macroblocks.
void PrepareSegment(DVMacroblockState* states) {
    InitDVDec();
    for (uint32_t j = 0; j < 5; j++) {
        InitMacroblockState(&states[j], 6);
        const uint32_t offset = VideoBlockOffset(100 / 27, 5 * (100 % 27) + j, true) + kDifIdBytes;
        BeginMacroblock(&states[j], Frame().data() + offset, 0, 0);
    }
}

template <DVCoefficientPasses kPasses>
void BM_SegmentCoefficients(benchmark::State& state) {
    if (Frame().empty()) return state.SkipWithError("no test frame");
    DVMacroblockState states[5];
    PrepareSegment(states);
    // isa 0: the decoder for every processor; 1: the one CpuFlags() picks.
    const DVCoefficientDecoder decode = SelectCoefficientDecoder(state.range(0) ? CpuFlags() : 0);
    for (auto _ : state) {
        decode(states, kLayout25, kPasses);
        benchmark::ClobberMemory();
    }
}
BENCHMARK_TEMPLATE(BM_SegmentCoefficients, kPassesThree)->Name("Coefficients/ThreePass")->ArgName("isa")->Arg(0)->Arg(1);
BENCHMARK_TEMPLATE(BM_SegmentCoefficients, kPassesSingle)->Name("Coefficients/SinglePass")->ArgName("isa")->Arg(0)->Arg(1);
BENCHMARK_TEMPLATE(BM_SegmentCoefficients, kPassesHalf)->Name("Coefficients/Half")->ArgName("isa")->Arg(0)->Arg(1);

void BM_InverseTransform(benchmark::State& state) {
    DVMacroblockState states[5];
    PrepareSegment(states);
    DecodeCoefficientsWith(states, kLayout25, kPassesThree);
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

// A whole frame's segments of each kind into a sink that discards them.
struct Stream {
    const char* file;
    int kind;
};
const Stream kStreams[] = {{"sample_625_420.dv", kKind625_420}, {"ntsc_411_detail.dv", kKind525_411},
                           {"dv50_625.dv", kKind625_422},      {"hd_1080i50.dv", kKind1080_50},
                           {"hd_1080i60.dv", kKind1080_60},    {"hd_720p60.dv", kKind720_60},
                           // Dense streams from the target hvdv_dense_streams (skipped when absent).
                           {"dense_525_411.dv", kKind525_411}, {"dense_625_420.dv", kKind625_420},
                           {"dense_dv50_625.dv", kKind625_422}, {"dense_hd_1080i50.dv", kKind1080_50}};

void BM_DecodeSegments(benchmark::State& state) {
    const Stream& s = kStreams[state.range(0)];
    const DVProfile* profile = ProfileForKind(s.kind);
    std::vector<uint8_t> frame(profile->frameBytes);
    const bool dense = std::string(s.file).compare(0, 6, "dense_") == 0;
    FILE* f = std::fopen(((dense ? std::string(HVDV_DENSE_DIR "/") : std::string(HVDV_TEST_DATA_DIR "/")) + s.file).c_str(), "rb");
    const bool read = f && std::fread(frame.data(), 1, frame.size(), f) == frame.size();
    if (f) std::fclose(f);
    if (!read) return state.SkipWithError("no test frame");
    InitDVDec();
    DVKernelContext kernels;
    InitKernelContext(&kernels, CpuFlags());
    DVSegmentRun run{};
    run.profile = profile;
    run.frame = frame.data();
    run.frameSize = (uint32_t)frame.size();
    run.headerBlocks = true;
    run.half = state.range(1) != 0;
    run.decodeFlags = (uint32_t)state.range(2);
    run.dsp = &kernels.decode;
    run.sink = DVMacroblockSink{Discard, nullptr, nullptr};
    run.endSegment = profile->segments;
    for (auto _ : state) benchmark::DoNotOptimize(DecodeSegments(run));
    state.counters["macroblocks/s"] = benchmark::Counter(
        double(profile->videoMacroblocks) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.SetLabel(s.file);
}
BENCHMARK(BM_DecodeSegments)
    ->ArgNames({"stream", "half", "flags"})
    ->ArgsProduct({{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {0, 1}, {0}})
    ->Args({0, 0, HVDV_FLAG_SINGLE_PASS})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
