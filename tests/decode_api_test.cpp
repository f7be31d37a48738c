// Whole-frame decodes through the exported calls on the committed 25 Mb/s
// streams: threads change nothing in the picture, format aliases give the
// same bytes, and the result code follows the DIF block status.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "decode/segments.h"
#include "hv_dec_dv.h"
#include "threads/platform.h"

namespace hvdv {
namespace {

struct Stream {
    const char* file;
    uint32_t frameSize;
    uint32_t height;
};

const Stream kStreams[] = {
    {"sample_625_420.dv", 144000, 576},
    {"ntsc_411_48k.dv", 120000, 480},
    {"pal_411.dv", 144000, 576},
    {"pal_420_wide_32k.dv", 144000, 576},
};

// The first `count` frames of a stream (fewer if the file is shorter).
std::vector<std::vector<uint8_t>> ReadFrames(const Stream& s, int count) {
    std::vector<std::vector<uint8_t>> frames;
    const std::string path = std::string(HVDV_TEST_DATA_DIR) + "/" + s.file;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        for (int i = 0; i < count; ++i) {
            std::vector<uint8_t> frame(s.frameSize);
            if (std::fread(frame.data(), 1, frame.size(), f) != frame.size()) break;
            frames.push_back(std::move(frame));
        }
        std::fclose(f);
    }
    return frames;
}

struct Picture {
    uint32_t width, height;
    int bytesPerPixel;
    std::vector<uint8_t> bytes;
    // slackRows: rows below the picture that a writer may reach (a
    // wide-screen frame placed lower in a half-size picture).
    Picture(uint32_t w, uint32_t h, int bpp, uint32_t slackRows = 0) : width(w), height(h), bytesPerPixel(bpp) {
        // A value no conversion of a whole picture leaves everywhere, so a row
        // that no job wrote shows up in the comparisons.
        bytes.assign((size_t)w * (h + slackRows) * bpp, 0xA5);
    }
    int32_t pitch() const { return (int32_t)(width * bytesPerPixel); }
};

int32_t Decode(DVDecInstance* instance, const std::vector<uint8_t>& frame, Picture* p, uint32_t flags,
               uint32_t fourcc) {
    if (instance)
        return DVDecompressBuffer(instance, frame.data(), (uint32_t)frame.size(), p->bytes.data(), p->pitch(),
                                  p->width, p->height, flags, fourcc, 0, 0);
    return DecompressBuffer_DV(frame.data(), (uint32_t)frame.size(), p->bytes.data(), p->pitch(), p->width,
                               p->height, flags, fourcc, 0, 0);
}

class DecodeApiTest : public ::testing::Test {
protected:
    void TearDown() override { SetProcessorCountOverride(0); }
};

TEST_F(DecodeApiTest, ThreadsGiveTheSinglePicture) {
    struct Format {
        uint32_t fourcc;
        int bpp;
        uint32_t widthDivisor;  // 1 full size, 2 half size
        uint32_t flags;
        bool everyRow;          // every picture row is written
    } formats[] = {{HVDV_FOURCC_YUY2, 2, 1, 0, true},
                   {HVDV_FOURCC_BGR4, 4, 1, 0, true},
                   {HVDV_FOURCC_UYVY, 2, 2, HVDV_FLAG_IGNORE_WIDE, true},
                   // Half-size wide-screen frames are letterboxed: the top
                   // rows stay as they were.
                   {HVDV_FOURCC_UYVY, 2, 2, 0, false}};
    DVDecInstance* instance = DVNewDec();
    ASSERT_NE(instance, nullptr);
    for (const Stream& s : kStreams) {
        const auto frames = ReadFrames(s, 2);
        ASSERT_FALSE(frames.empty()) << s.file;
        for (const Format& f : formats) {
            const uint32_t w = 720 / f.widthDivisor, h = s.height / f.widthDivisor;
            for (const auto& frame : frames) {
                Picture single(w, h, f.bpp, 40);
                EXPECT_EQ(Decode(nullptr, frame, &single, HVDV_FLAG_SINGLE_THREAD | f.flags, f.fourcc), 1) << s.file;
                // No row of the single-thread picture is left as it was.
                const size_t row = (size_t)single.pitch();
                for (size_t y = 0; f.everyRow && y < h; ++y) {
                    const auto first = single.bytes.begin() + (std::ptrdiff_t)(y * row);
                    ASSERT_NE(std::count(first, first + (std::ptrdiff_t)row, 0xA5), (std::ptrdiff_t)row)
                        << s.file << " row " << y;
                }
                for (int jobs : {2, 4, 16}) {
                    SetProcessorCountOverride(jobs);
                    for (DVDecInstance* inst : {(DVDecInstance*)nullptr, instance}) {
                        Picture multi(w, h, f.bpp, 40);
                        EXPECT_EQ(Decode(inst, frame, &multi, f.flags, f.fourcc), 1) << s.file;
                        EXPECT_TRUE(multi.bytes == single.bytes)
                            << s.file << " " << w << "x" << h << " " << jobs << " jobs"
                            << (inst ? " with an instance" : "");
                    }
                }
                SetProcessorCountOverride(0);
            }
        }
    }
    DVDoneDec(instance);
}

TEST_F(DecodeApiTest, AliasesGiveIdenticalPictures) {
    struct Pair {
        uint32_t a, b;
        int bpp;
    } pairs[] = {{HVDV_FOURCC_YuYv, HVDV_FOURCC_YUY2, 2}, {HVDV_FOURCC_YUYV, HVDV_FOURCC_YUY2, 2},
                 {HVDV_FOURCC_UyVy, HVDV_FOURCC_UYVY, 2}, {HVDV_FOURCC_BGRA, HVDV_FOURCC_BGR4, 4}};
    const Stream& s = kStreams[0];
    const auto frames = ReadFrames(s, 1);
    ASSERT_EQ(frames.size(), 1u);
    for (const Pair& p : pairs) {
        Picture a(720, s.height, p.bpp), b(720, s.height, p.bpp);
        EXPECT_EQ(Decode(nullptr, frames[0], &a, 0, p.a), 1);
        EXPECT_EQ(Decode(nullptr, frames[0], &b, 0, p.b), 1);
        EXPECT_TRUE(a.bytes == b.bytes) << std::hex << p.a << " vs " << p.b;
    }
}

TEST_F(DecodeApiTest, ResultFollowsTheDifBlockStatus) {
    SetProcessorCountOverride(4);
    for (const Stream& s : {kStreams[0], kStreams[1]}) {
        const auto frames = ReadFrames(s, 1);
        ASSERT_EQ(frames.size(), 1u);
        const int macroblocks = s.height == 480 ? 1350 : 1620;
        const uint32_t* payload = BlockOffsetTable(1);
        // marked macroblocks (every `step`-th, `count` of them), status value, result
        struct Case {
            int count, step;
            uint8_t status;
            int32_t result;
        } cases[] = {{0, 1, 0x1, 1},           {1, 1, 0x1, 2},          {1, 1, 0x8, 1},
                     {7, 191, 0x3, 2},         {macroblocks - 1, 1, 0x1, 2}, {macroblocks, 1, 0x1, 0},
                     {macroblocks, 1, 0xF, 0}};
        for (const Case& c : cases) {
            std::vector<uint8_t> frame = frames[0];
            for (int i = 0; i < c.count; ++i) {
                uint8_t& staQno = frame[payload[(size_t)i * c.step]];
                staQno = (uint8_t)((staQno & 0x0F) | (c.status << 4));
            }
            for (uint32_t flags : {0u, HVDV_FLAG_SINGLE_THREAD}) {
                Picture p(720, s.height, 2);
                EXPECT_EQ(Decode(nullptr, frame, &p, flags, HVDV_FOURCC_YUY2), c.result)
                    << s.file << ": " << c.count << " marked with status " << (int)c.status;
                if (c.result == 0) {
                    EXPECT_NE(p.bytes, std::vector<uint8_t>(p.bytes.size(), 0xA5)) << "the picture is still written";
                }
            }
        }
    }
}

TEST_F(DecodeApiTest, ConcurrentStatelessCallsAgree) {
    SetProcessorCountOverride(3);
    const Stream& s = kStreams[2];
    const auto frames = ReadFrames(s, 2);
    ASSERT_FALSE(frames.empty());
    std::vector<Picture> reference;
    for (const auto& frame : frames) {
        reference.emplace_back(720, s.height, 3);
        ASSERT_EQ(Decode(nullptr, frame, &reference.back(), HVDV_FLAG_SINGLE_THREAD, HVDV_FOURCC_BGR3), 1);
    }
    constexpr int kCallers = 6;
    std::vector<int> mismatches(kCallers, 0);
    std::vector<std::thread> callers;
    for (int t = 0; t < kCallers; ++t)
        callers.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round)
                for (size_t i = 0; i < frames.size(); ++i) {
                    Picture p(720, s.height, 3);
                    if (Decode(nullptr, frames[i], &p, 0, HVDV_FOURCC_BGR3) != 1 || p.bytes != reference[i].bytes)
                        ++mismatches[t];
                }
        });
    for (auto& c : callers) c.join();
    for (int t = 0; t < kCallers; ++t) EXPECT_EQ(mismatches[t], 0) << "caller " << t;
}

}  // namespace
}  // namespace hvdv
