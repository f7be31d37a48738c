// Picture writers driven with the probe kernel family: every decoded sample
// carries its slot, row and column (plus a per-macroblock tag), so the
// picture shows where each sample landed.  Expected pictures are built from
// the placement rules of each frame family, sample by sample.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "threads/cpu.h"
#include "writer/writer_ops.h"
#include "writer_probe.h"

using namespace hvdv;

namespace {

constexpr uint8_t kFill = 0x11;
constexpr int kGuardRows = 40;
constexpr int kGuardPixels = 8;

int Tag(int x, int y) { return (x / 16 * 7 + y / 8 * 13) & 255; }
uint8_t Val(int slot, int row, int col, int tag) {
    return (uint8_t)(slot * 64 + row * 8 + col + tag);
}

// Full size: 8 x 8 per slot.  Half size: 4 x 4 at bytes 8j .. 8j + 3, the
// other bytes poisoned so that a writer reading them shows up.
void FillMacroblock(DVMacroblock* mb, int x, int y, bool half) {
    const int tag = Tag(x, y);
    for (int s = 0; s < 8; s++)
        for (int j = 0; j < 8; j++)
            for (int c = 0; c < 8; c++)
                mb->slot[s][8 * j + c] = (half && (j >= 4 || c >= 4)) ? 0xCD : Val(s, j, c, tag);
}

// A caller's picture with guard rows above and below and guard pixels to
// the right of every row; bottom-up when pitch is negative.
struct Picture {
    int width, height, rowBytes;
    bool bottomUp;
    std::vector<uint8_t> buf;
    Picture(int w, int h, bool up = false)
        : width(w), height(h), rowBytes((w + kGuardPixels) * 4), bottomUp(up),
          buf((size_t)(h + 2 * kGuardRows) * rowBytes, kFill) {}
    uint8_t* Row(int r) {
        const int memRow = bottomUp ? height - 1 - r : r;
        return buf.data() + (size_t)(memRow + kGuardRows) * rowBytes;
    }
    uint8_t* Origin() { return Row(0); }
    int Pitch() const { return bottomUp ? -rowBytes : rowBytes; }
    uint8_t* Pixel(int px, int r) { return Row(r) + 4 * px; }
};

// The expected picture: pixels inside the picture only (the writers clip).
struct Expected {
    Picture pic;
    int rowOffset;
    Expected(int w, int h, bool up, int offset) : pic(w, h, up), rowOffset(offset) {}
    bool Visible(int px, int fy) const {
        const int r = rowOffset + fy;
        return px >= 0 && px < pic.width && r >= 0 && r < pic.height;
    }
    void Y(int px, int fy, uint8_t v) {
        if (!Visible(px, fy)) return;
        uint8_t* p = pic.Pixel(px, rowOffset + fy);
        p[0] = v;
        p[3] = probe::kMarker;
    }
    void C(int px, int fy, uint8_t cb, uint8_t cr) {
        if (!Visible(px, fy)) return;
        uint8_t* p = pic.Pixel(px, rowOffset + fy);
        p[1] = cb;
        p[2] = cr;
    }
};

void ExpectSamePicture(const Picture& want, const Picture& got, const std::string& what) {
    ASSERT_EQ(want.buf.size(), got.buf.size());
    for (size_t i = 0; i < want.buf.size(); i++) {
        if (want.buf[i] != got.buf[i]) {
            const long memRow = (long)(i / want.rowBytes) - kGuardRows;
            const long px = (long)(i % want.rowBytes) / 4;
            FAIL() << what << ": first difference at memory row " << memRow << " pixel " << px
                   << " byte " << i % 4 << ": want " << int(want.buf[i]) << " got "
                   << int(got.buf[i]);
        }
    }
}

struct WriterDeleter {
    void operator()(DVPictureWriter* w) const {
        if (w) {
            w->FreeFrameBuffer(w);
            w->Release(w);
        }
    }
};
using WriterPtr = std::unique_ptr<DVPictureWriter, WriterDeleter>;

WriterPtr MakeWriter(DVKernelSetInit init, int kind, int half, int wide, int threads = 2) {
    return WriterPtr(CreatePictureWriterWith(init, 0, threads, kind, half, wide));
}

// Macroblock origins (x, y) of a frame family, in full-frame coordinates.
enum Family { k420, k422, k411, kHD720, kHD1080 };
std::vector<std::pair<int, int>> Positions(Family f, int frameWidth, int frameRows) {
    std::vector<std::pair<int, int>> v;
    switch (f) {
        case k420:
        case kHD720:
            for (int y = 0; y < frameRows; y += 16)
                for (int x = 0; x < frameWidth; x += 16) v.push_back({x, y});
            break;
        case k422:
            for (int y = 0; y < frameRows; y += 8)
                for (int x = 0; x < frameWidth; x += 16) v.push_back({x, y});
            break;
        case k411:
            for (int y = 0; y < frameRows; y += 8)
                for (int x = 0; x < 704; x += 32) v.push_back({x, y});
            for (int y = 0; y < frameRows; y += 16) v.push_back({704, y});
            break;
        case kHD1080:
            for (int y = 0; y < 1072; y += 16)
                for (int x = 0; x < frameWidth; x += 16) v.push_back({x, y});
            for (int x = 0; x < frameWidth; x += 32) v.push_back({x, 1072});
            break;
    }
    return v;
}

// Where each sample of the macroblock at (x, y) must land in a directly
// written picture (frame rows counted from the writer's origin).
void ModelDirect(Family f, bool half, int x, int y, Expected& e) {
    const int t = Tag(x, y);
    if (!half) {
        switch (f) {
            case k420:
                for (int s = 0; s < 4; s++)
                    for (int j = 0; j < 8; j++)
                        for (int c = 0; c < 8; c++)
                            e.Y(x + 8 * (s & 1) + c, y + 8 * (s >> 1) + j, Val(s, j, c, t));
                // Chroma row k belongs to one field: luma rows 4(k/2) + k%2 and 2 below.
                for (int k = 0; k < 8; k++)
                    for (int c = 0; c < 16; c++)
                        for (int d = 0; d < 4; d += 2)
                            e.C(x + c, y + 4 * (k / 2) + k % 2 + d, Val(5, k, c / 2, t),
                                Val(4, k, c / 2, t));
                return;
            case k422:
                for (int r = 0; r < 8; r++)
                    for (int c = 0; c < 16; c++) {
                        e.Y(x + c, y + r, Val(c < 8 ? 0 : 2, r, c % 8, t));
                        e.C(x + c, y + r, Val(5, r, c / 2, t), Val(4, r, c / 2, t));
                    }
                return;
            case kHD720:
            case kHD1080: {
                const bool bottom = f == kHD1080 && y == 1072;
                for (int s = 0; s < 4; s++)
                    for (int j = 0; j < 8; j++)
                        for (int c = 0; c < 8; c++) {
                            const int px = bottom ? x + 8 * s + c : x + 8 * (s & 1) + c;
                            const int fy = bottom ? y + j : y + 8 * (s >> 1) + j;
                            e.Y(px, fy, Val(s, j, c, t));
                        }
                for (int h = 0; h < 2; h++)
                    for (int j = 0; j < 8; j++)
                        for (int c = 0; c < 16; c++) {
                            const int px = bottom ? x + 16 * h + c : x + c;
                            const int fy = bottom ? y + j : y + 8 * h + j;
                            e.C(px, fy, Val(6 + h, j, c / 2, t), Val(4 + h, j, c / 2, t));
                        }
                return;
            }
            default: return;
        }
    }
    const int hx = x / 2, hy = y / 2;
    switch (f) {
        case k420:
            for (int s = 0; s < 4; s++)
                for (int j = 0; j < 4; j++)
                    for (int c = 0; c < 4; c++)
                        e.Y(hx + 4 * (s & 1) + c, hy + 4 * (s >> 1) + j, Val(s, j, c, t));
            // Half-size chroma row k serves output rows 2k and 2k + 1.
            for (int k = 0; k < 4; k++)
                for (int c = 0; c < 8; c++)
                    for (int d = 0; d < 2; d++)
                        e.C(hx + c, hy + 2 * k + d, Val(5, k, c / 2, t), Val(4, k, c / 2, t));
            return;
        case k422:
            for (int j = 0; j < 4; j++)
                for (int c = 0; c < 8; c++) {
                    e.Y(hx + c, hy + j, Val(c < 4 ? 0 : 2, j, c % 4, t));
                    e.C(hx + c, hy + j, Val(5, j, c / 2, t), Val(4, j, c / 2, t));
                }
            return;
        case k411:
            if (x < 704) {
                for (int j = 0; j < 4; j++)
                    for (int c = 0; c < 16; c++) {
                        e.Y(hx + c, hy + j, Val(c / 4, j, c % 4, t));
                        e.C(hx + c, hy + j, Val(5, j, c / 4, t), Val(4, j, c / 4, t));
                    }
            } else {
                // Right edge, 8 x 8: upper slots and chroma columns 0-1 in
                // rows 0-3, lower slots and columns 2-3 in rows 4-7.
                for (int s = 0; s < 4; s++)
                    for (int j = 0; j < 4; j++)
                        for (int c = 0; c < 4; c++)
                            e.Y(hx + 4 * (s & 1) + c, hy + 4 * (s >> 1) + j, Val(s, j, c, t));
                for (int j = 0; j < 4; j++)
                    for (int i = 0; i < 4; i++)
                        for (int c = 0; c < 4; c++)
                            e.C(hx + 4 * (i & 1) + c, hy + j + 4 * (i >> 1), Val(5, j, i, t),
                                Val(4, j, i, t));
            }
            return;
        default: return;
    }
}

struct DirectCase {
    const char* name;
    Family family;
    int kind, half, wide, width, height;
    bool bottomUp;
    int frameWidth, frameRows, rowOffset;
};

const DirectCase kDirectCases[] = {
    {"420 full", k420, 0x00, 0, 0, 720, 576, false, 720, 576, 0},
    {"420 full bottom-up", k420, 0x00, 0, 0, 720, 576, true, 720, 576, 0},
    {"420 full narrow 700", k420, 0x00, 0, 0, 700, 576, false, 720, 576, 0},
    {"420 full short 570", k420, 0x00, 0, 0, 720, 570, false, 720, 576, 0},
    {"420 half", k420, 0x00, 1, 0, 360, 288, false, 720, 576, 0},
    {"420 half wide at 288", k420, 0x00, 1, 1, 360, 288, false, 720, 576, 36},
    {"420 half narrow 350", k420, 0x00, 1, 0, 350, 288, true, 720, 576, 0},
    {"422 full", k422, 0x04, 0, 0, 720, 576, false, 720, 576, 0},
    {"422 full 486", k422, 0x05, 0, 0, 720, 486, false, 720, 480, 2},
    {"422 half", k422, 0x05, 1, 0, 360, 240, false, 720, 480, 0},
    {"411 half", k411, 0x03, 1, 0, 360, 240, false, 720, 480, 0},
    {"411 half wide at 240", k411, 0x03, 1, 1, 360, 240, true, 720, 480, 15},
    {"411 half wide at 288", k411, 0x03, 1, 1, 360, 288, false, 720, 480, 39},
    {"411 half at 288", k411, 0x03, 1, 0, 360, 288, false, 720, 480, 24},
    {"411 half 625 wide at 288", k411, 0x02, 1, 1, 360, 288, false, 720, 576, 36},
    {"411 half narrow 356", k411, 0x02, 1, 0, 356, 288, false, 720, 576, 0},
    {"720-line native", kHD720, 0x14, 0, 0, 960, 720, false, 960, 720, 0},
    {"1080-line native 1280", kHD1080, 0x25, 0, 0, 1280, 1080, false, 1280, 1080, 0},
    {"1080-line native 1440", kHD1080, 0x24, 0, 0, 1440, 1080, true, 1440, 1080, 0},
    {"1080-line native 1440 short 1076", kHD1080, 0x24, 0, 0, 1440, 1076, false, 1440, 1080, 0},
};

TEST(WriterPlacement, DirectWritersPlaceEverySample) {
    for (const DirectCase& dc : kDirectCases) {
        SCOPED_TRACE(dc.name);
        WriterPtr w = MakeWriter(probe::Init, dc.kind, dc.half, dc.wide);
        ASSERT_TRUE(w);
        Picture got(dc.width, dc.height, dc.bottomUp);
        Expected want(dc.width, dc.height, dc.bottomUp, dc.rowOffset);
        ASSERT_EQ(0, w->BeginFrame(w.get(), got.Origin(), got.Pitch(), dc.width, dc.height));
        ASSERT_EQ(nullptr, w->FlushRows);
        ASSERT_EQ(EndFrameNone, w->EndFrame);
        DVMacroblock mb;
        int n = 0;
        for (auto [x, y] : Positions(dc.family, dc.frameWidth, dc.frameRows)) {
            FillMacroblock(&mb, x, y, dc.half != 0);
            w->PutMacroblock(w.get(), n++ % 2, x, y, &mb);
            ModelDirect(dc.family, dc.half != 0, x, y, want);
        }
        w->EndFrame(w.get());
        ExpectSamePicture(want.pic, got, dc.name);
    }
}

// One 4:2:0 macroblock whose chroma rows all differ: each chroma row is
// repeated on two lines of one field.
TEST(WriterPlacement, Put420ChromaRowsFollowTheFields) {
    WriterPtr w = MakeWriter(probe::Init, 0x00, 0, 0, 1);
    Picture got(720, 576);
    ASSERT_EQ(0, w->BeginFrame(w.get(), got.Origin(), got.Pitch(), 720, 576));
    DVMacroblock mb;
    FillMacroblock(&mb, 32, 48, false);
    w->PutMacroblock(w.get(), 0, 32, 48, &mb);
    const struct { int row, chromaRow; } kRows[] = {{0, 0},  {2, 0},  {1, 1},  {3, 1},
                                                    {12, 6}, {14, 6}, {13, 7}, {15, 7}};
    for (auto r : kRows)
        EXPECT_EQ(Val(5, r.chromaRow, 0, Tag(32, 48)), got.Pixel(32, 48 + r.row)[1]) << r.row;
}

// ---------------------------------------------------------------------------
// Operation choice.

struct OpCase {
    int kind, half, width, height;
    DVKernelSetInit init;
    decltype(DVPictureWriter::BeginFrame) begin;
    decltype(DVPictureWriter::PutMacroblock) put;
    decltype(DVPictureWriter::EndFrame) end;
    decltype(DVPictureWriter::FlushRows) flush;
    int halfAfter;
    bool buffer;
};

const OpCase kOpCases[] = {
    {0x00, 0, 720, 576, probe::Init, BeginFrameCommon, Put420, EndFrameNone, nullptr, 0, false},
    {0x00, 1, 360, 288, probe::Init, BeginFrameCommon, Put420Half, EndFrameNone, nullptr, 1, false},
    {0x04, 0, 720, 480, probe::Init, BeginFrameCommon, Put422, EndFrameNone, nullptr, 0, false},
    {0x05, 1, 360, 240, probe::Init, BeginFrameCommon, Put422Half, EndFrameNone, nullptr, 1, false},
    {0x03, 0, 720, 480, probe::Init, BeginFrame411, Put411, EndFrame411To444, nullptr, 0, true},
    {0x03, 0, 720, 480, probe::Init422, BeginFrame411, Put411, EndFrame411To422, nullptr, 0, true},
    {0x02, 0, 720, 576, probe::Init, BeginFrame411, Put411, EndFrame411To444, nullptr, 0, true},
    {0x01, 0, 720, 576, probe::Init422, BeginFrame411, Put411, EndFrame411To422, nullptr, 0, true},
    {0x03, 1, 360, 240, probe::Init, BeginFrameCommon, Put411Half, EndFrameNone, nullptr, 1, false},
    {0x14, 0, 960, 720, probe::Init, BeginFrame720, PutHD720Native, EndFrameNone, nullptr, 0, false},
    {0x15, 0, 1280, 720, probe::Init, BeginFrame720, PutHD720, EndFrameFlushAll, FlushRowsScale3To4, 0, true},
    {0x14, 0, 1440, 720, probe::Init, BeginFrame720, PutHD720, EndFrameFlushAll, FlushRowsScale2To3, 0, true},
    {0x14, 0, 480, 360, probe::Init, BeginFrame720, PutHD720Half, EndFrameFlushAll, FlushRowsCopy, 1, true},
    {0x14, 0, 640, 360, probe::Init, BeginFrame720, PutHD720Half, EndFrameFlushAll, FlushRowsScale3To4, 1, true},
    {0x14, 1, 720, 360, probe::Init, BeginFrame720, PutHD720Half, EndFrameFlushAll, FlushRowsScale2To3, 1, true},
    {0x25, 0, 1280, 1080, probe::Init, BeginFrame1080x60, PutHD1080Native, EndFrameNone, nullptr, 0, false},
    {0x25, 0, 1920, 1080, probe::Init, BeginFrame1080x60, PutHD1080x60, EndFrameFlushAll, FlushRowsScale2To3, 0, true},
    {0x25, 0, 640, 540, probe::Init, BeginFrame1080x60, PutHD1080x60Half, EndFrameFlushAll, FlushRowsCopy, 1, true},
    {0x25, 0, 960, 540, probe::Init, BeginFrame1080x60, PutHD1080x60Half, EndFrameFlushAll, FlushRowsScale2To3, 1, true},
    {0x24, 1, 1440, 1080, probe::Init, BeginFrame1080x50, PutHD1080Native, EndFrameNone, nullptr, 1, false},
    {0x24, 0, 1920, 1080, probe::Init, BeginFrame1080x50, PutHD1080x50, EndFrameFlushAll, FlushRowsScale3To4, 0, true},
    {0x24, 0, 720, 540, probe::Init, BeginFrame1080x50, PutHD1080x50Half, EndFrameFlushAll, FlushRowsCopy, 1, true},
    {0x24, 0, 960, 540, probe::Init, BeginFrame1080x50, PutHD1080x50Half, EndFrameFlushAll, FlushRowsScale3To4, 1, true},
};

TEST(WriterCreation, OperationsFollowFrameKindSizeAndWidth) {
    std::vector<uint8_t> pic(64);
    for (const OpCase& oc : kOpCases) {
        SCOPED_TRACE(::testing::Message() << "kind " << oc.kind << " half " << oc.half
                                          << " width " << oc.width);
        WriterPtr w = MakeWriter(oc.init, oc.kind, oc.half, 0, 3);
        ASSERT_TRUE(w);
        EXPECT_EQ(oc.begin, w->BeginFrame);
        EXPECT_EQ(3, w->threadCount);
        EXPECT_EQ(4, w->bytesPerPixel);
        EXPECT_EQ(oc.kind, w->frameKind);
        ASSERT_EQ(0, w->BeginFrame(w.get(), pic.data(), oc.width * 4, oc.width, oc.height));
        EXPECT_EQ(oc.put, w->PutMacroblock);
        EXPECT_EQ(oc.end, w->EndFrame);
        EXPECT_EQ(oc.flush, w->FlushRows);
        EXPECT_EQ(oc.halfAfter, w->halfSize);
        EXPECT_EQ(oc.buffer, w->frameBuffer != nullptr);
        EXPECT_EQ(oc.buffer, w->frameBufferBlock != nullptr);
        EXPECT_EQ(8 * oc.width * 4 - 16 * 4, w->bottomRowStep);
        // Every kernel set is 16-byte aligned, distinct and initialised.
        for (int t = 0; t < 3; t++) {
            EXPECT_EQ(0u, (uintptr_t)w->kernelSets[t] % 16);
            EXPECT_EQ(4, w->kernelSets[t]->bytesPerPixel);
            if (t) {
                EXPECT_NE(w->kernelSets[t - 1], w->kernelSets[t]);
            }
        }
        EXPECT_EQ(0, w->FreeFrameBuffer(w.get()));
        EXPECT_EQ(nullptr, w->frameBufferBlock);
    }
}

TEST(WriterCreation, RejectsBadThreadCounts) {
    EXPECT_EQ(nullptr, CreatePictureWriterWith(probe::Init, 0, 0, 0x00, 0, 0));
    EXPECT_EQ(nullptr, CreatePictureWriterWith(probe::Init, 0, 17, 0x00, 0, 0));
    WriterPtr w(CreatePictureWriterWith(probe::Init, 0, 16, 0x00, 0, 0));
    EXPECT_TRUE(w);
}

struct OffsetCase {
    int kind, wide, height, rows;
};
const OffsetCase kOffsetCases[] = {
    {0x03, 0, 486, 2}, {0x03, 1, 486, 2}, {0x03, 0, 480, 0}, {0x03, 0, 288, 24},
    {0x03, 1, 288, 39}, {0x00, 0, 288, 0}, {0x00, 1, 288, 36}, {0x02, 1, 288, 36},
    {0x03, 0, 240, 0},  {0x03, 1, 240, 15}, {0x00, 1, 240, 15}, {0x00, 1, 576, 0},
};

TEST(WriterCreation, RowOffsetsPlaceTheCodedFrame) {
    std::vector<uint8_t> pic(720 * 4 * 500);
    for (const OffsetCase& oc : kOffsetCases) {
        for (int sign : {1, -1}) {
            SCOPED_TRACE(::testing::Message() << "kind " << oc.kind << " wide " << oc.wide
                                              << " height " << oc.height << " pitch sign " << sign);
            WriterPtr w = MakeWriter(probe::Init, oc.kind, 1, oc.wide);
            const int pitch = sign * 2880;
            uint8_t* row0 = sign > 0 ? pic.data() : pic.data() + (oc.height - 1) * 2880;
            ASSERT_EQ(0, w->BeginFrame(w.get(), row0, pitch, 360, oc.height));
            EXPECT_EQ(oc.rows * pitch, w->origin - row0);
            EXPECT_EQ(row0, w->picture);
        }
    }
}

// The 4:1:1 frame buffer: one entry of margin in front of row 0 and at least
// 512 bytes behind the last of height / 8 macroblock rows; the HD planes lie
// one after the other, each row with 64 spare bytes.
TEST(WriterCreation, WorkBufferLayout) {
    std::vector<uint8_t> pic(64);
    for (int height : {480, 486, 576}) {
        WriterPtr w = MakeWriter(probe::Init, 0x03, 0, 0);
        ASSERT_EQ(0, w->BeginFrame(w.get(), pic.data(), 2880, 720, height));
        const uintptr_t block = (uintptr_t)w->frameBufferBlock;
        const uintptr_t fb = (uintptr_t)w->frameBuffer;
        EXPECT_EQ(0u, fb % 16);
        EXPECT_GE(fb - block, 384u);
        EXPECT_LT(fb - block, 400u);
    }
    struct {
        int kind, width, luma, chroma, rows, ls, cs;
    } const kPlanes[] = {{0x14, 1280, 960, 480, 720, 1024, 544},
                         {0x25, 1920, 1280, 640, 1080, 1344, 704},
                         {0x24, 1920, 1440, 720, 1080, 1504, 784},
                         {0x24, 1440, 1440, 720, 1080, 1504, 784}};
    for (const auto& p : kPlanes) {
        SCOPED_TRACE(p.kind);
        WriterPtr w = MakeWriter(probe::Init, p.kind, 0, 0);
        ASSERT_EQ(0, w->BeginFrame(w.get(), pic.data(), p.width * 4, p.width, 1080));
        EXPECT_EQ(p.luma, w->codedLumaWidth);
        EXPECT_EQ(p.chroma, w->codedChromaWidth);
        EXPECT_EQ(p.rows, w->frameRows);
        EXPECT_EQ(p.ls, w->lumaStride);
        EXPECT_EQ(p.cs, w->chromaStride);
        if (!w->frameBuffer) continue;  // direct at the coded width
        EXPECT_EQ(0u, (uintptr_t)w->frameBuffer % 16);
        EXPECT_LT((uintptr_t)w->frameBuffer - (uintptr_t)w->frameBufferBlock, 16u);
        EXPECT_EQ(w->frameBuffer + 32, w->planeY);
        EXPECT_EQ(w->planeY + p.rows * p.ls, w->planeCr);
        EXPECT_EQ(w->planeCr + p.rows * p.cs, w->planeCb);
    }
}

}  // namespace
