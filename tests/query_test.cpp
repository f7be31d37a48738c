// The extension interface and its information query.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "hv_dec_dv.h"

namespace {

TEST(InfoQuery, OnlyIdOneGivesTheQuery) {
    EXPECT_NE(DVDecGetAPIExt(HVDV_API_EXT_QUERY), nullptr);
    for (int32_t id : {0, 2, -1, 3, 255, INT32_MIN, INT32_MAX}) EXPECT_EQ(DVDecGetAPIExt(id), nullptr) << id;
}

// Each selector writes exactly its bytes into a buffer pre-filled with 0xFF
// (no terminating zero after a text); unknown selectors write nothing; no
// selector succeeds without somewhere to write.
TEST(InfoQuery, Selectors) {
    const DVDecQueryFn query = DVDecGetAPIExt(HVDV_API_EXT_QUERY);
    ASSERT_NE(query, nullptr);
    const int32_t one = 1;
    const struct {
        int32_t selector;
        int32_t result;
        std::string written;  // the bytes expected at the start of out
    } cases[] = {
        {1, 0, "Halvorsteen DV Decoder"},
        {2, 0, std::string(reinterpret_cast<const char*>(&one), 4)},
        {3, 0, std::string(reinterpret_cast<const char*>(&one), 4)},
        {4, 0, "10.5.18.0000"},
        {5, 0, "HVPLATFORM_IA32"},
        {0, 1, ""},
        {6, 1, ""},
        {INT32_MAX, 1, ""},
    };
    for (const auto& c : cases) {
        unsigned char out[64];
        std::memset(out, 0xFF, sizeof out);
        EXPECT_EQ(query(c.selector, nullptr), 1) << "selector " << c.selector;
        EXPECT_EQ(query(c.selector, out), c.result) << "selector " << c.selector;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(out), c.written.size()), c.written)
            << "selector " << c.selector;
        for (size_t i = c.written.size(); i < sizeof out; ++i)
            ASSERT_EQ(out[i], 0xFF) << "selector " << c.selector << " wrote byte " << i;
    }
}

}  // namespace
