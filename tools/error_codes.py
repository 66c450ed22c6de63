"""The words of the diagnostic codes that `check` and a failed compile's
located error carry, each with an example that shows it.

gen_strategy_schema.py fails unless these are exactly the checker's codes,
in its order and with their severities (lantor_compile.schema.describe()),
runs every example through the checker, fails unless it draws its code, and
shows the message it draws in the reference.
"""

from __future__ import annotations

from dataclasses import dataclass
from typing import Literal

# A small sound document that the examples change.
BASE = (
    '{"symbol": "BTC-USDT", "timeframe": "1h", "indicators": {"rsi": {"type": "rsi", "params": [14]}}, '
    '"entry": {"lt": ["rsi", 30]}, "exit": {"gt": ["rsi", 70]}, '
    '"sizing": {"type": "fixed_fraction", "fraction": 0.1}}'
)


def _with(old: str, new: str) -> str:
    assert old in BASE, old
    return BASE.replace(old, new, 1)


def _added(members: str) -> str:
    return BASE[:-1] + ", " + members + "}"


def _command(spec_members: str, strategy: str = BASE, before_spec: str = "") -> str:
    """A dry-run compile command around the strategy."""
    return (
        '{"cmd": "compile", "dry_run": true, ' + before_spec + '"spec": {"strategy": ' + strategy + ", "
        '"target": {"kind": "binary"}' + spec_members + "}}"
    )


@dataclass(frozen=True)
class Code:
    name: str
    severity: Literal["error", "warning"]
    meaning: str
    # A strategy document's text in which the checker finds the code, or, for
    # `in_command`, a compile command where the failure is located.
    example: str
    in_command: bool = False


CODES = (
    Code("syntax", "error", "The text is not JSON; the message is the JSON reader's.", '{"symbol": "A",}'),
    Code(
        "number-out-of-range",
        "error",
        "A number too large for a binary64 float.",
        _added('"warmup": 1e400'),
    ),
    Code(
        "too-deep",
        "error",
        "Values nested deeper than the JSON reader allows (127 levels, the compile command counting as the "
        "first and the strategy as the third).",
        _added('"short_entry": ' + '{"not": ' * 130 + '{"in_position": true}' + "}" * 130),
    ),
    Code(
        "missing-field",
        "error",
        "A required member is absent; the pointer names the object that lacks it.",
        '{"symbol": "BTC-USDT"}',
    ),
    Code(
        "duplicate-field",
        "error",
        "A member of the compile request given twice (in a strategy, the last of repeated members counts: "
        "see `duplicate-member`).",
        _command("", before_spec='"dry_run": false, '),
        in_command=True,
    ),
    Code(
        "unknown-variant",
        "error",
        "A name that is none of the choice's variants; the message lists them.",
        _with("fixed_fraction", "fixed_fractoin"),
    ),
    Code("invalid-type", "error", "A value of the wrong JSON type.", _with('"BTC-USDT"', "5")),
    Code(
        "invalid-value",
        "error",
        "A value of the right type out of its range, such as a negative count.",
        _added('"warmup": -1'),
    ),
    Code(
        "invalid-length",
        "error",
        "An array of the wrong length: a tuple, or the array form of a record or a tagged variant.",
        _with('["rsi", 30]', '["rsi"]'),
    ),
    Code(
        "no-operand-form",
        "error",
        "An operand that is neither a name, a number nor an expression; the help says where reading it "
        "as an expression failed.",
        _with('["rsi", 30]', '[{"price": "hl2"}, 30]'),
    ),
    Code(
        "invalid-crate-name",
        "error",
        "The crate name, given or derived from the symbol, is not a lower-case identifier.",
        _command(', "crate_name": "9lives"'),
        in_command=True,
    ),
    Code(
        "mcu-not-allowed",
        "error",
        "A `no_std` target names an MCU outside the allow-list.",
        _command("").replace('{"kind": "binary"}', '{"kind": "no_std", "mcu": "avr"}'),
        in_command=True,
    ),
    Code(
        "unknown-member",
        "warning",
        "A member that the record at its place does not define: it is ignored, and still embedded.",
        _added('"stoploss_pct": 2'),
    ),
    Code(
        "undeclared-indicator",
        "warning",
        "An operand name that `indicators` does not declare.",
        _with('["rsi", 30]', '["rsj", 30]'),
    ),
    Code(
        "unused-indicator",
        "warning",
        "A declared indicator that no rule reads.",
        _with('"indicators": {', '"indicators": {"ema": {"type": "ema"}, '),
    ),
    Code(
        "duplicate-member",
        "warning",
        "A member name repeated in one object: only its last value counts.",
        _added('"warmup": 1, "warmup": 2'),
    ),
    Code(
        "too-many-warnings",
        "warning",
        "Stands in for the warnings after the point where their texts together grow past many times the "
        "document's own size; it says how many were left out.",
        _added('"notes": {"' + "k" * 3000 + '": {' + ", ".join(['"a": 1'] * 150) + "}}"),
    ),
)
