#include "merge_run.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "output_file.h"
#include "records.h"
#include "scan_text.h"
#include "source.h"

namespace hvdv_merge {
namespace {

// Removes an output left half-written; never a device or pipe named as the
// output (/dev/null, a FIFO).  Returns what became of it, for the message.
std::string RemovePartial(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return path + " is not a file: left as it is";
    return std::filesystem::remove(path, ec) ? path + " removed" : path + " could not be removed (incomplete)";
}

std::string Timecode(const OutputFrame& f) {
    if (!f.hasTimecode) return "";
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u%c%02u", f.tc[0], f.tc[1], f.tc[2], f.tcDrop ? ';' : ':', f.tc[3]);
    return text;
}

std::string Recorded(const OutputFrame& f) {
    if (!f.hasDate) return "";
    // Civil date from days since 1970 (the inverse of DaysFromCivil).
    const int64_t days = f.recorded / 86400, secs = f.recorded % 86400;
    const int64_t z = days + 719468, era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097, yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1, m = mp < 10 ? mp + 3 : mp - 9, y = yoe + era * 400 + (m <= 2);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", int(y), int(m), int(d), int(secs / 3600),
                  int(secs / 60 % 60), int(secs % 60));
    return text;
}

void WriteCsvHeader(FILE* rep, size_t inputs) {
    std::fprintf(rep, "index,timecode,recorded,inputs,missing_before,damaged_blocks,video_sta_blocks,"
                      "audio_error_samples,repaired_blocks");
    for (size_t k = 1; k <= inputs; ++k) {
        const std::string in = ",in" + std::to_string(k);
        std::fprintf(rep, "%s_frame%s_match%s_blocks_taken%s_damaged_blocks%s_audio_error_samples", in.c_str(),
                     in.c_str(), in.c_str(), in.c_str(), in.c_str());
    }
    std::fprintf(rep, "\n");
}

void WriteRow(FILE* rep, bool json, const OutputFrame& merged, std::vector<hvdv_block>* blocks) {
    uint32_t sta = 0;
    hvdv_block_summary s{};
    s.size = sizeof s;
    blocks->resize(merged.blocks);
    if (hvdv_block_status(merged.bytes.data(), merged.bytes.size(), blocks->data(), blocks->size(), &s) == HVDV_OK)
        sta = s.damaged[HVDV_SECTION_VIDEO];
    const uint32_t after = merged.audioErrors;
    const std::string tc = Timecode(merged), when = Recorded(merged);
    if (json)
        std::fprintf(rep, "{\"index\":%" PRIu64 ",\"timecode\":%s,\"recorded\":%s,\"inputs\":%u,"
                          "\"missingBefore\":%u,\"damagedBlocks\":%u,\"videoStaBlocks\":%u,"
                          "\"audioErrorSamples\":%u,\"repairedBlocks\":%u,\"sources\":[",
                     merged.index, tc.empty() ? "null" : hvdv_scan::JsonString(tc).c_str(),
                     when.empty() ? "null" : hvdv_scan::JsonString(when).c_str(), merged.sources,
                     merged.missingBefore, merged.damaged, sta, after, merged.repaired);
    else
        std::fprintf(rep, "%" PRIu64 ",%s,%s,%u,%u,%u,%u,%u,%u", merged.index, tc.c_str(), when.c_str(),
                     merged.sources, merged.missingBefore, merged.damaged, sta, after, merged.repaired);
    for (size_t k = 0; k < merged.inputs.size(); ++k) {
        const InputUse& u = merged.inputs[k];
        const bool used = u.match != Match::kNone;
        const std::string index = used ? std::to_string(u.index) : "missing";
        if (json)
            std::fprintf(rep,
                         "%s{\"frame\":%s,\"match\":\"%s\",\"blocksTaken\":%u,\"damagedBlocks\":%u,"
                         "\"audioErrorSamples\":%u}",
                         k ? "," : "", used ? index.c_str() : "null", MatchName(u.match), u.blocksTaken, u.damaged,
                         u.audioErrors);
        else
            std::fprintf(rep, ",%s,%s,%u,%u,%u", index.c_str(), MatchName(u.match), u.blocksTaken, u.damaged,
                         u.audioErrors);
    }
    std::fprintf(rep, json ? "]}\n" : "\n");
}

}  // namespace

RunResult Run(const RunOptions& options, RunSummary* t, std::string* error,
              const std::function<void(const RunSummary&)>& progress) {
    *t = RunSummary();
    const std::vector<std::string>& inputs = options.inputs;
    const std::string& output = options.output;
    const std::string& report = options.report;
    if (inputs.size() < 2) return *error = "at least two inputs are needed", RunResult::kArgument;
    if (output.empty()) return *error = "no output given (-o OUT.dv)", RunResult::kArgument;
    if (options.window < 4 || options.window > 100000)
        return *error = "--window takes 4 to 100000 frames", RunResult::kArgument;
    if (std::count(inputs.begin(), inputs.end(), std::string("-")) > 1)
        return *error = "standard input (-) can be read once only", RunResult::kArgument;
    Options mergeOptions;
    mergeOptions.window = options.window;
    // Audio error samples are counted (the audio decoded) for the report.
    mergeOptions.audioErrors = !report.empty();
    t->audioCounted = mergeOptions.audioErrors;

    std::vector<std::unique_ptr<hvdv_input::FrameSource>> sources;
    for (const std::string& in : inputs) {
        std::string why;
        sources.push_back(hvdv_input::OpenFrameSource(in, &why));
        if (!sources.back()) return *error = in + ": " + why, RunResult::kFailed;
    }
    std::string why;
    FILE* out = hvdv_input::CreateOutputFile(output, options.force, &why);
    if (!out) return *error = output + ": " + why, RunResult::kFailed;
    FILE* rep = nullptr;
    const bool json = report.size() >= 5 && report.compare(report.size() - 5, 5, ".json") == 0;
    if (!report.empty()) {
        rep = hvdv_input::CreateOutputFile(report, options.force, &why);
        if (!rep) {
            std::fclose(out);
            RemovePartial(output);
            return *error = report + ": " + why, RunResult::kFailed;
        }
    }
    // Stops with the output and the report removed, saying so.
    auto fail = [&](const std::string& message) {
        std::fclose(out);
        const std::string what = RemovePartial(output);
        if (rep) {
            std::fclose(rep);
            RemovePartial(report);
        }
        *error = message + "; " + what;
        return RunResult::kFailed;
    };
    if (rep && !json) WriteCsvHeader(rep, inputs.size());

    Merger merger(inputs.size(), mergeOptions);
    std::vector<uint64_t> read(inputs.size(), 0);
    std::vector<hvdv_block> blocks;
    hvdv_input::SourceFrame frame;
    OutputFrame merged;
    for (;;) {
        for (size_t i = 0; i < inputs.size(); ++i)
            while (merger.Wants(i)) {
                InputFrame f;
                merger.Spare(&f);
                frame.bytes.swap(f.bytes);
                if (!sources[i]->Next(&frame)) {
                    if (!sources[i]->Error().empty())
                        return fail(inputs[i] + ": frame " + std::to_string(read[i]) + ": " + sources[i]->Error());
                    merger.End(i);
                    break;
                }
                f.bytes.swap(frame.bytes);
                f.index = read[i]++;
                Describe(&f, mergeOptions.audioErrors);
                merger.Push(i, std::move(f));
            }
        if (!merger.Next(&merged)) {
            if (!merger.Error().empty()) {
                std::string kinds;
                for (size_t i = 0; i < inputs.size(); ++i)
                    if (merger.LeftOut()[i].empty())
                        kinds += (kinds.empty() ? "" : ", ") + inputs[i] + " is " + hvdv_scan::KindName(merger.Kind(i));
                return fail("inputs of different DV kinds: " + kinds);
            }
            if (merger.Done()) break;
            continue;
        }
        if (std::fwrite(merged.bytes.data(), 1, merged.bytes.size(), out) != merged.bytes.size())
            return fail(output + ": frame " + std::to_string(merged.index) + ": cannot write: " + std::strerror(errno));
        ++t->frames;
        t->single += merged.sources == 1;
        t->missing += merged.missingBefore;
        t->repaired += merged.repaired;
        t->damagedBlocks += merged.damaged;
        t->damagedFrames += merged.damaged != 0;
        t->audioAfter += merged.audioErrors;
        uint32_t fewest = UINT32_MAX;
        for (const InputUse& u : merged.inputs)
            if (u.match != Match::kNone) fewest = std::min(fewest, u.audioErrors);
        t->audioBefore += fewest == UINT32_MAX ? 0 : fewest;
        if (rep) WriteRow(rep, json, merged, &blocks);
        if (progress) progress(*t);
    }
    if (std::fclose(out) != 0) {
        const std::string reason = std::strerror(errno);
        *error = output + ": cannot write: " + reason + "; " + RemovePartial(output);
        if (rep) std::fclose(rep);
        return RunResult::kFailed;
    }
    if (rep && std::fclose(rep) != 0) return *error = report + ": cannot write: " + std::strerror(errno), RunResult::kFailed;
    if (t->frames == 0) return *error = "no DV frame in the inputs; " + RemovePartial(output), RunResult::kFailed;
    t->warning = merger.Warning();
    t->leftOut = merger.LeftOut();
    for (size_t i = 0; i < inputs.size(); ++i) t->repeats.push_back(merger.Repeats(i));
    return RunResult::kDone;
}

}  // namespace hvdv_merge
