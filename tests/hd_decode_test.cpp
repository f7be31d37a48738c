// Whole-frame decoding of 50 Mb/s and high-definition frames: where one
// macroblock's samples land, frames that must not be decoded, damaged and
// misaddressed DIF blocks, truncated buffers.
#include <gtest/gtest.h>

#include <cstring>
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
    int width, height;  // coded picture
};

const Kind kDV50_625 = {"dv50_625.dv", 288000, 720, 576};
const Kind kDV50_525 = {"dv50_525.dv", 240000, 720, 480};
const Kind k1080i50 = {"hd_1080i50.dv", 576000, 1440, 1080};
const Kind k1080i60 = {"hd_1080i60.dv", 480000, 1280, 1080};
const Kind k720p60 = {"hd_720p60.dv", 240000, 960, 720};

std::vector<uint8_t> Frame(const Kind& k, size_t index) {
    return testdata::Load(k.file, k.frameBytes, (uint32_t)k.height).copy(index);
}

int Decode(const std::vector<uint8_t>& frame, const Kind& k, std::vector<uint8_t>* pic, uint8_t fill = 0,
           uint32_t bytes = 0) {
    pic->assign((size_t)k.width * k.height * 2, fill);
    return DecompressBuffer_DV(frame.data(), bytes ? bytes : (uint32_t)frame.size(), pic->data(), k.width * 2,
                               k.width, k.height, HVDV_FLAG_SINGLE_THREAD, HVDV_FOURCC_UYVY, 0, 0);
}

// Offset of the video DIF block whose ID names channel c, sequence s and
// block 5j + m; -1 when the frame has none.
long FindBlock(const std::vector<uint8_t>& frame, int c, int s, int j, int m) {
    const int fsc = c & 1, fsp = c < 2 ? 1 : 0;
    for (size_t b = 0; b + 80 <= frame.size(); b += 80) {
        const uint8_t* id = &frame[b];
        if ((id[0] >> 5) == 4 && (id[1] >> 4) == s && ((id[1] >> 3) & 1) == fsc && ((id[1] >> 2) & 1) == fsp &&
            id[2] == 5 * j + m)
            return (long)b;
    }
    return -1;
}

// Changing the DC of a macroblock's first luminance block changes the
// picture inside that macroblock and nowhere else.  Positions are those
// observed in real streams; the 720-line macroblocks of channels 1 and 3
// sit in the two pictures of one frame.
TEST(DecodeHD, ChangedDcStaysInItsMacroblock) {
    struct Case {
        const Kind* kind;
        size_t frame;
        int c, s, j, m, x, y, w, h;
    } cases[] = {
        {&kDV50_525, 0, 1, 3, 13, 2, 496, 80, 16, 8},    {&kDV50_625, 1, 1, 11, 26, 4, 704, 184, 16, 8},
        {&k1080i60, 1, 1, 6, 23, 4, 64, 1072, 32, 8},    {&k1080i50, 0, 2, 5, 20, 1, 368, 448, 16, 16},
        {&k720p60, 1, 3, 3, 13, 2, 672, 624, 16, 16},
    };
    for (const Case& t : cases) {
        std::vector<uint8_t> frame = Frame(*t.kind, t.frame);
        ASSERT_FALSE(frame.empty()) << t.kind->file;
        const long b = FindBlock(frame, t.c, t.s, t.j, t.m);
        ASSERT_GE(b, 0) << t.kind->file;
        std::vector<uint8_t> before, after;
        ASSERT_EQ(Decode(frame, *t.kind, &before), 1);
        // The DC is the first 9 bits of the first area (byte 4 of the DIF
        // block on): flip its sign bit.
        frame[(size_t)b + 4] ^= 0x80;
        ASSERT_EQ(Decode(frame, *t.kind, &after), 1);
        int inside = 0, outside = 0;
        for (int y = 0; y < t.kind->height; y++)
            for (int x = 0; x < t.kind->width; x++) {
                const size_t p = ((size_t)y * t.kind->width + x) * 2 + 1;  // luma byte of UYVY
                if (before[p] == after[p]) continue;
                if (x >= t.x && x < t.x + t.w && y >= t.y && y < t.y + t.h) inside++;
                else outside++;
            }
        EXPECT_GE(inside, 32) << t.kind->file << " at " << t.x << "," << t.y;
        EXPECT_EQ(outside, 0) << t.kind->file << " at " << t.x << "," << t.y;
    }
}

// A frame whose source pack says 1035 lines is not decoded: result 0 and
// the picture untouched, on every size.
TEST(DecodeHD, FramesWithoutAMacroblockLayoutAreLeftAlone) {
    std::vector<uint8_t> frame = Frame(k1080i60, 0);
    ASSERT_FALSE(frame.empty());
    ASSERT_EQ(frame[448], 0x60);
    frame[451] = (uint8_t)((frame[451] & 0xE0) | 0x15);
    for (const Kind& k : {k1080i60, Kind{"", 0, 640, 540}}) {
        std::vector<uint8_t> pic;
        EXPECT_EQ(Decode(frame, k, &pic, 0xA5), 0);
        size_t changed = 0;
        for (uint8_t v : pic) changed += v != 0xA5;
        EXPECT_EQ(changed, 0u) << k.width;
    }
}

// DIF blocks whose ID is not a video block of the kind (wrong section type,
// block number out of range, a channel the system does not have) are not
// decoded and count as damaged; the rest of the picture is unchanged.
TEST(DecodeHD, MisaddressedBlocksAreDamagedNotPlaced) {
    struct Case {
        const Kind* kind;
        int byte;       // byte of the ID to change
        uint8_t value;  // new value (or mask to XOR when xorMask)
        bool xorMask;
    } cases[] = {
        {&k1080i60, 2, 200, false},   // DBN beyond 134
        {&k1080i60, 0, 0x20, true},   // section type 4 -> 5
        {&kDV50_625, 1, 0x04, true},  // FSP 0: channels 2/3 in a two-channel system
        {&k720p60, 1, 0xC0, true},    // DIF sequence 12 and up
    };
    for (const Case& t : cases) {
        std::vector<uint8_t> frame = Frame(*t.kind, 0);
        ASSERT_FALSE(frame.empty());
        std::vector<uint8_t> clean, pic;
        ASSERT_EQ(Decode(frame, *t.kind, &clean), 1);
        // The first video block of the second sequence.
        const size_t b = 12000 + 7 * 80;
        ASSERT_EQ(frame[b] >> 5, 4);
        if (t.xorMask) frame[b + t.byte] ^= t.value;
        else frame[b + t.byte] = t.value;
        EXPECT_EQ(Decode(frame, *t.kind, &pic), 2) << t.kind->file << " byte " << t.byte;
        size_t differing = 0;
        for (size_t i = 0; i < pic.size(); i += 2) differing += pic[i + 1] != clean[i + 1];
        // One macroblock's luma at most (the segment's other four keep
        // their own bits, though they lose the spare bits the missing one
        // would have lent).
        EXPECT_LE(differing, (size_t)5 * 16 * 16) << t.kind->file;
    }
    // Every ID unusable: nothing decoded, result 0.
    std::vector<uint8_t> frame = Frame(k1080i50, 0);
    ASSERT_FALSE(frame.empty());
    for (size_t b = 0; b + 80 <= frame.size(); b += 80)
        if ((frame[b] >> 5) == 4) frame[b + 2] = 255;
    std::vector<uint8_t> pic;
    EXPECT_EQ(Decode(frame, k1080i50, &pic), 0);
}

// Frames stored without their header DIF blocks (149 blocks per DIF
// sequence) decode to the same picture.
TEST(DecodeHD, FramesWithoutHeaderBlocks) {
    for (const Kind* k : {&kDV50_525, &k720p60}) {
        const std::vector<uint8_t> whole = Frame(*k, 1);
        ASSERT_FALSE(whole.empty());
        std::vector<uint8_t> stripped;
        for (size_t q = 0; q < whole.size(); q += 12000)
            stripped.insert(stripped.end(), whole.begin() + q + 80, whole.begin() + q + 12000);
        ASSERT_EQ(stripped[0], 0x3F);
        std::vector<uint8_t> a, b;
        EXPECT_EQ(Decode(whole, *k, &a), 1) << k->file;
        EXPECT_EQ(Decode(stripped, *k, &b), 1) << k->file;
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
    struct Case {
        const Kind* kind;
        int frameKind, macroblocks;
    } cases[] = {{&kDV50_625, 0x04, 3240}, {&kDV50_525, 0x05, 2700}, {&k1080i50, 0x24, 6075},
                 {&k1080i60, 0x25, 5400}, {&k720p60, 0x15, 2700}};
    hvdv::SetWriterFactoryForTests(RecordingFactory);
    for (const Case& t : cases) {
        const std::vector<uint8_t> frame = Frame(*t.kind, 0);
        ASSERT_FALSE(frame.empty());
        for (int jobs : {3, 16}) {
            hvdv::SetProcessorCountOverride(jobs);
            hvdv_test::FakeWriter fake;
            g_fake = &fake;
            std::vector<uint8_t> pic((size_t)t.kind->width * t.kind->height * 2);
            EXPECT_EQ(DecompressBuffer_DV(frame.data(), (uint32_t)frame.size(), pic.data(), t.kind->width * 2,
                                          t.kind->width, t.kind->height, 0, HVDV_FOURCC_UYVY, 0, 0),
                      1);
            EXPECT_EQ(g_factoryKind, t.frameKind) << t.kind->file;
            EXPECT_EQ(fake.macroblocks, t.macroblocks) << t.kind->file << " jobs " << jobs;
            for (int i = 0; i < jobs; i++) EXPECT_GT(fake.macroblocksPerIndex[i], 0) << t.kind->file << " job " << i;
        }
    }
    hvdv::SetProcessorCountOverride(0);
    hvdv::SetWriterFactoryForTests(nullptr);
    g_fake = nullptr;
}

// Buffers cut short: blocks beyond the end are never read (the frame is
// copied into a buffer of exactly the given size, so that a sanitizer
// build catches any read past it) and count as damaged.
TEST(DecodeHD, TruncatedBuffersAreReadOnlyWithinTheirSize) {
    for (const Kind* k : {&kDV50_525, &k1080i50, &k720p60}) {
        const std::vector<uint8_t> whole = Frame(*k, 0);
        ASSERT_FALSE(whole.empty());
        for (uint32_t size : {k->frameBytes - 1, k->frameBytes / 2 + 37, 1000u}) {
            std::vector<uint8_t> cut(whole.begin(), whole.begin() + size);
            std::vector<uint8_t> pic;
            const int r = Decode(cut, *k, &pic);
            EXPECT_TRUE(r == 0 || r == 2) << k->file << " size " << size << " result " << r;
        }
    }
}

}  // namespace
