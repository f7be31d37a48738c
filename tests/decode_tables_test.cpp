// Process-wide decoding tables: weights, scan remapping, transform constants,
// the AC code lookup, and one-time initialisation under concurrency.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <thread>
#include <utility>
#include <vector>

#include "decode/tables.h"
#include "dv_code_list.h"
#include "hv_dec_dv.h"

using namespace hvdv;

namespace {

TEST(DecodeTables, WeightTablesHaveTheirTellingValues) {
    InitDVDec();
    struct Case {
        int mode, n;
        int expect[11];  // natural indexes 0..10
    } cases[] = {
        {0, 1, {16384, 12540, 11585, 11585, 9362, 8192, 5793, 3393, 12540, 19195, 17734}},
        {0, 3, {16384, 6270, 5793, 11585, 9362, 8192, 5793, 3393, 6270, 9598, 17734}},
        {1, 0, {16384, 12540, 11585, 11585, 9362, 8192, 5793, 3393, 8192, 12540, 11585}},
        {1, 3, {16384, 3135, 5793, 5793, 4681, 4096, 2896, 3393, 2048, 3135, 5793}},
    };
    for (const Case& c : cases)
        for (int i = 0; i < 11; i++)
            EXPECT_EQ(g_weightTables[c.mode][c.n].w[InternalIndex(i >> 3, i & 7)], c.expect[i])
                << "mode " << c.mode << " table " << c.n << " index " << i;

    // Every table: DC 16384, all weights in range; the largest 8-8 weight is
    // 19195, the largest 2-4-8 weight 21407.  Sum and difference fields of a
    // 2-4-8 vertical frequency share their factor, so equal scan areas give
    // equal weights.
    for (int mode = 0; mode < 2; mode++) {
        int largest = 0;
        for (int n = 0; n < 4; n++) {
            EXPECT_EQ(g_weightTables[mode][n].w[0], 16384);
            for (int i = 0; i < 64; i++) {
                int w = g_weightTables[mode][n].w[i];
                EXPECT_GE(w, 1406);
                EXPECT_LE(w, 21407);
                largest = std::max(largest, w);
            }
        }
        EXPECT_EQ(largest, mode == 0 ? 19195 : 21407);
    }
}

TEST(DecodeTables, ScanOrdersAreRemappedToTransposedIndexesOnce) {
    InitDVDec();
    BuildWeightTables();  // a second build changes nothing
    struct Case {
        int mode, position, expect;
    } cases[] = {{0, 1, 8}, {0, 2, 1}, {1, 1, 1}, {1, 2, 8}, {0, 63, 63}, {1, 13, 7}};
    for (const Case& c : cases) EXPECT_EQ(g_scanOrders[c.mode][c.position], c.expect);
}

// An independent decoder of one code from a 16-bit pattern, bit by bit over
// the code list, with the two long forms written from their rules.
struct Decoded {
    int length, advance, value;
};
Decoded DecodeBitByBit(uint32_t pattern) {
    static const std::map<std::pair<int, uint32_t>, const dvtest::Code*> byPrefix = [] {
        std::map<std::pair<int, uint32_t>, const dvtest::Code*> m;
        for (const dvtest::Code& c : dvtest::CodeList()) {
            uint32_t v = 0;
            for (char ch : c.bits) v = 2 * v + (ch == '1');
            m[{(int)c.bits.size(), v}] = &c;
        }
        return m;
    }();
    auto bit = [&](int i) { return (int)((pattern >> (15 - i)) & 1); };
    uint32_t prefix = 0;
    for (int len = 1; len <= 16; len++) {
        prefix = 2 * prefix + (uint32_t)bit(len - 1);
        if (len == 7 && prefix == 0x7E) {  // 1111110 rrrrrr
            int r = (int)((pattern >> 3) & 63);
            if (r >= 6 && r <= 61) return {13, r + 1, 0};
            if (r < 6) return {13, 2, (r % 2 ? -1 : 1) * 16 * (15 + r / 2)};
            return {13, 1, (r % 2 ? -1 : 1) * 16 * 23};
        }
        if (len == 7 && prefix == 0x7F) {  // 1111111 aaaaaaaa s
            int a = (int)((pattern >> 1) & 255), s = bit(15);
            if (a >= 23) return {16, 1, (s ? -16 : 16) * a};
            return {16, 16 + 2 * a + s + 1, 0};
        }
        auto it = byPrefix.find({len, prefix});
        if (it == byPrefix.end()) continue;
        const dvtest::Code& c = *it->second;
        if (c.run == 64) return {len, 64, 0};
        if (c.amplitude == 0) return {len, c.run + 1, 0};
        return {len + 1, c.run + 1, (bit(len) ? -16 : 16) * c.amplitude};
    }
    return {0, 0, 0};
}

TEST(DecodeTables, CodeLookupAgreesWithBitByBitDecoderOnEveryPattern) {
    InitDVDec();
    int mismatches = 0;
    for (uint32_t p = 0; p < 65536; p++) {
        Decoded want = DecodeBitByBit(p);
        DVCode got = LookupCode(p);
        ASSERT_GT(want.length, 0) << "test decoder found no code for " << p;
        if (got.length != want.length || got.advance != want.advance || got.value != want.value) {
            if (++mismatches <= 10)
                ADD_FAILURE() << "pattern 0x" << std::hex << p << std::dec << ": length " << got.length
                              << "/" << want.length << " advance " << got.advance << "/" << want.advance
                              << " value " << got.value << "/" << want.value;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// Several threads calling InitDVDec at once in a fresh process: every one
// must return only with complete tables.
void RaceInitialisation() {
    std::atomic<int> go{0}, bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; t++)
        threads.emplace_back([&] {
            while (!go.load()) {
            }
            InitDVDec();
            if (g_weightTables[1][3].w[InternalIndex(1, 0)] != 2048 || g_scanOrders[1][63] != 63 ||
                LookupCode(0xFFFF).length != 16 ||
                LookupCode(0x6000).advance != 64)
                bad++;
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
