// Frame sources: raw DV read as a stream, cut into frames by the DIF
// structure; containers through libavformat (source_container.cpp).
#include "source.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "hvdv.h"
#include "source_detail.h"

namespace hvdv_input {
namespace {

// The largest frame (1080 lines at 50 fields: 4 channels of 12 sequences of
// 150 blocks) and the blocks read at a frame's start to recognise it.
constexpr size_t kLargestFrame = 576000;
constexpr size_t kStartBytes = 240;
// Frame sizes of the DV kinds with header blocks (150 blocks a sequence),
// then without (149): 25 Mb/s 525 and 625, 50 Mb/s, 1080 lines.
constexpr uint32_t kFrameSizes[] = {120000, 144000, 240000, 288000, 480000, 576000,
                                    119200, 143040, 238400, 286080, 476800, 572160};

// A DIF block's ID: section type in bits 7-5 of byte 0; byte 1 holds the
// DIF sequence (bits 7-4), then FSC and FSP, which name the channel (channel
// 0 is FSC 0, FSP 1; at 25 Mb/s both are fixed that way; channel 2, FSC 0
// FSP 0, begins the second picture of a 720-line frame) and two reserved
// ones; byte 2 numbers the block within its section.
bool IsBlock(const uint8_t* b, int section, int number, uint8_t channel) {
    return (b[0] >> 5) == section && (b[1] & 0xFC) == channel && b[2] == number;
}

}  // namespace

FrameStart FrameStartAt(const uint8_t* p, size_t available, bool secondPair) {
    // With header blocks: the header of sequence 0 of channel 0 (its byte 3
    // is DSF and seven bits fixed at 0111111), followed by the first subcode
    // block.  Without: the two subcode blocks, then the first VAUX block.
    // Three block IDs make a chance match inside compressed data negligible.
    for (uint8_t channel : {uint8_t(0x04), uint8_t(0x00)}) {
        if (channel == 0 && !secondPair) break;
        if (available >= 160 && IsBlock(p, 0, 0, channel) && (p[3] & 0x7F) == 0x3F && IsBlock(p + 80, 1, 0, channel))
            return FrameStart::kHeader;
        if (available >= kStartBytes && IsBlock(p, 1, 0, channel) && IsBlock(p + 80, 1, 1, channel) &&
            IsBlock(p + 160, 2, 0, channel))
            return FrameStart::kNoHeader;
    }
    return FrameStart::kNone;
}

bool LooksLikeContainer(const uint8_t* p, size_t n) {
    if (n >= 12 && std::memcmp(p, "RIFF", 4) == 0 && std::memcmp(p + 8, "AVI", 3) == 0) return true;
    // QuickTime / MP4: a box size, then one of the top-level box types.
    static const char* const kBoxes[] = {"ftyp", "moov", "mdat", "wide", "free", "skip", "pnot"};
    if (n >= 8)
        for (const char* box : kBoxes)
            if (std::memcmp(p + 4, box, 4) == 0) return true;
    // MXF: every file starts with a partition pack, whose key begins with
    // the SMPTE universal label prefix.
    static const uint8_t kMxfKey[] = {0x06, 0x0E, 0x2B, 0x34, 0x02, 0x05, 0x01, 0x01};
    return n >= sizeof kMxfKey && std::memcmp(p, kMxfKey, sizeof kMxfKey) == 0;
}

namespace {

// Raw DV from a file or standard input.  The input is read through a window
// of about two frames, never whole: it may be a pipe of any length.
class RawSource : public FrameSource {
public:
    ~RawSource() override {
        if (file_ && file_ != stdin) std::fclose(file_);
    }

    // Takes the file; reads the first frame's start.  False with a reason.
    bool Open(FILE* file, const std::string& name, std::string* error) {
        file_ = file;
        name_ = name;
        facts_.format = "raw DV";
        // The bytes left from here to the end when the input can seek (a
        // regular file, also as standard input).
#if defined(_WIN32)
        const int64_t here = _ftelli64(file_);
        const int64_t end = here >= 0 && _fseeki64(file_, 0, SEEK_END) == 0 ? _ftelli64(file_) : -1;
        if (here >= 0 && _fseeki64(file_, here, SEEK_SET) != 0) {
#else
        const int64_t here = ftello(file_);
        const int64_t end = here >= 0 && fseeko(file_, 0, SEEK_END) == 0 ? int64_t(ftello(file_)) : -1;
        if (here >= 0 && fseeko(file_, here, SEEK_SET) != 0) {
#endif
            *error = std::string("cannot read: ") + std::strerror(errno);
            return false;
        }
        std::clearerr(file_);
        buffer_.resize(2 * kLargestFrame + kStartBytes);
        Fill(kLargestFrame + kStartBytes);
        if (!error_.empty()) {
            *error = error_;
            return false;
        }
        const size_t available = tail_ - head_;
        if (available == 0) {
            *error = "empty input";
            return false;
        }
        const uint8_t* p = buffer_.data() + head_;
        if (FrameStartAt(p, available) == FrameStart::kNone && FrameStartAt(p, available, true) != FrameStart::kNone) {
            // The second picture of a 720-line frame (channels 2 and 3): the
            // input was cut inside a frame, whose first picture it lacks.
            // Reading starts at the next whole frame.
            const size_t next = NextStart(p, available, false);
            if (next >= available) {
                *error = "not a DV stream (it starts with the second picture of a 720p frame and holds no whole frame)";
                return false;
            }
            facts_.notice = "starts with the second picture of a 720p frame (channels 2 and 3): its " +
                            std::to_string(next) + " bytes are skipped, reading from the first whole frame";
            head_ += next;
            offset_ += next;
        }
        if (FrameStartAt(buffer_.data() + head_, tail_ - head_) == FrameStart::kNone) {
            *error = LooksLikeContainer(buffer_.data() + head_, available) && name_ == "-"
                         ? "not a DV stream (standard input is read as raw DV only)"
                         : "not a DV stream";
            return false;
        }
        const size_t first = Measure();
        if (here >= 0 && end >= here && first) {
            facts_.frames = (end - here - int64_t(offset_)) / int64_t(frameBytes_ ? frameBytes_ : first);
            facts_.framesEstimated = true;
        }
        return true;
    }

    bool Next(SourceFrame* frame) override {
        if (!error_.empty()) return false;
        Fill(kLargestFrame + kStartBytes);
        if (!error_.empty() || tail_ == head_) return false;
        const size_t n = Measure();
        frame->bytes.assign(buffer_.begin() + std::ptrdiff_t(head_), buffer_.begin() + std::ptrdiff_t(head_ + n));
        frame->index = index_++;
        frame->offset = int64_t(offset_);
        head_ += n;
        offset_ += n;
        return true;
    }

    const ContainerFacts& Facts() const override { return facts_; }
    std::string Error() const override { return error_; }

private:
    // Reads until `want` bytes are buffered from head_ or the input ends.
    void Fill(size_t want) {
        if (tail_ - head_ >= want || eof_) return;
        if (head_ + want > buffer_.size()) {
            std::memmove(buffer_.data(), buffer_.data() + head_, tail_ - head_);
            tail_ -= head_;
            head_ = 0;
        }
        while (tail_ - head_ < want && !eof_) {
            const size_t got = std::fread(buffer_.data() + tail_, 1, buffer_.size() - tail_, file_);
            tail_ += got;
            if (got == 0) {
                eof_ = true;
                if (std::ferror(file_)) error_ = std::string("read error: ") + std::strerror(errno);
            }
        }
    }

    static bool Is720(int kind) { return kind == HVDV_KIND_HD_720P60 || kind == HVDV_KIND_HD_720P50; }

    static int KindOf(const uint8_t* p, size_t n) {
        hvdv_frame_info info{};
        info.size = sizeof info;
        return hvdv_probe_frame(p, n, &info) == HVDV_OK ? int(info.kind) : 0;
    }

    // The length of the frame at head_.  A frame keeps the size of the one
    // before while its kind stays and the next frame starts where that size
    // says; otherwise the size is found again: the probe's frame size first,
    // then the one in use, then every DV frame size, each taken when a frame
    // start (or the end of the input) follows it.  Bytes that do not start a
    // frame run to the next frame start and are handed on as they are.
    size_t Measure() {
        const uint8_t* p = buffer_.data() + head_;
        const size_t available = tail_ - head_;
        // A 720-line frame's two pictures are taken one by one, as their
        // frame size says.
        bool pairs = Is720(kind_);
        const FrameStart start = FrameStartAt(p, available, pairs);
        if (start == FrameStart::kNone)
            return std::min({available, NextStart(p, available, pairs), frameBytes_ ? frameBytes_ : kLargestFrame});
        // A last frame cut short (or whole, at the end) is what is left.
        if (frameBytes_ && available <= frameBytes_ && eof_) return available;
        auto endsAt = [&](size_t size) {
            return size <= available &&
                   (size == available ? eof_ : FrameStartAt(p + size, available - size, pairs) == start);
        };
        if (frameBytes_ && start == start_ && endsAt(frameBytes_) && KindOf(p, frameBytes_) == kind_) return frameBytes_;

        hvdv_frame_info info{};
        info.size = sizeof info;
        bool probed = hvdv_probe_frame(p, std::min(available, kLargestFrame), &info) == HVDV_OK;
        // Two 720-line pictures are as long as one 1080-line frame: a window
        // holding both is ambiguous, so each frame size is tried on its own.
        for (uint32_t size : kFrameSizes) {
            if (probed) break;
            probed = size <= available && hvdv_probe_frame(p, size, &info) == HVDV_OK && info.frame_bytes == size;
        }
        if (probed) pairs = Is720(int(info.kind));
        std::vector<size_t> candidates;
        if (probed) candidates.push_back(info.frame_bytes);
        if (frameBytes_) candidates.push_back(frameBytes_);
        for (uint32_t size : kFrameSizes)
            if ((size % 12000 == 0) == (start == FrameStart::kHeader)) candidates.push_back(size);
        for (size_t size : candidates) {
            if (!endsAt(size)) continue;
            frameBytes_ = size;
            start_ = start;
            const int kind = KindOf(p, size);
            if (kind) kind_ = kind;
            return size;
        }
        // No size ends at a frame start: a frame cut short by a dropout ends
        // at the next start; otherwise its expected size is taken.
        size_t expected = probed ? info.frame_bytes : frameBytes_ ? frameBytes_ : available;
        return std::min({available, expected, NextStart(p, available, pairs)});
    }

    // Distance to the next frame start after p's first byte; past the
    // window when there is none in it.
    static size_t NextStart(const uint8_t* p, size_t available, bool pairs) {
        for (size_t i = 1; i + 160 <= available; ++i) {
            const FrameStart start = FrameStartAt(p + i, available - i, pairs);
            // The subcode blocks right after a header block are the same
            // frame's, not the start of one stored without header blocks.
            if (start == FrameStart::kHeader ||
                (start == FrameStart::kNoHeader && (i < 80 || FrameStartAt(p + i - 80, 160, pairs) != FrameStart::kHeader)))
                return i;
        }
        return available;
    }

    FILE* file_ = nullptr;
    std::string name_;
    ContainerFacts facts_;
    std::string error_;
    std::vector<uint8_t> buffer_;
    size_t head_ = 0, tail_ = 0;
    bool eof_ = false;
    uint64_t offset_ = 0;
    uint64_t index_ = 0;
    size_t frameBytes_ = 0;
    FrameStart start_ = FrameStart::kNone;
    int kind_ = 0;
};

}  // namespace

std::unique_ptr<FrameSource> OpenRawSource(FILE* file, const std::string& name, std::string* error) {
    auto source = std::make_unique<RawSource>();
    if (!source->Open(file, name, error)) return nullptr;
    return source;
}

std::unique_ptr<FrameSource> OpenFrameSource(const std::string& path, std::string* error) {
    if (path == "-") {
#if defined(_WIN32)
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        return OpenRawSource(stdin, path, error);
    }
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        *error = std::string("cannot open: ") + std::strerror(errno);
        return nullptr;
    }
    // A named pipe cannot be read twice: it is raw DV or nothing.
#if defined(_WIN32)
    const bool seekable = _fseeki64(file, 0, SEEK_CUR) == 0;
#else
    const bool seekable = fseeko(file, 0, SEEK_CUR) == 0;
#endif
    if (!seekable) return OpenRawSource(file, path, error);
    // Raw DV is recognised by its content, whatever the file is called.
    uint8_t head[kStartBytes];
    const size_t n = std::fread(head, 1, sizeof head, file);
    std::rewind(file);
    if (FrameStartAt(head, n, true) != FrameStart::kNone) return OpenRawSource(file, path, error);
    const bool container = LooksLikeContainer(head, n);
    std::fclose(file);
    if (n == 0) {
        *error = "empty input";
        return nullptr;
    }
    if (!ContainersSupported()) {
        *error = container ? "this hvdv was built without libavformat: only raw DV can be read" : "not a DV stream";
        return nullptr;
    }
    return OpenContainerSource(path, error);
}

}  // namespace hvdv_input
