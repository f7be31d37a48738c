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

enum Slot { kRun422, kStrip422, kRun444 };
const char* const kSlotNames[] = {"run422", "strip422", "run444"};

DVPixelKernel SlotOf(const DVPixelKernelSet& k, int slot) {
    switch (slot) {
        case kRun422: return k.convertRun422;
        case kStrip422: return k.convertStrip422;
        default: return k.convertRun444;
    }
}

// The family's set with the pixel kernels a decoder would choose for flags.
DVPixelKernelSet MakeSet(hvdv::DVKernelSetInit init, int bt709, uint32_t flags) {
    hvdv::DVPixelDsp dsp;
    hvdv::InitPixelDsp(&dsp, flags);
    DVPixelKernelSet k;
    std::memset(&k, 0, sizeof k);
    init(&k, bt709, &dsp);
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
    if (gotFn == refFn) return;  // the level left the reference in place
    const bool strip = slot == kStrip422;
    const bool full = slot == kRun444;
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
    checkasm::SameOutput(what, outRef, outGot);
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
                for (int slot = 0; slot < 3; slot++) {
                    const bool strip = slot == kStrip422;
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

// The whole-macroblock and block-pair conversions of each family and level
// against the reference level, and the reference against the strips the
// picture writers would otherwise assemble for the same blocks with the
// family's strip kernel:
//   4:2:0        luma row r (16 pixels) takes chroma row 4 (r / 8) + 2 ((r % 8) / 4) + r % 2;
//   4:2:0 half   chroma row c, each sample given twice, makes one strip whose
//                halves are output rows 2c and 2c + 1;
//   4:1:1 half   row r of the four luma slots side by side, each chroma
//                sample given twice;
//   block pair   eight 4:2:2 rows from two luma and two chroma slots placed
//                anywhere in a macroblock's slot array;
//   HD half      output rows 2i and 2i + 1 as the halves of one strip, luma
//                from slots 0 1 (rows 0-3) or 2 3 (rows 4-7), chroma rows
//                from Cr 4 or 5 and Cb 6 or 7;
//   4:1:1        (UYVY, YUY2) row r as two strips of slots 0 1 and 2 3, the
//                chroma samples of each half of the slot row given as they
//                are on even pairs and as the rounded mean with the next on
//                odd ones, the row's last sample being its own neighbour.
enum Shape { k420, k420Half, k411Half, kBlockPair, kHDHalf, k411 };
const char* const kShapeNames[] = {"macroblock420", "macroblock420half", "macroblock411half", "blockpair422",
                                   "macroblockhdhalf", "macroblock411"};
constexpr Shape kShapes[] = {k420, k420Half, k411Half, kBlockPair, kHDHalf, k411};

bool HasShape(const DVPixelKernelSet& k, Shape shape) {
    return shape == k420       ? k.convertMacroblock420 != nullptr
           : shape == k420Half ? k.convertMacroblock420Half != nullptr
           : shape == k411Half ? k.convertMacroblock411Half != nullptr
           : shape == kHDHalf  ? k.convertMacroblockHDHalf != nullptr
           : shape == k411     ? k.convertMacroblock411 != nullptr
                               : k.convertBlockPair422 != nullptr;
}

// pick: the slots of the left and right luma, Cb and Cr blocks of a pair.
void Convert(Shape shape, const DVPixelKernelSet& k, uint8_t* dst, int pitch, const uint8_t* slots, const int* pick) {
    switch (shape) {
        case k420: return k.convertMacroblock420(&k, dst, pitch, slots);
        case k420Half: return k.convertMacroblock420Half(&k, dst, pitch, slots);
        case k411Half: return k.convertMacroblock411Half(&k, dst, pitch, slots);
        case kHDHalf: return k.convertMacroblockHDHalf(&k, dst, pitch, slots);
        case k411: return k.convertMacroblock411(&k, dst, pitch, slots);
        default:
            return k.convertBlockPair422(&k, dst, pitch, slots + 64 * pick[0], slots + 64 * pick[1],
                                         slots + 64 * pick[2], slots + 64 * pick[3]);
    }
}

void ShapeSize(Shape shape, int* width, int* height) {
    *width = shape == k420Half || shape == kHDHalf ? 8 : shape == k411 ? 32 : 16;
    *height = shape == k420 ? 16 : shape == k411Half ? 4 : 8;
}

void StripsOf(Shape shape, DVPixelKernelSet s, const uint8_t* slots, const int* pick, uint8_t* dst, int pitch) {
    alignas(16) uint8_t y[16], cb[8], cr[8], out[64];
    s.srcY = y;
    s.srcCb = cb;
    s.srcCr = cr;
    const int strips = shape == k420 || shape == k411 ? 16 : shape == kBlockPair ? 8 : 4;
    for (int i = 0; i < strips; i++) {
        s.dst = dst + (size_t)i * pitch;
        if (shape == k411) {
            const int r = i / 2, h = i % 2;
            s.dst = dst + (size_t)r * pitch + 32 * (size_t)h;
            std::memcpy(y, slots + 64 * (2 * h) + 8 * r, 8);
            std::memcpy(y + 8, slots + 64 * (2 * h + 1) + 8 * r, 8);
            for (int q = 0; q < 8; q++) {
                const int a = 4 * h + q / 2, b = q % 2 && a < 7 ? a + 1 : a;
                cb[q] = (uint8_t)((slots[5 * 64 + 8 * r + a] + slots[5 * 64 + 8 * r + b] + 1) / 2);
                cr[q] = (uint8_t)((slots[4 * 64 + 8 * r + a] + slots[4 * 64 + 8 * r + b] + 1) / 2);
            }
        } else if (shape == k420) {
            const int h = i / 8, j = i % 8, c = 4 * h + 2 * (j / 4) + j % 2;
            std::memcpy(y, slots + 64 * (2 * h) + 8 * j, 8);
            std::memcpy(y + 8, slots + 64 * (2 * h + 1) + 8 * j, 8);
            std::memcpy(cb, slots + 5 * 64 + 8 * c, 8);
            std::memcpy(cr, slots + 4 * 64 + 8 * c, 8);
        } else if (shape == k420Half) {
            const int pair = 2 * (i / 2), a = 2 * (i % 2);
            for (int q = 0; q < 4; q++) {
                const int slot = pair + q % 2, row = a + q / 2;
                std::memcpy(y + 4 * q, slots + 64 * slot + 8 * row, 4);
            }
            for (int q = 0; q < 8; q++) {
                cb[q] = slots[5 * 64 + 8 * i + q % 4];
                cr[q] = slots[4 * 64 + 8 * i + q % 4];
            }
            s.dst = out;
        } else if (shape == kHDHalf) {
            const int upper = 2 * (i / 2), row = 2 * (i % 2);  // output rows 2i, 2i + 1
            for (int q = 0; q < 4; q++) std::memcpy(y + 4 * q, slots + 64 * (upper + q % 2) + 8 * (row + q / 2), 4);
            for (int q = 0; q < 8; q++) {
                cb[q] = slots[64 * (6 + i / 2) + 8 * (row + q / 4) + q % 4];
                cr[q] = slots[64 * (4 + i / 2) + 8 * (row + q / 4) + q % 4];
            }
            s.dst = out;
        } else if (shape == k411Half) {
            for (int q = 0; q < 4; q++) std::memcpy(y + 4 * q, slots + 64 * q + 8 * i, 4);
            for (int q = 0; q < 8; q++) {
                cb[q] = slots[5 * 64 + 8 * i + q / 2];
                cr[q] = slots[4 * 64 + 8 * i + q / 2];
            }
        } else {
            std::memcpy(y, slots + 64 * pick[0] + 8 * i, 8);
            std::memcpy(y + 8, slots + 64 * pick[1] + 8 * i, 8);
            std::memcpy(cb, slots + 64 * pick[2] + 8 * i, 8);
            std::memcpy(cr, slots + 64 * pick[3] + 8 * i, 8);
        }
        s.convertStrip422(&s);
        if (shape == k420Half || shape == kHDHalf) {
            const size_t half = 8 * (size_t)s.bytesPerPixel;
            std::memcpy(dst + (size_t)(2 * i) * pitch, out, half);
            std::memcpy(dst + (size_t)(2 * i + 1) * pitch, out + half, half);
        }
    }
}

void CheckBlocks(Shape shape, const FamilyEntry& f, int bt709, const checkasm::Isa& isa, int mode) {
    const DVPixelKernelSet ref = MakeSet(f.init, bt709, 0);
    const DVPixelKernelSet got = MakeSet(f.init, bt709, isa.flags);
    if (HasShape(ref, shape) != HasShape(got, shape))
        checkasm::Fail("%s %s %s: present at one level only", f.name, kShapeNames[shape], isa.name);
    if (!HasShape(ref, shape) || !HasShape(got, shape)) return;
    checkasm::Rng& r = checkasm::rng();
    alignas(16) uint8_t slots[8 * 64];
    for (uint8_t& v : slots) v = Sample(mode);
    const int pick[4] = {r.Range(0, 7), r.Range(0, 7), r.Range(0, 7), r.Range(0, 7)};
    int width, height;
    ShapeSize(shape, &width, &height);
    const int rowBytes = width * ref.bytesPerPixel;
    const int pitch = rowBytes + 16 * r.Range(0, 3) + r.Range(0, 15);
    const size_t bytes = (size_t)(height - 1) * pitch + rowBytes;
    checkasm::Guarded outRef(bytes), outGot(bytes), outStrips(bytes);

    Convert(shape, ref, outRef.data(), pitch, slots, pick);
    Convert(shape, got, outGot.data(), pitch, slots, pick);
    StripsOf(shape, ref, slots, pick, outStrips.data(), pitch);

    char what[160];
    std::snprintf(what, sizeof what, "%s %s %s %s pitch %d mode %d", f.name, bt709 ? "bt709" : "bt601",
                  kShapeNames[shape], isa.name, pitch, mode);
    checkasm::SameOutput(what, outRef, outGot);
    checkasm::SameOutput(what, outStrips, outRef);
}

CHECKASM_TEST(macroblock_kernels) {
    const auto& levels = checkasm::Levels();
    for (Shape shape : kShapes)
        for (const checkasm::Isa& isa : levels)
            for (const FamilyEntry& f : kFamilies)
                for (int bt709 = 0; bt709 < 2; bt709++)
                    for (int mode = 0; mode < 3; mode++)
                        for (int rep = 0; rep < 4; rep++) CheckBlocks(shape, f, bt709, isa, mode);

    if (!checkasm::BenchMode()) return;
    alignas(16) uint8_t slots[8 * 64];
    for (uint8_t& v : slots) v = Sample(0);
    const int pick[4] = {0, 1, 6, 4};
    std::vector<uint8_t> out(16 * 16 * 4);
    for (Shape shape : kShapes) {
        for (const FamilyEntry& f : {kFamilies[0], kFamilies[3]}) {
            for (const checkasm::Isa& isa : levels) {
                const DVPixelKernelSet k = MakeSet(f.init, 0, isa.flags);
                if (!HasShape(k, shape)) continue;
                int width, height;
                ShapeSize(shape, &width, &height);
                checkasm::Bench(std::string(f.name) + "_" + kShapeNames[shape] + "_" + isa.name,
                                [&] { Convert(shape, k, out.data(), width * k.bytesPerPixel, slots, pick); });
            }
        }
    }
}

}  // namespace
