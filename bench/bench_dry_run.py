"""Dry-run compile speed against a plain Python pipeline doing the same work.

Two workloads, side by side in one run:

* a typical strategy of about 2 KB (compact), many calls, median per call;
* a command carrying an inline dataset of one million candles, a few calls.

The Python pipeline starts from the same command text: json.loads, a
sorted-keys compact dump of the strategy and of the candles, the hashed form
dumped and hashed, SHA-256 over each generated file's text (the fixed
templates stand in as byte strings of the same sizes) and over the listing
that makes the project hash, and the response dumped. It does not validate
the strategy, which the compiler does on top.

Run with the extension on the path, from a Release build:
    PYTHONPATH=build-project-rel/pkg python3 bench/bench_dry_run.py
"""

from __future__ import annotations

import argparse
import functools
import hashlib
import json
import statistics
import sys
import time
from collections.abc import Callable
from pathlib import Path
from typing import Any

from lantor_compile import Compiler

ROOT = Path(__file__).resolve().parents[1]

# Sizes of the fixed texts of a Wasm release project: manifest (rendered),
# lib.rs and .cargo/config.toml.
TEMPLATE_STAND_INS = {
    ".cargo/config.toml": b"c" * 42,
    "Cargo.toml": b"m" * 318,
    "src/lib.rs": b"s" * 626,
}


def typical_strategy() -> dict[str, Any]:
    """An example strategy grown with indicators and rules to about 2 KB."""
    strategy: dict[str, Any] = json.loads((ROOT / "examples" / "long_short_momentum.json").read_text())
    n = 5
    while len(json.dumps(strategy, separators=(",", ":"))) < 2000:
        strategy["indicators"][f"ema_{n}"] = {"type": "ema", "params": [n]}
        strategy["entry"]["all"].append({"gt": [f"ema_{n}", 0]})
        n += 5
    return strategy


def candles(count: int) -> list[dict[str, Any]]:
    return [
        {
            "t": 1_600_000_000 + 60 * i,
            "o": 100.0 + (i % 97) * 0.25,
            "h": 101.5 + (i % 89) * 0.5,
            "l": 99.25 - (i % 83) * 0.125,
            "c": 100.5 + (i % 79) * 0.375,
            "v": 1000 + i % 1013,
        }
        for i in range(count)
    ]


def command_text(strategy: dict[str, Any], data: list[Any] | None) -> str:
    spec: dict[str, Any] = {"strategy": strategy, "target": {"kind": "wasm"}}
    if data is not None:
        spec["embed_data"] = {"kind": "inline", "candles": data}
    return json.dumps({"cmd": "compile", "spec": spec, "dry_run": True})


def dump(value: Any) -> bytes:
    return json.dumps(value, sort_keys=True, separators=(",", ":"), ensure_ascii=False).encode()


def python_pipeline(text: str) -> str:
    spec = json.loads(text)["spec"]
    files = dict(TEMPLATE_STAND_INS)
    files["src/spec.json"] = dump(spec["strategy"])
    form = {"strategy": spec["strategy"], "target": spec["target"], "opt_level": "release"}
    if spec.get("embed_data"):
        files["src/candles.json"] = dump(spec["embed_data"]["candles"])
        form["embed_data"] = spec["embed_data"]
    spec_hash = hashlib.sha256(dump(form)).hexdigest()
    entries = [
        {"path": p, "sha256": hashlib.sha256(b).hexdigest(), "bytes_len": len(b)}
        for p, b in sorted(files.items())
    ]
    listing = "".join(f"{e['path']}\n{e['sha256']}\n" for e in entries)
    manifest = {
        "compiler_version": "0.1.2",
        "target": spec["target"],
        "opt_level": "release",
        "crate_name": "eth_usd",
        "spec_hash": spec_hash,
        "backtest_dep": "0.1.5",
        "files": entries,
        "project_hash": hashlib.sha256(listing.encode()).hexdigest(),
    }
    return json.dumps({"target": spec["target"], "manifest": manifest, "built": False}, separators=(",", ":"))


def paired_median_us(ours: Callable[[], Any], theirs: Callable[[], Any], calls: int) -> tuple[float, float]:
    """Median microseconds per call of each, the two calls alternating so that
    a busy machine slows both alike."""
    times: tuple[list[int], list[int]] = ([], [])
    for _ in range(calls):
        for fn, out in ((ours, times[0]), (theirs, times[1])):
            start = time.perf_counter_ns()
            fn()
            out.append(time.perf_counter_ns() - start)
    return statistics.median(times[0]) / 1000, statistics.median(times[1]) / 1000


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--calls", type=int, default=3000, help="calls for the typical strategy")
    parser.add_argument("--large-calls", type=int, default=5, help="calls for the large dataset")
    parser.add_argument("--candles", type=int, default=1_000_000)
    args = parser.parse_args()

    compiler = Compiler()
    strategy = typical_strategy()
    workloads = [
        (
            f"typical strategy ({len(json.dumps(strategy, separators=(',', ':')))} B)",
            command_text(strategy, None),
            args.calls,
            10.0,
        ),
        (
            f"{args.candles} inline candles",
            command_text(strategy, candles(args.candles)),
            args.large_calls,
            3.0,
        ),
    ]

    print(
        f"{'workload':<32} {'size':>10} {'compiler us':>13} {'python us':>13} {'speed-up':>9} {'target':>7}"
    )
    failed = False
    for name, text, calls, target in workloads:
        response = compiler.command(text)
        if '"ok":false' in response[:12]:
            raise SystemExit(f"{name}: {response}")
        ours, theirs = paired_median_us(
            functools.partial(compiler.command, text), functools.partial(python_pipeline, text), calls
        )
        ratio = theirs / ours
        failed |= ratio < target
        print(f"{name:<32} {len(text):>10} {ours:>13.1f} {theirs:>13.1f} {ratio:>8.1f}x {target:>6.0f}x")
    if failed:
        print("below target")
        sys.exit(1)


if __name__ == "__main__":
    main()
