"""Located diagnostics: :func:`check` and the :class:`Diagnostic` it returns.

The native module finds each diagnostic's JSON Pointer, byte offset, line
and column (1-based, the column counting characters, so a tab or a
multi-byte character is one column), all in one pass over the text.
"""

from __future__ import annotations

from dataclasses import dataclass
from typing import Literal

from lantor_compile import _lantor_check

Severity = Literal["error", "warning"]


@dataclass(frozen=True)
class Diagnostic:
    """One finding about a strategy document, placed in its text.

    ``offset`` is the byte offset of the first byte of the character at
    fault, and ``line`` and ``column`` name that character; ``length`` is
    the bytes of the token there (a string, number or literal whole, a
    member's name, a container's opening bracket, one character of a syntax
    error), 0 at the end of the text. ``suggestion``, where a name near the
    one at fault is likely meant (a misspelt member, an operand a few edits
    from a declared indicator), is the text to put in place of those
    ``length`` bytes: that name as a JSON string, quotes included.
    """

    severity: Severity
    code: str
    message: str
    pointer: str
    line: int
    column: int
    offset: int
    help: str | None
    length: int = 0
    suggestion: str | None = None


def check(text: str) -> list[Diagnostic]:
    """Validate a strategy document's own text and return its diagnostics.

    Every error a reading can go on past (a member's value that does not
    read, a required member missing), each at its own place, with the
    message a compile gives after "strategy is not a valid StrategySpec: ";
    the compile's own error, the first in reading order, is always among
    them. A text that is not JSON gets the reader's one error, and a
    document without errors may get the crate name that a compile without
    ``crate_name`` would refuse. Any number of warnings too, all ordered by
    their place in the text. Its cost grows with the text's
    length, not faster; raises MemoryError when memory runs out.

    ``text`` is the document as ``str``, the text a compile command holds:
    anything else, bytes included, raises TypeError, as
    :meth:`Compiler.command` does (decode a file's bytes as UTF-8 first).
    """
    if not isinstance(text, str):
        raise TypeError(f"'{type(text).__name__}' object is not an instance of 'str'")
    return [diagnostic(found) for found in _lantor_check.check(text)]


def locate_compile_failure(command: str) -> Diagnostic | None:
    """Where a compile command fails before its build, placed in the command text."""
    found = _lantor_check.locate(command)
    return None if found is None else diagnostic(found)


def diagnostic(found: _lantor_check.Finding) -> Diagnostic:
    """A native finding as a Diagnostic."""
    severity, code, message, pointer, offset, help_text, line, column, length, suggestion = found
    return Diagnostic(
        severity="error" if severity == "error" else "warning",
        code=code,
        message=message,
        pointer=pointer,
        line=line,
        column=column,
        offset=offset,
        help=help_text,
        length=length,
        suggestion=suggestion,
    )


def line_and_column(data: bytes, offset: int) -> tuple[int, int]:
    """The 1-based line and character column of byte ``offset`` of ``data``.

    Lines end at line feeds, so a carriage return before one belongs to the
    line's end and shifts no column; an offset inside a character names
    that character.
    """
    line, _, column, _ = _lantor_check.position(data, max(0, offset))
    return line, column


def source_line(data: bytes, offset: int) -> str:
    """The line of ``data`` holding byte ``offset``, without its line end."""
    offset = max(0, min(offset, len(data)))
    start = data.rfind(b"\n", 0, offset) + 1
    end = data.find(b"\n", offset)
    line = data[start : len(data) if end < 0 else end]
    return line.decode("utf-8", errors="replace").rstrip("\r")
