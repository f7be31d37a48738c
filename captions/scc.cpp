// SCC text and SMPTE timecode.
#include "scc.h"

#include <cstdio>

namespace hvdv_cc {

namespace {

// Two decimal digits at text[at]; -1 otherwise.
int TwoDigits(const std::string& text, size_t at) {
    if (at + 2 > text.size()) return -1;
    const char a = text[at], b = text[at + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9') return -1;
    return (a - '0') * 10 + (b - '0');
}

constexpr int64_t kDropFramesPerMinute = 30 * 60 - 2;           // 1798
constexpr int64_t kDropFramesPerTenMinutes = 10 * 1798 + 2;     // 17982

}  // namespace

bool ParseTimecode(const std::string& text, int rate, Timecode* tc) {
    if (text.size() != 11 || text[2] != ':' || text[5] != ':') return false;
    const char sep = text[8];
    if (sep != ':' && sep != ';' && sep != '.' && sep != ',') return false;
    Timecode t;
    t.hours = TwoDigits(text, 0);
    t.minutes = TwoDigits(text, 3);
    t.seconds = TwoDigits(text, 6);
    t.frames = TwoDigits(text, 9);
    t.dropFrame = sep != ':';
    if (t.hours < 0 || t.hours > 23 || t.minutes < 0 || t.minutes > 59 || t.seconds < 0 || t.seconds > 59 ||
        t.frames < 0 || t.frames >= rate)
        return false;
    if (t.dropFrame && (rate != 30 || (t.seconds == 0 && t.frames < 2 && t.minutes % 10 != 0))) return false;
    *tc = t;
    return true;
}

std::string TimecodeText(const Timecode& tc) {
    char s[16];
    std::snprintf(s, sizeof s, "%02d:%02d:%02d%c%02d", tc.hours % 100, tc.minutes % 100, tc.seconds % 100,
                  tc.dropFrame ? ';' : ':', tc.frames % 100);
    return s;
}

int64_t TimecodeFrames(const Timecode& tc, int rate) {
    const int64_t minutes = int64_t(tc.hours) * 60 + tc.minutes;
    int64_t n = (minutes * 60 + tc.seconds) * rate + tc.frames;
    // Drop-frame: two frame numbers skipped each minute but every tenth.
    if (tc.dropFrame && rate == 30) n -= 2 * (minutes - minutes / 10);
    return n;
}

Timecode FramesTimecode(int64_t frames, int rate, bool dropFrame) {
    dropFrame = dropFrame && rate == 30;
    const int64_t day = dropFrame ? 24 * 6 * kDropFramesPerTenMinutes : int64_t(24) * 3600 * rate;
    int64_t n = ((frames % day) + day) % day;
    if (dropFrame) {
        const int64_t tens = n / kDropFramesPerTenMinutes, rest = n % kDropFramesPerTenMinutes;
        // The first minute of ten keeps every number; the others skip 0 and 1.
        n += 18 * tens + (rest < 2 ? 0 : 2 * ((rest - 2) / kDropFramesPerMinute));
    }
    Timecode tc;
    tc.dropFrame = dropFrame;
    tc.frames = int(n % rate);
    n /= rate;
    tc.seconds = int(n % 60);
    n /= 60;
    tc.minutes = int(n % 60);
    tc.hours = int(n / 60);
    return tc;
}

SccWriter::SccWriter() : text_("Scenarist_SCC V1.0\n\n") {}

void SccWriter::Add(const Timecode& tc, uint8_t byte1, uint8_t byte2) {
    if (byte1 == 0x80 && byte2 == 0x80) {
        if (inRun_) text_ += "\n\n";
        inRun_ = false;
        return;
    }
    char word[8];
    std::snprintf(word, sizeof word, "%02x%02x", byte1, byte2);
    if (inRun_) {
        text_ += ' ';
    } else {
        text_ += TimecodeText(tc) + '\t';
        inRun_ = true;
        ++lines_;
    }
    text_ += word;
}

// Any text: a clear error, never a fault.
bool ParseScc(const std::string& text, std::vector<SccLine>* lines, std::string* error) {
    lines->clear();
    size_t at = 0;
    int number = 0;
    bool header = false;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!header) {
            if (line != "Scenarist_SCC V1.0") {
                *error = "line 1: not an SCC file (no \"Scenarist_SCC V1.0\")";
                return false;
            }
            header = true;
            continue;
        }
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        SccLine l;
        if (!ParseTimecode(line.substr(0, 11), 30, &l.timecode)) {
            *error = "line " + std::to_string(number) + ": no timecode";
            return false;
        }
        size_t p = 11;
        while (p < line.size()) {
            while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) ++p;
            if (p == line.size()) break;
            uint16_t w = 0;
            int digits = 0;
            for (; p < line.size() && line[p] != ' ' && line[p] != '\t'; ++p, ++digits) {
                const char c = line[p];
                const int v = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
                if (v < 0 || digits >= 4) {
                    *error = "line " + std::to_string(number) + ": not a four-digit hex word";
                    return false;
                }
                w = uint16_t(w << 4 | v);
            }
            if (digits != 4) {
                *error = "line " + std::to_string(number) + ": not a four-digit hex word";
                return false;
            }
            l.words.push_back(w);
        }
        lines->push_back(l);
    }
    if (!header) {
        *error = "empty: not an SCC file";
        return false;
    }
    return true;
}

}  // namespace hvdv_cc
