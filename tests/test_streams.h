// Test helpers: the committed DV streams and simple picture measures.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace testdata {

inline std::string Path(const std::string& name) { return std::string(HVDV_TEST_DATA_DIR) + "/" + name; }

inline std::vector<uint8_t> ReadFile(const std::string& name) {
    std::vector<uint8_t> data;
    FILE* f = std::fopen(Path(name).c_str(), "rb");
    if (!f) return data;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
    std::fclose(f);
    return data;
}

// A raw DV stream of whole frames of one size.
struct Stream {
    std::string name;
    uint32_t frameBytes;
    uint32_t height;  // coded picture height
    std::vector<uint8_t> data;
    size_t frames() const { return frameBytes ? data.size() / frameBytes : 0; }
    const uint8_t* frame(size_t i) const { return data.data() + i * frameBytes; }
};

inline Stream Load(const std::string& name, uint32_t frameBytes, uint32_t height) {
    return Stream{name, frameBytes, height, ReadFile(name)};
}

// The committed 25 Mb/s streams.
inline std::vector<Stream> Streams25() {
    return {Load("sample_625_420.dv", 144000, 576), Load("ntsc_411_48k.dv", 120000, 480),
            Load("pal_411.dv", 144000, 576), Load("pal_420_wide_32k.dv", 144000, 576),
            Load("pal_420_detail.dv", 144000, 576), Load("ntsc_411_detail.dv", 120000, 480)};
}

// Peak signal-to-noise ratio of two equally sized 8-bit sample sets.
inline double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    double se = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); i++) {
        double d = (double)a[i] - (double)b[i];
        se += d * d;
    }
    if (se == 0) return 99.0;
    double mse = se / (double)a.size();
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace testdata
