#!/usr/bin/python3
"""Speed of the Python package hvdv (not a test; figures in bench/README.md).

    PYTHONPATH=build/python /usr/bin/python3 bench/python_speed.py [--rounds N] [STREAM.dv ...]

1. Decoding to numpy planes, one thread each: hvdv (Decoder(threads=1),
   Frame.decode()) against PyAV (Debian python3-av: FFmpeg's dvvideo with
   thread_count 1, each plane copied out into an array of its own, as hvdv's
   arrays own their memory), the same frames in the same process, the two
   alternated round by round.
2. Two Python threads, each with its own decoder, against one thread; and
   the process's processor time over the wall-clock time of the two-thread
   rounds (the highest): above 1, both threads decoded at once, which a
   held GIL would not allow (on a loaded machine the wall-clock ratio says
   more about the other work than about hvdv).
3. hvdv.scan (records a second) over a file of a few hundred frames.

Default streams: build/bench/dense/*.dv when they exist (cmake --build build
--target hvdv_dense_streams), else a few of tests/data.  Each figure is the
median of its rounds, with the lowest and highest; the load average is
printed before and after, since other work on the machine moves them.
"""

import argparse
import glob
import os
import statistics
import sys
import tempfile
import threading
import time

import numpy as np

import hvdv

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def load(path):
    with hvdv.open(path) as reader:
        return [f for f in reader]


def hvdv_planes(frames, decoder, repeat):
    for _ in range(repeat):
        for f in frames:
            f.decode(decoder=decoder)


def pyav_planes(frames, repeat):
    import av
    ctx = av.CodecContext.create("dvvideo", "r")
    ctx.thread_count = 1
    packets = [f.data for f in frames]
    for _ in range(repeat):
        for data in packets:
            for picture in ctx.decode(av.Packet(data)):
                [np.frombuffer(p, np.uint8).reshape(p.height, p.line_size)[:, :p.width].copy() for p in picture.planes]


def timed(fn, *args):
    start = time.perf_counter()
    fn(*args)
    return time.perf_counter() - start


def spread(values):
    return f"{statistics.median(values):7.0f} ({min(values):.0f}-{max(values):.0f})"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("streams", nargs="*")
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--seconds", type=float, default=0.3, help="decoding time a round aims at")
    args = parser.parse_args()
    streams = args.streams or sorted(glob.glob(os.path.join(ROOT, "build", "bench", "dense", "*.dv"))) or [
        os.path.join(ROOT, "tests", "data", n) for n in ("sample_625_420.dv", "ntsc_411_detail.dv", "dv50_625.dv",
                                                         "hd_1080i50.dv")]
    print(f"hvdv {hvdv.__version__}, Python {sys.version.split()[0]} ({sys.executable}), load average before: "
          f"{' '.join('%.2f' % v for v in os.getloadavg())}")
    try:
        import av
        print(f"PyAV {av.__version__}")
    except ImportError:
        av = None
        print("PyAV missing (Debian python3-av): no comparison")

    print("\nframes a second, median (lowest-highest) of the rounds")
    print(f"{'stream':24} {'hvdv planes':>20} {'PyAV planes':>20} {'ratio':>6} {'2 threads':>20} {'x 1 thread':>10} {'cpu/wall':>8}")
    for path in streams:
        frames = load(path)
        one = hvdv.Decoder(threads=1)
        t = timed(hvdv_planes, frames, one, 1)
        repeat = max(1, int(args.seconds / max(t, 1e-6)))
        n = repeat * len(frames)
        ours, theirs, pair, busy = [], [], [], []
        decoders = [hvdv.Decoder(threads=1), hvdv.Decoder(threads=1)]
        for _ in range(args.rounds):
            ours.append(n / timed(hvdv_planes, frames, one, repeat))
            if av:
                theirs.append(n / timed(pyav_planes, frames, repeat))
            workers = [threading.Thread(target=hvdv_planes, args=(frames, d, repeat)) for d in decoders]
            start, cpu = time.perf_counter(), time.process_time()
            for w in workers:
                w.start()
            for w in workers:
                w.join()
            wall = time.perf_counter() - start
            pair.append(2 * n / wall)
            busy.append((time.process_time() - cpu) / wall)
        ratio = f"{statistics.median(ours) / statistics.median(theirs):6.2f}" if theirs else "     -"
        print(f"{os.path.basename(path):24} {spread(ours):>20} {spread(theirs) if theirs else '-':>20} {ratio} "
              f"{spread(pair):>20} {statistics.median(pair) / statistics.median(ours):10.2f} {max(busy):8.2f}")

    # Scan: the first stream's frames repeated into a file of about 300.
    frames = load(streams[0])
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "long.dv")
        with open(path, "wb") as out:
            for _ in range(max(1, 300 // len(frames))):
                for f in frames:
                    out.write(f.data)
        rates = []
        for _ in range(args.rounds):
            start = time.perf_counter()
            count = sum(1 for _ in hvdv.scan(path))
            rates.append(count / (time.perf_counter() - start))
        print(f"\nhvdv.scan, {count} frames of {os.path.basename(streams[0])}: {spread(rates)} frames a second")
    print(f"load average after: {' '.join('%.2f' % v for v in os.getloadavg())}")


if __name__ == "__main__":
    main()
