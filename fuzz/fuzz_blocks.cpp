// Fuzz target: hvdv_block_status on any bytes, with an exact-size record
// array, then with one record too few.
//
// Input: 2 parameter bytes, then the frame.
//   0-1   bytes cut off the end of the frame (more than it has: none left)
#include <cstdint>
#include <vector>

#include "fuzz_common.h"
#include "hvdv.h"

using hvdv_fuzz::ExactBuffer;
using hvdv_fuzz::ParamReader;
using hvdv_fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ParamReader params(data, size);
    const uint16_t cut = params.Word();
    const size_t whole = params.RestSize();
    const ExactBuffer frame(params.Rest(), cut < whole ? whole - cut : 0);

    hvdv_block_summary s{};
    s.size = sizeof s;
    const int counted = hvdv_block_status(frame.data(), frame.size(), nullptr, 0, &s);
    if (counted != HVDV_OK) return 0;
    Require(s.block_count <= frame.size() / 80 && s.block_count <= 4 * 12 * 150);
    std::vector<hvdv_block> blocks(s.block_count);
    const uint32_t count = s.block_count;
    Require(hvdv_block_status(frame.data(), frame.size(), blocks.data(), blocks.size(), &s) == HVDV_OK);
    uint32_t damaged = 0, errors = 0;
    for (const hvdv_block& b : blocks) {
        Require(b.section <= HVDV_SECTION_VIDEO && b.sta < 16 && b.error_samples <= 48);
        Require(((b.flags & ~HVDV_BLOCK_DAMAGED) != 0) == ((b.flags & HVDV_BLOCK_DAMAGED) != 0));
        damaged += (b.flags & HVDV_BLOCK_DAMAGED) != 0;
        errors += b.error_samples;
    }
    Require(s.block_count == count && errors == s.audio_error_samples &&
            damaged == s.damaged[0] + s.damaged[1] + s.damaged[2] + s.damaged[3] + s.damaged[4]);
    if (count > 0)
        Require(hvdv_block_status(frame.data(), frame.size(), blocks.data(), count - 1, &s) == HVDV_ERROR_BUFFER_SMALL);
    return 0;
}
