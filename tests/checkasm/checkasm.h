// A small kernel checker: every kernel family runs its plain C++ reference and
// each instruction-set version present on random and extreme inputs and
// compares every output byte; guard bytes around outputs catch overruns.
// With --bench it also times each kernel.
#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace checkasm {

// xorshift64*; the seed is printed so that a failure can be replayed.
struct Rng {
    uint64_t s = 1;
    uint32_t Next() {
        s ^= s >> 12;
        s ^= s << 25;
        s ^= s >> 27;
        return (uint32_t)((s * 2685821657736338717ull) >> 32);
    }
    // Uniform in lo..hi inclusive.
    int Range(int lo, int hi) { return lo + (int)(Next() % (uint32_t)(hi - lo + 1)); }
};
Rng& rng();

// An instruction-set level: its name and the CPU flags it allows.
struct Isa {
    const char* name;
    uint32_t flags;
};
// The reference ("c", flags 0) first, then every level the processor has.
const std::vector<Isa>& Levels();

// Reports a mismatch (printf-style); the program then exits non-zero.
void Fail(const char* fmt, ...);
int Failures();

bool BenchMode();

// Times f() when --bench was given and prints ns per call.
template <class F>
void Bench(const std::string& name, F f, int iterations = 20000) {
    if (!BenchMode()) return;
    for (int i = 0; i < iterations / 10 + 1; i++) f();
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < iterations; i++) f();
    auto t1 = std::chrono::steady_clock::now();
    double ns = std::chrono::duration<double, std::nano>(t1 - t0).count() / iterations;
    void PrintBench(const std::string& name, double ns);
    PrintBench(name, ns);
}

// A byte buffer with guard bands on both sides, pre-filled so that bytes a
// kernel forgot to write or wrote outside its range show up.
class Guarded {
public:
    explicit Guarded(size_t size, size_t guard = 64, uint8_t fill = 0xA5);
    uint8_t* data() { return buf_.data() + guard_; }
    const uint8_t* data() const { return buf_.data() + guard_; }
    size_t size() const { return size_; }
    void Fill(uint8_t v);
    // True when both guard bands are intact.
    bool GuardsIntact() const;
private:
    std::vector<uint8_t> buf_;
    size_t size_, guard_;
    uint8_t fill_;
};

// Where block k (k < 8) of a macroblock goes in a 16-row picture area of
// the given pitch (at least 33) for the kernels that write into pictures:
// blocks 0-3 two wide and two deep from column 1 (unaligned rows), blocks
// 4-7 as field lines (twice the pitch, the second of each pair a row lower)
// from column 17.  With mixed, list entry k takes place 0, 4, 1, 5, ... so
// that the blocks of a pair have different pitches.
struct BlockPlace {
    ptrdiff_t offset, pitch;
};
inline BlockPlace PlaceInPicture(int k, ptrdiff_t pitch, bool mixed) {
    static const int kMixed[8] = {0, 4, 1, 5, 2, 6, 3, 7};
    const int p = mixed ? kMixed[k] : k;
    if (p < 4) return BlockPlace{1 + 8 * (p & 1) + 8 * pitch * (p >> 1), pitch};
    return BlockPlace{17 + 8 * ((p - 4) >> 1) + pitch * (p & 1), 2 * pitch};
}
// Copies a 64-byte slot's 8 rows to a place in a picture.
inline void SlotToPicture(uint8_t* picture, BlockPlace place, const uint8_t* slot) {
    for (int r = 0; r < 8; r++) std::memcpy(picture + place.offset + r * place.pitch, slot + 8 * r, 8);
}

// Compares two outputs byte for byte; reports the first differing offset.
bool SameBytes(const char* what, const uint8_t* ref, const uint8_t* got, size_t n);
// The same for two whole guarded outputs, whose guard bands must also be intact.
bool SameOutput(const char* what, const Guarded& ref, const Guarded& got);

typedef void (*TestFn)();
struct Registrar {
    Registrar(const char* name, TestFn fn);
};

}  // namespace checkasm

#define CHECKASM_TEST(name)                                              \
    static void checkasm_##name();                                       \
    static checkasm::Registrar checkasm_reg_##name(#name, checkasm_##name); \
    static void checkasm_##name()
