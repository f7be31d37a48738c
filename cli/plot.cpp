#include "plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#if defined(HVDV_CLI_CAIRO)
#include <cairo.h>
#endif

namespace hvdv_cli {

namespace {

// The plotting area inside the picture: room for the axis labels on the
// left and below, the title and the legend above.
// (Without cairo only the column mapping uses them.)
constexpr int kLeft = 64, kRight = 16;
[[maybe_unused]] constexpr int kTop = 44, kBottom = 40;

}  // namespace

void PlotColumns(uint64_t index, uint64_t frames, int width, int* first, int* last) {
    const uint64_t columns = uint64_t(std::max(1, width - kLeft - kRight));
    frames = std::max<uint64_t>(frames, 1);
    // Frame i covers [i * columns / frames, (i + 1) * columns / frames):
    // several frames share a column on a long tape, a frame spans several
    // columns on a short file.
    const uint64_t a = index * columns / frames;
    const uint64_t b = std::max(a + 1, (index + 1) * columns / frames);
    *first = kLeft + int(a);
    *last = kLeft + int(b) - 1;
}

#if !defined(HVDV_CLI_CAIRO)

bool PlotSupported() { return false; }

bool WritePlot(const std::string&, const DamagePlot&, int, int, std::string* error) {
    *error = "this hvdv was built without cairo: --plot is not available";
    return false;
}

#else

namespace {

// Damage drawn on a logarithmic scale, so that one damaged macroblock in a
// frame stands clear of zero and a wholly lost frame still fits:
// 0 -> 0, 0.1 % -> 1/4, 1 % -> 1/2, 10 % -> 3/4, 100 % -> 1.
double Scale(double share) {
    if (share <= 0) return 0;
    return std::max(0.0, std::min(1.0, (std::log10(share) + 4.0) / 4.0));
}

// "1:02:03" or "2:03" from seconds.
std::string Clock(double seconds) {
    const long s = long(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

void Text(cairo_t* cr, double x, double y, const std::string& text, double alignX) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, text.c_str(), &e);
    cairo_move_to(cr, x - e.x_advance * alignX, y);
    cairo_show_text(cr, text.c_str());
}

void Draw(cairo_t* cr, const DamagePlot& plot, int width, int height) {
    const uint64_t frames = plot.damage.size();
    const double x0 = kLeft, x1 = width - kRight, y0 = kTop, y1 = height - kBottom;
    const double h = y1 - y0;

    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 11);

    // Value grid and labels.
    cairo_set_line_width(cr, 1);
    static const char* const kLabels[] = {"0", "0.1 %", "1 %", "10 %", "100 %"};
    for (int i = 0; i <= 4; ++i) {
        const double y = std::floor(y1 - h * i / 4) + 0.5;
        cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
        cairo_move_to(cr, x0, y);
        cairo_line_to(cr, x1, y);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        Text(cr, x0 - 6, y + 4, kLabels[i], 1.0);
    }

    // Time axis: minutes and seconds from the first frame, at a step that
    // gives at most about ten ticks; frame numbers for a few seconds.
    const double seconds = double(frames) * plot.rateDen / plot.rateNum;
    const bool inFrames = seconds < 5;
    const double span = inFrames ? double(frames) : seconds;
    static const double kSteps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 14400};
    double step = kSteps[0];
    for (double s : kSteps) {
        step = s;
        if (span / s <= 10) break;
    }
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    for (double t = 0; t <= span + 1e-9; t += step) {
        const double x = std::floor(x0 + (x1 - x0) * (span > 0 ? t / span : 0)) + 0.5;
        cairo_move_to(cr, x, y1);
        cairo_line_to(cr, x, y1 + 4);
        cairo_stroke(cr);
        Text(cr, x, y1 + 16, inFrames ? std::to_string(long(t)) : Clock(t), 0.5);
    }
    Text(cr, (x0 + x1) / 2, height - 6,
         std::string(inFrames ? "frame" : "time from the first frame (min:s)") + "; " + std::to_string(frames) +
             " frames",
         0.5);

    // Damage: per column the largest share of its frames (light) and their
    // mean (dark).
    const int columns = int(x1 - x0);
    std::vector<double> peak(size_t(columns), -1), sum(size_t(columns), 0);
    std::vector<uint32_t> count(size_t(columns), 0);
    for (uint64_t i = 0; i < frames; ++i) {
        int a, b;
        PlotColumns(i, frames, width, &a, &b);
        for (int c = a - kLeft; c <= b - kLeft && c < columns; ++c) {
            peak[size_t(c)] = std::max(peak[size_t(c)], double(plot.damage[i]));
            sum[size_t(c)] += plot.damage[i];
            ++count[size_t(c)];
        }
    }
    for (int c = 0; c < columns; ++c) {
        if (peak[size_t(c)] <= 0) continue;  // no frame, or clean ones only
        const double mean = sum[size_t(c)] / count[size_t(c)];
        cairo_set_source_rgb(cr, 0.98, 0.62, 0.55);
        cairo_rectangle(cr, x0 + c, y1 - h * Scale(peak[size_t(c)]), 1, h * Scale(peak[size_t(c)]));
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0.75, 0.08, 0.08);
        cairo_rectangle(cr, x0 + c, y1 - h * Scale(mean), 1, h * Scale(mean));
        cairo_fill(cr);
    }

    // Recording starts, numbered while there is room between them.
    cairo_set_source_rgb(cr, 0.1, 0.3, 0.85);
    double lastLabel = -1e9;
    for (size_t n = 0; n < plot.recordingStarts.size(); ++n) {
        int a, b;
        PlotColumns(plot.recordingStarts[n], frames, width, &a, &b);
        cairo_move_to(cr, a + 0.5, y0);
        cairo_line_to(cr, a + 0.5, y1);
        cairo_stroke(cr);
        if (a - lastLabel >= 24) {
            Text(cr, a + 2, y0 + 11, std::to_string(n + 1), 0.0);
            lastLabel = a;
        }
    }

    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    cairo_rectangle(cr, x0 + 0.5, y0 + 0.5, x1 - x0 - 1, h - 1);
    cairo_stroke(cr);

    // Title and legend.
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_font_size(cr, 13);
    Text(cr, x0, 18, plot.title, 0.0);
    cairo_set_font_size(cr, 11);
    struct Key {
        double r, g, b;
        bool line;
        const char* text;
    } keys[] = {{0.98, 0.62, 0.55, false, "worst frame"},
                {0.75, 0.08, 0.08, false, "mean"},
                {0.1, 0.3, 0.85, true, "recording start"}};
    double x = x0;
    for (const Key& k : keys) {
        cairo_set_source_rgb(cr, k.r, k.g, k.b);
        if (k.line) {
            cairo_move_to(cr, x + 5.5, 27);
            cairo_line_to(cr, x + 5.5, 39);
            cairo_stroke(cr);
        } else {
            cairo_rectangle(cr, x, 28, 10, 10);
            cairo_fill(cr);
        }
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        cairo_text_extents_t e;
        cairo_text_extents(cr, k.text, &e);
        Text(cr, x + 14, 37, k.text, 0.0);
        x += 14 + e.x_advance + 18;
    }
    Text(cr, x1, 37, "damaged or concealed macroblocks per frame (log scale)", 1.0);
}

}  // namespace

bool PlotSupported() { return true; }

bool WritePlot(const std::string& path, const DamagePlot& plot, int width, int height, std::string* error) {
    if (width < kLeft + kRight + 100 || height < kTop + kBottom + 40 || plot.rateNum == 0 || plot.rateDen == 0) {
        *error = "picture too small to plot";
        return false;
    }
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(surface);
    Draw(cr, plot, width, height);
    cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_write_to_png(surface, path.c_str());
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        *error = std::string("cannot write: ") + cairo_status_to_string(status);
        return false;
    }
    return true;
}

#endif

}  // namespace hvdv_cli
