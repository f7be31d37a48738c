// NEON versions of the writer row kernels; identical results to the plain
// C++ references in writer_dsp.cpp.  The interleaving stores (vst2, vst4)
// place the reconstructed samples between the coded ones.
#include <arm_neon.h>

#include <cstring>

#include "writer/writer_ops.h"

namespace hvdv {

namespace {

inline int16x8_t Widen8(const uint8_t* p) { return vreinterpretq_s16_u16(vmovl_u8(vld1_u8(p))); }

// High 16 bits of each signed 32-bit product.
inline int16x8_t MulHi(int16x8_t a, int16x8_t b) {
    const int32x4_t lo = vmull_s16(vget_low_s16(a), vget_low_s16(b));
    const int32x4_t hi = vmull_high_s16(a, b);
    return vuzp2q_s16(vreinterpretq_s16_s32(lo), vreinterpretq_s16_s32(hi));
}

// Dot product of 24 samples (three vectors of eight 16-bit values) with one
// 24-tap phase: four partial 32-bit sums.
inline int32x4_t Dot24(int16x8_t s0, int16x8_t s1, int16x8_t s2, const int16_t* taps) {
    const int16x8_t t0 = vld1q_s16(taps), t1 = vld1q_s16(taps + 8), t2 = vld1q_s16(taps + 16);
    int32x4_t acc = vmull_s16(vget_low_s16(s0), vget_low_s16(t0));
    acc = vmlal_high_s16(acc, s0, t0);
    acc = vmlal_s16(acc, vget_low_s16(s1), vget_low_s16(t1));
    acc = vmlal_high_s16(acc, s1, t1);
    acc = vmlal_s16(acc, vget_low_s16(s2), vget_low_s16(t2));
    return vmlal_high_s16(acc, s2, t2);
}

// {sum a, sum b, sum c, sum d} of four vectors of partial sums, each
// (sum + 1023) >> 11.
inline int32x4_t SumRound11(int32x4_t a, int32x4_t b, int32x4_t c, int32x4_t d) {
    const int32x4_t sums = vpaddq_s32(vpaddq_s32(a, b), vpaddq_s32(c, d));
    return vshrq_n_s32(vaddq_s32(sums, vdupq_n_s32(1023)), 11);
}

// Sixteen 32-bit results saturated to bytes.
inline uint8x16_t Bytes16(const int32x4_t* r) {
    const int16x8_t lo = vcombine_s16(vqmovn_s32(r[0]), vqmovn_s32(r[1]));
    const int16x8_t hi = vcombine_s16(vqmovn_s32(r[2]), vqmovn_s32(r[3]));
    return vcombine_u8(vqmovun_s16(lo), vqmovun_s16(hi));
}

inline void MirrorMargins(uint8_t* src, int n) {
    for (int i = 0; i < 16; i++) {
        src[-1 - i] = src[i];
        src[n + i] = src[n - 1 - i];
    }
}

}  // namespace

void Chroma411To444_neon(const uint8_t* current, const uint8_t* previous, const uint8_t* next,
                         uint8_t* out) {
    const int16x8_t c = Widen8(current);
    // Left and right neighbours: the row moved by one lane, with the
    // neighbouring entries' samples moved in.
    const int16x8_t l = vextq_s16(vdupq_n_s16(previous[7]), c, 7);
    const int16x8_t r = vextq_s16(c, vdupq_n_s16(next[0]), 1);
    const int16x8_t c2 = vaddq_s16(c, c);
    // Centre gain 17408 = 17/64, side gain 28672 = 7/16 (16-bit fixed point).
    const int16x8_t sharp = vaddq_s16(c, MulHi(vsubq_s16(vsubq_s16(c2, l), r), vdupq_n_s16(17408)));
    const int16x8_t hl = vshrq_n_s16(vaddq_s16(l, c), 1);
    const int16x8_t hr = vshrq_n_s16(vaddq_s16(c, r), 1);
    const int16x8_t side = vdupq_n_s16(28672);
    const int16x8_t base = vsubq_s16(c2, sharp);
    const int16x8_t a = vsubq_s16(base, MulHi(vsubq_s16(hl, sharp), side));
    const int16x8_t b = vsubq_s16(base, MulHi(vsubq_s16(hr, sharp), side));
    // Saturated to 0..255, B C' A hr per sample from out[-1].
    const uint8x8x4_t v = {{vqmovun_s16(b), vqmovun_s16(sharp), vqmovun_s16(a), vqmovun_s16(hr)}};
    vst4_u8(out - 1, v);
}

void Chroma411To422_neon(const uint8_t* current, const uint8_t* next, uint8_t* out) {
    const uint8x8_t c = vld1_u8(current);
    const uint8x8_t n = vext_u8(c, vdup_n_u8(next[0]), 1);
    // vrhadd: (a + b + 1) >> 1, the mean rounded half up.
    const uint8x8x2_t v = {{c, vrhadd_u8(c, n)}};
    vst2_u8(out, v);
}

// The right neighbours of an entry's eight Cb (Cr) samples are its samples
// 1..7 and the next entry's first, which the layout puts kEntryBytes on.
void EntryRow411To422_neon(const uint8_t* row, uint8_t* luma, uint8_t* cb, uint8_t* cr) {
    uint8x8_t b = vld1_u8(row + 32), r = vld1_u8(row + 40);
    for (int i = 0; i < kEntriesPerRow; i++, row += kEntryBytes) {
        vst1q_u8(luma + 32 * i, vld1q_u8(row));
        vst1q_u8(luma + 32 * i + 16, vld1q_u8(row + 16));
        const uint8x8_t nb = vld1_u8(row + kEntryBytes + 32), nr = vld1_u8(row + kEntryBytes + 40);
        const uint8x8x2_t vb = {{b, vrhadd_u8(b, vext_u8(b, nb, 1))}};
        const uint8x8x2_t vr = {{r, vrhadd_u8(r, vext_u8(r, nr, 1))}};
        vst2_u8(cb + 16 * i, vb);
        vst2_u8(cr + 16 * i, vr);
        b = nb;
        r = nr;
    }
}

// 3:4: one step takes input samples 3j - 7 .. 3j + 16 for four consecutive
// j and produces the 16 outputs 4j .. 4j + 15.
void ResampleRow3To4_neon(uint8_t* src, int n, uint8_t* out) {
    MirrorMargins(src, n);
    for (int j = 0; j < n / 3; j += 4, out += 16) {
        int32x4_t res[4];
        for (int g = 0; g < 4; g++) {
            const uint8_t* s = src + 3 * (j + g) - kTapsBefore3To4;
            const int16x8_t s0 = Widen8(s), s1 = Widen8(s + 8), s2 = Widen8(s + 16);
            res[g] = SumRound11(Dot24(s0, s1, s2, kTaps3To4[0]), Dot24(s0, s1, s2, kTaps3To4[1]),
                                Dot24(s0, s1, s2, kTaps3To4[2]), Dot24(s0, s1, s2, kTaps3To4[3]));
        }
        vst1q_u8(out, Bytes16(res));
    }
}

// 2:3: one step takes input samples 2j - 10 .. 2j + 13 for four consecutive
// j and produces the 12 outputs 3j .. 3j + 11.
void ResampleRow2To3_neon(uint8_t* src, int n, uint8_t* out) {
    MirrorMargins(src, n);
    // Bytes o0 o1 o2 _ | o3 o4 o5 _ | ...: every fourth one squeezed out.
    static const uint8_t kSqueeze[16] = {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 3, 7, 11, 15};
    const uint8x16_t squeeze = vld1q_u8(kSqueeze);
    for (int j = 0; j < n / 2; j += 4, out += 12) {
        int32x4_t res[4];
        for (int g = 0; g < 4; g++) {
            const uint8_t* s = src + 2 * (j + g) - kTapsBefore2To3;
            const int16x8_t s0 = Widen8(s), s1 = Widen8(s + 8), s2 = Widen8(s + 16);
            res[g] = SumRound11(Dot24(s0, s1, s2, kTaps2To3[0]), Dot24(s0, s1, s2, kTaps2To3[1]),
                                Dot24(s0, s1, s2, kTaps2To3[2]), vdupq_n_s32(0));
        }
        const uint8x16_t v = vqtbl1q_u8(Bytes16(res), squeeze);
        vst1_u8(out, vget_low_u8(v));
        const uint32_t tail = vgetq_lane_u32(vreinterpretq_u32_u8(v), 2);
        std::memcpy(out + 8, &tail, 4);
    }
}

}  // namespace hvdv
