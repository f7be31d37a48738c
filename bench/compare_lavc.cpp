// Speed against libavcodec's DV decoder: the same frames in the same run, in
// alternating rounds, at 1 and 2 threads.
//   hvdv_compare [--seconds S] [--rounds N] [STREAM.dv ...]
//   hvdv_compare --profile N [--fourcc UYVY|BGRA|PLAN] [--half] [--display] [--peer] [--threads T] STREAM.dv ...
// --profile decodes every frame N times, untimed, on one thread (or T),
// for instruction counts under callgrind (--peer: libavcodec's decode).
// Without streams it takes the dense streams of HVDV_DENSE_DIR (made by the
// target hvdv_dense_streams) when they exist, else three committed ones.
// 50 Mb/s and high-definition streams are decoded at their coded width (as
// the peer does), at half of it and, for high definition, at the display
// width as well.  "PLAN" is the planar output of the second interface
// (hvdv.h) at the coded chroma sampling, the peer's own output.  Each ratio
// is printed with its spread: the lowest and highest of the rounds' ratios.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "hv_dec_dv.h"
#include "hvdv.h"
#include "lavc_dv.h"

namespace {

struct Stream {
    std::string path;
    uint32_t frameBytes = 0, width = 720, height = 0;
    uint32_t displayWidth = 720;
    std::vector<uint8_t> data;
    size_t frames() const { return data.size() / frameBytes; }
};

bool Load(const std::string& path, Stream* s) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s->data.insert(s->data.end(), buf, buf + n);
    std::fclose(f);
    DVStreamInfoEx info;
    std::memset(&info, 0, sizeof info);
    info.size = sizeof info;
    if (s->data.size() < 120000 ||
        DVGetInfoEx(s->data.data(), (int32_t)s->data.size(), &info, nullptr, nullptr) != 0)
        return false;
    s->path = path;
    s->frameBytes = (uint32_t)info.frameBytes;
    s->height = (uint32_t)info.height;
    s->displayWidth = (uint32_t)info.width;
    if (!s->frameBytes || s->frames() == 0) return false;
    // The coded size, as the peer decodes it.
    lavc::DvDecoder peer(1);
    lavc::Picture p;
    if (!peer.Decode(s->data.data(), (int)s->frameBytes, &p)) return false;
    s->width = (uint32_t)p.width;
    s->height = (uint32_t)p.height;
    return true;
}

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Frames per second of fn over at least `seconds`.
template <class F>
double Rate(const Stream& s, double seconds, F fn) {
    size_t done = 0;
    double t0 = Now(), t;
    do {
        for (size_t i = 0; i < s.frames(); i++) fn(s.data.data() + i * s.frameBytes);
        done += s.frames();
        t = Now();
    } while (t - t0 < seconds);
    return (double)done / (t - t0);
}

// Decodes every frame of every stream `times` times on one thread.
int Profile(const std::vector<std::string>& paths, int times, const std::string& fourcc, bool half,
            bool display, bool usePeer, int threads) {
    for (const std::string& path : paths) {
        Stream s;
        if (!Load(path, &s)) return 1;
        lavc::DvDecoder peer(threads);
        DVDecInstance* inst = DVNewDec();
        hvdv_decoder* planar = nullptr;
        hvdv_decoder_config config{};
        config.size = sizeof config;
        config.threads = (uint32_t)threads;
        if (hvdv_decoder_create(&config, &planar) != HVDV_OK) return 1;
        hvdv_frame_info info{};
        info.size = sizeof info;
        if (hvdv_probe_frame(s.data.data(), s.frameBytes, &info) != HVDV_OK) return 1;
        // Packed pictures at the display width (high definition) with --display.
        const uint32_t dw = display ? s.displayWidth : s.width;
        const uint32_t w = half ? dw / 2 : dw, h = half ? s.height / 2 : s.height;
        const uint32_t cw = half ? info.chroma_width / 2 : info.chroma_width;
        const uint32_t ch = half ? info.chroma_height / 2 : info.chroma_height;
        std::vector<uint8_t> pic((size_t)w * h * 4);
        hvdv_picture planes{};
        planes.size = sizeof planes;
        planes.format = HVDV_FORMAT_PLANAR;
        planes.data[0] = pic.data();
        planes.data[1] = pic.data() + (size_t)w * h;
        planes.data[2] = planes.data[1] + (size_t)cw * ch;
        planes.pitch[0] = (int32_t)w;
        planes.pitch[1] = planes.pitch[2] = (int32_t)cw;
        const bool bgra = fourcc == "BGRA";
        std::printf("frames %zu\n", s.frames());
        for (int t = 0; t < times; t++)
            for (size_t i = 0; i < s.frames(); i++) {
                const uint8_t* fr = s.data.data() + i * s.frameBytes;
                if (usePeer)
                    peer.DecodeOnly(fr, (int)s.frameBytes);
                else if (fourcc == "PLAN")
                    hvdv_decode_video(planar, fr, s.frameBytes, &planes, half ? HVDV_DECODE_HALF : 0, nullptr,
                                      nullptr);
                else
                    DVDecompressBuffer(inst, fr, s.frameBytes, pic.data(), (int32_t)(w * (bgra ? 4 : 2)), w, h,
                                       threads == 1 ? HVDV_FLAG_SINGLE_THREAD : 0, bgra ? HVDV_FOURCC_BGRA : HVDV_FOURCC_UYVY, 0, 0);
            }
        hvdv_decoder_destroy(planar);
        DVDoneDec(inst);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 0.5;
    int rounds = 3;
    int profile = 0, threads = 1;
    bool half = false, display = false, usePeer = false;
    std::string fourcc = "UYVY";
    std::vector<std::string> paths;
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) seconds = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--profile") && i + 1 < argc) profile = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--fourcc") && i + 1 < argc) fourcc = argv[++i];
        else if (!std::strcmp(argv[i], "--threads") && i + 1 < argc) threads = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--half")) half = true;
        else if (!std::strcmp(argv[i], "--display")) display = true;
        else if (!std::strcmp(argv[i], "--peer")) usePeer = true;
        else if (!std::strcmp(argv[i], "--rounds") && i + 1 < argc) rounds = std::atoi(argv[++i]);
        else paths.push_back(argv[i]);
    }
    if (paths.empty()) {
        for (const char* name : {"dense_525_411", "dense_625_420", "dense_625_411", "dense_dv50_525",
                                 "dense_dv50_625", "dense_hd_1080i50", "dense_hd_1080i60",
                                 "dense_hd_720p60"}) {
            std::string path = std::string(HVDV_DENSE_DIR "/") + name + ".dv";
            if (FILE* f = std::fopen(path.c_str(), "rb")) {
                std::fclose(f);
                paths.push_back(path);
            }
        }
    }
    if (paths.empty()) {
        paths = {HVDV_TEST_DATA_DIR "/sample_625_420.dv", HVDV_TEST_DATA_DIR "/ntsc_411_48k.dv",
                 HVDV_TEST_DATA_DIR "/pal_411.dv"};
    }
    InitDVDec();
    if (profile > 0) return Profile(paths, profile, fourcc, half, display, usePeer, threads);
    std::printf("%-18s %-5s %-4s %3s %10s %10s %7s %15s\n", "stream", "fmt", "size", "thr", "hv fps",
                "lavc fps", "ratio", "rounds min-max");
    for (const std::string& path : paths) {
        Stream s;
        if (!Load(path, &s)) {
            std::fprintf(stderr, "%s: not a DV stream\n", path.c_str());
            return 1;
        }
        std::string name = path.substr(path.find_last_of('/') + 1);
        for (int threads : {1, 2}) {
            lavc::DvDecoder peer(threads);
            DVDecInstance* inst = DVNewDec();
            hvdv_decoder* planar = nullptr;
            hvdv_decoder_config config{};
            config.size = sizeof config;
            config.threads = (uint32_t)threads;
            if (hvdv_decoder_create(&config, &planar) != HVDV_OK) return 1;
            const struct {
                const char* name;
                uint32_t fourcc;
                int bpp;
            } formats[] = {{"UYVY", HVDV_FOURCC_UYVY, 2}, {"BGRA", HVDV_FOURCC_BGRA, 4}, {"PLAN", 0, 0}};
            for (const auto& f : formats) {
                for (int half = 0; half < 3; half++) {
                    // 0: coded width, 1: half size, 2: display width (high definition).
                    if (half == 2 && (s.displayWidth == s.width || f.bpp == 0)) continue;
                    uint32_t w = half == 2 ? s.displayWidth : half ? s.width / 2 : s.width;
                    uint32_t h = half == 1 ? s.height / 2 : s.height;
                    std::vector<uint8_t> pic((size_t)w * h * (f.bpp ? f.bpp : 2));
                    hvdv_frame_info info{};
                    info.size = sizeof info;
                    hvdv_picture planes{};
                    planes.size = sizeof planes;
                    planes.format = HVDV_FORMAT_PLANAR;
                    if (f.bpp == 0) {
                        if (hvdv_probe_frame(s.data.data(), s.frameBytes, &info) != HVDV_OK) return 1;
                        const uint32_t cw = half ? info.chroma_width / 2 : info.chroma_width;
                        const uint32_t ch = half ? info.chroma_height / 2 : info.chroma_height;
                        planes.data[0] = pic.data();
                        planes.data[1] = pic.data() + (size_t)w * h;
                        planes.data[2] = planes.data[1] + (size_t)cw * ch;
                        planes.pitch[0] = (int32_t)w;
                        planes.pitch[1] = planes.pitch[2] = (int32_t)cw;
                    }
                    uint32_t flags = threads == 1 ? HVDV_FLAG_SINGLE_THREAD : 0;
                    double ours = 0, theirs = 0, lo = 1e9, hi = 0;
                    const bool peerRound = half == 0 && f.bpp != 4;
                    for (int r = 0; r < rounds; r++) {
                        const double o = Rate(s, seconds, [&](const uint8_t* fr) {
                            if (f.bpp)
                                DVDecompressBuffer(inst, fr, s.frameBytes, pic.data(), (int32_t)(w * f.bpp), w,
                                                   h, flags, f.fourcc, 0, 0);
                            else
                                hvdv_decode_video(planar, fr, s.frameBytes, &planes, half ? HVDV_DECODE_HALF : 0,
                                                  nullptr, nullptr);
                        });
                        ours += o;
                        // The peer always decodes at full size into planar YUV.
                        if (peerRound) {
                            const double t = Rate(s, seconds, [&](const uint8_t* fr) {
                                peer.DecodeOnly(fr, (int)s.frameBytes);
                            });
                            theirs += t;
                            lo = std::min(lo, o / t);
                            hi = std::max(hi, o / t);
                        }
                    }
                    ours /= rounds;
                    theirs /= rounds;
                    const char* size = half == 2 ? "disp" : half ? "half" : "full";
                    if (theirs > 0)
                        std::printf("%-18s %-5s %-4s %3d %10.1f %10.1f %6.2fx %7.2f-%.2fx\n", name.c_str(), f.name,
                                    size, threads, ours, theirs, ours / theirs, lo, hi);
                    else
                        std::printf("%-18s %-5s %-4s %3d %10.1f %10s %7s\n", name.c_str(), f.name, size, threads,
                                    ours, "-", "-");
                    std::fflush(stdout);
                }
            }
            hvdv_decoder_destroy(planar);
            DVDoneDec(inst);
        }
    }
    return 0;
}
