"""``lantor-compile compile``: one strategy here, several through ``cli_many``.

Exit status, as for several strategies: 0 when the strategy compiled (or
passed the dry run); 1 when it failed: not UTF-8 text or not JSON (with its
located diagnostic), an error response, a failed build; 2 for usage errors
and files that cannot be read at all.
"""

from __future__ import annotations

import argparse
import json
import time
from contextlib import closing

from .cli_common import UsageError, output_format, report_response, say, send_command
from .cli_input import read_json_text, strategy_files
from .cli_many import run_many
from .cli_progress import spinner, ticking
from .cli_request import backtest_hint, build_notice, compile_command, file_out_dir, wasm_package_hint
from .cli_strategy import load_strategy, print_unsent, report_location, report_strategy
from .parallel import compile_many

# The spinner's text while a build runs.
WAITING = "cargo is building"


def run_compile(args: argparse.Namespace) -> int:
    """Handle ``compile``: one strategy alone, or several through ``cli_many``."""
    if args.target == "no_std" and args.mcu is None:
        raise UsageError("--target no_std needs --mcu TRIPLE")
    if args.target != "no_std" and args.mcu is not None:
        raise UsageError("--mcu is only valid with --target no_std")
    files = strategy_files(args.strategies)
    if len(files) > 1:
        return run_many(args, files)
    return run_one(args, files[0])


def run_one(args: argparse.Namespace, file: str) -> int:
    """Compile one strategy: build the command, announce a real build, run it."""
    strategy = load_strategy(file, args.quiet)
    candles = read_json_text(args.candles, "candles") if args.candles is not None else None
    file_args = argparse.Namespace(**{**vars(args), "out_dir": file_out_dir(args, file)})
    report_strategy(strategy)
    if strategy.text is None:
        print_unsent(strategy, output_format(args))
        return 1
    command = compile_command(file_args, strategy.text, candles)

    if args.dry_run:
        status, _ = send_command(command, args, file)
        if status != 0:
            report_location(command, strategy)
        return status
    if not args.quiet:
        say(build_notice(file_args))
    started = time.monotonic()
    # The build runs on a worker thread without the interpreter lock, so that
    # the spinner's thread is free to draw.
    with (
        spinner(WAITING, args.quiet) as bar,
        ticking(bar, spin=WAITING),
        closing(compile_many([command], max_workers=1)) as results,
    ):
        [(_, response)] = list(results)
    elapsed = time.monotonic() - started
    status = report_response(response, args, file)
    parsed = json.loads(response)
    if status != 0:
        report_location(command, strategy)
        hint = backtest_hint(parsed["error"], args.out_dir)
    else:
        hint = wasm_package_hint(parsed)
    if not args.quiet:
        say(
            f"built {parsed['path']} in {elapsed:.1f} s"
            if status == 0
            else f"build failed after {elapsed:.1f} s"
        )
    if hint is not None:
        say(hint)
    return status
