"""Dry-run compiles through the Python API: the response's shape and member
order, the hashes against independent computations, and the errors that come
before anything could be written."""

from __future__ import annotations

import hashlib
import json
import math
from pathlib import Path
from typing import Any

import pytest
from support import MINIMAL_STRATEGY, TARGETS

from lantor_compile import Compiler

ROOT = Path(__file__).resolve().parents[2]
EXAMPLES = sorted((ROOT / "examples").glob("*.json"))

STRATEGY: dict[str, Any] = {**MINIMAL_STRATEGY, "indicators": {"fast": {"type": "ema", "params": [12]}}}

MANIFEST_MEMBERS = [
    "compiler_version",
    "target",
    "opt_level",
    "crate_name",
    "spec_hash",
    "backtest_dep",
    "files",
    "project_hash",
]

# The fixed texts' lengths: sources and the Wasm build configuration.
FIXED_LENGTHS = {
    "wasm": {"src/lib.rs": 626, ".cargo/config.toml": 42},
    "binary": {"src/main.rs": 432},
    "no_std": {"src/lib.rs": 1014},
}


def ordered(text: str) -> Any:
    """The response as nested lists of (name, value) pairs, keeping order."""
    return json.loads(text, object_pairs_hook=list)


def dry(compiler: Compiler, spec: dict[str, Any], **extra: Any) -> str:
    return compiler.command(json.dumps({"cmd": "compile", "spec": spec, "dry_run": True, **extra}))


def canonical(value: Any) -> str:
    """Python's sorted compact dump, which spells documents without floats in
    exponent form exactly as the canonical writer does."""
    return json.dumps(value, sort_keys=True, separators=(",", ":"), ensure_ascii=False)


def spelled_alike(value: Any) -> bool:
    """True when `canonical` matches the canonical writer for `value`: floats
    only in Python's positional range (its exponent form and ours differ)."""
    if isinstance(value, float):
        return math.isfinite(value) and "e" not in repr(value)
    if isinstance(value, dict):
        return all(spelled_alike(v) for v in value.values())
    if isinstance(value, list):
        return all(spelled_alike(v) for v in value)
    return True


def sha(text: str) -> str:
    return hashlib.sha256(text.encode()).hexdigest()


def project_hash(files: list[dict[str, Any]]) -> str:
    return sha("".join(f"{f['path']}\n{f['sha256']}\n" for f in files))


def test_response_shape_and_member_order(compiler: Compiler) -> None:
    target = {"kind": "no_std", "mcu": "thumbv7em-none-eabihf"}
    response = ordered(dry(compiler, {"strategy": STRATEGY, "target": target}))
    assert [name for name, _ in response] == ["target", "manifest", "built"]
    body = dict(response)
    assert body["target"] == [("kind", "no_std"), ("mcu", "thumbv7em-none-eabihf")]
    assert body["built"] is False
    manifest = dict(body["manifest"])
    assert [name for name, _ in body["manifest"]] == MANIFEST_MEMBERS
    assert manifest["target"] == body["target"]
    assert (manifest["compiler_version"], manifest["opt_level"], manifest["backtest_dep"]) == (
        "0.1.2",
        "release",
        "0.1.5",
    )
    assert manifest["crate_name"] == "btc_usdt"
    for entry in manifest["files"]:
        assert [name for name, _ in entry] == ["path", "sha256", "bytes_len"]
    paths = [dict(e)["path"] for e in manifest["files"]]
    assert paths == [".cargo/config.toml", "Cargo.toml", "src/lib.rs", "src/spec.json"]


@pytest.mark.parametrize("target", [{"kind": "wasm"}, {"kind": "binary"}], ids=["wasm", "binary"])
def test_target_object_has_only_the_kind(compiler: Compiler, target: dict[str, str]) -> None:
    # An "mcu" given to a target that has none is not reported back.
    response = ordered(dry(compiler, {"strategy": STRATEGY, "target": {**target, "mcu": "x"}}))
    assert dict(response)["target"] == [("kind", target["kind"])]


def test_repeated_requests_answer_byte_identically(compiler: Compiler) -> None:
    spec = {
        "strategy": STRATEGY,
        "target": {"kind": "wasm"},
        "embed_data": {"kind": "inline", "candles": [[1, 2.5, -3, "x"]]},
    }
    first = dry(compiler, spec)
    assert dry(compiler, spec) == first
    assert dry(Compiler(), spec) == first


BASE_TEXT = (
    '{"cmd":"compile","dry_run":true,"spec":{"target":{"kind":"wasm"},"strategy":'
    + json.dumps(STRATEGY, separators=(",", ":"))
    + "}}"
)

SAME_AS_BASE = {
    "whitespace and member order": (
        '  {"spec" : { "strategy" : '
        + json.dumps(STRATEGY, indent=2, sort_keys=True)
        + ' , "target" : { "kind" : "wasm" } } , "dry_run" : true , "cmd" : "compile" }\n'
    ),
    "escape spelling": BASE_TEXT.replace('"BTC-USDT"', '"\\u0042TC\\u002dUSDT"').replace(
        '"1h"', '"1\\u0068"'
    ),
    "out_dir": BASE_TEXT[:-1] + ',"out_dir":"/nonexistent/never/written"}',
    "explicit defaults": BASE_TEXT.replace(
        '"target":{"kind":"wasm"}',
        '"target":{"kind":"wasm"},"opt_level":"release","crate_name":null,"embed_data":null',
    ),
    "object-form opt_level": BASE_TEXT.replace(
        '"target":{"kind":"wasm"}', '"target":{"kind":"wasm"},"opt_level":{"release":null}'
    ),
    "repeated member": BASE_TEXT.replace('"timeframe":"1h"', '"timeframe":"4h","timeframe":"1h"'),
    "unknown request members": BASE_TEXT[:-1] + ',"extra":[1,{"a":null}]}',
}


@pytest.mark.parametrize("text", SAME_AS_BASE.values(), ids=SAME_AS_BASE.keys())
def test_spelling_and_defaults_leave_the_manifest_unchanged(compiler: Compiler, text: str) -> None:
    assert compiler.command(text) == compiler.command(BASE_TEXT)


def test_compile_options_that_enter_the_spec_hash(compiler: Compiler) -> None:
    base = json.loads(compiler.command(BASE_TEXT))["manifest"]
    named = json.loads(
        dry(compiler, {"strategy": STRATEGY, "target": {"kind": "wasm"}, "crate_name": "btc_usdt"})
    )["manifest"]
    assert named["spec_hash"] != base["spec_hash"]
    assert (named["files"], named["project_hash"]) == (base["files"], base["project_hash"])
    extra = json.loads(dry(compiler, {"strategy": {**STRATEGY, "note": "kept"}, "target": {"kind": "wasm"}}))[
        "manifest"
    ]
    assert extra["spec_hash"] != base["spec_hash"]
    changed = [a["path"] for a, b in zip(base["files"], extra["files"], strict=True) if a != b]
    assert changed == ["src/spec.json"]


@pytest.mark.parametrize(
    ("text", "error"),
    [
        ('{"cmd":"compile"}', "bad compile request: missing field `spec` at line 1 column 17"),
        (
            '["compile"]',
            'bad compile request: invalid type: string "compile", '
            "expected struct CompileSpec at line 1 column 10",
        ),
        (
            '{"cmd":"compile","spec":{"strategy":{},"target":"wasm"}}',
            'bad compile request: invalid type: string "wasm", expected internally tagged enum '
            "Target at line 1 column 54",
        ),
        (
            '{"cmd":"compile","dry_run":true,"spec":{"strategy":{"symbol":"X"},"target":{"kind":"wasm"}}}',
            "bad spec: strategy is not a valid StrategySpec: missing field `timeframe`",
        ),
        (
            '{"cmd":"compile","dry_run":true,"spec":{"strategy":'
            + json.dumps(STRATEGY)
            + ',"target":{"kind":"no_std","mcu":"Thumbv7em-none-eabihf"},"crate_name":"1x"}}',
            'bad spec: crate name "1x" is not a valid identifier (^[a-z][a-z0-9_]*$); set `crate_name`',
        ),
        (
            '{"cmd":"compile","dry_run":true,"spec":{"strategy":'
            + json.dumps(STRATEGY)
            + ',"target":{"kind":"no_std","mcu":"Thumbv7em-none-eabihf"}}}',
            'bad target: mcu "Thumbv7em-none-eabihf" is not in the allowlist',
        ),
    ],
    ids=["no spec", "array envelope", "string target", "bad strategy", "bad crate name", "bad mcu"],
)
def test_errors(compiler: Compiler, text: str, error: str) -> None:
    expected = '{"ok":false,"error":' + json.dumps(error, ensure_ascii=False) + "}"
    assert compiler.command(text) == expected


def test_missing_csv_dataset_is_an_io_error(compiler: Compiler, tmp_path: Path) -> None:
    missing = tmp_path / "none.csv"
    response = json.loads(
        dry(
            compiler,
            {
                "strategy": STRATEGY,
                "target": {"kind": "binary"},
                "embed_data": {"kind": "csv", "path": str(missing)},
            },
        )
    )
    assert response == {
        "ok": False,
        "error": f"io: reading {missing}: No such file or directory (os error 2)",
    }


def test_invalid_strategy_is_reported_before_anything_is_written(compiler: Compiler, tmp_path: Path) -> None:
    blocker = tmp_path / "file"
    blocker.write_text("not a directory")
    request = {
        "cmd": "compile",
        "out_dir": str(blocker / "out"),
        "spec": {"strategy": {"symbol": "BTC"}, "target": {"kind": "binary"}},
    }
    response = json.loads(compiler.command(json.dumps(request)))
    assert response == {
        "ok": False,
        "error": "bad spec: strategy is not a valid StrategySpec: missing field `timeframe`",
    }
    assert sorted(p.name for p in tmp_path.iterdir()) == ["file"]


def hashed_form(spec: dict[str, Any]) -> dict[str, Any]:
    form = {
        "strategy": spec["strategy"],
        "target": spec["target"],
        "opt_level": spec.get("opt_level") or "release",
    }
    if spec.get("embed_data") is not None:
        form["embed_data"] = spec["embed_data"]
    if spec.get("crate_name") is not None:
        form["crate_name"] = spec["crate_name"]
    return form


def expected_paths(kind: str, dataset: str | None) -> list[str]:
    paths = {
        "wasm": [".cargo/config.toml", "Cargo.toml", "src/lib.rs", "src/spec.json"],
        "binary": ["Cargo.toml", "src/main.rs", "src/spec.json"],
        "no_std": [".cargo/config.toml", "Cargo.toml", "src/lib.rs", "src/spec.json"],
    }[kind]
    if dataset:
        paths = sorted(paths + [dataset])
    return paths


@pytest.mark.skipif(not EXAMPLES, reason="no example strategies in examples/")
@pytest.mark.parametrize("example", EXAMPLES, ids=lambda p: p.stem)
@pytest.mark.parametrize("target", TARGETS, ids=lambda t: t.get("mcu", t["kind"]))
def test_examples_compile_for_every_target(compiler: Compiler, example: Path, target: dict[str, str]) -> None:
    strategy = json.loads(example.read_text(encoding="utf-8"))
    candles = [
        {"t": 1700000000 + 60 * i, "o": 1 + i, "h": 2.5, "l": 0.5, "c": 1.25, "v": 10} for i in range(3)
    ]
    spec: dict[str, Any] = {
        "strategy": strategy,
        "target": target,
        "opt_level": "size",
        "embed_data": {"kind": "inline", "candles": candles},
    }
    response = json.loads(dry(compiler, spec))
    assert response.get("ok") is not False, response
    manifest = response["manifest"]
    assert response["target"] == target == manifest["target"]
    assert manifest["opt_level"] == "size"

    files = manifest["files"]
    by_path = {f["path"]: f for f in files}
    assert [f["path"] for f in files] == expected_paths(target["kind"], "src/candles.json")
    for path, length in FIXED_LENGTHS[target["kind"]].items():
        assert by_path[path]["bytes_len"] == length, path
    if target["kind"] == "no_std":
        assert by_path[".cargo/config.toml"]["bytes_len"] == 20 + len(target["mcu"])
    assert by_path["src/candles.json"]["sha256"] == sha(canonical(candles))

    if spelled_alike(strategy):
        spec_json = canonical(strategy)
        assert by_path["src/spec.json"]["sha256"] == sha(spec_json)
        assert by_path["src/spec.json"]["bytes_len"] == len(spec_json.encode())
        assert manifest["spec_hash"] == sha(canonical(hashed_form(spec)))
    assert manifest["project_hash"] == project_hash(files)
