// Helpers for the frame classification and stream information tests: the
// committed streams and synthetic frames built byte by byte.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "test_streams.h"

namespace hvdv_test {

// The whole file; empty when it cannot be read.
inline std::vector<uint8_t> ReadStream(const std::string& name) { return testdata::ReadFile(name); }

// A synthetic DV frame: everything 0xFF (as unused DIF bytes and empty packs
// are) except the first DIF block's ID, the header block of every stored DIF
// sequence, the VAUX source (0x60) and source control (0x61) packs of the
// first sequence and whatever a test adds.
struct FrameRecipe {
    enum Layout { kHeader, kNoHeader, kOtherId };
    uint32_t size = 120000;
    Layout layout = kHeader;
    bool dsf = false;   // header block DSF: 625/50
    bool apt1 = false;  // APT, AP1, AP2, AP3 all 1 (else all 0)
    bool packs = true;
    bool f50 = false;   // source pack 50/60 bit
    int stype = 0;
    int disp = 0;
    int bcsys = 0;
    int packBase = -1;  // where the packs go, less 368; -1: where the layout has them
};

inline FrameRecipe Packs(uint32_t size, bool dsf, bool f50, int stype = 0, bool apt1 = false) {
    FrameRecipe s;
    s.size = size;
    s.dsf = dsf;
    s.f50 = f50;
    s.stype = stype;
    s.apt1 = apt1;
    return s;
}

constexpr uint32_t kSequenceBytes = 12000;

inline void PutHeaderBlock(std::vector<uint8_t>& f, uint32_t at, const FrameRecipe& recipe) {
    if (at + 8 > f.size()) return;
    const uint8_t apt = recipe.apt1 ? 1 : 0;
    const uint8_t header[8] = {0x1F, 0x07, 0x00, uint8_t(recipe.dsf ? 0xBF : 0x3F),
                               uint8_t(0xF8 | apt), uint8_t(0x78 | apt), uint8_t(0x78 | apt), uint8_t(0x78 | apt)};
    for (int i = 0; i < 8; ++i) f[at + i] = header[i];
}

inline void PutPack(std::vector<uint8_t>& f, uint32_t at, uint8_t type, uint8_t pc1, uint8_t pc2, uint8_t pc3,
                    uint8_t pc4) {
    const uint8_t pack[5] = {type, pc1, pc2, pc3, pc4};
    for (int i = 0; i < 5; ++i)
        if (at + i < f.size()) f[at + i] = pack[i];
}

inline std::vector<uint8_t> MakeFrame(const FrameRecipe& recipe) {
    std::vector<uint8_t> f(recipe.size, 0xFF);
    uint32_t base = 80;
    if (recipe.layout == FrameRecipe::kHeader) {
        for (uint32_t s = 0; s < recipe.size; s += kSequenceBytes) PutHeaderBlock(f, s, recipe);
    } else if (recipe.layout == FrameRecipe::kNoHeader) {
        if (!f.empty()) f[0] = 0x3F;  // first subcode block
        base = 0;
    } else {
        if (!f.empty()) f[0] = 0x5F;  // a VAUX block ID: neither header nor subcode
    }
    if (recipe.packBase >= 0) base = uint32_t(recipe.packBase);
    if (recipe.packs) {
        PutPack(f, base + 368, 0x60, 0xFF, 0xFF, uint8_t(0xC0 | (recipe.f50 ? 0x20 : 0) | recipe.stype), 0xFF);
        PutPack(f, base + 373, 0x61, 0x3F, uint8_t(0xC8 | recipe.disp), uint8_t(0xFC | recipe.bcsys), 0xFF);
    }
    return f;
}

// Puts an AAUX source pack (0x50) with sampling code smp (0 48 kHz, 1 44.1
// kHz, 2 32 kHz) into audio block 3 of the first DIF sequence of the DIF
// channel starting at "start" (frames with header blocks).
inline void PutAudioSourcePack(std::vector<uint8_t>& f, uint32_t start, int smp) {
    PutPack(f, start + 483 + 1280 * 3, 0x50, 0xD0, 0x00, 0xE0, uint8_t(0x80 | (smp << 3)));
}

// Puts a frame-rate pack (0x64) with a correct check byte unless badCheck.
inline void PutRatePack(std::vector<uint8_t>& f, uint8_t pc1, uint8_t pc2, uint8_t pc3, bool badCheck = false) {
    const uint8_t check = uint8_t(((pc1 + pc2 + pc3) & 0xFF) ^ 0x55);
    PutPack(f, 468, 0x64, pc1, pc2, pc3, uint8_t(badCheck ? check ^ 1 : check));
}

}  // namespace hvdv_test
