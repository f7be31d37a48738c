// The per-frame records of a scan as text: JSON lines and CSV rows.
#pragma once
#include <string>

#include "records.h"

namespace hvdv_scan {

// text as a JSON string literal, quotes included.
std::string JsonString(const std::string& text);

// One frame as a JSON object on one line (absent values are null).
std::string JsonRecord(const FrameRecord& r, const FrameVerdict& v);

// The closing summary of a scan as a JSON object on one line, without the
// {"summary": ...} around it.
std::string JsonSummary(const RecordingTracker& tracker);

// The CSV header line (no line end) and one frame as a CSV row.
extern const char kCsvHeader[];
std::string CsvRecord(const FrameRecord& r, const FrameVerdict& v);

}  // namespace hvdv_scan
