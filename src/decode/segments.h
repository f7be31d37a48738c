// Video segment decoding: compressed DIF blocks to decoded macroblocks handed
// to a picture writer.
#pragma once
#include <cstdint>

#include "threads/job.h"

namespace hvdv {

// Decodes video segments job->firstSegment .. job->endSegment - 1 and hands
// every macroblock to job->writer->PutMacroblock with job->jobIndex.  Counts
// damaged macroblocks in job->damagedCount.  Reads only the first
// job->frameSize bytes of job->frame.
void DecodeSegments(DVSegmentJob* job);

// Macroblock positions, one (x, y) pair per macroblock in DIF order, for the
// frame kinds 0x00 (625/50 4:2:0), 0x02 (625/50 4:1:1) and 0x03 (525/60
// 4:1:1); null for any other kind.
const uint32_t* MacroblockTable(int frameKind);

// Offset of each macroblock's payload (the byte after its 3-byte DIF block
// ID), 3240 entries in DIF order, for frames with (1) or without (0) header
// DIF blocks.
const uint32_t* BlockOffsetTable(int headerBlocks);

}  // namespace hvdv
