#include "y4m.h"

namespace hvdv_cli {

std::string Y4mStreamHeader(uint32_t width, uint32_t height, uint32_t rateNumerator, uint32_t rateDenominator,
                            char interlace, uint32_t aspectX, uint32_t aspectY, const char* chroma) {
    return "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) + " F" +
           std::to_string(rateNumerator) + ":" + std::to_string(rateDenominator) + " I" + interlace + " A" +
           std::to_string(aspectX) + ":" + std::to_string(aspectY) + " C" + chroma + "\n";
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
