"""Real builds of one strategy, each beside cargo's own time on the same project.

    PYTHONPATH=<build>/pkg python3 bench/bench_rebuild.py [--rounds N] [--example NAME]

Compiles examples/trend_ema_cross.json (or another example) for `binary`
through the Python API into a fresh temporary directory, where a
.cargo/config.toml takes `lantor-backtest` from tests/data, and times:

- first build: the first compile (cargo builds the dependencies), then
  `cargo clean` and `cargo build --release` in the same project;
- unchanged re-compile: the same compile again, against `cargo build
  --release` with nothing changed;
- changed-strategy re-compile: compiles that alternate between the strategy
  and a variant with one parameter changed, against writing the variant's
  src/spec.json by hand and running `cargo build --release`.

Re-compiles take the median of --rounds runs. Prints a Markdown table and
the load average. Needs cargo on PATH; the crates.io dependencies must be
reachable (or already in cargo's cache).
"""

from __future__ import annotations

import argparse
import copy
import functools
import json
import os
import statistics
import subprocess
import tempfile
import time
from collections.abc import Callable
from pathlib import Path

from lantor_compile import Compiler

ROOT = Path(__file__).resolve().parents[1]
BACKTEST = ROOT / "tests" / "data" / "lantor-backtest"


def timed(action: Callable[[], object]) -> float:
    started = time.perf_counter()
    action()
    return time.perf_counter() - started


def variant(strategy: dict[str, object]) -> dict[str, object]:
    """The strategy with its first indicator's first parameter one higher."""
    changed = copy.deepcopy(strategy)
    indicators = changed["indicators"]
    assert isinstance(indicators, dict) and indicators, "the example needs an indicator"
    first = next(iter(indicators.values()))
    first["params"][0] += 1
    return changed


def dependency_libraries(project: Path) -> dict[str, int]:
    """The compiled dependencies of a release build, with their modification times."""
    return {p.name: p.stat().st_mtime_ns for p in (project / "target" / "release" / "deps").glob("*.rlib")}


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rounds", type=int, default=5, help="runs per re-compile figure (default 5)")
    parser.add_argument("--example", default="trend_ema_cross", help="example name (default trend_ema_cross)")
    args = parser.parse_args()

    strategy = json.loads((ROOT / "examples" / f"{args.example}.json").read_text(encoding="utf-8"))
    strategies = [strategy, variant(strategy)]
    compiler = Compiler()

    with tempfile.TemporaryDirectory(prefix="lantor_rebuild_") as tmp:
        (Path(tmp) / ".cargo").mkdir()
        (Path(tmp) / ".cargo" / "config.toml").write_text(
            f'[patch.crates-io]\nlantor-backtest = {{ path = "{BACKTEST}" }}\n'
        )
        out = str(Path(tmp) / "out")

        def compile_strategy(which: int) -> Path:
            command = {
                "cmd": "compile",
                "spec": {"strategy": strategies[which], "target": {"kind": "binary"}},
                "out_dir": out,
            }
            response = json.loads(compiler.command(json.dumps(command)))
            assert response.get("built") is True, response
            return Path(out) / str(response["manifest"]["crate_name"])

        def cargo(project: Path, *args: str) -> None:
            subprocess.run(["cargo", *args], cwd=project, check=True, capture_output=True)

        def cargo_build(project: Path) -> None:
            cargo(project, "build", "--release")

        first = timed(lambda: compile_strategy(0))
        project = compile_strategy(0)
        cargo(project, "clean")
        cargo_first = timed(lambda: cargo_build(project))

        unchanged = statistics.median(timed(lambda: compile_strategy(0)) for _ in range(args.rounds))
        cargo_unchanged = statistics.median(timed(lambda: cargo_build(project)) for _ in range(args.rounds))

        # Each round switches to the other strategy, starting from the
        # original that the project holds now.
        libraries = dependency_libraries(project)
        changed = statistics.median(
            timed(functools.partial(compile_strategy, 1 - i % 2)) for i in range(args.rounds)
        )
        rebuilt = sorted(
            name for name, stamp in dependency_libraries(project).items() if libraries.get(name) != stamp
        )
        spec_texts = []
        for which in (0, 1):
            compile_strategy(which)
            spec_texts.append((project / "src" / "spec.json").read_bytes())

        def cargo_after_edit(text: bytes) -> None:
            (project / "src" / "spec.json").write_bytes(text)
            cargo_build(project)

        # The project holds the variant now: start from the original.
        cargo_changed = statistics.median(
            timed(functools.partial(cargo_after_edit, spec_texts[i % 2])) for i in range(args.rounds)
        )

    rows = [
        ("first build", first, cargo_first),
        (f"unchanged re-compile (median of {args.rounds})", unchanged, cargo_unchanged),
        (f"changed-strategy re-compile (median of {args.rounds})", changed, cargo_changed),
    ]
    print(f"| `{args.example}`, binary, release | compile | cargo alone | compile - cargo |")
    print("|---|---|---|---|")
    for name, ours, theirs in rows:
        print(f"| {name} | {ours:.2f} s | {theirs:.2f} s | {ours - theirs:+.2f} s |")
    print(f"\ndependencies rebuilt by the changed-strategy re-compiles: {', '.join(rebuilt) or 'none'}")
    print(f"load average: {' '.join(f'{x:.2f}' for x in os.getloadavg())}")


if __name__ == "__main__":
    main()
