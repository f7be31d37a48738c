// Picture writers driven with the probe kernel family: every decoded sample
// carries its slot, row and column (plus a per-macroblock tag), so the
// picture shows where each sample landed.  Expected pictures are built from
// the placement rules of each frame family, sample by sample.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "writer/writer_ops.h"
#include "writer_probe.h"

using namespace hvdv;
using namespace probe;

namespace {

// The expected picture: pixels inside the picture only (the writers clip).
struct Expected {
    Picture pic;
    int rowOffset;
    uint8_t* At(int px, int fy) {
        const int r = rowOffset + fy;
        return px >= 0 && px < pic.width && r >= 0 && r < pic.height ? pic.Row(r) + 4 * px : nullptr;
    }
    void Y(int px, int fy, uint8_t v) {
        if (uint8_t* p = At(px, fy)) p[0] = v, p[3] = kMarker;
    }
    void C(int px, int fy, uint8_t cb, uint8_t cr) {
        if (uint8_t* p = At(px, fy)) p[1] = cb, p[2] = cr;
    }
};

// Macroblock origins (x, y) of a frame family, in full-frame coordinates.
enum Family { k420, k422, k411, kHD720, kHD1080 };
std::vector<std::pair<int, int>> Positions(Family f, int frameWidth, int frameRows) {
    std::vector<std::pair<int, int>> v;
    const int step = f == k422 || f == k411 ? 8 : 16, last = f == kHD1080 ? 1072 : frameRows;
    for (int y = 0; y < last; y += step)
        for (int x = 0; x < (f == k411 ? 704 : frameWidth); x += f == k411 ? 32 : 16) v.push_back({x, y});
    for (int y = 0; f == k411 && y < frameRows; y += 16) v.push_back({704, y});
    for (int x = 0; f == kHD1080 && x < frameWidth; x += 32) v.push_back({x, 1072});
    return v;
}

// Where each sample of the macroblock at (x, y) must land in a directly
// written picture (frame rows counted from the writer's origin).
void ModelFull(Family f, int x, int y, Expected& e) {
    const int t = Tag(x, y), hd = f >= kHD720, bottom = f == kHD1080 && y == 1072;
    // Luma: 4:2:2 blocks 0 and 2 side by side; otherwise four 8 x 8 blocks in
    // a square, or in a row for the 32 x 8 macroblocks at the foot of a
    // 1080-line frame.
    for (int i = 0; i < 256; i++) {
        const int s = i / 64, j = i / 8 % 8, c = i % 8;
        const int bx = f == k422 ? 4 * s : bottom ? 8 * s : 8 * (s & 1), by = f == k422 || bottom ? 0 : 8 * (s >> 1);
        if (f != k422 || s % 2 == 0) e.Y(x + bx + c, y + by + j, Val(s, j, c, t));
    }
    // Chroma (Cb, Cr) row j: 4:2:0 rows belong to one field, luma rows
    // 4(j/2) + j%2 and 2 below; high definition has two 8 x 16 halves.
    for (int i = 0; i < 256; i++) {
        const int h = i / 128, j = i / 16 % 8, c = i % 16;
        const int cy = f == k420 ? 4 * (j / 2) + j % 2 + 2 * h : bottom ? j : 8 * h + j;
        if (f != k422 || !h)
            e.C(x + (bottom ? 16 * h : 0) + c, y + cy, Val(hd ? 6 + h : 5, j, c / 2, t),
                Val(hd ? 4 + h : 4, j, c / 2, t));
    }
}

void ModelHalf(Family f, int x, int y, Expected& e) {
    const int t = Tag(x, y), hx = x / 2, hy = y / 2;
    const bool square = f == k420 || (f == k411 && x == 704);  // 8 x 8 of four 4 x 4 blocks
    for (int i = 0; i < 64; i++) {
        const int s = i / 16, j = i / 4 % 4, c = i % 4, px = hx + 4 * (s & 1) + c, py = hy + 4 * (s >> 1) + j;
        const int w = f == k411 ? 16 : 8, r = i / w, col = i % w;  // the 4-row strip of the other layouts
        if (square) e.Y(px, py, Val(s, j, c, t));
        if (f == k420)  // chroma row k serves output rows 2k and 2k + 1
            e.C(hx + i % 8, hy + i / 8, Val(5, i / 16, i % 8 / 2, t), Val(4, i / 16, i % 8 / 2, t));
        else if (square)  // 4:1:1 right edge: chroma columns 0-1 in rows 0-3, 2-3 in rows 4-7
            e.C(px, py, Val(5, j, s, t), Val(4, j, s, t));
        else if (r < 4)
            e.Y(hx + col, hy + r,
                Val(f == k411 ? col / 4
                    : col < 4 ? 0
                              : 2,
                    r, col % 4, t)),
                e.C(hx + col, hy + r, Val(5, r, col / (w / 4), t), Val(4, r, col / (w / 4), t));
    }
}

TEST(WriterPlacement, DirectWritersPlaceEverySample) {
    const struct {
        const char* name;
        Family family;
        int kind, half, wide, width, height;
        bool up;
        int rows, rowOffset;
    } kCases[] = {
        {"420 full narrow 700, short 570, bottom-up", k420, 0x00, 0, 0, 700, 570, true, 576, 0},
        {"420 half wide at 288", k420, 0x00, 1, 1, 360, 288, false, 576, 36},
        {"422 full 486", k422, 0x05, 0, 0, 720, 486, false, 480, 2},
        {"422 half", k422, 0x05, 1, 0, 360, 240, false, 480, 0},
        {"411 half wide at 240", k411, 0x03, 1, 1, 360, 240, true, 480, 15},
        {"411 half narrow 356", k411, 0x02, 1, 0, 356, 288, false, 576, 0},
        {"720-line native", kHD720, 0x14, 0, 0, 960, 720, false, 720, 0},
        {"1080-line native 1440 short 1076", kHD1080, 0x24, 0, 0, 1440, 1076, false, 1080, 0},
    };
    for (const auto& dc : kCases) {
        SCOPED_TRACE(dc.name);
        WriterPtr w(CreatePictureWriterWith(RowKernels(), nullptr, Init, 0, 2, dc.kind, dc.half, dc.wide));
        Picture got(dc.width, dc.height, dc.up);
        Expected want{Picture(dc.width, dc.height, dc.up), dc.rowOffset};
        ASSERT_EQ(0, w->BeginFrame(w.get(), got.Row(0), got.Pitch(), dc.width, dc.height));
        ASSERT_EQ(nullptr, w->FlushRows) << "written directly, without a work buffer";
        DVMacroblock mb;
        int n = 0;
        for (auto [x, y] : Positions(dc.family, dc.family >= kHD720 ? dc.width : 720, dc.rows)) {
            FillMacroblock(&mb, x, y, dc.half != 0);
            w->PutMacroblock(w.get(), n++ % 2, x, y, &mb);
            (dc.half ? ModelHalf : ModelFull)(dc.family, x, y, want);
        }
        w->EndFrame(w.get());
        EXPECT_EQ("", FirstDifference(want.pic, got));
    }
}

// Thread counts 1 .. 16, one aligned kernel set each.  Where the coded frame
// starts in the picture: 486-line pictures show a 480-line frame 2 rows down;
// smaller pictures centre it, half-size wide-screen pictures move it further
// down.  The 4:1:1 frame buffer keeps one 384-byte entry of margin in front
// of row 0 (the chroma filter reads left of the first entry); the
// high-definition planes have their coded sizes and do not overlap.
TEST(WriterCreation, ThreadsOffsetsAndBuffers) {
    for (int threads : {0, 17}) EXPECT_EQ(nullptr, CreatePictureWriterWith(RowKernels(), nullptr, Init, 0, threads, 0x00, 0, 0));
    WriterPtr w16(CreatePictureWriterWith(RowKernels(), nullptr, Init, 0, 16, 0x00, 0, 0));
    for (int t = 0; t < 16; t++)
        EXPECT_TRUE((uintptr_t)w16->kernelSets[t] % 16 == 0 && w16->kernelSets[t]->bytesPerPixel == 4 &&
                    (!t || w16->kernelSets[t - 1] != w16->kernelSets[t]))
            << t;
    const struct {
        int kind, wide, height, rows;
    } kOffsets[] = {{0x03, 1, 486, 2},  {0x03, 0, 480, 0},  {0x03, 0, 288, 24}, {0x03, 1, 288, 39}, {0x00, 0, 288, 0},
                    {0x00, 1, 288, 36}, {0x03, 1, 240, 15}, {0x00, 1, 240, 15}, {0x00, 1, 576, 0}};
    std::vector<uint8_t> pic(720 * 4 * 500);
    for (const auto& oc : kOffsets)
        for (int sign : {1, -1}) {
            WriterPtr w(CreatePictureWriterWith(RowKernels(), nullptr, Init, 0, 2, oc.kind, 1, oc.wide));
            uint8_t* row0 = sign > 0 ? pic.data() : pic.data() + (oc.height - 1) * 2880;
            ASSERT_EQ(0, w->BeginFrame(w.get(), row0, sign * 2880, 360, oc.height));
            EXPECT_EQ(oc.rows * sign * 2880, w->origin - row0) << oc.kind << " " << oc.wide << " " << oc.height;
        }
    for (int height : {480, 486, 576}) {
        WriterPtr w(CreatePictureWriterWith(RowKernels(), nullptr, Init, 0, 2, 0x03, 0, 0));
        ASSERT_EQ(0, w->BeginFrame(w.get(), pic.data(), 2880, 720, height));
        EXPECT_TRUE((uintptr_t)w->frameBuffer % 16 == 0 && w->frameBuffer - (uint8_t*)w->frameBufferBlock >= 384);
    }
    const struct {
        int kind, width, luma, chroma, rows;
    } kPlanes[] = {{0x14, 1280, 960, 480, 720}, {0x25, 1920, 1280, 640, 1080}, {0x24, 1920, 1440, 720, 1080}};
    for (const auto& p : kPlanes) {
        WriterPtr w(CreatePictureWriterWith(RowKernels(), nullptr, Init, 0, 2, p.kind, 0, 0));
        ASSERT_EQ(0, w->BeginFrame(w.get(), pic.data(), p.width * 4, p.width, 1080));
        EXPECT_EQ((std::vector<int>{w->codedLumaWidth, w->codedChromaWidth, w->frameRows, w->lumaStride >= p.luma,
                                    w->chromaStride >= p.chroma}),
                  (std::vector<int>{p.luma, p.chroma, p.rows, 1, 1}));
        EXPECT_TRUE(w->planeCr >= w->planeY + p.rows * w->lumaStride &&
                    w->planeCb >= w->planeCr + p.rows * w->chromaStride)
            << p.kind;
    }
}

}  // namespace
