// The writer factory of each output format: the formats differ only in the
// kernel set initialiser applied to every per-thread set.
#include "format/output_format.h"
#include "writer/writer_ops.h"

namespace hvdv {

DVPictureWriter* CreatePictureWriter(const DVWriterDsp* dsp, const DVPixelDsp* pixels,
                                     uint32_t outputFormat, int threadCount, const DVProfile& profile,
                                     int halfSize, int wideScreen) {
    DVKernelSetInit init = nullptr;
    switch (outputFormat) {
        case kFormatUYVY:
        case kFormatUyVy: init = PackUYVY; break;
        case kFormatYUY2:
        case kFormatYuYv: init = PackYUY2; break;
        case kFormatVUYA: init = PackVUYA; break;
        case kFormatBGR24: init = ConvertBGR24; break;
        case kFormatBGR24Studio: init = ConvertBGR24Studio; break;
        case kFormatBGRA32: init = ConvertBGRA32; break;
        case kFormatBGRA32Studio: init = ConvertBGRA32Studio; break;
        case kFormatRGB555: init = ConvertRGB555; break;
        case kFormatRGB565: init = ConvertRGB565; break;
        default: return nullptr;
    }
    // High-definition material uses the BT.709 matrix, standard definition BT.601.
    const int useBT709 = profile.hd ? 1 : 0;
    return CreatePictureWriterWith(dsp, pixels, init, useBT709, threadCount, profile, halfSize,
                                   wideScreen);
}

}  // namespace hvdv
