// Pieces of the hvdv command-line tool: frame ranges, concealment and PNG
// output read back with libpng (tests/cli_decode.cmake checks the geometry
// and planes of every committed stream against FFmpeg's).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "decode_setup.h"
#include "frame_work.h"
#include "hv_dec_dv.h"
#include "png_out.h"
#include "test_streams.h"

namespace {

TEST(CliFrameRange, Parsing) {
    const struct {
        const char* text;
        bool ok;
        uint64_t first, last;
    } cases[] = {{"7", true, 7, 7},           {"2-5", true, 2, 5},    {"3-3", true, 3, 3},
                 {"4-", true, 4, UINT64_MAX}, {"5-2", false, 0, 0},   {"-3", false, 0, 0},
                 {"", false, 0, 0},           {"1-2-3", false, 0, 0}, {"1 ", false, 0, 0},
                 {"+1", false, 0, 0},         {"1-x", false, 0, 0},   {"99999999999999999999", false, 0, 0}};
    uint64_t first = 111, last = 222;
    for (const auto& c : cases)
        EXPECT_TRUE(hvdv_cli::ParseFrameRange(c.text, &first, &last) == c.ok &&
                    (!c.ok || (first == c.first && last == c.last)))
            << '"' << c.text << '"';
}

// --conceal: a 625/50 frame with damage, after a different picture of the
// same kind.  Every sample of a damaged macroblock (16x16 luma, 8x8 of each
// 4:2:0 chroma plane) must be the previous picture's; every other sample the
// plain decode's.  Damage by an odd STA on a few video blocks (the data is
// in error) and by cutting the frame short (the last two DIF sequences are
// missing).
TEST(CliConceal, DamagedMacroblocksKeepThePreviousPicture) {
    const std::vector<uint8_t> previousFrame = testdata::ReadFile("pal_420_detail.dv");
    const std::vector<uint8_t> sample = testdata::ReadFile("sample_625_420.dv");
    const size_t frameBytes = 144000;
    hvdv_cli::DecodeSettings s;
    hvdv_frame_info info{};
    info.size = sizeof info;
    ASSERT_EQ(hvdv_probe_frame(sample.data(), frameBytes, &info), HVDV_OK);
    s.kind = info.kind;
    s.planes = hvdv_cli::ChoosePlanes(info, nullptr, false);
    hvdv_decoder* decoder = nullptr;
    ASSERT_EQ(hvdv_decoder_create(nullptr, &decoder), HVDV_OK);

    for (const char* damage : {"sta", "cut"}) {
        SCOPED_TRACE(damage);
        std::vector<uint8_t> damaged(sample.begin() + frameBytes, sample.begin() + 2 * frameBytes);
        if (damage == std::string("sta")) {
            // Video DIF blocks (section type 4) of sequence 3: STA 7 on every
            // ninth.
            for (size_t b = 150 * 3, n = 0; b < 150 * 4; ++b)
                if ((damaged[b * 80] >> 5) == 4 && n++ % 9 == 0) damaged[b * 80 + 3] = uint8_t(0x70 | (damaged[b * 80 + 3] & 15));
        } else {
            damaged.resize(frameBytes - 2 * 12000);
        }
        hvdv_cli::Concealer concealer;
        ASSERT_TRUE(concealer.Init(0));
        hvdv_cli::FrameWork previous, plain, concealed;
        previous.input.bytes.assign(previousFrame.begin(), previousFrame.begin() + frameBytes);
        plain.input.bytes = concealed.input.bytes = damaged;
        hvdv_cli::DecodeFrame(decoder, s, &previous);
        hvdv_cli::DecodeFrame(decoder, s, &plain);
        concealer.Apply(s, &previous);
        hvdv_cli::DecodeFrame(decoder, s, &concealed);
        concealer.Apply(s, &concealed);
        ASSERT_EQ(std::vector<int>({previous.video, concealed.video}), std::vector<int>({HVDV_OK, HVDV_OK}));

        // The damage map of the frame, and a mask of the damaged samples.
        hvdv_damage map{};
        map.size = sizeof map;
        std::vector<uint8_t> scratch(s.planes.bytes);
        hvdv_picture picture{};
        picture.size = sizeof picture;
        for (int i = 0; i < 3; ++i) {
            picture.data[i] = scratch.data() + s.planes.offset[i];
            picture.pitch[i] = int32_t(s.planes.width[i]);
        }
        ASSERT_EQ(hvdv_decode_video(decoder, damaged.data(), damaged.size(), &picture, 0, nullptr, &map), HVDV_OK);
        EXPECT_EQ(concealed.damagedMacroblocks, map.damaged);
        ASSERT_GT(map.damaged, 0u);
        std::vector<bool> kept(s.planes.bytes, false);
        for (uint32_t m = 0; m < map.macroblock_count; ++m) {
            const hvdv_macroblock& mb = map.macroblocks[m];
            if (!(mb.flags & (HVDV_MB_ERROR | HVDV_MB_MISSING | HVDV_MB_BAD_ID)) || mb.x == 0xFFFF) continue;
            for (int p = 0; p < 3; ++p) {
                const uint32_t size = p ? 8 : 16, x0 = p ? mb.x / 2 : mb.x, y0 = p ? mb.y / 2 : mb.y;
                for (uint32_t y = y0; y < y0 + size; ++y)
                    for (uint32_t x = x0; x < x0 + size; ++x) kept[s.planes.offset[p] + y * s.planes.width[p] + x] = true;
            }
        }
        size_t keptSamples = 0, differing = 0, wrong = 0;
        for (size_t i = 0; i < kept.size(); ++i) {
            keptSamples += kept[i];
            differing += kept[i] && previous.picture[i] != plain.picture[i];
            wrong += concealed.picture[i] != (kept[i] ? previous.picture[i] : plain.picture[i]);
        }
        EXPECT_EQ(wrong, 0u) << "of " << kept.size() << " samples, " << keptSamples << " kept";
        EXPECT_GT(differing, keptSamples / 2);  // the two pictures differ there
    }
    hvdv_decoder_destroy(decoder);
}

}  // namespace

#if defined(HVDV_CLI_PNG)
#include <png.h>

// A synthetic B, G, R picture with padded rows, written and read back by
// libpng as B, G, R; the pixel aspect goes in the pHYs chunk as pixels per
// unit (a pixel 16/15 as wide as high has 15 across for 16 down).
TEST(CliPng, RoundTrip) {
    const uint32_t width = 37, height = 11, pitch = width * 3 + 5;
    std::vector<uint8_t> bgr(pitch * height, 0xEE), back(pitch * height, 0xEE);
    for (uint32_t i = 0; i < width * 3 * height; ++i)
        bgr[i / (width * 3) * pitch + i % (width * 3)] = uint8_t(i * 7 + i / 5);
    const std::string path = ::testing::TempDir() + testdata::ProcessOwn("hvdv_cli_util_test_round_trip.png");
    std::string error;
    ASSERT_TRUE(hvdv_cli::WritePngFromBgr(path, bgr.data(), int32_t(pitch), width, height, 16, 15, &error)) << error;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << image.message;
    // 8-bit RGB, no alpha.
    EXPECT_EQ(std::vector<uint32_t>({image.width, image.height, image.format}),
              std::vector<uint32_t>({width, height, PNG_FORMAT_RGB}));
    image.format = PNG_FORMAT_BGR;
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, back.data(), int32_t(pitch), nullptr)) << image.message;
    EXPECT_TRUE(back == bgr);
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto phys = std::search(file.begin(), file.end(), std::begin("pHYs"), std::end("pHYs") - 1) + 4;
    ASSERT_LE(phys + 9, file.end());
    EXPECT_EQ(std::vector<uint8_t>(phys, phys + 9), std::vector<uint8_t>({0, 0, 0, 15, 0, 0, 0, 16, 0}));
    std::remove(path.c_str());
}
#endif
