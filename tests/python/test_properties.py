"""Property tests: the canonical form and the hashes do not depend on spelling.

A random JSON value is placed as an extra member of a valid strategy. The
command text is then written in random spellings: members shuffled, random
whitespace, strings with random escapes (\\uXXXX in either case, surrogate
pairs, the short escapes, \\/), floats in random exact decimal forms, and
names repeated inside the strategy with an earlier throw-away value (the last
one wins). Every spelling must give the same dry-run response, whose
spec_hash and src/spec.json digest must equal those of the canonical text
computed independently here. A non-dry compile with a stand-in cargo gives the
embedded src/spec.json itself, which must equal that text byte for byte and
read back with ``json`` as a value equal to the original.
"""

from __future__ import annotations

import hashlib
import json
import math
import os
import stat
from decimal import Decimal
from pathlib import Path
from typing import Any

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from support import I64_MIN, MINIMAL_STRATEGY, U64_MAX, json_scalars, json_texts, json_values

from lantor_compile import Compiler

STRATEGY: dict[str, Any] = MINIMAL_STRATEGY

# Names the strategy schema reads; the extra member must not be one of them.
SCHEMA_NAMES = {
    "spec_version",
    "symbol",
    "ref_symbol",
    "timeframe",
    "indicators",
    "entry",
    "exit",
    "short_entry",
    "short_exit",
    "sizing",
    "costs",
    "risk",
    "execution",
    "warmup",
}


# ---------------------------------------------------------------------------
# The expected canonical writer


def canon_float(f: float) -> str:
    if f == 0.0:
        return "-0.0" if math.copysign(1.0, f) < 0 else "0.0"
    # repr gives the shortest round-trip significand, nearest to the value.
    _, digits, exp = Decimal(repr(abs(f))).as_tuple()
    assert isinstance(exp, int)  # finite
    ds = "".join(map(str, digits)).rstrip("0")
    trailing = len(digits) - len("".join(map(str, digits)).rstrip("0"))
    n = len(ds)
    e = exp + trailing + n - 1  # decimal exponent of the first digit
    out = "-" if f < 0 else ""
    if -5 <= e <= 15:
        if e >= n - 1:
            return out + ds + "0" * (e - n + 1) + ".0"
        if e >= 0:
            return out + ds[: e + 1] + "." + ds[e + 1 :]
        return out + "0." + "0" * (-e - 1) + ds
    mant = ds[0] + ("." + ds[1:] if n >= 2 else "")
    return out + mant + "e" + ("+" if e > 0 else "-") + str(abs(e))


SHORT = {"\b": "\\b", "\t": "\\t", "\n": "\\n", "\f": "\\f", "\r": "\\r"}


def canon_string(s: str) -> str:
    out = ['"']
    for ch in s:
        if ch == '"' or ch == "\\":
            out.append("\\" + ch)
        elif ch in SHORT:
            out.append(SHORT[ch])
        elif ord(ch) < 0x20:
            out.append(f"\\u{ord(ch):04x}")
        else:
            out.append(ch)
    out.append('"')
    return "".join(out)


def number_kind(v: Any) -> Any:
    """An int outside both integer ranges is read as a binary64."""
    if isinstance(v, int) and not isinstance(v, bool) and not I64_MIN <= v <= U64_MAX:
        return float(v)
    return v


def canon(v: Any) -> str:
    v = number_kind(v)
    if v is None:
        return "null"
    if v is True:
        return "true"
    if v is False:
        return "false"
    if isinstance(v, int):
        return str(v)
    if isinstance(v, float):
        return canon_float(v)
    if isinstance(v, str):
        return canon_string(v)
    if isinstance(v, list):
        return "[" + ",".join(canon(x) for x in v) + "]"
    items = sorted(v.items(), key=lambda kv: kv[0].encode("utf-8"))
    return "{" + ",".join(canon_string(k) + ":" + canon(x) for k, x in items) + "}"


def sha(text: str) -> str:
    return hashlib.sha256(text.encode("utf-8")).hexdigest()


# ---------------------------------------------------------------------------
# Random values and random spellings

WS = [" ", "\t", "\n", "\r"]


def ws(draw: st.DrawFn) -> str:
    return "".join(draw(st.lists(st.sampled_from(WS), max_size=2)))


def spell_string(draw: st.DrawFn, s: str) -> str:
    out = ['"']
    for ch in s:
        cp = ord(ch)
        must = ch in '"\\' or cp < 0x20
        style = draw(st.integers(0, 3))
        if style == 0 and not must:
            out.append(ch)
        elif style == 1 and (ch in SHORT or ch in '"\\/'):
            out.append(SHORT.get(ch, "\\" + ch))
        elif cp > 0xFFFF:
            hi = 0xD800 + ((cp - 0x10000) >> 10)
            lo = 0xDC00 + ((cp - 0x10000) & 0x3FF)
            pair = f"\\u{hi:04x}\\u{lo:04x}"
            out.append(pair.upper().replace("\\U", "\\u") if draw(st.booleans()) else pair)
        else:
            esc = f"{cp:04x}"
            out.append("\\u" + (esc.upper() if draw(st.booleans()) else esc))
    out.append('"')
    return "".join(out)


def spell_float(draw: st.DrawFn, f: float) -> str:
    if f == 0.0:
        sign = "-" if math.copysign(1.0, f) < 0 else ""
        return sign + draw(st.sampled_from(["0.0", "0e0", "0.000E+5", "0E-7"] + (["0"] if sign else [])))
    negative, digits, exp = Decimal(repr(f)).as_tuple()
    assert isinstance(exp, int)  # finite
    ds = "".join(map(str, digits)) + "0" * draw(st.integers(0, 2))
    exp -= len(ds) - len(digits)
    # value = ds * 10**exp; place the point after k digits (k >= 1).
    k = draw(st.integers(1, len(ds)))
    mant = ds[:k] + ("." + ds[k:] if k < len(ds) else "")
    e = exp + len(ds) - k
    text = mant
    if e != 0 or "." not in mant:
        text += (
            draw(st.sampled_from(["e", "E"])) + draw(st.sampled_from(["", "+"] if e >= 0 else [""])) + str(e)
        )
    return ("-" if negative else "") + text


def spell(draw: st.DrawFn, v: Any, repeat: bool = True) -> str:
    """A random spelling of `v`; objects may repeat names when `repeat`."""
    if v is None or isinstance(v, bool):
        return json.dumps(v)
    if isinstance(v, int):
        return str(v)
    if isinstance(v, float):
        return spell_float(draw, v)
    if isinstance(v, str):
        return spell_string(draw, v)
    if isinstance(v, list):
        parts = [ws(draw) + spell(draw, x, repeat) + ws(draw) for x in v]
        return "[" + ",".join(parts) + ws(draw) + "]"
    members = [(k, x) for k, x in v.items()]
    members = draw(st.permutations(members))
    parts = []
    for k, x in members:
        if repeat and draw(st.integers(0, 4)) == 0:
            # An earlier member of the same name, overridden by the later one.
            parts.append(spell_string(draw, k) + ":" + spell(draw, draw(json_scalars), repeat))
        parts.append(
            ws(draw) + spell_string(draw, k) + ws(draw) + ":" + ws(draw) + spell(draw, x, repeat) + ws(draw)
        )
    return "{" + ",".join(parts) + ws(draw) + "}"


def command_text(draw: st.DrawFn, strategy: dict[str, Any], dry_run: bool, out_dir: str | None) -> str:
    """The compile command around `strategy`, every level spelled at random."""
    spec = {"strategy": strategy, "target": {"kind": "wasm"}}
    cmd: dict[str, Any] = {"cmd": "compile", "spec": spec, "dry_run": dry_run}
    if out_dir is not None:
        cmd["out_dir"] = out_dir
    # Records reject repeated known names; only the strategy may repeat them.
    members = draw(st.permutations(list(cmd.items())))
    parts = []
    for k, x in members:
        if k == "spec":
            inner = draw(
                st.permutations(
                    [
                        ("strategy", spell(draw, strategy)),
                        ("target", spell(draw, spec["target"], repeat=False)),
                    ]
                )
            )
            body = (
                "{" + ",".join(ws(draw) + spell_string(draw, n) + ":" + t for n, t in inner) + ws(draw) + "}"
            )
        else:
            body = spell(draw, x, repeat=False)
        parts.append(ws(draw) + spell_string(draw, k) + ws(draw) + ":" + ws(draw) + body)
    return ws(draw) + "{" + ",".join(parts) + "}" + ws(draw)


@st.composite
def extra_members(draw: st.DrawFn) -> tuple[str, Any]:
    name = draw(json_texts.filter(lambda n: n not in SCHEMA_NAMES))
    return name, draw(json_values)


def strategy_with(name: str, value: Any) -> dict[str, Any]:
    doc = dict(STRATEGY)
    doc[name] = value
    return doc


def same_value(a: Any, b: Any) -> bool:
    """Equality that keeps the number kind and the sign of zero."""
    b = number_kind(b)
    if isinstance(a, float) or isinstance(b, float):
        return (
            isinstance(a, float)
            and isinstance(b, float)
            and a == b
            and math.copysign(1.0, a) == math.copysign(1.0, b)
        )
    if isinstance(a, list):
        return isinstance(b, list) and len(a) == len(b) and all(map(same_value, a, b))
    if isinstance(a, dict):
        return isinstance(b, dict) and a.keys() == b.keys() and all(same_value(a[k], b[k]) for k in a)
    return type(a) is type(b) and a == b


# ---------------------------------------------------------------------------
# The writer in this file against known texts, so that the properties below
# compare the system with something that is itself right.


@pytest.mark.parametrize(
    ("value", "text"),
    [
        (1.0, "1.0"),
        (100.0, "100.0"),
        (1e15, "1000000000000000.0"),
        (1e16, "1e+16"),
        (12.5, "12.5"),
        (0.001, "0.001"),
        (1e-5, "0.00001"),
        (1e-6, "1e-6"),
        (1.25e-7, "1.25e-7"),
        (1.5e300, "1.5e+300"),
        (5e-324, "5e-324"),
        (-0.0, "-0.0"),
        (0.1 + 0.2, "0.30000000000000004"),
        (U64_MAX + 1, "1.8446744073709552e+19"),
        (U64_MAX, "18446744073709551615"),
        (I64_MIN, "-9223372036854775808"),
        ({"b": 1, "a": [{"d": None, "c": True}]}, '{"a":[{"c":true,"d":null}],"b":1}'),
        (
            {"a": 0, "B": 0, "_": 0, "aa": 0, "": 0, "é": 0, "z": 0},
            '{"":0,"B":0,"_":0,"a":0,"aa":0,"z":0,"é":0}',
        ),
        ('\t\u0001\u001f"\\/\u007f\u00e9', '"\\t\\u0001\\u001f\\"\\\\/\u007f\u00e9"'),
    ],
)
def test_expected_writer(value: Any, text: str) -> None:
    assert canon(value) == text


# ---------------------------------------------------------------------------
# Properties


def dry_run(compiler: Compiler, text: str) -> tuple[str, dict[str, Any]]:
    response = compiler.command(text)
    parsed = json.loads(response)
    assert "error" not in parsed, (text, response)
    return response, parsed


@settings(max_examples=200, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(member=extra_members(), data=st.data())
def test_spellings_give_the_same_hashes(member: tuple[str, Any], data: st.DataObject) -> None:
    compiler = Compiler()
    strategy = strategy_with(*member)
    plain = json.dumps(
        {"cmd": "compile", "spec": {"strategy": strategy, "target": {"kind": "wasm"}}, "dry_run": True},
        ensure_ascii=False,
    )
    response, parsed = dry_run(compiler, plain)
    for _ in range(2):
        text = data.draw(st.composite(lambda d: command_text(d, strategy, True, None))())
        assert compiler.command(text) == response, text

    manifest = parsed["manifest"]
    canonical = canon(strategy)
    hashed_form = {"strategy": strategy, "target": {"kind": "wasm"}, "opt_level": "release"}
    assert manifest["spec_hash"] == sha(canon(hashed_form))
    spec_file = next(f for f in manifest["files"] if f["path"] == "src/spec.json")
    assert spec_file["sha256"] == sha(canonical)
    assert spec_file["bytes_len"] == len(canonical.encode("utf-8"))


@pytest.fixture(scope="module")
def quiet_cargo(tmp_path_factory: pytest.TempPathFactory) -> Any:
    """A stand-in cargo that succeeds at once, first on PATH for this module."""
    bin_dir = tmp_path_factory.mktemp("bin")
    exe = bin_dir / "cargo"
    exe.write_text("#!/bin/sh\nexit 0\n")
    exe.chmod(exe.stat().st_mode | stat.S_IXUSR)
    old = os.environ.get("PATH", "")
    os.environ["PATH"] = f"{bin_dir}{os.pathsep}{old}"
    yield tmp_path_factory.mktemp("out")
    os.environ["PATH"] = old


@settings(max_examples=60, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(member=extra_members(), data=st.data())
def test_embedded_spec_is_the_canonical_text(
    quiet_cargo: Path, member: tuple[str, Any], data: st.DataObject
) -> None:
    compiler = Compiler()
    strategy = strategy_with(*member)
    text = data.draw(st.composite(lambda d: command_text(d, strategy, False, str(quiet_cargo)))())
    response = json.loads(compiler.command(text))
    assert response.get("built") is True, response
    embedded = (quiet_cargo / response["manifest"]["crate_name"] / "src" / "spec.json").read_bytes()
    assert embedded == canon(strategy).encode("utf-8")
    assert same_value(json.loads(embedded), strategy)
