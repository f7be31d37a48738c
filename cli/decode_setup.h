// Choices of "hvdv decode" that depend only on its arguments and on the
// stream information of the first frame: pixel format names, frame ranges,
// picture geometry and the YUV4MPEG2 stream tags.
#pragma once
#include <cstdint>
#include <string>

#include "hv_dec_dv.h"

namespace hvdv_cli {

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

// The picture a decode call fills, and how a YUV4MPEG2 stream describes it.
struct PictureGeometry {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bytesPerPixel = 0;
    int32_t pitch = 0;       // rows packed without padding
    char interlace = '?';    // 'b' bottom field first, 't' top first, 'p' progressive
    uint32_t pixelAspectX = 0, pixelAspectY = 0;  // reduced
};

// The picture for the stream described by info, at full or half size, in
// the pixel format fourcc.  High-definition pictures come at their display
// width (1280 or 1920) unless codedWidth asks for the coded width (960,
// 1280 or 1440).  False with a reason when the library cannot decode the
// stream's frames.
bool ChooseGeometry(const DVStreamInfoEx& info, bool half, bool codedWidth, uint32_t fourcc,
                    PictureGeometry* geometry, std::string* reason);

}  // namespace hvdv_cli
