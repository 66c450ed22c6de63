"""Many dry runs through compile_many against one compiler running them in a loop.

    PYTHONPATH=<build>/pkg python3 bench/bench_many.py [--commands N] [--workers W] [--rounds R]

The commands are dry-run compiles of the examples, each for every target,
repeated up to --commands (default 1000). Each round times, in turn:

- the sequential loop: one Compiler, one command after the other;
- compile_many as it runs by default, with --workers (default 2): worker
  threads started and ended inside the call, and the caller's thread
  taking a share;
- compile_many on a ProcessPoolExecutor of --workers processes kept from
  round to round, as a program that sends many batches to processes keeps one.

Every round checks the responses against the sequential ones, byte for
byte. Prints a Markdown table of the medians over --rounds rounds (default
7) and the load average.
"""

from __future__ import annotations

import argparse
import json
import os
import statistics
import time
from concurrent.futures import ProcessPoolExecutor
from pathlib import Path

from lantor_compile import Compiler, compile_many

ROOT = Path(__file__).resolve().parents[1]
TARGETS = [{"kind": "wasm"}, {"kind": "binary"}, {"kind": "no_std", "mcu": "thumbv7em-none-eabihf"}]


def dry_runs(count: int) -> list[str]:
    base = [
        '{"cmd":"compile","spec":{"strategy":'
        + path.read_text(encoding="utf-8")
        + ',"target":'
        + json.dumps(target)
        + '},"dry_run":true}'
        for path in sorted((ROOT / "examples").glob("*.json"))
        for target in TARGETS
    ]
    return [base[i % len(base)] for i in range(count)]


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--commands", type=int, default=1000)
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--rounds", type=int, default=7)
    args = parser.parse_args()

    commands = dry_runs(args.commands)
    compiler = Compiler()
    expected = [compiler.command(c) for c in commands]
    times: dict[str, list[float]] = {"sequential": [], "threads": [], "kept pool": []}

    def check(results: dict[int, str]) -> None:
        assert [results[i] for i in range(len(commands))] == expected

    with ProcessPoolExecutor(args.workers) as kept:
        check(dict(compile_many(commands, executor=kept, max_workers=args.workers)))  # start the workers
        for _ in range(args.rounds):
            started = time.perf_counter()
            responses = [compiler.command(c) for c in commands]
            times["sequential"].append(time.perf_counter() - started)
            assert responses == expected

            started = time.perf_counter()
            results = dict(compile_many(commands, max_workers=args.workers))
            times["threads"].append(time.perf_counter() - started)
            check(results)

            started = time.perf_counter()
            results = dict(compile_many(commands, executor=kept, max_workers=args.workers))
            times["kept pool"].append(time.perf_counter() - started)
            check(results)

    medians = {name: statistics.median(t) for name, t in times.items()}
    sequential = medians["sequential"]
    print(
        f"| {args.commands:,} dry runs, {args.workers} workers | sequential loop | compile_many, threads "
        "| speed-up | compile_many, kept process pool | speed-up |"
    )
    print("|---|---|---|---|---|---|")
    print(
        f"| median of {args.rounds} | {sequential * 1e3:.1f} ms | {medians['threads'] * 1e3:.1f} ms "
        f"| {sequential / medians['threads']:.2f}x | {medians['kept pool'] * 1e3:.1f} ms "
        f"| {sequential / medians['kept pool']:.2f}x |"
    )
    print(f"\nload average: {' '.join(f'{x:.2f}' for x in os.getloadavg())}")


if __name__ == "__main__":
    main()
