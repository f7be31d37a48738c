#include "merge.h"

#include <algorithm>
#include <cstring>

#include "timecode.h"

namespace hvdv_merge {

namespace {

enum class Verdict { kSame, kDifferent, kUnknown };

// Timecode frames a second of a kind; 0 where pictures and timecode do not
// count alike (720p).
uint32_t TcRate(hvdv_kind kind) {
    if (kind == HVDV_KIND_HD_720P50 || kind == HVDV_KIND_HD_720P60) return 0;
    switch (kind) {
        case HVDV_KIND_DV25_525_411:
        case HVDV_KIND_DV50_525:
        case HVDV_KIND_HD_1080I60: return 30;
        default: return 25;
    }
}

// Blocks compared for content: every audio block and every eighth video
// block.  A block read cleanly is the same bytes in every transfer, so
// two clean copies that differ belong to different frames; two that agree
// say little where the scene or the sound stands still.
struct ContentCount {
    uint32_t same = 0, differ = 0;
};
ContentCount CompareContent(const InputFrame& a, const InputFrame& b) {
    ContentCount c;
    const size_t n = std::min(a.blocks.size(), b.blocks.size());
    for (size_t i = 0; i < n; ++i) {
        const hvdv_block& x = a.blocks[i];
        if (x.section == HVDV_SECTION_VIDEO ? (x.number & 7) != 0 : x.section != HVDV_SECTION_AUDIO) continue;
        if (x.flags || b.blocks[i].flags) continue;
        if (std::memcmp(&a.bytes[i * 80], &b.bytes[i * 80], 80) == 0)
            ++c.same;
        else if (++c.differ > 4 && c.differ * 16 > c.same + c.differ)
            return c;  // plainly another frame
    }
    return c;
}

bool ContentDiffers(const ContentCount& c) { return c.differ > 1 && c.differ * 16 > c.same + c.differ; }

// Whether two frames are the same place on the tape, and from what.
Verdict Compare(const InputFrame& a, const InputFrame& b, Match* how) {
    if (!a.identified || !b.identified) return Verdict::kUnknown;
    if (a.kind != b.kind || a.bytes.size() != b.bytes.size()) return Verdict::kDifferent;
    const bool tc = a.tcTrusted && b.tcTrusted;
    if (tc && a.timecode != b.timecode) return Verdict::kDifferent;
    if (a.dateTrusted && b.dateTrusted && a.recorded != b.recorded) return Verdict::kDifferent;
    const ContentCount c = CompareContent(a, b);
    if (ContentDiffers(c)) return Verdict::kDifferent;
    if (tc) {
        *how = Match::kTimecode;
        return Verdict::kSame;
    }
    if (c.same >= 4 && c.differ == 0) {
        *how = Match::kContent;
        return Verdict::kSame;
    }
    if (a.dateTrusted && b.dateTrusted && !a.hasTimecode && !b.hasTimecode) {
        *how = Match::kDate;
        return Verdict::kUnknown;
    }
    return Verdict::kUnknown;
}

// -1 when a lies before b on the tape, 1 after, 0 when nothing says.
int Order(const InputFrame& a, const InputFrame& b) {
    if (a.dateTrusted && b.dateTrusted && (a.recorded - b.recorded >= 2 || b.recorded - a.recorded >= 2))
        return a.recorded < b.recorded ? -1 : 1;
    if (a.tcTrusted && b.tcTrusted && a.timecode != b.timecode) return a.timecode < b.timecode ? -1 : 1;
    return 0;
}

}  // namespace

const char* MatchName(Match m) {
    switch (m) {
        case Match::kNone: return "missing";
        case Match::kChosen: return "chosen";
        case Match::kTimecode: return "timecode";
        case Match::kContent: return "content";
        case Match::kDate: return "date";
        case Match::kPosition: return "position";
    }
    return "missing";
}

void Describe(InputFrame* out, bool decodeAudio) {
    InputFrame& f = *out;
    f.identified = false;
    f.kind = HVDV_KIND_UNKNOWN;
    f.frameBytes = f.damaged = f.audioErrors = 0;
    f.hasTimecode = f.tcTrusted = f.tcDrop = f.hasDate = f.dateTrusted = f.recStart = false;
    f.timecode = f.recorded = 0;
    std::memset(f.tc, 0, sizeof f.tc);
    f.blocks.clear();
    hvdv_frame_info info{};
    info.size = sizeof info;
    if (hvdv_probe_frame(f.bytes.data(), f.bytes.size(), &info) != HVDV_OK) return;
    hvdv_block_summary s{};
    s.size = sizeof s;
    f.blocks.resize(f.bytes.size() / 80);  // at least the frame's blocks
    if (hvdv_block_status(f.bytes.data(), f.bytes.size(), f.blocks.data(), f.blocks.size(), &s) != HVDV_OK) {
        f.blocks.clear();
        return;
    }
    f.blocks.resize(s.block_count);
    f.identified = true;
    f.kind = info.kind;
    f.frameBytes = info.frame_bytes;
    for (const hvdv_block& b : f.blocks) f.damaged += b.flags != 0;
    if (decodeAudio) {
        // Error samples of the decoded audio (as hvdv scan counts them).
        static thread_local std::vector<int16_t> pcm(HVDV_MAX_AUDIO_SAMPLES * HVDV_MAX_AUDIO_CHANNELS);
        hvdv_audio_info audio{};
        audio.size = sizeof audio;
        if (hvdv_decode_audio(nullptr, f.bytes.data(), f.bytes.size(), pcm.data(), pcm.size(), 0, &audio) == HVDV_OK)
            f.audioErrors = audio.error_samples;
    }
    hvdv_metadata m{};
    m.size = sizeof m;
    if (hvdv_read_metadata(f.bytes.data(), f.bytes.size(), &m) != HVDV_OK) return;
    const uint32_t rate = TcRate(f.kind);
    if ((m.present & HVDV_META_TIMECODE) && rate) {
        f.hasTimecode = true;
        f.tcDrop = m.tc_drop_frame != 0;
        f.tc[0] = m.tc_hours, f.tc[1] = m.tc_minutes, f.tc[2] = m.tc_seconds, f.tc[3] = m.tc_frames;
        f.timecode = hvdv_scan::TimecodeFrames(m.tc_hours, m.tc_minutes, m.tc_seconds, m.tc_frames, f.tcDrop, rate);
        // A timecode most copies agree on, in a subcode read cleanly.
        uint32_t subcodeDamaged = 0;
        for (const hvdv_block& b : f.blocks) subcodeDamaged += b.section == HVDV_SECTION_SUBCODE && b.flags;
        f.tcTrusted = m.tc_frames < rate && 4 * m.tc_disagreeing < m.tc_copies && subcodeDamaged * 4 < m.tc_copies;
    }
    if ((m.present & HVDV_META_REC_DATE) && (m.present & HVDV_META_REC_TIME)) {
        f.hasDate = true;
        // Only from packs read cleanly: the first copy is the one read.
        bool packsDamaged = false;
        for (const hvdv_block& b : f.blocks)
            packsDamaged = packsDamaged || ((b.section == HVDV_SECTION_SUBCODE || b.section == HVDV_SECTION_VAUX) && b.flags);
        f.dateTrusted = !packsDamaged;
        f.recorded = hvdv_scan::DaysFromCivil(m.rec_year, m.rec_month, m.rec_day) * 86400 +
                     (int64_t(m.rec_hours) * 60 + m.rec_minutes) * 60 + m.rec_seconds;
    }
    f.recStart = (m.present & HVDV_META_REC_START) && m.rec_start;
}

Merger::Merger(size_t inputs, const Options& options) : options_(options), inputs_(inputs), leftOut_(inputs) {
    if (options_.window < 4) options_.window = 4;
}

bool Merger::Wants(size_t i) const {
    const Input& in = inputs_[i];
    return error_.empty() && !in.ended && !in.excluded && in.window.size() < options_.window;
}

void Merger::Push(size_t i, InputFrame&& frame) { inputs_[i].window.push_back(std::move(frame)); }

void Merger::End(size_t i) { inputs_[i].ended = true; }

bool Merger::Ready() const {
    for (const Input& in : inputs_)
        if (!in.excluded && !in.ended && in.window.size() < options_.window) return false;
    return true;
}

bool Merger::Done() const {
    if (!error_.empty()) return true;
    for (const Input& in : inputs_)
        if (!in.excluded && (!in.ended || !in.window.empty())) return false;
    return true;
}

hvdv_kind Merger::Kind(size_t i) const { return kinds_[i]; }

// Once, on the first full windows: every input of one kind, and inputs
// that share no frame with the others (when two or more others do) left
// out as transfers of another tape.
void Merger::CheckInputs() {
    checked_ = true;
    const size_t n = inputs_.size();
    kinds_.assign(n, HVDV_KIND_UNKNOWN);
    for (size_t i = 0; i < n; ++i)
        for (const InputFrame& f : inputs_[i].window)
            if (f.identified) {
                kinds_[i] = f.kind;
                break;
            }
    for (size_t i = 0; i < n; ++i) {
        if (kinds_[i] == HVDV_KIND_UNKNOWN) {
            inputs_[i].excluded = true;
            leftOut_[i] = "no DV frame identified in its first frames";
        }
    }
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j)
            if (!inputs_[i].excluded && !inputs_[j].excluded && kinds_[i] != kinds_[j]) {
                error_ = "different kinds";
                return;
            }
    std::vector<bool> related(n, false);
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j) {
            if (inputs_[i].excluded || inputs_[j].excluded) continue;
            bool found = false;
            for (size_t a = 0; a < inputs_[i].window.size() && !found; ++a)
                for (size_t b = 0; b < inputs_[j].window.size() && !found; ++b) {
                    Match how = Match::kNone;
                    found = Compare(inputs_[i].window[a], inputs_[j].window[b], &how) == Verdict::kSame;
                }
            if (found) related[i] = related[j] = true;
        }
    size_t relatedCount = 0, kept = 0;
    for (size_t i = 0; i < n; ++i) relatedCount += related[i], kept += !inputs_[i].excluded;
    if (relatedCount == 0 && kept >= 2)
        warning_ = "the inputs share no frame in their first " + std::to_string(options_.window) +
                   " frames: their frames are put in order by date and timecode alone";
    // The others may only reach its first frames later (a transfer started
    // further on): it waits, its window full, until one of its frames turns
    // up among theirs, and is left out if none does before they end.
    if (relatedCount >= 2)
        for (size_t i = 0; i < n; ++i)
            if (!related[i] && !inputs_[i].excluded) inputs_[i].pending = true;
}

// Pending inputs whose frames meet the others' join them; when the others
// have ended, the rest are left out.
void Merger::Admit(const std::vector<size_t>& active) {
    for (size_t p = 0; p < inputs_.size(); ++p) {
        Input& in = inputs_[p];
        if (!in.pending || in.excluded) continue;
        if (active.empty()) {
            in.pending = false;
            in.excluded = true;
            leftOut_[p] = "shares no frame with the other inputs: another tape";
            in.window.clear();
            continue;
        }
        if (in.window.empty()) continue;
        Match how = Match::kNone;
        for (size_t j : active)
            if (Find(in.window.front(), j, &how) >= 0 || Find(inputs_[j].window.front(), p, &how) >= 0) {
                in.pending = false;
                break;
            }
    }
}

// A frame the deck gave twice: the timecode of the last output again with
// nothing against it, or the same bytes as the input's previous frame.
bool Merger::Repeat(size_t i, const InputFrame& head) const {
    const Input& in = inputs_[i];
    if (in.havePrevious && in.previous.bytes == head.bytes) return true;
    if (!haveLast_ || !head.tcTrusted || !lastTcTrusted_ || head.timecode != lastTimecode_) return false;
    const Input& lead = inputs_[lastLead_];
    if (!lead.havePrevious) return false;
    // The leading frame of the last output: clean blocks consistent with it.
    Match how = Match::kNone;
    return Compare(head, lead.previous, &how) != Verdict::kDifferent;
}

// The first frame of input j's window that is a's place on the tape; -1
// when none is.
int Merger::Find(const InputFrame& a, size_t j, Match* how) const {
    const std::deque<InputFrame>& w = inputs_[j].window;
    for (size_t k = 0; k < w.size(); ++k)
        if (Compare(a, w[k], how) == Verdict::kSame) return int(k);
    return -1;
}

bool Merger::Next(OutputFrame* out) {
    if (!error_.empty() || !Ready()) return false;
    if (!checked_) {
        CheckInputs();
        if (!error_.empty()) return false;
    }
    const size_t n = inputs_.size();
    std::vector<uint32_t> skipped(n, 0);
    std::vector<size_t> active;
    for (size_t i = 0; i < n; ++i) {
        Input& in = inputs_[i];
        if (in.excluded || in.pending) continue;
        while (!in.window.empty() && Repeat(i, in.window.front())) {
            in.Retire(std::move(in.window.front()), &spare_);
            in.window.pop_front();
            ++skipped[i];
            ++in.repeats;
        }
        if (in.window.empty() && !in.ended) return false;  // more frames first
        if (!in.window.empty()) active.push_back(i);
    }
    bool waiting = false;
    for (const Input& in : inputs_) waiting = waiting || (in.pending && !in.excluded);
    if (waiting && (produced_ % 8 == 0 || active.empty())) {  // now and then: a search of the windows
        Admit(active);
        for (size_t i = 0; i < n; ++i)
            if (!inputs_[i].pending && !inputs_[i].excluded && !inputs_[i].window.empty() &&
                std::find(active.begin(), active.end(), i) == active.end()) {
                active.push_back(i);
                std::sort(active.begin(), active.end());
            }
    }
    if (active.empty()) return false;

    // Where each head lies in the other windows.
    std::vector<std::vector<int>> at(n, std::vector<int>(n, -1));
    std::vector<std::vector<Match>> how(n, std::vector<Match>(n, Match::kNone));
    for (size_t i : active)
        for (size_t j : active)
            if (i != j) at[i][j] = Find(inputs_[i].window.front(), j, &how[i][j]);
    // A head is blocked when another input holds frames before it.
    size_t chosen = active.front();
    bool found = false;
    for (size_t i : active) {
        bool blocked = false;
        for (size_t j : active) {
            if (i == j) continue;
            if (at[i][j] > 0) blocked = true;
            if (at[i][j] < 0 && at[j][i] < 0 &&
                Order(inputs_[j].window.front(), inputs_[i].window.front()) < 0)
                blocked = true;
        }
        if (!blocked) {
            chosen = i;
            found = true;
            break;
        }
    }
    if (!found) {
        // Frames that seem to come before each other (a static scene without
        // timecode): the head found nearest in the others goes first.
        int best = -1;
        for (size_t i : active) {
            int sum = 0;
            for (size_t j : active)
                if (i != j && at[i][j] > 0) sum += at[i][j];
            if (best < 0 || sum < best) best = sum, chosen = i;
        }
    }
    std::vector<size_t> group{chosen};
    std::vector<Match> matched{Match::kChosen};
    const InputFrame& head = inputs_[chosen].window.front();
    for (size_t j : active) {
        if (j == chosen) continue;
        if (at[chosen][j] == 0) {
            group.push_back(j);
            matched.push_back(how[chosen][j]);
            continue;
        }
        // Nothing for or against at the head: the same place when both went
        // out together last time, or when their next frames are one.
        const std::deque<InputFrame>& w = inputs_[j].window;
        Match m = Match::kNone;
        if (at[chosen][j] < 0 && Compare(head, w.front(), &m) == Verdict::kUnknown) {
            const bool inStep = lastGroup_.size() == n && lastGroup_[chosen] && lastGroup_[j];
            Match next = Match::kNone;
            const bool nextSame = inputs_[chosen].window.size() > 1 && w.size() > 1 &&
                                  Compare(inputs_[chosen].window[1], w[1], &next) == Verdict::kSame;
            if (inStep || nextSame) {
                group.push_back(j);
                matched.push_back(m == Match::kDate ? Match::kDate : Match::kPosition);
            }
        }
    }
    Build(group, matched, out);
    for (size_t k = 0; k < n; ++k) out->inputs[k].repeatsSkipped = skipped[k];
    lastGroup_.assign(n, false);
    for (size_t g : group) {
        Input& in = inputs_[g];
        lastGroup_[g] = true;
        in.Retire(std::move(in.window.front()), &spare_);
        in.window.pop_front();
    }
    return true;
}

void Merger::Build(const std::vector<size_t>& group, const std::vector<Match>& how, OutputFrame* out) {
    const size_t n = inputs_.size();
    std::vector<const InputFrame*> frames;
    for (size_t g : group) frames.push_back(&inputs_[g].window.front());
    // The frame with the most clean blocks leads; its blocks are taken
    // wherever they are clean.
    size_t lead = 0;
    for (size_t k = 1; k < frames.size(); ++k) {
        const InputFrame& a = *frames[k];
        const InputFrame& b = *frames[lead];
        if (a.blocks.size() - a.damaged > b.blocks.size() - b.damaged) lead = k;
    }
    size_t blocks = 0;
    for (const InputFrame* f : frames) blocks = std::max(blocks, f->blocks.size());
    out->inputs.assign(n, InputUse());
    for (size_t k = 0; k < group.size(); ++k) {
        InputUse& u = out->inputs[group[k]];
        u.match = how[k];
        u.index = frames[k]->index;
        u.damaged = frames[k]->damaged;
        u.audioErrors = frames[k]->audioErrors;
    }
    out->index = produced_++;
    out->sources = uint32_t(group.size());
    out->blocks = uint32_t(blocks);
    out->damaged = out->repaired = out->audioErrors = 0;
    const InputFrame& leader = *frames[lead];
    if (!leader.identified || blocks == 0) {
        // Nothing to choose from: the frame as it came.
        out->bytes.assign(leader.bytes.begin(), leader.bytes.end());
        out->inputs[group[lead]].blocksTaken = uint32_t(leader.bytes.size() / 80);
    } else {
        out->bytes.resize(blocks * 80);
        std::vector<uint32_t> taken(frames.size(), 0);
        std::vector<size_t>& from = from_;  // the frame each output block came from
        from.assign(blocks, lead);
        // Rank of a damaged copy: fewer error samples, then a lower STA.
        // Subcode and VAUX: fewer erased packs (a copy wholly erased in one
        // transfer is not flagged when every copy of the frame is).
        auto cost = [](const hvdv_block& b, const uint8_t* p) {
            uint32_t erased = 0;
            if (b.section == HVDV_SECTION_SUBCODE)
                for (int k = 0; k < 6; ++k) erased += p[6 + 8 * k] == 0xFF && p[7 + 8 * k] == 0xFF;
            else if (b.section == HVDV_SECTION_VAUX)
                for (int k = 0; k < 15; ++k) erased += p[3 + 5 * k] == 0xFF && p[4 + 5 * k] == 0xFF;
            return (b.flags ? 1000u : 0u) + b.error_samples + b.sta + erased;
        };
        for (size_t i = 0; i < blocks; ++i) {
            if (i < leader.blocks.size() && !leader.blocks[i].flags && leader.blocks[i].section >= HVDV_SECTION_AUDIO) {
                // The usual case: the leading frame read it cleanly.  (Subcode
                // and VAUX copies are weighed below: packs erased in every
                // sequence of one transfer are not flagged within the frame.)
                std::memcpy(&out->bytes[i * 80], &leader.bytes[i * 80], 80);
                ++taken[lead];
                continue;
            }
            size_t best = frames.size();
            for (size_t k = 0; k < frames.size(); ++k) {
                const size_t c = (k + lead) % frames.size();  // the leading frame first
                if (i >= frames[c]->blocks.size()) continue;
                if (best == frames.size() || cost(frames[c]->blocks[i], &frames[c]->bytes[i * 80]) <
                                                 cost(frames[best]->blocks[i], &frames[best]->bytes[i * 80]))
                    best = c;
            }
            const hvdv_block& b = frames[best]->blocks[i];
            std::memcpy(&out->bytes[i * 80], &frames[best]->bytes[i * 80], 80);
            ++taken[best];
            from[i] = best;
            if (b.flags) ++out->damaged;
            if (!b.flags && (i >= leader.blocks.size() || leader.blocks[i].flags)) ++out->repaired;
        }
        // The header blocks come from the frame that gave the most, where
        // it read them cleanly.
        size_t most = 0;
        for (size_t k = 1; k < frames.size(); ++k)
            if (taken[k] > taken[most]) most = k;
        for (size_t i = 0; i < blocks; ++i) {
            if (from[i] == most || i >= frames[most]->blocks.size()) continue;
            const hvdv_block& b = frames[most]->blocks[i];
            if (b.section != HVDV_SECTION_HEADER || b.flags) continue;
            std::memcpy(&out->bytes[i * 80], &frames[most]->bytes[i * 80], 80);
            --taken[from[i]];
            ++taken[most];
            from[i] = most;
        }
        for (size_t k = 0; k < frames.size(); ++k) out->inputs[group[k]].blocksTaken = taken[k];
    }

    // Timecode and date of the output: of the leading frame, else of the
    // others; a timecode gap since the last output is frames no input holds.
    const InputFrame* tc = nullptr;
    const InputFrame* date = nullptr;
    for (size_t k = 0; k < frames.size(); ++k) {
        const InputFrame* f = frames[(k + lead) % frames.size()];
        if (f->hasTimecode && (!tc || (f->tcTrusted && !tc->tcTrusted))) tc = f;
        if (f->hasDate && !date) date = f;
    }
    out->hasTimecode = tc != nullptr;
    out->tcDrop = tc && tc->tcDrop;
    std::memcpy(out->tc, tc ? tc->tc : leader.tc, 4);
    out->hasDate = date != nullptr;
    out->recorded = date ? date->recorded : 0;
    out->missingBefore = 0;
    const bool trusted = tc && tc->tcTrusted;
    if (haveLast_ && trusted && lastTcTrusted_ && leader.kind == lastKind_) {
        const int64_t gap = tc->timecode - lastTimecode_;
        const int64_t second = TcRate(leader.kind);
        if (gap > 1 && gap <= 10 * second) out->missingBefore = uint32_t(gap - 1);
    }
    if (options_.audioErrors) {
        static thread_local std::vector<int16_t> pcm(HVDV_MAX_AUDIO_SAMPLES * HVDV_MAX_AUDIO_CHANNELS);
        hvdv_audio_info audio{};
        audio.size = sizeof audio;
        if (hvdv_decode_audio(nullptr, out->bytes.data(), out->bytes.size(), pcm.data(), pcm.size(), 0, &audio) ==
            HVDV_OK)
            out->audioErrors = audio.error_samples;
    }
    haveLast_ = true;
    lastTcTrusted_ = trusted;
    lastTimecode_ = trusted ? tc->timecode : 0;
    lastKind_ = leader.kind;
    lastLead_ = group[lead];
}

void Merger::Input::Retire(InputFrame&& f, std::vector<InputFrame>* spare) {
    if (havePrevious && spare->size() < 8) spare->push_back(std::move(previous));
    previous = std::move(f);
    havePrevious = true;
}

void Merger::Spare(InputFrame* f) {
    if (spare_.empty()) return;
    *f = std::move(spare_.back());
    spare_.pop_back();
}

}  // namespace hvdv_merge
