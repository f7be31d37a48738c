// Fuzz target: high-definition frames with a few DIF blocks rewritten (input
// layout in decode_blocks.h).  Half size only: a full-size picture is four
// times the bytes and about three times the time under the sanitizers;
// fuzz_decode covers the full sizes.
#include "decode_blocks.h"

namespace {

// Half sizes at the coded width first (no resampling of the rows), then at
// the display width.
const hvdv_fuzz::Template kTemplates[3] = {
    {"hd_1080i50.dv", 576000, {{720, 540}, {960, 540}}, {}, 0},
    {"hd_1080i60.dv", 480000, {{640, 540}, {960, 540}}, {}, 0},
    {"hd_720p60.dv", 240000, {{480, 360}, {640, 360}}, {}, 0},
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    hvdv_fuzz::LoadTemplates(kTemplates, 3);
    InitDVDec();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return hvdv_fuzz::DecodeBlocks(kTemplates, 3, data, size);
}
