// Rebuilds every process-wide kernel table from the current CpuFlags().
#include "threads/cpu.h"

namespace hvdv {

void RebuildWriterDsp();  // writer/writer_dsp.cpp

void RebuildKernelTables() {
    const uint32_t flags = CpuFlags();
    (void)flags;
    // Each kernel family's table initialiser is called here.
    RebuildWriterDsp();
}

}  // namespace hvdv
