"""hvdv: DV video for Python, over the hvdv library.

Read the frames of raw DV, AVI, QuickTime / MP4 and MXF files as stored,
and turn each into numpy arrays (the picture at its coded sampling, RGB or a
packed format; every audio channel), its metadata (timecode, recording date
and time, REC START, camera packs, captions), its damage map and the state
of each DIF block; scan whole files into the records of ``hvdv scan
--json``; merge transfers of one tape block by block (:func:`merge`)::

    import hvdv

    with hvdv.open("tape.dv") as reader:
        for frame in reader:
            y, cb, cr = frame.decode()            # uint8 planes
            print(frame.index, frame.metadata["timecode"], frame.damage.damaged)

    records = list(hvdv.scan("tape.dv"))          # one dict a frame
    hvdv.merge(["take1.dv", "take2.dv"], "merged.dv", report="merged.csv")

Calls that read or decode release the GIL: Python threads decode at once,
each with a decoder of its own (one is made for each calling thread unless
``decoder=`` gives one).  Failures raise :class:`hvdv.Error` subclasses
with the library's messages.  ``python3 -m hvdv scan-archive DIR --out
REPORTS`` scans a whole folder tree on a process pool or a Dask cluster.
"""

from . import errors
from .errors import (AmbiguousError, ArgumentError, Error, InputError, NoAudioError, NotDVError, TruncatedError,
                     UndecodableError, UnsupportedError)
from ._hvdv import CONTAINERS as _CONTAINERS, version as _library_version
from .frames import (BLOCK_ALL_ERRORS, BLOCK_AUDIO_ERRORS, BLOCK_BAD_ID, BLOCK_DAMAGED, BLOCK_DISAGREES, BLOCK_DTYPE,
                     BLOCK_ERASED, BLOCK_STA, MACROBLOCK_DTYPE, MB_BAD_ID, MB_ERROR, MB_FILLED, MB_MISSING,
                     MB_UNTOUCHED, SECTION_AUDIO, SECTION_HEADER, SECTION_SUBCODE, SECTION_VAUX, SECTION_VIDEO,
                     AudioInfo, Blocks, Captions, Damage, Decoder, Frame, FrameInfo, Planes, Reader, open)
from .merging import merge
from .records import Scan, scan

#: Version of the hvdv library the package is built on.
__version__ = _library_version()
#: True when containers (AVI, QuickTime / MP4, MXF) can be read (built with libavformat).
CONTAINERS = bool(_CONTAINERS)

__all__ = ["open", "Reader", "Frame", "FrameInfo", "Planes", "Damage", "AudioInfo", "Decoder", "scan", "Scan",
           "Error", "InputError", "ArgumentError", "TruncatedError", "NotDVError", "AmbiguousError",
           "UnsupportedError", "NoAudioError", "UndecodableError", "MACROBLOCK_DTYPE", "MB_ERROR", "MB_MISSING",
           "MB_BAD_ID", "MB_FILLED", "MB_UNTOUCHED", "CONTAINERS", "errors", "merge", "Blocks", "Captions",
           "BLOCK_DTYPE", "BLOCK_DAMAGED", "BLOCK_STA", "BLOCK_AUDIO_ERRORS", "BLOCK_ALL_ERRORS", "BLOCK_ERASED",
           "BLOCK_DISAGREES", "BLOCK_BAD_ID", "SECTION_HEADER", "SECTION_SUBCODE", "SECTION_VAUX", "SECTION_AUDIO",
           "SECTION_VIDEO"]
