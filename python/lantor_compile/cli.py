"""The ``lantor-compile`` command-line tool: its argument parser and ``main``.

A thin shell over :class:`lantor_compile.Compiler`: every subcommand but
``schema`` and ``lsp`` turns its arguments into one JSON command, hands it
to ``Compiler.command`` and prints the response.  Nothing is computed here
that the compiler does not report itself; ``schema`` prints the JSON Schema
that the package ships, and ``lsp`` runs the language server of the
``lsp_*`` modules (with the ``lsp`` extra installed).  The other
subcommands live in the ``cli_*`` modules, which import only downwards:
``cli_common`` at the bottom, then ``cli_input``, ``cli_request``,
``cli_report``, ``cli_check``, ``cli_strategy``, ``cli_progress``,
``cli_many``, ``cli_compile`` and ``cli_queries``, and this module on top.

Exit status, the same for ``check`` and ``compile`` whether given one file
or many: 0 when every file is good; 1 when any file failed (not UTF-8 text,
not JSON, refused by the compiler, a failed build; for the other
subcommands, an in-band error: ``"ok": false``, its text also on standard
error); 2 for usage errors and for arguments that cannot be read at all (a
missing file, a closed standard input); 130 when interrupted.
"""

from __future__ import annotations

import argparse
import os
import sys
from collections.abc import Sequence
from typing import NoReturn

from .cli_check import add_check_parser
from .cli_common import DEFAULT_OUT_DIR, PROG, REQUEST, UsageError, printable, write_text
from .cli_compile import run_compile
from .cli_queries import run_hash, run_schema, run_targets, run_version, version_line


def main(argv: Sequence[str] | None = None) -> int:
    """Run the tool with ``argv`` (default: ``sys.argv[1:]``).

    Returns the exit status instead of exiting, except for argument errors
    found by the parser itself, which exit with status 2 as usual.
    """
    args = build_parser().parse_args(argv)
    command_parser: argparse.ArgumentParser = args.parser
    try:
        status: int = args.run(args)
        return status
    except UsageError as error:
        command_parser.error(str(error))
    except KeyboardInterrupt:
        return 130
    except BrokenPipeError:
        # The reader went away (``| head``): silence the final flush so that
        # the interpreter does not print a second traceback on exit.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        return 1


class Parser(argparse.ArgumentParser):
    """An argument parser whose error messages, which quote arguments and file
    names, reach the terminal with their control characters escaped."""

    def error(self, message: str) -> NoReturn:
        """Print the usage and ``message`` and exit with status 2."""
        super().error(printable(message))


def build_parser() -> argparse.ArgumentParser:
    """Build the argument parser with its seven subcommands."""
    parser = Parser(
        prog=PROG,
        description="Compile trading strategy JSON documents into Cargo projects.",
    )
    parser.add_argument(
        "--json",
        action="store_true",
        help="print responses as the compiler's exact compact JSON text",
    )
    parser.add_argument("-V", "--version", action=VersionAction, help="print the version and exit")
    # Subcommands take --json too; SUPPRESS keeps a top-level --json from
    # being reset to False by the subcommand's default.
    output = Parser(add_help=False)
    output.add_argument(
        "--json",
        action="store_true",
        default=argparse.SUPPRESS,
        help="print the compiler's exact compact JSON text instead of indented JSON",
    )
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")

    compile_parser = commands.add_parser(
        "compile",
        parents=[output],
        help="validate a strategy and generate (and build) its project",
        description="Validate STRATEGY, generate its Cargo project and build it "
        "with cargo (or only report the manifest with --dry-run).",
    )
    compile_parser.add_argument(
        "strategies",
        nargs="+",
        metavar="STRATEGY",
        help="strategy JSON file, a folder of them (*.json), or - for standard input",
    )
    compile_parser.add_argument(
        "--target", required=True, choices=REQUEST["target_kinds"], help="what to build"
    )
    compile_parser.add_argument(
        "--mcu", metavar="TRIPLE", help="microcontroller target triple (--target no_std only)"
    )
    compile_parser.add_argument(
        "--opt-level",
        choices=REQUEST["opt_levels"],
        help=f"optimisation level (default {REQUEST['default_opt_level']})",
    )
    compile_parser.add_argument(
        "--crate-name", metavar="NAME", help="crate name (default: derived from the symbol)"
    )
    compile_parser.add_argument(
        "--out-dir", metavar="DIR", help=f"where the project goes (default {DEFAULT_OUT_DIR})"
    )
    dataset = compile_parser.add_mutually_exclusive_group()
    dataset.add_argument("--csv", metavar="PATH", help="embed this CSV candle file")
    dataset.add_argument(
        "--candles", metavar="FILE.json", help="embed the JSON array of candles in this file"
    )
    compile_parser.add_argument(
        "--dry-run", action="store_true", help="report the manifest without writing or building"
    )
    compile_parser.add_argument(
        "-j",
        "--jobs",
        type=positive_int,
        metavar="N",
        help="with several strategies: how many to compile at once (default: the number of CPUs; "
        "at most four per CPU)",
    )
    compile_parser.add_argument(
        "--dir-per-file",
        action="store_true",
        help="put each project in OUT_DIR/<file name without .json>/, so that strategies "
        "of one symbol do not share a project directory",
    )
    compile_parser.add_argument(
        "--format",
        dest="output",
        choices=("indented", "json", "jsonl"),
        help="how responses are printed: indented JSON (default), the exact compact text (as --json), "
        'or one line {"file": ..., "response": ...} per strategy file',
    )
    compile_parser.add_argument(
        "-q",
        "--quiet",
        action="store_true",
        help="print no warnings, notices, progress or summary count on standard error; errors only",
    )
    compile_parser.set_defaults(run=run_compile, parser=compile_parser)

    targets_parser = commands.add_parser(
        "targets", parents=[output], help="list the targets and allowed microcontrollers"
    )
    targets_parser.set_defaults(run=run_targets, parser=targets_parser)

    version_parser = commands.add_parser(
        "version", parents=[output], help="print the compiler and backtest library versions"
    )
    version_parser.set_defaults(run=run_version, parser=version_parser)

    hash_parser = commands.add_parser(
        "hash", parents=[output], help="print the length and SHA-256 of a file, such as an artifact"
    )
    hash_parser.add_argument("file", metavar="FILE", help="the file to read")
    hash_parser.set_defaults(run=run_hash, parser=hash_parser)

    schema_parser = commands.add_parser(
        "schema",
        help="print the JSON Schema of the strategy document",
        description="Print the JSON Schema (draft 2020-12) of the strategy document: by "
        "default the exact one, which accepts every document the compiler accepts.",
    )
    schema_parser.add_argument(
        "--strict",
        action="store_true",
        help="the schema for writing documents: objects only, no members of other names",
    )
    schema_parser.set_defaults(run=run_schema, parser=schema_parser)
    add_check_parser(commands)

    lsp_parser = commands.add_parser(
        "lsp",
        help="run the language server for strategy documents (needs the lsp extra)",
        description="Run a Language Server Protocol server for strategy documents on standard "
        "input and output, for editors: diagnostics, completion, hover, indicator navigation and "
        "renaming, quick fixes, an outline and formatting. Needs pygls: "
        "pip install 'lantor_compile[lsp]'.",
    )
    lsp_parser.add_argument(
        "--debounce-ms",
        type=non_negative_int,
        default=150,
        metavar="MS",
        help="how long after the last change diagnostics wait before they are worked out (default 150)",
    )
    lsp_parser.set_defaults(run=run_lsp, parser=lsp_parser)
    return parser


# What the language server needs beyond the package: the lsp extra.
LSP_DEPENDENCIES = {"pygls", "lsprotocol", "cattrs", "attrs"}


def run_lsp(args: argparse.Namespace) -> int:
    """``lsp``: serve until the client ends the session."""
    try:
        from .lsp_server import serve
    except ImportError as missing:
        if (missing.name or "").split(".")[0] not in LSP_DEPENDENCIES:
            raise
        sys.stderr.write(
            f"{PROG} lsp: the language server needs pygls ({missing}); "
            "install it with: pip install 'lantor_compile[lsp]'\n"
        )
        return 2
    serve(args.debounce_ms / 1000)
    return 0


class VersionAction(argparse.Action):
    """``--version``: the version line, asked of the compiler only when the option is given."""

    def __init__(self, option_strings: Sequence[str], dest: str, help: str | None = None) -> None:
        super().__init__(
            option_strings, dest=argparse.SUPPRESS, default=argparse.SUPPRESS, nargs=0, help=help
        )

    def __call__(self, parser: argparse.ArgumentParser, *args: object) -> NoReturn:
        write_text(version_line() + "\n")
        parser.exit()


def non_negative_int(text: str) -> int:
    """``--debounce-ms``: a whole number of at least 0."""
    return whole_number(text, 0)


def positive_int(text: str) -> int:
    """``--jobs``: a whole number of at least 1."""
    return whole_number(text, 1)


def whole_number(text: str, minimum: int) -> int:
    """A whole number of at least ``minimum``, for an option's argument."""
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number: {text!r}") from None
    if value < minimum:
        raise argparse.ArgumentTypeError(f"must be at least {minimum}: {value}")
    return value
