"""Located diagnostics: :func:`check` and the :class:`Diagnostic` it returns.

The native module finds each diagnostic's JSON Pointer and byte offset;
this module adds the line and the column (1-based, the column counting
characters, so a tab or a multi-byte character is one column).
"""

from __future__ import annotations

from dataclasses import dataclass
from typing import Literal

from lantor_compile import _lantor_check

Severity = Literal["error", "warning"]


@dataclass(frozen=True)
class Diagnostic:
    """One finding about a strategy document, placed in its text."""

    severity: Severity
    code: str
    message: str
    pointer: str
    line: int
    column: int
    offset: int
    help: str | None


def check(text: str) -> list[Diagnostic]:
    """Validate a strategy document's own text and return its diagnostics.

    At most one error (validation stops at the first, with the message a
    compile gives after "strategy is not a valid StrategySpec: ", or the
    reader's message for text that is not JSON) and any number of warnings,
    ordered by their place in the text.

    ``text`` is the document as ``str``, the text a compile command holds:
    anything else, bytes included, raises TypeError, as
    :meth:`Compiler.command` does (decode a file's bytes as UTF-8 first).
    """
    if not isinstance(text, str):
        raise TypeError(f"'{type(text).__name__}' object is not an instance of 'str'")
    data = text.encode("utf-8")
    return [diagnostic(data, found) for found in _lantor_check.check(text)]


def locate_compile_failure(command: str) -> Diagnostic | None:
    """Where a compile command fails before its build, placed in the command text."""
    found = _lantor_check.locate(command)
    return None if found is None else diagnostic(command.encode("utf-8"), found)


def diagnostic(data: bytes, found: tuple[str, str, str, str, int, str | None]) -> Diagnostic:
    """A native finding with its line and column in ``data``, the UTF-8 text it came from."""
    severity, code, message, pointer, offset, help_text = found
    line, column = line_and_column(data, offset)
    return Diagnostic(
        severity="error" if severity == "error" else "warning",
        code=code,
        message=message,
        pointer=pointer,
        line=line,
        column=column,
        offset=offset,
        help=help_text,
    )


def line_and_column(data: bytes, offset: int) -> tuple[int, int]:
    """The 1-based line and character column of byte ``offset`` of ``data``.

    Lines end at line feeds, so a carriage return before one belongs to the
    line's end and shifts no column.
    """
    offset = max(0, min(offset, len(data)))
    line_start = data.rfind(b"\n", 0, offset) + 1
    column = len(data[line_start:offset].decode("utf-8", errors="replace")) + 1
    return data.count(b"\n", 0, offset) + 1, column


def source_line(data: bytes, offset: int) -> str:
    """The line of ``data`` holding byte ``offset``, without its line end."""
    offset = max(0, min(offset, len(data)))
    start = data.rfind(b"\n", 0, offset) + 1
    end = data.find(b"\n", offset)
    line = data[start : len(data) if end < 0 else end]
    return line.decode("utf-8", errors="replace").rstrip("\r")
