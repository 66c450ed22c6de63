"""How ``lantor-compile`` prints a located diagnostic: for a person, as JSON, or
as a GitHub Actions annotation; and a diagnostic found in a command placed back
in the file that the command was made from.
"""

from __future__ import annotations

import dataclasses
import os
from typing import Any, TextIO

from .cli_common import printable
from .diagnostics import Diagnostic, line_and_column, source_line

# A source line longer than this many characters is shown in part, around
# the column: a minified document can be one line of many megabytes.
SHOWN_LINE_WIDTH = 120

# Select Graphic Rendition codes for the human format's colours.
BOLD_RED = "1;31"
BOLD_YELLOW = "1;33"
BOLD_BLUE = "1;34"
BOLD = "1"


def display_name(name: str) -> str:
    """How a file is named in human output."""
    return "<stdin>" if name == "-" else name


def use_colour(stream: TextIO) -> bool:
    """Colour only on a terminal, and never when ``NO_COLOR`` is set."""
    return "NO_COLOR" not in os.environ and stream.isatty()


def paint(text: str, code: str, colour: bool) -> str:
    """``text`` in the colour ``code`` when ``colour`` is on."""
    return f"\x1b[{code}m{text}\x1b[0m" if colour else text


def human_report(name: str, data: bytes, d: Diagnostic, colour: bool = False) -> str:
    """One diagnostic as compilers print it, ending in a blank line.

    Every text in it, the file's own line included, has its control
    characters escaped (tabs aside, which keep the caret in line).
    """
    head = paint(f"{d.severity}[{d.code}]", BOLD_RED if d.severity == "error" else BOLD_YELLOW, colour)
    line, caret = excerpt(source_line(data, d.offset), d.column)
    marks = "^" * underline_width(data, d, len(line) - caret)
    gutter = " " * len(str(d.line))
    bar = paint(f"{gutter} |", BOLD_BLUE, colour)
    # The caret's indent repeats the line's own tabs so that it lines up.
    indent = "".join("\t" if ch == "\t" else " " for ch in line[:caret])
    place = f"{printable(name, keep='')}:{d.line}:{d.column} at {printable(d.pointer or '/', keep='')}"
    out = [
        f"{head}{paint(': ' + printable(d.message, keep=''), BOLD, colour)}",
        f"{gutter}{paint('-->', BOLD_BLUE, colour)} {place}",
        bar,
        f"{paint(f'{d.line} |', BOLD_BLUE, colour)} {line}",
        f"{bar} {indent}{paint(marks, BOLD_RED if d.severity == 'error' else BOLD_YELLOW, colour)}",
    ]
    if d.help is not None:
        out.append(f"{gutter} {paint('=', BOLD_BLUE, colour)} help: {printable(d.help, keep='')}")
    return "\n".join(out) + "\n\n"


def excerpt(line: str, column: int) -> tuple[str, int]:
    """What to show of ``line`` for a caret at character ``column`` (from 1), and the caret's index in it.

    Control characters but tabs are escaped; a line longer than
    :data:`SHOWN_LINE_WIDTH` is cut to that many characters around the
    column, with ``...`` where it was cut.
    """
    before = printable(line[: column - 1], keep="\t")
    shown = before + printable(line[column - 1 :], keep="\t")
    caret = len(before)
    if len(shown) <= SHOWN_LINE_WIDTH:
        return shown, caret
    start = max(0, min(caret - SHOWN_LINE_WIDTH // 2, len(shown) - SHOWN_LINE_WIDTH))
    end = start + SHOWN_LINE_WIDTH
    head = "..." if start > 0 else ""
    tail = "..." if end < len(shown) else ""
    return head + shown[start:end] + tail, len(head) + caret - start


def underline_width(data: bytes, d: Diagnostic, room: int) -> int:
    """How many characters the caret line marks under the diagnostic's place.

    The whole token there as it is shown (control characters escaped), but
    never past the ``room`` left on the shown line, and at least one.
    """
    token = data[d.offset : d.offset + d.length].decode("utf-8", errors="replace")
    token = token.split("\n", 1)[0].rstrip("\r")
    return max(1, min(len(printable(token, keep="\t")), room))


def json_item(d: Diagnostic) -> dict[str, Any]:
    """A diagnostic as a JSON object with exactly the members the json format promises (but ``file``)."""
    return {
        "line": d.line,
        "column": d.column,
        "pointer": d.pointer,
        "severity": d.severity,
        "code": d.code,
        "message": d.message,
        "help": d.help,
    }


def github_annotation(name: str, d: Diagnostic) -> str:
    """A GitHub Actions workflow command that annotates the file at the place."""

    def data(text: str) -> str:
        """Escapes for a command's message; the log that shows it is a terminal too."""
        return printable(text, keep="\t\r\n").replace("%", "%25").replace("\r", "%0D").replace("\n", "%0A")

    def prop(text: str) -> str:
        """Escapes for a command's property value."""
        return data(text).replace(":", "%3A").replace(",", "%2C")

    message = f"{d.message} (at {d.pointer or '/'})" + (f"; help: {d.help}" if d.help else "")
    return (
        f"::{d.severity} file={prop(name)},line={d.line},col={d.column},title={prop(d.code)}::{data(message)}"
    )


def relocated(d: Diagnostic, start: int, data: bytes, pointer_prefix: str) -> Diagnostic | None:
    """``d``, found in a command that holds ``data`` from byte ``start``, placed in ``data``.

    None when the place lies outside it.
    """
    offset = d.offset - start
    if not 0 <= offset <= len(data):
        return None
    line, column = line_and_column(data, offset)
    pointer = d.pointer[len(pointer_prefix) :] if d.pointer.startswith(pointer_prefix) else d.pointer
    # A help that names a place names it first, after " at ", in the command's
    # frame as the pointer is; it names it in the file's frame too.
    help_text = d.help.replace(f" at {pointer_prefix}/", " at /", 1) if d.help is not None else None
    return dataclasses.replace(d, pointer=pointer, line=line, column=column, offset=offset, help=help_text)


def not_utf8(data: bytes, error: UnicodeDecodeError) -> Diagnostic:
    """The located error for a file whose bytes are not UTF-8 text, at the first byte that is not."""
    line, column = line_and_column(data, error.start)
    return Diagnostic(
        severity="error",
        code="syntax",
        message=f"not UTF-8 text: {error.reason}",
        pointer="",
        line=line,
        column=column,
        offset=error.start,
        help="save the file as UTF-8",
    )
