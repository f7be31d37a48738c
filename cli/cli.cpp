#include "cli.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "format/profile.h"

#if defined(_WIN32)
#include <io.h>
#define HVDV_STDERR_IS_TERMINAL() (_isatty(2) != 0)
#else
#include <unistd.h>
#define HVDV_STDERR_IS_TERMINAL() (isatty(STDERR_FILENO) != 0)
#endif

namespace hvdv_cli {

std::vector<Command>& Commands() {
    static std::vector<Command> commands;
    return commands;
}

RegisterCommand::RegisterCommand(const char* name, const char* summary, CommandFn run) {
    std::vector<Command>& commands = Commands();
    commands.push_back({name, summary, run});
    std::sort(commands.begin(), commands.end(),
              [](const Command& a, const Command& b) { return std::strcmp(a.name, b.name) < 0; });
}

bool Arguments::Next(std::string* arg, bool* option) {
    for (; next_ < argc_; ++next_) {
        const std::string a = argv_[next_];
        if (options_ && a == "--") {
            options_ = false;
            continue;
        }
        ++next_;
        *option = options_ && a.size() > 1 && a[0] == '-';
        *arg = a;
        return true;
    }
    return false;
}

bool Arguments::Value(std::string* value) {
    if (next_ >= argc_) return false;
    *value = argv_[next_++];
    return true;
}

void PrintError(const std::string& command, const std::string& message) {
    std::fprintf(stderr, "hvdv %s: %s\n", command.c_str(), message.c_str());
}

ProgressLine::ProgressLine() : terminal_(HVDV_STDERR_IS_TERMINAL()), start_(std::chrono::steady_clock::now()) {}

bool ProgressLine::Due() {
    if (!terminal_) return false;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(250)) return false;
    last_ = now;
    return true;
}

void ProgressLine::Show(const std::string& text) {
    std::fprintf(stderr, "\r%s  ", text.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressLine::Clear() {
    if (drawn_) std::fprintf(stderr, "\r%78s\r", "");
    drawn_ = false;
}

double ProgressLine::Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

InputFile::~InputFile() {
    if (file_) std::fclose(static_cast<FILE*>(file_));
}

bool InputFile::Open(const std::string& path, std::string* error) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        *error = std::strerror(errno);
        return false;
    }
    file_ = f;
    // Seek-and-tell on 64-bit offsets where the platform has them.
#if defined(_WIN32)
    const bool sized = _fseeki64(f, 0, SEEK_END) == 0;
    const int64_t end = sized ? _ftelli64(f) : -1;
#else
    const bool sized = fseeko(f, 0, SEEK_END) == 0;
    const int64_t end = sized ? int64_t(ftello(f)) : -1;
#endif
    if (end < 0) {
        *error = "cannot find the file's size (not a regular file?)";
        return false;
    }
    size_ = uint64_t(end);
    return true;
}

std::vector<uint8_t> InputFile::Read(uint64_t offset, size_t count) {
    std::vector<uint8_t> bytes;
    FILE* f = static_cast<FILE*>(file_);
    if (!f || offset >= size_) return bytes;
    count = size_t(std::min<uint64_t>(count, size_ - offset));
#if defined(_WIN32)
    if (_fseeki64(f, int64_t(offset), SEEK_SET) != 0) return bytes;
#else
    if (fseeko(f, off_t(offset), SEEK_SET) != 0) return bytes;
#endif
    bytes.resize(count);
    bytes.resize(std::fread(bytes.data(), 1, count, f));
    return bytes;
}

std::string FormatName(int32_t formatCode, uint32_t frameType) {
    switch (formatCode) {
        case 1:
        case 2:
            if (frameType & hvdv::kFrame525) return "DV 25 Mb/s 525/60 4:1:1";
            return (frameType & hvdv::kFrame411) ? "DV 25 Mb/s 625/50 4:1:1" : "DV 25 Mb/s 625/50 4:2:0";
        case 3: return (frameType & hvdv::kFrame525) ? "DV 50 Mb/s 525/60 4:2:2" : "DV 50 Mb/s 625/50 4:2:2";
        case 4: return "DVCPRO HD 720p";
        case 5: return "DVCPRO HD 1080i";
        default: return "unknown DV format";
    }
}

}  // namespace hvdv_cli
