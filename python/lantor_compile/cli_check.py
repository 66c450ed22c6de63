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
import json
import sys
from typing import Any

from .cli_common import printable_json, say
from .cli_input import InputTooLong, read_input
from .cli_report import display_name, github_annotation, human_report, json_item, use_colour
from .diagnostics import Diagnostic, check

FORMATS = ("human", "json", "github")


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
        items = [{"file": name, **json_item(d)} for name, _, d in found]
        sys.stdout.write(printable_json(json.dumps(items, indent=2, ensure_ascii=False)) + "\n")
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
