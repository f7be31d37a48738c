// Fuzz target: per-frame metadata on any bytes, read with any profile, with
// and without header blocks, and its closed captions.
//
// Input: 4 parameter bytes, then the frame.
//   0     profile: index into kKinds (modulo)
//   1     bit 0: sequences begin with a header block
//   2-3   bytes cut off the end of the frame (more than it has: none left)
#include <cstdint>
#include <initializer_list>

#include "format/profile.h"
#include "fuzz_common.h"
#include "meta/captions.h"
#include "meta/metadata.h"

using hvdv_fuzz::ExactBuffer;
using hvdv_fuzz::ParamReader;
using hvdv_fuzz::Require;

namespace {

const int kKinds[] = {hvdv::kKind625_420, hvdv::kKind625_411, hvdv::kKind525_411, hvdv::kKind625_422,
                      hvdv::kKind525_422, hvdv::kKind720_50,  hvdv::kKind720_60,  hvdv::kKind1080_50,
                      hvdv::kKind1080_60};

bool InRange(const hvdv::DVValue& v, int lo, int hi) { return !v.present || (v.value >= lo && v.value <= hi); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ParamReader params(data, size);
    const hvdv::DVProfile* profile = hvdv::ProfileForKind(kKinds[params.Byte() % 9]);
    const bool headerBlocks = params.Byte() & 1;
    const uint16_t cut = params.Word();
    const size_t whole = params.RestSize();
    const ExactBuffer frame(params.Rest(), cut < whole ? whole - cut : 0);

    hvdv::DVFrameMetadata m;
    const bool found =
        hvdv::ReadFrameMetadata(frame.data(), (uint32_t)frame.size(), *profile, headerBlocks, &m);
    const hvdv::DVTimecode& t = m.timecode;
    Require(t.disagreeing >= 0 && t.disagreeing <= t.copies);
    Require(!t.present || (t.hours < 24 && t.minutes < 60 && t.seconds < 60 && t.frames < 30));
    Require(!t.dropFrame || (t.present && profile->is525));
    for (const hvdv::DVDate* d : {&m.vauxDate, &m.subcodeDate})
        Require(!d->present || (d->year >= 1970 && d->year < 2070 && d->month >= 1 && d->month <= 12 &&
                                d->day >= 1 && d->day <= 31));
    for (const hvdv::DVTime* c : {&m.vauxTime, &m.subcodeTime})
        Require(!c->present || (c->hours < 24 && c->minutes < 60 && c->seconds < 60));
    Require(m.captionCount >= 0 && m.captionCount <= hvdv::kMaxCaptionPacks && m.captionCount <= m.captionCopies);
    int groups = 0;
    for (const hvdv::DVAudioGroup& g : m.audio) {
        groups += g.present;
        Require(InRange(g.channels, 1, 2) && InRange(g.bits, 12, 20) && InRange(g.samples, 1053, 1896 + 63));
    }
    Require(groups <= 2 * profile->channels);
    Require(InRange(m.disp, 0, 7) && InRange(m.cgms, 0, 3) && InRange(m.camera.fNumberTenths, 10, 1810));
    // Nothing is reported from a frame without packs.
    if (!found) Require(!t.present && t.copies == 0 && !m.disp.present && !m.audio[0].present && !m.camera.present);

    // Closed captions: one vote a field over the first channel's packs,
    // which the metadata counts among all of its copies.
    hvdv::DVFrameCaptions cc;
    const bool captions = hvdv::ReadFrameCaptions(frame.data(), (uint32_t)frame.size(), *profile, headerBlocks, &cc);
    Require(captions == cc.present && captions == (cc.field[0].copies > 0));
    Require(cc.field[0].copies == cc.field[1].copies && cc.field[0].copies <= m.captionCopies);
    for (const hvdv::DVCaptionField& f : cc.field) Require(f.disagreeing >= 0 && f.disagreeing < f.copies + !captions);
    for (int k = 0; k < 4; ++k)
        Require(((cc.parityErrors >> k) & 1) == (captions && !hvdv::CaptionParityOk(cc.field[k / 2].bytes[k % 2])));
    return 0;
}
