"""``lantor-compile compile`` with several strategy files.

Every file becomes the same command that it would make alone; the commands
run through :func:`lantor_compile.compile_many`, ``--jobs`` at a time. The
responses go to standard output in the order of the files, as soon as all
before them are done; a progress bar on standard error (only when it is a
terminal) and a summary at the end tell how it went.

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
from .cli_common import DEFAULT_OUT_DIR, UsageError, print_response, response_error, say
from .cli_input import read_json_text
from .cli_request import build_notice, compile_command, file_out_dir, wasm_package_hint
from .parallel import compile_many


def run_many(args: argparse.Namespace, files: list[str]) -> int:
    """Compile every file, ``args.jobs`` at a time; print the responses in file order and a summary."""
    candles = read_json_text(args.candles, "candles") if args.candles is not None else None
    commands = []
    dry_runs = []
    for file in files:
        strategy = read_json_text(file, "strategy")
        file_args = argparse.Namespace(**{**vars(args), "out_dir": file_out_dir(args, file)})
        commands.append(compile_command(file_args, strategy, candles))
        if not args.dry_run:
            dry_args = argparse.Namespace(**{**vars(file_args), "dry_run": True})
            dry_runs.append((file, file_args.out_dir, compile_command(dry_args, strategy, candles)))
    if not args.dry_run:
        refuse_shared_project_dirs(dry_runs)
        del dry_runs
        say(build_notice(args, len(files)))

    started = time.monotonic()
    errors: dict[int, str] = {}
    built: str | None = None  # one successful build's response, for the wasm hint
    responses: list[str | None] = [None] * len(files)
    printed = 0
    compact = getattr(args, "json", False)
    with (
        tqdm(total=len(files), file=sys.stderr, unit="strategy", disable=None, dynamic_ncols=True) as bar,
        closing(compile_many(commands, max_workers=args.jobs)) as results,
    ):
        for index, response in results:
            responses[index] = response
            error = response_error(response)
            if error is not None:
                errors[index] = error
            elif built is None and not args.dry_run:
                built = response
            bar.update()
            ready = []
            while printed < len(files) and (next_response := responses[printed]) is not None:
                ready.append(next_response)
                responses[printed] = None  # printed: its text is not needed again
                printed += 1
            if ready:
                # Takes the bar off the terminal while the responses are printed.
                with tqdm.external_write_mode(file=sys.stdout):
                    for text in ready:
                        print_response(text, compact)
    elapsed = time.monotonic() - started

    done = "built" if not args.dry_run else "passed the dry run"
    succeeded = len(files) - len(errors)
    say(f"{succeeded} {done}, {len(errors)} failed, in {elapsed:.1f} s")
    for index in sorted(errors):
        say(f"error: {files[index]}: {errors[index]}")
    hint = wasm_package_hint(json.loads(built)) if built is not None else None
    if hint is not None:
        say(hint)
    return 1 if errors else 0


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
