"""The exceptions of hvdv: one class per result of the library, all under
:class:`Error`, each carrying the library's message and its result code."""

from typing import Optional


class Error(Exception):
    """A failure of the hvdv library or of reading its input.

    ``str(e)`` is the library's message (with the file and frame where one is
    known); ``e.code`` the library's result code (negative), or 1 for input
    that cannot be opened or read."""

    def __init__(self, message: str, code: Optional[int] = None) -> None:
        super().__init__(message)
        self.code = code


class InputError(Error):
    """The file cannot be opened or read, or holds no DV frame."""


class ArgumentError(Error, ValueError):
    """A value the library does not take (e.g. previous planes of another kind)."""


class TruncatedError(Error):
    """The buffer is shorter than one DIF sequence."""


class NotDVError(Error):
    """Nothing in the bytes identifies a DV kind."""


class AmbiguousError(Error):
    """The frame's sources contradict each other."""


class UnsupportedError(Error):
    """A kind, mode or output the library does not produce."""


class NoAudioError(Error):
    """The frame carries no audio source pack."""


class UndecodableError(Error):
    """No macroblock of the frame could be decoded."""


_BY_CODE = {
    1: InputError,
    -1: ArgumentError,
    -2: TruncatedError,
    -3: NotDVError,
    -4: AmbiguousError,
    -5: UnsupportedError,
    -6: ArgumentError,
    -8: NoAudioError,
    -9: UndecodableError,
}


def error_class(code: int) -> type:
    """The exception class raised for a result code."""
    return _BY_CODE.get(code, Error)
