#include "report_page.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "hv_dec_dv.h"  // the FOURCC names of packed pictures
#include "png_out.h"
#include "report_templates.h"  // made at build time from cli/report/

#if defined(HVDV_CLI_REPORT)
#include <zlib.h>
#endif

namespace hvdv_cli {

std::string Base64(const std::vector<uint8_t>& bytes) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = uint32_t(bytes[i]) << 16 | uint32_t(bytes[i + 1]) << 8 | bytes[i + 2];
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += kDigits[(v >> 6) & 63];
        out += kDigits[v & 63];
    }
    if (i < bytes.size()) {
        const bool two = i + 1 < bytes.size();
        const uint32_t v = uint32_t(bytes[i]) << 16 | (two ? uint32_t(bytes[i + 1]) << 8 : 0);
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += two ? kDigits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

#if defined(HVDV_CLI_REPORT)

bool ReportAvailable() { return true; }

Deflater::Deflater() : stream_(new z_stream{}) {
    status_ = deflateInit(static_cast<z_stream*>(stream_), 6);
}

Deflater::~Deflater() {
    z_stream* z = static_cast<z_stream*>(stream_);
    if (status_ != Z_STREAM_ERROR) deflateEnd(z);
    delete z;
}

void Deflater::Run(const uint8_t* data, size_t size, int flush) {
    if (status_ != Z_OK) return;
    z_stream* z = static_cast<z_stream*>(stream_);
    z->next_in = const_cast<Bytef*>(data);
    z->avail_in = uInt(size);
    uint8_t chunk[16384];
    int r;
    do {
        z->next_out = chunk;
        z->avail_out = sizeof chunk;
        r = deflate(z, flush);
        if (r == Z_STREAM_ERROR) {
            status_ = r;
            return;
        }
        out_.insert(out_.end(), chunk, chunk + (sizeof chunk - z->avail_out));
    } while (z->avail_out == 0 || (flush == Z_FINISH && r != Z_STREAM_END));
}

void Deflater::Add(const std::string& text) {
    Run(reinterpret_cast<const uint8_t*>(text.data()), text.size(), Z_NO_FLUSH);
}

bool Deflater::Finish(std::vector<uint8_t>* out, std::string* error) {
    Run(nullptr, 0, Z_FINISH);
    if (status_ != Z_OK) {
        *error = "zlib error " + std::to_string(status_);
        return false;
    }
    *out = std::move(out_);
    return true;
}

#else

bool ReportAvailable() { return false; }
Deflater::Deflater() : stream_(nullptr) {}
Deflater::~Deflater() {}
void Deflater::Run(const uint8_t*, size_t, int) {}
void Deflater::Add(const std::string&) {}
bool Deflater::Finish(std::vector<uint8_t>*, std::string* error) {
    *error = "this hvdv was built without zlib";
    return false;
}

#endif

namespace {

constexpr uint32_t kPictureMaxWidth = 480;

// The luma samples a macroblock covers at full size (its top-left corner is
// in the damage map).
void MacroblockSize(hvdv_kind kind, uint32_t x, uint32_t y, uint32_t* w, uint32_t* h) {
    switch (kind) {
        case HVDV_KIND_DV25_625_420: *w = 16; *h = 16; return;
        case HVDV_KIND_DV25_525_411:
        case HVDV_KIND_DV25_625_411:
            // The right-edge macroblocks of 4:1:1 are 16 x 16.
            *w = x >= 704 ? 16 : 32;
            *h = x >= 704 ? 16 : 8;
            return;
        case HVDV_KIND_DV50_525:
        case HVDV_KIND_DV50_625: *w = 16; *h = 8; return;
        default:
            // DVCPRO HD: 16 x 16, the bottom strip of 1080 lines 32 x 8.
            *w = y == 1072 ? 32 : 16;
            *h = y == 1072 ? 8 : 16;
            return;
    }
}

// Marks the pixels of a macroblock's rectangle with a state (higher wins).
void Fill(std::vector<uint8_t>& state, uint32_t width, uint32_t height, int x0, int y0, int x1, int y1, uint8_t s) {
    x0 = std::max(0, x0);
    y0 = std::max(0, y0);
    x1 = std::min(int(width), x1);
    y1 = std::min(int(height), y1);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) state[size_t(y) * width + x] = std::max(state[size_t(y) * width + x], s);
}

}  // namespace

bool MakeReportPicture(hvdv_decoder* decoder, const uint8_t* frame, size_t size, ReportPicture* out) {
    hvdv_frame_info info{};
    info.size = sizeof info;
    if (hvdv_probe_frame(frame, size, &info) != HVDV_OK || !info.coded_width || !info.coded_height) return false;
    const bool hd = info.kind >= HVDV_KIND_HD_1080I60;
    // Packed BGR at half size (high definition at half its display width).
    const uint32_t w = (hd ? info.display_width : info.coded_width) / 2, h = info.coded_height / 2;
    std::vector<uint8_t> bgr(size_t(w) * h * 3);
    hvdv_picture picture{};
    picture.size = sizeof picture;
    picture.format = HVDV_FOURCC_BGR3;
    picture.data[0] = bgr.data();
    picture.pitch[0] = int32_t(w * 3);
    picture.width = w;
    picture.height = h;
    hvdv_damage damage{};
    damage.size = sizeof damage;
    const int decoded =
        hvdv_decode_video(decoder, frame, std::min<size_t>(size, info.frame_bytes), &picture, 0, &info, &damage);
    if (decoded != HVDV_OK && decoded != HVDV_ERROR_UNDECODABLE) return false;

    // Reduced by whole factors to at most kPictureMaxWidth, as R, G, B.
    uint32_t factor = 1;
    while (w / factor > kPictureMaxWidth) factor *= 2;
    const uint32_t ow = w / factor, oh = h / factor;
    std::vector<uint8_t> rgb(size_t(ow) * oh * 3);
    for (uint32_t y = 0; y < oh; ++y)
        for (uint32_t x = 0; x < ow; ++x)
            for (int c = 0; c < 3; ++c) {
                uint32_t sum = 0;
                for (uint32_t dy = 0; dy < factor; ++dy)
                    for (uint32_t dx = 0; dx < factor; ++dx)
                        sum += bgr[((size_t(y) * factor + dy) * w + size_t(x) * factor + dx) * 3 + (2 - c)];
                rgb[(size_t(y) * ow + x) * 3 + c] = uint8_t((sum + factor * factor / 2) / (factor * factor));
            }

    // Damage map positions are luma samples of the coded picture at full
    // size.  Each run of macroblocks in one state is outlined in its colour
    // and tinted inside, so that the picture stays visible under a band of
    // damage (a grid of every macroblock would hide it at this size).
    enum : uint8_t { kClean = 0, kConcealedState = 1, kDamagedState = 2 };
    static const uint8_t kColours[3][3] = {{0, 0, 0}, {0x56, 0xB4, 0xE9}, {0xD5, 0x5E, 0x00}};
    std::vector<uint8_t> state(size_t(ow) * oh, kClean);
    const double sx = double(ow) / info.coded_width, sy = double(oh) / info.coded_height;
    for (uint32_t i = 0; i < damage.macroblock_count; ++i) {
        const hvdv_macroblock& mb = damage.macroblocks[i];
        if (mb.x == 0xFFFF || mb.y == 0xFFFF) continue;
        const bool damaged = decoded == HVDV_ERROR_UNDECODABLE ||
                             (mb.flags & (HVDV_MB_ERROR | HVDV_MB_MISSING | HVDV_MB_BAD_ID)) != 0;
        const bool concealed = !damaged && mb.sta && !(mb.sta & 1);
        if (!damaged && !concealed) continue;
        uint32_t mw, mh;
        MacroblockSize(info.kind, mb.x, mb.y, &mw, &mh);
        Fill(state, ow, oh, int(mb.x * sx + 0.5), int(mb.y * sy + 0.5), int((mb.x + mw) * sx + 0.5),
             int((mb.y + mh) * sy + 0.5), damaged ? kDamagedState : kConcealedState);
    }
    for (uint32_t y = 0; y < oh; ++y)
        for (uint32_t x = 0; x < ow; ++x) {
            const uint8_t s = state[size_t(y) * ow + x];
            auto other = [&](int nx, int ny) {
                return nx < 0 || ny < 0 || nx >= int(ow) || ny >= int(oh) || state[size_t(ny) * ow + nx] != s;
            };
            const bool edge = other(int(x) - 1, int(y)) || other(int(x) + 1, int(y)) || other(int(x), int(y) - 1) ||
                              other(int(x), int(y) + 1);
            uint8_t* p = &rgb[(size_t(y) * ow + x) * 3];
            if (s == kClean) {
                // A dark rim outside each outline keeps it visible on bright
                // colours (vermillion on a red area).
                if (edge && x > 0 && y > 0 && x + 1 < ow && y + 1 < oh)
                    for (int c = 0; c < 3; ++c) p[c] = uint8_t(p[c] * 3 / 8);
                continue;
            }
            for (int c = 0; c < 3; ++c) p[c] = edge ? kColours[s][c] : uint8_t((p[c] * 3 + kColours[s][c] + 2) / 4);
        }

    std::string error;
    if (!EncodePngRgb(rgb.data(), int32_t(ow * 3), ow, oh, &out->png, &error)) return false;
    out->width = ow;
    out->height = oh;
    // Standard definition: 4:3 or 16:9 whatever the samples; high definition
    // is already at its display width.
    out->displayWidth = hd ? ow : uint32_t(oh * (info.wide ? 16.0 / 9 : 4.0 / 3) + 0.5);
    return true;
}

namespace {

std::string HtmlText(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

// JSON inside a script block: no "<" at all, so that no "</script" or
// "<!--" can end or change the block ("<" only occurs inside strings).
std::string ScriptJson(const std::string& json) {
    std::string out;
    out.reserve(json.size());
    for (char c : json) {
        if (c == '<') out += "\\u003c";
        else out += c;
    }
    return out;
}

std::string Template(const unsigned char* bytes, size_t size) {
    return std::string(reinterpret_cast<const char*>(bytes), size);
}

void ReplaceAll(std::string& page, const std::string& key, const std::string& value) {
    for (size_t at = page.find(key); at != std::string::npos; at = page.find(key, at + value.size()))
        page.replace(at, key.size(), value);
}

}  // namespace

bool WriteReportPage(const std::string& path, const std::string& title, const std::string& summaryJson,
                     const std::string& dataJson, std::string* error) {
    std::string page = Template(kReportHtml, sizeof kReportHtml - 1);
    // The templates first, then the title; the data blocks are found from
    // the end, after anything a title (a file name) might repeat.
    ReplaceAll(page, "{{STYLE}}", Template(kReportCss, sizeof kReportCss - 1));
    ReplaceAll(page, "{{SCRIPT}}", Template(kReportJs, sizeof kReportJs - 1));
    ReplaceAll(page, "{{TITLE}}", HtmlText(title));
    const size_t summaryAt = page.rfind("{{SUMMARY}}");
    if (summaryAt != std::string::npos) page.replace(summaryAt, 11, ScriptJson(summaryJson));
    const size_t dataAt = page.rfind("{{DATA}}");
    if (dataAt != std::string::npos) page.replace(dataAt, 8, ScriptJson(dataJson));

    const std::string part = path + ".part";
    FILE* file = std::fopen(part.c_str(), "wb");
    if (!file) {
        *error = std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(page.data(), 1, page.size(), file) == page.size();
    const int savedErrno = errno;
    if (std::fclose(file) != 0 || !written) {
        *error = std::strerror(written ? errno : savedErrno);
        std::remove(part.c_str());
        return false;
    }
    if (std::rename(part.c_str(), path.c_str()) != 0) {
        *error = std::strerror(errno);
        std::remove(part.c_str());
        return false;
    }
    return true;
}

}  // namespace hvdv_cli
