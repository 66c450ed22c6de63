"""What every subcommand of ``lantor-compile`` shares: its name, the usage
error, and sending one command and printing the response.

Exit status of a subcommand that sends a command: 0 when the command
succeeded, 1 when the compiler answered with an in-band error (``"ok":
false``; the error text also goes to standard error).  Responses are
printed indented, as the exact compact text (``--json``) or, for
``compile``, as jsonl lines that name their strategy file.
"""

from __future__ import annotations

import argparse
import json
import re
import sys
from typing import Any

from ._lantor_compile import Compiler
from .schema import describe

PROG = "lantor-compile"

# What a compile request may choose, as the compiler describes it: the
# target kinds, the optimisation levels and the default one, the allowed
# MCUs, the output directory used when a request names none, and where the
# strategy stands in a compile command.
REQUEST: dict[str, Any] = describe()["request"]

# Only shown in notices; the request itself leaves "out_dir" out.
DEFAULT_OUT_DIR: str = REQUEST["default_out_dir"]


# The control characters: C0, DEL and C1.
_CONTROL = re.compile(r"[\x00-\x1f\x7f-\x9f]")
# The ones a JSON text may carry unescaped inside its strings.
_CONTROL_LEFT_BY_JSON = re.compile(r"[\x7f-\x9f]")


class UsageError(Exception):
    """An argument or input file that no command can be made from (exit 2)."""


def printable(text: str, keep: str = "\t\n") -> str:
    """``text`` for a terminal: each control character but those in ``keep`` written as ``\\xNN``.

    Strategy values, file names and cargo's output all reach what the tool
    prints; an escape sequence among them would otherwise move the cursor,
    clear the screen or recolour what follows.
    """
    return _CONTROL.sub(lambda found: found[0] if found[0] in keep else f"\\x{ord(found[0]):02x}", text)


def printable_json(text: str) -> str:
    """A JSON text for a terminal, with the same value: DEL and the C1 controls as ``\\u00NN``.

    JSON already escapes the others in its strings, and they appear nowhere else.
    """
    return _CONTROL_LEFT_BY_JSON.sub(lambda found: f"\\u{ord(found[0]):04x}", text)


def say(text: str) -> None:
    """Print ``text`` on standard error after the tool's name, for the person at the terminal."""
    print(f"{PROG}: {printable(text)}", file=sys.stderr, flush=True)


def json_string(value: str, option: str) -> str:
    """``value`` as a JSON string literal.

    Command-line arguments that are not valid UTF-8 arrive with lone
    surrogates, which no command text can carry; they are usage errors.
    """
    try:
        value.encode("utf-8")
    except UnicodeEncodeError:
        raise UsageError(f"{option} is not valid UTF-8 text") from None
    return json.dumps(value, ensure_ascii=False)


def run_command(command: str, args: argparse.Namespace) -> int:
    """Send one command to a fresh compiler, print the response, return the exit status."""
    return send_command(command, args)[0]


def send_command(command: str, args: argparse.Namespace, file: str | None = None) -> tuple[int, str]:
    """:func:`run_command`, also returning the response; ``file`` names the strategy file in jsonl output."""
    response = Compiler().command(command)
    return report_response(response, args, file), response


def report_response(response: str, args: argparse.Namespace, file: str | None = None) -> int:
    """Print a response and, for an error response, its error on standard error; return the exit status."""
    print_response(response, output_format(args), file)
    error = response_error(response)
    if error is not None:
        say(f"error: {error}")
        return 1
    return 0


def output_format(args: argparse.Namespace) -> str:
    """How responses are printed: ``--format`` where the subcommand has it, else by ``--json``."""
    chosen: str | None = getattr(args, "output", None)
    return chosen or ("json" if getattr(args, "json", False) else "indented")


def response_error(response: str) -> str | None:
    """The error text of an error response, or None for a success.

    Build errors end with cargo's own trailing line break; it is dropped
    here only, for printing: the response itself keeps it.
    """
    parsed = json.loads(response)
    if isinstance(parsed, dict) and parsed.get("ok") is False:
        return str(parsed.get("error", "")).rstrip("\n")
    return None


def print_response(response: str, output: str, file: str | None = None) -> None:
    """Write the response to standard output in the ``output`` format.

    ``json`` is the response's exact compact text; ``jsonl`` is one line
    ``{"file":FILE,"response":RESPONSE}`` that holds that exact text, so
    that the responses of many strategy files can be told apart; ``indented``
    is for reading, so no control character reaches the terminal raw.
    Written as UTF-8 bytes whatever the locale, since responses keep
    non-ASCII characters unescaped.
    """
    if output == "jsonl":
        text = file_line(file, "response", response)
    elif output == "json":
        text = response
    else:
        text = printable_json(json.dumps(json.loads(response), indent=2, ensure_ascii=False))
    write_text(text + "\n")


def file_line(file: str | None, member: str, value: str) -> str:
    """The jsonl line about ``file``: ``{"file":FILE,MEMBER:VALUE}``, ``value`` a JSON text kept as it is."""
    name = printable_json(json.dumps(file, ensure_ascii=False))
    return f'{{"file":{name},{json.dumps(member)}:{value}}}'


def write_text(text: str) -> None:
    """Write ``text`` to standard output as UTF-8, whatever the locale."""
    data = text.encode("utf-8")
    stream = getattr(sys.stdout, "buffer", None)
    if stream is None:
        sys.stdout.write(data.decode("utf-8"))
        sys.stdout.flush()
    else:
        sys.stdout.flush()
        stream.write(data)
        stream.flush()
