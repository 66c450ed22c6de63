"""Hostile command texts: huge nesting, huge strings and numbers, NUL bytes in
paths, and special files as datasets. Each must give one well-formed response
(the exact one where the behaviour is fixed) without crashing the process.
"""

from __future__ import annotations

import hashlib
import json
from pathlib import Path
from typing import Any

import pytest
from support import MINIMAL_STRATEGY

from lantor_compile import Compiler

VERSION = '{"version":"0.1.2","backtest_dep":"0.1.5"}'
ENVELOPE_ERROR = '{"ok":false,"error":"invalid command envelope: expected {\\"cmd\\":...}"}'

STRATEGY: dict[str, Any] = MINIMAL_STRATEGY
# The canonical text of STRATEGY without its closing brace, so that a member
# sorting after "timeframe" can be appended.
STRATEGY_CANON_HEAD = (
    '{"entry":{"in_position":false},"exit":{"in_position":true},"indicators":{},'
    '"sizing":{"qty":1,"type":"fixed_qty"},"symbol":"BTC-USDT","timeframe":"1h"'
)

DRY_HEAD = '{"cmd":"compile","dry_run":true,"spec":{"target":{"kind":"wasm"},"strategy":'
DEPTH = 10_000_000


def error(text: str) -> str:
    return json.dumps({"ok": False, "error": text}, separators=(",", ":"), ensure_ascii=False)


def strategy_with_raw(name: str, raw_value: str) -> str:
    """The strategy text with one more member whose value is `raw_value`."""
    return json.dumps(STRATEGY)[:-1] + f', "{name}": {raw_value}}}'


def dry_compile(strategy_text: str) -> str:
    return DRY_HEAD + strategy_text + "}}"


def spec_file(response: str, path: str = "src/spec.json") -> dict[str, Any]:
    parsed = json.loads(response)
    assert "error" not in parsed, response[:500]
    return next(f for f in parsed["manifest"]["files"] if f["path"] == path)


def assert_embeds(response: str, canonical: str) -> None:
    entry = spec_file(response)
    data = canonical.encode("utf-8")
    assert entry["bytes_len"] == len(data)
    assert entry["sha256"] == hashlib.sha256(data).hexdigest()


# ---------------------------------------------------------------------------
# Deep nesting


@pytest.mark.parametrize("opener", ["[", "{", '{"a":'], ids=["arrays", "objects", "members"])
def test_ten_million_openers_as_the_whole_text(compiler: Compiler, opener: str) -> None:
    assert compiler.command(opener * DEPTH) == ENVELOPE_ERROR


def test_ten_million_closed_arrays_as_the_whole_text(compiler: Compiler) -> None:
    assert compiler.command("[" * DEPTH + "]" * DEPTH) == ENVELOPE_ERROR


def test_ten_million_levels_in_a_skipped_member(compiler: Compiler) -> None:
    nested = "[" * DEPTH + "]" * DEPTH
    assert compiler.command('{"cmd":"version","x":' + nested + "}") == VERSION
    # Unknown members of a compile request are only skipped as well.
    response = compiler.command(dry_compile(json.dumps(STRATEGY))[:-1] + ',"x":' + nested + "}")
    assert_embeds(response, STRATEGY_CANON_HEAD + "}")


def test_ten_million_levels_unclosed_in_a_skipped_member(compiler: Compiler) -> None:
    assert compiler.command('{"cmd":"version","x":' + "[" * DEPTH) == ENVELOPE_ERROR


def recursion_error(depth_text: str) -> str:
    """The answer to a strategy value that nests past the limit."""
    return Compiler().command(dry_compile(depth_text))


def test_ten_million_levels_in_the_strategy(compiler: Compiler) -> None:
    # The command object is level 1, "spec" level 2, the strategy level 3: the
    # 126th bracket of the strategy opens level 128. Just past it (or at it)
    # the reader stops.
    head_len = len(DRY_HEAD)
    shallow = recursion_error("[" * 130 + "]" * 130)
    assert shallow in (
        error(f"bad compile request: recursion limit exceeded at line 1 column {head_len + 126}"),
        error(f"bad compile request: recursion limit exceeded at line 1 column {head_len + 125}"),
    )
    assert compiler.command(dry_compile("[" * DEPTH + "]" * DEPTH)) == shallow
    # Unclosed, the text is not even a well-formed envelope.
    assert compiler.command(dry_compile("[" * DEPTH)) == ENVELOPE_ERROR


# ---------------------------------------------------------------------------
# Huge strings

HUGE = 100 * 1024 * 1024


def test_hundred_megabyte_string_in_a_skipped_member(compiler: Compiler) -> None:
    assert compiler.command('{"cmd":"version","x":"' + "a" * HUGE + '"}') == VERSION


def test_hundred_megabyte_string_in_the_strategy(compiler: Compiler) -> None:
    # Escaped quotes and a non-ASCII character at both ends exercise the
    # slow paths of the string reader and writer as well as the fast run.
    body = '\\"é' + "a" * HUGE + "\\u00e9\\n"
    response = compiler.command(dry_compile(strategy_with_raw("zz_notes", '"' + body + '"')))
    canonical = STRATEGY_CANON_HEAD + ',"zz_notes":"\\"é' + "a" * HUGE + 'é\\n"}'
    assert_embeds(response, canonical)


# ---------------------------------------------------------------------------
# Numbers of 100,000 digits

DIGITS = 100_000


@pytest.mark.parametrize(
    "literal",
    [
        "1" * DIGITS,
        "-" + "9" * DIGITS,
        "0." + "1" * DIGITS,
        "1e" + "0" * (DIGITS - 1) + "1",
        "1" + "0" * DIGITS + "e-" + str(DIGITS),
        "0." + "0" * DIGITS + "1",
        "1e-" + "1" * DIGITS,
        "1" * 300 + "." + "7" * DIGITS,
    ],
    ids=[
        "int-overflow",
        "neg-int-overflow",
        "fraction",
        "exponent-digits",
        "scaled-one",
        "tiny",
        "huge-negative-exponent",
        "long-both",
    ],
)
def test_long_numbers_in_a_skipped_member(compiler: Compiler, literal: str) -> None:
    assert compiler.command('{"cmd":"version","x":' + literal + "}") == VERSION


@pytest.mark.parametrize(
    ("literal", "expected"),
    [
        ("0." + "1" * DIGITS, "0.1111111111111111"),
        ("1e" + "0" * (DIGITS - 1) + "1", "10.0"),
        ("1" + "0" * DIGITS + "e-" + str(DIGITS), "1.0"),
        ("0." + "0" * DIGITS + "1", "0.0"),
        ("-0." + "0" * DIGITS + "1", "-0.0"),
        ("1e-" + "1" * DIGITS, "0.0"),
        ("1" * 300 + "." + "7" * DIGITS, "1.1111111111111112e+299"),
        ("0." + "0" * 300 + "2" + "0" * DIGITS + "1", "2e-301"),
    ],
    ids=[
        "fraction",
        "exponent-digits",
        "scaled-one",
        "tiny",
        "negative-tiny",
        "huge-negative-exponent",
        "long-both",
        "subnormal-tail",
    ],
)
def test_long_numbers_in_the_strategy(compiler: Compiler, literal: str, expected: str) -> None:
    response = compiler.command(dry_compile(strategy_with_raw("zz_x", literal)))
    assert_embeds(response, STRATEGY_CANON_HEAD + ',"zz_x":' + expected + "}")


@pytest.mark.parametrize(
    "literal",
    ["1" * DIGITS, "-" + "9" * DIGITS, "1e" + "1" * DIGITS, "-1" + "0" * DIGITS + ".5"],
    ids=["int", "neg-int", "exponent", "neg-fraction"],
)
def test_long_numbers_out_of_range_in_the_strategy(compiler: Compiler, literal: str) -> None:
    text = dry_compile(strategy_with_raw("zz_x", literal))
    column = text.index(literal) + len(literal)
    assert compiler.command(text) == error(
        f"bad compile request: number out of range at line 1 column {column}"
    )


# ---------------------------------------------------------------------------
# NUL bytes in paths and special files as datasets

NUL_TEXT = "file name contained an unexpected NUL byte"


def test_nul_in_artifact_bytes_path(compiler: Compiler) -> None:
    response = compiler.command('{"cmd":"artifact_bytes","path":"a\\u0000b"}')
    assert response == error(f"reading a\x00b: {NUL_TEXT}")
    assert "\\u0000" in response
    # No handle was consumed.
    assert json.loads(compiler.command('{"cmd":"artifact_bytes","path":"/dev/null"}'))["handle"] == 0


def test_nul_in_csv_path(compiler: Compiler) -> None:
    text = json.dumps(
        {
            "cmd": "compile",
            "dry_run": True,
            "spec": {
                "strategy": STRATEGY,
                "target": {"kind": "wasm"},
                "embed_data": {"kind": "csv", "path": "/dev/null\x00x"},
            },
        }
    )
    assert compiler.command(text) == error(f"io: reading /dev/null\x00x: {NUL_TEXT}")


def test_nul_in_crate_name(compiler: Compiler) -> None:
    text = json.dumps(
        {
            "cmd": "compile",
            "dry_run": True,
            "spec": {"strategy": STRATEGY, "target": {"kind": "wasm"}, "crate_name": "ab\x00c"},
        }
    )
    assert compiler.command(text) == error(
        'bad spec: crate name "ab\\0c" is not a valid identifier (^[a-z][a-z0-9_]*$); set `crate_name`'
    )


def test_nul_in_out_dir(compiler: Compiler, tmp_path: Path) -> None:
    out_dir = f"{tmp_path}/o\x00d"
    text = json.dumps(
        {"cmd": "compile", "out_dir": out_dir, "spec": {"strategy": STRATEGY, "target": {"kind": "binary"}}}
    )
    assert compiler.command(text) == error(f"io: creating {out_dir}/btc_usdt: {NUL_TEXT}")
    assert list(tmp_path.iterdir()) == []


def csv_compile(path: str) -> str:
    return json.dumps(
        {
            "cmd": "compile",
            "dry_run": True,
            "spec": {
                "strategy": STRATEGY,
                "target": {"kind": "wasm"},
                "embed_data": {"kind": "csv", "path": path},
            },
        }
    )


def test_csv_path_naming_a_directory(compiler: Compiler, tmp_path: Path) -> None:
    assert compiler.command(csv_compile(str(tmp_path))) == error(
        f"io: reading {tmp_path}: Is a directory (os error 21)"
    )


def test_csv_path_dev_null_is_an_empty_dataset(compiler: Compiler) -> None:
    entry = spec_file(compiler.command(csv_compile("/dev/null")), "src/candles.csv")
    assert entry == {
        "path": "src/candles.csv",
        "sha256": hashlib.sha256(b"").hexdigest(),
        "bytes_len": 0,
    }


def test_artifact_bytes_on_a_directory_and_dev_null(compiler: Compiler, tmp_path: Path) -> None:
    assert compiler.command(json.dumps({"cmd": "artifact_bytes", "path": str(tmp_path)})) == error(
        f"reading {tmp_path}: Is a directory (os error 21)"
    )
    assert compiler.command('{"cmd":"artifact_bytes","path":"/dev/null"}') == (
        '{"handle":0,"len":0,"sha256":"' + hashlib.sha256(b"").hexdigest() + '"}'
    )
