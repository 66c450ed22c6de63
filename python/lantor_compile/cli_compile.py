"""``lantor-compile compile``: one strategy here, several through ``cli_many``."""

from __future__ import annotations

import argparse
import json
import sys
import time

from .cli_check import human_report, relocated, use_colour
from .cli_common import UsageError, run_command, say, send_command
from .cli_input import read_json_text
from .cli_many import run_many
from .cli_request import (
    STRATEGY_POINTER,
    STRATEGY_PREFIX,
    build_notice,
    compile_command,
    file_out_dir,
    strategy_files,
    wasm_package_hint,
)
from .diagnostics import locate_compile_failure


def run_compile(args: argparse.Namespace) -> int:
    """Handle ``compile``: one strategy alone, or several through ``cli_many``."""
    if args.target == "no_std" and args.mcu is None:
        raise UsageError("--target no_std needs --mcu TRIPLE")
    if args.target != "no_std" and args.mcu is not None:
        raise UsageError("--mcu is only valid with --target no_std")
    files = strategy_files(args.strategies)
    if len(files) > 1:
        return run_many(args, files)
    args.out_dir = file_out_dir(args, files[0])
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
    say(build_notice(args))
    started = time.monotonic()
    status, response = send_command(command, args)
    if status != 0:
        report_location(command, strategy, file)
    elapsed = time.monotonic() - started
    outcome = "finished in" if status == 0 else "failed after"
    say(f"build {outcome} {elapsed:.1f} s")
    hint = wasm_package_hint(json.loads(response)) if status == 0 else None
    if hint is not None:
        say(hint)
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
