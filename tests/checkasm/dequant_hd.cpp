// High-definition dequantisation kernels against the C++ reference: every
// real multiplier table (both heights, both components, all QNOs and
// classes) and random multipliers over the whole range the kernels accept,
// with random, extreme and sparse coefficient blocks.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "checkasm.h"
#include "decode/dequant_hd.h"
#include "hv_dec_dv.h"

using namespace hvdv;

namespace {

struct alignas(16) Block {
    int16_t c[64];
};

const int16_t kExtremes[] = {-32768, -32767, -4080, -4079, -16, -1, 0, 1, 16, 4080, 4095, 32767};

void FillCoefficients(Block* b, int mode) {
    checkasm::Rng& r = checkasm::rng();
    for (int16_t& v : b->c) {
        switch (mode) {
            case 0:
                v = (int16_t)(uint16_t)r.Next();
                break;
            case 1:
                v = kExtremes[r.Next() % (sizeof kExtremes / sizeof kExtremes[0])];
                break;
            // Decoded blocks: 16 times an amplitude of at most 255, mostly zero.
            default:
                v = (r.Next() % 4 == 0) ? (int16_t)(16 * r.Range(-255, 255)) : 0;
                break;
        }
    }
}

// Multipliers below 2^26, low halves on both sides of 2^15 (where the
// rounded high half steps up and the signed low half is -2^15).
void RandomTable(DVDequantHD* m, bool extreme) {
    static const uint32_t kEdges[] = {(1u << 26) - 1, (1u << 26) - 0x8000u, 0x7FFFu, 0x8000u, 0xFFFFu, 0x18000u};
    checkasm::Rng& r = checkasm::rng();
    for (int i = 0; i < 64; i++) {
        const uint32_t M =
            extreme ? kEdges[r.Next() % (sizeof kEdges / sizeof kEdges[0])] : r.Next() & ((1u << 26) - 1);
        SetMultiplierHD(m, i, M);
    }
}

void CheckOne(const char* isaName, DVDequantHDKernel fn, const DVDequantHD* m, const char* table, int mode) {
    Block in;
    FillCoefficients(&in, mode);
    checkasm::Guarded ref(128), got(128);
    DequantKernelHD_c((int16_t*)ref.data(), in.c, m);
    fn((int16_t*)got.data(), in.c, m);
    char what[160];
    std::snprintf(what, sizeof what, "dequant_hd %s %s mode %d", isaName, table, mode);
    checkasm::SameOutput(what, ref, got);
}

CHECKASM_TEST(dequant_hd) {
    InitDVDec();  // the transform's constants
    const auto& levels = checkasm::Levels();
    DVDequantHDKernel previous = nullptr;
    for (const checkasm::Isa& isa : levels) {
        DVDequantHDKernel fn;
        InitDequantHDDsp(&fn, isa.flags);
        if (&isa != &levels[0] && fn == previous) continue;
        previous = fn;
        char table[64];
        for (int t = 0; t < 4; t++)
            for (int q = 0; q < 16; q++)
                for (int c = 0; c < 4; c++)
                    for (int mode = 0; mode < 3; mode++) {
                        std::snprintf(table, sizeof table, "table %d qno %d class %d", t, q, c);
                        CheckOne(isa.name, fn, &DequantTableHD(q, c, t >= 2, t & 1), table, mode);
                    }
        for (int rep = 0; rep < 64; rep++)
            for (int mode = 0; mode < 3; mode++) {
                DVDequantHD m;
                RandomTable(&m, rep & 1);
                CheckOne(isa.name, fn, &m, rep & 1 ? "extreme multipliers" : "random multipliers", mode);
            }
    }

    // Dequantisation fused with the transforms, against the reference
    // dequantisation followed by the reference transforms; pairs with two
    // blocks of different tables.
    DVIdctHDKernels ref;
    InitIdctHDDsp(&ref, 0);
    DVIdctHDKernels previousHD = ref;
    for (const checkasm::Isa& isa : levels) {
        DVIdctHDKernels got;
        InitIdctHDDsp(&got, isa.flags);
        const bool changed = got.full != previousHD.full || got.half != previousHD.half || got.fullPair ||
                             got.halfPair || got.fullBlocks || got.fullStrided != previousHD.fullStrided;
        previousHD = got;
        if (&isa != &levels[0] && !changed) continue;
        bool ok = true;
        for (int iter = 0; iter < 6000 && ok; iter++) {
            Block in[8];
            DVDequantHD random[8];
            const DVDequantHD* m[8];
            for (int k = 0; k < 8; k++) {
                FillCoefficients(&in[k], iter % 3);
                if (iter % 4 == 3) {
                    RandomTable(&random[k], iter & 8);
                    m[k] = &random[k];
                } else {
                    checkasm::Rng& r = checkasm::rng();
                    m[k] = &DequantTableHD(r.Range(0, 15), r.Range(0, 3), r.Range(0, 1), r.Range(0, 1));
                }
            }
            // Half the time the blocks of each pair share their multipliers,
            // as a macroblock's blocks of one class and component do, and
            // every fourth time each four of them.
            if (iter % 2 == 0)
                for (int k = 0; k + 1 < 8; k += 2) m[k + 1] = m[k];
            if (iter % 4 == 2)
                for (int k = 0; k < 8; k++) m[k] = m[k & ~3];
            char what[96];
            std::snprintf(what, sizeof what, "idct_hd %s iteration %d", isa.name, iter);
            // Full and half size of block 0; the half-size slot keeps its other bytes.
            for (int half = 0; half < 2 && ok; half++) {
                checkasm::Guarded a(64), b(64);
                (half ? IdctHD4_c : IdctHD8_c)(a.data(), in[0].c, m[0]);
                (half ? got.half : got.full)(b.data(), in[0].c, m[0]);
                ok = checkasm::SameOutput(what, a, b);
            }
            if (got.fullPair && ok) {
                checkasm::Guarded a0(64), a1(64), b0(64), b1(64);
                IdctHD8_c(a0.data(), in[0].c, m[0]);
                IdctHD8_c(a1.data(), in[1].c, m[1]);
                got.fullPair(b0.data(), b1.data(), in[0].c, in[1].c, m[0], m[1]);
                ok = checkasm::SameOutput(what, a0, b0) && checkasm::SameOutput(what, a1, b1);
            }
            if (got.halfPair && ok) {
                checkasm::Guarded a0(64), a1(64), b0(64), b1(64);
                IdctHD4_c(a0.data(), in[0].c, m[0]);
                IdctHD4_c(a1.data(), in[1].c, m[1]);
                got.halfPair(b0.data(), b1.data(), in[0].c, in[1].c, m[0], m[1]);
                ok = checkasm::SameOutput(what, a0, b0) && checkasm::SameOutput(what, a1, b1);
            }
            // A macroblock's blocks in one call, any count up to eight.
            for (int half = 0; half < 2 && ok; half++) {
                const DVIdctHDBlocksKernel blocks = half ? got.halfBlocks : got.fullBlocks;
                if (!blocks) continue;
                const int n = 1 + iter % 8;
                std::vector<checkasm::Guarded> a(n, checkasm::Guarded(64)), b(n, checkasm::Guarded(64));
                uint8_t* out[8];
                const int16_t* c[8];
                for (int k = 0; k < n; k++) {
                    (half ? IdctHD4_c : IdctHD8_c)(a[k].data(), in[k].c, m[k]);
                    out[k] = b[k].data();
                    c[k] = in[k].c;
                }
                blocks(out, c, m, n);
                for (int k = 0; k < n && ok; k++) ok = checkasm::SameOutput(what, a[k], b[k]);
            }
            // Into a picture (checkasm::PlaceInPicture); the bytes between
            // the blocks' rows stay as they were.
            if (ok) {
                const int n = 1 + iter % 8;
                const ptrdiff_t pitch = 33 + iter % 24;
                checkasm::Guarded a((size_t)(16 * pitch)), b((size_t)(16 * pitch));
                uint8_t* out[8];
                ptrdiff_t pitches[8];
                const int16_t* c[8];
                for (int k = 0; k < n; k++) {
                    const checkasm::BlockPlace place = checkasm::PlaceInPicture(k, pitch, iter & 16);
                    alignas(16) uint8_t slot[64];
                    IdctHD8_c(slot, in[k].c, m[k]);
                    checkasm::SlotToPicture(a.data(), place, slot);
                    out[k] = b.data() + place.offset;
                    pitches[k] = place.pitch;
                    c[k] = in[k].c;
                }
                got.fullStrided(out, pitches, c, m, n);
                ok = checkasm::SameOutput(what, a, b);
            }
        }
    }

    if (!checkasm::BenchMode()) return;
    Block in, out;
    FillCoefficients(&in, 2);
    for (const checkasm::Isa& isa : levels) {
        DVDequantHDKernel fn;
        InitDequantHDDsp(&fn, isa.flags);
        const DVDequantHD* m = &DequantTableHD(9, 2, false, false);
        checkasm::Bench(std::string("dequant_hd_") + isa.name, [&] { fn(out.c, in.c, m); });
        DVIdctHDKernels k;
        InitIdctHDDsp(&k, isa.flags);
        alignas(16) uint8_t px[2][64];
        checkasm::Bench(std::string("idct_hd8_") + isa.name, [&] { k.full(px[0], in.c, m); });
        checkasm::Bench(std::string("idct_hd4_") + isa.name, [&] { k.half(px[0], in.c, m); });
        if (k.fullPair)
            checkasm::Bench(std::string("idct_hd8_pair_") + isa.name,
                            [&] { k.fullPair(px[0], px[1], in.c, out.c, m, m); });
    }
}

}  // namespace
