"""Readers, frames and decoders: DV frames as stored, turned into numpy arrays,
and the state of their DIF blocks."""

import datetime
import io
import json
import os
import threading
from dataclasses import dataclass
from fractions import Fraction
from typing import Any, Dict, Iterator, List, NamedTuple, Optional, Sequence, Tuple, Union

import numpy as np

from . import _hvdv
from .errors import ArgumentError, Error, InputError, NoAudioError

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

#: One macroblock of :attr:`Damage.macroblocks`, in the order of its video
#: blocks in the frame: top-left luma sample ``x``, ``y`` (full size; 0xFFFF
#: when not known), ``sta`` (0: no error; odd: in error; even: concealed by
#: the recorder), ``flags`` (:data:`MB_ERROR` ...), ``sequence`` (DIF
#: sequence slot, channel after channel).
MACROBLOCK_DTYPE = np.dtype({"names": ["x", "y", "sta", "flags", "sequence"],
                             "formats": ["<u2", "<u2", "u1", "u1", "u1"],
                             "offsets": [0, 2, 4, 5, 6], "itemsize": 8})
MB_ERROR = 1        #: its STA says the data is in error
MB_MISSING = 2      #: its DIF block lies outside the frame's bytes
MB_BAD_ID = 4       #: its DIF block ID names no place, or a place taken
MB_FILLED = 8       #: drawn flat grey by the decoder
MB_UNTOUCHED = 16   #: kept from the previous picture (``decode(previous=...)``)

#: One DIF block of :attr:`Frame.blocks`, in the frame's byte order:
#: ``section`` (:data:`SECTION_HEADER` ... :data:`SECTION_VIDEO`), its place
#: from its position in the frame (``channel``, ``sequence``, ``number``
#: within its section of the sequence), ``flags`` (:data:`BLOCK_DAMAGED`
#: ...), ``sta`` (video: the STA nibble) and ``error_samples`` (audio:
#: samples holding the error code).
BLOCK_DTYPE = np.dtype({"names": ["section", "channel", "sequence", "number", "flags", "sta", "error_samples"],
                        "formats": ["u1", "u1", "u1", "u1", "u1", "u1", "<u2"],
                        "offsets": [0, 1, 2, 3, 4, 5, 6], "itemsize": 8})
SECTION_HEADER, SECTION_SUBCODE, SECTION_VAUX, SECTION_AUDIO, SECTION_VIDEO = range(5)
BLOCK_DAMAGED = 1      #: read in error, for any of the reasons below
BLOCK_STA = 2          #: video: its STA is not 0
BLOCK_AUDIO_ERRORS = 4  #: audio: some samples hold the error code
BLOCK_ALL_ERRORS = 8   #: audio: every sample holds the error code
BLOCK_ERASED = 16      #: subcode, VAUX: a pack all 0xFF where other sequences carry one
BLOCK_DISAGREES = 32   #: subcode, VAUX: a pack differing from most sequences' copies
BLOCK_BAD_ID = 64      #: its ID names another section, sequence or number

_CHROMA = {1: "4:1:1", 2: "4:2:0", 3: "4:2:2"}
_PACKED = ("UYVY", "UyVy", "YUY2", "YUYV", "YuYv", "VUYA", "BGR3", "R24C", "BGR4", "BGRA", "R32C", "R565",
           "R555")

# Keys of a frame's scan record that describe the frame itself, not a scan
# of many frames nor the damage (see Frame.damage).
_RECORD_KEYS = ("timecode", "recorded", "recStart", "repeated", "kind", "aspect", "fieldOrder", "audio")


def _path(path: PathLike) -> str:
    text = os.fsdecode(os.fspath(path))
    if not text or "\0" in text:
        raise InputError(f"{text!r}: not a file name", 1)
    if os.path.isdir(text):
        raise InputError(f"{text}: is a folder", 1)
    return text


class Decoder:
    """A decoder, reused from frame to frame (it keeps its work memory and
    threads).  ``threads``: threads decoding one frame (0: one a processor,
    at most 16; 1: on the calling thread).  ``simd=False`` uses the plain C++
    kernels (the same pictures, slower).

    One decoder serves one call at a time (other threads calling it wait);
    give each Python thread its own for decodes in parallel.  Frames decode
    with a decoder of their calling thread unless one is given."""

    def __init__(self, threads: int = 0, simd: bool = True) -> None:
        if not isinstance(threads, int) or isinstance(threads, bool):
            raise TypeError("threads: an int from 0 (one a processor) to 16")
        if not 0 <= threads <= 16:
            raise ArgumentError(f"threads: {threads}, not from 0 (one a processor) to 16", -1)
        self.threads = threads
        self._impl = _hvdv.Decoder(threads, bool(simd))

    def close(self) -> None:
        """Frees the decoder; later calls raise hvdv.ArgumentError."""
        self._impl.close()

    def __enter__(self) -> "Decoder":
        return self

    def __exit__(self, *exc: Any) -> None:
        self.close()


_local = threading.local()


def _decoder(decoder: Optional[Decoder]) -> Decoder:
    if decoder is not None:
        if not isinstance(decoder, Decoder):
            raise TypeError("decoder: an hvdv.Decoder or None")
        return decoder
    mine = getattr(_local, "decoder", None)
    if mine is None:
        mine = _local.decoder = Decoder()
    return mine


@dataclass(frozen=True)
class FrameInfo:
    """What a frame is, from its DIF data (header, VAUX packs, block IDs, size)."""

    kind: str                      #: "DV25 625/50 4:2:0", "DVCPRO HD 1080i50", ... as ``hvdv scan`` names it
    lines: int                     #: 525 or 625
    frame_bytes: int               #: bytes of a whole frame of this kind
    chroma: str                    #: "4:1:1", "4:2:0" or "4:2:2" (the coded sampling)
    coded_size: Tuple[int, int]    #: (width, height) of the luma plane
    chroma_size: Tuple[int, int]   #: (width, height) of each chroma plane
    display_size: Tuple[int, int]  #: (width, height) the picture is shown at
    rate: Fraction                 #: pictures a second, e.g. Fraction(30000, 1001)
    aspect: Fraction               #: display aspect, 4/3 or 16/9
    interlaced: bool
    field_order: Optional[str]     #: "bottom first", "top first", "progressive" (as ``hvdv scan``), or None


class Damage(NamedTuple):
    """The macroblock map of a decode and its counts."""

    macroblocks: np.ndarray        #: structured array of MACROBLOCK_DTYPE, one entry a macroblock
    damaged: int                   #: macroblocks in error, missing or misplaced
    filled: int                    #: drawn flat grey by the decoder
    untouched: int                 #: kept from the previous picture
    sta_counts: Tuple[int, ...]    #: video blocks per STA value 0-15
    sequence_damaged: Tuple[int, ...]  #: damaged macroblocks per DIF sequence slot


class Blocks(NamedTuple):
    """The state of every DIF block of a frame and its totals."""

    blocks: np.ndarray             #: structured array of BLOCK_DTYPE, one entry a whole block
    block_count: int               #: whole 80-byte blocks, at most those of a frame of its kind
    damaged: Tuple[int, ...]       #: damaged blocks per section (header, subcode, VAUX, audio, video)
    audio_error_samples: int       #: error samples over every audio block
    audio_bits: int                #: 16 or 12: how the audio samples were read


@dataclass(frozen=True)
class Captions:
    """The line-21 (CEA-608) bytes of a frame, each field's pair the value
    most of the frame's copies agree on."""

    present: bool                  #: the frame carries a closed-caption pack
    field1: bytes                  #: field 1's two bytes as stored (parity bits included)
    field2: bytes                  #: field 2's; b"\x80\x80" carries nothing
    parity_errors: int             #: bits 0-3: field 1 byte 1, byte 2, field 2 byte 1, byte 2 of even parity
    copies: int                    #: packs read
    field1_disagreeing: int        #: copies whose field-1 pair differs from field1
    field2_disagreeing: int        #: copies whose field-2 pair differs from field2


@dataclass(frozen=True)
class AudioInfo:
    """The audio of one frame."""

    rate: int                      #: samples a second: 48000, 44100 or 32000
    bits: int                      #: 16 (linear) or 12 (non-linear), as stored
    channels: int
    samples: int                   #: samples of each channel in this frame
    locked: bool                   #: locked to the video
    emphasis: bool
    error_samples: int             #: samples that carried the error code
    error_positions: Tuple[int, ...]  #: the first (up to 16) of them, as indices into the samples x channels values
    missing_blocks: int            #: audio DIF blocks absent or not marked as audio


class Planes(NamedTuple):
    """A picture at its coded sampling: three 2-D uint8 arrays (rows, samples)."""

    y: np.ndarray
    cb: np.ndarray
    cr: np.ndarray


def _damage(raw: tuple) -> Damage:
    table, damaged, filled, untouched, sta, sequences = raw
    return Damage(np.frombuffer(bytearray(table), dtype=MACROBLOCK_DTYPE), damaged, filled, untouched,
                  tuple(sta), tuple(sequences))


def _datetime(rec: Sequence[int], date: bool, time: bool) -> Tuple[Any, Any, Any]:
    year, month, day, hours, minutes, seconds, _ = rec
    d = t = None
    try:
        d = datetime.date(year, month, day) if date else None
    except ValueError:
        pass
    try:
        t = datetime.time(hours, minutes, seconds) if time else None
    except ValueError:
        pass
    return (datetime.datetime.combine(d, t) if d and t else None), d, t


class Frame:
    """One DV frame as stored: ``index`` (from 0), ``offset`` (byte offset in
    a raw DV file, None in a container), ``data`` (its DIF blocks as bytes).
    What it is (:attr:`info`), carries (:attr:`metadata`, :attr:`captions`),
    holds (:meth:`decode`, :meth:`audio`) and how well it was read
    (:attr:`damage`, :attr:`blocks`) is read on request."""

    __slots__ = ("index", "offset", "data", "_info", "_metadata", "_damage", "_audio_info", "_blocks")

    def __init__(self, data: bytes, index: int = 0, offset: Optional[int] = None) -> None:
        self.data = bytes(data)
        self.index = int(index)
        self.offset = offset if offset is None or offset >= 0 else None
        self._info: Optional[FrameInfo] = None
        self._metadata: Optional[Dict[str, Any]] = None
        self._damage: Optional[Damage] = None
        self._audio_info: Optional[AudioInfo] = None
        self._blocks: Optional[Blocks] = None

    def __repr__(self) -> str:
        return f"<hvdv.Frame {self.index} ({len(self.data)} bytes)>"

    @property
    def info(self) -> FrameInfo:
        """What the frame is; hvdv.NotDVError (or another hvdv.Error) when it
        cannot be identified."""
        if self._info is None:
            i = _hvdv.probe(self.data)
            self._info = FrameInfo(
                kind=i["kind_name"], lines=i["lines"], frame_bytes=i["frame_bytes"], chroma=_CHROMA[i["chroma"]],
                coded_size=(i["coded_width"], i["coded_height"]),
                chroma_size=(i["chroma_width"], i["chroma_height"]),
                display_size=(i["display_width"], i["coded_height"]),
                rate=Fraction(i["rate_num"], i["rate_den"] or 1),
                aspect=Fraction(16, 9) if i["wide"] else Fraction(4, 3), interlaced=i["interlaced"],
                field_order=self.metadata["fieldOrder"])
        return self._info

    @property
    def metadata(self) -> Dict[str, Any]:
        """The frame's metadata.  These keys, and their values, are those of
        ``hvdv scan --json``: ``timecode`` ("HH:MM:SS:FF", ";FF" when
        drop-frame), ``recStart``, ``repeated``, ``kind``, ``aspect``,
        ``fieldOrder``, ``audio`` (a dict, or None), except ``recorded``: a
        ``datetime.datetime`` (local time as recorded) or None.  Also:
        ``recordedDate``/``recordedTime`` (when only one is there),
        ``recordedFromSubcode``, ``timecodeDropFrame``, ``cgms`` (copy
        control), ``captions`` (closed-caption packs, 5 bytes each),
        ``camera`` (decoded camera fields and the raw packs 0x70-0x7F by
        type) and ``error`` (why the frame could not be fully read, or
        None).  A value the frame does not carry is None."""
        if self._metadata is None:
            record = json.loads(_hvdv.frame_record(self.data, self.index, -1 if self.offset is None else self.offset))
            meta = {key: record[key] for key in _RECORD_KEYS}
            meta["error"] = record["error"]
            try:
                raw = _hvdv.metadata(self.data)
            except Error:
                raw = None
            present = raw["present"] if raw else 0
            when, date, time = _datetime(raw["rec"], bool(present & 2), bool(present & 4)) if raw else (None,) * 3
            meta["recorded"] = when
            meta["recordedDate"] = date
            meta["recordedTime"] = time
            meta["recordedFromSubcode"] = bool(raw and raw["rec_from_subcode"]) if (present & 6) else None
            meta["timecodeDropFrame"] = raw["tc_drop_frame"] if present & 1 else None
            meta["cgms"] = raw["cgms"] if present & 0x100 else None
            meta["captions"] = raw["captions"] if present & 0x400 else []
            meta["camera"] = raw["camera"] if present & 0x800 else None
            self._metadata = meta
        return self._metadata

    def decode(self, format: str = "planes", *, half: bool = False, previous: Optional[Sequence[np.ndarray]] = None,
               coded_width: bool = False, ignore_wide: bool = False, swap_fields: bool = False,
               decoder: Optional[Decoder] = None) -> Union[Planes, np.ndarray]:
        """The picture as numpy arrays.

        ``format``: ``"planes"`` (default) gives :class:`Planes`, the coded
        sampling: Y of the coded size, Cb and Cr a quarter wide (4:1:1), half
        wide and half high (625/50 4:2:0, the chroma rows as DV stores them)
        or half wide (4:2:2).  ``"rgb"`` gives an H x W x 3 uint8 array (R, G,
        B, full range).  A packed FOURCC of hv_dec_dv gives H x W x B uint8
        (B bytes a pixel: 2 for "UYVY", "YUY2"; 3 for "BGR3", "R24C"; 4 for
        "VUYA", "BGRA", "R32C"), or H x W uint16 for "R565" and "R555".
        Packed DVCPRO HD comes at its display width unless ``coded_width``.

        ``half``: half wide and half high.  ``previous``: the planes of the
        previous picture (same kind and size): damaged macroblocks keep its
        samples (temporal concealment; the planes given are not changed).
        ``ignore_wide``: no 16:9 squeeze (packed).  ``swap_fields``: exchange
        the two fields' lines.  ``decoder``: the decoder to use (default: one
        of the calling thread).  The GIL is released while decoding.

        The damage of the decode becomes :attr:`damage`.  Raises
        hvdv.UndecodableError when no macroblock could be decoded."""
        if not isinstance(format, str):
            raise TypeError("format: a str, e.g. \"planes\", \"rgb\" or \"UYVY\"")
        impl = _decoder(decoder)._impl
        if format == "planes":
            y, cb, cr, damage = impl.planes(self.data, bool(half), previous, bool(swap_fields))
            self._damage = _damage(damage)
            return Planes(y, cb, cr)
        if format != "rgb" and format not in _PACKED:
            raise ValueError(f"format: \"planes\", \"rgb\" or one of {', '.join(_PACKED)}; got {format!r}")
        if previous is not None:
            raise ValueError("previous: concealment is for planes only")
        picture, damage = impl.packed(self.data, format, 0, 0, bool(half), bool(coded_width), bool(ignore_wide),
                                      bool(swap_fields))
        self._damage = _damage(damage)
        return picture

    @property
    def damage(self) -> Damage:
        """The macroblock map and counts of this frame's last :meth:`decode`
        (a half-size decode of its planes when there was none)."""
        if self._damage is None:
            self.decode(half=True)
        return self._damage  # type: ignore[return-value]

    @property
    def blocks(self) -> Blocks:
        """Every DIF block: where it belongs and whether it was read in error
        (video STA, audio error samples, erased or disagreeing packs, an ID
        naming another place), as :data:`BLOCK_DTYPE` records, and the
        totals.  Read from the bytes, nothing decoded; raises hvdv.NotDVError
        (or another hvdv.Error) when the frame cannot be identified."""
        if self._blocks is None:
            table, s = _hvdv.block_status(self.data)
            self._blocks = Blocks(np.frombuffer(bytearray(table), dtype=BLOCK_DTYPE), s["block_count"],
                                  tuple(s["damaged"]), s["audio_error_samples"], s["audio_bits"])
        return self._blocks

    @property
    def captions(self) -> Captions:
        """The frame's closed-caption bytes (``present`` False and pairs
        0x80 0x80 when it carries none); hvdv.NotDVError when the frame
        cannot be identified."""
        c = _hvdv.captions(self.data)
        return Captions(c["present"], c["field1"], c["field2"], c["parity_errors"], c["copies"],
                        c["field1_disagreeing"], c["field2_disagreeing"])

    def audio(self, *, hold_errors: bool = False, decoder: Optional[Decoder] = None) -> np.ndarray:
        """Every audio channel as int16, shape (samples, channels), sample for
        sample as stored (12-bit audio expanded to 16 bits).  ``hold_errors``:
        error samples repeat their channel's previous good one.  Raises
        hvdv.NoAudioError when the frame has no audio."""
        pcm, info = _decoder(decoder)._impl.audio(self.data, bool(hold_errors))
        self._audio_info = AudioInfo(info["rate"], info["bits"], info["channels"], info["samples"], info["locked"],
                                     info["emphasis"], info["error_samples"], tuple(info["error_positions"]),
                                     info["missing_blocks"])
        return pcm

    @property
    def audio_info(self) -> Optional[AudioInfo]:
        """The frame's audio facts (rate, bits, channels, locked, error
        samples...); None when it has no audio."""
        if self._audio_info is None:
            try:
                self.audio()
            except NoAudioError:
                return None
        return self._audio_info


class Reader:
    """The DV frames of a file: raw DV (by its content, whatever its name) or
    the DV track of an AVI, QuickTime / MP4 or MXF file, each frame as stored.

    Iterate it for :class:`Frame` objects (each iteration starts from the
    first frame).  ``len()`` is the count the container states or, for raw
    DV, the file size over the first frame's size (a last frame cut short
    counts); raises TypeError when neither is known (standard input, "-",
    is read as raw DV, and iterated only).  ``reader[n]`` gives
    frame n (raw DV: read at its offset once the offsets up to it are known;
    containers: read again from the start when n lies behind).  A context
    manager; :meth:`close` ends reading."""

    def __init__(self, path: PathLike) -> None:
        self.path = _path(path)
        self._first: Optional[Any] = _hvdv.Source(os.fsencode(self.path))
        facts = self._first.facts()
        #: The container: "raw DV", "AVI", "QuickTime / MP4", "MXF"...
        self.format: str = facts["format"]
        #: What the container states: codec tag, rate, aspect, timecode, frames.
        self.container: Dict[str, Any] = facts
        self._raw = self.format == "raw DV"
        self._cursor: Optional[Any] = None
        self._cursor_next = 0
        self._offsets: List[Tuple[int, int]] = []
        self._length: Optional[int] = facts["frames"]
        self._pending: Optional[Tuple[int, int, bytes]] = None
        if self._raw:
            # The first frame's size gives the count; the frame is kept for
            # the first iteration (standard input cannot be read again).
            self._length = None
            self._pending = self._first.next()
            if self._pending is not None and os.path.isfile(self.path):
                self._length = -(-os.path.getsize(self.path) // len(self._pending[2]))
        self._closed = False

    def __repr__(self) -> str:
        return f"<hvdv.Reader {self.path!r} ({self.format})>"

    def __enter__(self) -> "Reader":
        return self

    def __exit__(self, *exc: Any) -> None:
        self.close()

    def close(self) -> None:
        self._first = self._cursor = None
        self._closed = True

    def _open(self) -> Tuple[Any, Optional[Tuple[int, int, bytes]]]:
        if self._closed:
            raise ValueError("the reader is closed")
        if self._first is not None:
            source, pending = self._first, self._pending
            self._first = self._pending = None
            return source, pending
        return _hvdv.Source(os.fsencode(self.path)), None

    def __iter__(self) -> Iterator[Frame]:
        source, item = self._open()
        if item is None:
            item = source.next()
        while item is not None:
            yield Frame(item[2], item[0], item[1])
            item = source.next()

    def __len__(self) -> int:
        if self._length is None:
            raise TypeError(f"{self.path}: the number of frames is not known before reading them all")
        return self._length

    def __getitem__(self, n: int) -> Frame:
        if not isinstance(n, int) or isinstance(n, bool):
            raise TypeError("frame index: an int")
        if self.path == "-":
            raise TypeError("standard input is read in order: iterate the reader")
        if n < 0:
            n += len(self)
        if n < 0:
            raise IndexError("frame index out of range")
        if self._raw and n < len(self._offsets):
            offset, size = self._offsets[n]
            with io.open(self.path, "rb") as f:
                f.seek(offset)
                data = f.read(size)
            if len(data) == size:
                return Frame(data, n, offset)
        if self._closed:
            raise ValueError("the reader is closed")
        if self._cursor is None or n < self._cursor_next:
            self._cursor = _hvdv.Source(os.fsencode(self.path))
            self._cursor_next = 0
        while True:
            item = self._cursor.next()
            if item is None:
                self._cursor = None
                raise IndexError(f"frame index {n} out of range")
            index, offset, data = item
            self._cursor_next = index + 1
            if self._raw and index == len(self._offsets):
                self._offsets.append((offset, len(data)))
            if index == n:
                return Frame(data, index, offset)


def open(path: PathLike) -> Reader:  # noqa: A001 - the package's entry point, like io.open
    """Opens a DV file (raw DV, AVI, QuickTime / MP4, MXF) for reading its
    frames.  Raises hvdv.InputError when it cannot be opened or is not DV."""
    return Reader(path)
