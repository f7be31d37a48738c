// PNG output of a decoded picture (libpng).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace hvdv_cli {

// False when the tool was built without libpng.
bool PngAvailable();

// Writes a width x height picture of B, G, R bytes (rows pitch bytes apart)
// as an 8-bit RGB PNG.  A non-zero pixel aspect is recorded in a pHYs chunk.
// False with a reason when the file cannot be written.
bool WritePngFromBgr(const std::string& path, const uint8_t* bgr, int32_t pitch, uint32_t width, uint32_t height,
                     uint32_t pixelAspectX, uint32_t pixelAspectY, std::string* error);

// Encodes a width x height picture of R, G, B bytes (rows pitch bytes
// apart) as an 8-bit RGB PNG into *png.  False with a reason when it cannot.
bool EncodePngRgb(const uint8_t* rgb, int32_t pitch, uint32_t width, uint32_t height, std::vector<uint8_t>* png,
                  std::string* error);

// Square pixels for --square: each row of a width x height picture of
// `channels` bytes a pixel resampled to outWidth pixels by linear
// interpolation between the two nearest samples (sample centres aligned,
// edges repeated); rows are not resampled.  out holds outWidth x channels
// bytes a row, packed.
void ResampleRows(const uint8_t* in, int32_t pitch, uint32_t width, uint32_t height, uint32_t channels,
                  uint32_t outWidth, uint8_t* out);

}  // namespace hvdv_cli
