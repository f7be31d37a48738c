// Rebuilds every process-wide kernel table from the current CpuFlags().
#include "decode/dequant_hd.h"
#include "decode/idct.h"
#include "threads/cpu.h"

namespace hvdv {

void RebuildWriterDsp();  // writer/writer_dsp.cpp

void RebuildKernelTables() {
    const uint32_t flags = CpuFlags();
    InitIdctKernels(flags);
    InitDequantKernelHD(flags);
    RebuildWriterDsp();
}

}  // namespace hvdv
