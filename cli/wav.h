// WAV output of 16-bit PCM: a plain PCM "fmt " chunk up to two channels,
// WAVE_FORMAT_EXTENSIBLE above; RF64 when the file outgrows RIFF's 32-bit
// sizes.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

namespace hvdv_cli {

class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Creates path for channels interleaved 16-bit channels at rate Hz.
    // rf64Above: data bytes beyond which the file becomes RF64 (RIFF's limit
    // unless a test lowers it).  False with a reason in *error.
    bool Open(const std::string& path, uint32_t rate, uint32_t channels, std::string* error,
              uint64_t rf64Above = kRiffLimit);
    // Appends frames x channels interleaved samples.
    bool Write(const int16_t* samples, size_t frames, std::string* error);
    // Writes the sizes into the header and closes the file.
    bool Close(std::string* error);

    uint64_t DataBytes() const { return dataBytes_; }
    uint32_t Channels() const { return channels_; }
    uint32_t Rate() const { return rate_; }

    // The largest data chunk whose RIFF size still fits 32 bits.
    static constexpr uint64_t kRiffLimit = 0xFFFFFFFFull - 4 - (8 + 28) - (8 + 40) - 8;

private:
    bool Fail(std::string* error);
    std::FILE* file_ = nullptr;
    uint32_t rate_ = 0, channels_ = 0;
    uint32_t headerBytes_ = 0;
    uint64_t dataBytes_ = 0;
    uint64_t rf64Above_ = kRiffLimit;
};

}  // namespace hvdv_cli
