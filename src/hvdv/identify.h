// Frame identification for the second interface: the profile a frame is
// decoded with, from every source the frame offers.
#pragma once
#include <cstdint>

#include "format/probe.h"
#include "hvdv.h"

namespace hvdv {

// hvdv_result of a failed probe.
int ProbeResult(DVProbeFailure failure);

// The public description of a probed frame (size left as the caller set it).
void DescribeFrame(const DVProbe& probe, hvdv_frame_info* info);

}  // namespace hvdv
