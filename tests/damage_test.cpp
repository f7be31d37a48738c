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

using hvdv_test::kSanitized;

constexpr uint32_t kDifBlock = 80;
constexpr uint32_t kSequenceBytes = 150 * kDifBlock;

// Start of video DIF block v (0-134) of DIF sequence s in a frame stored
// with header blocks: a sequence is the header block, two subcode blocks,
// three VAUX blocks, then nine runs of one audio and fifteen video blocks.
uint32_t VideoBlock(uint32_t s, uint32_t v) { return s * kSequenceBytes + kDifBlock * (7 + v + v / 15); }

// The STA nibble is the upper half of the first byte after the 3-byte ID;
// its bit 0 marks a macroblock whose data is in error.
bool MarkedDamaged(const std::vector<uint8_t>& frame, uint32_t block) { return (frame[block + 3] & 0x10) != 0; }

// The result a decode must give: 1 when every video DIF block lies inside
// frameSize and none is marked, 0 when none counts as usable, 2 otherwise.
int32_t ExpectedResult(const std::vector<uint8_t>& frame, uint32_t frameSize, uint32_t sequences) {
    uint32_t bad = 0;
    for (uint32_t s = 0; s < sequences; ++s)
        for (uint32_t v = 0; v < 135; ++v) {
            const uint32_t b = VideoBlock(s, v);
            if (b + kDifBlock > frameSize || MarkedDamaged(frame, b)) ++bad;
        }
    return bad == 0 ? 1 : bad == sequences * 135 ? 0 : 2;
}

struct Output {
    uint32_t fourcc;
    uint32_t bytesPerPixel;
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
};

struct Source {
    testdata::Stream stream;
    uint32_t sequences;
    std::vector<uint8_t> First() const {
        return std::vector<uint8_t>(stream.frame(0), stream.frame(0) + stream.frameBytes);
    }
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

Decoded Decode(DVDecInstance* instance, const std::vector<uint8_t>& frame, uint32_t frameSize, uint32_t height,
               const Output& o, uint32_t extraFlags = 0) {
    const uint32_t w = o.half ? 360 : 720, h = o.half ? height / 2 : height;
    GuardedPicture p(w, h, o.bytesPerPixel, o.padding, o.bottomUp);
    // An exact copy, so that a read past frameSize would fall outside it.
    const std::vector<uint8_t> bytes(frame.begin(), frame.begin() + frameSize);
    const uint32_t flags = o.flags | extraFlags;
    const int32_t r = instance ? DVDecompressBuffer(instance, bytes.data(), frameSize, p.Top(), p.Pitch(), w, h,
                                                    flags, o.fourcc, 0, 0)
                               : DecompressBuffer_DV(bytes.data(), frameSize, p.Top(), p.Pitch(), w, h, flags,
                                                     o.fourcc, 0, 0);
    return {r, p.Trespass(), p.Rows()};
}

class Damage : public ::testing::Test {
protected:
    void SetUp() override {
        instance_ = DVNewDec();
        ASSERT_NE(instance_, nullptr);
    }
    void TearDown() override { DVDoneDec(instance_); }
    DVDecInstance* instance_ = nullptr;
};

TEST_F(Damage, TruncatedAtEveryDifBlockBoundary) {
    // Every output and both calls take turns over the sizes.  Under the
    // sanitizers a thinner sample keeps the run short: every 13th boundary
    // and those around the first video block and the end.
    for (const Source& src : Sources()) {
        ASSERT_GT(src.stream.frames(), 0u) << src.stream.name;
        const std::vector<uint8_t> frame = src.First();
        const uint32_t blocks = src.stream.frameBytes / kDifBlock;
        int counts[3] = {};
        for (uint32_t k = 0; k <= blocks; ++k) {
            if (kSanitized && k % 13 != 0 && k > 10 && k + 3 < blocks) continue;
            // One byte short of a boundary as well, now and then.
            const uint32_t size = k * kDifBlock - (k % 7 == 3 ? 1 : 0);
            const Output& o = kOutputs[k % (sizeof kOutputs / sizeof kOutputs[0])];
            const Decoded d = Decode(k % 2 ? instance_ : nullptr, frame, size, src.stream.height, o);
            const int32_t expected = ExpectedResult(frame, size, src.sequences);
            ASSERT_EQ(d.result, expected) << src.stream.name << " cut to " << size << " bytes";
            ASSERT_EQ(d.trespass, "") << src.stream.name << " cut to " << size << " bytes";
            ++counts[expected];
        }
        // The sizes reached all three outcomes.
        EXPECT_GT(counts[0], 0);
        EXPECT_GT(counts[1], 0);
        EXPECT_GT(counts[2], 0);
    }
}

TEST_F(Damage, AnEmptyFrameDecodesNothing) {
    // No bytes at all (also without a buffer): every macroblock is missing.
    const uint8_t one = 0x1F;
    for (const uint8_t* frame : {(const uint8_t*)nullptr, &one}) {
        for (const Output& o : kOutputs) {
            for (DVDecInstance* instance : {(DVDecInstance*)nullptr, instance_}) {
                const uint32_t w = o.half ? 360 : 720, h = o.half ? 288 : 576;
                GuardedPicture p(w, h, o.bytesPerPixel, o.padding, o.bottomUp);
                const int32_t r = instance ? DVDecompressBuffer(instance, frame, 0, p.Top(), p.Pitch(), w, h, o.flags,
                                                                o.fourcc, 0, 0)
                                           : DecompressBuffer_DV(frame, 0, p.Top(), p.Pitch(), w, h, o.flags, o.fourcc,
                                                                 0, 0);
                EXPECT_EQ(r, HVDV_DECODE_FAILED);
                EXPECT_EQ(p.Trespass(), "");
            }
        }
    }
}

TEST_F(Damage, StatusBitsDecideTheResult) {
    std::mt19937 rng(20240611);
    for (const Source& src : Sources()) {
        const std::vector<uint8_t> clean = src.First();
        const uint32_t total = src.sequences * 135;
        // Fractions of the video blocks given a random nonzero STA value;
        // 1.0 with only odd values marks every one.
        struct Case {
            double fraction;
            bool oddOnly;
        } cases[] = {{0.0, false}, {0.001, false}, {0.3, false}, {1.0, false}, {1.0, true}};
        for (const Case& c : cases) {
            std::vector<uint8_t> frame = clean;
            for (uint32_t i = 0; i < total; ++i) {
                if (std::uniform_real_distribution<double>(0, 1)(rng) >= c.fraction) continue;
                uint32_t sta = 1 + rng() % 15;
                if (c.oddOnly) sta |= 1;
                uint8_t& staQno = frame[VideoBlock(i / 135, i % 135) + 3];
                staQno = (uint8_t)((staQno & 0x0F) | (sta << 4));
            }
            const int32_t expected = ExpectedResult(frame, (uint32_t)frame.size(), src.sequences);
            if (c.oddOnly) {
                EXPECT_EQ(expected, 0);
            }
            for (const Output& o : kOutputs) {
                const Decoded d = Decode(instance_, frame, (uint32_t)frame.size(), src.stream.height, o);
                EXPECT_EQ(d.result, expected) << src.stream.name << " fraction " << c.fraction;
                EXPECT_EQ(d.trespass, "") << src.stream.name << " fraction " << c.fraction;
            }
        }
    }
}

TEST_F(Damage, CorruptFramesStayInsideThePictureAndDoNotDependOnThreads) {
    enum Kind { kFlipVideoBytes, kZeroBlocks, kZeroVideoBlocks, kRandomFrame, kRandomVideoPayloads };
    struct Case {
        Kind kind;
        uint32_t count;
        const char* name;
    } cases[] = {{kFlipVideoBytes, 1, "one flipped byte"},       {kFlipVideoBytes, 40, "40 flipped bytes"},
                 {kFlipVideoBytes, 20000, "20000 flipped bytes"}, {kZeroBlocks, 1, "one zeroed DIF block"},
                 {kZeroBlocks, 300, "300 zeroed DIF blocks"},     {kZeroVideoBlocks, 0, "every video block zero"},
                 {kRandomFrame, 0, "random bytes"},               {kRandomVideoPayloads, 0, "random video payloads"}};
    std::mt19937 rng(77);
    for (const Source& src : Sources()) {
        const std::vector<uint8_t> clean = src.First();
        const uint32_t total = src.sequences * 135;
        for (const Case& c : cases) {
            std::vector<uint8_t> frame = clean;
            switch (c.kind) {
                case kFlipVideoBytes:
                    for (uint32_t i = 0; i < c.count; ++i) {
                        const uint32_t mb = rng() % total;
                        frame[VideoBlock(mb / 135, mb % 135) + 3 + rng() % 77] ^= (uint8_t)(1 + rng() % 255);
                    }
                    break;
                case kZeroBlocks:
                    for (uint32_t i = 0; i < c.count; ++i) {
                        const uint32_t b = rng() % (uint32_t)(frame.size() / kDifBlock);
                        std::fill_n(frame.begin() + b * kDifBlock, kDifBlock, 0);
                    }
                    break;
                case kZeroVideoBlocks:
                    for (uint32_t mb = 0; mb < total; ++mb)
                        std::fill_n(frame.begin() + VideoBlock(mb / 135, mb % 135), kDifBlock, 0);
                    break;
                case kRandomFrame:
                    for (uint8_t& b : frame) b = (uint8_t)rng();
                    break;
                case kRandomVideoPayloads:
                    for (uint32_t mb = 0; mb < total; ++mb)
                        for (uint32_t i = 3; i < kDifBlock; ++i) frame[VideoBlock(mb / 135, mb % 135) + i] = (uint8_t)rng();
                    break;
            }
            // Random whole frames may lose their header block and be read
            // with another layout; only then the result is not predicted.
            const bool predictable = c.kind != kRandomFrame;
            const int32_t expected = ExpectedResult(frame, (uint32_t)frame.size(), src.sequences);
            for (const Output& o : kOutputs) {
                const Decoded single = Decode(nullptr, frame, (uint32_t)frame.size(), src.stream.height, o,
                                              HVDV_FLAG_SINGLE_THREAD);
                const Decoded threaded = Decode(instance_, frame, (uint32_t)frame.size(), src.stream.height, o);
                const std::string what = src.stream.name + ", " + c.name + ", fourcc " + std::to_string(o.fourcc);
                EXPECT_TRUE(single.result >= 0 && single.result <= 2) << what;
                if (predictable) {
                    EXPECT_EQ(single.result, expected) << what;
                }
                EXPECT_EQ(threaded.result, single.result) << what;
                EXPECT_EQ(single.trespass, "") << what;
                EXPECT_EQ(threaded.trespass, "") << what;
                EXPECT_TRUE(threaded.rows == single.rows) << what;
            }
        }
    }
}

TEST_F(Damage, UnusualGeometriesStayInsideThePicture) {
    // Sizes no frame has, next to the standard ones, with every output
    // family: a decode may refuse them or fill part of the picture, but it
    // writes nothing outside it.
    struct Geometry {
        uint32_t width, height;
    } geometries[] = {{720, 576}, {360, 240}, {0, 0},    {1, 1},     {16, 16},   {720, 1},    {1, 480},
                      {719, 575}, {721, 577}, {704, 480}, {360, 576}, {720, 240}, {640, 360}, {960, 540},
                      {1920, 1080}, {1280, 720}, {2, 486}, {4096, 2}};
    const struct {
        uint32_t fourcc, bytesPerPixel;
    } formats[] = {{HVDV_FOURCC_YUY2, 2}, {HVDV_FOURCC_UYVY, 2}, {HVDV_FOURCC_VUYA, 4}, {HVDV_FOURCC_BGR3, 3},
                   {HVDV_FOURCC_BGR4, 4}, {HVDV_FOURCC_R565, 2}, {HVDV_FOURCC_R555, 2}, {HVDV_FOURCC_R32C, 4}};
    const auto sources = Sources();
    std::vector<uint8_t> damaged = sources[1].First();
    std::mt19937 rng(5);
    for (int i = 0; i < 500; ++i) damaged[rng() % damaged.size()] = (uint8_t)rng();
    for (const std::vector<uint8_t>& frame : {sources[0].First(), damaged}) {
        for (const Geometry& g : geometries) {
            for (size_t f = 0; f < sizeof formats / sizeof formats[0]; ++f) {
                const bool bottomUp = (f + g.width) % 2 == 1;
                GuardedPicture p(g.width, g.height, formats[f].bytesPerPixel, (uint32_t)f, bottomUp);
                const int32_t r = DecompressBuffer_DV(frame.data(), (uint32_t)frame.size(), p.Top(), p.Pitch(),
                                                      g.width, g.height, 0, formats[f].fourcc, 0, 0);
                EXPECT_TRUE(r >= 0 && r <= 2) << g.width << "x" << g.height;
                EXPECT_EQ(p.Trespass(), "") << g.width << "x" << g.height << " fourcc " << formats[f].fourcc
                                            << (bottomUp ? " bottom-up" : "");
            }
        }
    }
}

TEST_F(Damage, HighDefinitionSizedFramesStayInsideThePicture) {
    // High-definition frames whose VAUX packs are lost are told apart by
    // their size alone; each is decoded at the sizes of its own family, at
    // the standard-definition sizes and at odd ones, clean and damaged.
    struct Case {
        const char* file;
        uint32_t frameBytes;
        std::vector<std::pair<uint32_t, uint32_t>> geometries;
    } cases[] = {
        {"hd_1080i50.dv", 576000, {{1920, 1080}, {1440, 1080}, {960, 540}, {720, 540}, {720, 576}, {16, 1080}}},
        {"hd_1080i60.dv", 480000, {{1920, 1080}, {1280, 1080}, {960, 540}, {640, 540}, {720, 480}, {1920, 8}}},
        {"hd_720p60.dv", 240000, {{1280, 720}, {960, 720}, {640, 360}, {480, 360}, {720, 360}, {1440, 720}}},
    };
    std::mt19937 rng(11);
    for (const Case& c : cases) {
        const testdata::Stream s = testdata::Load(c.file, c.frameBytes, 0);
        ASSERT_GT(s.frames(), 0u) << c.file;
        std::vector<uint8_t> frame(s.frame(0), s.frame(0) + c.frameBytes);
        // Pack headers of the VAUX source (0x60) and source control (0x61) packs.
        frame[448] = 0xFF;
        frame[453] = 0xFF;
        std::vector<uint8_t> damaged = frame;
        for (int i = 0; i < 2000; ++i) damaged[rng() % damaged.size()] ^= (uint8_t)(1 + rng() % 255);
        damaged[448] = 0xFF;
        for (const auto& [w, h] : c.geometries) {
            for (const Output& o : kOutputs) {
                for (const std::vector<uint8_t>* f : {&frame, &damaged}) {
                    GuardedPicture p(w, h, o.bytesPerPixel, o.padding, o.bottomUp);
                    const int32_t r = DVDecompressBuffer(instance_, f->data(), c.frameBytes, p.Top(), p.Pitch(), w,
                                                         h, o.flags, o.fourcc, 0, 0);
                    EXPECT_TRUE(r >= 0 && r <= 2) << c.file;
                    EXPECT_EQ(p.Trespass(), "") << c.file << " at " << w << "x" << h << " fourcc " << o.fourcc
                                                << (f == &frame ? "" : ", damaged");
                }
            }
        }
    }
}

}  // namespace
