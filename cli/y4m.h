// YUV4MPEG2 output: the stream header, and planar 4:2:2 frames built from
// packed "UYVY" pictures (--chroma 422).
#pragma once
#include <cstdint>
#include <string>

namespace hvdv_cli {

// The stream header line, newline included:
// "YUV4MPEG2 W720 H576 F25:1 Ib A16:15 C420paldv\n".
std::string Y4mStreamHeader(uint32_t width, uint32_t height, uint32_t rateNumerator, uint32_t rateDenominator,
                            char interlace, uint32_t aspectX, uint32_t aspectY, const char* chroma);

// The line that starts every frame.
constexpr char kY4mFrameHeader[] = "FRAME\n";

// Splits width x height packed U Y0 V Y1 pixels (width even, rows pitch
// bytes apart) into planes: y (width x height), u and v (width / 2 x height
// each), rows packed.
void UyvyToPlanar422(const uint8_t* uyvy, int32_t pitch, uint32_t width, uint32_t height, uint8_t* y, uint8_t* u,
                     uint8_t* v);

}  // namespace hvdv_cli
