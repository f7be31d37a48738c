// Makes a transfer of a tape the way a deck fails, for the merge test:
//
//   merge_damage TAPE.dv OUT.dv OP...
//
// TAPE.dv is an undamaged 25 Mb/s stream; OUT.dv gets its frames with
//   range:A:B     only frames A to B (a transfer starting and stopping elsewhere)
//   drop:N        frame N left out          repeat:N   frame N twice
//   sta:N:K:M     video blocks i of frame N with i % M == K: STA 0xA, the data
//                 of the previous frame's block (a deck's concealment)
//   audio:N:K:M   audio blocks likewise: every sample the error code
//   subcode:N:K:M subcode blocks likewise: their packs erased (all 0xFF)
//   every:P       the damage of sta/audio/subcode ops also on frames N + P x j
// (i counts the blocks of that section in buffer order.)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Op {
    std::string what;
    long n = 0, k = 0, m = 1;
};

// Section of block n (0-149) of a DIF sequence: 0 header, 1 subcode, 2 VAUX, 3 audio, 4 video.
int Section(int n) { return n == 0 ? 0 : n < 3 ? 1 : n < 6 ? 2 : (n - 6) % 16 == 0 ? 3 : 4; }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: merge_damage TAPE.dv OUT.dv OP...\n");
        return 2;
    }
    FILE* in = std::fopen(argv[1], "rb");
    if (!in) return 1;
    // Frame by frame: the tape may be longer than memory.
    std::vector<unsigned char> previous(80), frame(80);
    if (std::fread(frame.data(), 1, 80, in) != 80) return 1;
    const size_t frameBytes = (frame[3] & 0x80) ? 144000 : 120000;  // header DSF: 625/50 or 525/60
    std::rewind(in);
    previous.assign(frameBytes, 0);
    frame.assign(frameBytes, 0);
    long first = 0, last = -1, every = 0;
    std::vector<Op> ops;
    for (int i = 3; i < argc; ++i) {
        Op op;
        char name[16] = {};
        if (std::sscanf(argv[i], "%15[a-z]:%ld:%ld:%ld", name, &op.n, &op.k, &op.m) < 2 || op.m < 1) return 2;
        op.what = name;
        if (op.what == "range") first = op.n, last = op.k;
        if (op.what == "every") every = op.n;
        ops.push_back(op);
    }
    FILE* out = std::fopen(argv[2], "wb");
    if (!out) return 1;
    for (long f = 0; std::fread(frame.data(), 1, frameBytes, in) == frameBytes; ++f) {
        std::vector<unsigned char> clean(frame);
        if (f < first || (last >= 0 && f > last)) {
            previous.swap(clean);
            continue;
        }
        int copies = 1;
        for (const Op& op : ops) {
            if (op.what == "range" || op.what == "every") continue;
            if (op.n == f && op.what == "drop") copies = 0;
            if (op.n == f && op.what == "repeat") copies = 2;
            if (op.n != f && !(every > 0 && f > op.n && (f - op.n) % every == 0)) continue;
            const int section = op.what == "sta" ? 4 : op.what == "audio" ? 3 : op.what == "subcode" ? 1 : -1;
            if (section < 0) continue;
            long count = 0;
            for (size_t b = 0; b < frameBytes / 80; ++b) {
                if (Section(int(b % 150)) != section || count++ % op.m != op.k) continue;
                unsigned char* p = &frame[b * 80];
                if (section == 4) {
                    if (f > 0) std::memcpy(p + 3, &previous[b * 80 + 3], 77);
                    p[3] = (unsigned char)(0xA0 | (p[3] & 0x0F));
                } else if (section == 3) {
                    for (int s = 8; s < 80; s += 2) p[s] = 0x80, p[s + 1] = 0x00;
                } else {
                    for (int s = 0; s < 6; ++s) std::memset(p + 3 + 8 * s + 3, 0xFF, 5);
                }
            }
        }
        for (int c = 0; c < copies; ++c)
            if (std::fwrite(frame.data(), 1, frame.size(), out) != frame.size()) return 1;
        previous.swap(clean);
    }
    std::fclose(in);
    return std::fclose(out) == 0 ? 0 : 1;
}
