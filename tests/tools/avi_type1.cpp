// Wraps a raw 25 Mb/s DV file in an AVI type 1 file, the way capture tools
// store a tape: one "iavs" stream (handler "dvsd") whose chunks ("00__") are
// the DIF frames, audio included, and an idx1 index.  The cli_input test
// makes its type 1 inputs with it (FFmpeg writes type 2 only), and checks
// the result with FFmpeg's own demuxer.
//   hvdv_avi_type1 IN.dv OUT.avi
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Put32(std::vector<uint8_t>* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(uint8_t(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>* out, uint16_t v) {
    out->push_back(uint8_t(v));
    out->push_back(uint8_t(v >> 8));
}
void PutTag(std::vector<uint8_t>* out, const char* tag) { out->insert(out->end(), tag, tag + 4); }
void Patch32(std::vector<uint8_t>* out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) (*out)[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// Opens a chunk (or a LIST with its type); returns where its size goes.
size_t Open(std::vector<uint8_t>* out, const char* tag, const char* listType = nullptr) {
    PutTag(out, tag);
    const size_t at = out->size();
    Put32(out, 0);
    if (listType) PutTag(out, listType);
    return at;
}
void Close(std::vector<uint8_t>* out, size_t at) {
    Patch32(out, at, uint32_t(out->size() - at - 4));
    if (out->size() & 1) out->push_back(0);
}

// The payload (4 bytes after the pack ID) of the first pack `id` of the
// frame: AAUX packs lead the audio blocks (block 6 + 16 k of each 150-block
// DIF sequence), VAUX packs fill blocks 3 to 5, 15 packs of 5 bytes each.
uint32_t PackPayload(const std::vector<uint8_t>& frame, uint8_t id) {
    const bool audio = id < 0x60;
    for (size_t seq = 0; seq + 12000 <= frame.size(); seq += 12000) {
        for (int k = 0; k < (audio ? 9 : 3); ++k) {
            const uint8_t* block = frame.data() + seq + 80 * size_t(audio ? 6 + 16 * k : 3 + k);
            for (int p = 0; p < (audio ? 1 : 15); ++p) {
                const uint8_t* pack = block + 3 + 5 * p;
                if (pack[0] == id) return uint32_t(pack[1]) | uint32_t(pack[2]) << 8 | uint32_t(pack[3]) << 16 |
                                          uint32_t(pack[4]) << 24;
            }
        }
    }
    return 0xFFFFFFFF;  // no such pack: all ones, as a pack that is not there reads
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: hvdv_avi_type1 IN.dv OUT.avi\n");
        return 2;
    }
    FILE* in = std::fopen(argv[1], "rb");
    if (!in) {
        std::fprintf(stderr, "hvdv_avi_type1: cannot open %s\n", argv[1]);
        return 1;
    }
    std::vector<uint8_t> dv;
    uint8_t chunk[65536];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;) dv.insert(dv.end(), chunk, chunk + n);
    std::fclose(in);
    // 25 Mb/s only: the header block's DSF bit (byte 3, bit 7) gives 625/50
    // (12 sequences, 144000 bytes) or 525/60 (10 sequences, 120000 bytes).
    if (dv.size() < 80 || (dv[0] >> 5) != 0 || (dv[3] & 0x7F) != 0x3F) {
        std::fprintf(stderr, "hvdv_avi_type1: %s does not start with a DV header block\n", argv[1]);
        return 1;
    }
    const bool is625 = dv[3] & 0x80;
    const size_t frameBytes = is625 ? 144000 : 120000;
    const uint32_t frames = uint32_t(dv.size() / frameBytes);
    // (One RIFF part, no OpenDML: under 1 GB.)
    if (frames == 0 || dv.size() % frameBytes != 0 || dv.size() > (1u << 30)) {
        std::fprintf(stderr, "hvdv_avi_type1: %s is not whole 25 Mb/s frames of %zu bytes\n", argv[1], frameBytes);
        return 1;
    }
    const uint32_t scale = is625 ? 1 : 1001, rate = is625 ? 25 : 30000;
    const std::vector<uint8_t> first(dv.begin(), dv.begin() + std::ptrdiff_t(frameBytes));

    std::vector<uint8_t> out;
    const size_t riff = Open(&out, "RIFF", "AVI ");
    const size_t hdrl = Open(&out, "LIST", "hdrl");
    const size_t avih = Open(&out, "avih");
    Put32(&out, uint32_t(1000000ull * scale / rate));                 // microseconds a frame
    Put32(&out, uint32_t(uint64_t(frameBytes) * rate / scale));       // bytes a second
    Put32(&out, 0);                                                   // padding granularity
    Put32(&out, 0x10 | 0x800);                                        // has index, trust chunk types
    Put32(&out, frames);
    Put32(&out, 0);                                                   // initial frames
    Put32(&out, 1);                                                   // streams
    Put32(&out, uint32_t(frameBytes));                                // suggested buffer size
    Put32(&out, 720);
    Put32(&out, is625 ? 576 : 480);
    for (int i = 0; i < 4; ++i) Put32(&out, 0);
    Close(&out, avih);
    const size_t strl = Open(&out, "LIST", "strl");
    const size_t strh = Open(&out, "strh");
    PutTag(&out, "iavs");
    PutTag(&out, "dvsd");
    Put32(&out, 0);                                                   // flags
    Put16(&out, 0);                                                   // priority
    Put16(&out, 0);                                                   // language
    Put32(&out, 0);                                                   // initial frames
    Put32(&out, scale);
    Put32(&out, rate);
    Put32(&out, 0);                                                   // start
    Put32(&out, frames);                                              // length
    Put32(&out, uint32_t(frameBytes));                                // suggested buffer size
    Put32(&out, 0);                                                   // quality
    Put32(&out, 0);                                                   // sample size
    Put16(&out, 0);
    Put16(&out, 0);
    Put16(&out, 720);
    Put16(&out, is625 ? 576 : 480);
    Close(&out, strh);
    // DVINFO: the first frame's AAUX source and control packs (first and
    // second audio channel pairs alike here), VAUX source and control.
    const size_t strf = Open(&out, "strf");
    for (int pair = 0; pair < 2; ++pair) {
        Put32(&out, PackPayload(first, 0x50));
        Put32(&out, PackPayload(first, 0x51));
    }
    Put32(&out, PackPayload(first, 0x60));
    Put32(&out, PackPayload(first, 0x61));
    Put32(&out, 0);
    Put32(&out, 0);
    Close(&out, strf);
    Close(&out, strl);
    Close(&out, hdrl);
    const size_t movi = Open(&out, "LIST", "movi");
    const size_t moviType = movi + 4;  // idx1 offsets count from the list type
    std::vector<uint32_t> offsets;
    for (uint32_t f = 0; f < frames; ++f) {
        offsets.push_back(uint32_t(out.size() - moviType));
        const size_t c = Open(&out, "00__");
        out.insert(out.end(), dv.begin() + std::ptrdiff_t(f * frameBytes), dv.begin() + std::ptrdiff_t((f + 1) * frameBytes));
        Close(&out, c);
    }
    Close(&out, movi);
    const size_t idx1 = Open(&out, "idx1");
    for (uint32_t offset : offsets) {
        PutTag(&out, "00__");
        Put32(&out, 0x10);                                            // key frame
        Put32(&out, offset);
        Put32(&out, uint32_t(frameBytes));
    }
    Close(&out, idx1);
    Close(&out, riff);

    FILE* file = std::fopen(argv[2], "wb");
    bool written = file && std::fwrite(out.data(), 1, out.size(), file) == out.size();
    if (file && std::fclose(file) != 0) written = false;
    if (!written) {
        std::remove(argv[2]);
        std::fprintf(stderr, "hvdv_avi_type1: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
