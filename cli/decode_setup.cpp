#include "decode_setup.h"

#include "hv_dec_dv.h"

namespace hvdv_cli {

namespace {

struct NamedFourcc {
    const char* name;
    uint32_t fourcc;
    uint32_t bytes;  // a pixel
};

constexpr NamedFourcc kFourccs[] = {
    {"YUY2", HVDV_FOURCC_YUY2, 2}, {"YUYV", HVDV_FOURCC_YUYV, 2}, {"YuYv", HVDV_FOURCC_YuYv, 2},
    {"UYVY", HVDV_FOURCC_UYVY, 2}, {"UyVy", HVDV_FOURCC_UyVy, 2}, {"VUYA", HVDV_FOURCC_VUYA, 4},
    {"BGR3", HVDV_FOURCC_BGR3, 3}, {"R24C", HVDV_FOURCC_R24C, 3}, {"BGR4", HVDV_FOURCC_BGR4, 4},
    {"BGRA", HVDV_FOURCC_BGRA, 4}, {"R32C", HVDV_FOURCC_R32C, 4}, {"R565", HVDV_FOURCC_R565, 2},
    {"R555", HVDV_FOURCC_R555, 2},
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

bool IsHd(const hvdv_frame_info& info) { return info.kind >= HVDV_KIND_HD_1080I60; }

// The pixel aspect that makes width x pixel aspect : height the display
// aspect: 16:9 for high definition, 4:3 or 16:9 (the VAUX packs) for
// standard definition, shown 720 wide as libavcodec does (4:3 at 720x576
// gives 16:15, 16:9 at 720x480 32:27; 1440 coded for 1920 shown, 4:3).
// Half size halves both sides and leaves it as it is.
void PixelAspect(const hvdv_frame_info& info, uint32_t width, uint32_t height, uint32_t* x, uint32_t* y) {
    const bool wide = IsHd(info) || info.wide;
    const uint32_t ax = (wide ? 16 : 4) * height, ay = (wide ? 9 : 3) * width;
    const uint32_t d = Gcd(ax, ay);
    *x = d ? ax / d : 0;
    *y = d ? ay / d : 0;
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

uint32_t BytesPerPixel(uint32_t fourcc) {
    for (const NamedFourcc& f : kFourccs)
        if (f.fourcc == fourcc) return f.bytes;
    return 0;
}

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

bool ChooseGeometry(const hvdv_frame_info& info, const hvdv_metadata* meta, bool half, bool codedWidth,
                    uint32_t fourcc, PictureGeometry* g, std::string* reason) {
    g->bytesPerPixel = BytesPerPixel(fourcc);
    if (!g->bytesPerPixel) {
        *reason = "unknown pixel format";
        return false;
    }
    // Standard definition is 720 wide whatever its aspect; high definition
    // is resampled to its display width unless the coded width is asked for.
    g->width = IsHd(info) && !codedWidth ? info.display_width : info.coded_width;
    g->height = info.coded_height;
    if (half) {
        g->width /= 2;
        g->height /= 2;
    }
    g->pitch = int32_t(g->width * g->bytesPerPixel);
    g->interlace = InterlaceTag(info, meta);
    PixelAspect(info, g->width, g->height, &g->pixelAspectX, &g->pixelAspectY);
    return true;
}

PlaneLayout ChoosePlanes(const hvdv_frame_info& info, const hvdv_metadata* meta, bool half) {
    PlaneLayout p;
    const uint32_t shift = half ? 1 : 0;
    p.width[0] = info.coded_width >> shift;
    p.height[0] = info.coded_height >> shift;
    for (int i = 1; i < 3; ++i) {
        p.width[i] = info.chroma_width >> shift;
        p.height[i] = info.chroma_height >> shift;
    }
    for (int i = 0; i < 3; ++i) {
        p.offset[i] = p.bytes;
        p.bytes += size_t(p.width[i]) * p.height[i];
    }
    // 625/50 DV's 4:2:0 places its blue and red samples on alternate lines
    // (FFmpeg's "420paldv"); 4:1:1 and 4:2:2 are co-sited with the first
    // luma sample.
    p.y4mChroma = info.chroma == HVDV_CHROMA_411 ? "411" : info.chroma == HVDV_CHROMA_420 ? "420paldv" : "422";
    p.interlace = InterlaceTag(info, meta);
    PixelAspect(info, p.width[0], p.height[0], &p.pixelAspectX, &p.pixelAspectY);
    return p;
}

}  // namespace hvdv_cli
