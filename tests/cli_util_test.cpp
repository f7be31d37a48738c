// Pieces of the hvdv command-line tool: MD5 against published digests,
// pixel format names, frame ranges, the decode geometry of the committed
// streams against ffprobe, the YUV4MPEG2 header and planar split, and PNG
// output read back with libpng.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "decode_setup.h"
#include "info_test_util.h"
#include "md5.h"
#include "png_out.h"
#include "y4m.h"

#if defined(HVDV_CLI_PNG)
#include <png.h>
#endif

namespace {

using hvdv_cli::PictureGeometry;

// RFC 1321 appendix A.5, then lengths around the 56-byte padding limit and
// one long message (digests from Python's hashlib).
struct Md5Case {
    std::string message;
    const char* digest;
};

const Md5Case kMd5Cases[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
    {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
    {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
    {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
    {std::string(65, 'a'), "c743a45e0d2e6a95cb859adae0248435"},
    {std::string(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21"},
};

TEST(CliMd5, PublishedDigestsInOneGoAndInPieces) {
    hvdv_cli::Md5 md5;
    for (const Md5Case& c : kMd5Cases) {
        SCOPED_TRACE("length " + std::to_string(c.message.size()));
        md5.Update(c.message.data(), c.message.size());
        EXPECT_EQ(md5.HexDigest(), c.digest);
        // The same bytes in uneven pieces (crossing block boundaries at
        // every offset); the object is reusable after a digest.
        for (size_t piece : {1, 63, 65}) {
            for (size_t at = 0; at < c.message.size(); at += piece)
                md5.Update(c.message.data() + at, std::min(piece, c.message.size() - at));
            EXPECT_EQ(md5.HexDigest(), c.digest) << "pieces of " << piece;
        }
    }
}

TEST(CliFourcc, NamesSpellTheirCodes) {
    const std::string names = hvdv_cli::FourccNames();
    int count = 0;
    for (size_t at = 0; at < names.size(); at += 5, ++count) {
        const std::string name = names.substr(at, 4);
        uint32_t fourcc = 0;
        ASSERT_TRUE(hvdv_cli::FourccFromName(name, &fourcc)) << name;
        // First character in the lowest byte.
        EXPECT_EQ(fourcc, HVDV_FOURCC(name[0], name[1], name[2], name[3])) << name;
        EXPECT_NE(hvdv_cli::BytesPerPixel(fourcc), 0u) << name;
    }
    EXPECT_EQ(count, 13);
    uint32_t fourcc = 0;
    for (const char* bad : {"yuy2", "UYV", "UYVY ", "", "RGB3"}) EXPECT_FALSE(hvdv_cli::FourccFromName(bad, &fourcc)) << bad;
    // Sizes that the output buffers depend on.
    EXPECT_EQ(hvdv_cli::BytesPerPixel(HVDV_FOURCC_UYVY), 2u);
    EXPECT_EQ(hvdv_cli::BytesPerPixel(HVDV_FOURCC_BGR3), 3u);
    EXPECT_EQ(hvdv_cli::BytesPerPixel(HVDV_FOURCC_R32C), 4u);
    EXPECT_EQ(hvdv_cli::BytesPerPixel(HVDV_FOURCC('N', 'O', 'N', 'E')), 0u);
}

TEST(CliFrameRange, Parsing) {
    struct Case {
        const char* text;
        bool ok;
        uint64_t first, last;
    };
    const Case cases[] = {
        {"7", true, 7, 7},  {"2-5", true, 2, 5},   {"3-3", true, 3, 3},     {"4-", true, 4, UINT64_MAX},
        {"5-2", false, 0, 0}, {"-3", false, 0, 0}, {"", false, 0, 0},     {"1-2-3", false, 0, 0},
        {"1 ", false, 0, 0},  {"+1", false, 0, 0}, {"1-x", false, 0, 0},
        {"99999999999999999999", false, 0, 0},
    };
    for (const Case& c : cases) {
        uint64_t first = 111, last = 222;
        EXPECT_EQ(hvdv_cli::ParseFrameRange(c.text, &first, &last), c.ok) << '"' << c.text << '"';
        if (c.ok) {
            EXPECT_EQ(first, c.first) << c.text;
            EXPECT_EQ(last, c.last) << c.text;
        }
    }
}

DVStreamInfoEx StreamInfo(const std::string& name) {
    const std::vector<uint8_t> bytes = hvdv_test::ReadStream(name);
    DVStreamInfoEx info{};
    info.size = sizeof info;
    EXPECT_EQ(DVGetInfoEx(bytes.data(), int32_t(bytes.size()), &info, nullptr, nullptr), HVDV_INFO_OK) << name;
    return info;
}

// Picture sizes and sample aspect ratios as ffprobe reports them for the
// committed streams (high definition at its coded width, and at the display
// width with square pixels).
TEST(CliGeometry, CommittedStreams) {
    struct Case {
        const char* file;
        bool coded;
        uint32_t width, height;
        char interlace;
        uint32_t sarX, sarY;
    };
    const Case cases[] = {
        {"sample_625_420.dv", false, 720, 576, 'b', 16, 15}, {"pal_420_wide_32k.dv", false, 720, 576, 'b', 64, 45},
        {"ntsc_411_48k.dv", false, 720, 480, 'b', 8, 9},      {"dv50_525.dv", false, 720, 480, 'b', 8, 9},
        {"hd_720p60.dv", true, 960, 720, 'p', 4, 3},           {"hd_720p60.dv", false, 1280, 720, 'p', 1, 1},
        {"hd_1080i50.dv", true, 1440, 1080, 't', 4, 3},        {"hd_1080i60.dv", true, 1280, 1080, 't', 3, 2},
        {"hd_1080i60.dv", false, 1920, 1080, 't', 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const DVStreamInfoEx info = StreamInfo(c.file);
        for (bool half : {false, true}) {
            for (uint32_t fourcc : {HVDV_FOURCC_BGR3}) {
                PictureGeometry g;
                std::string reason;
                ASSERT_TRUE(hvdv_cli::ChooseGeometry(info, half, c.coded, fourcc, &g, &reason)) << reason;
                EXPECT_EQ(g.width, half ? c.width / 2 : c.width);
                EXPECT_EQ(g.height, half ? c.height / 2 : c.height);
                EXPECT_EQ(uint32_t(g.pitch), g.width * hvdv_cli::BytesPerPixel(fourcc));
                EXPECT_EQ(g.interlace, c.interlace);
                // Half size halves both directions: the pixel aspect stays.
                EXPECT_EQ(g.pixelAspectX, c.sarX);
                EXPECT_EQ(g.pixelAspectY, c.sarY);
            }
        }
    }
    PictureGeometry g;
    std::string reason;
    EXPECT_FALSE(
        hvdv_cli::ChooseGeometry(StreamInfo("sample_625_420.dv"), false, false, 0x12345678u, &g, &reason));
}

TEST(CliY4m, StreamHeader) {
    PictureGeometry g;
    std::string reason;
    ASSERT_TRUE(hvdv_cli::ChooseGeometry(StreamInfo("ntsc_411_48k.dv"), false, false, HVDV_FOURCC_UYVY, &g, &reason));
    EXPECT_EQ(hvdv_cli::Y4mStreamHeader(g, 30000, 1001), "YUV4MPEG2 W720 H480 F30000:1001 Ib A8:9 C422\n");
    ASSERT_TRUE(hvdv_cli::ChooseGeometry(StreamInfo("pal_420_wide_32k.dv"), true, false, HVDV_FOURCC_UYVY, &g, &reason));
    EXPECT_EQ(hvdv_cli::Y4mStreamHeader(g, 25, 1), "YUV4MPEG2 W360 H288 F25:1 Ib A64:45 C422\n");
}

// Every byte of the packed picture names its row, pixel pair and component;
// the padding at the end of each row must not reach the planes.
TEST(CliY4m, UyvyToPlanar) {
    struct Size {
        uint32_t width, height, padding;
    };
    for (const Size s : {Size{2, 1, 0}, Size{360, 5, 6}}) {
        SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height));
        const int32_t pitch = int32_t(s.width * 2 + s.padding);
        std::vector<uint8_t> packed(size_t(pitch) * s.height, 0xEE);
        auto tag = [](uint32_t row, uint32_t pair, int component) { return uint8_t(row * 53 + pair * 4 + component); };
        for (uint32_t row = 0; row < s.height; ++row)
            for (uint32_t pair = 0; pair < s.width / 2; ++pair)
                for (int k = 0; k < 4; ++k) packed[row * pitch + pair * 4 + k] = tag(row, pair, k);
        const size_t luma = size_t(s.width) * s.height, chroma = luma / 2;
        std::vector<uint8_t> planes(luma + 2 * chroma + 1, 0x5A);  // one guard byte
        hvdv_cli::UyvyToPlanar422(packed.data(), pitch, s.width, s.height, planes.data(), planes.data() + luma,
                                  planes.data() + luma + chroma);
        EXPECT_EQ(planes.back(), 0x5A);
        for (uint32_t row = 0; row < s.height; ++row) {
            for (uint32_t x = 0; x < s.width; ++x)
                ASSERT_EQ(planes[row * s.width + x], tag(row, x / 2, x % 2 ? 3 : 1)) << "Y " << row << "," << x;
            for (uint32_t pair = 0; pair < s.width / 2; ++pair) {
                ASSERT_EQ(planes[luma + row * (s.width / 2) + pair], tag(row, pair, 0)) << "U " << row;
                ASSERT_EQ(planes[luma + chroma + row * (s.width / 2) + pair], tag(row, pair, 2)) << "V " << row;
            }
        }
    }
}

#if defined(HVDV_CLI_PNG)

std::string TempPath(const std::string& name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/hvdv_cli_util_test_" + name;
}

// Writes a synthetic B, G, R picture with padded rows and reads it back.
TEST(CliPng, RoundTrip) {
    const uint32_t width = 37, height = 11;
    const int32_t pitch = int32_t(width * 3 + 5);
    std::vector<uint8_t> bgr(size_t(pitch) * height, 0xEE);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            for (int k = 0; k < 3; ++k) bgr[y * pitch + x * 3 + k] = uint8_t(x * 7 + y * 31 + k * 85);
    const std::string path = TempPath("round_trip.png");
    std::string error;
    ASSERT_TRUE(hvdv_cli::WritePngFromBgr(path, bgr.data(), pitch, width, height, 16, 15, &error)) << error;

    FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    ASSERT_EQ(setjmp(png_jmpbuf(png)), 0) << "libpng could not read the file back";
    png_init_io(png, f);
    png_read_info(png, info);
    ASSERT_EQ(png_get_image_width(png, info), width);
    ASSERT_EQ(png_get_image_height(png, info), height);
    ASSERT_EQ(png_get_color_type(png, info), PNG_COLOR_TYPE_RGB);
    ASSERT_EQ(png_get_bit_depth(png, info), 8);
    png_uint_32 resX = 0, resY = 0;
    int unit = -1;
    ASSERT_TRUE(png_get_pHYs(png, info, &resX, &resY, &unit));
    // Pixels per unit: a pixel 16/15 as wide as high has 15 across for 16 down.
    EXPECT_EQ(resX, 15u);
    EXPECT_EQ(resY, 16u);
    EXPECT_EQ(unit, PNG_RESOLUTION_UNKNOWN);
    std::vector<uint8_t> row(width * 3);
    for (uint32_t y = 0; y < height; ++y) {
        png_read_row(png, row.data(), nullptr);
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* p = &bgr[y * pitch + x * 3];
            ASSERT_EQ(row[x * 3 + 0], p[2]) << "R at " << x << "," << y;
            ASSERT_EQ(row[x * 3 + 1], p[1]) << "G at " << x << "," << y;
            ASSERT_EQ(row[x * 3 + 2], p[0]) << "B at " << x << "," << y;
        }
    }
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    std::remove(path.c_str());
}

TEST(CliPng, UnwritablePath) {
    const uint8_t pixel[3] = {1, 2, 3};
    std::string error;
    EXPECT_FALSE(hvdv_cli::WritePngFromBgr(TempPath("no_such_dir/x.png"), pixel, 3, 1, 1, 1, 1, &error));
    EXPECT_FALSE(error.empty());
}

#endif

}  // namespace
