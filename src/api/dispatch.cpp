// Rebuilds every process-wide kernel table from the current CpuFlags().
#include "decode/idct.h"
#include "threads/cpu.h"

namespace hvdv {

void RebuildKernelTables() {
    const uint32_t flags = CpuFlags();
    // Each kernel family's table initialiser is called here.
    InitIdctKernels(flags);
}

}  // namespace hvdv
