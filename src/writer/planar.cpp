// The planar writer: decoded samples stored as they are coded, one plane per
// component, so that nothing is lost on the way to a lossless master.
//
// Macroblock shapes (full size; half size halves every dimension):
//   625/50 4:2:0   luma 16 x 16 (slots 0 1 over 2 3), Cr slot 4 and Cb slot 5
//                  8 x 8 at (x / 2, y / 2), the rows as DV stores them;
//   4:1:1          luma 32 x 8 (slots 0-3 side by side), chroma 8 x 8 at
//                  (x / 4, y); the right-edge macroblock (x = 704) is 16 x 16
//                  with chroma 4 x 16: slot rows carry the upper half's
//                  samples in columns 0-3 and the lower half's in 4-7;
//   50 Mb/s 4:2:2  luma 16 x 8 (slots 0 and 2; 1 and 3 are dummies), chroma
//                  8 x 8 at (x / 2, y);
//   HD 4:2:2       luma 16 x 16, Cr slots 4 over 5 and Cb 6 over 7, 8 x 16 at
//                  (x / 2, y); the bottom strip of a 1080-line frame
//                  (y = 1072) is 32 x 8, its chroma rows two slots side by side.
#include <cstring>

#include "writer/writer_ops.h"

namespace hvdv {

namespace {

// True when a w x h rectangle at (px, py) lies inside plane i.
inline bool Fits(const DVPlanes& p, int i, int px, int py, int w, int h) {
    return px >= 0 && py >= 0 && px + w <= p.width[i] && py + h <= p.height[i];
}

// Plane i's sample (px, py).  The writers take the plane pointers and
// pitches into locals first: a store through a uint8_t pointer may alias
// the writer record, which would make the compiler reload both for every row.
struct PlaneRef {
    uint8_t* data;
    ptrdiff_t pitch;
    uint8_t* At(int px, int py) const { return data + (ptrdiff_t)py * pitch + px; }
};

inline PlaneRef Plane(const DVPlanes& p, int i) { return PlaneRef{p.data[i], (ptrdiff_t)p.pitch[i]}; }

// Rows 0 .. rows - 1 of slot `slot`, n samples each, to dst and the rows below.
inline void StoreRows(uint8_t* dst, ptrdiff_t pitch, const DVMacroblock* mb, int slot, int n, int rows) {
    const uint8_t* src = mb->slot[slot];
    for (int r = 0; r < rows; r++, dst += pitch, src += 8) std::memcpy(dst, src, (size_t)n);
}

// Rows 0 .. n - 1 of slot `slot`, n samples each, to the plane at (px, py).
inline void StoreSlot(const PlaneRef& p, int px, int py, const DVMacroblock* mb, int slot, int n) {
    StoreRows(p.At(px, py), p.pitch, mb, slot, n, n);
}

// Rows 0 .. n - 1 of slots a and b side by side (n samples of each), to dst
// and the rows below.
inline void StoreSlotPair(uint8_t* dst, ptrdiff_t pitch, const DVMacroblock* mb, int a, int b, int n) {
    const uint8_t* sa = mb->slot[a];
    const uint8_t* sb = mb->slot[b];
    for (int r = 0; r < n; r++, dst += pitch, sa += 8, sb += 8) {
        std::memcpy(dst, sa, (size_t)n);
        std::memcpy(dst + n, sb, (size_t)n);
    }
}

template <int Half>
void Put420Planar(DVPictureWriter* w, int, int x, int y, const DVMacroblock* mb) {
    constexpr int n = 8 >> Half;
    const DVPlanes& p = w->planes;
    const int px = x >> Half, py = y >> Half, cx = x >> (Half + 1), cy = y >> (Half + 1);
    if (!Fits(p, 0, px, py, 2 * n, 2 * n) || !Fits(p, 1, cx, cy, n, n) || !Fits(p, 2, cx, cy, n, n))
        return;
    const PlaneRef l = Plane(p, 0), cb = Plane(p, 1), cr = Plane(p, 2);
    StoreSlotPair(l.At(px, py), l.pitch, mb, 0, 1, n);
    StoreSlotPair(l.At(px, py + n), l.pitch, mb, 2, 3, n);
    StoreSlot(cb, cx, cy, mb, 5, n);
    StoreSlot(cr, cx, cy, mb, 4, n);
}

template <int Half>
void Put411Planar(DVPictureWriter* w, int, int x, int y, const DVMacroblock* mb) {
    constexpr int n = 8 >> Half;
    const DVPlanes& p = w->planes;
    const int px = x >> Half, py = y >> Half, cx = x >> (Half + 2);
    const PlaneRef l = Plane(p, 0), cb = Plane(p, 1), cr = Plane(p, 2);
    if (x < 704) {
        if (!Fits(p, 0, px, py, 4 * n, n) || !Fits(p, 1, cx, py, n, n) || !Fits(p, 2, cx, py, n, n))
            return;
        for (int s = 0; s < 4; s++) StoreSlot(l, px + n * s, py, mb, s, n);
        StoreSlot(cb, cx, py, mb, 5, n);
        StoreSlot(cr, cx, py, mb, 4, n);
        return;
    }
    constexpr int h = n / 2;  // chroma columns of the edge macroblock
    if (!Fits(p, 0, px, py, 2 * n, 2 * n) || !Fits(p, 1, cx, py, h, 2 * n) ||
        !Fits(p, 2, cx, py, h, 2 * n))
        return;
    StoreSlotPair(l.At(px, py), l.pitch, mb, 0, 1, n);
    StoreSlotPair(l.At(px, py + n), l.pitch, mb, 2, 3, n);
    for (int r = 0; r < n; r++)
        for (int half = 0; half < 2; half++) {
            std::memcpy(cb.At(cx, py + r + n * half), mb->slot[5] + 8 * r + h * half, (size_t)h);
            std::memcpy(cr.At(cx, py + r + n * half), mb->slot[4] + 8 * r + h * half, (size_t)h);
        }
}

template <int Half>
void Put422Planar(DVPictureWriter* w, int, int x, int y, const DVMacroblock* mb) {
    constexpr int n = 8 >> Half;
    const DVPlanes& p = w->planes;
    const int px = x >> Half, py = y >> Half, cx = x >> (Half + 1);
    if (!Fits(p, 0, px, py, 2 * n, n) || !Fits(p, 1, cx, py, n, n) || !Fits(p, 2, cx, py, n, n)) return;
    const PlaneRef l = Plane(p, 0), cb = Plane(p, 1), cr = Plane(p, 2);
    StoreSlotPair(l.At(px, py), l.pitch, mb, 0, 2, n);
    StoreSlot(cb, cx, py, mb, 5, n);
    StoreSlot(cr, cx, py, mb, 4, n);
}

template <int Half>
void PutHDPlanar(DVPictureWriter* w, int, int x, int y, const DVMacroblock* mb) {
    constexpr int n = 8 >> Half;
    const DVPlanes& p = w->planes;
    const int px = x >> Half, py = y >> Half, cx = x >> (Half + 1);
    const PlaneRef l = Plane(p, 0), cb = Plane(p, 1), cr = Plane(p, 2);
    if (w->profile->codedHeight == 1080 && y == 1072) {
        if (!Fits(p, 0, px, py, 4 * n, n) || !Fits(p, 1, cx, py, 2 * n, n) || !Fits(p, 2, cx, py, 2 * n, n))
            return;
        StoreSlotPair(l.At(px, py), l.pitch, mb, 0, 1, n);
        StoreSlotPair(l.At(px + 2 * n, py), l.pitch, mb, 2, 3, n);
        StoreSlotPair(cb.At(cx, py), cb.pitch, mb, 6, 7, n);
        StoreSlotPair(cr.At(cx, py), cr.pitch, mb, 4, 5, n);
        return;
    }
    if (!Fits(p, 0, px, py, 2 * n, 2 * n) || !Fits(p, 1, cx, py, n, 2 * n) || !Fits(p, 2, cx, py, n, 2 * n))
        return;
    if (!Half) {
        w->dsp->storeMacroblockHD(mb->slot[0], l.At(px, py), l.pitch, cb.At(cx, py), cb.pitch, cr.At(cx, py),
                                  cr.pitch);
        return;
    }
    StoreSlotPair(l.At(px, py), l.pitch, mb, 0, 1, n);
    StoreSlotPair(l.At(px, py + n), l.pitch, mb, 2, 3, n);
    // Cb slots 6 over 7 and Cr 4 over 5: 2n rows of each plane.
    StoreRows(cb.At(cx, py), cb.pitch, mb, 6, n, n);
    StoreRows(cb.At(cx, py + n), cb.pitch, mb, 7, n, n);
    StoreRows(cr.At(cx, py), cr.pitch, mb, 4, n, n);
    StoreRows(cr.At(cx, py + n), cr.pitch, mb, 5, n, n);
}

// Full size: where each slot's block goes, for the decoder to write there
// itself (MacroblockPlanes).  The same places as the Put functions above,
// for the macroblocks whose blocks lie whole in the planes; 0 for the others
// (the 4:1:1 right edge and the bottom strip of a 1080-line frame, whose
// shapes are their own, and macroblocks that do not fit).
// The four luma blocks at luma + offset[k] (pitch lp), Cr and Cb in slots
// 4 and 5.
inline void PlacesSD(DVMacroblockPlanes* out, uint8_t* luma, ptrdiff_t lp, const ptrdiff_t (&offset)[4],
                     const PlaneRef& cr, const PlaneRef& cb, int cx, int cy) {
    for (int s = 0; s < 4; s++) {
        out->block[s] = luma + offset[s];
        out->pitch[s] = lp;
    }
    out->block[4] = cr.At(cx, cy);
    out->pitch[4] = cr.pitch;
    out->block[5] = cb.At(cx, cy);
    out->pitch[5] = cb.pitch;
}

int32_t Planes420(DVPictureWriter* w, int x, int y, DVMacroblockPlanes* out) {
    const DVPlanes& p = w->planes;
    const int cx = x >> 1, cy = y >> 1;
    if (!Fits(p, 0, x, y, 16, 16) || !Fits(p, 1, cx, cy, 8, 8) || !Fits(p, 2, cx, cy, 8, 8)) return 0;
    const PlaneRef l = Plane(p, 0);
    const ptrdiff_t offset[4] = {0, 8, 8 * l.pitch, 8 * l.pitch + 8};
    PlacesSD(out, l.At(x, y), l.pitch, offset, Plane(p, 2), Plane(p, 1), cx, cy);
    return 1;
}

int32_t Planes411(DVPictureWriter* w, int x, int y, DVMacroblockPlanes* out) {
    const DVPlanes& p = w->planes;
    const int cx = x >> 2;
    if (x >= 704 || !Fits(p, 0, x, y, 32, 8) || !Fits(p, 1, cx, y, 8, 8) || !Fits(p, 2, cx, y, 8, 8)) return 0;
    const PlaneRef l = Plane(p, 0);
    static const ptrdiff_t kOffset[4] = {0, 8, 16, 24};
    PlacesSD(out, l.At(x, y), l.pitch, kOffset, Plane(p, 2), Plane(p, 1), cx, y);
    return 1;
}

// Areas 1 and 3 are the dummies: no place.
int32_t Planes422(DVPictureWriter* w, int x, int y, DVMacroblockPlanes* out) {
    const DVPlanes& p = w->planes;
    const int cx = x >> 1;
    if (!Fits(p, 0, x, y, 16, 8) || !Fits(p, 1, cx, y, 8, 8) || !Fits(p, 2, cx, y, 8, 8)) return 0;
    const PlaneRef l = Plane(p, 0);
    static const ptrdiff_t kOffset[4] = {0, 0, 8, 0};
    PlacesSD(out, l.At(x, y), l.pitch, kOffset, Plane(p, 2), Plane(p, 1), cx, y);
    out->block[1] = out->block[3] = nullptr;
    return 1;
}

int32_t PlanesHD(DVPictureWriter* w, int x, int y, DVMacroblockPlanes* out) {
    const DVPlanes& p = w->planes;
    const int cx = x >> 1;
    if ((w->profile->codedHeight == 1080 && y == 1072) || !Fits(p, 0, x, y, 16, 16) || !Fits(p, 1, cx, y, 8, 16) ||
        !Fits(p, 2, cx, y, 8, 16))
        return 0;
    // Each plane's place once, the blocks at fixed distances from it.
    const PlaneRef l = Plane(p, 0), cb = Plane(p, 1), cr = Plane(p, 2);
    uint8_t* const luma = l.At(x, y);
    uint8_t* const cbAt = cb.At(cx, y);
    uint8_t* const crAt = cr.At(cx, y);
    const ptrdiff_t lp = l.pitch, cp = cb.pitch, rp = cr.pitch;
    *out = DVMacroblockPlanes{{luma, luma + 8, luma + 8 * lp, luma + 8 * lp + 8, crAt, crAt + 8 * rp, cbAt, cbAt + 8 * cp},
                              {lp, lp, lp, lp, rp, rp, cp, cp}};
    return 1;
}

int32_t BeginNothing(DVPictureWriter*, uint8_t*, int32_t, int32_t, int32_t) { return 0; }
void EndNothing(DVPictureWriter*) {}
int32_t FreeNothing(DVPictureWriter*) { return 0; }
void ReleaseNothing(DVPictureWriter*) {}

}  // namespace

void PlanarGeometry(const DVProfile& profile, int halfSize, int32_t width[3], int32_t height[3]) {
    const int32_t w = profile.codedWidth, h = profile.codedHeight;
    int32_t cw = w / 2, ch = h;
    if (profile.chroma == DVChroma::k411) cw = w / 4;
    if (profile.chroma == DVChroma::k420) ch = h / 2;
    const int s = halfSize ? 1 : 0;
    width[0] = w >> s;
    height[0] = h >> s;
    for (int i = 1; i < 3; i++) {
        width[i] = cw >> s;
        height[i] = ch >> s;
    }
}

void InitPlanarWriter(DVPictureWriter* w, const DVWriterDsp* dsp, const DVProfile& profile, int halfSize,
                      const DVPlanes& planes) {
    *w = DVPictureWriter{};
    w->dsp = dsp;
    w->BeginFrame = BeginNothing;
    w->EndFrame = EndNothing;
    w->FreeFrameBuffer = FreeNothing;
    w->Release = ReleaseNothing;
    w->FlushRows = nullptr;
    w->profile = &profile;
    w->halfSize = halfSize;
    w->threadCount = 1;
    w->planes = planes;
    const bool half = halfSize != 0;
    if (profile.hd) {
        w->PutMacroblock = half ? PutHDPlanar<1> : PutHDPlanar<0>;
        w->MacroblockPlanes = PlanesHD;
    } else if (profile.chroma == DVChroma::k420) {
        w->PutMacroblock = half ? Put420Planar<1> : Put420Planar<0>;
        w->MacroblockPlanes = Planes420;
    } else if (profile.chroma == DVChroma::k411) {
        w->PutMacroblock = half ? Put411Planar<1> : Put411Planar<0>;
        w->MacroblockPlanes = Planes411;
    } else {
        w->PutMacroblock = half ? Put422Planar<1> : Put422Planar<0>;
        w->MacroblockPlanes = Planes422;
    }
    if (half) w->MacroblockPlanes = nullptr;
}

}  // namespace hvdv
