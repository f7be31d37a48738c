// Writer row kernels: 4:1:1 chroma reconstruction and the high-definition
// resamplers, reference against every instruction-set level.
#include <cstdio>
#include <cstring>
#include <string>

#include "checkasm.h"
#include "writer/writer_ops.h"

using namespace hvdv;

namespace {

// Random samples, or one of the extreme patterns.
void FillSamples(uint8_t* p, int n, int pattern) {
    for (int i = 0; i < n; i++) {
        switch (pattern) {
            case 0: p[i] = (uint8_t)checkasm::rng().Next(); break;
            case 1: p[i] = 0; break;
            case 2: p[i] = 255; break;
            case 3: p[i] = (i & 1) ? 255 : 0; break;
            default: p[i] = (checkasm::rng().Next() & 1) ? 255 : 0; break;
        }
    }
}
constexpr int kPatterns = 5;

}  // namespace

CHECKASM_TEST(writer_chroma411) {
    DVWriterDsp ref, prev;
    InitWriterDsp(&ref, 0);
    prev = ref;
    for (const checkasm::Isa& isa : checkasm::Levels()) {
        DVWriterDsp d;
        InitWriterDsp(&d, isa.flags);
        // Only the entries this level changed.
        const bool new444 = d.chroma411To444 != prev.chroma411To444;
        const bool new422 = d.chroma411To422 != prev.chroma411To422;
        prev = d;
        if (!new444 && !new422) continue;
        for (int iter = 0; iter < 2000; iter++) {
            uint8_t in[24];
            FillSamples(in, 24, iter % kPatterns);
            if (new444) {
                checkasm::Guarded a(32, 64), b(32, 64);
                // out[-1] .. out[30]
                ref.chroma411To444(in + 8, in, in + 16, a.data() + 1);
                d.chroma411To444(in + 8, in, in + 16, b.data() + 1);
                const std::string what = std::string("chroma411To444_") + isa.name;
                checkasm::SameOutput(what.c_str(), a, b);
            }
            if (new422) {
                checkasm::Guarded a(16, 64), b(16, 64);
                ref.chroma411To422(in + 8, in + 16, a.data());
                d.chroma411To422(in + 8, in + 16, b.data());
                const std::string what = std::string("chroma411To422_") + isa.name;
                checkasm::SameOutput(what.c_str(), a, b);
            }
        }
        uint8_t in[24], out[48];
        FillSamples(in, 24, 0);
        if (new444) {
            checkasm::Bench("chroma411To444_c", [&] { ref.chroma411To444(in + 8, in, in + 16, out + 1); });
            checkasm::Bench(std::string("chroma411To444_") + isa.name,
                            [&] { d.chroma411To444(in + 8, in, in + 16, out + 1); });
        }
        if (new422) {
            checkasm::Bench("chroma411To422_c", [&] { ref.chroma411To422(in + 8, in + 16, out); });
            checkasm::Bench(std::string("chroma411To422_") + isa.name,
                            [&] { d.chroma411To422(in + 8, in + 16, out); });
        }
    }
}

// A whole frame-buffer row: 23 entries plus the bytes the last one peeks at.
CHECKASM_TEST(writer_entry_row411) {
    enum { kInput = kEntriesPerRow * kEntryBytes + 48, kLuma = kEntriesPerRow * 32,
           kChroma = kEntriesPerRow * 16 };
    DVWriterDsp ref, prev;
    InitWriterDsp(&ref, 0);
    prev = ref;
    for (const checkasm::Isa& isa : checkasm::Levels()) {
        DVWriterDsp d;
        InitWriterDsp(&d, isa.flags);
        const bool changed = d.entryRow411To422 != prev.entryRow411To422;
        prev = d;
        if (!changed) continue;
        const std::string what = std::string("entryRow411To422_") + isa.name;
        checkasm::Guarded in(kInput, 64);
        for (int iter = 0; iter < 200; iter++) {
            FillSamples(in.data(), kInput, iter % kPatterns);
            checkasm::Guarded la(kLuma), lb(kLuma), ba(kChroma), bb(kChroma), ra(kChroma), rb(kChroma);
            ref.entryRow411To422(in.data(), la.data(), ba.data(), ra.data());
            d.entryRow411To422(in.data(), lb.data(), bb.data(), rb.data());
            checkasm::SameOutput((what + " luma").c_str(), la, lb);
            checkasm::SameOutput((what + " cb").c_str(), ba, bb);
            checkasm::SameOutput((what + " cr").c_str(), ra, rb);
        }
        alignas(16) static uint8_t luma[kLuma], cb[kChroma], cr[kChroma];
        checkasm::Bench("entryRow411To422_c", [&] { ref.entryRow411To422(in.data(), luma, cb, cr); });
        checkasm::Bench(what, [&] { d.entryRow411To422(in.data(), luma, cb, cr); });
    }
}

CHECKASM_TEST(writer_resample) {
    DVWriterDsp ref, prev;
    InitWriterDsp(&ref, 0);
    prev = ref;
    struct Kind {
        const char* name;
        int num, den;
        int lengths[7];
    } const kinds[] = {{"resampleRow3To4", 4, 3, {960, 480, 240, 1440, 720, 360, 12}},
                       {"resampleRow2To3", 3, 2, {1280, 640, 320, 960, 480, 240, 8}}};
    for (const checkasm::Isa& isa : checkasm::Levels()) {
        DVWriterDsp d;
        InitWriterDsp(&d, isa.flags);
        const DVWriterDsp before = prev;
        prev = d;
        for (const Kind& k : kinds) {
            const ResampleRowFn fr = k.num == 4 ? ref.resampleRow3To4 : ref.resampleRow2To3;
            const ResampleRowFn fd = k.num == 4 ? d.resampleRow3To4 : d.resampleRow2To3;
            if (fd == (k.num == 4 ? before.resampleRow3To4 : before.resampleRow2To3)) continue;
            const std::string what = std::string(k.name) + "_" + isa.name;
            for (int n : k.lengths) {
                const int outLen = n / k.den * k.num;
                for (int pattern = 0; pattern < 2 * kPatterns; pattern++) {
                    // The source row with its 16-byte margins, which both write.
                    checkasm::Guarded srcA(n + 32, 64), srcB(n + 32, 64);
                    FillSamples(srcA.data() + 16, n, pattern % kPatterns);
                    std::memcpy(srcB.data(), srcA.data(), n + 32);
                    checkasm::Guarded outA(outLen, 64), outB(outLen, 64);
                    fr(srcA.data() + 16, n, outA.data());
                    fd(srcB.data() + 16, n, outB.data());
                    const std::string at = what + " n=" + std::to_string(n);
                    checkasm::SameOutput(at.c_str(), outA, outB);
                    checkasm::SameOutput((at + " margins").c_str(), srcA, srcB);
                }
            }
            const int n = k.lengths[3];
            checkasm::Guarded src(n + 32, 64), out(2 * n, 64);
            FillSamples(src.data() + 16, n, 0);
            checkasm::Bench(std::string(k.name) + "_c/" + std::to_string(n),
                            [&] { fr(src.data() + 16, n, out.data()); }, 2000);
            checkasm::Bench(what + "/" + std::to_string(n), [&] { fd(src.data() + 16, n, out.data()); },
                            2000);
        }
    }
}

// A high-definition macroblock into three planes with their own pitches: the
// bytes between the rows keep their fill, so a store of the wrong width or
// row shows as well as a wrong value.
CHECKASM_TEST(writer_store_hd) {
    DVWriterDsp ref, prev;
    InitWriterDsp(&ref, 0);
    prev = ref;
    for (const checkasm::Isa& isa : checkasm::Levels()) {
        DVWriterDsp d;
        InitWriterDsp(&d, isa.flags);
        const bool changed = d.storeMacroblockHD != prev.storeMacroblockHD;
        prev = d;
        if (!changed) continue;
        const std::string what = std::string("storeMacroblockHD_") + isa.name;
        alignas(16) uint8_t slots[8 * 64];
        for (int iter = 0; iter < 200; iter++) {
            FillSamples(slots, 8 * 64, iter % kPatterns);
            // Every 8-byte row a signalling NaN as a double: a store that
            // moves it as a double through the x87 unit (32-bit x86) quiets it.
            if (iter % 7 == 6)
                for (int i = 0; i < 8 * 64; i += 8) {
                    static const uint8_t kNaN[8] = {1, 0, 0, 0, 0, 0, 0xF0, 0x7F};
                    std::memcpy(slots + i, kNaN, 8);
                }
            const int lp = 16 + checkasm::rng().Range(0, 40), bp = 8 + checkasm::rng().Range(0, 40),
                      rp = 8 + checkasm::rng().Range(0, 40);
            checkasm::Guarded la(15 * lp + 16), lb(15 * lp + 16), ba(15 * bp + 8), bb(15 * bp + 8),
                ra(15 * rp + 8), rb(15 * rp + 8);
            ref.storeMacroblockHD(slots, la.data(), lp, ba.data(), bp, ra.data(), rp);
            d.storeMacroblockHD(slots, lb.data(), lp, bb.data(), bp, rb.data(), rp);
            checkasm::SameOutput((what + " luma").c_str(), la, lb);
            checkasm::SameOutput((what + " cb").c_str(), ba, bb);
            checkasm::SameOutput((what + " cr").c_str(), ra, rb);
        }
        alignas(16) static uint8_t luma[16 * 64], cb[16 * 32], cr[16 * 32];
        checkasm::Bench("storeMacroblockHD_c", [&] { ref.storeMacroblockHD(slots, luma, 64, cb, 32, cr, 32); });
        checkasm::Bench(what, [&] { d.storeMacroblockHD(slots, luma, 64, cb, 32, cr, 32); });
    }
}
