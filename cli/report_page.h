// The pieces of "hvdv report" that are not about reading frames: base64,
// the compressed CSV, a frame's picture with its damage outlined, and the
// page written from the templates of cli/report/.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "hvdv.h"

namespace hvdv_cli {

// False when the tool was built without libpng or zlib.
bool ReportAvailable();

std::string Base64(const std::vector<uint8_t>& bytes);

// zlib-compressed text, fed in pieces (the browser inflates it with
// DecompressionStream("deflate")).
class Deflater {
public:
    Deflater();
    ~Deflater();
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    void Add(const std::string& text);
    // The compressed bytes; false with a reason when zlib failed.
    bool Finish(std::vector<uint8_t>* out, std::string* error);

private:
    void Run(const uint8_t* data, size_t size, int flush);
    // Unused in a build without zlib.
    [[maybe_unused]] void* stream_;
    std::vector<uint8_t> out_;
    [[maybe_unused]] int status_ = 0;
};

struct ReportPicture {
    uint64_t frame = 0;
    std::string why;
    uint32_t width = 0, height = 0;  // of the PNG
    uint32_t displayWidth = 0;       // shown this wide at `height` rows (the picture's aspect)
    std::vector<uint8_t> png;
};

// Decodes a frame at reduced size (half, and half again beyond 480 samples a
// row) and outlines its runs of damaged macroblocks (vermillion) and of those
// the recorder concealed (sky blue), tinted inside.  False when the frame
// has no picture.
bool MakeReportPicture(hvdv_decoder* decoder, const uint8_t* frame, size_t size, ReportPicture* picture);

// Writes the page to path (through a temporary file in the same folder,
// removed on failure).  summaryJson and dataJson go into the page's
// script blocks.
bool WriteReportPage(const std::string& path, const std::string& title, const std::string& summaryJson,
                     const std::string& dataJson, std::string* error);

}  // namespace hvdv_cli
