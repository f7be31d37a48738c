"""``python3 -m hvdv scan-archive DIR --out REPORTS``: a scan of every DV file
under a folder tree, one task per file, on a local process pool or a Dask
cluster.

Each file gets a report, REPORTS/<its path under DIR>.jsonl, holding exactly
what ``hvdv scan --json`` prints (one record a frame, then the summary); it is
written under a temporary name and renamed when complete, so a report that
exists is a finished one, and a run started again skips those files.  The
index, REPORTS/index.csv, has one row a file: frames, damaged frames,
recordings, first and last timecode and recording date, and the status ("ok"
or "failed: why").  One file's failure is recorded there and the others go on.
"""

import argparse
import concurrent.futures
import csv
import json
import multiprocessing
import os
import sys
from typing import Any, Callable, Dict, Iterable, List, Optional, Tuple

from . import _hvdv

#: File name endings taken as DV whatever their content (raw DV is also
#: recognised by its first bytes).
EXTENSIONS = (".dv", ".dif", ".avi", ".mov", ".mxf")
INDEX_NAME = "index.csv"
INDEX_FIELDS = ("file", "frames", "damaged_frames", "recordings", "first_timecode", "last_timecode",
                "first_recorded", "last_recorded", "status")
REPORT_SUFFIX = ".jsonl"


def find_dv_files(root: str, skip: Optional[str] = None) -> List[str]:
    """The DV files under root (paths relative to it, sorted): by name ending,
    or raw DV by content.  The folder `skip` (the reports) is left out."""
    found = []
    skip_real = os.path.realpath(skip) if skip else None
    for folder, dirs, files in os.walk(root):
        dirs[:] = sorted(d for d in dirs if os.path.realpath(os.path.join(folder, d)) != skip_real)
        for name in sorted(files):
            path = os.path.join(folder, name)
            if not name.lower().endswith(EXTENSIONS):
                try:
                    with open(path, "rb") as f:
                        head = f.read(240)
                except OSError:
                    continue
                if not _hvdv.looks_like_dv(head):
                    continue
            found.append(os.path.relpath(path, root))
    return found


def _row(frames: int = 0, damaged: int = 0, recordings: int = 0, first: Tuple[str, str] = ("", ""),
         last: Tuple[str, str] = ("", ""), status: str = "ok") -> Dict[str, Any]:
    return {"frames": frames, "damaged_frames": damaged, "recordings": recordings, "first_timecode": first[0],
            "last_timecode": last[0], "first_recorded": first[1], "last_recorded": last[1], "status": status}


class _Ends:
    """First and last timecode and recording date of a stream of records."""

    def __init__(self) -> None:
        self.first = ["", ""]
        self.last = ["", ""]

    def add(self, record: Dict[str, Any]) -> None:
        for i, key in enumerate(("timecode", "recorded")):
            value = record.get(key)
            if value:
                self.first[i] = self.first[i] or value
                self.last[i] = value


def row_from_report(report: str) -> Dict[str, Any]:
    """The index row of a complete report."""
    ends = _Ends()
    summary: Dict[str, int] = {}
    with open(report, encoding="utf-8") as f:
        for line in f:
            record = json.loads(line)
            if "summary" in record:
                summary = record["summary"]
            else:
                ends.add(record)
    return _row(summary.get("frames", 0), summary.get("damagedFrames", 0), summary.get("recordings", 0),
                tuple(ends.first), tuple(ends.last))  # type: ignore[arg-type]


def scan_file(path: str, report: str) -> Dict[str, Any]:
    """Scans one file into its report (written whole or not at all) and
    returns its index row; never raises for a bad file (status "failed: ...")."""
    part = f"{report}.{os.getpid()}.part"
    frames = 0
    try:
        os.makedirs(os.path.dirname(report) or ".", exist_ok=True)
        scanner = _hvdv.Scanner(os.fsencode(path))
        ends = _Ends()
        with open(part, "w", encoding="utf-8") as out:
            while True:
                line = scanner.next()
                if line is None:
                    break
                frames += 1
                ends.add(json.loads(line))
                out.write(line + "\n")
            text = scanner.summary()
            summary = json.loads(text)
            out.write('{"summary": ' + text + "}\n")
        os.replace(part, report)
        return _row(summary["frames"], summary["damagedFrames"], summary["recordings"], tuple(ends.first),
                    tuple(ends.last))  # type: ignore[arg-type]
    except Exception as e:  # one file's failure is its row, never the run's
        try:
            os.remove(part)
        except OSError:
            pass
        message = " ".join(str(e).split()) or type(e).__name__
        return _row(frames=frames, status=f"failed: {message}")


def _write_index(out: str, rows: Iterable[Dict[str, Any]]) -> str:
    index = os.path.join(out, INDEX_NAME)
    part = index + f".{os.getpid()}.part"
    with open(part, "w", encoding="utf-8", newline="") as f:
        writer = csv.DictWriter(f, fieldnames=INDEX_FIELDS)
        writer.writeheader()
        for row in sorted(rows, key=lambda r: r["file"]):
            writer.writerow(row)
    os.replace(part, index)
    return index


def _local_runner(workers: Optional[int]) -> Tuple[Callable[..., Any], Callable[[], None]]:
    # Fresh interpreters (spawn): a fork would copy whatever threads and
    # locks the calling program holds.
    pool = concurrent.futures.ProcessPoolExecutor(max_workers=workers, mp_context=multiprocessing.get_context("spawn"))
    return pool.submit, lambda: pool.shutdown(wait=True)


def _dask_runner(scheduler: str) -> Tuple[Callable[..., Any], Callable[[], None]]:
    try:
        from distributed import Client
    except ImportError as e:
        raise SystemExit(f"hvdv scan-archive: --scheduler needs Dask's distributed (Debian python3-distributed): {e}")
    client = Client(scheduler)

    def submit(fn: Callable[..., Any], *args: Any) -> Any:
        return client.submit(fn, *args, pure=False)

    return submit, client.close


def scan_archive(root: str, out: str, scheduler: Optional[str] = None, workers: Optional[int] = None,
                 log: Any = sys.stderr) -> Dict[str, Any]:
    """Scans every DV file under root into reports under out (see the
    module's description); returns counts: files, scanned, skipped
    (reports already complete), failed, and the index's path."""
    if not os.path.isdir(root):
        raise NotADirectoryError(f"{root}: not a folder")
    os.makedirs(out, exist_ok=True)
    files = find_dv_files(root, skip=out)
    rows: List[Dict[str, Any]] = []
    todo = []
    for rel in files:
        report = os.path.join(out, rel + REPORT_SUFFIX)
        if os.path.isfile(report):
            try:
                rows.append(dict(row_from_report(report), file=rel))
                continue
            except (OSError, ValueError, KeyError):
                pass  # not a report of ours: scanned again
        todo.append((rel, os.path.join(root, rel), report))
    skipped = len(rows)
    print(f"hvdv scan-archive: {len(files)} DV files under {root}, {skipped} already reported, "
          f"{len(todo)} to scan on {scheduler or 'a local process pool'}", file=log, flush=True)
    failed = 0
    if todo:
        submit, finish = _dask_runner(scheduler) if scheduler else _local_runner(workers)
        try:
            futures = {submit(scan_file, path, report): rel for rel, path, report in todo}
            waiting = concurrent.futures.as_completed if not scheduler else _dask_as_completed
            for n, future in enumerate(waiting(list(futures)), 1):
                rel = futures[future]
                try:
                    row = future.result()
                except Exception as e:  # the worker itself failed
                    row = _row(status=f"failed: {' '.join(str(e).split()) or type(e).__name__}")
                row["file"] = rel
                rows.append(row)
                failed += row["status"] != "ok"
                print(f"hvdv scan-archive: [{n}/{len(todo)}] {rel}: {row['frames']} frames, "
                      f"{row['damaged_frames']} damaged, {row['status']}", file=log, flush=True)
        finally:
            finish()
    index = _write_index(out, rows)
    print(f"hvdv scan-archive: index {index}: {len(files)} files, {len(todo)} scanned, {skipped} skipped, "
          f"{failed} failed", file=log, flush=True)
    return {"files": len(files), "scanned": len(todo), "skipped": skipped, "failed": failed, "index": index}


def _dask_as_completed(futures: List[Any]) -> Iterable[Any]:
    from distributed import as_completed
    return as_completed(futures)


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(
        prog="python3 -m hvdv scan-archive",
        description="Scans every DV file under DIR (raw DV by content; .dv .dif .avi .mov .mxf by name) into "
                    "one JSON-lines report a file (the records of 'hvdv scan --json') and an index CSV; files "
                    "whose report is complete are skipped, so a run can be started again where it stopped.")
    parser.add_argument("dir", metavar="DIR")
    parser.add_argument("--out", required=True, metavar="REPORTS", help="folder of the reports and index.csv")
    parser.add_argument("--scheduler", metavar="tcp://HOST:PORT",
                        help="a Dask scheduler to run the scans on (its workers must see DIR and REPORTS "
                             "at the same paths); default: a local process pool")
    parser.add_argument("--workers", type=int, metavar="N", help="processes of the local pool (default: one a "
                        "processor)")
    args = parser.parse_args(argv)
    if args.workers is not None and args.workers < 1:
        parser.error("--workers: at least 1")
    try:
        result = scan_archive(args.dir, args.out, args.scheduler, args.workers)
    except OSError as e:
        print(f"hvdv scan-archive: {e}", file=sys.stderr)
        return 1
    return 1 if result["failed"] else 0
