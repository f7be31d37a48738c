#include "png_out.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(HVDV_CLI_PNG)
#include <png.h>
#endif

namespace hvdv_cli {

#if defined(HVDV_CLI_PNG)

namespace {

// libpng reports errors by longjmp out of the failing call; the message goes
// to the error record first.
void OnPngError(png_structp png, png_const_charp message) {
    std::string* error = static_cast<std::string*>(png_get_error_ptr(png));
    if (error) *error = message;
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// The file and libpng's records, released in every exit path.  Lives outside
// the function that calls setjmp so that nothing it owns is modified between
// setjmp and a longjmp.
struct PngFile {
    FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngFile() {
        if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
        if (file) std::fclose(file);
    }
};

bool WriteRows(PngFile& f, const uint8_t* bgr, int32_t pitch, uint32_t width, uint32_t height, uint32_t aspectX,
               uint32_t aspectY) {
    if (setjmp(png_jmpbuf(f.png))) return false;
    png_init_io(f.png, f.file);
    png_set_IHDR(f.png, f.info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // pHYs with an unknown unit gives the pixel aspect alone.
    if (aspectX && aspectY) png_set_pHYs(f.png, f.info, aspectY, aspectX, PNG_RESOLUTION_UNKNOWN);
    png_write_info(f.png, f.info);
    png_set_bgr(f.png);  // the rows hold B, G, R
    for (uint32_t row = 0; row < height; ++row)
        png_write_row(f.png, const_cast<png_bytep>(bgr + int64_t(row) * pitch));
    png_write_end(f.png, nullptr);
    return true;
}

// A PNG written into memory.
struct PngMemory {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngMemory() {
        if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
    }
};

void AppendBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void FlushNothing(png_structp) {}

bool WriteRgbRows(PngMemory& m, const uint8_t* rgb, int32_t pitch, uint32_t width, uint32_t height,
                  std::vector<uint8_t>* out) {
    if (setjmp(png_jmpbuf(m.png))) return false;
    png_set_write_fn(m.png, out, AppendBytes, FlushNothing);
    png_set_compression_level(m.png, 9);  // pictures carried in a page: small matters more than fast
    png_set_IHDR(m.png, m.info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(m.png, m.info);
    for (uint32_t row = 0; row < height; ++row)
        png_write_row(m.png, const_cast<png_bytep>(rgb + int64_t(row) * pitch));
    png_write_end(m.png, nullptr);
    return true;
}

}  // namespace

bool PngAvailable() { return true; }

bool EncodePngRgb(const uint8_t* rgb, int32_t pitch, uint32_t width, uint32_t height, std::vector<uint8_t>* png,
                  std::string* error) {
    png->clear();
    PngMemory m;
    m.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, error, OnPngError, OnPngWarning);
    if (m.png) m.info = png_create_info_struct(m.png);
    if (!m.png || !m.info) {
        *error = "out of memory";
        return false;
    }
    return WriteRgbRows(m, rgb, pitch, width, height, png);
}

bool WritePngFromBgr(const std::string& path, const uint8_t* bgr, int32_t pitch, uint32_t width, uint32_t height,
                     uint32_t pixelAspectX, uint32_t pixelAspectY, std::string* error) {
    PngFile f;
    f.file = std::fopen(path.c_str(), "wb");
    if (!f.file) {
        *error = std::strerror(errno);
        return false;
    }
    f.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, error, OnPngError, OnPngWarning);
    if (f.png) f.info = png_create_info_struct(f.png);
    if (!f.png || !f.info) {
        *error = "out of memory";
        return false;
    }
    if (!WriteRows(f, bgr, pitch, width, height, pixelAspectX, pixelAspectY)) return false;
    // Errors of the last buffered write show only when the file is closed.
    FILE* file = f.file;
    f.file = nullptr;
    const bool written = !std::ferror(file);
    if (std::fclose(file) != 0 || !written) {
        *error = std::strerror(errno);
        return false;
    }
    return true;
}

#else

bool PngAvailable() { return false; }

bool WritePngFromBgr(const std::string&, const uint8_t*, int32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                     std::string* error) {
    *error = "this hvdv was built without libpng";
    return false;
}

bool EncodePngRgb(const uint8_t*, int32_t, uint32_t, uint32_t, std::vector<uint8_t>*, std::string* error) {
    *error = "this hvdv was built without libpng";
    return false;
}

#endif

void ResampleRows(const uint8_t* in, int32_t pitch, uint32_t width, uint32_t height, uint32_t channels,
                  uint32_t outWidth, uint8_t* out) {
    // Output sample x sits at input position (x + 1/2) * width / outWidth -
    // 1/2, in 1/65536ths; weights are 16-bit fractions, rounded.
    for (uint32_t x = 0; x < outWidth; ++x) {
        const int64_t pos = ((2 * int64_t(x) + 1) * width * 65536) / (2 * int64_t(outWidth)) - 32768;
        const int64_t clamped = pos < 0 ? 0 : pos;
        uint32_t left = uint32_t(clamped >> 16);
        uint32_t frac = uint32_t(clamped & 0xFFFF);
        if (left >= width - 1) {
            left = width - 1;
            frac = 0;
        }
        const uint32_t right = frac ? left + 1 : left;
        for (uint32_t row = 0; row < height; ++row) {
            const uint8_t* a = in + int64_t(row) * pitch + size_t(left) * channels;
            const uint8_t* b = in + int64_t(row) * pitch + size_t(right) * channels;
            uint8_t* o = out + (size_t(row) * outWidth + x) * channels;
            for (uint32_t c = 0; c < channels; ++c) o[c] = uint8_t((a[c] * (65536 - frac) + b[c] * frac + 32768) >> 16);
        }
    }
}

}  // namespace hvdv_cli
