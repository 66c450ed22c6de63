"""``lantor-compile check``: validate strategy files and print located diagnostics.

Three output formats: ``human`` (on standard error, as compilers print
them: severity, code and message, the place, the source line with a caret
and the help), ``json`` (one array on standard output) and ``github``
(GitHub Actions annotations on standard output).

Exit status: 0 when no file has an error (warnings allowed), 1 when one
has, or when any warning is found under ``--strict``; 2 for files that
cannot be read, are not UTF-8 or are too long to read from a stream (the
other files are still checked).
"""

from __future__ import annotations

import argparse
import dataclasses
import json
import os
import sys
from collections.abc import Sequence
from typing import Any, TextIO

from .cli_common import printable, printable_json, say
from .cli_input import InputTooLong, read_input
from .diagnostics import Diagnostic, check, line_and_column, source_line

FORMATS = ("human", "json", "github")

# A source line longer than this many characters is shown in part, around
# the column: a minified document can be one line of many megabytes.
SHOWN_LINE_WIDTH = 120

# Select Graphic Rendition codes for the human format's colours.
BOLD_RED = "1;31"
BOLD_YELLOW = "1;33"
BOLD_BLUE = "1;34"
BOLD = "1"


def add_check_parser(commands: Any) -> None:
    """Register the ``check`` subcommand on the ``commands`` subparsers."""
    parser = commands.add_parser(
        "check",
        help="validate strategy files and report located errors and warnings",
        description="Validate each strategy FILE as a compile would and print its "
        "diagnostics: at most one error per file and any number of warnings.",
    )
    parser.add_argument(
        "files", nargs="+", metavar="FILE", help="strategy JSON file, or - for standard input"
    )
    parser.add_argument("--format", choices=FORMATS, default="human", help="output format (default human)")
    parser.add_argument("--strict", action="store_true", help="exit with status 1 on warnings too")
    parser.set_defaults(run=run_check, parser=parser)


def run_check(args: argparse.Namespace) -> int:
    """Check every file, print the diagnostics in the chosen format, return the exit status."""
    unreadable = False
    found: list[tuple[str, bytes, Diagnostic]] = []
    for name in args.files:
        try:
            data: bytes | None = read_input(name)
            problem = "is not UTF-8 text"
        except OSError:
            data, problem = None, "cannot be read"
        except InputTooLong as error:
            data, problem = None, str(error)
        text = None if data is None else decode(data)
        if text is None:
            say(f"error: {display_name(name)} {problem}")
            unreadable = True
            continue
        found += [(name, data or b"", d) for d in check(text)]
    diagnostics = [d for _, _, d in found]
    if args.format == "json":
        sys.stdout.write(json_report(found) + "\n")
    elif args.format == "github":
        sys.stdout.write("".join(github_annotation(name, d) + "\n" for name, _, d in found))
    else:
        colour = use_colour(sys.stderr)
        for name, data, d in found:
            sys.stderr.write(human_report(display_name(name), data, d, colour))
    sys.stdout.flush()
    sys.stderr.flush()
    if unreadable:
        return 2
    if any(d.severity == "error" for d in diagnostics):
        return 1
    return 1 if args.strict and diagnostics else 0


def decode(data: bytes) -> str | None:
    """``data`` as UTF-8 text, or None if it is not."""
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        return None


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
        f"{bar} {indent}{paint('^', BOLD_RED if d.severity == 'error' else BOLD_YELLOW, colour)}",
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


def json_report(found: Sequence[tuple[str, bytes, Diagnostic]]) -> str:
    """One JSON array of objects with exactly the members the format promises."""
    items = [
        {
            "file": name,
            "line": d.line,
            "column": d.column,
            "pointer": d.pointer,
            "severity": d.severity,
            "code": d.code,
            "message": d.message,
            "help": d.help,
        }
        for name, _, d in found
    ]
    return printable_json(json.dumps(items, indent=2, ensure_ascii=False))


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
    return dataclasses.replace(d, pointer=pointer, line=line, column=column, offset=offset)
