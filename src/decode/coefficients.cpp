// Coefficient decoding: the layouts, the macroblock records and the decoder
// for every processor; coefficients_body.h holds the decoder itself.
#include "decode/coefficients.h"

#include <cstring>

#include "decode/coefficients_body.h"
#include "decode/tables.h"
#include "threads/cpu.h"

namespace hvdv {

const DVBlockLayout kLayout25 = kAreas25;
const DVBlockLayout kLayout50 = kAreas50;
const DVBlockLayout kLayoutHD = kAreasHD;

void InitMacroblockState(DVMacroblockState* state, int blockCount) {
    // The 8-8 scan beside every block: the layouts whose blocks always take
    // it do not copy it again for every block.
    InitTables();
    for (int b = 0; b < kMaxBlocks; b++) {
        state->blocks[b].coefficients = state->coefficientArea[b];
        std::memcpy(state->scanArea[b], g_scanOrders[0], 64);
    }
    state->blockCount = blockCount;
}

void BeginMacroblock(DVMacroblockState* state, const uint8_t* payload, uint32_t x, uint32_t y) {
    state->data = payload + 1;
    state->x = x;
    state->y = y;
    state->sta = payload[0] >> 4;
    state->qno = payload[0] & 15;
    state->missing = 0;
}

void DecodeCoefficientsWith(DVMacroblockState* macroblocks, const DVBlockLayout& layout, DVCoefficientPasses passes) {
    DecodeSegmentCoefficients(macroblocks, layout, passes);
}

DVCoefficientDecoder SelectCoefficientDecoder(uint32_t cpuFlags) {
#if HVDV_HAVE_AVX512
    if ((cpuFlags & (kCpuAVX512 | kCpuBMI2)) == (kCpuAVX512 | kCpuBMI2)) return DecodeCoefficientsAvx512;
#endif
#if HVDV_HAVE_BMI2
    if (cpuFlags & kCpuBMI2) return DecodeCoefficientsBmi2;
#endif
    (void)cpuFlags;
    return DecodeCoefficientsWith;
}

}  // namespace hvdv
