# python3 -m hvdv scan-archive on a small tree: reports equal to the tool's
# `hvdv scan --json`, the index, a damaged and a broken file, resuming, and
# the same reports from a Dask cluster as from the local process pool.
import csv
import json
import os
import random
import shutil

import pytest

from conftest import DATA, make_damaged, tool
from hvdv import archive


@pytest.fixture
def tree(tmp_path):
    root = tmp_path / "tapes"
    (root / "a").mkdir(parents=True)
    (root / "b" / "c").mkdir(parents=True)
    shutil.copy(DATA / "sample_625_420.dv", root / "a" / "sample.dv")
    shutil.copy(DATA / "dvrescue_cc_525.mov", root / "b" / "captions.mov")
    shutil.copy(DATA / "jj_sony_head_clog.dv", root / "b" / "c" / "capture.bin")   # raw DV by content
    make_damaged(root / "b" / "damaged.dv")
    (root / "b" / "broken.dv").write_bytes(random.Random(3).randbytes(200000))
    (root / "a" / "notes.txt").write_text("not DV\n")
    return root


def index_rows(out):
    with open(out / "index.csv", newline="", encoding="utf-8") as f:
        return {row["file"]: row for row in csv.DictReader(f)}


def check_reports(root, out):
    rows = index_rows(out)
    assert sorted(rows) == sorted(os.path.join(*p) for p in [("a", "sample.dv"), ("b", "captions.mov"),
                                                            ("b", "c", "capture.bin"), ("b", "damaged.dv"),
                                                            ("b", "broken.dv")])
    assert rows[os.path.join("b", "broken.dv")]["status"].startswith("failed: ")
    assert not (out / "b" / "broken.dv.jsonl").exists()
    for name, row in rows.items():
        if row["status"] != "ok":
            continue
        expected = tool("scan", root / name, "--json")
        assert (out / (name + ".jsonl")).read_text() == expected
        lines = [json.loads(line) for line in expected.splitlines()]
        summary, timecodes = lines[-1]["summary"], [r["timecode"] for r in lines[:-1] if r["timecode"]]
        assert (int(row["frames"]), int(row["damaged_frames"]), int(row["recordings"])) == \
            (summary["frames"], summary["damagedFrames"], summary["recordings"])
        assert (row["first_timecode"], row["last_timecode"]) == (timecodes[0], timecodes[-1])
    assert int(rows[os.path.join("b", "damaged.dv")]["damaged_frames"]) == 3
    return rows


def test_process_pool_and_resume(tree, tmp_path):
    out = tmp_path / "reports"
    assert archive.main([str(tree), "--out", str(out), "--workers", "2"]) == 1   # one file failed
    check_reports(tree, out)
    kept = (out / "a" / "sample.dv.jsonl").stat().st_mtime_ns
    (out / "b" / "damaged.dv.jsonl").unlink()
    result = archive.scan_archive(str(tree), str(out), workers=1)
    assert (result["skipped"], result["scanned"], result["failed"]) == (3, 2, 1)
    assert (out / "a" / "sample.dv.jsonl").stat().st_mtime_ns == kept
    check_reports(tree, out)


@pytest.mark.filterwarnings("ignore::DeprecationWarning")  # tornado, inside distributed
def test_dask_cluster(tree, tmp_path):
    distributed = pytest.importorskip("distributed")
    out = tmp_path / "reports"
    with distributed.LocalCluster(n_workers=1, threads_per_worker=2, processes=False,
                                  dashboard_address=None) as cluster:
        result = archive.scan_archive(str(tree), str(out), scheduler=cluster.scheduler_address)
    assert (result["files"], result["scanned"], result["failed"]) == (5, 5, 1)
    check_reports(tree, out)
