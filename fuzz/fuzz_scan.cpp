// Fuzz target: any bytes as a raw DV file, cut into frames by the input
// layer's raw reader (input/source.cpp: frame starts, sizes that follow the
// kind, a 720p frame's second picture at the start, frames cut short), and
// every frame read into a scan record (scan/records.cpp: probe, metadata,
// audio, the damage map of a half-size decode, frames shorter than one DIF
// sequence described from their first blocks), put through the recording
// rule and written as JSON and CSV.
//
// Input: 1 parameter byte, then the file.
//   0     bit 0: decode the pictures (the damage map)
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "fuzz_common.h"
#include "records.h"
#include "scan_text.h"
#include "source_detail.h"

using hvdv_fuzz::ExactBuffer;
using hvdv_fuzz::ParamReader;
using hvdv_fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ParamReader params(data, size);
    const bool video = params.Byte() & 1;
    const ExactBuffer file(params.Rest(), params.RestSize());
    if (file.size() == 0) return 0;
    // The reader takes a FILE*: the bytes as an in-memory file.
    FILE* f = fmemopen(file.data(), file.size(), "rb");
    if (!f) return 0;
    std::string error;
    const std::unique_ptr<hvdv_input::FrameSource> source = hvdv_input::OpenRawSource(f, "fuzz", &error);
    if (!source) {
        Require(!error.empty());
        return 0;
    }
    hvdv_scan::FrameReader reader(video);
    if (!reader.Ready(&error)) return 0;
    hvdv_scan::RecordingTracker tracker;
    hvdv_input::SourceFrame frame;
    uint64_t bytes = 0, frames = 0;
    while (source->Next(&frame)) {
        // Frames follow each other from the first whole one on.
        Require(!frame.bytes.empty() && frame.index == frames &&
                (frames == 0 ? frame.offset >= 0 : frame.offset == int64_t(bytes)));
        bytes = uint64_t(frame.offset) + frame.bytes.size();
        Require(bytes <= file.size());
        ++frames;
        hvdv_scan::FrameRecord r;
        reader.Read(frame.bytes.data(), frame.bytes.size(), frame.index, frame.offset, &r);
        Require(r.damaged <= r.macroblocks && r.concealed <= r.macroblocks);
        Require(r.DamageShare() >= 0.0 && r.DamageShare() <= 1.0);
        const hvdv_scan::FrameVerdict v = tracker.Add(r);
        Require(v.recording >= 1 && v.recording <= frames);
        const std::string json = hvdv_scan::JsonRecord(r, v), csv = hvdv_scan::CsvRecord(r, v);
        Require(json.find('\n') == std::string::npos && csv.find('\n') == std::string::npos);
    }
    // Every byte from the first frame on is handed on.
    Require(source->Error().empty() && (frames == 0 || bytes == file.size()));
    return 0;
}
