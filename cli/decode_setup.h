// Choices of "hvdv decode" that depend only on its arguments and on the
// first frame: pixel format names, frame ranges, the picture geometry and
// the YUV4MPEG2 stream tags.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "hvdv.h"
#include "records.h"

namespace hvdv_cli {

using hvdv_scan::InterlaceTag;

// The FOURCC of an output format name ("UYVY", "BGR3", ...; case matters:
// "YUYV" and "YuYv" are different codes); false for an unknown name.
bool FourccFromName(const std::string& name, uint32_t* fourcc);
// The names FourccFromName accepts, space-separated.
const char* FourccNames();
// Bytes per output pixel of a FOURCC the library produces, else 0.
uint32_t BytesPerPixel(uint32_t fourcc);

// "A-B" (inclusive), "A-" (to the end) or "N" (one frame), 0-based.  An open
// end leaves *last at UINT64_MAX.  False for anything else, or B < A.
bool ParseFrameRange(const std::string& text, uint64_t* first, uint64_t* last);

// A packed picture (one FOURCC) and how a YUV4MPEG2 stream describes it.
struct PictureGeometry {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bytesPerPixel = 0;
    int32_t pitch = 0;       // rows packed without padding
    char interlace = '?';    // 'b' bottom field first, 't' top first, 'p' progressive
    uint32_t pixelAspectX = 0, pixelAspectY = 0;  // reduced
};

// The packed picture for frames like the one described by info, at full or
// half size, in the pixel format fourcc.  High definition comes at its
// display width (1280 or 1920) unless codedWidth asks for the coded width
// (960, 1280 or 1440).  meta (may be null) gives the field order.  False with
// a reason for an unknown pixel format.
bool ChooseGeometry(const hvdv_frame_info& info, const hvdv_metadata* meta, bool half, bool codedWidth,
                    uint32_t fourcc, PictureGeometry* geometry, std::string* reason);

// The three planes of HVDV_FORMAT_PLANAR at the coded chroma sampling, one
// after the other with rows packed: the payload of a YUV4MPEG2 frame.
struct PlaneLayout {
    uint32_t width[3] = {}, height[3] = {};
    size_t offset[3] = {};
    size_t bytes = 0;
    const char* y4mChroma = "";  // the C tag: "411", "420paldv" or "422"
    char interlace = '?';
    uint32_t pixelAspectX = 0, pixelAspectY = 0;
};
PlaneLayout ChoosePlanes(const hvdv_frame_info& info, const hvdv_metadata* meta, bool half);

}  // namespace hvdv_cli
