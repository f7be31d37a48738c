// Whole-frame decoding of 50 Mb/s and high-definition frames: frames that
// must not be decoded, damaged and misaddressed DIF blocks, frames without
// header blocks, the jobs' share of the work, truncated buffers.  (Where the
// samples land is checked against libavcodec.)
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "api/decoder.h"
#include "fake_writer.h"
#include "hv_dec_dv.h"
#include "test_streams.h"
#include "threads/platform.h"

namespace {

struct Kind {
    const char* file;
    uint32_t frameBytes;
    int width, height;
};  // coded picture size

const Kind kDV50_625 = {"dv50_625.dv", 288000, 720, 576};
const Kind kDV50_525 = {"dv50_525.dv", 240000, 720, 480};
const Kind k1080i50 = {"hd_1080i50.dv", 576000, 1440, 1080};
const Kind k1080i60 = {"hd_1080i60.dv", 480000, 1280, 1080};
const Kind k720p60 = {"hd_720p60.dv", 240000, 960, 720};

std::vector<uint8_t> Frame(const Kind& k, size_t i) {
    return testdata::Load(k.file, k.frameBytes, 0).copy(i);
}

int Decode(const std::vector<uint8_t>& frame, const Kind& k, std::vector<uint8_t>* pic, uint8_t fill = 0) {
    pic->assign((size_t)k.width * k.height * 2, fill);
    return DecompressBuffer_DV(frame.data(), (uint32_t)frame.size(), pic->data(), k.width * 2, k.width, k.height,
                               HVDV_FLAG_SINGLE_THREAD, HVDV_FOURCC_UYVY, 0, 0);
}

// A frame whose source pack says 1035 lines is not decoded: result 0 and
// the picture untouched, on every size.
TEST(DecodeHD, FramesWithoutAMacroblockLayoutAreLeftAlone) {
    std::vector<uint8_t> frame = Frame(k1080i60, 0);
    ASSERT_EQ(frame.at(448), 0x60);
    frame[451] = (uint8_t)((frame[451] & 0xE0) | 0x15);
    for (const Kind& k : {k1080i60, Kind{"", 0, 640, 540}}) {
        std::vector<uint8_t> pic;
        EXPECT_EQ(Decode(frame, k, &pic, 0xA5), 0);
        EXPECT_EQ(std::count(pic.begin(), pic.end(), 0xA5), (std::ptrdiff_t)pic.size()) << k.width;
    }
}

// DIF blocks whose ID is not a video block of the kind (wrong section type,
// block number out of range, a channel the system does not have) are not
// decoded and count as damaged; the rest of the picture is unchanged.
TEST(DecodeHD, MisaddressedBlocksAreDamagedNotPlaced) {
    // Byte of the ID of the first video block of the second sequence, and
    // the bits flipped in it: DBN 0 -> 200 (beyond 134), section type 4 -> 5,
    // FSP 0 (channels 2/3 in a two-channel system), DIF sequence 12 and up.
    const struct {
        const Kind* kind;
        int byte;
        uint8_t mask;
    } cases[] = {{&k1080i60, 2, 200}, {&k1080i60, 0, 0x20}, {&kDV50_625, 1, 0x04}, {&k720p60, 1, 0xC0}};
    for (const auto& t : cases) {
        std::vector<uint8_t> frame = Frame(*t.kind, 0), clean, pic;
        ASSERT_EQ(Decode(frame, *t.kind, &clean), 1);
        const size_t b = 12000 + 7 * 80;
        ASSERT_TRUE(frame[b] >> 5 == 4 && frame[b + 2] == 0);
        frame[b + t.byte] ^= t.mask;
        EXPECT_EQ(Decode(frame, *t.kind, &pic), 2) << t.kind->file << " byte " << t.byte;
        int differing = 0;
        for (size_t i = 1; i < pic.size(); i += 2) differing += pic[i] != clean[i];
        // One macroblock's luma at most (the segment's other four keep
        // their own bits, though they lose the spare bits the missing one
        // would have lent).
        EXPECT_LE(differing, 5 * 16 * 16) << t.kind->file;
    }
    // Every ID unusable: nothing decoded, result 0.
    std::vector<uint8_t> frame = Frame(k1080i50, 0), pic;
    for (size_t b = 0; b + 80 <= frame.size(); b += 80) frame[b + 2] = (frame[b] >> 5) == 4 ? 255 : frame[b + 2];
    EXPECT_EQ(Decode(frame, k1080i50, &pic), 0);
}

// Frames stored without their header DIF blocks (149 blocks per DIF
// sequence) decode to the same picture.
TEST(DecodeHD, FramesWithoutHeaderBlocks) {
    for (const Kind* k : {&kDV50_525, &k720p60}) {
        const std::vector<uint8_t> whole = Frame(*k, 1);
        std::vector<uint8_t> stripped, a, b;
        for (size_t q = 0; q < whole.size(); q += 12000)
            stripped.insert(stripped.end(), whole.begin() + q + 80, whole.begin() + q + 12000);
        ASSERT_EQ(stripped.at(0), 0x3F);  // a subcode block first
        EXPECT_EQ(Decode(whole, *k, &a) * 10 + Decode(stripped, *k, &b), 11) << k->file;
        EXPECT_TRUE(a == b) << k->file;
    }
}

// The driver picks the kind from the source pack, shares the segments among
// the jobs, and every video macroblock reaches the writer exactly once.
hvdv_test::FakeWriter* g_fake = nullptr;
int g_factoryKind = -1;
hvdv::DVPictureWriter* RecordingFactory(uint32_t, int, int frameKind, int, int) {
    g_factoryKind = frameKind;
    return &g_fake->w;
}

TEST(DecodeHD, JobsShareTheSegmentsAndEveryMacroblockIsPutOnce) {
    const struct {
        const Kind* kind;
        int frameKind, macroblocks;
    } cases[] = {{&kDV50_625, 0x04, 3240},
                 {&kDV50_525, 0x05, 2700},
                 {&k1080i50, 0x24, 6075},
                 {&k1080i60, 0x25, 5400},
                 {&k720p60, 0x15, 2700}};
    hvdv::SetWriterFactoryForTests(RecordingFactory);
    for (const auto& t : cases) {
        const std::vector<uint8_t> frame = Frame(*t.kind, 0);
        for (int jobs : {3, 16}) {
            hvdv::SetProcessorCountOverride(jobs);
            hvdv_test::FakeWriter fake;
            g_fake = &fake;
            std::vector<uint8_t> pic((size_t)t.kind->width * t.kind->height * 2);
            EXPECT_EQ(DecompressBuffer_DV(frame.data(), (uint32_t)frame.size(), pic.data(), t.kind->width * 2,
                                          t.kind->width, t.kind->height, 0, HVDV_FOURCC_UYVY, 0, 0),
                      1);
            EXPECT_TRUE(g_factoryKind == t.frameKind && fake.macroblocks == t.macroblocks)
                << t.kind->file << " jobs " << jobs;
            for (int i = 0; i < jobs; i++) EXPECT_GT(fake.macroblocksPerIndex[i], 0) << t.kind->file << " job " << i;
        }
    }
    hvdv::SetProcessorCountOverride(0);
    hvdv::SetWriterFactoryForTests(nullptr);
}

// Buffers cut short: blocks beyond the end are never read (the frame is
// copied into a buffer of exactly the given size, so that a sanitizer
// build catches any read past it) and count as damaged.
TEST(DecodeHD, TruncatedBuffersAreReadOnlyWithinTheirSize) {
    for (const Kind* k : {&kDV50_525, &k1080i50, &k720p60}) {
        const std::vector<uint8_t> whole = Frame(*k, 0);
        ASSERT_FALSE(whole.empty());
        for (uint32_t size : {k->frameBytes - 1, k->frameBytes / 2 + 37, 1000u}) {
            std::vector<uint8_t> cut(whole.begin(), whole.begin() + size), pic;
            const int r = Decode(cut, *k, &pic);
            EXPECT_TRUE(r == 0 || r == 2) << k->file << " size " << size << " result " << r;
        }
    }
}

}  // namespace
