// Heap allocations per decoded frame, counted by replacing the C allocator
// of this test program: a decode through an instance allocates the picture
// writer and, for full-size 4:1:1, its frame buffer, and nothing else; the
// audio of a frame allocates nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#include "audio/audio.h"
#include "format/profile.h"
#include "hv_dec_dv.h"
#include "meta/metadata.h"
#include "test_streams.h"

#if defined(__GLIBC__) && !defined(_WIN32)
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
}

static std::atomic<long> g_allocations{0};

// Sanitizer builds bring their own allocator; the counting one is left out
// there and the test is skipped.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
extern "C" void* malloc(size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}
extern "C" void* calloc(size_t n, size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, n);
}
#define HVDV_COUNTING_ALLOCATOR 1
#endif

TEST(Allocation, OnlyTheWriterAndItsFrameBufferPerFrame) {
#ifndef HVDV_COUNTING_ALLOCATOR
    GTEST_SKIP() << "the sanitizer's allocator is in use";
#else
    struct Case {
        const char* file;
        uint32_t frameBytes, height, width, flags;
        long perFrame;  // writer, plus the 4:1:1 frame buffer at full size
    } cases[] = {{"sample_625_420.dv", 144000, 576, 720, 0, 1},
                 {"ntsc_411_48k.dv", 120000, 480, 720, 0, 2},
                 {"ntsc_411_48k.dv", 120000, 240, 360, 0, 1},
                 {"pal_411.dv", 144000, 576, 720, HVDV_FLAG_SINGLE_THREAD, 2}};
    for (const Case& c : cases) {
        testdata::Stream s = testdata::Load(c.file, c.frameBytes, c.height);
        ASSERT_GT(s.frames(), 0u);
        std::vector<uint8_t> picture((size_t)c.width * c.height * 2);
        DVDecInstance* instance = DVNewDec();
        auto decode = [&](size_t i) {
            return DVDecompressBuffer(instance, s.frame(i % s.frames()), c.frameBytes, picture.data(),
                                      (int32_t)c.width * 2, c.width, c.height, c.flags, HVDV_FOURCC_UYVY, 0, 0);
        };
        // The first frame builds the tables and starts the workers.
        ASSERT_EQ(decode(0), 1);
        const long before = g_allocations.load();
        const int frames = 20;
        for (int i = 0; i < frames; i++) ASSERT_EQ(decode(i), 1);
        EXPECT_EQ(g_allocations.load() - before, c.perFrame * frames) << c.file << " " << c.width;
        DVDoneDec(instance);
    }
#endif
}

TEST(Allocation, NoneForTheAudioAndMetadataOfAFrame) {
#ifndef HVDV_COUNTING_ALLOCATOR
    GTEST_SKIP() << "the sanitizer's allocator is in use";
#else
    const std::vector<uint8_t> frame = testdata::ReadFile("jj_sony_perfect.dv");
    const hvdv::DVProfile& profile = *hvdv::ProfileForKind(hvdv::kKind525_411);
    std::vector<int16_t> pcm(4 * 1080);
    hvdv::DVFrameAudio info;
    hvdv::DVFrameMetadata m;
    const long before = g_allocations.load();
    EXPECT_EQ(hvdv::DecodeFrameAudio(frame.data(), 120000, profile, true, pcm.data(), pcm.size(), {true}, &info),
              hvdv::DVAudioStatus::kOk);
    EXPECT_TRUE(hvdv::ReadFrameMetadata(frame.data(), 120000, profile, true, &m));
    EXPECT_EQ(g_allocations.load(), before);
#endif
}

#endif
