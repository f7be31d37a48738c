// Native planes of the second interface against libavcodec's planar output
// (yuv411p, yuv420p, yuv422p), sample for sample with no conversion, for
// every committed stream and frame, at full size and (against the peer's
// 2x2 means) at half size.  Macroblocks a deck marked concealed (STA not 0)
// hold data whose bit errors each decoder conceals its own way: frames with
// them are held to a lower bound.
#include <gtest/gtest.h>

#include <cstdio>

#include "hvdv.h"
#include "lavc_dv.h"
#include "test_streams.h"

namespace {

struct Decoded {
    hvdv_frame_info info{};
    std::vector<uint8_t> plane[3];
    int width[3] = {}, height[3] = {};
    int result = -1;
    bool clean = false;  // every macroblock with STA 0
};

Decoded DecodePlanes(hvdv_decoder* d, const uint8_t* frame, size_t bytes, bool half) {
    Decoded out;
    out.info.size = sizeof out.info;
    if (hvdv_probe_frame(frame, bytes, &out.info) != HVDV_OK) return out;
    hvdv_picture pic{};
    pic.size = sizeof pic;
    pic.format = HVDV_FORMAT_PLANAR;
    for (int i = 0; i < 3; i++) {
        const int s = half ? 1 : 0;
        out.width[i] = (int)(i ? out.info.chroma_width : out.info.coded_width) >> s;
        out.height[i] = (int)(i ? out.info.chroma_height : out.info.coded_height) >> s;
        out.plane[i].assign((size_t)out.width[i] * out.height[i], 0x5A);
        pic.data[i] = out.plane[i].data();
        pic.pitch[i] = out.width[i];
    }
    hvdv_damage damage{};
    damage.size = sizeof damage;
    out.result = hvdv_decode_video(d, frame, bytes, &pic, half ? HVDV_DECODE_HALF : 0, nullptr, &damage);
    uint32_t read = 0;
    for (uint32_t c : damage.sta_counts) read += c;
    out.clean = damage.sta_counts[0] == read;
    return out;
}

// The worst PSNR over the 8 x 8 tiles of a plane (narrower at its right
// edge: 4:1:1 chroma planes are 180 wide): a fault confined to a few
// macroblocks (the right-edge column, the bottom strip) barely moves the
// whole plane's figure but ruins its tiles.
double WorstTile(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width, int height) {
    double worst = 99;
    for (int ty = 0; ty < height; ty += 8)
        for (int tx = 0; tx < width; tx += 8) {
            std::vector<uint8_t> p, q;
            for (int y = ty; y < ty + 8 && y < height; y++)
                for (int x = tx; x < tx + 8 && x < width; x++) {
                    p.push_back(a[(size_t)y * width + x]);
                    q.push_back(b[(size_t)y * width + x]);
                }
            worst = std::min(worst, testdata::Psnr(p, q));
        }
    return worst;
}

TEST(PlanesLavc, EveryStreamAndFrameMatchesThePeersPlanes) {
    static const char* const kFiles[] = {
        "sample_625_420.dv", "pal_420_detail.dv", "pal_420_wide_32k.dv", "pal_411.dv",
        "ntsc_411_48k.dv", "ntsc_411_detail.dv", "jj_sony_perfect.dv", "jj_sony_good_quality.dv",
        "jj_sony_head_clog.dv", "dvrescue_cc_525.dv", "meta_tc_525.dv", "dv50_525.dv",
        "dv50_625.dv", "hd_1080i50.dv", "hd_1080i60.dv", "hd_720p60.dv"};
    hvdv_decoder* d = nullptr;
    ASSERT_EQ(hvdv_decoder_create(nullptr, &d), HVDV_OK);
    lavc::DvDecoder peer(1);
    for (const char* name : kFiles) {
        const std::vector<uint8_t> data = testdata::ReadFile(name);
        ASSERT_FALSE(data.empty()) << name;
        hvdv_frame_info info{};
        info.size = sizeof info;
        ASSERT_TRUE(testdata::ProbeFirstFrame(data, &info)) << name;
        double worst = 99, worstHalf = 99, worstTile = 99;
        bool clean = true;
        for (size_t at = 0; at + info.frame_bytes <= data.size(); at += info.frame_bytes) {
            const uint8_t* frame = data.data() + at;
            lavc::Picture ref;
            ASSERT_TRUE(peer.Decode(frame, (int)info.frame_bytes, &ref)) << name;
            const Decoded full = DecodePlanes(d, frame, info.frame_bytes, false);
            ASSERT_EQ(full.result, HVDV_OK) << name;
            clean &= full.clean;
            ASSERT_EQ(full.width[0], ref.width) << name;
            ASSERT_EQ(full.height[0], ref.height) << name;
            ASSERT_EQ(full.width[1], ref.chromaWidth) << name;
            ASSERT_EQ(full.height[1], ref.chromaHeight) << name;
            const std::vector<uint8_t>* want[3] = {&ref.y, &ref.cb, &ref.cr};
            for (int i = 0; i < 3; i++) {
                worst = std::min(worst, testdata::Psnr(full.plane[i], *want[i]));
                worstTile = std::min(worstTile, WorstTile(full.plane[i], *want[i], full.width[i], full.height[i]));
            }
            if (at != 0) continue;
            const Decoded half = DecodePlanes(d, frame, info.frame_bytes, true);
            ASSERT_EQ(half.result, HVDV_OK) << name;
            for (int i = 0; i < 3; i++) {
                const int w = i ? ref.chromaWidth : ref.width;
                worstHalf = std::min(worstHalf, testdata::Psnr(half.plane[i], testdata::Box2x2(*want[i], w, half.width[i],
                                                                                               half.height[i])));
            }
        }
        std::printf("  %-26s planes vs peer: %.2f dB%s, worst 8x8 tile %.2f dB, half size vs its 2x2 means: %.2f dB\n",
                    name, worst, clean ? "" : " (deck-concealed macroblocks)", worstTile, worstHalf);
        if (clean) {
            EXPECT_GE(worstTile, 30.0) << name;
        }
        EXPECT_GE(worst, clean ? 40.0 : 36.0) << name;
        EXPECT_GE(worstHalf, 28.0) << name;
    }
    hvdv_decoder_destroy(d);
}

}  // namespace
