"""Reading the files that ``lantor-compile`` splices into its commands."""

from __future__ import annotations

import json
import sys
from typing import NoReturn

from .cli_common import UsageError


def read_json_text(source: str, what: str) -> str:
    """Read a file (``-``: standard input) that must hold exactly one JSON value.

    Returns the text as read, for splicing into a command.  The check mirrors
    the compiler's reader closely enough that a file passing it is not
    rejected for its syntax; NaN and Infinity, which Python would accept, are
    refused here.
    """
    name = "standard input" if source == "-" else source
    try:
        if source == "-":
            data = sys.stdin.buffer.read()
        else:
            with open(source, "rb") as file:
                data = file.read()
    except OSError as error:
        raise UsageError(f"cannot read {what} file {name}: {error.strerror or error}") from None
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
