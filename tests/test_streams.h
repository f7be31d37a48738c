// Test helpers: the committed DV streams, decoding a frame to planes, and
// simple picture measures.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "hv_dec_dv.h"
#include "hvdv.h"

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

namespace testdata {

inline std::string Path(const std::string& name) { return std::string(HVDV_TEST_DATA_DIR) + "/" + name; }

// name prefixed with this process's ID: a scratch file of its own in a
// folder that test runs of other builds share (the system's temporary one).
inline std::string ProcessOwn(const std::string& name) {
#if defined(_WIN32)
    return std::to_string(_getpid()) + "_" + name;
#else
    return std::to_string(getpid()) + "_" + name;
#endif
}

// The whole file; empty when it cannot be read.
inline std::vector<uint8_t> ReadFile(const std::string& name) {
    std::vector<uint8_t> data;
    if (FILE* f = std::fopen(Path(name).c_str(), "rb")) {
        uint8_t buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
        std::fclose(f);
    }
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
    std::vector<uint8_t> copy(size_t i) const {
        return frames() > i ? std::vector<uint8_t>(frame(i), frame(i) + frameBytes) : std::vector<uint8_t>();
    }
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

// One frame decoded to "UYVY" and split into planes (chroma one sample per
// pixel pair); result is the decode call's.
struct Planes {
    int width = 0, height = 0, result = -1;
    std::vector<uint8_t> packed, y, cb, cr;
};

inline Planes DecodeUyvy(const uint8_t* frame, uint32_t bytes, int width, int height, uint32_t flags = 0) {
    Planes p;
    p.width = width;
    p.height = height;
    p.packed.assign((size_t)width * height * 2, 0x33);
    p.result = DecompressBuffer_DV(frame, bytes, p.packed.data(), width * 2, width, height, flags,
                                   HVDV_FOURCC_UYVY, 0, 0);
    for (size_t q = 0; q < p.packed.size() / 4; q++) {
        p.cb.push_back(p.packed[4 * q]);
        p.y.push_back(p.packed[4 * q + 1]);
        p.cr.push_back(p.packed[4 * q + 2]);
        p.y.push_back(p.packed[4 * q + 3]);
    }
    return p;
}

// The 2x2 mean of a plane of the given width, outW x outH samples.
inline std::vector<uint8_t> Box2x2(const std::vector<uint8_t>& plane, int width, int outW, int outH) {
    std::vector<uint8_t> out;
    for (int y = 0; y < outH; y++)
        for (int x = 0; x < outW; x++) {
            const uint8_t* p = &plane[(size_t)2 * y * width + 2 * x];
            out.push_back((uint8_t)((p[0] + p[1] + p[width] + p[width + 1] + 2) / 4));
        }
    return out;
}

// The first frame of a stream as the second interface identifies it: the
// first of the frame sizes that a probe of exactly that many bytes confirms
// (a buffer of two 720-line pictures is as long as one 1080-line frame, so
// the whole file is not probed at once).  info.size is set; false when no
// size fits.
inline bool ProbeFirstFrame(const std::vector<uint8_t>& data, hvdv_frame_info* info) {
    for (uint32_t bytes : {119200u, 120000u, 143040u, 144000u, 238400u, 240000u, 286080u, 288000u, 476800u,
                           480000u, 572160u, 576000u}) {
        if (bytes > data.size()) break;
        info->size = sizeof *info;
        if (hvdv_probe_frame(data.data(), bytes, info) == HVDV_OK && info->frame_bytes == bytes) return true;
    }
    return false;
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
