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
using probe::Picture;
using probe::Tag;
using probe::Val;
using probe::WriterPtr;

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
        if (uint8_t* p = At(px, fy)) p[0] = v, p[3] = probe::kMarker;
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
    if (f == k411)
        for (int y = 0; y < frameRows; y += 16) v.push_back({704, y});
    if (f == kHD1080)
        for (int x = 0; x < frameWidth; x += 32) v.push_back({x, 1072});
    return v;
}

// Where each sample of the macroblock at (x, y) must land in a directly
// written picture (frame rows counted from the writer's origin).
void ModelFull(Family f, int x, int y, Expected& e) {
    const int t = Tag(x, y);
    if (f == k422) {
        for (int r = 0; r < 8; r++)
            for (int c = 0; c < 16; c++) {
                e.Y(x + c, y + r, Val(c < 8 ? 0 : 2, r, c % 8, t));
                e.C(x + c, y + r, Val(5, r, c / 2, t), Val(4, r, c / 2, t));
            }
        return;
    }
    // 4:2:0 and high definition: four 8 x 8 luma blocks in a square, or in a
    // row for the 32 x 8 macroblocks at the foot of a 1080-line frame.
    const bool bottom = f == kHD1080 && y == 1072;
    for (int s = 0; s < 4; s++)
        for (int j = 0; j < 8; j++)
            for (int c = 0; c < 8; c++)
                e.Y(bottom ? x + 8 * s + c : x + 8 * (s & 1) + c, bottom ? y + j : y + 8 * (s >> 1) + j,
                    Val(s, j, c, t));
    if (f == k420) {
        // Chroma row k belongs to one field: luma rows 4(k/2) + k%2 and 2 below.
        for (int k = 0; k < 8; k++)
            for (int c = 0; c < 16; c++)
                for (int d = 0; d < 4; d += 2)
                    e.C(x + c, y + 4 * (k / 2) + k % 2 + d, Val(5, k, c / 2, t), Val(4, k, c / 2, t));
        return;
    }
    for (int h = 0; h < 2; h++)
        for (int j = 0; j < 8; j++)
            for (int c = 0; c < 16; c++)
                e.C(bottom ? x + 16 * h + c : x + c, bottom ? y + j : y + 8 * h + j, Val(6 + h, j, c / 2, t),
                    Val(4 + h, j, c / 2, t));
}

void ModelHalf(Family f, int x, int y, Expected& e) {
    const int t = Tag(x, y), hx = x / 2, hy = y / 2;
    if (f == k420 || (f == k411 && x == 704))
        for (int s = 0; s < 4; s++)
            for (int j = 0; j < 4; j++)
                for (int c = 0; c < 4; c++) e.Y(hx + 4 * (s & 1) + c, hy + 4 * (s >> 1) + j, Val(s, j, c, t));
    if (f == k420) {
        // Half-size chroma row k serves output rows 2k and 2k + 1.
        for (int k = 0; k < 4; k++)
            for (int c = 0; c < 8; c++)
                for (int d = 0; d < 2; d++) e.C(hx + c, hy + 2 * k + d, Val(5, k, c / 2, t), Val(4, k, c / 2, t));
    } else if (f == k411 && x == 704) {
        // Right edge, 8 x 8: chroma columns 0-1 in rows 0-3, 2-3 in rows 4-7.
        for (int j = 0; j < 4; j++)
            for (int i = 0; i < 4; i++)
                for (int c = 0; c < 4; c++)
                    e.C(hx + 4 * (i & 1) + c, hy + j + 4 * (i >> 1), Val(5, j, i, t), Val(4, j, i, t));
    } else {
        const int w = f == k411 ? 16 : 8, per = w / 4;  // pixels per luma block and per chroma sample
        for (int j = 0; j < 4; j++)
            for (int c = 0; c < w; c++) {
                e.Y(hx + c, hy + j, Val(f == k411 ? c / 4 : c < 4 ? 0 : 2, j, c % 4, t));
                e.C(hx + c, hy + j, Val(5, j, c / per, t), Val(4, j, c / per, t));
            }
    }
}

TEST(WriterPlacement, DirectWritersPlaceEverySample) {
    const struct {
        const char* name;
        Family family;
        int kind, half, wide, width, height;
        bool bottomUp;
        int frameWidth, frameRows, rowOffset;
    } kCases[] = {
        {"420 full", k420, 0x00, 0, 0, 720, 576, false, 720, 576, 0},
        {"420 full bottom-up", k420, 0x00, 0, 0, 720, 576, true, 720, 576, 0},
        {"420 full narrow 700, short 570", k420, 0x00, 0, 0, 700, 570, false, 720, 576, 0},
        {"420 half", k420, 0x00, 1, 0, 360, 288, false, 720, 576, 0},
        {"420 half wide at 288", k420, 0x00, 1, 1, 360, 288, false, 720, 576, 36},
        {"420 half narrow 350", k420, 0x00, 1, 0, 350, 288, true, 720, 576, 0},
        {"422 full", k422, 0x04, 0, 0, 720, 576, false, 720, 576, 0},
        {"422 full 486", k422, 0x05, 0, 0, 720, 486, false, 720, 480, 2},
        {"422 half", k422, 0x05, 1, 0, 360, 240, false, 720, 480, 0},
        {"411 half", k411, 0x03, 1, 0, 360, 240, false, 720, 480, 0},
        {"411 half wide at 240", k411, 0x03, 1, 1, 360, 240, true, 720, 480, 15},
        {"411 half wide at 288", k411, 0x03, 1, 1, 360, 288, false, 720, 480, 39},
        {"411 half narrow 356", k411, 0x02, 1, 0, 356, 288, false, 720, 576, 0},
        {"720-line native", kHD720, 0x14, 0, 0, 960, 720, false, 960, 720, 0},
        {"1080-line native 1280", kHD1080, 0x25, 0, 0, 1280, 1080, false, 1280, 1080, 0},
        {"1080-line native 1440 bottom-up", kHD1080, 0x24, 0, 0, 1440, 1080, true, 1440, 1080, 0},
        {"1080-line native 1440 short 1076", kHD1080, 0x24, 0, 0, 1440, 1076, false, 1440, 1080, 0},
    };
    for (const auto& dc : kCases) {
        SCOPED_TRACE(dc.name);
        WriterPtr w(CreatePictureWriterWith(probe::Init, 0, 2, dc.kind, dc.half, dc.wide));
        ASSERT_TRUE(w);
        Picture got(dc.width, dc.height, dc.bottomUp);
        Expected want{Picture(dc.width, dc.height, dc.bottomUp), dc.rowOffset};
        ASSERT_EQ(0, w->BeginFrame(w.get(), got.Row(0), got.Pitch(), dc.width, dc.height));
        ASSERT_EQ(nullptr, w->FlushRows) << "written directly, without a work buffer";
        DVMacroblock mb;
        int n = 0;
        for (auto [x, y] : Positions(dc.family, dc.frameWidth, dc.frameRows)) {
            probe::FillMacroblock(&mb, x, y, dc.half != 0);
            w->PutMacroblock(w.get(), n++ % 2, x, y, &mb);
            (dc.half ? ModelHalf : ModelFull)(dc.family, x, y, want);
        }
        w->EndFrame(w.get());
        EXPECT_EQ("", probe::FirstDifference(want.pic, got));
    }
}

TEST(WriterCreation, ThreadCountsAndKernelSets) {
    EXPECT_EQ(nullptr, CreatePictureWriterWith(probe::Init, 0, 0, 0x00, 0, 0));
    EXPECT_EQ(nullptr, CreatePictureWriterWith(probe::Init, 0, 17, 0x00, 0, 0));
    WriterPtr w(CreatePictureWriterWith(probe::Init, 0, 16, 0x00, 0, 0));
    ASSERT_TRUE(w);
    // One initialised kernel set per thread, aligned for the vector kernels.
    for (int t = 0; t < 16; t++) {
        EXPECT_EQ(0u, (uintptr_t)w->kernelSets[t] % 16);
        EXPECT_EQ(4, w->kernelSets[t]->bytesPerPixel);
        if (t) {
            EXPECT_NE(w->kernelSets[t - 1], w->kernelSets[t]);
        }
    }
}

// Where the coded frame starts in the picture, in rows: 486-line pictures
// show a 480-line frame 2 rows down; smaller pictures centre it, and
// half-size wide-screen pictures move it further down.
TEST(WriterCreation, RowOffsetsPlaceTheCodedFrame) {
    const struct {
        int kind, wide, height, rows;
    } kCases[] = {
        {0x03, 0, 486, 2},  {0x03, 1, 486, 2},  {0x03, 0, 480, 0}, {0x03, 0, 288, 24},
        {0x03, 1, 288, 39}, {0x00, 0, 288, 0},  {0x00, 1, 288, 36}, {0x02, 1, 288, 36},
        {0x03, 0, 240, 0},  {0x03, 1, 240, 15}, {0x00, 1, 240, 15}, {0x00, 1, 576, 0},
    };
    std::vector<uint8_t> pic(720 * 4 * 500);
    for (const auto& oc : kCases)
        for (int sign : {1, -1}) {
            SCOPED_TRACE(::testing::Message() << "kind " << oc.kind << " wide " << oc.wide << " height "
                                              << oc.height << " pitch sign " << sign);
            WriterPtr w(CreatePictureWriterWith(probe::Init, 0, 2, oc.kind, 1, oc.wide));
            uint8_t* row0 = sign > 0 ? pic.data() : pic.data() + (oc.height - 1) * 2880;
            ASSERT_EQ(0, w->BeginFrame(w.get(), row0, sign * 2880, 360, oc.height));
            EXPECT_EQ(oc.rows * sign * 2880, w->origin - row0);
        }
}

// The 4:1:1 frame buffer keeps one 384-byte entry of margin in front of row
// 0 (the chroma filter reads left of the first entry); the high-definition
// planes have their coded sizes and do not overlap.
TEST(WriterCreation, WorkBufferLayout) {
    std::vector<uint8_t> pic(64);
    for (int height : {480, 486, 576}) {
        WriterPtr w(CreatePictureWriterWith(probe::Init, 0, 2, 0x03, 0, 0));
        ASSERT_EQ(0, w->BeginFrame(w.get(), pic.data(), 2880, 720, height));
        EXPECT_EQ(0u, (uintptr_t)w->frameBuffer % 16);
        EXPECT_GE(w->frameBuffer - (uint8_t*)w->frameBufferBlock, 384);
    }
    const struct {
        int kind, width, luma, chroma, rows;
    } kPlanes[] = {{0x14, 1280, 960, 480, 720}, {0x25, 1920, 1280, 640, 1080}, {0x24, 1920, 1440, 720, 1080}};
    for (const auto& p : kPlanes) {
        SCOPED_TRACE(p.kind);
        WriterPtr w(CreatePictureWriterWith(probe::Init, 0, 2, p.kind, 0, 0));
        ASSERT_EQ(0, w->BeginFrame(w.get(), pic.data(), p.width * 4, p.width, 1080));
        EXPECT_EQ(p.luma, w->codedLumaWidth);
        EXPECT_EQ(p.chroma, w->codedChromaWidth);
        EXPECT_EQ(p.rows, w->frameRows);
        EXPECT_GE(w->lumaStride, p.luma);
        EXPECT_GE(w->chromaStride, p.chroma);
        EXPECT_GE(w->planeCr, w->planeY + p.rows * w->lumaStride);
        EXPECT_GE(w->planeCb, w->planeCr + p.rows * w->chromaStride);
    }
}

}  // namespace
