"""The ``lantor-compile`` command-line tool.

A thin shell over :class:`lantor_compile.Compiler`: every subcommand but
``schema`` turns its arguments into one JSON command, hands it to
``Compiler.command`` and prints the response.  Nothing is computed here that
the compiler does not report itself; ``schema`` prints the JSON Schema that
the package ships.

Exit status: 0 when the command succeeded, 1 when the compiler answered
with an in-band error (``"ok": false``; the error text also goes to standard
error), 2 for usage errors, including a strategy or candles file that cannot
be read or is not JSON.  ``compile`` with several strategies (``cli_many``)
exits with 1 when any of them failed.
"""

from __future__ import annotations

import argparse
import json
import os
import shutil
import sys
import time
import tomllib
from collections.abc import Sequence
from pathlib import Path
from typing import Any, NoReturn

from . import Compiler
from .cli_check import add_check_parser, human_report, relocated, use_colour
from .diagnostics import locate_compile_failure
from .schema import strategy_schema_text

PROG = "lantor-compile"

# What a compile command holds before the strategy file's text, and the
# strategy's JSON Pointer in it.
STRATEGY_PREFIX = '{"cmd":"compile","spec":{"strategy":'
STRATEGY_POINTER = "/spec/strategy"

# The output directory the compiler uses when a request names none.  Only
# shown in the build notice; the request itself leaves "out_dir" out.
DEFAULT_OUT_DIR = "_out"


class UsageError(Exception):
    """An argument or input file that no command can be made from (exit 2)."""


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


def build_parser() -> argparse.ArgumentParser:
    """Build the argument parser with its six subcommands."""
    parser = argparse.ArgumentParser(
        prog=PROG,
        description="Compile trading strategy JSON documents into Cargo projects.",
    )
    parser.add_argument(
        "--json",
        action="store_true",
        help="print responses as the compiler's exact compact JSON text",
    )
    # Subcommands take --json too; SUPPRESS keeps a top-level --json from
    # being reset to False by the subcommand's default.
    output = argparse.ArgumentParser(add_help=False)
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
        "--target", required=True, choices=("wasm", "binary", "no_std"), help="what to build"
    )
    compile_parser.add_argument(
        "--mcu", metavar="TRIPLE", help="microcontroller target triple (--target no_std only)"
    )
    compile_parser.add_argument(
        "--opt-level", choices=("debug", "release", "size"), help="optimisation level (default release)"
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
        help="with several strategies: how many to compile at once (default: the number of CPUs)",
    )
    compile_parser.add_argument(
        "--dir-per-file",
        action="store_true",
        help="put each project in OUT_DIR/<file name without .json>/, so that strategies "
        "of one symbol do not share a project directory",
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
    add_check_parser(commands, PROG)
    return parser


def positive_int(text: str) -> int:
    """``--jobs``: a whole number of at least 1."""
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number: {text!r}") from None
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1: {value}")
    return value


def run_compile(args: argparse.Namespace) -> int:
    """Handle ``compile``: one strategy alone, or several through ``cli_many``."""
    if args.target == "no_std" and args.mcu is None:
        raise UsageError("--target no_std needs --mcu TRIPLE")
    if args.target != "no_std" and args.mcu is not None:
        raise UsageError("--mcu is only valid with --target no_std")
    from . import cli_many  # it builds on this module

    files = cli_many.strategy_files(args.strategies)
    if len(files) > 1:
        return cli_many.run_many(args, files)
    args.out_dir = cli_many.file_out_dir(args, files[0])
    return run_one(args, files[0])


def run_one(args: argparse.Namespace, file: str) -> int:
    """Compile one strategy: build the command, announce a real build, run it."""
    strategy = read_json_text(file, "strategy")
    candles = read_json_text(args.candles, "candles") if args.candles is not None else None
    command = compile_command(args, strategy, candles)

    if args.dry_run:
        status = run_command(command, args)
        if status != 0:
            report_location(command, strategy, file)
        return status
    print(f"{PROG}: {build_notice(args)}", file=sys.stderr, flush=True)
    started = time.monotonic()
    status, response = send_command(command, args)
    if status != 0:
        report_location(command, strategy, file)
    elapsed = time.monotonic() - started
    outcome = "finished in" if status == 0 else "failed after"
    print(f"{PROG}: build {outcome} {elapsed:.1f} s", file=sys.stderr, flush=True)
    hint = wasm_package_hint(json.loads(response)) if status == 0 else None
    if hint is not None:
        print(f"{PROG}: {hint}", file=sys.stderr, flush=True)
    return status


def report_location(command: str, strategy: str, file: str) -> None:
    """After a failed compile: where in the strategy file it failed, if there.

    The file's text stands unchanged in the command after STRATEGY_PREFIX,
    so a place in the command maps back to a line and column in the file.
    """
    found = locate_compile_failure(command)
    if found is None:
        return
    data = strategy.encode("utf-8")
    placed = relocated(found, len(STRATEGY_PREFIX.encode("utf-8")), data, STRATEGY_POINTER)
    if placed is None:
        return
    name = "<stdin>" if file == "-" else file
    sys.stderr.write(human_report(name, data, placed, use_colour(sys.stderr)))
    sys.stderr.flush()


def run_targets(args: argparse.Namespace) -> int:
    """Handle ``targets``: the target kinds and the allowed MCU triples."""
    return run_command('{"cmd":"targets"}', args)


def run_version(args: argparse.Namespace) -> int:
    """Handle ``version``: the compiler's and the backtest dependency's versions."""
    return run_command('{"cmd":"version"}', args)


def run_hash(args: argparse.Namespace) -> int:
    """Handle ``hash``: read FILE through ``artifact_bytes`` and print handle, len, sha256."""
    return run_command('{"cmd":"artifact_bytes","path":' + json_string(args.file, "FILE") + "}", args)


def run_schema(args: argparse.Namespace) -> int:
    """Handle ``schema``: print the shipped schema text as it stands."""
    write_text(strategy_schema_text(strict=args.strict))
    return 0


def compile_command(args: argparse.Namespace, strategy: str, candles: str | None) -> str:
    """Assemble the ``compile`` command text, leaving out options not given.

    The strategy (and candles) file's text is spliced in unchanged rather than
    parsed and re-serialised: number spellings such as ``-0`` or ``1e400``,
    repeated members and member order reach the compiler exactly as written.
    The text before it holds no line break, so a line number that the compiler
    reports inside the strategy is the line number in the file.
    """
    spec = [strategy, ',"target":', target_json(args)]
    if args.opt_level is not None:
        spec += [',"opt_level":', json_string(args.opt_level, "--opt-level")]
    if args.csv is not None:
        spec += [',"embed_data":{"kind":"csv","path":', json_string(args.csv, "--csv"), "}"]
    elif candles is not None:
        spec += [',"embed_data":{"kind":"inline","candles":', candles, "}"]
    if args.crate_name is not None:
        spec += [',"crate_name":', json_string(args.crate_name, "--crate-name")]

    command = [STRATEGY_PREFIX, *spec, "}"]
    if args.dry_run:
        command.append(',"dry_run":true')
    if args.out_dir is not None:
        command += [',"out_dir":', json_string(args.out_dir, "--out-dir")]
    command.append("}")
    return "".join(command)


def target_json(args: argparse.Namespace) -> str:
    """The request's target object for ``--target`` (and ``--mcu``)."""
    if args.target == "no_std":
        return '{"kind":"no_std","mcu":' + json_string(args.mcu, "--mcu") + "}"
    return json.dumps({"kind": args.target}, separators=(",", ":"))


def build_notice(args: argparse.Namespace, count: int = 1) -> str:
    """The line announcing a real build (of ``count`` strategies), which blocks while cargo runs."""
    what = args.target if args.target != "no_std" else f"no_std for {args.mcu}"
    if count > 1:
        what = f"{count} strategies for {what}, {args.jobs or os.cpu_count() or 1} at a time,"
    details = []
    if args.crate_name is not None:
        details.append(f"crate {args.crate_name}")
    if args.opt_level is not None:
        details.append(f"opt-level {args.opt_level}")
    if args.out_dir is None:
        where = f"{DEFAULT_OUT_DIR} (default)"
    else:
        where = args.out_dir or "the current directory"
    detail_text = f" ({', '.join(details)})" if details else ""
    return f"building {what}{detail_text} in {where}; waiting for cargo"


def wasm_package_hint(response: Any) -> str | None:
    """What to install when a ``wasm`` build left no package behind.

    The compiler makes the package under ``pkg/`` with ``wasm-bindgen`` after
    cargo, and quietly leaves it out when that program is not installed; the
    build then holds only cargo's bare module.  The program's version has to
    be the ``wasm-bindgen`` crate's in the project's Cargo.lock.
    """
    if not isinstance(response, dict) or response.get("target") != {"kind": "wasm"}:
        return None
    if shutil.which("wasm-bindgen") is not None:
        return None
    package = Path(str(response["path"]))
    lock = package.parent.parent / "Cargo.lock"
    version = locked_version(lock, "wasm-bindgen")
    install = "cargo install wasm-bindgen-cli" + (f" --version {version}" if version else "")
    return (
        f"wasm-bindgen is not installed, so {package} was not made; install it with "
        f"`{install}` (the version of the wasm-bindgen crate in {lock}) and compile again"
    )


def locked_version(lock: Path, package: str) -> str | None:
    """The version of ``package`` in the Cargo.lock at ``lock``, if it has one."""
    try:
        with lock.open("rb") as file:
            data = tomllib.load(file)
    except (OSError, tomllib.TOMLDecodeError):
        return None
    for entry in data.get("package", []):
        if isinstance(entry, dict) and entry.get("name") == package and "version" in entry:
            return str(entry["version"])
    return None


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


def send_command(command: str, args: argparse.Namespace) -> tuple[int, str]:
    """:func:`run_command`, also returning the response."""
    response = Compiler().command(command)
    print_response(response, compact=getattr(args, "json", False))
    error = response_error(response)
    if error is not None:
        print(f"{PROG}: error: {error}", file=sys.stderr, flush=True)
        return 1, response
    return 0, response


def response_error(response: str) -> str | None:
    """The error text of an error response, or None for a success.

    Build errors end with cargo's own trailing line break; it is dropped
    here only, for printing: the response itself keeps it.
    """
    parsed = json.loads(response)
    if isinstance(parsed, dict) and parsed.get("ok") is False:
        return str(parsed.get("error", "")).rstrip("\n")
    return None


def print_response(response: str, compact: bool) -> None:
    """Write the response to standard output, compact and exact or indented.

    Written as UTF-8 bytes whatever the locale, since responses keep
    non-ASCII characters unescaped.
    """
    text = response if compact else json.dumps(json.loads(response), indent=2, ensure_ascii=False)
    write_text(text + "\n")


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
