// Process-wide decoding tables: weights, scan remapping, transform constants,
// the AC code lookup, and one-time initialisation under concurrency.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "decode/tables.h"
#include "dv_code_list.h"
#include "hv_dec_dv.h"

using namespace hvdv;

namespace {

TEST(DecodeTables, WeightsAndScanOrders) {
    InitDVDec();
    // Telling values at natural indexes 0..10 of four tables (mode, n).
    const struct {
        int mode, n, expect[11];
    } cases[] = {{0, 1, {16384, 12540, 11585, 11585, 9362, 8192, 5793, 3393, 12540, 19195, 17734}},
                 {0, 3, {16384, 6270, 5793, 11585, 9362, 8192, 5793, 3393, 6270, 9598, 17734}},
                 {1, 0, {16384, 12540, 11585, 11585, 9362, 8192, 5793, 3393, 8192, 12540, 11585}},
                 {1, 3, {16384, 3135, 5793, 5793, 4681, 4096, 2896, 3393, 2048, 3135, 5793}}};
    for (const auto& c : cases)
        for (int i = 0; i < 11; i++)
            EXPECT_EQ(g_weightTables[c.mode][c.n].w[InternalIndex(i >> 3, i & 7)], c.expect[i]) << c.mode << c.n << i;
    // Every table's weights in range; the largest 8-8 weight is 19195, the
    // largest 2-4-8 weight 21407.
    for (int mode = 0; mode < 2; mode++) {
        int lo = 1 << 30, hi = 0;
        for (int i = 0; i < 4 * 64; i++)
            lo = std::min(lo, (int)g_weightTables[mode][i / 64].w[i % 64]),
            hi = std::max(hi, (int)g_weightTables[mode][i / 64].w[i % 64]);
        EXPECT_TRUE(lo >= 1406 && hi == (mode == 0 ? 19195 : 21407)) << mode << ": " << lo << " to " << hi;
    }
    // Zig-zag positions remapped to transposed indexes (mode, position, index).
    for (const auto& [m, pos, index] : {std::tuple{0, 1, 8}, {0, 2, 1}, {1, 1, 1}, {1, 2, 8}, {0, 63, 63}, {1, 13, 7}})
        EXPECT_EQ(g_scanOrders[m][pos], index);
}

// An independent decoder of one code (length, advance, value) from a 16-bit
// pattern, bit by bit over the code list, the two long forms from their rules.
// byBits: the code list by its bit strings.
std::tuple<int, int, int> DecodeBitByBit(uint32_t pattern, const std::map<std::string, const dvtest::Code*>& byBits) {
    auto bit = [&](int i) { return (int)((pattern >> (15 - i)) & 1); };
    const int r = (int)((pattern >> 3) & 63), a = (int)((pattern >> 1) & 255), sign = bit(15) ? -16 : 16;
    // 1111110 rrrrrr: a run of zeros, or an amplitude 15-23 after 1 or 0 zeros.
    if ((pattern >> 9) == 0x7E)
        return r >= 6 && r <= 61 ? std::tuple{13, r + 1, 0}
                                 : std::tuple{13, r < 6 ? 2 : 1, (r % 2 ? -16 : 16) * (r < 6 ? 15 + r / 2 : 23)};
    // 1111111 aaaaaaaa s: amplitude a, or a run of 16 + 2a + s zeros.
    if ((pattern >> 9) == 0x7F)
        return a >= 23 ? std::tuple{16, 1, sign * a} : std::tuple{16, 16 + 2 * a + bit(15) + 1, 0};
    for (std::string prefix; prefix.size() < 16;) {
        prefix += char('0' + bit((int)prefix.size()));
        const auto it = byBits.find(prefix);
        if (it == byBits.end()) continue;
        // A sign bit follows a nonzero amplitude; run 64 is the end of block.
        const dvtest::Code& c = *it->second;
        return {(int)prefix.size() + (c.amplitude != 0), c.run == 64 ? 64 : c.run + 1,
                (bit((int)prefix.size()) ? -16 : 16) * c.amplitude};
    }
    return {0, 0, 0};
}

TEST(DecodeTables, CodeLookupAgreesWithBitByBitDecoderOnEveryPattern) {
    InitDVDec();
    std::map<std::string, const dvtest::Code*> byBits;
    for (const dvtest::Code& c : dvtest::CodeList()) byBits[c.bits] = &c;
    for (uint32_t p = 0; p < 65536; p++)
        ASSERT_EQ(std::tuple(LookupCode(p).length, LookupCode(p).advance, LookupCode(p).value),
                  DecodeBitByBit(p, byBits))
            << std::hex << p;
}

// Several threads calling InitDVDec at once in a fresh process: every one
// must return only with complete tables.
void RaceInitialisation() {
    std::atomic<int> go{0}, bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; t++)
        threads.emplace_back([&] {
            while (!go.load()) std::this_thread::yield();
            InitDVDec();
            bad += g_weightTables[1][3].w[InternalIndex(1, 0)] != 2048 || g_scanOrders[1][63] != 63 ||
                   LookupCode(0xFFFF).length != 16 || LookupCode(0x6000).advance != 64;
        });
    go = 1;
    for (auto& t : threads) t.join();
    std::exit(bad.load() == 0 ? 0 : 1);
}

TEST(DecodeTablesDeathTest, ConcurrentInitialisationBuildsOnceAndCompletely) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RaceInitialisation(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
