// Video segment decoding for 50 Mb/s 4:2:2 and high-definition frames.
#pragma once
#include <cstdint>

#include "threads/job.h"

namespace hvdv {

// True for the frame kinds DecodeSegmentsHD handles (0x04, 0x05, 0x14,
// 0x15, 0x24, 0x25).
bool IsSegmentKindHD(int frameKind);

// Video segments of a 50 Mb/s or high-definition frame: segment g is video
// segment g % 27 of DIF sequence slot g / 27 of the buffer (channel after
// channel).  Each macroblock is placed from its own DIF block ID (channel,
// sequence, block number), not from where it lies in the buffer; a block
// whose ID is not a video block of this kind is not decoded and counts as
// damaged, and blocks of sequences that carry no video in this kind are
// skipped.  Counts damaged macroblocks in job->damagedCount.
void DecodeSegmentsHD(DVSegmentJob* job);

// Buffer segments of one picture of the kind (all DIF sequences of its
// channels, whether they carry video or not); 0 for other kinds.
int SegmentSlotsHD(int frameKind);

// High-definition dequantisation into the transform's input domain: the
// coefficient (v, h) with quantised amplitude a (stored as 16 a) becomes
// a * step * W(v, h) / 32 in orthonormal DCT units, step = qstep(QNO) *
// 2^class, W the weight matrix of the picture height and component.  The DC
// (stored as 8 DC) is not weighted.  Output at internal index i, ready for
// the 8-8 kernel with the unit weights below and shift 0.  Runs the kernel
// that CpuFlags() selects (for tests and tools; decoders use their own).
void DequantiseHD(int16_t* out, const int16_t* coefficients, int qno, int classNumber,
                  bool lines720, bool chroma);

// Weights that make the 8-8 kernel take its input unchanged (8192 with
// shift 0: (x * 8192) >> 13 = x).
extern const uint16_t kUnitWeights[64];

}  // namespace hvdv
