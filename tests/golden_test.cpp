// Golden MD5s of decoded pictures, through the public C interface only: every
// stream of tests/data at frame 0 and its last frame in every output format,
// at full and half size, with each decode flag, bottom-up rows, the
// row-offset heights, every width of the high-definition writers and clipped
// sizes.  Each digest covers the whole caller's buffer: the rows, the padding
// at the end of every row and guard bytes before and after, all filled with
// a sentinel first, so a write outside the picture moves the digest as well.
// The table is tests/data/golden.md5; after an intended change of the
// output, regenerate it with `HVDV_GOLDEN_UPDATE=1 build/tests/hvdv_golden`
// (or `--update`) and review the lines that moved.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "hv_dec_dv.h"
#include "md5.h"

namespace {

struct Size {
    uint32_t width, height;
};

struct Stream {
    const char* file;
    uint32_t frameBytes;
    Size full;                // display size; half size is half of both
    std::vector<Size> extra;  // other sizes the library places differently
};

const std::vector<Stream> kStreams = {
    {"sample_625_420.dv", 144000, {720, 576}, {}},
    {"pal_411.dv", 144000, {720, 576}, {}},
    {"pal_420_wide_32k.dv", 144000, {720, 576}, {}},  // 360x288 moves it down 36 rows
    {"pal_420_detail.dv", 144000, {720, 576}, {}},
    // 525/60: 480 rows at row 2 of 486; 4:1:1 in a 288-row picture from row 24.
    {"ntsc_411_48k.dv", 120000, {720, 480}, {{720, 486}, {360, 288}}},
    {"ntsc_411_detail.dv", 120000, {720, 480}, {{720, 486}, {360, 288}}},
    {"jj_sony_perfect.dv", 120000, {720, 480}, {{720, 486}, {360, 288}}},
    {"jj_sony_head_clog.dv", 120000, {720, 480}, {{720, 486}, {360, 288}}},
    {"jj_sony_good_quality.dv", 120000, {720, 480}, {{720, 486}, {360, 288}}},
    {"dv50_625.dv", 288000, {720, 576}, {}},
    {"dv50_525.dv", 240000, {720, 480}, {{720, 486}}},
    // High definition: display size and its half first, then the coded width,
    // its half, and for 720p the widths resampled 2:3 from either.
    {"hd_1080i50.dv", 576000, {1920, 1080}, {{1440, 1080}, {720, 540}}},
    {"hd_1080i60.dv", 480000, {1920, 1080}, {{1280, 1080}, {640, 540}}},
    {"hd_720p60.dv", 240000, {1280, 720}, {{960, 720}, {480, 360}, {1440, 720}, {720, 360}}},
};

struct Format {
    const char* name;
    uint32_t bytesPerPixel;
    bool alias;  // same output as another name: frame 0 only
};

const Format kFormats[] = {{"UYVY", 2, false}, {"UyVy", 2, true},  {"YUY2", 2, false}, {"YUYV", 2, true},
                           {"YuYv", 2, true},  {"VUYA", 4, false}, {"BGR3", 3, false}, {"R24C", 3, false},
                           {"BGR4", 4, false}, {"BGRA", 4, true},  {"R32C", 4, false}, {"R565", 2, false},
                           {"R555", 2, false}};
const Format kYuv = kFormats[2], kRgb = kFormats[6];
const uint32_t kFlags[] = {HVDV_FLAG_SWAP_FIELDS, HVDV_FLAG_SINGLE_PASS, HVDV_FLAG_IGNORE_WIDE,
                           HVDV_FLAG_SINGLE_THREAD};

constexpr size_t kGuard = 64, kPadding = 20;  // padding keeps rows off 16-byte multiples
constexpr uint8_t kSentinel = 0xC3;

enum Call { kInstance, kNoInstance, kBottomUp };
const char* const kCallNames[] = {"inst", "call", "up"};

// Decodes one frame and returns its table line.
std::string Case(DVDecInstance* dec, const Stream& s, const std::vector<uint8_t>& data, size_t frame, const Format& f,
                 Size size, uint32_t flags, Call call) {
    const size_t stride = (size_t)size.width * f.bytesPerPixel + kPadding;
    std::vector<uint8_t> buffer(2 * kGuard + stride * size.height, kSentinel);
    uint8_t* top = buffer.data() + kGuard + (call == kBottomUp ? stride * (size.height - 1) : 0);
    const int32_t pitch = call == kBottomUp ? -(int32_t)stride : (int32_t)stride;
    const uint8_t* in = data.data() + frame * s.frameBytes;
    const uint32_t fourcc = HVDV_FOURCC(f.name[0], f.name[1], f.name[2], f.name[3]);
    const int32_t r =
        call == kNoInstance
            ? DecompressBuffer_DV(in, s.frameBytes, top, pitch, size.width, size.height, flags, fourcc, 0, 0)
            : DVDecompressBuffer(dec, in, s.frameBytes, top, pitch, size.width, size.height, flags, fourcc, 0, 0);
    hvdv_cli::Md5 md5;
    md5.Update(buffer.data(), buffer.size());
    char line[200];
    std::snprintf(line, sizeof line, "%s %zu %s %ux%u %s flags=%x result=%d %s", s.file, frame, f.name, size.width,
                  size.height, kCallNames[call], flags, (int)r, md5.HexDigest().c_str());
    return line;
}

std::vector<std::string> AllCases() {
    std::vector<std::string> lines;
    DVDecInstance* dec = DVNewDec();  // one instance for everything: its writers are reused
    for (const Stream& s : kStreams) {
        std::vector<uint8_t> data;
        std::ifstream in(std::string(HVDV_TEST_DATA_DIR) + "/" + s.file, std::ios::binary);
        data.assign(std::istreambuf_iterator<char>(in), {});
        const size_t frames = data.size() / s.frameBytes;
        if (frames == 0) {
            lines.push_back(std::string(s.file) + " unreadable");
            continue;
        }
        const Size half = {s.full.width / 2, s.full.height / 2};
        std::vector<size_t> picks = {0};
        if (frames > 1) picks.push_back(frames - 1);
        for (size_t frame : picks)
            for (const Format& f : kFormats)
                for (Size size : {s.full, half})
                    if (frame == 0 || !f.alias) lines.push_back(Case(dec, s, data, frame, f, size, 0, kInstance));
        // Standard definition cut short on the right and at the bottom: the
        // clipping paths of the writers.
        std::vector<Size> extra = s.extra;
        if (s.full.width == 720) extra.insert(extra.end(), {{719, s.full.height - 3}, {357, half.height - 3}});
        for (const Format& f : {kYuv, kRgb}) {
            // The wide-screen indication matters only where it moves the picture.
            for (uint32_t flags : kFlags)
                lines.push_back(
                    Case(dec, s, data, 0, f, flags == HVDV_FLAG_IGNORE_WIDE ? half : s.full, flags, kNoInstance));
            lines.push_back(Case(dec, s, data, 0, f, s.full, 0, kBottomUp));
            for (Size size : extra) lines.push_back(Case(dec, s, data, 0, f, size, 0, kInstance));
        }
    }
    DVDoneDec(dec);
    return lines;
}

// The part of a line that names the case (everything before the result).
std::string Key(const std::string& line) {
    return line.substr(0, line.find(" result="));
}

}  // namespace

int main(int argc, char** argv) {
    const std::string path = std::string(HVDV_TEST_DATA_DIR) + "/golden.md5";
    const char* env = std::getenv("HVDV_GOLDEN_UPDATE");
    const bool update = (env && *env && std::strcmp(env, "0") != 0) || (argc > 1 && !std::strcmp(argv[1], "--update"));
    const std::vector<std::string> got = AllCases();
    if (update) {
        std::ofstream out(path);
        for (const std::string& line : got) out << line << '\n';
        std::printf("wrote %zu cases to %s\n", got.size(), path.c_str());
        return out ? 0 : 1;
    }
    std::map<std::string, std::string> expected;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) expected[Key(line)] = line;
    size_t differing = 0;
    for (const std::string& line : got) {
        auto it = expected.find(Key(line));
        if (it != expected.end() && it->second == line) {
            expected.erase(it);
            continue;
        }
        differing++;
        std::printf("expected: %s\n     got: %s\n", it == expected.end() ? "(no such case)" : it->second.c_str(),
                    line.c_str());
        if (it != expected.end()) expected.erase(it);
    }
    for (const auto& [key, line] : expected) std::printf(" missing: %s\n", line.c_str()), differing++;
    std::printf("%zu of %zu golden cases differ\n", differing, got.size());
    return differing ? 1 : 0;
}
