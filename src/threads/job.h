// One job's share of a frame: a run of video segments to decode and a band of
// picture rows to flush, and, for worker jobs, the thread and its events.
#pragma once
#include <cstdint>

namespace hvdv {

struct DVPictureWriter;
struct DVDecodeDsp;

typedef void* DVHandle;  // a thread or event of the platform layer

struct DVSegmentJob {
    int32_t firstSegment;   // first video segment (frame-wide index)
    int32_t endSegment;     // one past the last
    int32_t halfSize;
    uint32_t decodeFlags;   // the caller's decode flags
    uint32_t frameType;     // DVFrameType after set-up
    const uint32_t* macroblockTable;  // (x, y) pairs per macroblock, DIF order
    const uint32_t* blockOffsets;     // payload offset per macroblock, DIF order
    const uint8_t* frame;
    DVPictureWriter* writer;
    const DVDecodeDsp* dsp;  // the decoder's IDCT and dequantisation kernels
    int32_t jobIndex;
    DVHandle thread;
    int32_t persistent;
    int32_t threadStarted;
    int32_t quit;           // stored before nextFrame is set; the event orders it
    DVHandle segmentsDone;
    DVHandle startRows;
    DVHandle frameDone;
    DVHandle nextFrame;
    DVHandle exited;
    int32_t threadCount;
    int32_t firstRow;
    int32_t rowCount;
    int32_t damagedCount;   // macroblocks whose DIF block status marks an error
    uint32_t frameSize;     // bytes of frame that may be read; blocks beyond are not read
};

}  // namespace hvdv
