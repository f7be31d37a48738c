# Shared pieces of the Python package's tests: the hvdv tool and the test
# streams (HVDV_TOOL and HVDV_TEST_DATA, set by ctest), and DV files made
# at test time.
import os
import shutil
import subprocess
from pathlib import Path

import pytest

DATA = Path(os.environ.get("HVDV_TEST_DATA", Path(__file__).resolve().parents[1] / "data"))
TOOL = os.environ.get("HVDV_TOOL")


def tool(*args, check=True):
    """Runs the hvdv tool; its standard output as text."""
    if not TOOL:
        pytest.skip("HVDV_TOOL is not set (ctest sets it)")
    done = subprocess.run([TOOL, *map(str, args)], stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    if check and done.returncode not in (0, 3):
        raise AssertionError(f"hvdv {' '.join(map(str, args))}: {done.stderr.decode()}")
    return done.stdout.decode()


def tool_md5s(*args):
    """The per-frame MD5s of `hvdv decode --md5`, in frame order."""
    lines = tool("decode", *args, "--md5", "--threads", "1").splitlines()
    return [line.split(": ")[1] for line in lines if line.startswith("frame ")]


def make_damaged(path, frames=(2, 3, 5), at=30000, source=DATA / "sample_625_420.dv"):
    """A 625/50 file (sample_625_420.dv) with a run of DIF blocks overwritten
    from byte `at` of some frames (their IDs then name no place, so the
    macroblocks are damaged)."""
    data = bytearray(Path(source).read_bytes())
    for n in frames:
        start = n * 144000 + at + 80 * n
        data[start:start + 8000] = bytes((i * 37 + n) & 0xFF for i in range(8000))
    Path(path).write_bytes(bytes(data))
    return Path(path)


@pytest.fixture(scope="session")
def damaged_dv(tmp_path_factory):
    return make_damaged(tmp_path_factory.mktemp("damaged") / "damaged.dv")


@pytest.fixture(scope="session")
def containers(tmp_path_factory):
    """sample_625_420.dv stored in AVI, QuickTime and MXF by ffmpeg (stream
    copy), by extension; empty without ffmpeg or libavformat."""
    import hvdv
    ffmpeg = shutil.which("ffmpeg")
    if not ffmpeg or not hvdv.CONTAINERS:
        return {}
    work = tmp_path_factory.mktemp("containers")
    made = {}
    for ext in ("avi", "mov", "mxf"):
        out = work / f"sample.{ext}"
        subprocess.run([ffmpeg, "-nostdin", "-v", "error", "-y", "-i", str(DATA / "sample_625_420.dv"), "-c", "copy",
                        str(out)], check=True)
        made[ext] = out
    return made
