"""The strategy files of ``lantor-compile compile``, read and checked before
anything is built.

A file that cannot be read at all is a usage error. One that is not UTF-8
text or not one JSON value is a failed file: it is never spliced into a
command, and its located diagnostic says where it goes wrong, as ``check``
would. Every other file's text goes into its command as written, and
``check``'s warnings about it are printed first, as a build tool shows its
warnings (unless ``--quiet``).
"""

from __future__ import annotations

import json
import sys
from dataclasses import dataclass

from .cli_common import file_line, printable_json, say, write_text
from .cli_input import json_problem, read_file
from .cli_report import display_name, human_report, json_item, not_utf8, relocated, use_colour
from .cli_request import STRATEGY_POINTER, STRATEGY_PREFIX
from .diagnostics import Diagnostic, check, locate_compile_failure


@dataclass(frozen=True)
class StrategyFile:
    """A strategy file as given (``-``: standard input), with what reading it found."""

    name: str
    data: bytes
    # The text to splice into the command; None when the file is no JSON value.
    text: str | None
    # Why there is no text: where, and in one line.
    failure: Diagnostic | None
    reason: str
    warnings: list[Diagnostic]


def load_strategy(name: str, quiet: bool) -> StrategyFile:
    """Read the strategy file ``name``; its warnings only when not ``quiet``.

    Raises UsageError when it cannot be read.
    """
    data = read_file(name, "strategy")
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as error:
        failure = not_utf8(data, error)
        return StrategyFile(name, data, None, failure, failure.message, [])
    problem = json_problem(text)
    if quiet and problem is None:
        return StrategyFile(name, data, text, None, "", [])
    found = check(text)
    warnings = [] if quiet else [d for d in found if d.severity == "warning"]
    if problem is None:
        return StrategyFile(name, data, text, None, "", warnings)
    errors = [d for d in found if d.severity == "error"]
    # The checker reads as the compiler does, so it finds the fault; should
    # it ever read the text as sound, the fault is still said, at the start.
    failure = errors[0] if errors else Diagnostic("error", "syntax", "not one JSON value", "", 1, 1, 0, None)
    return StrategyFile(name, data, None, failure, f"not JSON: {failure.message}", [])


def report_strategy(strategy: StrategyFile) -> None:
    """Print a strategy file's warnings and, for one that is no JSON value, its located error."""
    found = strategy.warnings + ([strategy.failure] if strategy.failure is not None else [])
    if not found:
        return
    colour = use_colour(sys.stderr)
    name = display_name(strategy.name)
    sys.stderr.write("".join(human_report(name, strategy.data, d, colour) for d in found))
    sys.stderr.flush()


def print_unsent(strategy: StrategyFile, output: str) -> None:
    """For a file that was never sent (no JSON value): in jsonl output, its line with the located error."""
    if output == "jsonl" and strategy.failure is not None:
        item = json.dumps(json_item(strategy.failure), ensure_ascii=False, separators=(",", ":"))
        item = printable_json(item)
        write_text(file_line(strategy.name, "error", item) + "\n")


def failure_place(command: str, strategy: StrategyFile) -> Diagnostic | None:
    """Where a failed compile command failed in its strategy file, when that is where it failed."""
    found = locate_compile_failure(command)
    return None if found is None else in_file(found, strategy)


def in_file(found: Diagnostic, strategy: StrategyFile) -> Diagnostic | None:
    """``found``, placed in the command, placed in its strategy file instead; None when it lies outside.

    The file's text stands unchanged in the command after STRATEGY_PREFIX,
    so a place in the command maps back to a line and column in the file.
    """
    return relocated(found, len(STRATEGY_PREFIX.encode("utf-8")), strategy.data, STRATEGY_POINTER)


def report_location(command: str, strategy: StrategyFile) -> None:
    """After a failed compile: the located diagnostic in the strategy file, if it failed there.

    A failure in the command's own options (an MCU outside the allow-list)
    has no place in the file; its help, when it has one, is said alone.
    """
    found = locate_compile_failure(command)
    if found is None:
        return
    placed = in_file(found, strategy)
    if placed is not None:
        sys.stderr.write(
            human_report(display_name(strategy.name), strategy.data, placed, use_colour(sys.stderr))
        )
        sys.stderr.flush()
    elif found.help is not None:
        say(f"help: {found.help}")
