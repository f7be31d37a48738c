#include "decode_setup.h"


#include "format/output_format.h"

namespace hvdv_cli {

namespace {

struct NamedFourcc {
    const char* name;
    uint32_t fourcc;
};

constexpr NamedFourcc kFourccs[] = {
    {"YUY2", HVDV_FOURCC_YUY2}, {"YUYV", HVDV_FOURCC_YUYV}, {"YuYv", HVDV_FOURCC_YuYv},
    {"UYVY", HVDV_FOURCC_UYVY}, {"UyVy", HVDV_FOURCC_UyVy}, {"VUYA", HVDV_FOURCC_VUYA},
    {"BGR3", HVDV_FOURCC_BGR3}, {"R24C", HVDV_FOURCC_R24C}, {"BGR4", HVDV_FOURCC_BGR4},
    {"BGRA", HVDV_FOURCC_BGRA}, {"R32C", HVDV_FOURCC_R32C}, {"R565", HVDV_FOURCC_R565},
    {"R555", HVDV_FOURCC_R555},
};

// A decimal number of at most 18 digits (no sign, no spaces).
bool ParseCount(const std::string& text, uint64_t* value) {
    if (text.empty() || text.size() > 18) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + uint64_t(c - '0');
    }
    *value = v;
    return true;
}

uint32_t Gcd(uint32_t a, uint32_t b) {
    while (b) {
        const uint32_t r = a % b;
        a = b;
        b = r;
    }
    return a;
}

}  // namespace

bool FourccFromName(const std::string& name, uint32_t* fourcc) {
    for (const NamedFourcc& f : kFourccs) {
        if (name == f.name) {
            *fourcc = f.fourcc;
            return true;
        }
    }
    return false;
}

const char* FourccNames() { return "YUY2 YUYV YuYv UYVY UyVy VUYA BGR3 R24C BGR4 BGRA R32C R565 R555"; }

uint32_t BytesPerPixel(uint32_t fourcc) { return (hvdv::OutputFormatFromFourcc(fourcc) >> 12) & 15; }

bool ParseFrameRange(const std::string& text, uint64_t* first, uint64_t* last) {
    const size_t dash = text.find('-');
    if (dash == std::string::npos) {
        if (!ParseCount(text, first)) return false;
        *last = *first;
        return true;
    }
    if (!ParseCount(text.substr(0, dash), first)) return false;
    const std::string end = text.substr(dash + 1);
    if (end.empty()) {
        *last = UINT64_MAX;
        return true;
    }
    return ParseCount(end, last) && *last >= *first;
}

bool ChooseGeometry(const DVStreamInfoEx& info, bool half, bool codedWidth, uint32_t fourcc, PictureGeometry* g,
                    std::string* reason) {
    g->bytesPerPixel = BytesPerPixel(fourcc);
    if (!g->bytesPerPixel) {
        *reason = "unknown pixel format";
        return false;
    }
    switch (info.formatCode) {
        case 1:
        case 2:
        case 3:
            // 25 and 50 Mb/s standard definition: 720 samples a row, 480 or
            // 576 rows; half size keeps every other sample of every other
            // row.  Both fields are in the frame, the bottom one first.
            if (info.width != 720 || (info.height != 480 && info.height != 576)) {
                *reason = "unexpected picture size " + std::to_string(info.width) + "x" + std::to_string(info.height);
                return false;
            }
            g->width = half ? 360 : 720;
            g->height = uint32_t(half ? info.height / 2 : info.height);
            g->interlace = 'b';
            break;
        case 4:
            // 720-line: 960 coded samples a row shown 1280 wide; progressive.
            g->width = codedWidth ? 960 : 1280;
            g->height = 720;
            g->interlace = 'p';
            break;
        case 5:
            // 1080-line: 1280 (60 fields) or 1440 (50 fields) coded samples a
            // row shown 1920 wide; the top field first.
            g->width = codedWidth ? (info.systemRateNumerator == 25 ? 1440 : 1280) : 1920;
            g->height = 1080;
            g->interlace = 't';
            break;
        default:
            *reason = "unknown DV format code " + std::to_string(info.formatCode);
            return false;
    }
    if (half && info.formatCode >= 4) {
        g->width /= 2;
        g->height /= 2;
    }
    g->pitch = int32_t(g->width * g->bytesPerPixel);
    // The pixel aspect makes width x pixel aspect : height equal to the
    // display aspect (4:3 at 720x576 gives 16:15; 16:9 at 720x480, 32:27).
    const uint32_t x = uint32_t(info.aspectX) * g->height;
    const uint32_t y = uint32_t(info.aspectY) * g->width;
    const uint32_t d = Gcd(x, y);
    if (!d) {
        *reason = "no display aspect";
        return false;
    }
    g->pixelAspectX = x / d;
    g->pixelAspectY = y / d;
    return true;
}

}  // namespace hvdv_cli
