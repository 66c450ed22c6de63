"""``lantor-compile compile`` with several strategy files.

Every file becomes the same command that it would make alone; the commands
run through :func:`lantor_compile.compile_many`, ``--jobs`` at a time. A
file that is not JSON fails alone, with its located diagnostic, and the
others still compile. The responses go to standard output in the order of
the files, as soon as all before them are done (``--format jsonl`` names
each one's file); a progress bar on standard error (only when it is a
terminal) and a summary at the end tell how it went, each failure with its
file, line and column.

Each project lands where it would land alone: the output directory joined
with the crate name, which is derived from the strategy's symbol. Two files
that would write one directory (the same symbol, or ``--crate-name`` given
for several) are refused before anything is built, since their builds would
overwrite each other; ``--dir-per-file`` puts each project one level deeper,
in a directory named after its file, which keeps a sweep of one symbol apart.
"""

from __future__ import annotations

import argparse
import json
import os
import sys
import time
from collections import defaultdict
from contextlib import closing

from tqdm import tqdm

from ._lantor_compile import Compiler
from .cli_common import DEFAULT_OUT_DIR, UsageError, output_format, print_response, response_error, say
from .cli_input import read_json_text
from .cli_progress import progress_bar, ticking
from .cli_request import backtest_hint, build_notice, compile_command, file_out_dir, wasm_package_hint
from .cli_strategy import failure_place, load_strategy, print_unsent, report_strategy
from .parallel import compile_many


def run_many(args: argparse.Namespace, files: list[str]) -> int:
    """Compile every file, ``args.jobs`` at a time; print the responses in file order and a summary."""
    strategies = [load_strategy(file, args.quiet) for file in files]
    candles = read_json_text(args.candles, "candles") if args.candles is not None else None
    for strategy in strategies:
        report_strategy(strategy)
    # The files that make a command, by their index among the files.
    sent = [i for i, strategy in enumerate(strategies) if strategy.text is not None]
    commands = []
    dry_runs = []
    for i in sent:
        file, text = files[i], strategies[i].text
        assert text is not None
        file_args = argparse.Namespace(**{**vars(args), "out_dir": file_out_dir(args, file)})
        commands.append(compile_command(file_args, text, candles))
        if not args.dry_run:
            dry_args = argparse.Namespace(**{**vars(file_args), "dry_run": True})
            dry_runs.append((file, file_args.out_dir, compile_command(dry_args, text, candles)))
    if not args.dry_run:
        refuse_shared_project_dirs(dry_runs)
        del dry_runs
        if commands and not args.quiet:
            say(build_notice(args, len(commands)))

    started = time.monotonic()
    output = output_format(args)
    errors: dict[int, tuple[str, str]] = {}  # by file index: ":LINE:COLUMN" or "", and the error
    built: str | None = None  # one successful build's response, for the wasm hint
    responses: list[str | None] = [None] * len(files)
    printed = 0

    def print_ready() -> None:
        """Print the responses of the files before the first still running, in file order."""
        nonlocal printed
        while printed < len(files):
            strategy = strategies[printed]
            if strategy.text is None:
                print_unsent(strategy, output)
            elif (response := responses[printed]) is not None:
                print_response(response, output, files[printed])
                responses[printed] = None  # printed: its text is not needed again
            else:
                return
            printed += 1

    with (
        progress_bar(len(commands), args.quiet) as bar,
        ticking(bar),
        closing(compile_many(commands, max_workers=args.jobs)) as results,
    ):
        with tqdm.external_write_mode(file=sys.stdout):
            print_ready()  # the files before the first that made a command
        for index, response in results:
            responses[sent[index]] = response
            error = response_error(response)
            if error is not None:
                place = failure_place(commands[index], strategies[sent[index]])
                where = f":{place.line}:{place.column}" if place is not None else ""
                errors[sent[index]] = (where, error)
            elif built is None and not args.dry_run:
                built = response
            bar.update()
            # Takes the bar off the terminal while the responses are printed.
            with tqdm.external_write_mode(file=sys.stdout):
                print_ready()
    elapsed = time.monotonic() - started

    failed = len(errors) + len(files) - len(sent)
    if not args.quiet:
        done = "built" if not args.dry_run else "passed the dry run"
        say(f"{len(files) - failed} {done}, {failed} failed, in {elapsed:.1f} s")
    for i, (file, strategy) in enumerate(zip(files, strategies, strict=True)):
        if (d := strategy.failure) is not None:
            say(f"error: {file}:{d.line}:{d.column}: {strategy.reason}")
        elif i in errors:
            where, error = errors[i]
            say(f"error: {file}{where}: {error}")
    hints = [backtest_hint(error, args.out_dir) for _, error in errors.values()]
    hints.append(wasm_package_hint(json.loads(built)) if built is not None else None)
    for hint in dict.fromkeys(hint for hint in hints if hint is not None):
        say(hint)
    return 1 if failed else 0


def refuse_shared_project_dirs(dry_runs: list[tuple[str, str | None, str]]) -> None:
    """Refuse to build when two files would be written to one project directory.

    ``dry_runs`` holds each file with its output directory and the dry run of
    its command, which names its crate; the project directory is the output
    directory joined with it. A file whose dry run fails writes nothing, so
    it cannot clash.
    """
    compiler = Compiler()
    by_dir: defaultdict[str, list[str]] = defaultdict(list)
    for file, out_dir, command in dry_runs:
        manifest = json.loads(compiler.command(command)).get("manifest")
        if manifest is None:
            continue
        project = os.path.join(DEFAULT_OUT_DIR if out_dir is None else out_dir, manifest["crate_name"])
        by_dir[os.path.normpath(os.path.abspath(project))].append(file)
    clashes = [(project, names) for project, names in by_dir.items() if len(names) > 1]
    if clashes:
        project, names = clashes[0]
        raise UsageError(
            f"{', '.join(names)} would be written to one project directory, {project}; give them different "
            "symbols or output directories, or use --dir-per-file"
        )
