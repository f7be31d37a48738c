// 50 Mb/s and DVCPRO HD frames against libavcodec's DV decoder: every frame
// of the committed streams at the coded width, half size against the
// full-size picture, display widths, and thread / instruction-set
// invariance.
#include <gtest/gtest.h>

#include <cstring>

#include "hv_dec_dv.h"
#include "lavc_dv.h"
#include "test_streams.h"
#include "threads/cpu.h"

namespace {

using testdata::Psnr;
using testdata::Stream;

struct Kind {
    const char* file;
    uint32_t frameBytes;
    int codedWidth, height;  // coded picture
    int displayWidth;        // full-size width that the picture is resampled to (0: none)
};

const Kind kKinds[] = {
    {"dv50_625.dv", 288000, 720, 576, 0},     {"dv50_525.dv", 240000, 720, 480, 0},
    {"hd_1080i50.dv", 576000, 1440, 1080, 1920}, {"hd_1080i60.dv", 480000, 1280, 1080, 1920},
    {"hd_720p60.dv", 240000, 960, 720, 1280},
};

// A decoded "UYVY" picture split into planes (chroma one sample per pair).
struct Planes {
    int width = 0, height = 0, result = -1;
    std::vector<uint8_t> packed, y, cb, cr;
};

Planes DecodeUyvy(const uint8_t* frame, uint32_t bytes, int width, int height, uint32_t flags = 0) {
    Planes p;
    p.width = width;
    p.height = height;
    p.packed.assign((size_t)width * height * 2, 0x33);
    p.result = DecompressBuffer_DV(frame, bytes, p.packed.data(), width * 2, width, height, flags,
                                   HVDV_FOURCC_UYVY, 0, 0);
    for (size_t q = 0; q < p.packed.size() / 4; q++) {
        p.cb.push_back(p.packed[4 * q]);
        p.y.push_back(p.packed[4 * q + 1]);
        p.cr.push_back(p.packed[4 * q + 2]);
        p.y.push_back(p.packed[4 * q + 3]);
    }
    return p;
}

// Every frame, coded width: luma and both chroma planes within 40 dB of the
// peer.  The 720-line stream holds two pictures per 370M frame, one per
// 240000-byte half (channels 0/1 and 2/3); both are decoded.
TEST(HighDefinitionFidelity, MatchesLibavcodecOnEveryFrame) {
    lavc::DvDecoder peer(1);
    ASSERT_TRUE(peer.ok());
    for (const Kind& k : kKinds) {
        Stream s = testdata::Load(k.file, k.frameBytes, (uint32_t)k.height);
        ASSERT_GT(s.frames(), 0u) << k.file;
        for (size_t i = 0; i < s.frames(); i++) {
            lavc::Picture ref;
            ASSERT_TRUE(peer.Decode(s.frame(i), (int)s.frameBytes, &ref)) << k.file;
            ASSERT_EQ(ref.width, k.codedWidth) << k.file;
            ASSERT_EQ(ref.height, k.height) << k.file;
            ASSERT_EQ(ref.chromaWidth, k.codedWidth / 2) << k.file;
            Planes ours = DecodeUyvy(s.frame(i), s.frameBytes, k.codedWidth, k.height);
            EXPECT_EQ(ours.result, 1) << k.file << " frame " << i;
            const double py = Psnr(ours.y, ref.y), pb = Psnr(ours.cb, ref.cb), pr = Psnr(ours.cr, ref.cr);
            std::printf("  %-15s frame %zu: luma %.2f dB, Cb %.2f dB, Cr %.2f dB\n", k.file, i, py, pb, pr);
            EXPECT_GE(py, 40.0) << k.file << " frame " << i;
            EXPECT_GE(pb, 40.0) << k.file << " frame " << i;
            EXPECT_GE(pr, 40.0) << k.file << " frame " << i;
        }
    }
}

// Half size (half the coded width and height) is close to the 2x2 mean of
// the full-size picture, in luma and chroma.  The half-size transform keeps
// the low frequencies and rings a little at the test pattern's saturated
// colour edges, so chroma stays further from the box filter than luma; a
// misplaced block or field line costs far more than either margin.
TEST(HighDefinitionFidelity, HalfSizeCloseToBoxFilteredFullSize) {
    for (const Kind& k : kKinds) {
        Stream s = testdata::Load(k.file, k.frameBytes, (uint32_t)k.height);
        ASSERT_GT(s.frames(), 0u) << k.file;
        const int w = k.codedWidth, h = k.height;
        Planes full = DecodeUyvy(s.frame(0), s.frameBytes, w, h);
        Planes half = DecodeUyvy(s.frame(0), s.frameBytes, w / 2, h / 2);
        ASSERT_EQ(full.result, 1) << k.file;
        ASSERT_EQ(half.result, 1) << k.file;
        auto box = [](const std::vector<uint8_t>& plane, int width, int outW, int outH) {
            std::vector<uint8_t> out;
            for (int y = 0; y < outH; y++)
                for (int x = 0; x < outW; x++) {
                    const uint8_t* p = &plane[(size_t)2 * y * width + 2 * x];
                    out.push_back((uint8_t)((p[0] + p[1] + p[width] + p[width + 1] + 2) / 4));
                }
            return out;
        };
        const double py = Psnr(half.y, box(full.y, w, w / 2, h / 2));
        const double pb = Psnr(half.cb, box(full.cb, w / 2, w / 4, h / 2));
        const double pr = Psnr(half.cr, box(full.cr, w / 2, w / 4, h / 2));
        std::printf("  %-15s half size vs 2x2 mean: luma %.2f dB, Cb %.2f dB, Cr %.2f dB\n", k.file, py, pb,
                    pr);
        EXPECT_GE(py, 38.0) << k.file;
        EXPECT_GE(pb, 28.0) << k.file;
        EXPECT_GE(pr, 28.0) << k.file;
    }
}

// The display width of a high-definition picture (1920 for 1080 lines, 1280
// for 720; half of it at half size) is the coded picture resampled
// horizontally: close to a linear interpolation of the coded-width decode.
TEST(HighDefinitionFidelity, DisplayWidthIsTheResampledCodedPicture) {
    for (const Kind& k : kKinds) {
        if (!k.displayWidth) continue;
        Stream s = testdata::Load(k.file, k.frameBytes, (uint32_t)k.height);
        ASSERT_GT(s.frames(), 0u) << k.file;
        for (int shift : {0, 1}) {
            const int codedWidth = k.codedWidth >> shift, displayWidth = k.displayWidth >> shift;
            const int height = k.height >> shift;
            Planes coded = DecodeUyvy(s.frame(0), s.frameBytes, codedWidth, height);
            Planes shown = DecodeUyvy(s.frame(0), s.frameBytes, displayWidth, height);
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

// Same bytes on one thread and on several, with the reference kernels and
// the vector ones, at full and half size, in "UYVY" and "BGR4".
TEST(HighDefinitionWholeFrame, OutputIndependentOfThreadsAndIsa) {
    for (const Kind& k : kKinds) {
        Stream s = testdata::Load(k.file, k.frameBytes, (uint32_t)k.height);
        ASSERT_GT(s.frames(), 0u) << k.file;
        for (int shift : {0, 1}) {
            const int w = k.codedWidth >> shift, h = k.height >> shift;
            for (uint32_t fourcc : {HVDV_FOURCC_UYVY, HVDV_FOURCC_BGR4}) {
                const int bpp = fourcc == HVDV_FOURCC_UYVY ? 2 : 4;
                auto decode = [&](uint32_t flags) {
                    std::vector<uint8_t> pic((size_t)w * h * bpp, 0x5A);
                    EXPECT_EQ(DecompressBuffer_DV(s.frame(0), s.frameBytes, pic.data(), w * bpp, w, h, flags,
                                                  fourcc, 0, 0),
                              1);
                    return pic;
                };
                const auto single = decode(HVDV_FLAG_SINGLE_THREAD);
                EXPECT_TRUE(single == decode(0)) << k.file << " width " << w;
                hvdv::SetCpuMask(0);
                const auto plain = decode(0);
                hvdv::SetCpuMask(0xFFFFFFFFu);
                EXPECT_TRUE(plain == single) << k.file << " width " << w;
            }
        }
    }
}

}  // namespace
