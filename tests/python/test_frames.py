# hvdv.open, frames, decoders and scans against the hvdv tool's own output:
# pictures by MD5, metadata and scan records by JSON, audio by WAV.
import csv
import hashlib
import json
import random
import re
import struct
import subprocess
import sys
import threading
import time
import wave

import numpy as np
import pytest

import hvdv
import conftest
from conftest import DATA, make_damaged, tool, tool_md5s

STREAMS = ["sample_625_420.dv", "ntsc_411_detail.dv", "pal_411.dv", "dv50_625.dv", "hd_1080i50.dv",
           "hd_1080i60.dv", "hd_720p60.dv", "jj_sony_head_clog.dv", "dvrescue_cc_525.dv"]


def md5(*arrays):
    h = hashlib.md5()
    for a in arrays:
        h.update(np.ascontiguousarray(a).tobytes())
    return h.hexdigest()


def frames(path):
    with hvdv.open(path) as reader:
        return list(reader)


# name, decode() arguments, the tool's arguments for the same pictures
PICTURES = [(name, {}, []) for name in STREAMS] + [
    ("sample_625_420.dv", {"half": True}, ["--half"]),
    ("hd_1080i50.dv", {"half": True}, ["--half"]),
    ("ntsc_411_detail.dv", {"format": "UYVY"}, ["--fourcc", "UYVY"]),
    ("hd_1080i60.dv", {"format": "BGRA"}, ["--fourcc", "BGRA"]),
    ("hd_1080i60.dv", {"format": "YUY2", "coded_width": True}, ["--fourcc", "YUY2", "--coded-width"]),
    ("pal_420_wide_32k.dv", {"format": "R565", "half": True}, ["--fourcc", "R565", "--half"]),
]


@pytest.mark.parametrize("name,kwargs,args", PICTURES)
def test_pictures_match_the_tool(name, kwargs, args):
    ours = [md5(*np.atleast_3d(f.decode(**kwargs)).reshape(1, -1)) if kwargs.get("format") else md5(*f.decode(**kwargs))
            for f in frames(DATA / name)]
    assert ours == tool_md5s(DATA / name, *args)


def test_info_and_length_match_the_tool():
    described = json.loads(tool("info", "--json", *(DATA / name for name in STREAMS)))
    for name, d in zip(STREAMS, described):
        with hvdv.open(DATA / name) as reader:
            info = reader[0].info
            assert (len(reader), info.display_size, info.frame_bytes, info.interlaced) == \
                (d["frames"], (d["width"], d["height"]), d["frameBytes"], d["interlaced"]), name
            assert (info.rate, str(info.aspect).replace("/", ":")) == \
                (hvdv.frames.Fraction(d["frameRate"]["numerator"], d["frameRate"]["denominator"]),
                 d["displayAspect"]), name


def test_planes_shapes_and_rgb_order():
    f = frames(DATA / "ntsc_411_detail.dv")[0]
    y, cb, cr = f.decode()
    assert (y.shape, cb.shape, cr.shape) == ((480, 720), (480, 180), (480, 180))
    assert y.dtype == np.uint8 and f.info.chroma == "4:1:1" and f.info.rate == hvdv.frames.Fraction(30000, 1001)
    assert np.array_equal(f.decode("rgb"), f.decode("BGR3")[..., ::-1])


def test_concealment_matches_the_tool(damaged_dv):
    previous, ours = None, []
    for f in frames(damaged_dv):
        planes = f.decode()
        if f.damage.damaged and previous is not None:
            planes = f.decode(previous=previous)
            assert f.damage.untouched == f.damage.damaged
        previous = planes
        ours.append(md5(*planes))
    assert sum(f.damage.damaged > 0 for f in frames(damaged_dv)) == 3
    assert ours == tool_md5s(damaged_dv, "--conceal")


@pytest.mark.parametrize("name", STREAMS + ["meta_tc_525.dv", "meta_minute_525.dv", "pal_420_wide_32k.dv"])
def test_scan_and_metadata_match_the_tool(name):
    lines = [json.loads(line) for line in tool("scan", DATA / name, "--json").splitlines()]
    records, summary = lines[:-1], lines[-1]["summary"]
    scan = hvdv.scan(DATA / name)
    assert list(scan) == records and scan.summary == summary
    for f, record in zip(frames(DATA / name), records):
        meta = f.metadata
        recorded = meta["recorded"].isoformat() if meta["recorded"] else None
        assert (f.index, f.offset, len(f.data), recorded) == (record["frame"], record["offset"], record["bytes"],
                                                              record["recorded"])
        assert {k: meta[k] for k in ("timecode", "recStart", "repeated", "kind", "aspect", "fieldOrder", "audio")} == \
            {k: record[k] for k in ("timecode", "recStart", "repeated", "kind", "aspect", "fieldOrder", "audio")}
        assert f.damage.damaged == record["damaged"] and f.damage.sta_counts[1:] == \
            tuple(record["sta"].get("%x" % s, 0) for s in range(1, 16))


def wav_samples(path):
    """The PCM of a WAV file and its channels (WAVE_FORMAT_EXTENSIBLE too,
    which the wave module does not read)."""
    try:
        with wave.open(str(path)) as w:
            return np.frombuffer(w.readframes(w.getnframes()), "<i2").reshape(-1, w.getnchannels())
    except wave.Error:
        data, pos, channels = path.read_bytes(), 12, 0
        while pos + 8 <= len(data):
            tag, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
            if tag == b"fmt ":
                channels = struct.unpack("<H", data[pos + 10:pos + 12])[0]
            if tag == b"data":
                return np.frombuffer(data[pos + 8:pos + 8 + size], "<i2").reshape(-1, channels)
            pos += 8 + size + (size & 1)
        raise


@pytest.mark.parametrize("name", ["sample_625_420.dv", "jj_sony_head_clog.dv", "dv50_625_audio.dv",
                                  "pal_420_wide_32k.dv"])
def test_audio_matches_the_tool(name, tmp_path):
    tool("decode", DATA / name, "--audio", tmp_path / "a.wav")
    fs = frames(DATA / name)
    ours = np.concatenate([f.audio() for f in fs])
    assert ours.dtype == np.int16 and np.array_equal(ours, wav_samples(tmp_path / "a.wav"))
    assert fs[0].audio_info.channels == ours.shape[1] and fs[0].audio_info.samples == len(fs[0].audio())


@pytest.mark.parametrize("ext", ["avi", "mov", "mxf"])
def test_reader_over_containers(containers, ext):
    if ext not in containers:
        pytest.skip("ffmpeg or libavformat missing")
    raw = frames(DATA / "sample_625_420.dv")
    with hvdv.open(containers[ext]) as reader:
        assert [f.data for f in reader] == [f.data for f in raw]
        assert len(reader) == len(raw) and reader[7].data == raw[7].data and reader[2].data == raw[2].data
        assert reader.format != "raw DV" and reader[-1].index == len(raw) - 1


def test_reader_indexing_raw(tmp_path):
    raw = frames(DATA / "sample_625_420.dv")
    assert [f.offset for f in raw] == [n * 144000 for n in range(10)]
    cut = tmp_path / "cut.dv"
    cut.write_bytes((DATA / "sample_625_420.dv").read_bytes()[:144000 * 3 + 50000])
    with hvdv.open(cut) as reader:
        assert len(reader) == 4 and reader[-1].offset == 3 * 144000 and len(reader[3].data) == 50000
        assert reader[1].data == raw[1].data and reader[0].data == raw[0].data
        assert reader[3].damage.damaged > 0 and reader[3].metadata["error"].startswith("cut short")
        with pytest.raises(IndexError):
            reader[4]


def corrupt(data, seed):
    rnd = random.Random(seed)
    data = bytearray(data)
    for _ in range(rnd.choice([1, 20, 400])):
        data[rnd.randrange(len(data))] = rnd.randrange(256)
    return bytes(data[:rnd.choice([len(data), rnd.randrange(len(data))])])


BAD_CALLS = [
    (lambda: hvdv.open(123), TypeError),
    (lambda: hvdv.open(DATA / "no_such_file.dv"), hvdv.InputError),
    (lambda: hvdv.open(bytes(DATA / "no_such_\xff.dv") + b"\xfe"), hvdv.InputError),
    (lambda: hvdv.open("a\0b.dv"), hvdv.InputError),
    (lambda: hvdv.open(DATA), hvdv.InputError),
    (lambda: hvdv.scan(DATA / "README.md"), hvdv.InputError),
    (lambda: hvdv.Frame(b"\0" * 500).decode(), hvdv.Error),
    (lambda: hvdv.Frame(bytes(range(256)) * 600).info, hvdv.NotDVError),
    (lambda: hvdv.Frame(None), TypeError),
    (lambda: hvdv.Decoder(threads="2"), TypeError),
    (lambda: frames(DATA / "sample_625_420.dv")[0].decode(format=3), TypeError),
    (lambda: frames(DATA / "sample_625_420.dv")[0].decode("XXXX"), ValueError),
    (lambda: frames(DATA / "sample_625_420.dv")[0].decode(previous=[1, 2]), ValueError),
    (lambda: frames(DATA / "pal_411.dv")[0].decode(previous=[np.zeros((576, 720), float)] * 3), ValueError),
    (lambda: frames(DATA / "sample_625_420.dv")[0].decode(previous=frames(DATA / "pal_411.dv")[0].decode()),
     ValueError),
    (lambda: hvdv.open(DATA / "sample_625_420.dv")["1"], TypeError),
    (lambda: hvdv.frames._hvdv.probe(12), TypeError),
    (lambda: hvdv.Frame(b"\0" * 500).blocks, hvdv.Error),
    (lambda: hvdv.Frame(bytes(range(256)) * 600).captions, hvdv.NotDVError),
    (lambda: hvdv.merge(DATA / "sample_625_420.dv", "out.dv"), TypeError),
    (lambda: hvdv.merge([DATA / "sample_625_420.dv", 5], "out.dv"), TypeError),
    (lambda: hvdv.merge([DATA / "sample_625_420.dv"] * 2, "out.dv", window=2), hvdv.ArgumentError),
]


@pytest.mark.parametrize("call,error", BAD_CALLS)
def test_bad_calls_raise(call, error):
    with pytest.raises(error):
        call()


def test_damaged_bytes_give_pictures_or_errors(tmp_path):
    sources = [f.data for name in ("sample_625_420.dv", "hd_720p60.dv", "dv50_525.dv") for f in frames(DATA / name)[:1]]
    for seed in range(60):
        f = hvdv.Frame(corrupt(sources[seed % len(sources)], seed))
        for call in (lambda: f.decode(), lambda: f.decode("rgb", half=True), f.audio, lambda: f.metadata):
            try:
                call()
            except hvdv.Error:
                pass
    noise = tmp_path / "noise.dv"
    noise.write_bytes(random.Random(1).randbytes(300000))
    with pytest.raises(hvdv.InputError):
        hvdv.open(noise)


def test_gil_released_while_decoding(tmp_path):
    # With a switch interval far longer than the test, the counting thread
    # runs only when the main thread gives the GIL up: a call that releases
    # it lets the count move, one that holds it cannot.
    hd = frames(DATA / "hd_1080i50.dv")[0]
    sound = frames(DATA / "dv50_625_audio.dv")[0]
    decoder = hvdv.Decoder(threads=1)
    count, stop = [0], threading.Event()

    def counting():
        while not stop.is_set():
            count[0] += 1
            time.sleep(0)

    calls = {"planes": lambda: hd.decode(decoder=decoder), "packed": lambda: hd.decode("UYVY", decoder=decoder),
             "audio": lambda: sound.audio(decoder=decoder), "scan": lambda: list(hvdv.scan(DATA / "hd_1080i50.dv")),
             "blocks": lambda: hvdv.frames._hvdv.block_status(hd.data),
             "merge": lambda: hvdv.merge([DATA / "hd_1080i50.dv"] * 2, tmp_path / "m.dv", force=True)}
    interval = sys.getswitchinterval()
    thread = threading.Thread(target=counting)
    thread.start()
    try:
        sys.setswitchinterval(1000)
        moved = {}
        for name, call in calls.items():
            # Repeated until the count moves: on a loaded machine the
            # counting thread may not be given a processor during one call.
            # A call that holds the lock never lets it move, and only that
            # case waits out the deadline.
            deadline = time.monotonic() + 60
            while True:
                before = count[0]
                call()
                if count[0] != before or time.monotonic() > deadline:
                    break
            moved[name] = count[0] != before
    finally:
        stop.set()
        sys.setswitchinterval(interval)
        thread.join()
    assert moved == {name: True for name in calls}


# name, whole blocks, video blocks with STA 0xA, audio blocks with error
# samples, error samples (tests/data/README.md; a frame is 10 or 12 DIF
# sequences of 150 blocks)
BLOCK_FACTS = [("jj_sony_head_clog.dv", 1500, 810, 54, 2592), ("sample_625_420.dv", 1800, 0, 0, 0)]


@pytest.mark.parametrize("name,count,sta_a,audio_blocks,samples", BLOCK_FACTS)
def test_block_status_facts(name, count, sta_a, audio_blocks, samples):
    f = frames(DATA / name)[0]
    b = f.blocks
    t = b.blocks
    assert (b.block_count, len(t), t.dtype) == (count, count, hvdv.BLOCK_DTYPE)
    # 1 header, 2 subcode, 3 VAUX, 9 audio and 135 video blocks a sequence
    assert np.bincount(t["section"]).tolist() == [n * count // 150 for n in (1, 2, 3, 9, 135)]
    video, audio = t[t["section"] == hvdv.SECTION_VIDEO], t[t["section"] == hvdv.SECTION_AUDIO]
    assert (np.count_nonzero(video["sta"] == 0xA), np.count_nonzero(audio["error_samples"])) == (sta_a, audio_blocks)
    assert int(audio["error_samples"].sum()) == b.audio_error_samples == samples
    # the decoded audio counts the error samples among the frame's samples only
    assert (f.audio_info.error_samples > 0) == (samples > 0)
    assert np.all((video["sta"] != 0) == ((video["flags"] & hvdv.BLOCK_STA) != 0))
    assert b.damaged == tuple(int(np.count_nonzero(t[t["section"] == s]["flags"] & hvdv.BLOCK_DAMAGED))
                              for s in range(5))
    assert b.damaged[hvdv.SECTION_VIDEO] >= sta_a and f.damage.sta_counts[0xA] == sta_a


@pytest.mark.parametrize("field", [1, 2])
def test_captions_match_the_tool_scc(field, tmp_path):
    name = DATA / "dvrescue_cc_525.dv"
    tool("captions", name, "-o", tmp_path / "cc.scc", "--field", field)
    lines = (tmp_path / "cc.scc").read_text().split("\n")
    assert lines[0] == "Scenarist_SCC V1.0"
    theirs = [line.split("\t")[1].split() for line in lines[1:] if "\t" in line]
    # a line for each run of frames whose pair is not 80 80
    ours, run = [], False
    for f in frames(name):
        pair = getattr(f.captions, f"field{field}")
        if pair != b"\x80\x80":
            if not run:
                ours.append([])
            ours[-1].append(pair.hex())
        run = pair != b"\x80\x80"
    assert ours == theirs and (field == 2 or len(ours) > 0)
    assert all(f.captions.present for f in frames(name))
    assert not frames(DATA / "sample_625_420.dv")[0].captions.present


def run_tool(*args):
    done = subprocess.run([conftest.TOOL, *map(str, args)], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return done.returncode, done.stderr.decode()


@pytest.mark.parametrize("report", [None, "r.csv", "r.json"])
def test_merge_matches_the_tool(report, tmp_path):
    if not conftest.TOOL:
        pytest.skip("HVDV_TOOL is not set (ctest sets it)")
    a = make_damaged(tmp_path / "a.dv", frames=(2, 3, 5))
    b = make_damaged(tmp_path / "b.dv", frames=(1, 4, 5, 7))
    make_damaged(b, frames=(2,), at=90000, source=b)
    ours = hvdv.merge([a, b], tmp_path / "ours.dv", report=report and tmp_path / ("ours." + report))
    code, said = run_tool("merge", a, b, "-o", tmp_path / "theirs.dv",
                          *(["--report", tmp_path / ("theirs." + report)] if report else []))
    assert code == 0, said
    assert (tmp_path / "ours.dv").read_bytes() == (tmp_path / "theirs.dv").read_bytes()
    if report:
        assert (tmp_path / ("ours." + report)).read_bytes() == (tmp_path / ("theirs." + report)).read_bytes()
    if report == "r.csv":
        # every block of a frame comes from one input or the other
        rows = list(csv.DictReader((tmp_path / "ours.r.csv").open()))
        assert [int(r["in1_blocks_taken"]) + int(r["in2_blocks_taken"]) for r in rows] == [1800] * len(rows)
    numbers = [int(n) for n in re.findall(r"(\d+) (?:frames|found|missing|blocks|after)", said.split(": ", 2)[2])]
    assert numbers[:6] == [ours[k] for k in ("frames", "single", "missing", "repaired", "damaged_blocks",
                                              "damaged_frames")]
    # Frames 1, 3, 4, 7 come clean from the other copy, frame 2 block by
    # block from both; frame 5 is damaged in both, the same blocks.
    original = frames(DATA / "sample_625_420.dv")
    merged = frames(tmp_path / "ours.dv")
    assert [f.data == o.data for f, o in zip(merged, original)] == [n != 5 for n in range(len(original))]
    assert (ours["damaged_frames"], ours["left_out"], ours["repeats"]) == (1, [None, None], [0, 0])
    assert ours["damaged_blocks"] == sum(sum(f.blocks.damaged) for f in merged) > 0 and ours["repaired"] > 0


MERGE_FAILURES = [
    # inputs, exception, whether the output exists after
    (["sample_625_420.dv"], hvdv.ArgumentError, False),
    (["sample_625_420.dv", "no_such_file.dv"], hvdv.InputError, False),
    (["sample_625_420.dv", "ntsc_411_detail.dv"], hvdv.InputError, False),
    (["sample_625_420.dv", "sample_625_420.dv", "-", "-"], hvdv.ArgumentError, False),
]


@pytest.mark.parametrize("inputs,error,left", MERGE_FAILURES)
def test_merge_failures(inputs, error, left, tmp_path):
    with pytest.raises(error):
        hvdv.merge([DATA / n if n != "-" else n for n in inputs], tmp_path / "out.dv")
    assert (tmp_path / "out.dv").exists() == left


def test_merge_keeps_an_existing_output(tmp_path):
    (tmp_path / "out.dv").write_bytes(b"kept")
    two = [DATA / "sample_625_420.dv"] * 2
    with pytest.raises(hvdv.InputError, match="exists"):
        hvdv.merge(two, tmp_path / "out.dv")
    assert (tmp_path / "out.dv").read_bytes() == b"kept"
    assert hvdv.merge(two, tmp_path / "out.dv", force=True)["frames"] == 10
