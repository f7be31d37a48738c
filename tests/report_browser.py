#!/usr/bin/python3
"""hvdv report in a real browser: headless Chromium, driven through
chromedriver, loads reports of a damaged tape built here and of a test
stream from a file URL with the network off, and checks them against
"hvdv scan": the embedded summary, the marks the timeline draws, the
tooltip and the picture viewer, the damaged-frames table and the CSV the
page saves.

  report_browser.py --hvdv HVDV --data tests/data --work DIR
                    --chromium CHROMIUM --chromedriver CHROMEDRIVER
"""
import argparse
import json
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.actions.wheel_input import ScrollOrigin
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

FRAME = 120000  # bytes of a 525/60 frame at 25 Mb/s
BLOCK = 80


def with_sta(frame, every, sta):
    """The frame with STA `sta` on every `every`-th video DIF block."""
    out = bytearray(frame)
    video = 0
    for at in range(0, len(out), BLOCK):
        if out[at] >> 5 == 4:
            if video % every == 0:
                out[at + 3] = (sta << 4) | (out[at + 3] & 15)
            video += 1
    return bytes(out)


def build_tape(data, work):
    """Recordings with different dates and timecodes, two frames with video
    blocks marked in error, the deck-concealed frame and a last frame cut
    short.  The name has a space and dots (paths are never split)."""
    read = lambda name: (data / name).read_bytes()
    good = read("jj_sony_good_quality.dv")
    parts = [read("meta_tc_525.dv"), read("meta_minute_525.dv"), good,
             with_sta(good[:FRAME], 23, 7), with_sta(good[FRAME:2 * FRAME], 2, 7),
             read("dvrescue_cc_525.dv"), read("jj_sony_head_clog.dv"), read("meta_tc_525.dv")[:FRAME // 2]]
    tape = work / "tape one.v2.dv"
    tape.write_bytes(b"".join(parts))
    return tape


def run(args, **kw):
    r = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kw)
    if r.returncode != 0:
        sys.exit(f"{args}: exit status {r.returncode}\n{r.stderr}")
    return r.stdout


def scan_facts(hvdv, path):
    """The summary of a file as hvdv scan --json gives it, in the report's terms."""
    lines = [json.loads(l) for l in run([hvdv, "scan", str(path), "--json"]).splitlines()]
    records, s = lines[:-1], lines[-1]["summary"]
    recordings = []
    for r in records:
        if r["newRecording"]:
            recordings.append({"first_frame": r["frame"], "frames": 0, "timecode": None, "recorded": None})
        rec = recordings[-1]
        rec["frames"] += 1
        for key in ("timecode", "recorded"):
            if rec[key] is None:
                rec[key] = r[key]
    audio = sum((r["audio"] or {}).get("errorSamples") or 0 for r in records)
    return records, {"frames": s["frames"], "damaged_frames": s["damagedFrames"], "recordings": recordings,
                     "timecode_breaks": s["timecodeBreaks"], "audio_changes": s["audioChanges"], "audio_errors": audio}


def check(cond, message):
    if not cond:
        sys.exit("FAIL: " + message)


def main():
    ap = argparse.ArgumentParser()
    for name in ("hvdv", "data", "work", "chromium", "chromedriver"):
        ap.add_argument("--" + name, required=True)
    a = ap.parse_args()
    data, work = pathlib.Path(a.data), pathlib.Path(a.work)
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    inputs = [build_tape(data, work), data / "sample_625_420.dv", data / "hd_1080i50.dv"]
    page = work / "report.html"
    run([a.hvdv, "report", *map(str, inputs), "-o", str(page), "--pictures", "2"])
    html = page.read_text(encoding="utf-8")
    # An input that cannot be read: one line naming it, and no page at all.
    missing = subprocess.run([a.hvdv, "report", str(inputs[0]), str(data / "no_such_file.dv"), "-o", str(work / "no.html")],
                             stderr=subprocess.PIPE, text=True)
    check(missing.returncode == 1 and re.fullmatch(r"hvdv report: .*no_such_file\.dv: .*\n", missing.stderr)
          and not list(work.glob("no.html*")), f"missing input: {missing.returncode} {missing.stderr!r}")
    check(not re.search(r"""(src|href)\s*=\s*["']?\s*(https?:|//)|url\(\s*["']?(https?:|//)|@import""", html),
          "the page refers to something outside itself")
    scans = [scan_facts(a.hvdv, p) for p in inputs]

    options = webdriver.ChromeOptions()
    options.binary_location = a.chromium
    profile = tempfile.mkdtemp(prefix="hvdv-chromium-", dir=work)
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", "--window-size=1280,1000", "--user-data-dir=" + profile):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service(a.chromedriver), options=options)
    try:
        driver.set_network_conditions(offline=True, latency=0, download_throughput=0, upload_throughput=0)
        driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": """
            window.__errors = [];
            window.addEventListener('error', e => window.__errors.push(String(e.message)));
            window.addEventListener('unhandledrejection', e => window.__errors.push(String(e.reason)));"""})
        driver.get(page.as_uri())
        WebDriverWait(driver, 30).until(lambda d: d.execute_script("return document.body.dataset.ready === '1'")
                                        or d.execute_script("return window.__errors.length > 0"))
        errors = driver.execute_script("return window.__errors")
        severe = [e["message"] for e in driver.get_log("browser") if e["level"] == "SEVERE"]
        check(not errors and not severe, f"script errors: {errors} {severe}")
        check(driver.execute_script("return performance.getEntriesByType('resource').length") == 0,
              "the page fetched something")

        # The embedded summary agrees with hvdv scan, file by file and in total.
        summary = json.loads(driver.execute_script("return document.getElementById('hvdv-summary').textContent"))
        recordings = [dict((k, r[k]) for k in ("first_frame", "frames", "timecode", "recorded"))
                      for r in summary["recordings"]]
        expected = [r for _, s in scans for r in s["recordings"]]
        check(recordings == expected, f"recordings {recordings} != scan's {expected}")
        for k, (_, s) in enumerate(scans):
            got = summary["files"][k]
            for key in ("frames", "damaged_frames", "timecode_breaks", "audio_changes", "audio_errors"):
                check(got[key] == s[key], f"file {k}: {key} {got[key]} != scan's {s[key]}")
            check(got["recordings"] == len(s["recordings"]), f"file {k}: recordings {got['recordings']}")
        for key in ("frames", "damaged_frames", "timecode_breaks", "audio_errors"):
            check(summary[key] == sum(s[key] for _, s in scans), f"total {key} {summary[key]}")
        check(scans[0][1]["damaged_frames"] >= 4 and summary["files"][0]["caption_frames"] == 3,
              "the tape lacks the damage or the captions it was built with")

        # The whole tape in view: one mark per recording start, damaged frame and timecode break.
        canvas = driver.find_element(By.ID, "timeline")
        marks = driver.execute_script("return Object.assign({}, arguments[0].dataset)", canvas)
        check(int(marks["recordingMarks"]) == len(expected), f"recording marks {marks}")
        check(int(marks["damagedMarks"]) == summary["damaged_frames"], f"damaged marks {marks}")
        check(int(marks["timecodeBreakMarks"]) == summary["timecode_breaks"], f"timecode break marks {marks}")
        drawn = driver.execute_script("""
            const c = arguments[0], d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
            let n = 0; for (let i = 0; i < d.length; i += 4) if (d[i] === 0xd5 && d[i+1] === 0x5e && d[i+2] === 0) ++n;
            return n;""", canvas)
        check(drawn > 0, "no damage drawn on the timeline")

        # The wheel zooms in around the pointer, a drag pans.
        span = lambda: (int(canvas.get_attribute("data-first-frame")), int(canvas.get_attribute("data-last-frame")))
        ActionChains(driver).scroll_from_origin(ScrollOrigin.from_element(canvas), 0, -300).perform()
        zoomed = span()
        check(zoomed[1] - zoomed[0] < summary["frames"] - 1, f"the wheel did not zoom: {zoomed}")
        ActionChains(driver).drag_and_drop_by_offset(canvas, -200, 0).perform()
        check(span()[0] > zoomed[0], f"a drag did not pan: {zoomed} then {span()}")

        # Hovering a frame names it; its timecode is scan's.  Zoomed in to a
        # few frames first, then the whole tape again.
        records = scans[0][0]
        width = canvas.size["width"]
        for file, frame, span in ((0, len(records) - 2, 20), (0, 7, 20), (1, 4, 10), (0, 13, None)):
            if span:
                driver.execute_script("window.hvdvReport.show(arguments[0], arguments[1])",
                                      sum(s[1]["frames"] for s in scans[:file]) + frame, span)
            else:
                driver.find_element(By.ID, "zoom-all").click()
            x = driver.execute_script("return window.hvdvReport.frameX(arguments[0], arguments[1])", file, frame)
            ActionChains(driver).move_to_element_with_offset(canvas, int(x - width / 2), 0).perform()
            tip = driver.find_element(By.ID, "tooltip")
            check(tip.is_displayed(), "no tooltip")
            check(tip.get_attribute("data-frame") == str(frame) and tip.get_attribute("data-file") == str(file),
                  f"tooltip of frame {tip.get_attribute('data-frame')} at frame {frame}: {tip.text}")
            tc = scans[file][0][frame]["timecode"]
            check(f"frame {frame}" in tip.text and (tc is None or tc in tip.text), f"tooltip {tip.text!r}, timecode {tc}")

        # Pictures: each recording's first frame, and the frames with video
        # blocks in error among the most damaged; clicking one on the
        # timeline shows it, with the damaged macroblocks outlined.
        shown = {(int(f.get_attribute("data-frame"))) for f in driver.find_elements(By.CSS_SELECTOR, "#file-0 .gallery figure")}
        firsts = {r["first_frame"] for r in scans[0][1]["recordings"]}
        check(firsts <= shown, f"pictures {shown} lack recording starts {firsts}")
        share = lambda r: 1 if r["kind"] is None else (r["damaged"] + r["concealed"]) / r["macroblocks"]
        ranked = sorted(range(len(records)), key=lambda i: (-share(records[i]), i))
        data_json = json.loads(driver.execute_script("return document.getElementById('hvdv-data').textContent"))
        most = [p["frame"] for p in data_json["files"][0]["pictures"] if "most damaged" in p["why"]]
        check(most == sorted(ranked[:2]), f"most damaged pictures {most}, scan's {ranked[:2]}")
        # The most damaged frame with blocks in error, and the most concealed.
        for colour, frame in (((0xd5, 0x5e, 0x00), next(i for i in ranked if records[i]["damaged"])),
                              ((0x56, 0xb4, 0xe9), next(i for i in ranked if records[i]["concealed"]))):
            driver.execute_script("window.hvdvReport.show(arguments[0], 40)", frame)
            x = driver.execute_script("return window.hvdvReport.frameX(0, arguments[0])", frame)
            ActionChains(driver).move_to_element_with_offset(canvas, int(x - width / 2), 10).click().perform()
            viewer = driver.find_element(By.ID, "viewer")
            check(viewer.is_displayed() and viewer.get_attribute("data-frame") == str(frame),
                  f"a click on frame {frame} shows {viewer.get_attribute('data-frame')}")
            outlined = driver.execute_script("""
                const img = document.getElementById('viewer-img'), rgb = arguments[0];
                return img.decode().then(() => {
                  const c = document.createElement('canvas'); c.width = img.naturalWidth; c.height = img.naturalHeight;
                  const g = c.getContext('2d'); g.drawImage(img, 0, 0);
                  const d = g.getImageData(0, 0, c.width, c.height).data;
                  let n = 0; for (let i = 0; i < d.length; i += 4) if (d[i] === rgb[0] && d[i+1] === rgb[1] && d[i+2] === rgb[2]) ++n;
                  return n; });""", colour)
            check(outlined > 0, f"no macroblock of frame {frame} outlined in {colour}")

        # The damaged-frames table lists every damaged frame; the saved CSV is scan's, byte for byte.
        rows = [int(r.get_attribute("data-frame")) for r in driver.find_elements(By.CSS_SELECTOR, "#file-0 table.damaged-frames tbody tr")]
        damaged = [r["frame"] for r in records if r["damaged"] or r["concealed"] or r["error"]
                   or (r["audio"] or {}).get("errorSamples")]
        check(rows == damaged, f"table rows {rows} != damaged frames {damaged}")
        for k, path in enumerate(inputs):
            csv = driver.execute_async_script("window.hvdvReport.csv(arguments[0]).then(arguments[1])", k)
            check(csv == run([a.hvdv, "scan", str(path), "--csv"]), f"CSV of file {k} differs from hvdv scan --csv")
    finally:
        driver.quit()
    print("report checked in Chromium:", summary["frames"], "frames,", len(expected), "recordings")


if __name__ == "__main__":
    main()
