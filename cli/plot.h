// The damage timeline of "hvdv scan --plot": damage per frame over a whole
// tape, frames binned into pixel columns, recording starts marked.  Drawn
// with cairo when the tool was built with it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace hvdv_cli {

struct DamagePlot {
    std::string title;
    std::vector<float> damage;              // per frame: share of the macroblocks damaged, 0 to 1
    std::vector<uint64_t> recordingStarts;  // frame indices, ascending
    uint32_t rateNum = 30000, rateDen = 1001;
};

constexpr int kPlotWidth = 1200, kPlotHeight = 360;

// True when WritePlot can draw (the tool was built with cairo).
bool PlotSupported();

// The x pixel range [*first, *last] where frame `index` of `frames` is drawn
// in a picture `width` wide.
void PlotColumns(uint64_t index, uint64_t frames, int width, int* first, int* last);

// Writes the picture as a PNG file; false with a reason.
bool WritePlot(const std::string& path, const DamagePlot& plot, int width, int height, std::string* error);

}  // namespace hvdv_cli
