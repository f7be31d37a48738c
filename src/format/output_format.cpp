#include "format/output_format.h"

#include "hv_dec_dv.h"

namespace hvdv {

DVOutputFormat OutputFormatFromFourcc(uint32_t fourcc) {
    switch (fourcc) {
        case HVDV_FOURCC_YUY2:
        case HVDV_FOURCC_YUYV: return kFormatYUY2;
        case HVDV_FOURCC_YuYv: return kFormatYuYv;
        case HVDV_FOURCC_UYVY: return kFormatUYVY;
        case HVDV_FOURCC_UyVy: return kFormatUyVy;
        case HVDV_FOURCC_VUYA: return kFormatVUYA;
        case HVDV_FOURCC_BGR3: return kFormatBGR24;
        case HVDV_FOURCC_R24C: return kFormatBGR24Studio;
        case HVDV_FOURCC_BGR4:
        case HVDV_FOURCC_BGRA: return kFormatBGRA32;
        case HVDV_FOURCC_R32C: return kFormatBGRA32Studio;
        case HVDV_FOURCC_R565: return kFormatRGB565;
        case HVDV_FOURCC_R555: return kFormatRGB555;
        default: return kFormatNone;
    }
}

}  // namespace hvdv
