#!/usr/bin/python3
"""Size and render time of an "hvdv report" page for a long tape.

  /usr/bin/python3 bench/report_bench.py [--hvdv build/cli/hvdv] [--frames 20000] [--loads 5]

Makes a 525/60 tape of FRAMES frames from the camcorder frames of
tests/data/jj_sony_good_quality.dv, their timecode rewritten to run on (a
new hour every 2,000 frames: a new recording), with video blocks marked in
error (STA 7) or concealed (STA 0xA) on one frame in 40 and the deck's
head-clog frame once in 2,000; pipes it into "hvdv report -" (nothing is
written to disk but the page), then loads the page in headless Chromium
(chromedriver, network off) LOADS times and prints the page size, the time
hvdv took, and the time from navigation to the page's script being done
(median, min, max) with the script's own share.
"""
import argparse
import pathlib
import resource
import statistics
import subprocess
import sys
import tempfile
import threading
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.support.ui import WebDriverWait

FRAME, BLOCK = 120000, 80
ROOT = pathlib.Path(__file__).resolve().parent.parent


def bcd(n):
    return (n // 10) << 4 | n % 10


def with_timecode(frame, n):
    """Every subcode timecode pack (0x13) of the frame set to frame n (30 frames a second, non-drop)."""
    out = bytearray(frame)
    ff, s = n % 30, n // 30
    value = bytes([bcd(ff), bcd(s % 60), bcd(s // 60 % 60), bcd(s // 3600 % 24)])
    for at in range(0, len(out), BLOCK):
        if out[at] >> 5 != 1:  # subcode blocks
            continue
        for k in range(6):
            pack = at + 3 + 8 * k + 3
            if out[pack] == 0x13:
                # Keep the flag bits above each BCD field, but drop-frame
                # (bit 6 of the frames byte) off: the count runs on.
                for i, mask in enumerate((0x7F, 0x7F, 0x7F, 0x3F)):
                    out[pack + 1 + i] = (out[pack + 1 + i] & ~mask & 0xFF) | (value[i] & mask)
    return bytes(out)


def with_sta(frame, every, sta):
    out = bytearray(frame)
    video = 0
    for at in range(0, len(out), BLOCK):
        if out[at] >> 5 == 4:
            if video % every == 0:
                out[at + 3] = (sta << 4) | (out[at + 3] & 15)
            video += 1
    return bytes(out)


def tape(frames):
    good = (ROOT / "tests/data/jj_sony_good_quality.dv").read_bytes()
    clog = (ROOT / "tests/data/jj_sony_head_clog.dv").read_bytes()
    sources = [good[i:i + FRAME] for i in range(0, len(good), FRAME)]
    for n in range(frames):
        tc = n + (n // 2000) * 30 * 3600  # a new hour: a new recording
        if n % 2000 == 1999:
            yield clog
        elif n % 40 == 7:
            yield with_timecode(with_sta(sources[n % 5], 3 + n % 97, 7 if n % 80 == 7 else 10), tc)
        else:
            yield with_timecode(sources[n % 5], tc)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--hvdv", default=str(ROOT / "build/cli/hvdv"))
    ap.add_argument("--frames", type=int, default=20000)
    ap.add_argument("--loads", type=int, default=5)
    a = ap.parse_args()
    work = pathlib.Path(tempfile.mkdtemp(prefix="hvdv-report-bench-"))
    page = work / "tape.html"

    started = time.monotonic()
    hvdv = subprocess.Popen([a.hvdv, "report", "-", "-o", str(page)], stdin=subprocess.PIPE, stderr=subprocess.PIPE)

    def feed():
        try:
            for frame in tape(a.frames):
                hvdv.stdin.write(frame)
        finally:
            hvdv.stdin.close()

    feeder = threading.Thread(target=feed)
    feeder.start()
    err = hvdv.stderr.read().decode()
    feeder.join()
    if hvdv.wait() != 0:
        sys.exit("hvdv report failed:\n" + err)
    seconds = time.monotonic() - started
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    print(err.strip())
    print(f"page: {page.stat().st_size / 1e6:.2f} MB; hvdv report (tape made and piped in): {seconds:.1f} s wall, "
          f"hvdv's own processor time {usage.ru_utime + usage.ru_stime:.1f} s "
          f"({a.frames / (usage.ru_utime + usage.ru_stime):.0f} frames/s)")

    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--window-size=1280,1000", "--user-data-dir=" + str(work / "profile")):
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    loads, scripts = [], []
    try:
        driver.set_network_conditions(offline=True, latency=0, download_throughput=0, upload_throughput=0)
        for _ in range(a.loads):
            driver.get("about:blank")
            driver.get(page.as_uri())
            WebDriverWait(driver, 60).until(lambda d: d.execute_script("return document.body.dataset.ready === '1'"))
            # performance.now() counts from the navigation's start.
            loads.append(driver.execute_script("return window.hvdvReadyAt"))
            scripts.append(driver.execute_script("return window.hvdvRenderMs"))
        marks = driver.execute_script("return Object.assign({}, document.getElementById('timeline').dataset)")
    finally:
        driver.quit()
    print(f"navigation to drawn page, {a.loads} loads: median {statistics.median(loads):.0f} ms "
          f"(min {min(loads):.0f}, max {max(loads):.0f}); the page's script: median {statistics.median(scripts):.0f} ms")
    print("timeline marks:", marks)


if __name__ == "__main__":
    main()
