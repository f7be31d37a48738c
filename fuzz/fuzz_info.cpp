// Fuzz target: stream information, frame classification and ProbeFrame on any bytes.
//
// Input: 7 parameter bytes, then the frame.
//   0     how frameSize is chosen (whole frame, shorter, negative, zero)
//   1-2   a length used by the frameSize choice
//   3     DVStreamInfoEx size (signed: negative and oversized records too)
//   4     DVAudioInfoEx size (signed)
//   5     bit 0: no audio record, bit 1: no audioValid, bit 2: no DVGetInfo audio record
//   6     picture height handed to the classifier
#include <cstdint>
#include <initializer_list>

#include "format/probe.h"
#include "format/profile.h"
#include "fuzz_common.h"
#include "hv_dec_dv.h"

using hvdv_fuzz::ExactBuffer;
using hvdv_fuzz::ParamReader;
using hvdv_fuzz::Require;

namespace {

int32_t ChooseFrameSize(uint8_t mode, uint16_t length, size_t available) {
    const int32_t whole = (int32_t)available;
    switch (mode & 7) {
        case 1: return length < available ? whole - length : 0;
        case 2: return (size_t)length * 80 < available ? (int32_t)length * 80 : whole;
        case 3: return -(int32_t)length - 1;
        case 4: return length < available ? (int32_t)length : whole;
        case 5: return 0;
        default: return whole;
    }
}

// A size-prefixed record of `size` bytes as the caller declares it: the
// allocation is exactly that (at least the size field itself).
struct Record {
    explicit Record(int32_t declared) : bytes(declared > 4 ? (size_t)declared : 4) {
        std::memset(bytes.data(), 0xEE, bytes.size());
        std::memcpy(bytes.data(), &declared, 4);
    }
    int32_t DeclaredSize() const {
        int32_t s;
        std::memcpy(&s, bytes.data(), 4);
        return s;
    }
    ExactBuffer bytes;
};

bool OneOf(int32_t v, std::initializer_list<int32_t> values) {
    for (int32_t x : values)
        if (v == x) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ParamReader params(data, size);
    const uint8_t sizeMode = params.Byte();
    const uint16_t length = params.Word();
    const int32_t infoSize = (int8_t)params.Byte();
    const int32_t audioSize = (int8_t)params.Byte();
    const uint8_t nulls = params.Byte();
    const uint8_t heightChoice = params.Byte();

    const ExactBuffer frame(params.Rest(), params.RestSize());
    const int32_t frameSize = ChooseFrameSize(sizeMode, length, frame.size());

    {
        DVStreamInfo* info = new DVStreamInfo;
        DVAudioInfo* audio = (nulls & 4) ? nullptr : new DVAudioInfo;
        int32_t audioValid = -1;
        const int32_t r = DVGetInfo(frame.data(), frameSize, info, audio, &audioValid);
        Require(r == HVDV_INFO_OK || r == HVDV_INFO_FAILED);
        if (r == HVDV_INFO_OK) {
            Require(OneOf(info->width, {720, 1920, 1280}));
            Require(OneOf(info->height, {480, 576, 1080, 720}));
            Require(info->frameBytes > 0 && info->frameBytes <= frameSize);
            Require(info->rateDenominator == 1 || info->rateDenominator == 1001);
            Require(audioValid == 0 || audioValid == 1);
        }
        delete audio;
        delete info;
    }

    {
        Record info(infoSize);
        Record* audio = (nulls & 1) ? nullptr : new Record(audioSize);
        int32_t audioValid = -1;
        const int32_t r = DVGetInfoEx(frame.data(), frameSize, reinterpret_cast<DVStreamInfoEx*>(info.bytes.data()),
                                      audio ? reinterpret_cast<DVAudioInfoEx*>(audio->bytes.data()) : nullptr,
                                      (nulls & 2) ? nullptr : &audioValid);
        Require(r == HVDV_INFO_OK || r == HVDV_INFO_FAILED);
        // The size fields are the caller's and are never written.
        Require(info.DeclaredSize() == infoSize);
        if (audio) Require(audio->DeclaredSize() == audioSize);
        delete audio;
    }

    static const uint32_t kHeights[] = {480, 576, 486, 240, 288, 720, 1080, 0, 1, 0xFFFFFFFFu};
    const uint32_t height = heightChoice < 10 ? kHeights[heightChoice] : heightChoice * 8u;
    if (frameSize >= 0) {
        // The profile a decode would use: a kind the table knows, or none.
        uint32_t type = 0;
        bool forced525 = false;
        const hvdv::DVProfile* p =
            hvdv::FrameProfileForDecoding(frame.data(), (uint32_t)frameSize, height, &type, &forced525);
        Require(!p || (p->kind == (int)(type & 0xFF) && hvdv::ProfileForKind(p->kind) == p));

        // The voting identification: a table profile exactly on success,
        // sources and conflicts apart, counts within bounds.
        hvdv::DVProbe probe;
        const bool ok = hvdv::ProbeFrame(frame.data(), (uint32_t)frameSize, &probe);
        Require(ok == (probe.failure == hvdv::DVProbeFailure::kNone));
        Require(ok == (probe.profile != nullptr));
        Require(!ok || (hvdv::ProfileForKind(probe.profile->kind) == probe.profile && probe.sources != 0 &&
                        (probe.sources & ~(uint32_t)hvdv::kProbeSize) != 0));
        Require((probe.sources & probe.conflicts) == 0 && ((probe.sources | probe.conflicts) & ~15u) == 0);
        Require(probe.vauxAgreeing >= 0 && probe.vauxAgreeing <= probe.vauxCopies &&
                probe.vauxCopies <= 48 * 3 * 15);
        Require((probe.disp < 0) == (probe.bcsys < 0) && probe.disp < 8 && probe.bcsys < 4);
    }
    return 0;
}
