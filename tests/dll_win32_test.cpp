// The Windows DLL as a host sees it (check_exports.cmake checks the names it
// exports): loaded at run time, decoding through it (worker threads running inside
// the DLL) gives the same pictures as the library linked into this program,
// and it unloads cleanly once its decoder instance is gone.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "hv_dec_dv.h"
#include "proc_counts.h"
#include "test_streams.h"

namespace {

// Loads the DLL built next to this program; frees it on scope exit unless
// Release() was called.
class Dll {
public:
    Dll() : module_(LoadLibraryA(HVDV_DLL_PATH)) {}
    ~Dll() {
        if (module_) FreeLibrary(module_);
    }
    HMODULE get() const { return module_; }
    HMODULE Release() {
        HMODULE m = module_;
        module_ = nullptr;
        return m;
    }
    template <typename Fn>
    Fn* Get(const char* name) const {
        return reinterpret_cast<Fn*>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

private:
    HMODULE module_;
};

TEST(WindowsDll, DecodesAsTheLinkedLibraryAndUnloads) {
    const testdata::Stream stream = testdata::Load("sample_625_420.dv", 144000, 576);
    ASSERT_GE(stream.frames(), 2u);
    // GoogleTest starts a watcher thread when a thread first uses
    // SCOPED_TRACE; let that happen before counting.
    { SCOPED_TRACE("thread count baseline"); }
    const long threadsBefore = hvdv_test::ThreadCount();
    Dll dll;
    ASSERT_NE(dll.get(), nullptr) << HVDV_DLL_PATH << ": error " << GetLastError();
    auto init = dll.Get<decltype(InitDVDec)>("InitDVDec");
    auto newDec = dll.Get<decltype(DVNewDec)>("DVNewDec");
    auto doneDec = dll.Get<decltype(DVDoneDec)>("DVDoneDec");
    auto decode = dll.Get<decltype(DVDecompressBuffer)>("DVDecompressBuffer");
    auto decodeStateless = dll.Get<decltype(DecompressBuffer_DV)>("DecompressBuffer_DV");
    auto getInfo = dll.Get<decltype(DVGetInfo)>("DVGetInfo");
    auto getApi = dll.Get<decltype(DVDecGetAPIExt)>("DVDecGetAPIExt");
    ASSERT_TRUE(init && newDec && doneDec && decode && decodeStateless && getInfo && getApi);
    char version[16] = {};
    ASSERT_NE(getApi(HVDV_API_EXT_QUERY), nullptr);
    EXPECT_EQ(getApi(HVDV_API_EXT_QUERY)(4, version), 0);
    EXPECT_EQ(std::string(version), HVDV_VERSION_STRING);

    init();
    DVDecInstance* instance = newDec();
    ASSERT_NE(instance, nullptr);
    const uint32_t w = 720, h = 576;
    const uint32_t formats[] = {HVDV_FOURCC_UYVY, HVDV_FOURCC_BGR4};
    for (uint32_t fourcc : formats) {
        const int32_t bpp = fourcc == HVDV_FOURCC_BGR4 ? 4 : 2;
        const int32_t rowBytes = (int32_t)w * bpp;
        for (size_t i = 0; i < 2; ++i) {
            SCOPED_TRACE(testing::Message() << "frame " << i << ", " << bpp << " bytes a pixel");
            std::vector<uint8_t> linked((size_t)rowBytes * h, 0x11), stateless(linked), withInstance(linked);
            const int32_t expected =
                DecompressBuffer_DV(stream.frame(i), stream.frameBytes, linked.data(), rowBytes, w, h, 0, fourcc, 0, 0);
            EXPECT_NE(expected, HVDV_DECODE_FAILED);
            EXPECT_EQ(
                decodeStateless(stream.frame(i), stream.frameBytes, stateless.data(), rowBytes, w, h, 0, fourcc, 0, 0),
                expected);
            EXPECT_EQ(decode(instance, stream.frame(i), stream.frameBytes, withInstance.data(), rowBytes, w, h, 0,
                             fourcc, 0, 0),
                      expected);
            EXPECT_TRUE(stateless == linked);
            EXPECT_TRUE(withInstance == linked);
        }
    }

    DVStreamInfo viaDll, linkedInfo;
    DVAudioInfo audioDll, audioLinked;
    int32_t validDll = -1, validLinked = -2;
    EXPECT_EQ(getInfo(stream.frame(0), (int32_t)stream.frameBytes, &viaDll, &audioDll, &validDll),
              DVGetInfo(stream.frame(0), (int32_t)stream.frameBytes, &linkedInfo, &audioLinked, &validLinked));
    EXPECT_EQ(std::memcmp(&viaDll, &linkedInfo, sizeof viaDll), 0);
    EXPECT_EQ(std::memcmp(&audioDll, &audioLinked, sizeof audioDll), 0);
    EXPECT_EQ(validDll, validLinked);

    // The instance's workers are parked inside the DLL until DVDoneDec; after
    // it no code of the DLL may still run, so unloading must be safe.
    doneDec(instance);
    EXPECT_EQ(hvdv_test::ThreadCountSettled(threadsBefore), threadsBefore) << "a worker outlived DVDoneDec";
    EXPECT_TRUE(FreeLibrary(dll.Release()));
    // Loading it again runs its entry routine a second time.
    Dll again;
    EXPECT_NE(again.get(), nullptr);
}

}  // namespace
