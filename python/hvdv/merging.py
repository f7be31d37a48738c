"""hvdv.merge: several transfers of one tape become one raw DV file, block by
block, as ``hvdv merge`` does."""

import os
from typing import Any, Dict, Optional, Sequence

from . import _hvdv
from .frames import PathLike


def _name(path: PathLike, what: str) -> bytes:
    if not isinstance(path, (str, bytes, os.PathLike)):
        raise TypeError(f"{what}: a path (str, bytes or os.PathLike), not {type(path).__name__}")
    return os.fsencode(path)


def merge(inputs: Sequence[PathLike], output: PathLike, report: Optional[PathLike] = None, force: bool = False,
          window: int = 100) -> Dict[str, Any]:
    """Merges transfers of one tape into one raw DV file, as ``hvdv merge``.

    Frames are placed on the tape by timecode, recording date and time, the
    clean blocks they share and their order; each frame found in any input
    is written once, in tape order, each of its DIF blocks copied from an
    input that read it cleanly, else from the least damaged copy.  With
    three inputs or more, one that never shares a frame with the others is
    left out (another tape).

    ``inputs``: two or more files (raw DV, or a container's DV track).
    ``output``: the merged raw DV, kept if it exists unless ``force``.
    ``report``: one row per output frame, CSV with a header row, or JSON
    lines when its name ends in ``.json`` (the tool's columns).
    ``window``: frames kept ahead per input to align them (4 to 100000).

    Returns a dict: ``frames`` written, ``single`` (frames found in one
    input only), ``missing`` (frames no input holds: timecode gaps),
    ``repaired`` (blocks damaged in the chosen frame, clean in another),
    ``damaged_blocks`` and ``damaged_frames`` (still damaged in the output),
    ``audio_error_samples_before`` / ``_after`` (the best input frame's and
    the output's, with a report; else None), ``warning`` (or None),
    ``left_out`` (per input: why it was left out, None when used) and
    ``repeats`` (per input: frames dropped as repeats).

    Raises hvdv.ArgumentError for fewer than two inputs, a window out of
    range or standard input named twice, hvdv.InputError when an input
    cannot be read, the inputs are of different DV kinds, hold no DV frame,
    or the output exists or cannot be written; the output is then removed,
    as the tool does.  The GIL is released while merging."""
    if isinstance(inputs, (str, bytes, os.PathLike)):
        raise TypeError("inputs: a sequence of paths, not one path")
    names = [_name(p, "inputs") for p in inputs]
    if isinstance(window, bool) or not isinstance(window, int):
        raise TypeError(f"window: an int, not {type(window).__name__}")
    return _hvdv.merge(names, _name(output, "output"), b"" if report is None else _name(report, "report"),
                       bool(force), max(0, min(window, 1 << 32)))
