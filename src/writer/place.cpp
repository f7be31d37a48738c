// Macroblock placement: where the samples of one decoded macroblock go, for
// every frame family and size.  Direct writers gather 16 luma samples (and
// their chroma) per output row into the thread's kernel set and convert them
// with the 16-pixel strip kernel; the 4:1:1 full-size writer and the
// high-definition plane writers only store samples.
//
// Every direct writer decides once per macroblock whether the macroblock
// lies wholly inside the caller's picture.  If it does, strips go straight
// to the picture; otherwise each strip is clipped to rows 0 .. height - 1
// and pixels 0 .. width - 1 (converted into the set's scratch and copied in
// part when it crosses the right edge).
#include <cstddef>
#include <cstring>

#include "writer/writer_ops.h"

namespace hvdv {

namespace {

// Row `row` of slot `slot`.  The slots are consecutive, so a row past 7 runs
// on into the following slots, as the high-definition chroma pairs (Cr upper
// then lower) are read; the address is taken from the macroblock's bytes as a
// whole, not from one slot's array.
inline const uint8_t* SlotRow(const DVMacroblock* mb, int slot, int row) {
    return reinterpret_cast<const uint8_t*>(mb) + 64 * slot + 8 * row;
}

// True when picture pixels px .. px + w - 1 of frame rows fy .. fy + h - 1
// (frame rows counted from origin) all lie inside the picture.
inline bool Inside(const DVPictureWriter* w, int px, int fy, int wd, int h) {
    const int pr = w->rowOffset + fy;
    return px >= 0 && pr >= 0 && pr + h <= w->height && px + wd <= w->width;
}

// Copies count converted pixels from src to frame row fy at pixel px,
// dropping what falls outside the picture.
inline void CopyClipped(DVPictureWriter* w, int fy, int px, const uint8_t* src, int count) {
    const int pr = w->rowOffset + fy;
    if (pr < 0 || pr >= w->height || px < 0 || px >= w->width) return;
    if (count > w->width - px) count = w->width - px;
    std::memcpy(w->picture + (ptrdiff_t)pr * w->pitch + (ptrdiff_t)px * w->bytesPerPixel, src,
                (size_t)count * (size_t)w->bytesPerPixel);
}

// Converts the strip the set's sources describe into 16 pixels at frame
// row fy, pixel px.
template <bool kClip>
inline void EmitStrip(DVPictureWriter* w, DVPixelKernelSet* k, int fy, int px) {
    if (!kClip) {
        k->dst = w->origin + (ptrdiff_t)fy * w->pitch + (ptrdiff_t)px * w->bytesPerPixel;
        k->convertStrip422(k);
        return;
    }
    const int pr = w->rowOffset + fy;
    if (pr < 0 || pr >= w->height || px < 0 || px >= w->width) return;
    if (w->width - px >= 16) {
        k->dst = w->picture + (ptrdiff_t)pr * w->pitch + (ptrdiff_t)px * w->bytesPerPixel;
        k->convertStrip422(k);
        return;
    }
    k->dst = k->scratchOut;
    k->convertStrip422(k);
    CopyClipped(w, fy, px, k->scratchOut, 16);
}

// Converts a strip into scratchOut and sends its first 8 pixels to frame
// row fyA at pixel pxA and its last 8 to row fyB at pixel pxB.
template <bool kClip>
inline void EmitSplitStrip(DVPictureWriter* w, DVPixelKernelSet* k, int fyA, int pxA, int fyB,
                           int pxB) {
    k->dst = k->scratchOut;
    k->convertStrip422(k);
    const size_t half = 8 * (size_t)w->bytesPerPixel;
    if (!kClip) {
        std::memcpy(w->origin + (ptrdiff_t)fyA * w->pitch + (ptrdiff_t)pxA * w->bytesPerPixel,
                    k->scratchOut, half);
        std::memcpy(w->origin + (ptrdiff_t)fyB * w->pitch + (ptrdiff_t)pxB * w->bytesPerPixel,
                    k->scratchOut + half, half);
        return;
    }
    CopyClipped(w, fyA, pxA, k->scratchOut, 8);
    CopyClipped(w, fyB, pxB, k->scratchOut + half, 8);
}

inline void Gather8x2(uint8_t* dst, const uint8_t* a, const uint8_t* b) {
    std::memcpy(dst, a, 8);
    std::memcpy(dst + 8, b, 8);
}

inline void Gather4x4(uint8_t* dst, const uint8_t* a, const uint8_t* b, const uint8_t* c,
                      const uint8_t* d) {
    std::memcpy(dst, a, 4);
    std::memcpy(dst + 4, b, 4);
    std::memcpy(dst + 8, c, 4);
    std::memcpy(dst + 12, d, 4);
}

// 625/50 4:2:0: 16 x 16 luma, Cr (slot 4) and Cb (slot 5) at half resolution
// both ways.  The frame is interlaced and each chroma row belongs to one
// field: chroma row c serves luma rows 4 (c / 2) + c % 2 and the row two
// below it, the same field's next line.
template <bool kClip>
void Put420Impl(DVPictureWriter* w, DVPixelKernelSet* k, int x, int y, const DVMacroblock* mb) {
    k->srcY = k->scratchY;
    for (int h = 0; h < 2; h++) {
        const int left = 2 * h, right = 2 * h + 1;
        for (int q = 0; q < 2; q++) {
            for (int parity = 0; parity < 2; parity++) {
                const int c = 4 * h + 2 * q + parity;
                k->srcCb = SlotRow(mb, 5, c);
                k->srcCr = SlotRow(mb, 4, c);
                for (int d = 0; d < 4; d += 2) {
                    const int j = 4 * q + parity + d;
                    Gather8x2(k->scratchY, SlotRow(mb, left, j), SlotRow(mb, right, j));
                    EmitStrip<kClip>(w, k, y + 8 * h + j, x);
                }
            }
        }
    }
}

// 50 Mb/s 4:2:2: 16 x 8 luma from slots 0 (left) and 2 (right), one Cr
// (slot 4) and Cb (slot 5) sample per two pixels on every row.
template <bool kClip>
void Put422Impl(DVPictureWriter* w, DVPixelKernelSet* k, int x, int y, const DVMacroblock* mb) {
    k->srcY = k->scratchY;
    for (int r = 0; r < 8; r++) {
        Gather8x2(k->scratchY, SlotRow(mb, 0, r), SlotRow(mb, 2, r));
        k->srcCb = SlotRow(mb, 5, r);
        k->srcCr = SlotRow(mb, 4, r);
        EmitStrip<kClip>(w, k, y + r, x);
    }
}

// High definition at the coded width: 16 x 16 luma, Cr in slots 4 and 5 and
// Cb in slots 6 and 7 (upper and lower 8 rows), one sample per two pixels.
// The last macroblock row of a 1080-line frame (y = 1072) is 8 rows tall
// and 32 wide: the lower luma pair and lower chroma slots go to its right.
template <bool kClip>
void PutHDNativeImpl(DVPictureWriter* w, DVPixelKernelSet* k, int x, int y,
                     const DVMacroblock* mb, bool bottomStrip) {
    k->srcY = k->scratchY;
    for (int r = 0; r < 16; r++) {
        const int pair = r >> 3, j = r & 7;
        Gather8x2(k->scratchY, SlotRow(mb, 2 * pair, j), SlotRow(mb, 2 * pair + 1, j));
        k->srcCb = SlotRow(mb, 6, r);  // rows 8-15 run on into slot 7
        k->srcCr = SlotRow(mb, 4, r);  // and slot 5
        if (bottomStrip)
            EmitStrip<kClip>(w, k, y + j, x + 16 * pair);
        else
            EmitStrip<kClip>(w, k, y + r, x);
    }
}

// High definition at half the coded width: 8 x 8, two output rows a strip
// (slots hold 4 x 4: Cr 4 over 5, Cb 6 over 7); the 1080-line bottom strip
// is 16 x 4, one output row a strip.
template <bool kClip>
void PutHDNativeHalfImpl(DVPictureWriter* w, DVPixelKernelSet* k, int x, int y, const DVMacroblock* mb,
                         bool bottomStrip) {
    const int px = x / 2, fy = y / 2;
    k->srcY = k->scratchY;
    k->srcCb = k->scratchCb;
    k->srcCr = k->scratchCr;
    k->pixelCount = 16;
    if (bottomStrip) {
        for (int j = 0; j < 4; j++) {
            Gather4x4(k->scratchY, SlotRow(mb, 0, j), SlotRow(mb, 1, j), SlotRow(mb, 2, j), SlotRow(mb, 3, j));
            std::memcpy(k->scratchCb, SlotRow(mb, 6, j), 4);
            std::memcpy(k->scratchCb + 4, SlotRow(mb, 7, j), 4);
            std::memcpy(k->scratchCr, SlotRow(mb, 4, j), 4);
            std::memcpy(k->scratchCr + 4, SlotRow(mb, 5, j), 4);
            EmitStrip<kClip>(w, k, fy + j, px);
        }
        return;
    }
    for (int r = 0; r < 8; r += 2) {
        const int pair = r >> 2, j = r & 3;
        Gather4x4(k->scratchY, SlotRow(mb, 2 * pair, j), SlotRow(mb, 2 * pair + 1, j), SlotRow(mb, 2 * pair, j + 1),
                  SlotRow(mb, 2 * pair + 1, j + 1));
        std::memcpy(k->scratchCb, SlotRow(mb, 6 + pair, j), 4);
        std::memcpy(k->scratchCb + 4, SlotRow(mb, 6 + pair, j + 1), 4);
        std::memcpy(k->scratchCr, SlotRow(mb, 4 + pair, j), 4);
        std::memcpy(k->scratchCr + 4, SlotRow(mb, 4 + pair, j + 1), 4);
        EmitSplitStrip<kClip>(w, k, fy + r, px, fy + r + 1, px);
    }
}

// Half-size 4:2:0: 8 x 8; each 16-pixel strip covers two output rows of 8,
// and each half-size chroma row serves both of them.
template <bool kClip>
void Put420HalfImpl(DVPictureWriter* w, DVPixelKernelSet* k, int x, int y,
                    const DVMacroblock* mb) {
    const int px = x / 2, fy = y / 2;
    k->srcY = k->scratchY;
    k->srcCb = k->scratchCb;
    k->srcCr = k->scratchCr;
    k->pixelCount = 16;
    for (int c = 0; c < 4; c++) {
        const int left = 2 * (c >> 1), right = left + 1, a = 2 * (c & 1);
        Gather4x4(k->scratchY, SlotRow(mb, left, a), SlotRow(mb, right, a),
                  SlotRow(mb, left, a + 1), SlotRow(mb, right, a + 1));
        std::memcpy(k->scratchCb, SlotRow(mb, 5, c), 4);
        std::memcpy(k->scratchCb + 4, SlotRow(mb, 5, c), 4);
        std::memcpy(k->scratchCr, SlotRow(mb, 4, c), 4);
        std::memcpy(k->scratchCr + 4, SlotRow(mb, 4, c), 4);
        EmitSplitStrip<kClip>(w, k, fy + 2 * c, px, fy + 2 * c + 1, px);
    }
}

// Half-size 4:2:2: 8 x 4, every output row with its own chroma row.
template <bool kClip>
void Put422HalfImpl(DVPictureWriter* w, DVPixelKernelSet* k, int x, int y,
                    const DVMacroblock* mb) {
    const int px = x / 2, fy = y / 2;
    k->srcY = k->scratchY;
    k->srcCb = k->scratchCb;
    k->srcCr = k->scratchCr;
    k->pixelCount = 16;
    for (int i = 0; i < 2; i++) {
        Gather4x4(k->scratchY, SlotRow(mb, 0, 2 * i), SlotRow(mb, 2, 2 * i),
                  SlotRow(mb, 0, 2 * i + 1), SlotRow(mb, 2, 2 * i + 1));
        std::memcpy(k->scratchCb, SlotRow(mb, 5, 2 * i), 4);
        std::memcpy(k->scratchCb + 4, SlotRow(mb, 5, 2 * i + 1), 4);
        std::memcpy(k->scratchCr, SlotRow(mb, 4, 2 * i), 4);
        std::memcpy(k->scratchCr + 4, SlotRow(mb, 4, 2 * i + 1), 4);
        EmitSplitStrip<kClip>(w, k, fy + 2 * i, px, fy + 2 * i + 1, px);
    }
}

// Half-size 4:1:1: 16 x 4 (luma slots side by side).  Each chroma sample is
// written twice so that the 4:2:2 strip kernel gives it to four pixels.  The
// right-edge macroblock (x >= 704) is 16 x 16 at full size, 8 x 8 here: the
// first 8 pixels of a strip go to row r (upper slots, chroma samples 0 and
// 1 of the slot row) and the last 8 to row r + 4 (lower slots, samples 2, 3).
template <bool kClip>
void Put411HalfImpl(DVPictureWriter* w, DVPixelKernelSet* k, int x, int y,
                    const DVMacroblock* mb) {
    const int px = x / 2, fy = y / 2;
    k->srcY = k->scratchY;
    k->srcCb = k->scratchCb;
    k->srcCr = k->scratchCr;
    k->pixelCount = 16;
    for (int r = 0; r < 4; r++) {
        Gather4x4(k->scratchY, SlotRow(mb, 0, r), SlotRow(mb, 1, r), SlotRow(mb, 2, r),
                  SlotRow(mb, 3, r));
        const uint8_t* cb = SlotRow(mb, 5, r);
        const uint8_t* cr = SlotRow(mb, 4, r);
        for (int i = 0; i < 4; i++) {
            k->scratchCb[2 * i] = k->scratchCb[2 * i + 1] = cb[i];
            k->scratchCr[2 * i] = k->scratchCr[2 * i + 1] = cr[i];
        }
        if (x < 704)
            EmitStrip<kClip>(w, k, fy + r, px);
        else
            EmitSplitStrip<kClip>(w, k, fy + r, px, fy + r + 4, px);
    }
}

}  // namespace

void Put420(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb) {
    DVPixelKernelSet* const k = w->kernelSets[t];
    if (Inside(w, x, y, 16, 16) && k->convertMacroblock420)
        k->convertMacroblock420(k, w->origin + (ptrdiff_t)y * w->pitch + (ptrdiff_t)x * w->bytesPerPixel,
                                w->pitch, mb->slot[0]);
    else if (Inside(w, x, y, 16, 16))
        Put420Impl<false>(w, w->kernelSets[t], x, y, mb);
    else
        Put420Impl<true>(w, w->kernelSets[t], x, y, mb);
}

void Put422(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb) {
    DVPixelKernelSet* const k = w->kernelSets[t];
    const bool inside = Inside(w, x, y, 16, 8);
    if (inside && k->convertBlockPair422)
        k->convertBlockPair422(k, w->origin + (ptrdiff_t)y * w->pitch + (ptrdiff_t)x * w->bytesPerPixel,
                               w->pitch, mb->slot[0], mb->slot[2], mb->slot[5], mb->slot[4]);
    else if (inside)
        Put422Impl<false>(w, w->kernelSets[t], x, y, mb);
    else
        Put422Impl<true>(w, w->kernelSets[t], x, y, mb);
}

// A whole high-definition macroblock in two kernel calls: the upper luma
// pair with the upper chroma slots, then the lower ones 8 rows below (or,
// in the 32 x 8 bottom strip, 16 pixels to the right).
inline void PutHDNativeBlockPairs(DVPictureWriter* w, DVPixelKernelSet* k, int x, int y,
                                  const DVMacroblock* mb, bool bottomStrip) {
    uint8_t* dst = w->origin + (ptrdiff_t)y * w->pitch + (ptrdiff_t)x * w->bytesPerPixel;
    const ptrdiff_t lower = bottomStrip ? 16 * (ptrdiff_t)w->bytesPerPixel : 8 * (ptrdiff_t)w->pitch;
    k->convertBlockPair422(k, dst, w->pitch, mb->slot[0], mb->slot[1], mb->slot[6], mb->slot[4]);
    k->convertBlockPair422(k, dst + lower, w->pitch, mb->slot[2], mb->slot[3], mb->slot[7], mb->slot[5]);
}

void PutHD720Native(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb) {
    DVPixelKernelSet* const k = w->kernelSets[t];
    const bool inside = Inside(w, x, y, 16, 16);
    if (inside && k->convertBlockPair422)
        PutHDNativeBlockPairs(w, k, x, y, mb, false);
    else if (inside)
        PutHDNativeImpl<false>(w, w->kernelSets[t], x, y, mb, false);
    else
        PutHDNativeImpl<true>(w, w->kernelSets[t], x, y, mb, false);
}

void PutHD1080Native(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb) {
    const bool bottom = y == 1072;
    DVPixelKernelSet* const k = w->kernelSets[t];
    const bool inside = Inside(w, x, y, bottom ? 32 : 16, bottom ? 8 : 16);
    if (inside && k->convertBlockPair422)
        PutHDNativeBlockPairs(w, k, x, y, mb, bottom);
    else if (inside)
        PutHDNativeImpl<false>(w, w->kernelSets[t], x, y, mb, bottom);
    else
        PutHDNativeImpl<true>(w, w->kernelSets[t], x, y, mb, bottom);
}

// Half the coded width: the 1080-line pictures' last macroblock row (y 1072)
// is only 4 output rows tall and is written through the strips.
void PutHDNativeHalf(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb, bool bottom) {
    DVPixelKernelSet* const k = w->kernelSets[t];
    const bool inside = Inside(w, x / 2, y / 2, bottom ? 16 : 8, bottom ? 4 : 8);
    if (inside && !bottom && k->convertMacroblockHDHalf)
        k->convertMacroblockHDHalf(
            k, w->origin + (ptrdiff_t)(y / 2) * w->pitch + (ptrdiff_t)(x / 2) * w->bytesPerPixel, w->pitch,
            mb->slot[0]);
    else if (inside)
        PutHDNativeHalfImpl<false>(w, k, x, y, mb, bottom);
    else
        PutHDNativeHalfImpl<true>(w, k, x, y, mb, bottom);
}

void PutHD720NativeHalf(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb) {
    PutHDNativeHalf(w, t, x, y, mb, false);
}

void PutHD1080NativeHalf(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb) {
    PutHDNativeHalf(w, t, x, y, mb, y == 1072);
}

void Put420Half(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb) {
    DVPixelKernelSet* const k = w->kernelSets[t];
    const bool inside = Inside(w, x / 2, y / 2, 8, 8);
    if (inside && k->convertMacroblock420Half)
        k->convertMacroblock420Half(
            k, w->origin + (ptrdiff_t)(y / 2) * w->pitch + (ptrdiff_t)(x / 2) * w->bytesPerPixel, w->pitch,
            mb->slot[0]);
    else if (inside)
        Put420HalfImpl<false>(w, w->kernelSets[t], x, y, mb);
    else
        Put420HalfImpl<true>(w, w->kernelSets[t], x, y, mb);
}

void Put422Half(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb) {
    if (Inside(w, x / 2, y / 2, 8, 4))
        Put422HalfImpl<false>(w, w->kernelSets[t], x, y, mb);
    else
        Put422HalfImpl<true>(w, w->kernelSets[t], x, y, mb);
}

void Put411Half(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb) {
    const bool edge = x >= 704;
    DVPixelKernelSet* const k = w->kernelSets[t];
    const bool inside = Inside(w, x / 2, y / 2, edge ? 8 : 16, edge ? 8 : 4);
    if (inside && !edge && k->convertMacroblock411Half)
        k->convertMacroblock411Half(
            k, w->origin + (ptrdiff_t)(y / 2) * w->pitch + (ptrdiff_t)(x / 2) * w->bytesPerPixel, w->pitch,
            mb->slot[0]);
    else if (inside)
        Put411HalfImpl<false>(w, w->kernelSets[t], x, y, mb);
    else
        Put411HalfImpl<true>(w, w->kernelSets[t], x, y, mb);
}

// 4:1:1 full size: store into the macroblock frame buffer.  An entry row is
// 32 luma, 8 Cb and 8 Cr bytes.  The right-edge macroblock (16 x 16 at
// x = 704) fills entry 22 of two macroblock rows; its chroma slot rows carry
// the upper half's samples in columns 0-3 and the lower half's in 4-7.  The
// last real sample is stored twice more after itself, as the right-hand
// neighbour the chroma reconstruction reads past the picture's edge.
void Put411(DVPictureWriter* w, int, int x, int y, const DVMacroblock* mb) {
    const int rows = w->height / 8;
    if (x < 0 || y < 0 || x >= 720 || !w->frameBuffer) return;
    const int m = y / 8;
    if (x < 704) {
        if (m >= rows) return;
        uint8_t* e = w->frameBuffer + (size_t)m * kMacroblockRowBytes + (size_t)(x / 32) * kEntryBytes;
        for (int r = 0; r < 8; r++, e += kEntryRowBytes) {
            std::memcpy(e, SlotRow(mb, 0, r), 8);
            std::memcpy(e + 8, SlotRow(mb, 1, r), 8);
            std::memcpy(e + 16, SlotRow(mb, 2, r), 8);
            std::memcpy(e + 24, SlotRow(mb, 3, r), 8);
            std::memcpy(e + 32, SlotRow(mb, 5, r), 8);
            std::memcpy(e + 40, SlotRow(mb, 4, r), 8);
        }
        return;
    }
    for (int h = 0; h < 2; h++) {
        if (m + h >= rows) return;
        uint8_t* e = w->frameBuffer + (size_t)(m + h) * kMacroblockRowBytes + 22 * kEntryBytes;
        for (int r = 0; r < 8; r++, e += kEntryRowBytes) {
            std::memcpy(e, SlotRow(mb, 2 * h, r), 8);
            std::memcpy(e + 8, SlotRow(mb, 2 * h + 1, r), 8);
            const uint8_t* cb = SlotRow(mb, 5, r) + 4 * h;
            const uint8_t* cr = SlotRow(mb, 4, r) + 4 * h;
            std::memcpy(e + 32, cb, 4);
            e[36] = e[37] = cb[3];
            std::memcpy(e + 40, cr, 4);
            e[44] = e[45] = cr[3];
        }
    }
}

// 4:1:1 full size straight into a packed 4:2:2 picture that holds every
// frame row and at least 720 pixels (BeginFrame411): the 32 x 8 macroblocks
// by the set's kernel, whose last pixel pair of each row FlushRows411Packed
// completes.  The right-edge macroblock (16 x 16 at x = 704) goes as 16
// strips: its upper (lower) half is luma slots 0 1 (2 3) with chroma
// samples 0-3 (4-7) of each slot row, the last of them its own right
// neighbour, as at the picture's edge.
void Put411Packed(DVPictureWriter* w, int t, int x, int y, const DVMacroblock* mb) {
    if (x < 0 || y < 0 || x >= 720) return;
    DVPixelKernelSet* const k = w->kernelSets[t];
    const int fy = 8 * (y / 8);
    if (x < 704) {
        if (fy + 8 > w->frameRows) return;
        k->convertMacroblock411(k, w->origin + (ptrdiff_t)fy * w->pitch + (ptrdiff_t)(x / 32) * 64, w->pitch,
                                mb->slot[0]);
        return;
    }
    k->srcY = k->scratchY;
    k->srcCb = k->scratchCb;
    k->srcCr = k->scratchCr;
    for (int h = 0; h < 2; h++) {
        if (fy + 8 * h + 8 > w->frameRows) return;
        for (int r = 0; r < 8; r++) {
            Gather8x2(k->scratchY, SlotRow(mb, 2 * h, r), SlotRow(mb, 2 * h + 1, r));
            const uint8_t* cb = SlotRow(mb, 5, r) + 4 * h;
            const uint8_t* cr = SlotRow(mb, 4, r) + 4 * h;
            for (int i = 0; i < 4; i++) {
                const int j = i < 3 ? i + 1 : i;
                k->scratchCb[2 * i] = cb[i];
                k->scratchCb[2 * i + 1] = (uint8_t)((cb[i] + cb[j] + 1) >> 1);
                k->scratchCr[2 * i] = cr[i];
                k->scratchCr[2 * i + 1] = (uint8_t)((cr[i] + cr[j] + 1) >> 1);
            }
            k->dst = w->origin + (ptrdiff_t)(fy + 8 * h + r) * w->pitch + 704 * 2;
            k->convertStrip422(k);
        }
    }
}

namespace {

// High definition into planes.  Full size (Half = 0): luma 16 x 16 (slots
// 0, 1 over 2, 3) at (x, y), chroma 8 x 16 per component (Cr slots 4 then 5,
// Cb slots 6 then 7) at x / 2.  At y = 1072 of a 1080-line frame the
// macroblock is 32 x 8: luma slots side by side, each chroma row the two
// slots' rows side by side.  Half size (Half = 1): the same with 4 x 4 half
// blocks at (x / 2, y / 2), chroma at x / 4.  Macroblocks that would not fit
// the planes are dropped.
template <int Half>
void PutHDPlanes(DVPictureWriter* w, int x, int y, const DVMacroblock* mb) {
    constexpr int b = 8 >> Half;  // samples per block row
    const int ls = w->lumaStride, cs = w->chromaStride;
    const bool bottom = w->frameRows == 1080 && y == 1072;
    const int px = x >> Half, py = y >> Half;
    if (x < 0 || y < 0 || (x & 15) || (y & 7) ||
        px + (bottom ? 4 * b : 2 * b) > (w->codedLumaWidth >> Half))
        return;
    if (!bottom && py + 2 * b > (w->frameRows >> Half)) return;
    // Plane pointers in locals: stores through uint8_t* could alias the
    // writer record and would make the compiler reload them for every row.
    // The 16 x 8 tiles written (at full-size coordinates).
    uint8_t* const flags = w->tileFlags + (size_t)(y >> 3) * (size_t)(w->codedLumaWidth >> 4) + (x >> 4);
    flags[0] = 1;
    flags[bottom ? 1 : w->codedLumaWidth >> 4] = 1;
    uint8_t* luma = w->planeY + (size_t)py * ls + px;
    uint8_t* cr = w->planeCr + (size_t)py * cs + (x >> (Half + 1));
    uint8_t* cb = w->planeCb + (size_t)py * cs + (x >> (Half + 1));
    if (bottom) {
        for (int j = 0; j < b; j++, luma += ls, cr += cs, cb += cs) {
            for (int s = 0; s < 4; s++) std::memcpy(luma + b * s, SlotRow(mb, s, j), b);
            std::memcpy(cr, SlotRow(mb, 4, j), b);
            std::memcpy(cr + b, SlotRow(mb, 5, j), b);
            std::memcpy(cb, SlotRow(mb, 6, j), b);
            std::memcpy(cb + b, SlotRow(mb, 7, j), b);
        }
        return;
    }
    if (!Half) {
        w->dsp->storeMacroblockHD(mb->slot[0], luma, ls, cb, cs, cr, cs);
        return;
    }
    for (int half = 0; half < 2; half++)
        for (int row = 0; row < b; row++, luma += ls, cr += cs, cb += cs) {
            std::memcpy(luma, SlotRow(mb, 2 * half, row), b);
            std::memcpy(luma + b, SlotRow(mb, 2 * half + 1, row), b);
            std::memcpy(cr, SlotRow(mb, 4 + half, row), b);
            std::memcpy(cb, SlotRow(mb, 6 + half, row), b);
        }
}

}  // namespace

void PutHD720(DVPictureWriter* w, int, int x, int y, const DVMacroblock* mb) {
    PutHDPlanes<0>(w, x, y, mb);
}
void PutHD1080x60(DVPictureWriter* w, int, int x, int y, const DVMacroblock* mb) {
    PutHDPlanes<0>(w, x, y, mb);
}
void PutHD1080x50(DVPictureWriter* w, int, int x, int y, const DVMacroblock* mb) {
    PutHDPlanes<0>(w, x, y, mb);
}
void PutHD720Half(DVPictureWriter* w, int, int x, int y, const DVMacroblock* mb) {
    PutHDPlanes<1>(w, x, y, mb);
}
void PutHD1080x60Half(DVPictureWriter* w, int, int x, int y, const DVMacroblock* mb) {
    PutHDPlanes<1>(w, x, y, mb);
}
void PutHD1080x50Half(DVPictureWriter* w, int, int x, int y, const DVMacroblock* mb) {
    PutHDPlanes<1>(w, x, y, mb);
}

}  // namespace hvdv
