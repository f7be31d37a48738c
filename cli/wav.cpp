#include "wav.h"

#include <cerrno>
#include <cstring>
#include <vector>

namespace hvdv_cli {

namespace {

void Put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
void Put64(std::vector<uint8_t>& b, uint64_t v) {
    Put32(b, uint32_t(v));
    Put32(b, uint32_t(v >> 32));
}
void PutTag(std::vector<uint8_t>& b, const char* tag) { b.insert(b.end(), tag, tag + 4); }

// KSDATAFORMAT_SUBTYPE_PCM, {00000001-0000-0010-8000-00aa00389b71}.
constexpr uint8_t kPcmGuid[16] = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};

// The header: RIFF (or RF64), a 28-byte chunk reserved for ds64 (named JUNK
// while the file is plain RIFF, so that readers skip it), "fmt " and the
// data chunk's header.  With 16-bit little-endian samples the host order
// must match; the samples are written as int16 values of this machine.
std::vector<uint8_t> Header(uint32_t rate, uint32_t channels, uint64_t data, bool rf64) {
    std::vector<uint8_t> b;
    const bool extensible = channels > 2;
    const uint32_t fmtBytes = extensible ? 40 : 16;
    const uint64_t riff = 4 + (8 + 28) + (8 + fmtBytes) + 8 + data;
    PutTag(b, rf64 ? "RF64" : "RIFF");
    Put32(b, rf64 ? 0xFFFFFFFFu : uint32_t(riff));
    PutTag(b, "WAVE");
    PutTag(b, rf64 ? "ds64" : "JUNK");
    Put32(b, 28);
    Put64(b, rf64 ? riff : 0);
    Put64(b, rf64 ? data : 0);
    Put64(b, rf64 ? data / (2 * channels) : 0);  // sample frames
    Put32(b, 0);                                 // no table of other chunk sizes
    PutTag(b, "fmt ");
    Put32(b, fmtBytes);
    Put16(b, extensible ? 0xFFFE : 1);  // WAVE_FORMAT_EXTENSIBLE or PCM
    Put16(b, channels);
    Put32(b, rate);
    Put32(b, rate * channels * 2);
    Put16(b, channels * 2);
    Put16(b, 16);
    if (extensible) {
        Put16(b, 22);
        Put16(b, 16);  // valid bits
        // Channel mask 0: no speaker positions.  DV's channels come in
        // stereo pairs (CH1/CH2, CH3/CH4...) that are separate recordings,
        // not a surround layout; naming the second pair "back left/right"
        // would have players spread it round the room.
        Put32(b, 0);
        b.insert(b.end(), kPcmGuid, kPcmGuid + 16);
    }
    PutTag(b, "data");
    Put32(b, rf64 ? 0xFFFFFFFFu : uint32_t(data));
    return b;
}

bool IsLittleEndian() {
    const uint16_t one = 1;
    uint8_t first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

}  // namespace

WavWriter::~WavWriter() {
    if (file_) std::fclose(file_);
}

bool WavWriter::Fail(std::string* error) {
    *error = std::strerror(errno);
    return false;
}

bool WavWriter::Open(const std::string& path, uint32_t rate, uint32_t channels, std::string* error,
                     uint64_t rf64Above) {
    if (!channels || channels > 0xFFFF / 2 || !rate) {
        *error = "bad audio format";
        return false;
    }
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) return Fail(error);
    rate_ = rate;
    channels_ = channels;
    rf64Above_ = rf64Above < kRiffLimit ? rf64Above : kRiffLimit;
    const std::vector<uint8_t> header = Header(rate, channels, 0, false);
    headerBytes_ = uint32_t(header.size());
    return std::fwrite(header.data(), 1, header.size(), file_) == header.size() || Fail(error);
}

bool WavWriter::Write(const int16_t* samples, size_t frames, std::string* error) {
    const size_t count = frames * channels_;
    if (IsLittleEndian()) {
        if (std::fwrite(samples, 2, count, file_) != count) return Fail(error);
    } else {
        for (size_t i = 0; i < count; ++i) {
            const uint8_t le[2] = {uint8_t(uint16_t(samples[i])), uint8_t(uint16_t(samples[i]) >> 8)};
            if (std::fwrite(le, 1, 2, file_) != 2) return Fail(error);
        }
    }
    dataBytes_ += uint64_t(count) * 2;
    return true;
}

bool WavWriter::Close(std::string* error) {
    std::FILE* f = file_;
    file_ = nullptr;
    const std::vector<uint8_t> header = Header(rate_, channels_, dataBytes_, dataBytes_ > rf64Above_);
    bool ok = !std::ferror(f) && std::fseek(f, 0, SEEK_SET) == 0 &&
              std::fwrite(header.data(), 1, header.size(), f) == header.size();
    ok = (std::fclose(f) == 0) && ok;
    return ok || Fail(error);
}

}  // namespace hvdv_cli
