// The coefficient decoder compiled with BMI2 and MOVBE; chosen when the
// processor has both (kCpuBMI2).  Same source, same results as the decoder
// for every processor.
#include "decode/coefficients_body.h"

namespace hvdv {

void DecodeCoefficientsBmi2(DVMacroblockState* macroblocks, const DVBlockLayout& layout,
                            DVCoefficientPasses passes) {
    DecodeSegmentCoefficients(macroblocks, layout, passes);
}

void ContinueThreePassesBmi2(DVMacroblockState* macroblocks, const DVBlockLayout& layout,
                             const DVOwnAreaEnd (*ends)[kMaxBlocks]) {
    ContinueSegmentCoefficients(macroblocks, layout, ends);
}

}  // namespace hvdv
