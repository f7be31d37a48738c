// Coefficient decoding: the layouts, the macroblock records and the decoder
// for every processor; coefficients_body.h holds the decoder itself.
#include "decode/coefficients.h"

#include "decode/coefficients_body.h"
#include "threads/cpu.h"

namespace hvdv {

const DVBlockLayout kLayout25 = kAreas25;
const DVBlockLayout kLayout50 = kAreas50;
const DVBlockLayout kLayoutHD = kAreasHD;

void InitMacroblockState(DVMacroblockState* state, int blockCount) {
    for (int b = 0; b < kMaxBlocks; b++) state->blocks[b].coefficients = state->coefficientArea[b];
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

void DecodeCoefficientsWith(DVMacroblockState* macroblocks, const DVBlockLayout& layout,
                            DVCoefficientPasses passes) {
    DecodeSegmentCoefficients(macroblocks, layout, passes);
}

DVCoefficientDecoder SelectCoefficientDecoder(uint32_t cpuFlags) {
#if HVDV_HAVE_BMI2
    if (cpuFlags & kCpuBMI2) return DecodeCoefficientsBmi2;
#endif
    (void)cpuFlags;
    return DecodeCoefficientsWith;
}

}  // namespace hvdv
