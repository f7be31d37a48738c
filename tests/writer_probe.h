// A pixel kernel family for exercising picture writers without a real pixel
// format: every pixel is the four bytes Y, Cb, Cr, 0xEE, so a picture shows
// exactly which samples each pixel received and which pixels were written.
// Also the tagged macroblocks and guarded pictures the writer tests share.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kernels/kernels.h"
#include "threads/cpu.h"
#include "writer/writer_ops.h"

namespace probe {

constexpr uint8_t kMarker = 0xEE;

inline void Put(uint8_t* d, uint8_t y, uint8_t cb, uint8_t cr) {
    d[0] = y;
    d[1] = cb;
    d[2] = cr;
    d[3] = kMarker;
}

template <int kChromaShift>
void Convert(const hvdv::DVPixelKernelSet* k, int n) {
    for (int i = 0; i < n; i++)
        Put(k->dst + 4 * i, k->srcY[i], k->srcCb[i >> kChromaShift], k->srcCr[i >> kChromaShift]);
}

inline void Strip422(const hvdv::DVPixelKernelSet* k) { Convert<1>(k, 16); }
inline void Run422(const hvdv::DVPixelKernelSet* k) { Convert<1>(k, k->pixelCount); }
inline void Strip444(const hvdv::DVPixelKernelSet* k) { Convert<0>(k, 16); }
inline void Run444(const hvdv::DVPixelKernelSet* k) { Convert<0>(k, k->pixelCount); }

// With full-resolution slots (like the RGB and VUYA families).
inline void Init(hvdv::DVPixelKernelSet* k, int, const hvdv::DVPixelDsp*) {
    k->convertRun422 = Run422;
    k->convertStrip422 = Strip422;
    k->convertRun444 = Run444;
    k->convertStrip444 = Strip444;
    k->pixelCount = 16;
    k->bytesPerPixel = 4;
}

// Half-resolution slots only (like the packed 4:2:2 families).
inline void Init422(hvdv::DVPixelKernelSet* k, int u, const hvdv::DVPixelDsp* p) {
    Init(k, u, p);
    k->convertRun444 = nullptr;
    k->convertStrip444 = nullptr;
}

// Row kernels of the processor's level, for writers made without a decoder.
inline const hvdv::DVWriterDsp* RowKernels() {
    static const hvdv::DVWriterDsp dsp = [] {
        hvdv::DVWriterDsp d;
        hvdv::InitWriterDsp(&d, hvdv::CpuFlags());
        return d;
    }();
    return &dsp;
}

// Every sample carries its slot, row and column plus a tag of its
// macroblock's position, so a picture shows where each sample landed.
inline int Tag(int x, int y) { return (x / 16 * 7 + y / 8 * 13) & 255; }
inline uint8_t Val(int slot, int row, int col, int tag) { return (uint8_t)(slot * 64 + row * 8 + col + tag); }

// Full size: 8 x 8 per slot.  Half size: 4 x 4 at bytes 8j .. 8j + 3, the
// other bytes poisoned so that a writer reading them shows up.
inline void FillMacroblock(hvdv::DVMacroblock* mb, int x, int y, bool half) {
    for (int s = 0; s < 8; s++)
        for (int j = 0; j < 8; j++)
            for (int c = 0; c < 8; c++)
                mb->slot[s][8 * j + c] = (half && (j >= 4 || c >= 4)) ? 0xCD : Val(s, j, c, Tag(x, y));
}

struct WriterDeleter {
    void operator()(hvdv::DVPictureWriter* w) const {
        w->FreeFrameBuffer(w);
        w->Release(w);
    }
};
using WriterPtr = std::unique_ptr<hvdv::DVPictureWriter, WriterDeleter>;

// A caller's picture of 4-byte pixels with guard rows above and below and
// guard pixels right of every row; bottom-up for a negative pitch.
struct Picture {
    static constexpr int kGuardRows = 40;
    int width, height, rowBytes;
    bool up;
    std::vector<uint8_t> buf;
    Picture(int w, int h, bool bottomUp = false)
        : width(w), height(h), rowBytes((w + 8) * 4), up(bottomUp),
          buf((size_t)(h + 2 * kGuardRows) * rowBytes, 0x11) {}
    uint8_t* Row(int r) { return buf.data() + (size_t)((up ? height - 1 - r : r) + kGuardRows) * rowBytes; }
    int Pitch() const { return up ? -rowBytes : rowBytes; }
};

// Empty when equal, else where the first difference is.
inline std::string FirstDifference(const Picture& want, const Picture& got) {
    if (want.buf.size() != got.buf.size()) return "sizes differ";
    for (size_t i = 0; i < want.buf.size(); i++)
        if (want.buf[i] != got.buf[i])
            return "memory row " + std::to_string((long)(i / want.rowBytes) - Picture::kGuardRows) + " pixel " +
                   std::to_string(i % want.rowBytes / 4) + " byte " + std::to_string(i % 4) + ": want " +
                   std::to_string(want.buf[i]) + " got " + std::to_string(got.buf[i]);
    return "";
}

}  // namespace probe
