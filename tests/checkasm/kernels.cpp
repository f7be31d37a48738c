// Pixel kernel sets: every family, both matrices, every slot, each
// instruction-set level against the plain C++ reference.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "checkasm.h"
#include "kernels/kernels.h"

namespace {

using hvdv::DVPixelKernel;
using hvdv::DVPixelKernelSet;

struct FamilyEntry {
    const char* name;
    hvdv::DVKernelSetInit init;
};
const FamilyEntry kFamilies[] = {
    {"uyvy", hvdv::PackUYVY},
    {"yuy2", hvdv::PackYUY2},
    {"vuya", hvdv::PackVUYA},
    {"bgra32", hvdv::ConvertBGRA32},
    {"bgr24", hvdv::ConvertBGR24},
    {"bgra32_studio", hvdv::ConvertBGRA32Studio},
    {"bgr24_studio", hvdv::ConvertBGR24Studio},
    {"rgb555", hvdv::ConvertRGB555},
    {"rgb565", hvdv::ConvertRGB565},
};

enum Slot { kRun422, kStrip422, kRun444, kStrip444 };
const char* const kSlotNames[] = {"run422", "strip422", "run444", "strip444"};

DVPixelKernel SlotOf(const DVPixelKernelSet& k, int slot) {
    switch (slot) {
        case kRun422: return k.convertRun422;
        case kStrip422: return k.convertStrip422;
        case kRun444: return k.convertRun444;
        default: return k.convertStrip444;
    }
}

DVPixelKernelSet MakeSet(hvdv::DVKernelSetInit init, int bt709, uint32_t flags) {
    DVPixelKernelSet k;
    std::memset(&k, 0, sizeof k);
    init(&k, bt709, flags);
    return k;
}

// Samples at the edges of the nominal ranges and of the byte, where
// saturation and rounding turn.
const uint8_t kExtremes[] = {0, 1, 15, 16, 17, 127, 128, 129, 234, 235, 236, 239, 240, 241, 254, 255};

uint8_t Sample(int mode) {
    checkasm::Rng& r = checkasm::rng();
    switch (mode) {
        case 0: return (uint8_t)r.Next();
        case 1: return kExtremes[r.Next() % sizeof kExtremes];
        default: return (r.Next() & 1) ? kExtremes[r.Next() % sizeof kExtremes] : (uint8_t)r.Next();
    }
}

// A source of exactly `count` samples that ends at the end of its heap block,
// at a random misalignment, so a read past its end shows under AddressSanitizer.
struct Source {
    std::vector<uint8_t> block;
    size_t start;
    Source(size_t count, int mode) : start(checkasm::rng().Next() % 16) {
        block.resize(start + count);
        for (size_t i = start; i < block.size(); i++) block[i] = Sample(mode);
    }
    const uint8_t* data() const { return block.data() + start; }
};

void CheckOne(const FamilyEntry& f, int bt709, int slot, const checkasm::Isa& isa, int count, int mode) {
    const DVPixelKernelSet ref = MakeSet(f.init, bt709, 0);
    const DVPixelKernelSet got = MakeSet(f.init, bt709, isa.flags);
    const DVPixelKernel refFn = SlotOf(ref, slot), gotFn = SlotOf(got, slot);
    if (!refFn || !gotFn) {
        if (refFn != gotFn) checkasm::Fail("%s %s %s: slot present at one level only", f.name, kSlotNames[slot], isa.name);
        return;
    }
    const bool strip = slot == kStrip422 || slot == kStrip444;
    const bool full = slot == kRun444 || slot == kStrip444;
    const int n = strip ? 16 : count;
    const int chroma = full ? n : n / 2;
    const Source y(n, mode), cb(chroma, mode), cr(chroma, mode);

    const size_t outBytes = (size_t)n * ref.bytesPerPixel;
    const size_t slack = 32;
    checkasm::Guarded outRef(outBytes + slack), outGot(outBytes + slack);
    const uint8_t sentinel = (uint8_t)checkasm::rng().Next();
    outRef.Fill(sentinel);
    outGot.Fill(sentinel);
    const size_t dstOffset = checkasm::rng().Next() % 16;

    DVPixelKernelSet a = ref, b = got;
    for (DVPixelKernelSet* k : {&a, &b}) {
        k->srcY = y.data();
        k->srcCb = cb.data();
        k->srcCr = cr.data();
        k->pixelCount = n;
    }
    a.dst = outRef.data() + dstOffset;
    b.dst = outGot.data() + dstOffset;
    refFn(&a);
    gotFn(&b);

    char what[160];
    std::snprintf(what, sizeof what, "%s %s %s %s count %d mode %d", f.name, bt709 ? "bt709" : "bt601",
                  kSlotNames[slot], isa.name, n, mode);
    checkasm::SameBytes(what, outRef.data(), outGot.data(), outRef.size());
    if (!outRef.GuardsIntact() || !outGot.GuardsIntact()) checkasm::Fail("%s: guard bytes overwritten", what);
}

CHECKASM_TEST(pixel_kernels) {
    const std::vector<int> runCounts = {16, 32, 48, 720, 1920};
    // The 4:2:2 packed runs take any count; they finish pair by pair.
    const std::vector<int> packedRunCounts = {0, 1, 2, 6, 15, 16, 17, 18, 31, 33, 719, 720, 721, 1919, 1920};
    const auto& levels = checkasm::Levels();
    for (size_t li = 1; li < levels.size(); li++) {
        for (const FamilyEntry& f : kFamilies) {
            const bool packed422 = f.init == hvdv::PackUYVY || f.init == hvdv::PackYUY2;
            for (int bt709 = 0; bt709 < 2; bt709++) {
                for (int slot = 0; slot < 4; slot++) {
                    const bool strip = slot == kStrip422 || slot == kStrip444;
                    const std::vector<int>& counts =
                        strip ? std::vector<int>{16} : (packed422 && slot == kRun422 ? packedRunCounts : runCounts);
                    for (int count : counts)
                        for (int mode = 0; mode < 3; mode++)
                            for (int rep = 0; rep < (strip ? 20 : 2); rep++)
                                CheckOne(f, bt709, slot, levels[li], count, mode);
                }
            }
        }
    }

    if (!checkasm::BenchMode()) return;
    // One 720-pixel row per call.
    const int n = 720;
    std::vector<uint8_t> y(n), cb(n), cr(n), out(4 * n);
    for (int i = 0; i < n; i++) {
        y[i] = Sample(0);
        cb[i] = Sample(0);
        cr[i] = Sample(0);
    }
    for (const FamilyEntry& f : kFamilies) {
        DVPixelKernelSet previous = MakeSet(f.init, 0, 0);
        for (const checkasm::Isa& isa : levels) {
            DVPixelKernelSet k = MakeSet(f.init, 0, isa.flags);
            k.srcY = y.data();
            k.srcCb = cb.data();
            k.srcCr = cr.data();
            k.dst = out.data();
            k.pixelCount = n;
            for (int slot : {kRun422, kRun444}) {
                // Levels that add nothing to this family run the same function.
                const DVPixelKernel fn = SlotOf(k, slot);
                if (!fn || (&isa != &levels[0] && fn == SlotOf(previous, slot))) continue;
                checkasm::Bench(std::string(f.name) + "_" + kSlotNames[slot] + "_" + isa.name, [&] { fn(&k); });
            }
            previous = k;
        }
    }
}

}  // namespace

namespace {

// The whole-macroblock 4:2:0 conversion of each family and level against the
// reference level, and the reference against sixteen strips of its own strip
// kernel fed with the interlaced chroma rows (luma row r of the macroblock
// takes chroma row 4 (r / 8) + 2 ((r % 8) / 4) + r % 2).
void CheckMacroblock420(const FamilyEntry& f, int bt709, const checkasm::Isa& isa, int mode) {
    const DVPixelKernelSet ref = MakeSet(f.init, bt709, 0);
    const DVPixelKernelSet got = MakeSet(f.init, bt709, isa.flags);
    if (!ref.convertMacroblock420 || !got.convertMacroblock420) {
        if (ref.convertMacroblock420 != got.convertMacroblock420)
            checkasm::Fail("%s macroblock420 %s: present at one level only", f.name, isa.name);
        return;
    }
    alignas(16) uint8_t slots[6 * 64];
    for (uint8_t& v : slots) v = Sample(mode);
    const int rowBytes = 16 * ref.bytesPerPixel;
    const int pitch = rowBytes + 16 * checkasm::rng().Range(0, 3) + checkasm::rng().Range(0, 15);
    const size_t bytes = (size_t)15 * pitch + rowBytes;
    checkasm::Guarded outRef(bytes), outGot(bytes), outStrips(bytes);

    ref.convertMacroblock420(&ref, outRef.data(), pitch, slots);
    got.convertMacroblock420(&got, outGot.data(), pitch, slots);
    DVPixelKernelSet s = ref;
    alignas(16) uint8_t y[16];
    for (int r = 0; r < 16; r++) {
        const int h = r / 8, j = r % 8, c = 4 * h + 2 * (j / 4) + j % 2;
        std::memcpy(y, slots + 64 * (2 * h) + 8 * j, 8);
        std::memcpy(y + 8, slots + 64 * (2 * h + 1) + 8 * j, 8);
        s.srcY = y;
        s.srcCb = slots + 5 * 64 + 8 * c;
        s.srcCr = slots + 4 * 64 + 8 * c;
        s.dst = outStrips.data() + (size_t)r * pitch;
        s.convertStrip422(&s);
    }

    char what[160];
    std::snprintf(what, sizeof what, "%s %s macroblock420 %s pitch %d mode %d", f.name, bt709 ? "bt709" : "bt601",
                  isa.name, pitch, mode);
    checkasm::SameBytes(what, outRef.data(), outGot.data(), bytes);
    checkasm::SameBytes(what, outStrips.data(), outRef.data(), bytes);
    if (!outRef.GuardsIntact() || !outGot.GuardsIntact()) checkasm::Fail("%s: guard bytes overwritten", what);
}

CHECKASM_TEST(macroblock420) {
    const auto& levels = checkasm::Levels();
    for (const checkasm::Isa& isa : levels)
        for (const FamilyEntry& f : kFamilies)
            for (int bt709 = 0; bt709 < 2; bt709++)
                for (int mode = 0; mode < 3; mode++)
                    for (int rep = 0; rep < 4; rep++) CheckMacroblock420(f, bt709, isa, mode);

    if (!checkasm::BenchMode()) return;
    alignas(16) uint8_t slots[6 * 64];
    for (uint8_t& v : slots) v = Sample(0);
    std::vector<uint8_t> out(16 * 16 * 4);
    for (const FamilyEntry& f : {kFamilies[0], kFamilies[3]}) {
        for (const checkasm::Isa& isa : levels) {
            const DVPixelKernelSet k = MakeSet(f.init, 0, isa.flags);
            checkasm::Bench(std::string(f.name) + "_macroblock420_" + isa.name,
                            [&] { k.convertMacroblock420(&k, out.data(), 16 * k.bytesPerPixel, slots); });
        }
    }
}

}  // namespace
