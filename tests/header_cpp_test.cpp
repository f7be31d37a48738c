// The public header on its own, as C++, and its constants.
#include "hv_dec_dv.h"

#include <gtest/gtest.h>

TEST(PublicHeader, FourccValuesSpellTheirNames) {
    struct Case {
        uint32_t value;
        const char* name;
    } cases[] = {{HVDV_FOURCC_YUY2, "YUY2"}, {HVDV_FOURCC_YUYV, "YUYV"}, {HVDV_FOURCC_YuYv, "YuYv"},
                 {HVDV_FOURCC_UYVY, "UYVY"}, {HVDV_FOURCC_UyVy, "UyVy"}, {HVDV_FOURCC_VUYA, "VUYA"},
                 {HVDV_FOURCC_BGR3, "BGR3"}, {HVDV_FOURCC_R24C, "R24C"}, {HVDV_FOURCC_BGR4, "BGR4"},
                 {HVDV_FOURCC_BGRA, "BGRA"}, {HVDV_FOURCC_R32C, "R32C"}, {HVDV_FOURCC_R565, "R565"},
                 {HVDV_FOURCC_R555, "R555"}};
    for (const Case& c : cases)
        EXPECT_EQ(c.value, HVDV_FOURCC(c.name[0], c.name[1], c.name[2], c.name[3])) << c.name;
}

// (header_c.c checks the record sizes as C.)
TEST(PublicHeader, RecordsArePlain32BitFields) {
    EXPECT_EQ(offsetof(DVStreamInfo, formatCode), 17u * 4);
    EXPECT_EQ(offsetof(DVAudioInfo, bytesPerFrame), 9u * 4);
    EXPECT_EQ(offsetof(DVStreamInfoEx, formatCode), 17u * 4);
    EXPECT_EQ(offsetof(DVAudioInfoEx, channelFound), 7u * 4);
}
