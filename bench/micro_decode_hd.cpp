// 50 Mb/s and high-definition segment decoding: a whole frame's segments
// into a writer that discards them, and the high-definition dequantisation.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "api/classify.h"
#include "api/kernel_context.h"
#include "decode/coefficients.h"
#include "decode/segments_hd.h"
#include "hv_dec_dv.h"
#include "threads/cpu.h"
#include "writer/writer.h"

using namespace hvdv;

namespace {

struct HDStream {
    const char* file;
    uint32_t bytes;
    int kind;
};
const HDStream kStreams[] = {
    {"dv50_625.dv", 288000, 0x04}, {"hd_1080i50.dv", 576000, 0x24}, {"hd_1080i60.dv", 480000, 0x25},
    {"hd_720p60.dv", 240000, 0x15}};

std::vector<uint8_t> Load(const HDStream& s) {
    std::vector<uint8_t> d(s.bytes);
    FILE* f = std::fopen((std::string(HVDV_TEST_DATA_DIR "/") + s.file).c_str(), "rb");
    if (!f || std::fread(d.data(), 1, d.size(), f) != d.size()) d.clear();
    if (f) std::fclose(f);
    return d;
}

void Discard(DVPictureWriter*, int, int, int, const DVMacroblock* mb) { benchmark::DoNotOptimize(mb->slot[0][0]); }

void BM_DecodeSegmentsHD(benchmark::State& state) {
    const HDStream& s = kStreams[state.range(0)];
    const std::vector<uint8_t> frame = Load(s);
    if (frame.empty()) return state.SkipWithError("no test frame");
    InitDVDec();
    DVPictureWriter writer{};
    writer.PutMacroblock = Discard;
    DVSegmentJob job{};
    job.firstSegment = 0;
    job.endSegment = SegmentSlotsHD(s.kind);
    job.halfSize = (int)state.range(1);
    job.frameType = (uint32_t)s.kind | kFrameHeaders;
    job.frame = frame.data();
    job.frameSize = s.bytes;
    job.writer = &writer;
    DVKernelContext kernels;
    InitKernelContext(&kernels, CpuFlags());
    job.dsp = &kernels.decode;
    for (auto _ : state) DecodeSegmentsHD(&job);
    state.SetLabel(s.file);
}
BENCHMARK(BM_DecodeSegmentsHD)->ArgNames({"stream", "half"})->ArgsProduct({{0, 1, 2, 3}, {0, 1}})->Unit(benchmark::kMicrosecond);

}  // namespace
