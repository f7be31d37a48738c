// Whole-frame 4:1:1 conversion, high-definition planes and flush, and the
// arithmetic facts of the row kernels (chroma reconstruction, resamplers),
// at every instruction-set level the processor has.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "threads/cpu.h"
#include "writer/writer_ops.h"
#include "writer_probe.h"

using namespace hvdv;
using probe::FillMacroblock;
using probe::Picture;
using probe::Tag;
using probe::Val;
using probe::WriterPtr;

namespace {

std::vector<std::pair<const char*, DVWriterDsp>> DspLevels() {
    std::vector<std::pair<const char*, DVWriterDsp>> v;
    DVWriterDsp d;
    InitWriterDsp(&d, 0);
    v.push_back({"c", d});
    if (DetectCpuFeatures() & kCpuSSE2) {
        InitWriterDsp(&d, kCpuSSE2);
        v.push_back({"sse2", d});
    }
    return v;
}

// Runs the 4:4:4 chroma reconstruction over a row the way the 4:1:1 frame
// conversion does: groups of 8, sample 0 as its own left neighbour.  The row
// is padded with its last sample.  Returns pixels -1 .. 4n - 1 at index + 1.
std::vector<int> Row444(const DVWriterDsp& d, std::vector<uint8_t> s) {
    const size_t n = s.size();
    s.resize((n + 7) / 8 * 8 + 8, s.back());
    std::vector<uint8_t> out(4 * s.size() + 8, 0);
    uint8_t margin[8] = {0, 0, 0, 0, 0, 0, 0, s[0]};
    for (size_t g = 0; g + 8 < s.size(); g += 8)
        d.chroma411To444(&s[g], g ? &s[g - 8] : margin, &s[g + 8], &out[1 + 4 * g]);
    return std::vector<int>(out.begin(), out.begin() + 4 * n + 1);
}

std::vector<uint8_t> Row(std::initializer_list<int> head, int fill, int n) {
    std::vector<uint8_t> v(n, (uint8_t)fill);
    int i = 0;
    for (int h : head) v[i++] = (uint8_t)h;
    return v;
}

struct ChromaFact {
    const char* what;
    std::vector<uint8_t> row;
    int firstPixel;
    std::vector<int> pixels;
    int elsewhere;  // value of every other pixel in 0 .. 4n - 5, or -1
};

TEST(Chroma411, ReconstructionFacts) {
    std::vector<uint8_t> ramp(24);
    for (int i = 0; i < 24; i++) ramp[i] = (uint8_t)(100 + 4 * i);
    const ChromaFact kFacts[] = {
        {"constant", Row({}, 77, 24), -1, {77, 77, 77}, 77},
        {"constant 255", Row({}, 255, 24), -1, {255}, 255},
        {"ramp", ramp, 3, {104, 104, 105, 106, 108, 108, 109, 110}, -1},
        {"ramp left edge", ramp, -1, {101, 98, 102, 102}, -1},
        {"peak", Row({100, 100, 100, 200}, 100, 24), 7,
         {94, 73, 116, 150, 193, 253, 193, 150, 116, 73, 94}, 100},
        {"clamped peak", Row({0, 0, 0, 255}, 0, 24), 8, {0, 39, 127, 236, 255, 236, 127, 39, 0}, 0},
    };
    for (const auto& level : DspLevels()) {
        for (const ChromaFact& f : kFacts) {
            SCOPED_TRACE(std::string(level.first) + " " + f.what);
            const std::vector<int> px = Row444(level.second, f.row);
            const int last = 4 * (int)f.row.size() - 5;
            for (size_t i = 0; i < f.pixels.size(); i++)
                EXPECT_EQ(f.pixels[i], px[f.firstPixel + 1 + i]) << "pixel " << f.firstPixel + (int)i;
            if (f.elsewhere < 0) continue;
            for (int p = 0; p <= last; p++) {
                if (p >= f.firstPixel && p < f.firstPixel + (int)f.pixels.size()) continue;
                EXPECT_EQ(f.elsewhere, px[p + 1]) << "pixel " << p;
            }
        }
    }
}

// Between each pair of samples goes their rounded mean; the last one
// reaches into the following entry.
TEST(Chroma411, To422InsertsRoundedMeans) {
    struct {
        std::vector<uint8_t> cur;
        uint8_t next;
        std::vector<int> odd;  // out[1], out[3], ..., out[15]
    } const kCases[] = {
        {{10, 11, 11, 11, 11, 11, 11, 11}, 11, {11, 11, 11, 11, 11, 11, 11, 11}},
        {{0, 255, 0, 255, 0, 255, 0, 255}, 0, {128, 128, 128, 128, 128, 128, 128, 128}},
        {{9, 9, 9, 9, 9, 9, 9, 200}, 1, {9, 9, 9, 9, 9, 9, 105, 101}},
    };
    for (const auto& level : DspLevels())
        for (const auto& c : kCases) {
            uint8_t out[16];
            level.second.chroma411To422(c.cur.data(), &c.next, out);
            for (int i = 0; i < 8; i++) {
                EXPECT_EQ(c.cur[i], out[2 * i]) << level.first << " " << i;
                EXPECT_EQ(c.odd[i], out[2 * i + 1]) << level.first << " " << i;
            }
        }
}

// ---------------------------------------------------------------------------
// Resamplers.

// Every phase sums to 2048 (unity gain); the co-sited phase is symmetric
// and the others mirror each other.
TEST(Resample, TapTablesHaveUnityGainAndMirroredPhases) {
    auto c34 = [](int p, int t) { return t < -7 || t > 16 ? 0 : kTaps3To4[p][t + 7]; };
    auto c23 = [](int p, int t) { return t < -10 || t > 13 ? 0 : kTaps2To3[p][t + 10]; };
    for (int p = 0; p < 4; p++) {
        int sum34 = 0, sum23 = 0;
        for (int t = -12; t <= 16; t++) sum34 += c34(p, t), sum23 += c23(p % 3, t);
        EXPECT_EQ(2048, sum34) << "3:4 phase " << p;
        EXPECT_EQ(2048, sum23) << "2:3 phase " << p % 3;
    }
    for (int t = -12; t <= 14; t++) {
        EXPECT_EQ(c34(0, t), c34(0, -t)) << t;
        EXPECT_EQ(c34(2, t), c34(2, 3 - t)) << t;
        EXPECT_EQ(c34(1, t), c34(3, 3 - t)) << t;
        EXPECT_EQ(c23(0, t), c23(0, -t)) << t;
        EXPECT_EQ(c23(1, t), c23(2, 2 - t)) << t;
    }
    EXPECT_EQ(1870, c34(0, 0));
    EXPECT_EQ(1924, c23(0, 0));
}

struct Resampler {
    const char* name;
    int num, den;
    std::vector<int> lengths;
};
const Resampler kResamplers[] = {{"3:4", 4, 3, {960, 480, 240, 1440, 720, 360, 12}},
                                 {"2:3", 3, 2, {1280, 640, 320, 960, 480, 240, 8}}};

// A plane row with 16 margin bytes on both sides.
struct PlaneRow {
    std::vector<uint8_t> buf;
    explicit PlaneRow(int n) : buf(n + 32, 0x5A) {}
    uint8_t* data() { return buf.data() + 16; }
};

void RunResampler(const DVWriterDsp& d, const Resampler& r, PlaneRow& row, int n,
                  std::vector<uint8_t>& out) {
    out.assign(n / r.den * r.num, 0);
    (r.num == 4 ? d.resampleRow3To4 : d.resampleRow2To3)(row.data(), n, out.data());
}

TEST(Resample, ConstantRowsStayConstant) {
    for (const auto& level : DspLevels())
        for (const Resampler& r : kResamplers)
            for (int n : r.lengths)
                for (int v : {0, 128, 255}) {
                    PlaneRow row(n);
                    std::fill(row.data(), row.data() + n, (uint8_t)v);
                    std::vector<uint8_t> out;
                    RunResampler(level.second, r, row, n, out);
                    for (size_t i = 0; i < out.size(); i++)
                        ASSERT_EQ(v, out[i]) << level.first << " " << r.name << " n " << n << " i " << i;
                }
}

TEST(Resample, MarginsMirrorTheRowEnds) {
    std::mt19937 rng(7);
    for (const auto& level : DspLevels())
        for (const Resampler& r : kResamplers) {
            const int n = r.lengths[0];
            PlaneRow row(n);
            for (int i = 0; i < n; i++) row.data()[i] = (uint8_t)rng();
            std::vector<uint8_t> out;
            RunResampler(level.second, r, row, n, out);
            for (int i = 0; i < 16; i++) {
                EXPECT_EQ(row.data()[i], row.data()[-1 - i]) << level.first << " " << i;
                EXPECT_EQ(row.data()[n - 1 - i], row.data()[n + i]) << level.first << " " << i;
            }
        }
}

// A single bright sample: the co-sited output keeps 1870/2048 (3:4) or
// 1924/2048 (2:3) of it, the outputs a quarter (third) of a step away take
// the 705/2048 (893/2048) of their phase, and the negative lobes clamp to 0.
TEST(Resample, ImpulseResponse) {
    struct {
        const Resampler& r;
        int input, centre, neighbour;
    } const kCases[] = {
        {kResamplers[0], 3 * 40, (1870 * 255 + 1023) >> 11, (705 * 255 + 1023) >> 11},
        {kResamplers[1], 2 * 40, (1924 * 255 + 1023) >> 11, (893 * 255 + 1023) >> 11},
    };
    EXPECT_EQ(233, kCases[0].centre);
    for (const auto& level : DspLevels())
        for (const auto& c : kCases) {
            const int n = c.r.lengths[0];
            PlaneRow row(n);
            std::fill(row.data(), row.data() + n, 0);
            row.data()[c.input] = 255;
            std::vector<uint8_t> out;
            RunResampler(level.second, c.r, row, n, out);
            const int o = c.input / c.r.den * c.r.num;
            EXPECT_EQ(c.centre, out[o]) << level.first << c.r.name;
            EXPECT_EQ(c.neighbour, out[o - 1]) << level.first << c.r.name;
            EXPECT_EQ(c.neighbour, out[o + 1]) << level.first << c.r.name;
            EXPECT_EQ(0, *std::min_element(out.begin() + o - 12, out.begin() + o + 12));
            EXPECT_EQ(0, out[o + 40]);
        }
}

// ---------------------------------------------------------------------------
// Writers with work buffers.

// The 4:1:1 macroblock layout of a frame: 32 x 8 macroblocks and the 16 x 16
// right-edge column at x = 704.
void Put411Frame(DVPictureWriter* w, int rows) {
    DVMacroblock mb;
    for (int y = 0; y < rows; y += 8)
        for (int x = 0; x < 704; x += 32) {
            FillMacroblock(&mb, x, y, false);
            w->PutMacroblock(w, 0, x, y, &mb);
        }
    for (int y = 0; y < rows; y += 16) {
        FillMacroblock(&mb, 704, y, false);
        w->PutMacroblock(w, 1, 704, y, &mb);
    }
}

// Luma of frame pixel (px, fy) and the 180 real chroma samples of a row.
uint8_t Luma411(int px, int fy) {
    if (px < 704) return Val(px % 32 / 8, fy % 8, px % 8, Tag(px / 32 * 32, fy / 8 * 8));
    const int s = 2 * (fy % 16 / 8) + (px - 704) / 8;
    return Val(s, fy % 8, (px - 704) % 8, Tag(704, fy / 16 * 16));
}
uint8_t Chroma411(int slot, int q, int fy) {
    if (q < 176) return Val(slot, fy % 8, q % 8, Tag(q / 8 * 32, fy / 8 * 8));
    return Val(slot, fy % 8, 4 * (fy % 16 / 8) + q - 176, Tag(704, fy / 16 * 16));
}

struct Frame411Case {
    const char* name;
    DVKernelSetInit init;
    int kind, width, height, rowOffset, frameRows;
    bool up;
};

TEST(Writer411, EndFrameConvertsWholeRows) {
    const Frame411Case kCases[] = {
        {"4:4:4 720x480", probe::Init, 0x03, 720, 480, 0, 480, false},
        {"4:2:2 720x480", probe::Init422, 0x03, 720, 480, 0, 480, false},
        {"4:4:4 486 bottom-up", probe::Init, 0x03, 720, 486, 2, 480, true},
        {"4:2:2 625 576", probe::Init422, 0x02, 720, 576, 0, 576, false},
        {"4:4:4 narrow 700", probe::Init, 0x02, 700, 576, 0, 576, false},
        {"4:2:2 narrow 360", probe::Init422, 0x03, 360, 480, 0, 480, true},
        {"4:4:4 short 476", probe::Init, 0x03, 720, 476, 0, 472, false},
    };
    for (const auto& level : DspLevels()) {
        for (const Frame411Case& fc : kCases) {
            SCOPED_TRACE(std::string(level.first) + " " + fc.name);
            SetCpuMask(level.first == std::string("c") ? 0 : 0xFFFFFFFFu);
            WriterPtr w(CreatePictureWriterWith(fc.init, 0, 2, fc.kind, 0, 0));
            Picture got(fc.width, fc.height, fc.up), want(fc.width, fc.height, fc.up);
            ASSERT_EQ(0, w->BeginFrame(w.get(), got.Row(0), got.Pitch(), fc.width, fc.height));
            Put411Frame(w.get(), fc.frameRows);
            w->EndFrame(w.get());
            const bool full = fc.init == probe::Init;
            for (int fy = 0; fy < fc.frameRows; fy++) {
                const int pr = fc.rowOffset + fy;
                if (pr >= fc.height) break;
                // Expected chroma (Cb, Cr): the row's 180 samples, the last
                // repeated twice, through the reference reconstruction.
                uint8_t c[2][192] = {}, up[2][760] = {};
                for (int k = 0; k < 2; k++) {
                    for (int q = 0; q < 180; q++) c[k][q] = Chroma411(5 - k, q, fy);
                    c[k][180] = c[k][181] = c[k][179];
                    const uint8_t margin[8] = {0, 0, 0, 0, 0, 0, 0, c[k][0]};
                    for (int e = 0; e < 23; e++)
                        if (full)
                            Chroma411To444_c(c[k] + 8 * e, e ? c[k] + 8 * e - 8 : margin, c[k] + 8 * e + 8,
                                             up[k] + 8 + 32 * e);
                        else
                            Chroma411To422_c(c[k] + 8 * e, c[k] + 8 * e + 8, up[k] + 16 * e);
                }
                for (int px = 0; px < std::min(fc.width, 720); px++) {
                    const int ci = full ? 8 + px : px / 2;
                    probe::Put(want.Row(pr) + 4 * px, Luma411(px, fy), up[0][ci], up[1][ci]);
                }
            }
            EXPECT_EQ("", probe::FirstDifference(want, got));

            // The same frame converted in bands of rows on both kernel sets,
            // out of order, one band empty and one ragged.
            ASSERT_NE(nullptr, w->FlushRows);
            Picture banded(fc.width, fc.height, fc.up);
            ASSERT_EQ(0, w->BeginFrame(w.get(), banded.Row(0), banded.Pitch(), fc.width, fc.height));
            Put411Frame(w.get(), fc.frameRows);
            const int cut1 = fc.height / 3 + 1, cut2 = 2 * fc.height / 3 + 3;
            w->FlushRows(w.get(), 1, cut2, fc.height - cut2);
            w->FlushRows(w.get(), 0, cut1, 0);
            w->FlushRows(w.get(), 0, 0, cut1);
            w->FlushRows(w.get(), 1, cut1, cut2 - cut1);
            EXPECT_EQ("", probe::FirstDifference(want, banded)) << "banded";
        }
    }
    SetCpuMask(0xFFFFFFFFu);
}

// ---------------------------------------------------------------------------
// High definition through planes.

struct HDCase {
    const char* name;
    int kind, half, width, height;
    int num, den;  // 1, 1: copy
};

TEST(WriterHD, PlanesAndFlush) {
    const HDCase kCases[] = {
        {"720 to 1280", 0x14, 0, 1280, 720, 4, 3},
        {"720 to 1440", 0x15, 0, 1440, 720, 3, 2},
        {"720 half copy 480", 0x14, 0, 480, 360, 1, 1},
        {"720 half to 640", 0x14, 0, 640, 360, 4, 3},
        {"720 half to 720", 0x14, 1, 720, 360, 3, 2},
        {"1080/1280 to 1920", 0x25, 0, 1920, 1080, 3, 2},
        {"1080/1280 half copy 640", 0x25, 0, 640, 540, 1, 1},
        {"1080/1280 half to 960", 0x25, 0, 960, 540, 3, 2},
        {"1080/1440 to 1920", 0x24, 0, 1920, 1080, 4, 3},
        {"1080/1440 half copy 720", 0x24, 0, 720, 540, 1, 1},
        {"1080/1440 half to 960", 0x24, 0, 960, 540, 4, 3},
        {"720 to odd width 1000", 0x14, 0, 1000, 700, 4, 3},
        {"720 to wide 2000", 0x14, 0, 2000, 720, 4, 3},
        {"1080/1440 narrow 700, short", 0x24, 0, 700, 600, 4, 3},
        {"1080/1280 half copy, taller picture", 0x25, 1, 640, 560, 1, 1},
    };
    for (const HDCase& hc : kCases) {
        SCOPED_TRACE(hc.name);
        WriterPtr w(CreatePictureWriterWith(probe::Init, 0, 3, hc.kind, hc.half, 0));
        Picture got(hc.width, hc.height), all(hc.width, hc.height), want(hc.width, hc.height);
        ASSERT_EQ(0, w->BeginFrame(w.get(), got.Row(0), got.Pitch(), hc.width, hc.height));
        ASSERT_NE(nullptr, w->FlushRows);
        const bool half = w->halfSize != 0;
        const int codedW = w->codedLumaWidth, rows = w->frameRows;
        const int ls = w->lumaStride, cs = w->chromaStride;
        DVMacroblock mb;
        std::vector<std::pair<int, int>> pos;
        const int fullRows = rows == 1080 ? 1072 : rows;
        for (int y = 0; y < fullRows; y += 16)
            for (int x = 0; x < codedW; x += 16) pos.push_back({x, y});
        if (rows == 1080)
            for (int x = 0; x < codedW; x += 32) pos.push_back({x, 1072});
        for (auto [x, y] : pos) {
            FillMacroblock(&mb, x, y, half);
            w->PutMacroblock(w.get(), 0, x, y, &mb);
        }
        // Plane model: luma 16 x 16 (32 x 8 at y = 1072), chroma 8 x 16
        // (16 x 8), halved at half size.  Slots 0-3 luma, 4-5 Cr, 6-7 Cb.
        const int sh = half ? 1 : 0, bs = 8 >> sh;
        for (auto [x, y] : pos) {
            const bool bottom = y == 1072;
            for (int s = 0; s < 8; s++) {
                const int b = s < 4 ? s : s & 1;  // block within its plane
                const int bx = bottom ? b : s < 4 ? b & 1 : 0, by = bottom ? 0 : s < 4 ? b >> 1 : b;
                const uint8_t* plane = s < 4 ? w->planeY : s < 6 ? w->planeCr : w->planeCb;
                const int stride = s < 4 ? ls : cs, ox = (s < 4 ? x : x / 2) >> sh;
                for (int j = 0; j < bs; j++)
                    for (int c = 0; c < bs; c++)
                        ASSERT_EQ(Val(s, j, c, Tag(x, y)),
                                  plane[(size_t)((y >> sh) + bs * by + j) * stride + ox + bs * bx + c])
                            << "slot " << s << " of " << x << "," << y;
            }
        }
        // Expected picture from the reference resampler on copies of the planes.
        const int n = codedW >> sh, nc = w->codedChromaWidth >> sh, planeRows = rows >> sh;
        const int outLen = n / hc.den * hc.num;
        for (int row = 0; row < std::min(planeRows, hc.height); row++) {
            std::vector<uint8_t> o[3];  // Y, Cb, Cr
            const uint8_t* src[3] = {w->planeY + (size_t)row * ls, w->planeCb + (size_t)row * cs,
                                     w->planeCr + (size_t)row * cs};
            for (int k = 0; k < 3; k++) {
                const size_t len = k ? nc : n;
                PlaneRow in((int)len);
                std::copy(src[k], src[k] + len, in.data());
                o[k].assign(src[k], src[k] + len);
                if (hc.num == 1) continue;
                o[k].resize(k ? outLen / 2 : outLen);
                (hc.num == 4 ? ResampleRow3To4_c : ResampleRow2To3_c)(in.data(), len, o[k].data());
            }
            for (int px = 0; px < std::min(hc.width, (int)o[0].size()); px++)
                probe::Put(want.Row(row) + 4 * px, o[0][px], o[1][px / 2], o[2][px / 2]);
        }
        // Three bands (the middle one empty), then the same frame in one go.
        const int third = hc.height / 3;
        w->FlushRows(w.get(), 2, 2 * third, hc.height - 2 * third);
        w->FlushRows(w.get(), 1, third, 0);
        w->FlushRows(w.get(), 0, 0, third);
        w->FlushRows(w.get(), 1, third, third);
        EXPECT_EQ("", probe::FirstDifference(want, got)) << "banded";
        ASSERT_EQ(0, w->BeginFrame(w.get(), all.Row(0), all.Pitch(), hc.width, hc.height));
        for (auto [x, y] : pos) {
            FillMacroblock(&mb, x, y, half);
            w->PutMacroblock(w.get(), 1, x, y, &mb);
        }
        w->EndFrame(w.get());
        if (hc.height <= planeRows) {
            EXPECT_EQ("", probe::FirstDifference(want, all)) << "all at once";
        }
    }
}

}  // namespace
