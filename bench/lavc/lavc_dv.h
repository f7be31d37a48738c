// libavcodec's DV decoder behind a small interface, used as the peer in
// fidelity tests and speed comparisons.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

namespace lavc {

// A decoded picture as planar 8-bit planes, copied out of libavcodec.
struct Picture {
    int width = 0, height = 0;
    int chromaWidth = 0, chromaHeight = 0;  // chroma plane size
    std::vector<uint8_t> y, cb, cr;         // tightly packed planes
};

class DvDecoder {
public:
    // threads: libavcodec slice threads (1 = on the calling thread).
    explicit DvDecoder(int threads = 1);
    ~DvDecoder();
    DvDecoder(const DvDecoder&) = delete;
    DvDecoder& operator=(const DvDecoder&) = delete;

    bool ok() const;
    // Decodes one frame; false when libavcodec refuses it.
    bool Decode(const uint8_t* frame, int size, Picture* out);
    // Decodes without copying the picture out (for speed comparisons).
    bool DecodeOnly(const uint8_t* frame, int size);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace lavc
