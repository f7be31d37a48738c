// Heap allocations per decoded frame, counted by replacing the C allocator
// of this test program: a decode through an instance allocates the picture
// writer and nothing else (frame buffers are kept by the instance); the
// second interface's planes, audio and metadata allocate nothing.  And what
// a kept frame buffer must not leak into the next picture.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "hv_dec_dv.h"
#include "hvdv.h"
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

TEST(Allocation, OnlyThePictureWriterPerFrame) {
#ifndef HVDV_COUNTING_ALLOCATOR
    GTEST_SKIP() << "the sanitizer's allocator is in use";
#else
    struct Case {
        const char* file;
        uint32_t frameBytes, height, width, flags;
        long perFrame;
    } cases[] = {{"sample_625_420.dv", 144000, 576, 720, 0, 1},
                 {"ntsc_411_48k.dv", 120000, 480, 720, 0, 1},
                 {"ntsc_411_48k.dv", 120000, 240, 360, 0, 1},
                 {"pal_411.dv", 144000, 576, 720, HVDV_FLAG_SINGLE_THREAD, 1}};
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

// The second interface: after a decoder's first frame (tables, workers),
// planar pictures, their damage maps, audio and metadata allocate nothing.
TEST(Allocation, NoneForPlanesAudioAndMetadataOfTheSecondInterface) {
#ifndef HVDV_COUNTING_ALLOCATOR
    GTEST_SKIP() << "the sanitizer's allocator is in use";
#else
    hvdv_decoder* d = nullptr;
    ASSERT_EQ(hvdv_decoder_create(nullptr, &d), HVDV_OK);
    std::vector<uint8_t> planes(1440 * 1080 * 2);
    std::vector<int16_t> pcm(HVDV_MAX_AUDIO_CHANNELS * HVDV_MAX_AUDIO_SAMPLES);
    for (const char* name : {"jj_sony_perfect.dv", "sample_625_420.dv", "dv50_625_audio.dv", "hd_1080i50.dv"}) {
        const std::vector<uint8_t> f = testdata::ReadFile(name);
        hvdv_frame_info info{};
        info.size = sizeof info;
        ASSERT_TRUE(testdata::ProbeFirstFrame(f, &info));
        hvdv_picture pic{};
        pic.size = sizeof pic;
        pic.data[0] = planes.data();
        pic.data[1] = pic.data[0] + info.coded_width * info.coded_height;
        pic.data[2] = pic.data[1] + info.chroma_width * info.chroma_height;
        pic.pitch[0] = (int32_t)info.coded_width;
        pic.pitch[1] = pic.pitch[2] = (int32_t)info.chroma_width;
        hvdv_damage damage{};
        damage.size = sizeof damage;
        hvdv_audio_info audio{};
        audio.size = sizeof audio;
        hvdv_metadata meta{};
        meta.size = sizeof meta;
        hvdv_captions captions{};
        captions.size = sizeof captions;
        ASSERT_EQ(hvdv_decode_video(d, f.data(), info.frame_bytes, &pic, 0, nullptr, &damage), HVDV_OK);
        const long before = g_allocations.load();
        int results = 0;
        for (uint32_t flags : {0u, (uint32_t)HVDV_DECODE_HALF, (uint32_t)HVDV_DECODE_KEEP_DAMAGED})
            results |= hvdv_decode_video(d, f.data(), info.frame_bytes, &pic, flags, &info, &damage);
        const int audioResult = hvdv_decode_audio(d, f.data(), info.frame_bytes, pcm.data(), pcm.size(),
                                                  HVDV_AUDIO_HOLD_ERRORS, &audio);
        results |= hvdv_read_metadata(f.data(), info.frame_bytes, &meta);
        results |= hvdv_read_captions(f.data(), info.frame_bytes, &captions);
        const long allocations = g_allocations.load() - before;
        EXPECT_EQ(results, HVDV_OK) << name;
        EXPECT_EQ(audioResult, std::string(name).rfind("hd_", 0) == 0 ? HVDV_ERROR_NO_AUDIO : HVDV_OK) << name;
        EXPECT_EQ(allocations, 0) << name;
    }
    hvdv_decoder_destroy(d);
#endif
}

#endif

// One instance decodes whole frames and then frames cut short (their last
// DIF blocks missing, so some macroblocks are never placed), at several
// picture sizes and formats: every picture must equal the same frame decoded
// without an instance, whatever the instance's kept buffers held before.
TEST(Allocation, KeptFrameBuffersLeaveNothingBehind) {
    struct Case {
        const char* file;
        uint32_t frameBytes, width, height, fourcc;
    } sequence[] = {{"ntsc_411_detail.dv", 120000, 720, 480, HVDV_FOURCC_UYVY},
                    {"ntsc_411_detail.dv", 120000, 720, 486, HVDV_FOURCC_BGR4},
                    {"pal_411.dv", 144000, 720, 576, HVDV_FOURCC_YUY2},
                    {"ntsc_411_detail.dv", 120000, 720, 480, HVDV_FOURCC_VUYA},
                    {"hd_1080i50.dv", 576000, 1440, 1080, HVDV_FOURCC_UYVY},
                    {"hd_1080i50.dv", 576000, 1920, 1080, HVDV_FOURCC_UYVY},
                    {"hd_720p60.dv", 240000, 1280, 720, HVDV_FOURCC_UYVY},
                    {"hd_1080i60.dv", 480000, 960, 540, HVDV_FOURCC_UYVY},
                    {"hd_1080i60.dv", 480000, 1920, 1080, HVDV_FOURCC_BGR4},
                    {"ntsc_411_detail.dv", 120000, 720, 480, HVDV_FOURCC_UYVY}};
    DVDecInstance* instance = DVNewDec();
    ASSERT_NE(instance, nullptr);
    for (const Case& c : sequence) {
        const std::vector<uint8_t> data = testdata::ReadFile(c.file);
        ASSERT_GE(data.size(), (size_t)c.frameBytes) << c.file;
        const int bpp = c.fourcc == HVDV_FOURCC_BGR4 || c.fourcc == HVDV_FOURCC_VUYA ? 4 : 2;
        const int32_t pitch = (int32_t)c.width * bpp;
        for (uint32_t bytes : {c.frameBytes, c.frameBytes * 3 / 5, c.frameBytes}) {
            std::vector<uint8_t> kept((size_t)pitch * c.height, 0x5A), fresh = kept;
            const int32_t a = DVDecompressBuffer(instance, data.data(), bytes, kept.data(), pitch, c.width,
                                                 c.height, 0, c.fourcc, 0, 0);
            const int32_t b = DecompressBuffer_DV(data.data(), bytes, fresh.data(), pitch, c.width, c.height, 0,
                                                  c.fourcc, 0, 0);
            EXPECT_EQ(a, b) << c.file << " " << c.width << "x" << c.height << " " << bytes;
            EXPECT_TRUE(kept == fresh) << c.file << " " << c.width << "x" << c.height << " " << bytes;
        }
    }
    DVDoneDec(instance);
}
