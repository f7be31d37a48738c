// The compiled half of the Python package hvdv (imported as hvdv._hvdv):
// frame sources, decoders, metadata, block status, scan records and merges
// over the public hvdv.h calls and the input/, scan/ and merge/ modules.
// The pure Python half (hvdv/*.py) gives them their documented shape.
//
// Every call that reads a file or decodes releases the GIL.  Nothing from
// Python is trusted: buffers are taken through the buffer protocol as they
// are, wrong types raise TypeError (pybind11), library failures raise the
// hvdv.Error subclass named for their result code (hvdv/errors.py).
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hvdv.h"
#include "records.h"
#include "merge_run.h"
#include "scan_text.h"
#include "source.h"
#include "source_detail.h"

namespace py = pybind11;

namespace {

// Result code of failures that are not the library's: a file that cannot be
// opened or read (hvdv.InputError).
constexpr int kInputFailure = 1;

// A failed call, raised in Python as the hvdv.Error subclass of its code.
struct LibraryError {
    int code;
    std::string message;
};

[[noreturn]] void Fail(int code, const std::string& context = std::string()) {
    const std::string text = hvdv_strerror(code);
    throw LibraryError{code, context.empty() ? text : context + ": " + text};
}

// A read-only view of any contiguous Python buffer (bytes, bytearray,
// memoryview, numpy array), held for the duration of a call so that the
// bytes stay put while the GIL is released.
class Bytes {
public:
    explicit Bytes(const py::object& object) {
        if (PyObject_GetBuffer(object.ptr(), &view_, PyBUF_SIMPLE) != 0) throw py::error_already_set();
    }
    ~Bytes() { PyBuffer_Release(&view_); }
    Bytes(const Bytes&) = delete;
    Bytes& operator=(const Bytes&) = delete;
    const uint8_t* data() const { return static_cast<const uint8_t*>(view_.buf); }
    size_t size() const { return size_t(view_.len); }

private:
    Py_buffer view_{};
};

// Text for Python: the library's is ASCII, but file names and container
// tags may be any bytes.
py::str Text(const std::string& text) {
    PyObject* s = PyUnicode_DecodeUTF8(text.data(), py::ssize_t(text.size()), "replace");
    if (!s) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(s);
}

hvdv_frame_info Probe(const Bytes& frame) {
    hvdv_frame_info info{};
    info.size = sizeof info;
    const int r = hvdv_probe_frame(frame.data(), frame.size(), &info);
    if (r != HVDV_OK) Fail(r);
    return info;
}

py::dict InfoDict(const hvdv_frame_info& info) {
    py::dict d;
    d["kind"] = int(info.kind);
    d["kind_name"] = hvdv_scan::KindName(info.kind);
    d["lines"] = info.lines;
    d["frame_bytes"] = info.frame_bytes;
    d["chroma"] = int(info.chroma);
    d["coded_width"] = info.coded_width;
    d["coded_height"] = info.coded_height;
    d["display_width"] = info.display_width;
    d["chroma_width"] = info.chroma_width;
    d["chroma_height"] = info.chroma_height;
    d["rate_num"] = info.rate_num;
    d["rate_den"] = info.rate_den;
    d["interlaced"] = bool(info.interlaced);
    d["wide"] = bool(info.wide);
    d["sources"] = info.sources;
    d["conflicts"] = info.conflicts;
    return d;
}

// The damage of one decode, copied out of the decoder (its map is valid
// only until the decoder's next frame).
struct DamageCopy {
    int result = 0;
    std::vector<hvdv_macroblock> macroblocks;
    hvdv_damage summary{};
};

void KeepDamage(int result, const hvdv_damage& damage, DamageCopy* out) {
    out->result = result;
    out->summary = damage;
    out->summary.macroblocks = nullptr;
    out->macroblocks.assign(damage.macroblocks, damage.macroblocks + (damage.macroblocks ? damage.macroblock_count : 0));
}

py::tuple DamageTuple(const DamageCopy& d) {
    const hvdv_damage& s = d.summary;
    py::list sta, sequences;
    for (uint32_t v : s.sta_counts) sta.append(v);
    for (uint32_t i = 0; i < std::min<uint32_t>(s.sequence_count, HVDV_MAX_SEQUENCES); ++i)
        sequences.append(s.sequence_damaged[i]);
    static_assert(sizeof(hvdv_macroblock) == 8, "the Python dtype of a macroblock is 8 bytes");
    py::bytes map(reinterpret_cast<const char*>(d.macroblocks.data()), d.macroblocks.size() * sizeof(hvdv_macroblock));
    return py::make_tuple(map, s.damaged, s.filled, s.untouched, sta, sequences);
}

uint32_t FourccOf(const std::string& name) {
    if (name.size() != 4) throw py::value_error("a packed format is four characters, e.g. \"UYVY\"; got \"" + name + "\"");
    return uint32_t(uint8_t(name[0])) | uint32_t(uint8_t(name[1])) << 8 | uint32_t(uint8_t(name[2])) << 16 |
           uint32_t(uint8_t(name[3])) << 24;
}

// Bytes a pixel of a packed format (0: not one of hv_dec_dv's).
int PixelBytes(const std::string& name) {
    static const char* const k2[] = {"UYVY", "UyVy", "YUY2", "YUYV", "YuYv", "R565", "R555"};
    static const char* const k3[] = {"BGR3", "R24C"};
    static const char* const k4[] = {"VUYA", "BGR4", "BGRA", "R32C"};
    for (const char* n : k2) if (name == n) return 2;
    for (const char* n : k3) if (name == n) return 3;
    for (const char* n : k4) if (name == n) return 4;
    return 0;
}

// One hvdv_decoder, usable from any Python thread; calls on one decoder
// wait for each other (the library wants one caller at a time).
class Decoder {
public:
    Decoder(uint32_t threads, bool simd) {
        hvdv_decoder_config config{};
        config.size = sizeof config;
        config.threads = threads;
        config.cpu_mask = simd ? 0 : 1;
        const int r = hvdv_decoder_create(&config, &decoder_);
        if (r != HVDV_OK) Fail(r, "cannot make a decoder");
        pcm_.resize(size_t(HVDV_MAX_AUDIO_CHANNELS) * HVDV_MAX_AUDIO_SAMPLES);
    }
    ~Decoder() { Close(); }

    void Close() {
        std::lock_guard<std::mutex> lock(mutex_);
        hvdv_decoder_destroy(decoder_);
        decoder_ = nullptr;
    }

    // Three planes at the coded sampling (half: each halved); previous: the
    // planes of an earlier picture of the same size, copied, whose samples
    // the damaged macroblocks keep.
    py::tuple Planes(const py::object& frameObject, bool half, const py::object& previous, bool swapFields) {
        Bytes frame(frameObject);
        const hvdv_frame_info info = Probe(frame);
        const uint32_t div = half ? 2 : 1;
        const py::ssize_t heights[3] = {info.coded_height / div, info.chroma_height / div, info.chroma_height / div};
        const py::ssize_t widths[3] = {info.coded_width / div, info.chroma_width / div, info.chroma_width / div};
        py::array_t<uint8_t> planes[3];
        for (int p = 0; p < 3; ++p) planes[p] = py::array_t<uint8_t>({heights[p], widths[p]});
        uint32_t flags = (half ? HVDV_DECODE_HALF : 0) | (swapFields ? HVDV_DECODE_SWAP_FIELDS : 0);
        if (!previous.is_none()) {
            py::sequence old = previous.cast<py::sequence>();
            if (old.size() != 3) throw py::value_error("previous: three planes (Y, Cb, Cr) expected");
            for (int p = 0; p < 3; ++p) {
                auto plane = py::array_t<uint8_t, py::array::c_style>::ensure(old[size_t(p)]);
                if (!plane || plane.ndim() != 2 || plane.shape(0) != heights[p] || plane.shape(1) != widths[p])
                    throw py::value_error("previous: plane " + std::to_string(p) + " is not a " +
                                          std::to_string(heights[p]) + " x " + std::to_string(widths[p]) +
                                          " uint8 array (the frame's planes" + (half ? " at half size)" : ")"));
                std::memcpy(planes[p].mutable_data(), plane.data(), size_t(heights[p] * widths[p]));
            }
            flags |= HVDV_DECODE_KEEP_DAMAGED;
        }
        hvdv_picture picture{};
        picture.size = sizeof picture;
        picture.format = HVDV_FORMAT_PLANAR;
        for (int p = 0; p < 3; ++p) {
            picture.data[p] = planes[p].mutable_data();
            picture.pitch[p] = int32_t(widths[p]);
        }
        DamageCopy damage;
        {
            py::gil_scoped_release release;
            Decode(frame, picture, flags, &damage);
        }
        if (damage.result != HVDV_OK) Fail(damage.result);
        return py::make_tuple(planes[0], planes[1], planes[2], DamageTuple(damage));
    }

    // A packed picture of width x height pixels (0: the frame's full size,
    // or its half); rgb: "BGR3" with red and blue exchanged.
    py::tuple Packed(const py::object& frameObject, const std::string& name, uint32_t width, uint32_t height,
                     bool half, bool codedWidth, bool ignoreWide, bool swapFields) {
        const bool rgb = name == "rgb";
        const std::string fourcc = rgb ? "BGR3" : name;
        const int bytes = PixelBytes(fourcc);
        if (!bytes) throw py::value_error("unknown output format \"" + name + "\"");
        Bytes frame(frameObject);
        const hvdv_frame_info info = Probe(frame);
        const uint32_t div = half ? 2 : 1;
        if (!width) width = (info.kind >= HVDV_KIND_HD_1080I60 && !codedWidth ? info.display_width : info.coded_width) / div;
        if (!height) height = info.coded_height / div;
        if (width > 4096 || height > 4096) throw py::value_error("picture size out of range");
        const bool words = fourcc == "R565" || fourcc == "R555";
        py::array out = words ? py::array(py::array_t<uint16_t>({py::ssize_t(height), py::ssize_t(width)}))
                              : py::array(py::array_t<uint8_t>({py::ssize_t(height), py::ssize_t(width), py::ssize_t(bytes)}));
        // A squeezed 16:9 picture leaves rows unwritten: they stay black, 0.
        std::memset(out.mutable_data(), 0, size_t(out.nbytes()));
        hvdv_picture picture{};
        picture.size = sizeof picture;
        picture.format = FourccOf(fourcc);
        picture.data[0] = static_cast<uint8_t*>(out.mutable_data());
        picture.pitch[0] = int32_t(width * uint32_t(bytes));
        picture.width = width;
        picture.height = height;
        const uint32_t flags = (ignoreWide ? HVDV_DECODE_IGNORE_WIDE : 0) | (swapFields ? HVDV_DECODE_SWAP_FIELDS : 0);
        DamageCopy damage;
        {
            py::gil_scoped_release release;
            Decode(frame, picture, flags, &damage);
            if (rgb && damage.result == HVDV_OK) {
                uint8_t* p = picture.data[0];
                for (size_t i = 0, n = size_t(width) * height; i < n; ++i, p += 3) std::swap(p[0], p[2]);
            }
        }
        if (damage.result != HVDV_OK) Fail(damage.result);
        return py::make_tuple(out, DamageTuple(damage));
    }

    // Every channel as int16, shape (samples, channels), and the audio facts.
    py::tuple Audio(const py::object& frameObject, bool holdErrors) {
        Bytes frame(frameObject);
        hvdv_audio_info info{};
        info.size = sizeof info;
        int r;
        {
            py::gil_scoped_release release;
            std::lock_guard<std::mutex> lock(mutex_);
            if (!decoder_) throw LibraryError{HVDV_ERROR_ARGUMENT, "the decoder is closed"};
            r = hvdv_decode_audio(decoder_, frame.data(), frame.size(), pcm_.data(), pcm_.size(),
                                  holdErrors ? HVDV_AUDIO_HOLD_ERRORS : 0, &info);
        }
        if (r != HVDV_OK) Fail(r);
        py::array_t<int16_t> pcm({py::ssize_t(info.samples), py::ssize_t(info.channels)});
        std::memcpy(pcm.mutable_data(), pcm_.data(), size_t(info.samples) * info.channels * sizeof(int16_t));
        py::list positions;
        for (uint32_t i = 0; i < std::min<uint32_t>(info.error_samples, HVDV_AUDIO_ERROR_POSITIONS); ++i)
            positions.append(info.error_positions[i]);
        py::dict d;
        d["rate"] = info.sample_rate;
        d["bits"] = info.bits;
        d["channels"] = info.channels;
        d["samples"] = info.samples;
        d["locked"] = bool(info.locked);
        d["emphasis"] = bool(info.emphasis);
        d["mode_changed"] = bool(info.mode_changed);
        d["error_samples"] = info.error_samples;
        d["error_positions"] = positions;
        d["missing_blocks"] = info.missing_blocks;
        return py::make_tuple(pcm, d);
    }

private:
    // Called without the GIL.
    void Decode(const Bytes& frame, const hvdv_picture& picture, uint32_t flags, DamageCopy* out) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!decoder_) {
            out->result = HVDV_ERROR_ARGUMENT;
            throw LibraryError{HVDV_ERROR_ARGUMENT, "the decoder is closed"};
        }
        hvdv_damage damage{};
        damage.size = sizeof damage;
        const int r = hvdv_decode_video(decoder_, frame.data(), frame.size(), &picture, flags, nullptr, &damage);
        KeepDamage(r, damage, out);
    }

    std::mutex mutex_;
    hvdv_decoder* decoder_ = nullptr;
    std::vector<int16_t> pcm_;
};

// Frames of a file as stored: raw DV, or a container's DV track.
class Source {
public:
    explicit Source(const std::string& path) : path_(path) {
        std::string error;
        {
            py::gil_scoped_release release;
            source_ = hvdv_input::OpenFrameSource(path, &error);
        }
        if (!source_) throw LibraryError{kInputFailure, path + ": " + error};
    }

    // (index, offset or -1, bytes), or None at the end; InputError when the
    // input fails part way.
    py::object Next() {
        bool got;
        std::string error;
        {
            py::gil_scoped_release release;
            std::lock_guard<std::mutex> lock(mutex_);
            got = source_->Next(&frame_);
            if (!got) error = source_->Error();
        }
        if (!got) {
            if (!error.empty()) throw LibraryError{kInputFailure, path_ + ": " + error};
            return py::none();
        }
        return py::make_tuple(frame_.index, frame_.offset,
                              py::bytes(reinterpret_cast<const char*>(frame_.bytes.data()), frame_.bytes.size()));
    }

    py::dict Facts() const {
        const hvdv_input::ContainerFacts& f = source_->Facts();
        py::dict d;
        d["format"] = Text(f.format);
        d["codec_tag"] = Text(f.codecTag);
        d["rate"] = f.rateNumerator ? py::object(py::make_tuple(f.rateNumerator, f.rateDenominator)) : py::none();
        d["aspect"] = f.aspectNumerator ? py::object(py::make_tuple(f.aspectNumerator, f.aspectDenominator)) : py::none();
        d["timecode"] = f.timecode.empty() ? py::object(py::none()) : py::object(Text(f.timecode));
        d["frames"] = f.frames >= 0 ? py::object(py::int_(f.frames)) : py::none();
        d["separate_audio"] = f.separateAudio;
        return d;
    }

private:
    std::string path_;
    std::mutex mutex_;  // one Python thread at a time reads
    std::unique_ptr<hvdv_input::FrameSource> source_;
    hvdv_input::SourceFrame frame_;
};

// The records of "hvdv scan --json", one JSON line a frame, then the summary.
class Scanner {
public:
    explicit Scanner(const std::string& path) : path_(path), reader_(true) {
        std::string error;
        {
            py::gil_scoped_release release;
            source_ = hvdv_scan::OpenReading(path, reader_, &error);
        }
        if (!source_) throw LibraryError{kInputFailure, path + ": " + error};
    }

    // The next record as a JSON line; None at the end.
    py::object Next() {
        std::string line, error;
        uint64_t frames;
        {
            py::gil_scoped_release release;
            std::lock_guard<std::mutex> lock(mutex_);
            if (source_->Next(&frame_)) {
                reader_.Read(frame_.bytes.data(), frame_.bytes.size(), frame_.index, frame_.offset, &record_);
                line = hvdv_scan::JsonRecord(record_, tracker_.Add(record_));
            } else {
                error = source_->Error();
            }
            frames = tracker_.frames;
        }
        if (!line.empty()) return Text(line);
        if (!error.empty()) throw LibraryError{kInputFailure, path_ + ": frame " + std::to_string(frames) + ": " + error};
        if (frames == 0) throw LibraryError{kInputFailure, path_ + ": no DV frame"};
        return py::none();
    }

    // The closing summary as the tool prints it (a JSON object).
    py::object Summary() const { return Text(hvdv_scan::JsonSummary(tracker_)); }

private:
    std::string path_;
    std::mutex mutex_;  // one Python thread at a time reads
    hvdv_scan::FrameReader reader_;
    std::unique_ptr<hvdv_input::FrameSource> source_;
    hvdv_scan::RecordingTracker tracker_;
    hvdv_input::SourceFrame frame_;
    hvdv_scan::FrameRecord record_;
};

// The scan record of one frame on its own (as the first frame of a scan),
// from a reader kept per thread: its decoder is used by one thread only.
py::str FrameRecordJson(const py::object& frameObject, uint64_t index, int64_t offset) {
    Bytes frame(frameObject);
    std::string line;
    {
        py::gil_scoped_release release;
        thread_local hvdv_scan::FrameReader reader(false);
        std::string error;
        if (!reader.Ready(&error)) throw LibraryError{HVDV_ERROR_NO_MEMORY, error};
        hvdv_scan::FrameRecord record;
        reader.Read(frame.data(), frame.size(), index, offset, &record);
        hvdv_scan::RecordingTracker tracker;
        line = hvdv_scan::JsonRecord(record, tracker.Add(record));
    }
    return Text(line);
}

// What the scan records leave out: captions, camera, copy control, sources.
py::dict Metadata(const py::object& frameObject) {
    Bytes frame(frameObject);
    hvdv_metadata m{};
    m.size = sizeof m;
    const int r = hvdv_read_metadata(frame.data(), frame.size(), &m);
    if (r != HVDV_OK) Fail(r);
    py::dict d;
    d["present"] = m.present;
    d["tc_drop_frame"] = bool(m.tc_drop_frame);
    d["tc_copies"] = m.tc_copies;
    d["tc_disagreeing"] = m.tc_disagreeing;
    d["rec"] = py::make_tuple(m.rec_year, m.rec_month, m.rec_day, m.rec_hours, m.rec_minutes, m.rec_seconds,
                              m.rec_frames);
    d["rec_from_subcode"] = bool(m.rec_from_subcode);
    d["interlaced"] = bool(m.interlaced);
    d["cgms"] = m.cgms;
    py::list captions;
    for (uint32_t i = 0; i < std::min<uint32_t>(m.caption_count, 4); ++i)
        captions.append(py::bytes(reinterpret_cast<const char*>(m.captions[i]), 5));
    d["captions"] = captions;
    const hvdv_camera& c = m.camera;
    py::dict camera;
    camera["present"] = c.present;
    py::dict packs;
    for (int t = 0; t < 16; ++t)
        if (c.packs_present & (1u << t)) packs[py::int_(0x70 + t)] = py::bytes(reinterpret_cast<const char*>(c.packs[t]), 5);
    camera["packs"] = packs;
    camera["iris_code"] = c.iris_code;
    camera["f_number_tenths"] = c.f_number_tenths;
    camera["exposure_mode"] = c.exposure_mode;
    camera["gain"] = c.gain;
    camera["white_balance_mode"] = c.white_balance_mode;
    camera["white_balance"] = c.white_balance;
    camera["shutter"] = c.shutter;
    d["camera"] = camera;
    return d;
}

// The state of every DIF block (hvdv_block records as bytes) and the
// frame's totals.
py::tuple BlockStatus(const py::object& frameObject) {
    Bytes frame(frameObject);
    std::vector<hvdv_block> blocks;
    hvdv_block_summary summary{};
    summary.size = sizeof summary;
    int r;
    {
        py::gil_scoped_release release;
        r = hvdv_block_status(frame.data(), frame.size(), nullptr, 0, &summary);
        if (r == HVDV_OK) {
            blocks.resize(summary.block_count);
            r = hvdv_block_status(frame.data(), frame.size(), blocks.data(), blocks.size(), &summary);
        }
    }
    if (r != HVDV_OK) Fail(r);
    static_assert(sizeof(hvdv_block) == 8, "the Python dtype of a block is 8 bytes");
    py::bytes table(reinterpret_cast<const char*>(blocks.data()), blocks.size() * sizeof(hvdv_block));
    py::dict d;
    d["block_count"] = summary.block_count;
    py::list damaged;
    for (uint32_t v : summary.damaged) damaged.append(v);
    d["damaged"] = damaged;
    d["audio_error_samples"] = summary.audio_error_samples;
    d["audio_bits"] = summary.audio_bits;
    return py::make_tuple(table, d);
}

py::dict Captions(const py::object& frameObject) {
    Bytes frame(frameObject);
    hvdv_captions c{};
    c.size = sizeof c;
    const int r = hvdv_read_captions(frame.data(), frame.size(), &c);
    if (r != HVDV_OK) Fail(r);
    py::dict d;
    d["present"] = bool(c.present);
    d["field1"] = py::bytes(reinterpret_cast<const char*>(c.field1), 2);
    d["field2"] = py::bytes(reinterpret_cast<const char*>(c.field2), 2);
    d["parity_errors"] = c.parity_errors;
    d["copies"] = c.copies;
    d["field1_disagreeing"] = c.field1_disagreeing;
    d["field2_disagreeing"] = c.field2_disagreeing;
    return d;
}

// The merge of hvdv merge (merge/merge_run.h), its summary as a dict.
py::dict Merge(const std::vector<std::string>& inputs, const std::string& output, const std::string& report,
               bool force, size_t window) {
    hvdv_merge::RunOptions options;
    options.inputs = inputs;
    options.output = output;
    options.report = report;
    options.force = force;
    options.window = window;
    hvdv_merge::RunSummary t;
    std::string error;
    hvdv_merge::RunResult result;
    {
        py::gil_scoped_release release;
        result = hvdv_merge::Run(options, &t, &error);
    }
    if (result == hvdv_merge::RunResult::kArgument) throw LibraryError{HVDV_ERROR_ARGUMENT, error};
    if (result != hvdv_merge::RunResult::kDone) throw LibraryError{kInputFailure, error};
    py::dict d;
    d["frames"] = t.frames;
    d["single"] = t.single;
    d["missing"] = t.missing;
    d["repaired"] = t.repaired;
    d["damaged_blocks"] = t.damagedBlocks;
    d["damaged_frames"] = t.damagedFrames;
    d["audio_error_samples_before"] = t.audioCounted ? py::object(py::int_(t.audioBefore)) : py::none();
    d["audio_error_samples_after"] = t.audioCounted ? py::object(py::int_(t.audioAfter)) : py::none();
    d["warning"] = t.warning.empty() ? py::object(py::none()) : py::object(Text(t.warning));
    py::list leftOut, repeats;
    for (size_t i = 0; i < inputs.size(); ++i) {
        leftOut.append(t.leftOut[i].empty() ? py::object(py::none()) : py::object(Text(t.leftOut[i])));
        repeats.append(t.repeats[i]);
    }
    d["left_out"] = leftOut;
    d["repeats"] = repeats;
    return d;
}

bool LooksLikeDv(const py::object& headObject) {
    Bytes head(headObject);
    return hvdv_input::FrameStartAt(head.data(), head.size(), true) != hvdv_input::FrameStart::kNone;
}

}  // namespace

PYBIND11_MODULE(_hvdv, m) {
    m.doc() = "hvdv's compiled core; use the package hvdv.";

    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const LibraryError& e) {
            py::object cls = py::module_::import("hvdv.errors").attr("error_class")(e.code);
            PyErr_SetObject(cls.ptr(), py::make_tuple(Text(e.message), e.code).ptr());
        }
    });

    m.attr("INPUT_FAILURE") = kInputFailure;
    m.attr("CONTAINERS") = hvdv_input::ContainersSupported();
    m.def("strerror", [](int code) { return std::string(hvdv_strerror(code)); });
    m.def("version", []() { return std::string(hvdv_version_string()); });
    m.def("probe", [](const py::object& frame) { return InfoDict(Probe(Bytes(frame))); });
    m.def("metadata", &Metadata);
    m.def("frame_record", &FrameRecordJson, py::arg("frame"), py::arg("index"), py::arg("offset"));
    m.def("looks_like_dv", &LooksLikeDv);
    m.def("block_status", &BlockStatus, py::arg("frame"));
    m.def("captions", &Captions, py::arg("frame"));
    m.def("merge", &Merge, py::arg("inputs"), py::arg("output"), py::arg("report"), py::arg("force"),
          py::arg("window"));

    py::class_<Decoder>(m, "Decoder")
        .def(py::init<uint32_t, bool>(), py::arg("threads"), py::arg("simd"))
        .def("close", &Decoder::Close)
        .def("planes", &Decoder::Planes, py::arg("frame"), py::arg("half"), py::arg("previous"), py::arg("swap_fields"))
        .def("packed", &Decoder::Packed, py::arg("frame"), py::arg("format"), py::arg("width"), py::arg("height"),
             py::arg("half"), py::arg("coded_width"), py::arg("ignore_wide"), py::arg("swap_fields"))
        .def("audio", &Decoder::Audio, py::arg("frame"), py::arg("hold_errors"));

    py::class_<Source>(m, "Source")
        .def(py::init<const std::string&>(), py::arg("path"))
        .def("next", &Source::Next)
        .def("facts", &Source::Facts);

    py::class_<Scanner>(m, "Scanner")
        .def(py::init<const std::string&>(), py::arg("path"))
        .def("next", &Scanner::Next)
        .def("summary", &Scanner::Summary);
}
