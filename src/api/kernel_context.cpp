#include "api/kernel_context.h"

namespace hvdv {

void InitKernelContext(DVKernelContext* ctx, uint32_t cpuFlags) {
    InitIdctDsp(&ctx->decode.idct, cpuFlags);
    InitIdctHDDsp(&ctx->decode.idctHD, cpuFlags);
    ctx->decode.coefficients = SelectCoefficientDecoder(cpuFlags);
    InitWriterDsp(&ctx->writer, cpuFlags);
    InitPixelDsp(&ctx->pixel, cpuFlags);
}

}  // namespace hvdv
