// Damaged and cut-short frames through the exported decode calls: the result
// code follows the DIF block status and the blocks missing from the buffer,
// nothing is written outside the caller's picture (guard bytes and row
// padding stay as they were), and damage does not make the picture depend on
// the number of threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "build_kind.h"
#include "guarded_picture.h"
#include "hv_dec_dv.h"
#include "test_streams.h"

namespace {

using hvdv_test::GuardedPicture;

constexpr uint32_t kDifBlock = 80;

// Start of video DIF block v (0-134) of DIF sequence s: a sequence of 150
// blocks is the header block, two subcode blocks, three VAUX blocks, then
// nine runs of one audio and fifteen video blocks.
uint32_t VideoBlock(uint32_t s, uint32_t v) {
    return (s * 150 + 7 + v + v / 15) * kDifBlock;
}

// 1 when every video DIF block lies inside frameSize and none has STA bit 0
// (the upper nibble of the byte after the 3-byte ID) set, 0 when none is
// usable, 2 otherwise.
int32_t ExpectedResult(const std::vector<uint8_t>& frame, uint32_t frameSize, uint32_t sequences) {
    uint32_t bad = 0;
    for (uint32_t i = 0; i < sequences * 135; ++i) {
        const uint32_t b = VideoBlock(i / 135, i % 135);
        if (b + kDifBlock > frameSize || (frame[b + 3] & 0x10)) ++bad;
    }
    return bad == 0 ? 1 : bad == sequences * 135 ? 0 : 2;
}

// A picture format, half size or not, row padding, bottom-up or not, flags.
struct Output {
    uint32_t fourcc, bytesPerPixel;
    bool half;
    uint32_t padding;
    bool bottomUp;
    uint32_t flags;
};

const Output kOutputs[] = {
    {HVDV_FOURCC_YUY2, 2, false, 0, false, 0},
    {HVDV_FOURCC_UYVY, 2, true, 24, true, 0},
    {HVDV_FOURCC_BGR3, 3, false, 5, true, HVDV_FLAG_SWAP_FIELDS},
    {HVDV_FOURCC_R565, 2, false, 2, false, HVDV_FLAG_SINGLE_PASS},
    {HVDV_FOURCC_VUYA, 4, true, 0, false, HVDV_FLAG_IGNORE_WIDE},
    {HVDV_FOURCC_R32C, 4, false, 3, true, 0},
    {HVDV_FOURCC_R555, 2, true, 1, false, 0},
};

struct Source {
    testdata::Stream stream;
    uint32_t sequences;
};

std::vector<Source> Sources() {
    return {{testdata::Load("sample_625_420.dv", 144000, 576), 12},
            {testdata::Load("ntsc_411_48k.dv", 120000, 480), 10},
            {testdata::Load("pal_411.dv", 144000, 576), 12}};
}

struct Decoded {
    int32_t result;
    std::string trespass;
    std::vector<uint8_t> rows;
};

// Decodes the first frameSize bytes of frame from an exact-size copy (a read
// past frameSize falls outside it) into a guarded w x h picture.
Decoded Decode(DVDecInstance* instance, const std::vector<uint8_t>& frame, uint32_t frameSize, uint32_t w, uint32_t h,
               const Output& o, uint32_t extraFlags = 0) {
    GuardedPicture p(w, h, o.bytesPerPixel, o.padding, o.bottomUp);
    const std::vector<uint8_t> bytes(frame.begin(), frame.begin() + frameSize);
    const uint32_t flags = o.flags | extraFlags;
    const int32_t r =
        instance
            ? DVDecompressBuffer(instance, bytes.data(), frameSize, p.Top(), p.Pitch(), w, h, flags, o.fourcc, 0, 0)
            : DecompressBuffer_DV(bytes.data(), frameSize, p.Top(), p.Pitch(), w, h, flags, o.fourcc, 0, 0);
    return {r, p.Trespass(), p.Rows()};
}

Decoded Decode(DVDecInstance* instance, const std::vector<uint8_t>& frame, uint32_t height, const Output& o,
               uint32_t extraFlags = 0) {
    return Decode(instance, frame, (uint32_t)frame.size(), o.half ? 360 : 720, o.half ? height / 2 : height, o,
                  extraFlags);
}

class Damage : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(instance_ = DVNewDec(), nullptr); }
    void TearDown() override { DVDoneDec(instance_); }
    DVDecInstance* instance_ = nullptr;
};

TEST_F(Damage, TruncatedAtEveryDifBlockBoundary) {
    // Outputs and both calls take turns over the sizes, from no bytes at all
    // to the whole frame; under the sanitizers or an emulator a thinner sample.
    for (const Source& src : Sources()) {
        const std::vector<uint8_t> frame = src.stream.copy(0);
        ASSERT_FALSE(frame.empty()) << src.stream.name;
        const uint32_t blocks = src.stream.frameBytes / kDifBlock, h = src.stream.height;
        int counts[3] = {};
        for (uint32_t k = 0; k <= blocks; ++k) {
            if (hvdv_test::kThinSample && k % 13 != 0 && k > 10 && k + 3 < blocks) continue;
            const uint32_t size = k * kDifBlock - (k % 7 == 3 ? 1 : 0);  // one byte short now and then
            const Output& o = kOutputs[k % (sizeof kOutputs / sizeof kOutputs[0])];
            const Decoded d =
                Decode(k % 2 ? instance_ : nullptr, frame, size, o.half ? 360 : 720, o.half ? h / 2 : h, o);
            const int32_t expected = ExpectedResult(frame, size, src.sequences);
            ASSERT_EQ(d.result, expected) << src.stream.name << " cut to " << size << " bytes";
            ASSERT_EQ(d.trespass, "") << src.stream.name << " cut to " << size << " bytes";
            ++counts[expected];
        }
        EXPECT_TRUE(counts[0] > 0 && counts[1] > 0 && counts[2] > 0);  // every outcome reached
    }
}

TEST_F(Damage, CorruptFramesStayInsideThePictureAndDoNotDependOnThreads) {
    // kStatus gives count per mille of the video blocks a random nonzero STA
    // value (kStatusOdd: every block an odd one, so all are in error).
    enum Kind { kStatus, kStatusOdd, kFlipVideoBytes, kZeroBlocks, kRandomFrame, kRandomVideoPayloads };
    const struct {
        Kind kind;
        uint32_t count;
    } cases[] = {{kStatus, 0},
                 {kStatus, 1},
                 {kStatus, 300},
                 {kStatus, 1000},
                 {kStatusOdd, 0},
                 {kFlipVideoBytes, 40},
                 {kFlipVideoBytes, 20000},
                 {kZeroBlocks, 300},
                 {kRandomFrame, 0},
                 {kRandomVideoPayloads, 0}};
    std::mt19937 rng(77);
    for (const Source& src : Sources())
        for (const auto& c : cases) {
            std::vector<uint8_t> frame = src.stream.copy(0);
            const uint32_t total = src.sequences * 135;
            for (uint32_t mb = 0; mb < total && c.kind <= kStatusOdd; ++mb) {
                if (c.kind == kStatus && rng() % 1000 >= c.count) continue;
                uint8_t& staQno = frame[VideoBlock(mb / 135, mb % 135) + 3];
                staQno = (uint8_t)((staQno & 0x0F) | (((1 + rng() % 15) | (c.kind == kStatusOdd)) << 4));
            }
            if (c.kind == kFlipVideoBytes)
                for (uint32_t i = 0, mb = rng() % total; i < c.count; ++i, mb = rng() % total)
                    frame[VideoBlock(mb / 135, mb % 135) + 3 + rng() % 77] ^= (uint8_t)(1 + rng() % 255);
            if (c.kind == kZeroBlocks)
                for (uint32_t i = 0; i < c.count; ++i)
                    std::fill_n(frame.begin() + rng() % (frame.size() / kDifBlock) * kDifBlock, kDifBlock, 0);
            if (c.kind == kRandomFrame)
                for (uint8_t& b : frame) b = (uint8_t)rng();
            if (c.kind == kRandomVideoPayloads)
                for (uint32_t mb = 0; mb < total; ++mb)
                    for (uint32_t i = 3; i < kDifBlock; ++i) frame[VideoBlock(mb / 135, mb % 135) + i] = (uint8_t)rng();
            // A random frame may lose its header block and be read with
            // another layout: its result is not predicted.
            const int32_t expected = ExpectedResult(frame, (uint32_t)frame.size(), src.sequences);
            EXPECT_TRUE(c.kind != kStatusOdd || expected == 0);
            for (const Output& o : kOutputs) {
                const Decoded single = Decode(nullptr, frame, src.stream.height, o, HVDV_FLAG_SINGLE_THREAD);
                const Decoded threaded = Decode(instance_, frame, src.stream.height, o);
                SCOPED_TRACE(src.stream.name + " case " + std::to_string(&c - cases) + " fourcc " +
                             std::to_string(o.fourcc));
                EXPECT_TRUE(single.result == expected || (c.kind == kRandomFrame && single.result <= 2));
                EXPECT_EQ(threaded.result, single.result);
                EXPECT_EQ(single.trespass + threaded.trespass, "");
                EXPECT_TRUE(threaded.rows == single.rows);
                // Even with every block in error the picture is written.
                const auto untouched = std::count(single.rows.begin(), single.rows.end(), 0x5A);
                EXPECT_TRUE(c.kind != kStatusOdd || untouched < (std::ptrdiff_t)single.rows.size());
            }
        }
}

TEST_F(Damage, AnyGeometryStaysInsideThePicture) {
    // Sizes no frame has next to the standard ones; high-definition frames
    // whose VAUX source (0x60) and source control (0x61) packs are lost are
    // told apart by their size alone.  Clean and damaged, every output: a
    // decode may refuse or fill part of the picture, never write outside it.
    using Sizes = std::vector<std::pair<uint32_t, uint32_t>>;
    const Sizes kOddSizes = {{0, 0},     {1, 1},     {16, 16},   {720, 1},     {1, 480}, {719, 575}, {721, 577},
                             {704, 480}, {360, 576}, {640, 360}, {1920, 1080}, {2, 486}, {4096, 2}};
    const struct {
        const char* file;
        uint32_t frameBytes;
        bool loseVaux;
        Sizes sizes;
    } cases[] = {
        {"sample_625_420.dv", 144000, false, kOddSizes},
        {"hd_1080i50.dv", 576000, true, {{1920, 1080}, {1440, 1080}, {960, 540}, {720, 540}, {720, 576}, {16, 1080}}},
        {"hd_1080i60.dv", 480000, true, {{1920, 1080}, {1280, 1080}, {640, 540}, {720, 480}, {1920, 8}}},
        {"hd_720p60.dv", 240000, true, {{1280, 720}, {960, 720}, {640, 360}, {480, 360}, {720, 360}, {1440, 720}}},
    };
    std::mt19937 rng(11);
    unsigned n = 0;  // thinner sample: every other (size, output) pair
    for (const auto& c : cases) {
        std::vector<uint8_t> frame = testdata::Load(c.file, c.frameBytes, 0).copy(0);
        ASSERT_FALSE(frame.empty()) << c.file;
        if (c.loseVaux) frame[448] = frame[453] = 0xFF;
        std::vector<uint8_t> damaged = frame;
        for (int i = 0; i < 2000; ++i) damaged[rng() % damaged.size()] ^= (uint8_t)(1 + rng() % 255);
        damaged[448] = frame[448];
        for (const auto& [w, h] : c.sizes)
            for (const Output& o : kOutputs) {
                if (hvdv_test::kThinSample && n++ % 2) continue;
                for (const std::vector<uint8_t>* f : {&frame, &damaged}) {
                    const Decoded d = Decode(instance_, *f, c.frameBytes, w, h, o);
                    EXPECT_TRUE(d.result >= 0 && d.result <= 2) << c.file;
                    EXPECT_EQ(d.trespass, "") << c.file << " at " << w << "x" << h << " fourcc " << o.fourcc;
                }
            }
    }
}

TEST_F(Damage, BlockIdsNamingATakenPlaceAreDamagedWhateverTheThreads) {
    // 50 Mb/s and high-definition macroblocks are placed by their own DIF
    // block IDs.  A later block whose ID bytes repeat an earlier block's
    // names a place already taken: it is damaged, and the picture is the
    // same on one thread and on several.
    const struct {
        const char* file;
        uint32_t frameBytes, width, height, from, to;  // video blocks, buffer order
    } cases[] = {{"dv50_625.dv", 288000, 720, 576, 3, 1500},
                 {"hd_1080i50.dv", 576000, 1920, 1080, 10, 4000},
                 {"hd_720p60.dv", 240000, 1280, 720, 0, 2600}};
    for (const auto& c : cases) {
        std::vector<uint8_t> frame = testdata::Load(c.file, c.frameBytes, 0).copy(0);
        ASSERT_FALSE(frame.empty()) << c.file;
        const uint32_t from = VideoBlock(c.from / 135, c.from % 135), to = VideoBlock(c.to / 135, c.to % 135);
        std::copy_n(frame.begin() + from, 3, frame.begin() + to);
        const Output o = {HVDV_FOURCC_UYVY, 2, false, 0, false, 0};
        const Decoded single = Decode(nullptr, frame, c.frameBytes, c.width, c.height, o, HVDV_FLAG_SINGLE_THREAD);
        const Decoded threaded = Decode(instance_, frame, c.frameBytes, c.width, c.height, o);
        EXPECT_EQ(single.result, HVDV_DECODE_DAMAGED) << c.file;
        EXPECT_EQ(threaded.result, HVDV_DECODE_DAMAGED) << c.file;
        EXPECT_TRUE(threaded.rows == single.rows) << c.file;
    }
}

TEST_F(Damage, SystemBitsThatDisagreeAreSettledByTheFrameSize) {
    // A 525/60 frame whose VAUX source pack claims 50 fields while its
    // header block says 60: only a 525/60 frame has 120000 bytes, so it
    // decodes as the untouched frame does, even into a 576-row picture.
    const std::vector<uint8_t> frame = testdata::Load("ntsc_411_48k.dv", 120000, 480).copy(0);
    ASSERT_FALSE(frame.empty());
    std::vector<uint8_t> misflagged = frame;
    misflagged[448 + 3] |= 0x20;  // PC3 of the source pack (0x60): 50/60 bit
    const Output o = {HVDV_FOURCC_UYVY, 2, false, 0, false, HVDV_FLAG_SINGLE_THREAD};
    const Decoded a = Decode(instance_, frame, 120000, 720, 576, o);
    const Decoded b = Decode(instance_, misflagged, 120000, 720, 576, o);
    EXPECT_EQ(b.result, a.result);
    EXPECT_TRUE(b.rows == a.rows);
}

}  // namespace
