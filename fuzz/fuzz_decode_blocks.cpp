// Fuzz target: 25 and 50 Mb/s frames with a few DIF blocks rewritten (input
// layout in decode_blocks.h).
#include "decode_blocks.h"

namespace {

// Both systems and samplings, wide screen and 32 kHz audio, the detailed
// pictures that use the spare bits of neighbouring blocks.
const hvdv_fuzz::Template kTemplates[8] = {
    {"sample_625_420.dv", 144000, {{360, 288}}, {{720, 576}}, 480},
    {"ntsc_411_detail.dv", 120000, {{360, 240}}, {{720, 480}, {720, 486}}, 576},
    {"pal_411.dv", 144000, {{360, 288}}, {{720, 576}}, 480},
    {"dv50_625.dv", 288000, {{360, 288}}, {{720, 576}}, 480},
    {"dv50_525.dv", 240000, {{360, 240}}, {{720, 480}}, 576},
    {"pal_420_detail.dv", 144000, {{360, 288}}, {{720, 576}}, 480},
    {"ntsc_411_48k.dv", 120000, {{360, 240}}, {{720, 480}}, 576},
    {"pal_420_wide_32k.dv", 144000, {{360, 288}}, {{720, 576}}, 480},
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    hvdv_fuzz::LoadTemplates(kTemplates, 8);
    InitDVDec();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return hvdv_fuzz::DecodeBlocks(kTemplates, 8, data, size);
}
