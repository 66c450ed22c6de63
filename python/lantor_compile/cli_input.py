"""Reading the files that ``lantor-compile`` checks or splices into its commands.

A regular file is read whole, whatever its size: the user chose it, and its
size is known before anything is read.  Anything else (standard input, a
pipe, a device such as ``/dev/zero``) may never end, so it is read up to
:data:`STREAM_LIMIT` bytes and refused beyond that.
"""

from __future__ import annotations

import errno
import io
import json
import os
import stat
import sys
from typing import BinaryIO, NoReturn

from .cli_common import UsageError

STREAM_LIMIT = 256 * 1024 * 1024
_STREAM_LIMIT_TEXT = "256 MiB"
_CHUNK = 1024 * 1024


class InputTooLong(Exception):
    """A pipe, device or standard input that held more than :data:`STREAM_LIMIT` bytes."""

    def __init__(self) -> None:
        super().__init__(
            f"is longer than {_STREAM_LIMIT_TEXT}, the most read from standard input, a pipe or a device"
        )


def read_input(source: str) -> bytes:
    """The bytes of the file ``source`` (``-``: standard input).

    Raises OSError when it cannot be read (also when standard input is
    closed) and :class:`InputTooLong` when it is not a regular file and holds
    more than :data:`STREAM_LIMIT` bytes.
    """
    if source != "-":
        with open(source, "rb") as file:
            return _read(file)
    # The interpreter sets sys.stdin to None when descriptor 0 was closed.
    stream = getattr(sys.stdin, "buffer", None)
    if stream is None:
        raise OSError(errno.EBADF, "standard input is closed")
    return _read(stream)


def _read(stream: BinaryIO) -> bytes:
    try:
        regular = stat.S_ISREG(os.fstat(stream.fileno()).st_mode)
    except (OSError, ValueError, io.UnsupportedOperation):
        regular = False
    if regular:
        return stream.read()
    data = bytearray()
    while chunk := stream.read(min(_CHUNK, STREAM_LIMIT + 1 - len(data))):
        data += chunk
        if len(data) > STREAM_LIMIT:
            raise InputTooLong
    return bytes(data)


def read_json_text(source: str, what: str) -> str:
    """Read a file (``-``: standard input) that must hold exactly one JSON value.

    Returns the text as read, for splicing into a command.  The check mirrors
    the compiler's reader closely enough that a file passing it is not
    rejected for its syntax; NaN and Infinity, which Python would accept, are
    refused here.
    """
    name = "standard input" if source == "-" else source
    try:
        data = read_input(source)
    except OSError as error:
        raise UsageError(f"cannot read {what} file {name}: {error.strerror or error}") from None
    except InputTooLong as error:
        raise UsageError(f"{what} file {name} {error}") from None
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as error:
        raise UsageError(
            f"{what} file {name} is not UTF-8 text: {error.reason} at byte {error.start}"
        ) from None
    try:
        json.loads(text, parse_constant=_reject_constant)
    except json.JSONDecodeError as error:
        raise UsageError(f"{what} file {name} is not JSON: {error}") from None
    except ValueError as error:
        raise UsageError(f"{what} file {name} is not JSON: {error}") from None
    except RecursionError:
        raise UsageError(f"{what} file {name} is nested too deeply") from None
    return text


def _reject_constant(name: str) -> NoReturn:
    raise ValueError(f"{name} is not a JSON number")
