// Whole-frame 4:1:1 conversion, high-definition planes and flush, and the
// arithmetic facts of the row kernels (chroma reconstruction, resamplers),
// at every instruction-set level the processor has.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "threads/cpu.h"
#include "writer/writer_ops.h"
#include "writer_probe.h"

using namespace hvdv;
using namespace probe;
using V = std::vector<int>;

namespace {

std::vector<std::pair<std::string, DVWriterDsp>> DspLevels() {
    std::vector<std::pair<std::string, DVWriterDsp>> v(1 + !!(DetectCpuFeatures() & kCpuSSE2));
    for (size_t i = 0; i < v.size(); i++) v[i].first = i ? "sse2" : "c", InitWriterDsp(&v[i].second, i ? kCpuSSE2 : 0u);
    return v;
}

// Runs the 4:4:4 (full) or 4:2:2 chroma reconstruction over a row the way
// the 4:1:1 frame conversion does: groups of 8, sample 0 as its own left
// neighbour, the row padded with its last sample.  Returns pixels -1 ..
// 4n - 1 (2n - 1) at index + 1.
V RowUp(const DVWriterDsp& d, std::vector<uint8_t> s, bool full = true) {
    const size_t n = s.size(), k = full ? 4 : 2;
    s.resize((n + 7) / 8 * 8 + 8, s.back());
    std::vector<uint8_t> out(4 * s.size() + 8, 0);
    uint8_t margin[8] = {0, 0, 0, 0, 0, 0, 0, s[0]};
    for (size_t g = 0; g + 8 < s.size(); g += 8)
        full ? d.chroma411To444(&s[g], g ? &s[g - 8] : margin, &s[g + 8], &out[1 + 4 * g])
             : d.chroma411To422(&s[g], &s[g + 8], &out[1 + 2 * g]);
    return V(out.begin(), out.begin() + k * n + 1);
}

// 4:2:2 puts the rounded mean between each pair of samples, the last one
// reaching into the following entry.
TEST(Chroma411, ReconstructionFacts) {
    std::vector<uint8_t> ramp(24), peak(24, 0), alt(24, 0), step(24, 9);
    for (int i = 0; i < 24; i++) ramp[i] = (uint8_t)(100 + 4 * i), alt[i] = i % 2 ? 255 : 0;
    peak[3] = 255;
    step[7] = 200;
    step[8] = 1;
    // elsewhere: the value of every other pixel in 0 .. 4n - 5, or -1
    const struct {
        const char* what;
        std::vector<uint8_t> row;
        bool full;
        int firstPixel;
        V pixels;
        int elsewhere;
    } kFacts[] = {
        {"constant", std::vector<uint8_t>(24, 77), true, -1, {77}, 77},
        {"ramp", ramp, true, 3, {104, 104, 105, 106, 108, 108, 109, 110}, -1},
        {"ramp left edge", ramp, true, -1, {101, 98, 102, 102}, -1},
        {"clamped peak", peak, true, 8, {0, 39, 127, 236, 255, 236, 127, 39, 0}, 0},
        {"4:2:2 rounded means", alt, false, 0, {0, 128, 255, 128, 0, 128, 255, 128, 0, 128}, -1},
        {"4:2:2 into the next entry", step, false, 12, {9, 105, 200, 101, 1, 5, 9}, -1},
    };
    for (const auto& level : DspLevels())
        for (const auto& f : kFacts) {
            const V px = RowUp(level.second, f.row, f.full);
            const int end = f.firstPixel + (int)f.pixels.size();
            EXPECT_EQ(V(px.begin() + f.firstPixel + 1, px.begin() + end + 1), f.pixels) << level.first << f.what;
            for (int p = 0; p <= 4 * (int)f.row.size() - 5 && f.elsewhere >= 0; p++)
                if (p < f.firstPixel || p >= end) {
                    ASSERT_EQ(f.elsewhere, px[p + 1]) << level.first << f.what << p;
                }
        }
}

// Every phase of both filters sums to 2048 (unity gain) and constant rows
// stay constant at every length; a single bright sample keeps
// 1870/2048 (3:4) or 1924/2048 (2:3) of itself on the co-sited output and
// gives the outputs a quarter (third) of a step away 705/2048 (893/2048),
// the negative lobes clamping to 0, the response symmetric; after a run the 16 margin bytes on both
// sides of the row mirror its ends.
TEST(Resample, ConstantImpulseAndMargins) {
    const struct {
        const char* name;
        int num, den;
        V lengths;
        int centre, side;
    } kResamplers[] = {{"3:4", 4, 3, {960, 480, 240, 1440, 12}, 1870, 705},
                       {"2:3", 3, 2, {1280, 640, 320, 960, 8}, 1924, 893}};
    V sums(7, 0);
    for (int t = 0; t < kResampleTaps; t++)
        for (int p = 0; p < 7; p++) sums[p] += p < 4 ? kTaps3To4[p][t] : kTaps2To3[p - 4][t];
    EXPECT_EQ(sums, V(7, 2048));
    for (const auto& level : DspLevels())
        for (const auto& r : kResamplers)
            for (int n : r.lengths) {
                SCOPED_TRACE(level.first + " " + r.name + " n " + std::to_string(n));
                std::vector<uint8_t> buf(n + 32), out(n / r.den * r.num);
                uint8_t* row = buf.data() + 16;
                auto run = [&] {
                    (r.num == 4 ? level.second.resampleRow3To4 : level.second.resampleRow2To3)(row, n, out.data());
                };
                for (int v : {0, 128, 255}) {
                    std::fill(row, row + n, (uint8_t)v);
                    run();
                    ASSERT_EQ(std::count(out.begin(), out.end(), v), (long)out.size()) << v;
                }
                if (n >= 240) {
                    std::fill(row, row + n, 0);
                    const int in = n / 2 / r.den * r.den, o = in / r.den * r.num;
                    row[in] = 255;
                    run();
                    EXPECT_EQ((V{out[o], out[o + 1], *std::min_element(&out[o - 12], &out[o + 12])}),
                              (V{(r.centre * 255 + 1023) >> 11, (r.side * 255 + 1023) >> 11, 0}));
                    for (int k = 1; k < 24; k++) EXPECT_EQ(out[o - k], out[o + k]) << k;
                }
                for (int i = 0; i < n; i++) row[i] = (uint8_t)(i * 37 + i / 5);
                run();
                for (int i = 0; i < 16; i++) EXPECT_EQ((V{row[-1 - i], row[n + i]}), (V{row[i], row[n - 1 - i]})) << i;
            }
}

// The 4:1:1 macroblock layout of a frame: 32 x 8 macroblocks and the 16 x 16
// right-edge column at x = 704.
void Put411Frame(DVPictureWriter* w, int rows) {
    DVMacroblock mb;
    for (int y = 0; y < rows; y += 8)
        for (int x = 0; x <= 704; x += 32)
            if (x < 704 || y % 16 == 0) FillMacroblock(&mb, x, y, false), w->PutMacroblock(w, x == 704, x, y, &mb);
}

// Luma of frame pixel (px, fy) and the 180 real chroma samples of a row.
uint8_t Luma411(int px, int fy) {
    return px < 704 ? Val(px % 32 / 8, fy % 8, px % 8, Tag(px / 32 * 32, fy / 8 * 8))
                    : Val(2 * (fy % 16 / 8) + (px - 704) / 8, fy % 8, (px - 704) % 8, Tag(704, fy / 16 * 16));
}
uint8_t Chroma411(int slot, int q, int fy) {
    return q < 176 ? Val(slot, fy % 8, q % 8, Tag(q / 8 * 32, fy / 8 * 8))
                   : Val(slot, fy % 8, 4 * (fy % 16 / 8) + q - 176, Tag(704, fy / 16 * 16));
}

TEST(Writer411, EndFrameAndBandsConvertWholeRows) {
    const struct {
        const char* name;
        DVKernelSetInit init;
        int kind, width, height, rowOffset, frameRows;
        bool up;
    } kCases[] = {
        {"4:4:4 486 bottom-up", probe::Init, 0x03, 720, 486, 2, 480, true},
        {"4:2:2 625 576", probe::Init422, 0x02, 720, 576, 0, 576, false},
        {"4:2:2 narrow 360", probe::Init422, 0x03, 360, 480, 0, 480, true},
        {"4:4:4 short 476", probe::Init, 0x03, 720, 476, 0, 472, false},
    };
    for (const auto& level : DspLevels())
        for (const auto& fc : kCases) {
            SCOPED_TRACE(level.first + " " + fc.name);
            WriterPtr w(CreatePictureWriterWith(&level.second, nullptr, fc.init, 0, 2, fc.kind, 0, 0));
            Picture want(fc.width, fc.height, fc.up);
            for (int fy = 0; fy < fc.frameRows && fc.rowOffset + fy < fc.height; fy++) {
                // Expected chroma: the row's 180 samples through the C reconstruction.
                std::vector<uint8_t> cb(180), cr(180);
                for (int q = 0; q < 180; q++) cb[q] = Chroma411(5, q, fy), cr[q] = Chroma411(4, q, fy);
                const bool full = fc.init == probe::Init;
                const V ub = RowUp(DspLevels()[0].second, cb, full), ur = RowUp(DspLevels()[0].second, cr, full);
                for (int px = 0, ci = 1; px < std::min(fc.width, 720); px++, ci = 1 + (full ? px : px / 2))
                    probe::Put(want.Row(fc.rowOffset + fy) + 4 * px, Luma411(px, fy), ub[ci], ur[ci]);
            }
            // Whole frame, then bands of rows on both kernel sets, out of order, one empty, one ragged.
            for (int banded = 0; banded < 2; banded++) {
                Picture got(fc.width, fc.height, fc.up);
                ASSERT_EQ(0, w->BeginFrame(w.get(), got.Row(0), got.Pitch(), fc.width, fc.height));
                Put411Frame(w.get(), fc.frameRows);
                const int cut1 = banded ? fc.height / 3 + 1 : fc.height, cut2 = banded ? 2 * fc.height / 3 + 3 : cut1;
                banded ? w->FlushRows(w.get(), 1, cut2, fc.height - cut2) : w->EndFrame(w.get());
                w->FlushRows(w.get(), 0, cut1, 0);
                w->FlushRows(w.get(), 0, 0, cut1 * banded);
                w->FlushRows(w.get(), 1, cut1, cut2 - cut1);
                EXPECT_EQ("", probe::FirstDifference(want, got)) << "banded " << banded;
            }
        }
}

// High definition: macroblocks land in luma and chroma planes, flushed bands
// of the picture are resampled from them (or copied at half size).
TEST(WriterHD, PlanesAndFlush) {
    const struct {
        const char* name;
        int kind, half, width, height, num, den;
    } kCases[] = {
        // num 1: copy
        {"720 to 1280", 0x14, 0, 1280, 720, 4, 3},
        {"720 half to 720", 0x14, 1, 720, 360, 3, 2},
        {"1080/1280 to 1920", 0x25, 0, 1920, 1080, 3, 2},
        {"720 to odd width 1000", 0x14, 0, 1000, 700, 4, 3},
        {"1080/1280 half copy, taller picture", 0x25, 1, 640, 560, 1, 1},
    };
    for (const auto& hc : kCases) {
        SCOPED_TRACE(hc.name);
        WriterPtr w(CreatePictureWriterWith(RowKernels(), nullptr, probe::Init, 0, 3, hc.kind, hc.half, 0));
        Picture got(hc.width, hc.height), want(hc.width, hc.height);
        ASSERT_EQ(0, w->BeginFrame(w.get(), got.Row(0), got.Pitch(), hc.width, hc.height));
        const bool half = w->halfSize != 0;
        const int codedW = w->codedLumaWidth, rows = w->frameRows, ls = w->lumaStride, cs = w->chromaStride;
        DVMacroblock mb;
        std::vector<std::pair<int, int>> pos;  // 32 x 8 macroblocks at the foot of a 1080-line frame
        for (int y = 0; y < rows; y += y == 1072 ? 8 : 16)
            for (int x = 0; x < codedW; x += y == 1072 ? 32 : 16) pos.push_back({x, y});
        for (auto [x, y] : pos) FillMacroblock(&mb, x, y, half), w->PutMacroblock(w.get(), 0, x, y, &mb);
        // Plane model: luma 16 x 16 (32 x 8 at y = 1072), chroma 8 x 16
        // (16 x 8), halved at half size.  Slots 0-3 luma, 4-5 Cr, 6-7 Cb.
        const int sh = half ? 1 : 0, bs = 8 >> sh;
        for (auto [x, y] : pos)
            for (int s = 0; s < 8; s++) {
                const int b = s < 4 ? s : s & 1, bottom = y == 1072;  // block within its plane
                const int bx = bottom ? b : s < 4 ? b & 1 : 0, by = bottom ? 0 : s < 4 ? b >> 1 : b;
                const uint8_t* plane = s < 4 ? w->planeY : s < 6 ? w->planeCr : w->planeCb;
                const int stride = s < 4 ? ls : cs, ox = (s < 4 ? x : x / 2) >> sh;
                for (int j = 0; j < bs * bs; j++)
                    ASSERT_EQ(Val(s, j / bs, j % bs, Tag(x, y)),
                              plane[(size_t)((y >> sh) + bs * by + j / bs) * stride + ox + bs * bx + j % bs])
                        << s << " " << x << "," << y;
            }
        // Expected picture from the reference resampler on copies of the planes.
        const int n = codedW >> sh, nc = w->codedChromaWidth >> sh, planeRows = rows >> sh;
        for (int row = 0; row < std::min(planeRows, hc.height); row++) {
            std::vector<uint8_t> o[3];  // Y, Cb, Cr
            for (int k = 0, len = n; k < 3; k++, len = nc) {
                const uint8_t* src = (k == 0   ? w->planeY
                                      : k == 1 ? w->planeCb
                                               : w->planeCr) +
                                     (size_t)row * (k ? cs : ls);
                std::vector<uint8_t> in(len + 32);
                std::memcpy(in.data() + 16, src, size_t(len));
                o[k].assign(src, src + len);
                if (hc.num > 1) {
                    o[k].resize(len / hc.den * hc.num);
                    (hc.num == 4 ? ResampleRow3To4_c : ResampleRow2To3_c)(in.data() + 16, len, o[k].data());
                }
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
        Picture all(hc.width, hc.height);
        ASSERT_EQ(0, w->BeginFrame(w.get(), all.Row(0), all.Pitch(), hc.width, hc.height));
        for (auto [x, y] : pos) FillMacroblock(&mb, x, y, half), w->PutMacroblock(w.get(), 1, x, y, &mb);
        w->EndFrame(w.get());
        EXPECT_TRUE(hc.height > planeRows || probe::FirstDifference(want, all).empty()) << "all at once";
    }
}

}  // namespace
