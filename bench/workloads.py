"""The command texts of the benchmark workloads, generated deterministically.

Large texts are written to files piece by piece so that neither the runner
nor a worker ever holds the candles as Python objects.
"""

from __future__ import annotations

import json
import random
from collections.abc import Iterator
from pathlib import Path
from typing import Any

ROOT = Path(__file__).resolve().parents[1]

CANDLE_COUNT = 1_000_000
ARTIFACT_SIZE = 256 * 1024 * 1024


def compact(value: Any) -> str:
    return json.dumps(value, separators=(",", ":"))


def typical_strategy() -> dict[str, Any]:
    """An example strategy grown with indicators and rules to about 2 KB."""
    strategy: dict[str, Any] = json.loads((ROOT / "examples" / "long_short_momentum.json").read_text())
    n = 5
    while len(compact(strategy)) < 2000:
        strategy["indicators"][f"ema_{n}"] = {"type": "ema", "params": [n]}
        strategy["entry"]["all"].append({"gt": [f"ema_{n}", 0]})
        n += 5
    return strategy


class _Deep:
    """Deep condition trees and arithmetic expressions, kept well inside the
    reader's nesting limit of 127 levels."""

    COMPARE = ("gt", "lt", "ge", "le", "eq", "ne", "cross_above", "cross_below")
    PRICES = ("open", "high", "low", "close", "volume", "hlc3", "ohlc4")

    def __init__(self) -> None:
        self.rng = random.Random(42)

    def operand(self, depth: int) -> Any:
        r = self.rng.randrange(6)
        if depth <= 0 or r < 2:
            return self.rng.choice(
                [
                    f"ind_{self.rng.randrange(40)}",
                    self.rng.randrange(100) / 4,
                    {"price": self.rng.choice(self.PRICES)},
                ]
            )
        if r == 2:
            return {"prev": [self.operand(depth - 1), self.rng.randrange(10)]}
        op = self.rng.choice(["add", "sub", "mul", "div"])
        return {op: [self.operand(depth - 1), self.operand(0)]}

    def leaf(self) -> Any:
        r = self.rng.randrange(6)
        if r == 0:
            return {"between": [self.operand(2), 30, 70]}
        if r == 1:
            return {"rising": [self.operand(1), self.rng.randrange(9)]}
        if r == 2:
            return {"bars_since_entry": {"ge": self.rng.randrange(50)}}
        if r == 3:
            return {"in_position": False}
        return {self.rng.choice(self.COMPARE): [self.operand(self.rng.randrange(4)), self.operand(1)]}

    def condition(self, depth: int) -> Any:
        if depth <= 0:
            return self.leaf()
        if self.rng.randrange(4) == 0:
            return {"not": self.condition(depth - 1)}
        children = [self.condition(depth - 2)]
        children += [self.condition(min(depth - 2, 1)) for _ in range(1 + self.rng.randrange(3))]
        return {self.rng.choice(["all", "any"]): children}


def deep_strategy(target: int = 50_000) -> dict[str, Any]:
    gen = _Deep()
    strategy: dict[str, Any] = {
        "spec_version": 1,
        "symbol": "BTC/USDT",
        "timeframe": "5m",
        "indicators": {
            f"ind_{i}": {"type": "ema", "params": [5 + i, 2.0], "feed": "kline"} for i in range(40)
        },
        "entry": {"all": []},
        "exit": {"any": []},
        "short_entry": {"all": []},
        "short_exit": {"any": []},
        "sizing": {"type": "fixed_fraction", "fraction": 0.25},
        "costs": {"maker_bps": 1.0, "taker_bps": 4.0, "slippage": {"type": "spread"}},
    }
    rules = ["entry", "exit", "short_entry", "short_exit"]
    i = 0
    while len(compact(strategy)) < target:
        key = next(iter(strategy[rules[i % 4]]))
        strategy[rules[i % 4]][key].append(gen.condition(24))
        i += 1
    return strategy


def compile_command(strategy: Any, candles_text: str | None = None) -> str:
    spec = {"strategy": strategy, "target": {"kind": "wasm"}}
    text = compact({"cmd": "compile", "spec": spec, "dry_run": True})
    if candles_text is None:
        return text
    # Splice the dataset in as text: {"cmd":..,"spec":{..,"embed_data":{..}},..}
    head, tail = text.split(',"dry_run"')
    assert head.endswith("}}")
    return head[:-1] + ',"embed_data":{"kind":"inline","candles":' + candles_text + "}}" + ',"dry_run"' + tail


def candle_pieces(count: int) -> Iterator[str]:
    """The candles array's text in pieces of 10,000 candles."""
    yield "["
    step = 10_000
    for start in range(0, count, step):
        parts = []
        for i in range(start, min(count, start + step)):
            parts.append(
                '{"t":%d,"o":%s,"h":%s,"l":%s,"c":%s,"v":%s}'
                % (
                    1_700_000_000_000 + 60_000 * i,
                    42000.5 + (i % 97) * 0.25,
                    42010.25 + (i % 89) * 0.5,
                    41990.0 - (i % 83) * 0.125,
                    42001.75 + (i % 79) * 0.375,
                    round(12.345 + (i % 1013) * 0.001, 3),
                )
            )
        yield ("," if start else "") + ",".join(parts)
    yield "]"


def write_candle_command(path: Path, count: int, broken: bool = False) -> None:
    """The compile command with `count` inline candles; `broken` replaces the
    closing brace at its very end with a bracket, a syntax error the envelope
    meets only after reading everything before it."""
    marker = "\x00CANDLES\x00"
    head, tail = compile_command(typical_strategy(), marker).split(marker)
    if broken:
        assert tail.endswith("}")
        tail = tail[:-1] + "]"
    with open(path, "w", encoding="utf-8") as f:
        f.write(head)
        for piece in candle_pieces(count):
            f.write(piece)
        f.write(tail)


def write_artifact(path: Path, size: int) -> None:
    rng = random.Random(7)
    chunk = rng.randbytes(1024 * 1024)
    with open(path, "wb") as f:
        for _ in range(size // len(chunk)):
            f.write(chunk)


def prepare(directory: Path, candles: int, artifact_size: int) -> dict[str, Path]:
    """Writes every workload's input into `directory`; returns the paths."""
    paths = {
        "typical": directory / "typical.json",
        "deep": directory / "deep.json",
        "candles": directory / "candles.json",
        "broken": directory / "broken.json",
        "artifact": directory / "artifact.bin",
        "artifact_cmd": directory / "artifact_cmd.json",
    }
    paths["typical"].write_text(compile_command(typical_strategy()))
    paths["deep"].write_text(compile_command(deep_strategy()))
    write_candle_command(paths["candles"], candles)
    write_candle_command(paths["broken"], candles, broken=True)
    write_artifact(paths["artifact"], artifact_size)
    paths["artifact_cmd"].write_text(compact({"cmd": "artifact_bytes", "path": str(paths["artifact"])}))
    return paths
