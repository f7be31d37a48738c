// Fuzz target: the CEA-608 decoder and the SCC reader on any bytes.
//
// Input: 1 parameter byte, then the data.
//   0     bits 0-1: channel CC1-CC4 for the decoder
// The data is read as caption pairs, one a frame, and as SCC text.
#include <cstdint>
#include <string>
#include <vector>

#include "cea608.h"
#include "fuzz_common.h"
#include "scc.h"

using hvdv_fuzz::ParamReader;
using hvdv_fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ParamReader params(data, size);
    const int channel = 1 + (params.Byte() & 3);
    const uint8_t* rest = params.Rest();
    const size_t n = params.RestSize();

    hvdv_cc::Decoder decoder(channel);
    uint64_t frame = 0;
    for (size_t i = 0; i + 1 < n; i += 2) decoder.Push(frame++, rest[i], rest[i + 1]);
    decoder.Finish(frame);
    uint64_t previousEnd = 0;
    for (const hvdv_cc::Cue& c : decoder.Cues()) {
        // Cues follow each other, each at least a frame long, never empty.
        Require(c.start < c.end && c.start >= previousEnd && c.end <= frame + 1 && !c.text.empty());
        previousEnd = c.end;
    }

    std::vector<hvdv_cc::SccLine> lines;
    std::string error;
    if (hvdv_cc::ParseScc(std::string(reinterpret_cast<const char*>(rest), n), &lines, &error)) {
        // What was read writes back to text that reads the same.
        hvdv_cc::SccWriter writer;
        for (const hvdv_cc::SccLine& l : lines) {
            for (uint16_t w : l.words) writer.Add(l.timecode, uint8_t(w >> 8), uint8_t(w));
            writer.Add(l.timecode, 0x80, 0x80);
        }
        std::vector<hvdv_cc::SccLine> again;
        Require(hvdv_cc::ParseScc(writer.Text(), &again, &error));
    } else {
        Require(!error.empty());
    }
    return 0;
}
