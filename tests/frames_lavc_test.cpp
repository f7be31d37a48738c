// Every committed stream against libavcodec's DV decoder, every frame at the
// coded width; half size against the full-size picture; the display widths
// of DVCPRO HD.
#include <gtest/gtest.h>

#include <utility>

#include "hv_dec_dv.h"
#include "lavc_dv.h"
#include "test_streams.h"

namespace {

using testdata::DecodeUyvy;
using testdata::Planes;
using testdata::Psnr;
using testdata::Stream;

struct Kind {
    const char* file;
    uint32_t frameBytes;
    int codedWidth, height;  // coded picture
    int displayWidth;        // full-size width that the picture is resampled to (0: none)
    Stream Load() const { return testdata::Load(file, frameBytes, (uint32_t)height); }
};

const Kind kKinds[] = {
    {"dv50_625.dv", 288000, 720, 576, 0},     {"dv50_525.dv", 240000, 720, 480, 0},
    {"hd_1080i50.dv", 576000, 1440, 1080, 1920}, {"hd_1080i60.dv", 480000, 1280, 1080, 1920},
    {"hd_720p60.dv", 240000, 960, 720, 1280},
};

// Every stream with its coded width.
std::vector<std::pair<Stream, int>> AllStreams() {
    std::vector<std::pair<Stream, int>> streams;
    for (const Stream& s : testdata::Streams25()) streams.push_back({s, 720});
    for (const Kind& k : kKinds) streams.push_back({k.Load(), k.codedWidth});
    return streams;
}

// Every frame of every stream, coded width "UYVY": luma and chroma (compared
// where the stream has its chroma samples) within 40 dB of the peer.  The
// 720-line stream holds two pictures per 370M frame, one per 240000-byte half
// (channels 0/1 and 2/3); both are decoded.
TEST(Fidelity, MatchesLibavcodecOnEveryFrame) {
    lavc::DvDecoder peer(1);
    ASSERT_TRUE(peer.ok());
    for (const auto& [s, w] : AllStreams()) {
        ASSERT_GT(s.frames(), 0u) << s.name;
        for (size_t i = 0; i < s.frames(); i++) {
            SCOPED_TRACE(s.name + " frame " + std::to_string(i));
            lavc::Picture ref;
            ASSERT_TRUE(peer.Decode(s.frame(i), (int)s.frameBytes, &ref));
            ASSERT_EQ(ref.width, w);
            ASSERT_EQ(ref.height, (int)s.height);
            const Planes ours = DecodeUyvy(s.frame(i), s.frameBytes, w, (int)s.height);
            EXPECT_EQ(ours.result, 1);
            // Our chroma at the peer's sample positions: 4:1:1 sample c sits
            // on pixel 4c, pair 2c of our 4:2:2 output; 4:2:0 rows alternate
            // between the fields.
            const bool is411 = ref.chromaWidth * 4 == w, is420 = ref.chromaHeight * 2 == (int)s.height;
            std::vector<uint8_t> cb, cr;
            for (int r = 0; r < ref.chromaHeight; r++) {
                const int row = is420 ? (r / 8) * 16 + 4 * ((r % 8) / 2) + (r % 2) : r;
                for (int c = 0; c < ref.chromaWidth; c++) {
                    cb.push_back(ours.cb[(size_t)row * (w / 2) + (is411 ? 2 * c : c)]);
                    cr.push_back(ours.cr[(size_t)row * (w / 2) + (is411 ? 2 * c : c)]);
                }
            }
            const double py = Psnr(ours.y, ref.y), pcb = Psnr(cb, ref.cb), pcr = Psnr(cr, ref.cr);
            EXPECT_GE(py, 40.0);
            EXPECT_GE(pcb, 40.0);
            EXPECT_GE(pcr, 40.0);
            if (i == 0) std::printf("  %-22s luma %.2f dB, Cb %.2f dB, Cr %.2f dB\n", s.name.c_str(), py, pcb, pcr);
        }
    }
}

// Half size (half the coded width and height) of every stream is close to
// the 2x2 mean of the full-size picture (wide-screen frames would be moved
// down in a 288-row picture, hence IGNORE_WIDE).  The test pattern's
// saturated colour edges keep chroma further from the box filter than luma;
// a misplaced block or field line costs far more than either margin.
TEST(Fidelity, HalfSizeCloseToBoxFilteredFullSize) {
    for (const auto& [s, w] : AllStreams()) {
        ASSERT_GT(s.frames(), 0u) << s.name;
        const int h = (int)s.height;
        const Planes full = DecodeUyvy(s.frame(0), s.frameBytes, w, h, HVDV_FLAG_IGNORE_WIDE);
        const Planes half = DecodeUyvy(s.frame(0), s.frameBytes, w / 2, h / 2, HVDV_FLAG_IGNORE_WIDE);
        ASSERT_EQ(full.result, 1) << s.name;
        ASSERT_EQ(half.result, 1) << s.name;
        const double py = Psnr(half.y, testdata::Box2x2(full.y, w, w / 2, h / 2));
        const double pb = Psnr(half.cb, testdata::Box2x2(full.cb, w / 2, w / 4, h / 2));
        const double pr = Psnr(half.cr, testdata::Box2x2(full.cr, w / 2, w / 4, h / 2));
        std::printf("  %-22s half size vs 2x2 mean: luma %.2f dB, Cb %.2f dB, Cr %.2f dB\n", s.name.c_str(), py, pb,
                    pr);
        EXPECT_GE(py, 38.0) << s.name;
        EXPECT_GE(pb, 28.0) << s.name;
        EXPECT_GE(pr, 28.0) << s.name;
    }
}

// The display width of a high-definition picture (1920 for 1080 lines, 1280
// for 720; half of it at half size) is the coded picture resampled
// horizontally: close to a linear interpolation of the coded-width decode.
TEST(HighDefinitionFidelity, DisplayWidthIsTheResampledCodedPicture) {
    for (const Kind& k : kKinds) {
        if (!k.displayWidth) continue;
        const Stream s = k.Load();
        ASSERT_GT(s.frames(), 0u) << k.file;
        for (int shift : {0, 1}) {
            const int codedWidth = k.codedWidth >> shift, displayWidth = k.displayWidth >> shift;
            const int height = k.height >> shift;
            const Planes coded = DecodeUyvy(s.frame(0), s.frameBytes, codedWidth, height);
            const Planes shown = DecodeUyvy(s.frame(0), s.frameBytes, displayWidth, height);
            ASSERT_EQ(coded.result, 1) << k.file;
            ASSERT_EQ(shown.result, 1) << k.file;
            std::vector<uint8_t> linear;
            const double ratio = (double)codedWidth / displayWidth;
            for (int y = 0; y < height; y++)
                for (int x = 0; x < displayWidth; x++) {
                    const double sx = (x + 0.5) * ratio - 0.5;
                    const int x0 = sx < 0 ? 0 : (int)sx;
                    const int x1 = x0 + 1 < codedWidth ? x0 + 1 : x0;
                    const double f = sx - x0 < 0 ? 0 : sx - x0;
                    const uint8_t* row = &coded.y[(size_t)y * codedWidth];
                    linear.push_back((uint8_t)(row[x0] * (1 - f) + row[x1] * f + 0.5));
                }
            const double p = Psnr(shown.y, linear);
            std::printf("  %-15s %d x %d vs linear resampling: luma %.2f dB\n", k.file, displayWidth, height, p);
            EXPECT_GE(p, 30.0) << k.file << " width " << displayWidth;

        }
    }
}

}  // namespace
