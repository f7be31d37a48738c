// Whole-frame fidelity of the 25 Mb/s streams against libavcodec's DV
// decoder: every frame, RGB output, and half size against the full-size
// picture.
#include <gtest/gtest.h>

#include "hv_dec_dv.h"
#include "lavc_dv.h"
#include "test_streams.h"

namespace {

using testdata::DecodeUyvy;
using testdata::Planes;
using testdata::Psnr;
using testdata::Stream;

// The row of the peer's chroma plane that DV sites on picture line y: 4:2:0
// chroma rows alternate between the fields (row k of a macroblock serves
// lines 4 (k / 2) + (k mod 2) and two below); 4:1:1 has a row per line.
int ChromaRow(bool is411, int y) { return is411 ? y : (y / 16) * 8 + 2 * ((y % 16) / 4) + (y % 2); }

// Every frame of every 25 Mb/s stream, full size "UYVY": luma and chroma
// (compared where the stream has its chroma samples) within 40 dB of
// libavcodec.
TEST(Fidelity, MatchesLibavcodecOnEveryFrame) {
    lavc::DvDecoder peer(1);
    ASSERT_TRUE(peer.ok());
    for (const Stream& s : testdata::Streams25()) {
        ASSERT_GT(s.frames(), 0u) << s.name;
        for (size_t i = 0; i < s.frames(); i++) {
            SCOPED_TRACE(s.name + " frame " + std::to_string(i));
            lavc::Picture ref;
            ASSERT_TRUE(peer.Decode(s.frame(i), (int)s.frameBytes, &ref));
            ASSERT_EQ(ref.width, 720);
            ASSERT_EQ(ref.height, (int)s.height);
            const Planes ours = DecodeUyvy(s.frame(i), s.frameBytes, 720, (int)s.height);
            EXPECT_EQ(ours.result, 1);
            // Our chroma at the peer's sample positions: 4:1:1 sample c sits
            // on pixel 4c, pair 2c of our 4:2:2 output.
            const bool is411 = ref.chromaWidth == 180;
            std::vector<uint8_t> cb, cr;
            for (int r = 0; r < ref.chromaHeight; r++) {
                const int row = is411 ? r : (r / 8) * 16 + 4 * ((r % 8) / 2) + (r % 2);
                for (int c = 0; c < ref.chromaWidth; c++) {
                    cb.push_back(ours.cb[(size_t)row * 360 + (is411 ? 2 * c : c)]);
                    cr.push_back(ours.cr[(size_t)row * 360 + (is411 ? 2 * c : c)]);
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

// RGB output is close to a BT.601 full-range conversion of the peer's
// picture, its chroma brought to every pixel the way DV sites it (4:1:1
// samples interpolated linearly; our reconstruction sharpens a little, so
// edges differ slightly).
TEST(Fidelity, RgbCloseToBt601OfPeer) {
    lavc::DvDecoder peer(1);
    for (const Stream& s : testdata::Streams25()) {
        lavc::Picture ref;
        ASSERT_TRUE(peer.Decode(s.frame(0), (int)s.frameBytes, &ref));
        std::vector<uint8_t> ours((size_t)720 * s.height * 4);
        ASSERT_EQ(DecompressBuffer_DV(s.frame(0), s.frameBytes, ours.data(), 720 * 4, 720, s.height, 0,
                                      HVDV_FOURCC_BGR4, 0, 0),
                  1);
        const bool is411 = ref.chromaWidth == 180;
        auto chroma = [&](const std::vector<uint8_t>& plane, int x, int y) -> double {
            const uint8_t* row = &plane[(size_t)ChromaRow(is411, y) * ref.chromaWidth];
            if (!is411) return row[x / 2];
            const int i = x / 4, f = x % 4, j = i + 1 < 180 ? i + 1 : i;
            return (row[i] * (4 - f) + row[j] * f) / 4.0;
        };
        std::vector<uint8_t> want, got;
        for (int y = 0; y < (int)s.height; y++)
            for (int x = 0; x < 720; x++) {
                const double l = 1.164383 * (ref.y[(size_t)y * 720 + x] - 16);
                const double u = chroma(ref.cb, x, y) - 128.0, v = chroma(ref.cr, x, y) - 128.0;
                const double rgb[3] = {l + 2.017232 * u, l - 0.391762 * u - 0.812968 * v, l + 1.596027 * v};
                for (int c = 0; c < 3; c++) {
                    want.push_back((uint8_t)((rgb[c] < 0 ? 0 : rgb[c] > 255 ? 255 : rgb[c]) + 0.5));
                    got.push_back(ours[((size_t)y * 720 + x) * 4 + c]);
                }
            }
        const double p = Psnr(got, want);
        std::printf("  %-22s BGRA vs BT.601 of peer: %.2f dB\n", s.name.c_str(), p);
        EXPECT_GE(p, is411 ? 30.0 : 40.0) << s.name;
    }
}

}  // namespace
