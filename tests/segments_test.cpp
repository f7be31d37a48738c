// Segment decoding of real frames through a recording picture writer.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "api/kernel_context.h"
#include "decode/segments.h"
#include "hv_dec_dv.h"
#include "test_streams.h"
#include "threads/cpu.h"
#include "writer/writer.h"

using namespace hvdv;

namespace {

std::vector<uint8_t> ReadFrame(const char* name, size_t bytes) {
    return testdata::Load(name, (uint32_t)bytes, 0).copy(0);
}

struct Recorder {
    DVPictureWriter w{};
    struct Entry {
        int thread, x, y;
        DVMacroblock mb;
    };
    std::vector<Entry> entries;
    static void Put(DVPictureWriter* w, int thread, int x, int y, const DVMacroblock* mb) {
        Recorder* r = reinterpret_cast<Recorder*>(w);
        r->entries.push_back({thread, x, y, *mb});
    }
    Recorder() { w.PutMacroblock = Put; }
};

struct Stream {
    const char* file;
    int kind;
    int sequences;
    int height;
};
const Stream kStreams[] = {
    {"sample_625_420.dv", 0x00, 12, 576},
    {"pal_411.dv", 0x02, 12, 576},
    {"ntsc_411_48k.dv", 0x03, 10, 480},
};

DVSegmentJob MakeJob(const Stream& s, const uint8_t* frame, size_t size, Recorder& rec, uint32_t flags = 0,
                     int half = 0) {
    DVSegmentJob job{};
    job.firstSegment = 0;
    job.endSegment = 27 * s.sequences;
    job.halfSize = half;
    job.decodeFlags = flags;
    job.macroblockTable = MacroblockTable(s.kind);
    job.blockOffsets = BlockOffsetTable(1);
    job.frame = frame;
    job.frameSize = (uint32_t)size;
    job.writer = &rec.w;
    static const DVKernelContext kernels = [] {
        DVKernelContext k;
        InitKernelContext(&k, CpuFlags());
        return k;
    }();
    job.dsp = &kernels.decode;
    job.jobIndex = 3;
    return job;
}

TEST(DecodeSegments, EveryMacroblockOnceInDifOrderCoveringThePicture) {
    InitDVDec();
    for (const Stream& s : kStreams) {
        const size_t bytes = 12000u * s.sequences;
        std::vector<uint8_t> frame = ReadFrame(s.file, bytes);
        ASSERT_FALSE(frame.empty()) << s.file;
        Recorder rec;
        DVSegmentJob job = MakeJob(s, frame.data(), bytes, rec);
        DecodeSegments(&job);
        ASSERT_EQ(rec.entries.size(), 135u * s.sequences) << s.file;
        const uint32_t* table = MacroblockTable(s.kind);
        std::vector<int> cover(720 * s.height, 0);
        int damaged = 0;
        for (size_t e = 0; e < rec.entries.size(); e++) {
            const auto& r = rec.entries[e];
            EXPECT_EQ(r.thread, 3);
            ASSERT_EQ((uint32_t)r.x, table[2 * e]) << s.file << " entry " << e;
            ASSERT_EQ((uint32_t)r.y, table[2 * e + 1]) << s.file << " entry " << e;
            const bool square = s.kind == 0 || r.x == 704;
            const int w = square ? 16 : 32, h = square ? 16 : 8;
            ASSERT_LE(r.x + w, 720);
            ASSERT_LE(r.y + h, s.height);
            for (int y = r.y; y < r.y + h; y++)
                for (int x = r.x; x < r.x + w; x++) cover[720 * y + x]++;
            // STA of the DIF block: sequence e / 135, video block e % 135.
            size_t seq = e / 135, v = e % 135;
            damaged += (frame[seq * 12000 + (7 + v + v / 15) * 80 + 3] >> 4) & 1;
        }
        for (size_t i = 0; i < cover.size(); i++) ASSERT_EQ(cover[i], 1) << s.file << " pixel " << i;
        EXPECT_EQ(job.damagedCount, damaged);
    }
}

TEST(DecodeSegments, TablePositionsAtTheEdges) {
    struct Case {
        int kind, entry;
        uint32_t x, y;
    } cases[] = {
        {0x00, 0, 288, 96}, {0x03, 1, 128, 312},
        // Super-block column 4 (j = 4), k = 24..26: the 16 x 16 macroblocks
        // at the right edge, 16 lines apart.
        {0x02, 5 * 24 + 4, 704, 192}, {0x02, 5 * 26 + 4, 704, 224},
        {0x03, 5 * 26 + 4, 704, 224},
        // Column 0 (j = 3), k = 24..26: upper half of macroblock column 4.
        {0x02, 5 * 24 + 3, 128, 0}, {0x02, 5 * 26 + 3, 128, 16},
        // Column 1 (j = 1), k = 0..2: lower half of the same column.
        {0x02, 5 * 2 + 1, 128, 288 + 40},
    };
    for (const Case& c : cases) {
        const uint32_t* t = MacroblockTable(c.kind);
        EXPECT_EQ(t[2 * c.entry], c.x) << c.kind << " " << c.entry;
        EXPECT_EQ(t[2 * c.entry + 1], c.y) << c.kind << " " << c.entry;
    }
    EXPECT_EQ(MacroblockTable(0x04), nullptr);
    // Offsets: first video block of sequence 1 with and without header blocks.
    EXPECT_EQ(BlockOffsetTable(1)[135], 12000u + 7 * 80 + 3);
    EXPECT_EQ(BlockOffsetTable(0)[135 + 15], 11920u + (6 + 16) * 80 + 3);
}

// Odd STA values count once per macroblock in every decoding mode; STA 8
// does not count.
TEST(DecodeSegments, DamagedMacroblocksCountedByStaBitZero) {
    InitDVDec();
    const Stream& s = kStreams[0];
    std::vector<uint8_t> frame = ReadFrame(s.file, 144000);
    ASSERT_FALSE(frame.empty());
    struct Mark {
        int entry, sta;
    } marks[] = {{0, 1}, {7, 8}, {100, 0xF}, {101, 2}, {1619, 9}};
    for (const Mark& m : marks) {
        size_t seq = m.entry / 135, v = m.entry % 135;
        uint8_t& b = frame[seq * 12000 + (7 + v + v / 15) * 80 + 3];
        b = (uint8_t)((b & 0x0F) | (m.sta << 4));
    }
    for (uint32_t flags : {0u, 2u})
        for (int half : {0, 1}) {
            Recorder rec;
            DVSegmentJob job = MakeJob(s, frame.data(), frame.size(), rec, flags, half);
            DecodeSegments(&job);
            EXPECT_EQ(job.damagedCount, 3) << flags << " " << half;
        }
}

TEST(DecodeSegments, FieldExchangeSwapsLinePairsAtFullSizeOnly) {
    InitDVDec();
    const Stream& s = kStreams[0];
    std::vector<uint8_t> frame = ReadFrame(s.file, 144000);
    ASSERT_FALSE(frame.empty());
    for (int half : {0, 1}) {
        Recorder plain, swapped;
        DVSegmentJob a = MakeJob(s, frame.data(), frame.size(), plain, 0, half);
        DVSegmentJob b = MakeJob(s, frame.data(), frame.size(), swapped, 1, half);
        DecodeSegments(&a);
        DecodeSegments(&b);
        ASSERT_EQ(plain.entries.size(), swapped.entries.size());
        for (size_t e = 0; e < plain.entries.size(); e++)
            for (int slot = 0; slot < 6; slot++) {
                const uint8_t* p = plain.entries[e].mb.slot[slot];
                const uint8_t* q = swapped.entries[e].mb.slot[slot];
                if (half) {
                    for (int y = 0; y < 4; y++) ASSERT_EQ(0, std::memcmp(p + 8 * y, q + 8 * y, 4));
                } else {
                    for (int y = 0; y < 8; y++) ASSERT_EQ(0, std::memcmp(p + 8 * y, q + 8 * (y ^ 1), 8)) << e;
                }
            }
    }
}

// A frame buffer that ends early: macroblocks whose DIF block is not wholly
// inside are flat grey and counted; nothing past the end is read (the copy
// is exactly frameSize bytes, so AddressSanitizer sees any over-read).
TEST(DecodeSegments, TruncatedFrameDecodesWhatIsThere) {
    InitDVDec();
    for (const Stream& s : kStreams) {
        const size_t bytes = 12000u * s.sequences;
        std::vector<uint8_t> frame = ReadFrame(s.file, bytes);
        ASSERT_FALSE(frame.empty());
        Recorder whole;
        DVSegmentJob job = MakeJob(s, frame.data(), bytes, whole);
        DecodeSegments(&job);
        for (size_t size : {bytes - 1, bytes - 12000 * 3 - 555, (size_t)0}) {
            std::unique_ptr<uint8_t[]> exact(new uint8_t[size ? size : 1]);
            std::memcpy(exact.get(), frame.data(), size);
            Recorder rec;
            DVSegmentJob cut = MakeJob(s, exact.get(), size, rec);
            DecodeSegments(&cut);
            ASSERT_EQ(rec.entries.size(), whole.entries.size());
            int missing = 0;
            for (size_t e = 0; e < rec.entries.size(); e++) {
                const uint32_t start = BlockOffsetTable(1)[e] - 3;
                const bool inside = start + 80 <= size;
                const auto& mb = rec.entries[e].mb;
                if (!inside) {
                    missing++;
                    for (int slot = 0; slot < 6; slot++)
                        for (int i = 0; i < 64; i++) ASSERT_EQ(mb.slot[slot][i], 128) << size << " " << e;
                }
                // A segment wholly inside decodes as in the whole frame.
                const size_t seg = e / 5;
                bool segmentInside = true;
                for (int j = 0; j < 5; j++) segmentInside &= BlockOffsetTable(1)[5 * seg + j] - 3 + 80 <= size;
                if (segmentInside) {
                    ASSERT_EQ(0, std::memcmp(&mb, &whole.entries[e].mb, sizeof mb)) << size << " " << e;
                }
            }
            EXPECT_EQ(cut.damagedCount, missing) << size;  // the frames carry no STA errors
        }
    }
}

TEST(DecodeSegments, EmptyRangeCallsNothingAndSplitsMatchOneJob) {
    InitDVDec();
    const Stream& s = kStreams[2];
    std::vector<uint8_t> frame = ReadFrame(s.file, 120000);
    ASSERT_FALSE(frame.empty());
    Recorder none;
    DVSegmentJob empty = MakeJob(s, frame.data(), frame.size(), none);
    empty.firstSegment = empty.endSegment = 40;
    DecodeSegments(&empty);
    EXPECT_TRUE(none.entries.empty());

    Recorder one, split;
    DVSegmentJob all = MakeJob(s, frame.data(), frame.size(), one);
    DecodeSegments(&all);
    for (int cut : {1, 133, 270}) {
        split.entries.clear();
        DVSegmentJob a = MakeJob(s, frame.data(), frame.size(), split), b = a;
        a.endSegment = cut;
        b.firstSegment = cut;
        DecodeSegments(&a);
        DecodeSegments(&b);
        ASSERT_EQ(split.entries.size(), one.entries.size());
        for (size_t e = 0; e < one.entries.size(); e++)
            ASSERT_EQ(0, std::memcmp(&split.entries[e].mb, &one.entries[e].mb, sizeof(DVMacroblock)));
    }
}

}  // namespace
