// Fuzz target: both decode calls on any bytes, at any picture geometry,
// pitch, flags and output format.
//
// Input: 8 parameter bytes, then the frame.
//   0     bits 0-2: how frameSize is chosen (whole, shorter by a length, a
//         multiple of 80, a length); bit 7: decode through the instance
//   1-2   the length used by the frameSize choice
//   3     picture geometry (index into kGeometries)
//   4     bit 0: negative pitch; bits 1-7: padding bytes added to each row
//   5     decode flags: bits 0-2 as they are, bit 3 the single-thread flag,
//         bits 4-7 other (ignored) bits
//   6     output format (index into kFourccs; past the end: an unknown one)
//   7     bit 4 set: job count 1 + bits 0-3 instead of the processor count;
//         bit 5 set: plain C++ kernels only (no SIMD)
//
// The picture is a heap block of exactly height x |pitch| bytes; with a
// negative pitch the decode gets its last row, as a bottom-up host passes it.
// One decoder instance lives across inputs, as in a long-running host.
#include <cstdint>

#include "fuzz_common.h"
#include "hv_dec_dv.h"
#include "threads/cpu.h"
#include "threads/platform.h"

using hvdv_fuzz::ExactBuffer;
using hvdv_fuzz::ParamReader;
using hvdv_fuzz::Require;

namespace {

struct Geometry {
    uint32_t width, height;
};

const Geometry kGeometries[] = {
    // Full and half size of both systems.
    {720, 480}, {720, 576}, {720, 486}, {360, 240}, {360, 288}, {360, 243},
    // Half-size pictures of other shapes, high-definition sizes.
    {640, 360}, {480, 360}, {720, 360}, {960, 540}, {720, 540}, {640, 540},
    {1920, 1080}, {1280, 720}, {1440, 1080}, {960, 720}, {1280, 1080},
    // Sizes no frame has: smaller, one off, degenerate, larger.
    {0, 0}, {1, 1}, {16, 16}, {720, 0}, {0, 576}, {720, 1}, {1, 576}, {719, 575},
    {721, 577}, {704, 480}, {360, 576}, {720, 240}, {360, 480}, {2, 486}, {1024, 1024},
    {4096, 2}, {2, 4096},
};
constexpr size_t kGeometryCount = sizeof kGeometries / sizeof kGeometries[0];

struct Format {
    uint32_t fourcc;
    uint32_t bytesPerPixel;
};

const Format kFourccs[] = {
    {HVDV_FOURCC_YUY2, 2}, {HVDV_FOURCC_YUYV, 2}, {HVDV_FOURCC_YuYv, 2}, {HVDV_FOURCC_UYVY, 2},
    {HVDV_FOURCC_UyVy, 2}, {HVDV_FOURCC_VUYA, 4}, {HVDV_FOURCC_BGR3, 3}, {HVDV_FOURCC_R24C, 3},
    {HVDV_FOURCC_BGR4, 4}, {HVDV_FOURCC_BGRA, 4}, {HVDV_FOURCC_R32C, 4}, {HVDV_FOURCC_R565, 2},
    {HVDV_FOURCC_R555, 2},
};
constexpr size_t kFourccCount = sizeof kFourccs / sizeof kFourccs[0];

uint32_t ChooseFrameSize(uint8_t mode, uint16_t length, size_t available) {
    const uint32_t whole = (uint32_t)available;
    switch (mode & 7) {
        case 1: return length < available ? whole - length : 0;
        case 2: return (size_t)length * 80 < available ? (uint32_t)length * 80 : whole;
        case 3: return length < available ? (uint32_t)length : whole;
        default: return whole;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ParamReader params(data, size);
    const uint8_t sizeMode = params.Byte();
    const uint16_t length = params.Word();
    const Geometry g = kGeometries[params.Byte() % kGeometryCount];
    const uint8_t pitchChoice = params.Byte();
    const uint8_t flagBits = params.Byte();
    const uint8_t formatChoice = params.Byte();
    const uint8_t jobChoice = params.Byte();

    const ExactBuffer frame(params.Rest(), params.RestSize());
    const uint32_t frameSize = ChooseFrameSize(sizeMode, length, frame.size());

    const bool known = formatChoice < kFourccCount;
    const uint32_t fourcc = known ? kFourccs[formatChoice].fourcc : 0x01010101u * formatChoice;
    const uint32_t bpp = known ? kFourccs[formatChoice].bytesPerPixel : 4;
    const int32_t rowBytes = (int32_t)(g.width * bpp + (pitchChoice >> 1));
    const int32_t pitch = (pitchChoice & 1) ? -rowBytes : rowBytes;
    ExactBuffer picture((size_t)g.height * (size_t)rowBytes);
    std::memset(picture.data(), 0x5A, picture.size());
    uint8_t* const top = (pitch < 0 && g.height > 0) ? picture.data() + (size_t)(g.height - 1) * rowBytes
                                                     : picture.data();

    const uint32_t flags = (flagBits & 7u) | ((flagBits & 8u) ? HVDV_FLAG_SINGLE_THREAD : 0u) |
                           ((uint32_t)(flagBits & 0xF0u) << 16);
    hvdv::SetProcessorCountOverride((jobChoice & 0x10) ? 1 + (jobChoice & 15) : 0);
    // A decoder chooses its kernels from the mask when it is made: one
    // instance per mask, made after the mask is set.
    static uint32_t cpuMask = ~0u;
    const uint32_t wantMask = (jobChoice & 0x20) ? 0u : ~0u;
    if (wantMask != cpuMask) hvdv::SetCpuMask(cpuMask = wantMask);
    static DVDecInstance* instances[2] = {};
    DVDecInstance*& instance = instances[wantMask != 0];
    if (!instance) instance = DVNewDec();
    Require(instance != nullptr);

    const int32_t r = (sizeMode & 0x80)
                          ? DVDecompressBuffer(instance, frame.data(), frameSize, top, pitch, g.width, g.height,
                                               flags, fourcc, 0, 0)
                          : DecompressBuffer_DV(frame.data(), frameSize, top, pitch, g.width, g.height, flags,
                                                fourcc, 0, 0);
    Require(r == HVDV_DECODE_FAILED || r == HVDV_DECODE_OK || r == HVDV_DECODE_DAMAGED);
    if (!known) Require(r == HVDV_DECODE_FAILED);
    return 0;
}
