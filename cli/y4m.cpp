#include "y4m.h"

namespace hvdv_cli {

std::string Y4mStreamHeader(const PictureGeometry& g, int32_t rateNumerator, int32_t rateDenominator) {
    return "YUV4MPEG2 W" + std::to_string(g.width) + " H" + std::to_string(g.height) + " F" +
           std::to_string(rateNumerator) + ":" + std::to_string(rateDenominator) + " I" + g.interlace + " A" +
           std::to_string(g.pixelAspectX) + ":" + std::to_string(g.pixelAspectY) + " C422\n";
}

void UyvyToPlanar422(const uint8_t* uyvy, int32_t pitch, uint32_t width, uint32_t height, uint8_t* y, uint8_t* u,
                     uint8_t* v) {
    const uint32_t pairs = width / 2;
    for (uint32_t row = 0; row < height; ++row) {
        const uint8_t* s = uyvy + int64_t(row) * pitch;
        for (uint32_t i = 0; i < pairs; ++i, s += 4) {
            u[i] = s[0];
            y[2 * i] = s[1];
            v[i] = s[2];
            y[2 * i + 1] = s[3];
        }
        y += width;
        u += pairs;
        v += pairs;
    }
}

}  // namespace hvdv_cli
