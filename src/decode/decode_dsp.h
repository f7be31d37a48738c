// The kernels a segment decoder runs, chosen once per decoder (see
// api/kernel_context.h) and reached through its jobs.
#pragma once

#include "decode/coefficients.h"
#include "decode/dequant_hd.h"
#include "decode/idct.h"

namespace hvdv {

struct DVDecodeDsp {
    DVIdctKernels idct;           // InitIdctDsp
    DVIdctHDKernels idctHD;  // InitIdctHDDsp
    DVCoefficientDecoder coefficients;  // SelectCoefficientDecoder
};

}  // namespace hvdv
