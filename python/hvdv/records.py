"""Scan records: what ``hvdv scan --json`` prints, as Python dicts."""

import json
import os
from typing import Any, Dict, Iterator, Optional

from . import _hvdv
from .frames import PathLike, _path


class Scan:
    """An iterator of the per-frame records of ``hvdv scan --json``, one
    dict a frame with exactly its keys and values (``pandas.DataFrame(scan)``
    makes a table of them).  After the last record, :attr:`summary` holds the
    tool's closing summary (frames, damagedFrames, recordings,
    timecodeBreaks, audioChanges).  Reading happens as it is iterated, with
    the GIL released.  Raises hvdv.InputError when the file cannot be read
    (at once) or fails part way (after the records read)."""

    def __init__(self, path: PathLike) -> None:
        self.path = _path(path)
        self._impl = _hvdv.Scanner(os.fsencode(self.path))
        self.summary: Optional[Dict[str, int]] = None

    def __iter__(self) -> Iterator[Dict[str, Any]]:
        return self

    def __next__(self) -> Dict[str, Any]:
        if self.summary is not None:
            raise StopIteration
        line = self._impl.next()
        if line is None:
            self.summary = json.loads(self._impl.summary())
            raise StopIteration
        return json.loads(line)


def scan(path: PathLike) -> Scan:
    """The records of ``hvdv scan --json PATH`` (a :class:`Scan` iterator)."""
    return Scan(path)
