// Fuzz target: the coefficient decoders and the inverse transforms on the
// compressed bytes of one video segment.
//
// Input: 2 parameter bytes, then five 77-byte macroblock payloads (STA/QNO
// byte and 76 bytes of blocks), zero-filled when the input is short.
//   byte 0 bits 0-1  decoder: three passes, own bits only, half size (3: three passes)
//          bits 2-6  macroblocks not in the frame (one bit each)
//          bit 7     run the C++ transforms instead of the selected kernels
//   byte 1 bit 0     high-definition block layout (eight blocks) instead of 25 Mb/s
// Each payload lives in its own heap block of 77 bytes plus the reader's
// permitted look-ahead, so a load beyond that is reported.
#include <cstdint>
#include <memory>

#include "decode/coefficients.h"
#include "decode/idct.h"
#include "fuzz_common.h"
#include "hv_dec_dv.h"
#include "threads/cpu.h"

using hvdv_fuzz::ExactBuffer;
using hvdv_fuzz::ParamReader;
using hvdv_fuzz::Require;

namespace {

constexpr size_t kPayloadBytes = 77;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = (InitDVDec(), true);
    (void)ready;
    ParamReader params(data, size);
    const uint8_t choice = params.Byte();
    const int decoder = choice & 3;
    const bool reference = (choice & 0x80) != 0;
    const uint8_t layoutChoice = params.Byte() % 3;
    const hvdv::DVBlockLayout& layout = layoutChoice == 2   ? hvdv::kLayout50
                                        : layoutChoice == 1 ? hvdv::kLayoutHD
                                                            : hvdv::kLayout25;

    std::unique_ptr<ExactBuffer> payloads[hvdv::kMacroblocksPerSegment];
    auto states = std::make_unique<hvdv::DVMacroblockState[]>(hvdv::kMacroblocksPerSegment);
    for (int j = 0; j < hvdv::kMacroblocksPerSegment; j++) {
        payloads[j] = std::make_unique<ExactBuffer>(kPayloadBytes + hvdv::kOverRead);
        uint8_t* p = payloads[j]->data();
        std::memset(p, 0, payloads[j]->size());
        const size_t take = params.RestSize() < kPayloadBytes ? params.RestSize() : kPayloadBytes;
        std::memcpy(p, params.Rest(), take);
        params.Skip(take);
        hvdv::DVMacroblockState& mb = states[j];
        hvdv::InitMacroblockState(&mb, layout.blockCount);
        hvdv::BeginMacroblock(&mb, p, 0, 0);
        if (choice & (4 << j)) {
            mb.data = nullptr;
            mb.missing = 1;
        }
    }

    const bool half = decoder == 2;
    hvdv::DecodeCoefficientsWith(states.get(), layout,
                                 decoder == 1 ? hvdv::kPassesSingle : half ? hvdv::kPassesHalf : hvdv::kPassesThree);

    static const hvdv::DVIdctKernels idct = [] {
        hvdv::DVIdctKernels k;
        hvdv::InitIdctDsp(&k, hvdv::CpuFlags());
        return k;
    }();
    hvdv::DVIdctKernel kernel = half ? idct.half : idct.full;
    if (reference) kernel = half ? hvdv::IdctKernel4_c : hvdv::IdctKernel8_c;
    for (int j = 0; j < hvdv::kMacroblocksPerSegment; j++) {
        const hvdv::DVMacroblockState& mb = states[j];
        Require(mb.qno >= 0 && mb.qno < 16);
        for (int b = 0; b < mb.blockCount; b++) {
            const hvdv::DVBlockState& blk = mb.blocks[b];
            Require(blk.mode == 0 || blk.mode == 1);
            Require(blk.classNumber >= 0 && blk.classNumber < 4);
            Require(blk.leftoverCount >= 0 && blk.leftoverCount < 16);
            Require(blk.position >= 0);
            Require(blk.last >= 0 && blk.last < 64);
            if (mb.missing) {
                for (int i = 0; i < 64; i++) Require(blk.coefficients[i] == 0);
            }
            alignas(16) uint8_t out[64];
            const hvdv::DVDequant d = hvdv::SelectDequant(blk.classNumber, blk.mode, mb.qno);
            kernel(out, blk.coefficients, d.weights, d.shift, blk.mode);
        }
    }
    return 0;
}
