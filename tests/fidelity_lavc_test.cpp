// Whole-frame fidelity against libavcodec's DV decoder, and properties of
// whole decodes that hold whatever the decoder's internals: thread count,
// instruction set, format aliases, half size.
#include <gtest/gtest.h>

#include <cstring>

#include "hv_dec_dv.h"
#include "lavc_dv.h"
#include "test_streams.h"
#include "threads/cpu.h"

namespace {

using testdata::Psnr;
using testdata::Stream;

// Decodes one frame into packed UYVY and splits it into planes: luma
// (width x height) and the two chroma planes at one sample per pixel pair.
struct Uyvy {
    int width = 0, height = 0;
    std::vector<uint8_t> packed, y, cb, cr;
};

int DecodeUyvy(const Stream& s, size_t i, int width, int height, uint32_t flags, Uyvy* out) {
    out->width = width;
    out->height = height;
    out->packed.assign((size_t)width * height * 2, 0);
    int r = DecompressBuffer_DV(s.frame(i), s.frameBytes, out->packed.data(), width * 2, width, height,
                                flags, HVDV_FOURCC_UYVY, 0, 0);
    out->y.resize((size_t)width * height);
    out->cb.resize((size_t)width / 2 * height);
    out->cr.resize((size_t)width / 2 * height);
    for (int p = 0; p < width * height / 2; p++) {
        out->cb[p] = out->packed[4 * p];
        out->y[2 * p] = out->packed[4 * p + 1];
        out->cr[p] = out->packed[4 * p + 2];
        out->y[2 * p + 1] = out->packed[4 * p + 3];
    }
    return r;
}

std::vector<uint8_t> Decode(const Stream& s, size_t i, uint32_t fourcc, int bpp, uint32_t flags,
                            int width = 720, int* result = nullptr) {
    int height = width == 360 ? (int)s.height / 2 : (int)s.height;
    std::vector<uint8_t> pic((size_t)width * height * bpp, 0x5A);
    int r = DecompressBuffer_DV(s.frame(i), s.frameBytes, pic.data(), width * bpp, width, height, flags,
                                fourcc, 0, 0);
    if (result) *result = r;
    return pic;
}

// Every frame of every 25 Mb/s stream, full size "UYVY": luma and chroma
// (compared where the stream has its chroma samples) within 40 dB of
// libavcodec.
TEST(Fidelity, MatchesLibavcodecOnEveryFrame) {
    lavc::DvDecoder peer(1);
    ASSERT_TRUE(peer.ok());
    for (const Stream& s : testdata::Streams25()) {
        ASSERT_GT(s.frames(), 0u) << s.name;
        for (size_t i = 0; i < s.frames(); i++) {
            lavc::Picture ref;
            ASSERT_TRUE(peer.Decode(s.frame(i), (int)s.frameBytes, &ref)) << s.name;
            ASSERT_EQ(ref.width, 720);
            ASSERT_EQ(ref.height, (int)s.height);
            Uyvy ours;
            EXPECT_EQ(DecodeUyvy(s, i, 720, (int)s.height, 0, &ours), 1) << s.name << " frame " << i;
            double py = Psnr(ours.y, ref.y);
            // Our chroma at the peer's sample positions.
            std::vector<uint8_t> cb, cr;
            if (ref.chromaWidth == 180) {
                // 4:1:1: sample i sits on pixel 4i, which is pair 2i of our 4:2:2 output.
                for (int r = 0; r < ref.chromaHeight; r++)
                    for (int c = 0; c < 180; c++) {
                        cb.push_back(ours.cb[(size_t)r * 360 + 2 * c]);
                        cr.push_back(ours.cr[(size_t)r * 360 + 2 * c]);
                    }
            } else {
                // 4:2:0: chroma row k of a macroblock serves picture rows
                // 4 (k / 2) + (k mod 2) and the row two below (one field each).
                ASSERT_EQ(ref.chromaWidth, 360);
                for (int r = 0; r < ref.chromaHeight; r++) {
                    int mbRow = r / 8, k = r % 8;
                    int row = mbRow * 16 + 4 * (k / 2) + (k % 2);
                    for (int c = 0; c < 360; c++) {
                        cb.push_back(ours.cb[(size_t)row * 360 + c]);
                        cr.push_back(ours.cr[(size_t)row * 360 + c]);
                    }
                }
            }
            double pcb = Psnr(cb, ref.cb), pcr = Psnr(cr, ref.cr);
            EXPECT_GE(py, 40.0) << s.name << " frame " << i;
            EXPECT_GE(pcb, 40.0) << s.name << " frame " << i;
            EXPECT_GE(pcr, 40.0) << s.name << " frame " << i;
            if (i == 0)
                std::printf("  %-22s luma %.2f dB, Cb %.2f dB, Cr %.2f dB\n", s.name.c_str(), py, pcb, pcr);
        }
    }
}

// RGB output is close to a BT.601 full-range conversion of the peer's
// picture.  The peer's chroma is brought to every pixel the way DV sites it:
// 4:2:0 chroma rows alternate between the fields (row k of a macroblock
// serves lines 4 (k / 2) + (k mod 2) and two below); 4:1:1 samples sit on
// every fourth pixel and are interpolated linearly between them (our
// reconstruction sharpens a little, so edges differ slightly).
TEST(Fidelity, RgbCloseToBt601OfPeer) {
    lavc::DvDecoder peer(1);
    for (const Stream& s : testdata::Streams25()) {
        lavc::Picture ref;
        ASSERT_TRUE(peer.Decode(s.frame(0), (int)s.frameBytes, &ref));
        std::vector<uint8_t> ours = Decode(s, 0, HVDV_FOURCC_BGR4, 4, 0);
        const bool is411 = ref.chromaWidth == 180;
        auto chroma = [&](const std::vector<uint8_t>& plane, int x, int y) -> double {
            if (is411) {
                int i = x / 4, f = x % 4;
                int j = i + 1 < 180 ? i + 1 : i;
                return (plane[(size_t)y * 180 + i] * (4 - f) + plane[(size_t)y * 180 + j] * f) / 4.0;
            }
            int row = (y / 16) * 8 + 2 * ((y % 16) / 4) + (y % 2);
            return plane[(size_t)row * 360 + x / 2];
        };
        std::vector<uint8_t> a, b;
        for (int y = 0; y < (int)s.height; y++)
            for (int x = 0; x < 720; x++) {
                double Y = ref.y[(size_t)y * 720 + x];
                double u = chroma(ref.cb, x, y) - 128.0, v = chroma(ref.cr, x, y) - 128.0;
                double l = 1.164383 * (Y - 16);
                double rgb[3] = {l + 2.017232 * u, l - 0.391762 * u - 0.812968 * v, l + 1.596027 * v};
                for (int c = 0; c < 3; c++) {
                    double q = rgb[c] < 0 ? 0 : rgb[c] > 255 ? 255 : rgb[c];
                    a.push_back((uint8_t)(q + 0.5));
                    b.push_back(ours[((size_t)y * 720 + x) * 4 + c]);
                }
            }
        double p = Psnr(b, a);
        std::printf("  %-22s BGRA vs BT.601 of peer: %.2f dB\n", s.name.c_str(), p);
        EXPECT_GE(p, is411 ? 30.0 : 40.0) << s.name;
    }
}

// Half size is close to the 2x2 mean of the full-size picture.
TEST(Fidelity, HalfSizeCloseToBoxFilteredFullSize) {
    for (const Stream& s : testdata::Streams25()) {
        Uyvy full, half;
        // Wide-screen frames would be moved down in a 288-row picture.
        ASSERT_EQ(DecodeUyvy(s, 0, 720, (int)s.height, HVDV_FLAG_IGNORE_WIDE, &full), 1);
        ASSERT_EQ(DecodeUyvy(s, 0, 360, (int)s.height / 2, HVDV_FLAG_IGNORE_WIDE, &half), 1);
        std::vector<uint8_t> box;
        for (int y = 0; y < half.height; y++)
            for (int x = 0; x < 360; x++) {
                int sum = 0;
                for (int dy = 0; dy < 2; dy++)
                    for (int dx = 0; dx < 2; dx++) sum += full.y[(size_t)(2 * y + dy) * 720 + 2 * x + dx];
                box.push_back((uint8_t)((sum + 2) / 4));
            }
        double p = Psnr(half.y, box);
        std::printf("  %-22s half-size luma vs 2x2 mean: %.2f dB\n", s.name.c_str(), p);
        EXPECT_GE(p, 38.0) << s.name;
    }
}

// Same bytes whatever the thread count, the instruction set and the alias.
TEST(WholeFrame, OutputIndependentOfThreadsIsaAndAliases) {
    struct Alias {
        uint32_t a, b;
        int bpp;
    } aliases[] = {{HVDV_FOURCC_YuYv, HVDV_FOURCC_YUY2, 2}, {HVDV_FOURCC_YUYV, HVDV_FOURCC_YUY2, 2},
                   {HVDV_FOURCC_UyVy, HVDV_FOURCC_UYVY, 2}, {HVDV_FOURCC_BGRA, HVDV_FOURCC_BGR4, 4}};
    const struct {
        uint32_t fourcc;
        int bpp;
    } formats[] = {{HVDV_FOURCC_UYVY, 2}, {HVDV_FOURCC_YUY2, 2}, {HVDV_FOURCC_VUYA, 4},
                   {HVDV_FOURCC_BGR3, 3}, {HVDV_FOURCC_R24C, 3}, {HVDV_FOURCC_BGR4, 4},
                   {HVDV_FOURCC_R32C, 4}, {HVDV_FOURCC_R565, 2}, {HVDV_FOURCC_R555, 2}};
    for (const Stream& s : testdata::Streams25()) {
        for (int width : {720, 360}) {
            for (const auto& f : formats) {
                int r1 = 0, r2 = 0;
                auto single = Decode(s, 0, f.fourcc, f.bpp, HVDV_FLAG_SINGLE_THREAD, width, &r1);
                auto multi = Decode(s, 0, f.fourcc, f.bpp, 0, width, &r2);
                EXPECT_EQ(r1, 1);
                EXPECT_EQ(r2, 1);
                EXPECT_TRUE(single == multi) << s.name << " width " << width << " fourcc " << std::hex << f.fourcc;
                hvdv::SetCpuMask(0);
                auto plain = Decode(s, 0, f.fourcc, f.bpp, 0, width);
                hvdv::SetCpuMask(0xFFFFFFFFu);
                EXPECT_TRUE(plain == multi) << s.name << " reference kernels differ, width " << width
                                            << " fourcc " << std::hex << f.fourcc;
            }
        }
        for (const Alias& al : aliases)
            EXPECT_TRUE(Decode(s, 0, al.a, al.bpp, 0) == Decode(s, 0, al.b, al.bpp, 0)) << s.name;
    }
}

// The result reports damaged macroblocks from the DIF block status (STA).
TEST(WholeFrame, ResultCountsDamagedMacroblocks) {
    Stream s = testdata::Load("sample_625_420.dv", 144000, 576);
    ASSERT_GE(s.frames(), 1u);
    std::vector<uint8_t> frame(s.frame(0), s.frame(0) + s.frameBytes);
    std::vector<uint8_t> pic(720 * 576 * 2);
    auto decode = [&] {
        return DecompressBuffer_DV(frame.data(), (uint32_t)frame.size(), pic.data(), 1440, 720, 576, 0,
                                   HVDV_FOURCC_UYVY, 0, 0);
    };
    EXPECT_EQ(decode(), 1);
    // Video DIF blocks: every block whose ID byte 0 has section type 4 (bits 7-5 = 100).
    std::vector<size_t> video;
    for (size_t b = 0; b + 80 <= frame.size(); b += 80)
        if ((frame[b] >> 5) == 4) video.push_back(b);
    ASSERT_EQ(video.size(), 1620u);
    frame[video[17] + 3] |= 0x10;  // STA bit 0: an error in this block
    EXPECT_EQ(decode(), 2);
    for (size_t b : video) frame[b + 3] |= 0x10;
    EXPECT_EQ(decode(), 0);
}

}  // namespace
