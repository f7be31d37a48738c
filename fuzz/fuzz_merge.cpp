// Fuzz target: the merge of two or three inputs made of any bytes, to the
// end: it must finish, write each frame it is given at most once and take
// every output block from an input.
//
// Input: 5 parameter bytes, then the frames.
//   0     bit 0: three inputs (else two)
//   1     window: 4 + (value % 8) frames
//   2-4   bytes a frame (big-endian, at least 80); the rest is cut into
//         frames of that size, dealt to the inputs in turn
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_common.h"
#include "merge.h"

using hvdv_fuzz::ParamReader;
using hvdv_fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ParamReader params(data, size);
    const size_t inputs = (params.Byte() & 1) ? 3 : 2;
    hvdv_merge::Options options;
    options.window = 4 + params.Byte() % 8;
    options.audioErrors = true;
    size_t frameBytes = size_t(params.Byte()) << 16;
    frameBytes |= params.Word();
    frameBytes = std::max<size_t>(frameBytes, 80);
    std::vector<std::vector<std::vector<uint8_t>>> frames(inputs);
    size_t total = 0;
    for (size_t at = 0; at < params.RestSize(); at += frameBytes, ++total) {
        const size_t n = std::min(frameBytes, params.RestSize() - at);
        frames[total % inputs].emplace_back(params.Rest() + at, params.Rest() + at + n);
    }

    hvdv_merge::Merger merger(inputs, options);
    std::vector<size_t> next(inputs, 0);
    hvdv_merge::OutputFrame out;
    size_t written = 0;
    for (size_t rounds = 0; !merger.Done(); ++rounds) {
        Require(rounds <= 4 * total + 8);
        for (size_t i = 0; i < inputs; ++i)
            while (merger.Wants(i)) {
                if (next[i] == frames[i].size()) {
                    merger.End(i);
                    break;
                }
                hvdv_merge::InputFrame f;
                merger.Spare(&f);
                f.bytes = frames[i][next[i]];
                f.index = next[i]++;
                hvdv_merge::Describe(&f, true);
                merger.Push(i, std::move(f));
            }
        while (merger.Next(&out)) {
            ++written;
            Require(written <= total && out.bytes.size() <= frameBytes && out.inputs.size() == inputs);
            uint32_t taken = 0;
            for (const hvdv_merge::InputUse& u : out.inputs) taken += u.blocksTaken;
            Require(taken == out.bytes.size() / 80 && out.damaged <= out.blocks);
        }
        if (!merger.Error().empty()) break;
    }
    return 0;
}
