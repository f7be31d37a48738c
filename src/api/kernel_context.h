// The kernels one decoder runs: a table per kernel family, filled once when
// the decoder is made from the instruction sets it may use, then only read.
#pragma once
#include <cstdint>

#include "decode/decode_dsp.h"
#include "kernels/kernels.h"
#include "writer/writer_ops.h"

namespace hvdv {

struct DVKernelContext {
    DVDecodeDsp decode;  // IDCT and high-definition dequantisation (the segment jobs)
    DVWriterDsp writer;  // row kernels of the picture writers
    DVPixelDsp pixel;    // pixel kernels of every output family
};

// Fills every table for cpuFlags (threads/cpu.h): each family's initialiser
// puts in its plain C++ references, then the instruction sets in cpuFlags
// overwrite what they provide.
void InitKernelContext(DVKernelContext* ctx, uint32_t cpuFlags);

}  // namespace hvdv
