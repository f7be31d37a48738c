// Usage: checkasm [--seed=N] [--bench] [--test=NAME]
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "checkasm.h"
#include "threads/cpu.h"

namespace checkasm {
namespace {
struct Entry {
    const char* name;
    TestFn fn;
};
std::vector<Entry>& Registry() {
    static std::vector<Entry> r;
    return r;
}
bool g_bench = false;
int g_failures = 0;
Rng g_rng;
}  // namespace

Rng& rng() { return g_rng; }
bool BenchMode() { return g_bench; }
int Failures() { return g_failures; }

void Fail(const char* fmt, ...) {
    g_failures++;
    if (g_failures > 50) return;
    va_list ap;
    va_start(ap, fmt);
    std::fputs("FAIL: ", stdout);
    std::vprintf(fmt, ap);
    std::fputs("\n", stdout);
    va_end(ap);
}

void PrintBench(const std::string& name, double ns) { std::printf("  %-40s %10.1f ns\n", name.c_str(), ns); }

const std::vector<Isa>& Levels() {
    static std::vector<Isa> levels = [] {
        std::vector<Isa> v;
        v.push_back({"c", 0});
        uint32_t have = hvdv::DetectCpuFeatures();
        const Isa all[] = {{"sse2", hvdv::kCpuSSE2},
                           {"ssse3", hvdv::kCpuSSE2 | hvdv::kCpuSSSE3},
                           {"sse41", hvdv::kCpuSSE2 | hvdv::kCpuSSSE3 | hvdv::kCpuSSE41},
                           {"avx2", hvdv::kCpuSSE2 | hvdv::kCpuSSSE3 | hvdv::kCpuSSE41 | hvdv::kCpuAVX2},
                           {"bmi2", hvdv::kCpuBMI2},
                           {"avx512", hvdv::kCpuBMI2 | hvdv::kCpuAVX512},
                           {"neon", hvdv::kCpuNEON}};
        for (const Isa& isa : all)
            if ((have & isa.flags) == isa.flags) v.push_back(isa);
        return v;
    }();
    return levels;
}

Guarded::Guarded(size_t size, size_t guard, uint8_t fill)
    : buf_(size + 2 * guard, fill), size_(size), guard_(guard), fill_(fill) {}

void Guarded::Fill(uint8_t v) { std::memset(data(), v, size_); }

bool Guarded::GuardsIntact() const {
    for (size_t i = 0; i < guard_; i++)
        if (buf_[i] != fill_ || buf_[guard_ + size_ + i] != fill_) return false;
    return true;
}

bool SameBytes(const char* what, const uint8_t* ref, const uint8_t* got, size_t n) {
    for (size_t i = 0; i < n; i++) {
        if (ref[i] != got[i]) {
            Fail("%s: byte %zu differs (reference %u, got %u)", what, i, ref[i], got[i]);
            return false;
        }
    }
    return true;
}

bool SameOutput(const char* what, const Guarded& ref, const Guarded& got) {
    if (!ref.GuardsIntact() || !got.GuardsIntact()) {
        Fail("%s: guard bytes overwritten", what);
        return false;
    }
    return SameBytes(what, ref.data(), got.data(), ref.size());
}

Registrar::Registrar(const char* name, TestFn fn) { Registry().push_back({name, fn}); }

}  // namespace checkasm

int main(int argc, char** argv) {
    uint64_t seed = (uint64_t)std::time(nullptr);
    const char* only = nullptr;
    for (int i = 1; i < argc; i++) {
        if (std::strncmp(argv[i], "--seed=", 7) == 0) seed = std::strtoull(argv[i] + 7, nullptr, 10);
        else if (std::strcmp(argv[i], "--bench") == 0) checkasm::g_bench = true;
        else if (std::strncmp(argv[i], "--test=", 7) == 0) only = argv[i] + 7;
        else {
            std::fprintf(stderr, "usage: %s [--seed=N] [--bench] [--test=NAME]\n", argv[0]);
            return 2;
        }
    }
    std::printf("checkasm: seed %" PRIu64 "; levels:", seed);
    for (const auto& isa : checkasm::Levels()) std::printf(" %s", isa.name);
    std::printf("\n");
    for (const auto& e : checkasm::Registry()) {
        if (only && std::strcmp(only, e.name) != 0) continue;
        checkasm::g_rng.s = seed * 0x9E3779B97F4A7C15ull + 1;
        int before = checkasm::g_failures;
        e.fn();
        std::printf("%-32s %s\n", e.name, checkasm::g_failures == before ? "ok" : "FAILED");
    }
    if (checkasm::g_failures) {
        std::printf("%d failure(s); replay with --seed=%" PRIu64 "\n", checkasm::g_failures, seed);
        return 1;
    }
    return 0;
}
