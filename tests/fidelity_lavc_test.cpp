// RGB output of the 25 Mb/s streams against libavcodec's DV decoder (the
// pictures themselves are compared in hd_lavc_test.cpp).
#include <gtest/gtest.h>

#include "hv_dec_dv.h"
#include "lavc_dv.h"
#include "test_streams.h"

namespace {

using testdata::Psnr;
using testdata::Stream;

// The row of the peer's chroma plane that DV sites on picture line y: 4:2:0
// chroma rows alternate between the fields (row k of a macroblock serves
// lines 4 (k / 2) + (k mod 2) and two below); 4:1:1 has a row per line.
int ChromaRow(bool is411, int y) { return is411 ? y : (y / 16) * 8 + 2 * ((y % 16) / 4) + (y % 2); }

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
