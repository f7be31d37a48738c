// The decode_blocks fuzz targets: valid frames with a few DIF blocks
// rewritten, decoded through the public interface.  Starting from a frame
// that decodes, every input reaches the macroblock decoder and the picture
// writers; most of a frame stays intact, so a damaged block meets its real
// neighbours.  fuzz_decode_blocks runs the 25 and 50 Mb/s templates,
// fuzz_decode_blocks_hd the high-definition ones (four to five times the
// work a frame, so they get their own target and exec/s figure).
//
// Input: 5 parameter bytes, then patches.
//   0     bits 0-2: template (modulo the target's count); bit 3: without
//         header DIF blocks (149 blocks a DIF sequence); bit 4: negative
//         pitch; bit 5: decode through a fresh call (DecompressBuffer_DV)
//         instead of the instance; bit 6: decode a second time with the
//         other threading and require the same picture and result
//   1     picture size: bits 0-1 index into the template's half sizes, or,
//         with bit 2 set, its full sizes (if it has any); bit 3: the other
//         system's height
//   2     output format (index into kFormats, modulo its length)
//   3     decode flags: bits 0-2 as they are; bit 3 set: on the worker
//         threads (else with the single-thread flag, the cheaper default)
//   4     bits 0-1: frame length (0, 1 whole, 2 whole DIF blocks cut off the
//         end, 3 bytes cut off the end); bits 2-7 with the first patch's
//         selector bytes give the amount cut
//   then up to kMaxPatches patches of 4 bytes and the data:
//     0-1 block selector: bits 14-15 of the word choose the kind, the rest
//         (modulo the count of that kind) the block:
//           0 any DIF block, 1 a header block, 2 a subcode or VAUX block,
//           3 a video block (DIF sequence and video block number)
//     2   first byte to replace in the block (modulo 80)
//     3   bytes to replace (cut at the end of the block and of the input)
//
// The templates are the first frames of streams in tests/data, read once at
// start-up (HVDV_FUZZ_DATA names another folder).  The frame handed to the
// decoder is an exact-size heap copy of the (possibly shortened) frame, and
// the picture an exact-size heap block, so AddressSanitizer sees any access
// past the end of either.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "hv_dec_dv.h"

namespace hvdv_fuzz {

constexpr uint32_t kBlockBytes = 80;
constexpr uint32_t kSequenceBytes = 150 * kBlockBytes;
constexpr int kMaxPatches = 16;

struct Size {
    uint32_t width, height;
};

struct Template {
    const char* file;
    uint32_t frameBytes;
    Size half[4];  // a width of 0 ends the list
    Size full[4];
    uint32_t otherHeight;  // the other television system's height, 0 for none
};

struct Format {
    uint32_t fourcc;
    uint32_t bytesPerPixel;
};

const Format kFormats[] = {
    {HVDV_FOURCC_YUY2, 2}, {HVDV_FOURCC_UYVY, 2}, {HVDV_FOURCC_VUYA, 4}, {HVDV_FOURCC_BGR3, 3}, {HVDV_FOURCC_R24C, 3},
    {HVDV_FOURCC_BGRA, 4}, {HVDV_FOURCC_R32C, 4}, {HVDV_FOURCC_R565, 2}, {HVDV_FOURCC_R555, 2},
};
constexpr size_t kFormatCount = sizeof kFormats / sizeof kFormats[0];

// Each template as stored (index 0) and without its header DIF blocks (1).
inline std::vector<std::vector<uint8_t>> g_frames[2];

inline std::string DataDir() {
    const char* env = std::getenv("HVDV_FUZZ_DATA");
    return env ? env : HVDV_FUZZ_DATA_DIR;
}

inline void LoadTemplates(const Template* templates, int count) {
    const std::string dir = DataDir();
    g_frames[0].resize(count);
    g_frames[1].resize(count);
    for (int t = 0; t < count; t++) {
        const Template& tp = templates[t];
        const std::string path = dir + "/" + tp.file;
        std::vector<uint8_t>& frame = g_frames[0][t];
        frame.resize(tp.frameBytes);
        FILE* f = std::fopen(path.c_str(), "rb");
        const size_t got = f ? std::fread(frame.data(), 1, frame.size(), f) : 0;
        if (f) std::fclose(f);
        if (got != frame.size()) {
            std::fprintf(stderr, "decode_blocks: cannot read a frame of %s (set HVDV_FUZZ_DATA)\n", path.c_str());
            std::abort();
        }
        // The header DIF block is the first of each 150-block sequence.
        std::vector<uint8_t>& bare = g_frames[1][t];
        for (uint32_t s = 0; s < tp.frameBytes / kSequenceBytes; s++)
            bare.insert(bare.end(), frame.begin() + s * kSequenceBytes + kBlockBytes,
                        frame.begin() + (s + 1) * kSequenceBytes);
    }
}

// The DIF block a patch selector names.  In each sequence: header block 0,
// subcode 1-2, VAUX 3-5, then 135 video blocks with an audio block before
// every 15 of them, so video block v is block 7 + v + v / 15.  Without
// header blocks every block moves one place down (block 0 does not exist).
inline uint32_t SelectBlock(uint16_t selector, uint32_t sequences, bool bare) {
    const uint32_t n = selector & 0x3FFF;
    const uint32_t perSequence = bare ? 149 : 150;
    uint32_t sequence, block;
    switch (selector >> 14) {
        case 0:
            return n % (sequences * perSequence);
        case 1:
            sequence = n % sequences;
            block = 0;
            break;
        case 2:
            sequence = (n / 5) % sequences;
            block = 1 + n % 5;
            break;
        default: {
            const uint32_t v = n % 135;
            sequence = (n / 135) % sequences;
            block = 7 + v + v / 15;
            break;
        }
    }
    if (bare) block = block ? block - 1 : 0;
    return sequence * perSequence + block;
}

inline int32_t Decode(DVDecInstance* instance, bool fresh, const ExactBuffer& frame, uint8_t* top, int32_t pitch,
                      Size size, uint32_t flags, uint32_t fourcc) {
    return fresh ? DecompressBuffer_DV(frame.data(), (uint32_t)frame.size(), top, pitch, size.width, size.height, flags,
                                       fourcc, 0, 0)
                 : DVDecompressBuffer(instance, frame.data(), (uint32_t)frame.size(), top, pitch, size.width,
                                      size.height, flags, fourcc, 0, 0);
}

// One input (see the top of this file) on the given templates.
inline int DecodeBlocks(const Template* templates, int count, const uint8_t* data, size_t size) {
    static DVDecInstance* const instance = DVNewDec();
    Require(instance != nullptr);

    ParamReader params(data, size);
    const uint8_t choice = params.Byte();
    const uint8_t sizeChoice = params.Byte();
    const Format format = kFormats[params.Byte() % kFormatCount];
    const uint8_t flagBits = params.Byte();
    const uint8_t lengthChoice = params.Byte();

    const int t = (choice & 7) % count;
    const bool bare = (choice & 8) != 0;
    const Template& tp = templates[t];
    const std::vector<uint8_t>& source = g_frames[bare][t];
    const uint32_t whole = (uint32_t)source.size();
    const uint32_t sequences = tp.frameBytes / kSequenceBytes;

    const Size* sizes = (sizeChoice & 4) && tp.full[0].width ? tp.full : tp.half;
    int sizeCount = 0;
    while (sizeCount < 4 && sizes[sizeCount].width) sizeCount++;
    Size picSize = sizes[(sizeChoice & 3) % sizeCount];
    if ((sizeChoice & 8) && tp.otherHeight) picSize.height = (sizes == tp.half ? tp.otherHeight / 2 : tp.otherHeight);

    // The amount cut off the end: 6 bits here and 16 from the bytes that
    // follow (they are the first patch's selector as well, so a shortened
    // frame costs no input of its own).
    const uint8_t* rest = params.Rest();
    const size_t restSize = params.RestSize();
    const uint32_t amount = ((uint32_t)(lengthChoice >> 2) << 16) | ((restSize > 0 ? (uint32_t)rest[0] : 0u) << 8) |
                            (restSize > 1 ? rest[1] : 0u);
    uint32_t length = whole;
    switch (lengthChoice & 3) {
        case 2:
            length = whole - kBlockBytes * (amount % (whole / kBlockBytes));
            break;
        case 3:
            length = whole - amount % whole;
            break;
        default:
            break;
    }

    ExactBuffer frame(source.data(), length);
    int patches = 0;
    for (; patches < kMaxPatches && params.RestSize() >= 4; patches++) {
        const uint16_t selector = params.Word();
        const uint32_t first = params.Byte() % kBlockBytes;
        uint32_t count = params.Byte();
        if (count > kBlockBytes - first) count = kBlockBytes - first;
        if (count > params.RestSize()) count = (uint32_t)params.RestSize();
        const uint32_t at = SelectBlock(selector, sequences, bare) * kBlockBytes + first;
        for (uint32_t i = 0; i < count && at + i < length; i++) frame.data()[at + i] = params.Rest()[i];
        params.Skip(count);
    }

    const int32_t rowBytes = (int32_t)(picSize.width * format.bytesPerPixel);
    const int32_t pitch = (choice & 0x10) ? -rowBytes : rowBytes;
    ExactBuffer picture((size_t)picSize.height * (size_t)rowBytes);
    std::memset(picture.data(), 0x5A, picture.size());
    uint8_t* const top = pitch < 0 ? picture.data() + (size_t)(picSize.height - 1) * rowBytes : picture.data();
    const uint32_t flags = (flagBits & 7u) | ((flagBits & 8u) ? 0u : HVDV_FLAG_SINGLE_THREAD);
    const bool fresh = (choice & 0x20) != 0;

    const int32_t r = Decode(instance, fresh, frame, top, pitch, picSize, flags, format.fourcc);
    Require(r == HVDV_DECODE_FAILED || r == HVDV_DECODE_OK || r == HVDV_DECODE_DAMAGED);
    // The templates themselves decode without damage at each of their sizes.
    if (patches == 0 && length == whole && !(sizeChoice & 8)) Require(r == HVDV_DECODE_OK);

    if (choice & 0x40) {
        // The threads share the segments and the rows of one picture: the
        // picture must not depend on how many of them there are.
        ExactBuffer again(picture.size());
        std::memset(again.data(), 0x5A, again.size());
        uint8_t* const top2 = pitch < 0 ? again.data() + (size_t)(picSize.height - 1) * rowBytes : again.data();
        const int32_t r2 =
            Decode(instance, fresh, frame, top2, pitch, picSize, flags ^ HVDV_FLAG_SINGLE_THREAD, format.fourcc);
        Require(r2 == r);
        if (std::memcmp(picture.data(), again.data(), picture.size()) == 0) return 0;
        for (size_t i = 0; i < picture.size(); i++) {
            if (picture.data()[i] == again.data()[i]) continue;
            size_t differing = 0, lastRow = 0;
            for (size_t j = i; j < picture.size(); j++)
                if (picture.data()[j] != again.data()[j]) differing++, lastRow = j / rowBytes;
            std::fprintf(stderr,
                         "pictures differ (result %d): first at row %zu byte %zu, last row %zu, %zu bytes of %zu\n",
                         (int)r, i / rowBytes, i % rowBytes, lastRow, differing, picture.size());
            Require(false);
        }
    }
    return 0;
}

}  // namespace hvdv_fuzz
