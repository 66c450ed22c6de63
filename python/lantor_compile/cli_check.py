"""``lantor-compile check``: validate strategy files and print located diagnostics.

Three output formats: ``human`` (on standard error, as compilers print
them: severity, code and message, the place, the source line with a caret
and the help, then a summary line), ``json`` (one array on standard output)
and ``github`` (GitHub Actions annotations on standard output).
``--statistics`` prints a count per code instead of the diagnostics.

``--select`` and ``--ignore`` choose the codes that are printed and that
count for ``--strict``; an error counts for the exit status whatever they
say, since it makes a compile of the file fail.

Exit status: 0 when no file has an error (warnings allowed), 1 when one
has (a file that is not UTF-8 text or not JSON included), or when a printed
warning is found under ``--strict``; 2 for usage errors and for files that
cannot be read at all (missing, standard input closed, a stream too long to
read); the other files are still checked.
"""

from __future__ import annotations

import argparse
import json
import sys
from collections import Counter
from collections.abc import Sequence
from typing import Any

from .cli_common import printable_json, say
from .cli_input import InputTooLong, read_input, strategy_files
from .cli_report import display_name, github_annotation, human_report, json_item, not_utf8, use_colour
from .diagnostics import Diagnostic, Severity, check
from .schema import describe

FORMATS = ("human", "json", "github")

# Every code a diagnostic can carry, with its severity, as the checker lists them.
CODES: dict[str, Severity] = {code["name"]: code["severity"] for code in describe()["codes"]}

# A file's name, its bytes and one diagnostic about it.
Found = tuple[str, bytes, Diagnostic]


def add_check_parser(commands: Any) -> None:
    """Register the ``check`` subcommand on the ``commands`` subparsers."""
    parser = commands.add_parser(
        "check",
        help="validate strategy files and report located errors and warnings",
        description="Validate each strategy FILE as a compile would and print its "
        "diagnostics: every error a reading can go on past, and any number of warnings.",
    )
    parser.add_argument(
        "files",
        nargs="+",
        metavar="FILE",
        help="strategy JSON file, a folder of them (*.json), or - for standard input",
    )
    parser.add_argument("--format", choices=FORMATS, default="human", help="output format (default human)")
    parser.add_argument("--strict", action="store_true", help="exit with status 1 on warnings too")
    parser.add_argument(
        "--select",
        type=code_list,
        metavar="CODES",
        help="print only these codes (comma-separated); errors fail the check even when not printed",
    )
    parser.add_argument(
        "--ignore", type=code_list, metavar="CODES", help="do not print these codes (comma-separated)"
    )
    parser.add_argument(
        "--statistics", action="store_true", help="print how many diagnostics of each code were found"
    )
    parser.add_argument("-q", "--quiet", action="store_true", help="print no summary line")
    parser.set_defaults(run=run_check, parser=parser)


def code_list(text: str) -> frozenset[str]:
    """``--select``/``--ignore``: comma-separated codes, each one that a diagnostic can carry."""
    codes = frozenset(code.strip() for code in text.split(",") if code.strip())
    unknown = sorted(codes - CODES.keys())
    if unknown:
        raise argparse.ArgumentTypeError(
            f"unknown code{'s' if len(unknown) > 1 else ''} {', '.join(unknown)}; "
            f"the codes are {', '.join(CODES)}"
        )
    return codes


def run_check(args: argparse.Namespace) -> int:
    """Check every file, print the diagnostics in the chosen format, return the exit status."""
    files = strategy_files(args.files, lone_stdin=False)
    unreadable = 0
    found: list[Found] = []
    for name in files:
        try:
            data = read_input(name)
        except OSError:
            say(f"error: {display_name(name)} cannot be read")
            unreadable += 1
            continue
        except InputTooLong as error:
            say(f"error: {display_name(name)} {error}")
            unreadable += 1
            continue
        found += [(name, data, d) for d in diagnose(data)]
    shown = [item for item in found if selected(item[2].code, args)]
    if args.statistics:
        write_statistics(shown, args.format)
    else:
        write_diagnostics(shown, args.format)
    if args.format == "human" and not args.quiet:
        say(summary(len(files) - unreadable, found, shown, unreadable))
    sys.stdout.flush()
    if unreadable:
        return 2
    if any(d.severity == "error" for _, _, d in found):
        return 1
    return 1 if args.strict and shown else 0


def diagnose(data: bytes) -> list[Diagnostic]:
    """The diagnostics of a strategy file's bytes: ``check``'s, or the one saying they are not UTF-8."""
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as error:
        return [not_utf8(data, error)]
    return check(text)


def selected(code: str, args: argparse.Namespace) -> bool:
    """Whether ``--select`` and ``--ignore`` let diagnostics of ``code`` be printed."""
    return (args.select is None or code in args.select) and (args.ignore is None or code not in args.ignore)


def write_diagnostics(found: Sequence[Found], output: str) -> None:
    """Print each diagnostic in the format asked for."""
    if output == "json":
        items = [{"file": name, **json_item(d)} for name, _, d in found]
        sys.stdout.write(printable_json(json.dumps(items, indent=2, ensure_ascii=False)) + "\n")
    elif output == "github":
        sys.stdout.write("".join(github_annotation(name, d) + "\n" for name, _, d in found))
    else:
        colour = use_colour(sys.stderr)
        for name, data, d in found:
            sys.stderr.write(human_report(display_name(name), data, d, colour))
        sys.stderr.flush()


def write_statistics(found: Sequence[Found], output: str) -> None:
    """Print how many diagnostics of each code there are, the most frequent first."""
    counts = Counter((d.code, d.severity) for _, _, d in found)
    rows = sorted(counts.items(), key=lambda row: (-row[1], row[0][0]))
    if output == "json":
        items = [{"code": code, "severity": severity, "count": n} for (code, severity), n in rows]
        sys.stdout.write(json.dumps(items, indent=2) + "\n")
        return
    width = max((len(str(n)) for n in counts.values()), default=1)
    code_width = max((len(code) for code, _ in counts), default=0)
    for (code, severity), n in rows:
        sys.stdout.write(f"{n:>{width}}  {code:<{code_width}}  {severity}\n")


def summary(files: int, found: Sequence[Found], shown: Sequence[Found], unreadable: int) -> str:
    """The closing line of the human format: what was printed, in how many files, and what was not."""
    text = f"{count(files, 'file')} checked"
    errors = sum(d.severity == "error" for _, _, d in shown)
    if shown:
        counts = [count(n, what) for n, what in ((errors, "error"), (len(shown) - errors, "warning")) if n]
        text += f": {' and '.join(counts)} in {count(len({name for name, _, _ in shown}), 'file')}"
    else:
        text += ", nothing found"
    left_out = sum(d.severity == "error" for _, _, d in found) - errors
    if left_out:
        text += f"; {count(left_out, 'error')} left out by --select/--ignore still fail the check"
    if unreadable:
        text += f"; {count(unreadable, 'file')} could not be read"
    return text


def count(n: int, noun: str) -> str:
    """``n`` and ``noun``, in the plural unless ``n`` is 1."""
    return f"{n} {noun}{'' if n == 1 else 's'}"
