"""Hypothesis strategies for strategy documents: valid ones in every spelling
the compiler reads, and mutations of them.

The names below are written out here rather than taken from the schema's
source, so that a name missing from the schema shows up as a disagreement.
"""

from __future__ import annotations

import copy
from typing import Any

from hypothesis import strategies as st
from support import json_values

U32_MAX = 2**32 - 1

FEEDS = ["kline", "trade", "orderbook", "trade_quote", "derivatives", "cross_section"]
PRICES = ["open", "high", "low", "close", "volume", "hlc3", "ohlc4"]
ARITH = ["add", "sub", "mul", "div"]
PAIRS = ["gt", "lt", "ge", "le", "eq", "ne", "cross_above", "cross_below"]
BARS = ["gt", "lt", "ge", "le", "eq"]
ORDER_TYPES = ["market", "limit", "stop", "stop_limit"]
FILL_TIMINGS = ["next_open", "close"]

names = st.text(max_size=6)
counts = st.one_of(st.integers(0, U32_MAX), st.sampled_from([0, 1, U32_MAX]))
floats = st.floats(allow_nan=False, allow_infinity=False)
numbers = st.one_of(st.integers(-(2**70), 2**70), floats)
nullable_numbers = st.one_of(st.none(), numbers)


def unit(variants: list[str]) -> st.SearchStrategy[Any]:
    """A variant without data: the bare name or {"name": null}."""
    return st.sampled_from(variants + [{n: None} for n in variants])


# Small values for members of other names, which nothing reads.
small_values = st.recursive(
    st.one_of(st.none(), st.booleans(), numbers, names),
    lambda inner: st.lists(inner, max_size=2),
    max_leaves=3,
)

operands = st.recursive(
    st.one_of(names, numbers, unit(PRICES).map(lambda p: {"price": p})),
    lambda inner: st.one_of(
        st.tuples(inner, counts).map(lambda t: {"prev": list(t)}),
        st.tuples(st.sampled_from(ARITH), inner, inner).map(lambda t: {t[0]: [t[1], t[2]]}),
    ),
    max_leaves=3,
)

conditions = st.recursive(
    st.one_of(
        st.tuples(st.sampled_from(PAIRS), operands, operands).map(lambda t: {t[0]: [t[1], t[2]]}),
        st.tuples(operands, operands, operands).map(lambda t: {"between": list(t)}),
        st.tuples(st.sampled_from(["rising", "falling"]), operands, counts).map(
            lambda t: {t[0]: [t[1], t[2]]}
        ),
        st.booleans().map(lambda b: {"in_position": b}),
        st.tuples(st.sampled_from(BARS), counts).map(lambda t: {"bars_since_entry": {t[0]: t[1]}}),
    ),
    lambda inner: st.one_of(
        st.tuples(st.sampled_from(["all", "any"]), st.lists(inner, max_size=3)).map(lambda t: {t[0]: t[1]}),
        inner.map(lambda c: {"not": c}),
    ),
    max_leaves=3,
)

Fields = list[tuple[str, st.SearchStrategy[Any], bool]]

# A few plain values per member, for the members a document does not vary:
# in object forms, and for documents of every form also in array forms.
PLAIN: dict[str, list[Any]] = {
    "spec_version": [1],
    "symbol": ["BTC-USDT"],
    "ref_symbol": [None, "ETH-USDT"],
    "timeframe": ["1h"],
    "indicators": [{}, {"ema": {"type": "ema", "params": [12], "feed": "kline"}}],
    "entry": [
        {"gt": ["ema", 1]},
        {"between": ["ema", 1, {"price": "close"}]},
        {"all": [{"rising": ["ema", 3]}, {"bars_since_entry": {"ge": 5}}]},
    ],
    "exit": [{"in_position": True}, {"not": {"lt": [{"prev": ["ema", 1]}, 2]}}],
    "short_entry": [None, {"lt": ["ema", 1]}],
    "short_exit": [None],
    "sizing": [{"type": "fixed_qty", "qty": 1}, {"type": "vol_target", "target_vol": 0.1, "lookback": 20}],
    "costs": [
        {},
        {"funding": True, "slippage": {"type": "volume_impact", "coef": 0.1}},
        {"slippage": {"type": "spread"}},
    ],
    "risk": [{"liquidation": True}, {"stop_loss_pct": 2.0, "max_leverage": None}],
    "execution": [{"order_type": "limit"}, {"fill_timing": {"close": None}, "latency_bars": 2}],
    "warmup": [None, 20],
}
PLAIN_ARRAYS: dict[str, list[Any]] = {
    "indicators": [{"ema": ["ema", [12], "kline"]}],
    "sizing": [["vol_target", 0.1, 20], ["fixed_qty", 1]],
    "costs": [[], [1.0, 2.0, ["spread"]]],
    "risk": [[None, 1.0, None, None, None, False]],
    "execution": [["limit", "close"]],
}


class Spelling:
    """Valid documents. With `objects_only`, in the forms that the strict
    schema takes: records and tagged choices as objects, no members of other
    names; otherwise in every form the compiler reads."""

    def __init__(self, objects_only: bool) -> None:
        self.objects_only = objects_only

    def extras(self, known: set[str]) -> st.SearchStrategy[dict[str, Any]]:
        if self.objects_only:
            return st.just({})
        return st.dictionaries(names.filter(lambda n: n not in known), small_values, max_size=1)

    def record(self, fields: Fields) -> st.SearchStrategy[Any]:
        """An object with the required fields, some optional ones and members
        of other names, or an array of the fields in order, cut after any
        field from the last required one on."""
        as_object = st.tuples(
            st.fixed_dictionaries(
                {n: s for n, s, req in fields if req}, optional={n: s for n, s, req in fields if not req}
            ),
            self.extras({name for name, _, _ in fields}),
        ).map(lambda t: {**t[1], **t[0]})
        if self.objects_only:
            return as_object
        shortest = max((i + 1 for i, (_, _, req) in enumerate(fields) if req), default=0)
        as_arrays = [
            st.tuples(*(s for _, s, _ in fields[:n])).map(list) for n in range(shortest, len(fields) + 1)
        ]
        return st.one_of(as_object, *as_arrays)

    def tagged(self, variants: dict[str, list[tuple[str, st.SearchStrategy[Any]]]]) -> st.SearchStrategy[Any]:
        """An internally tagged choice: {"type": name, fields..., others...}
        or [name, fields...]."""

        def spell(name: str) -> st.SearchStrategy[Any]:
            fields = variants[name]
            values = st.tuples(*(s for _, s in fields))
            as_object = st.tuples(values, self.extras({"type"} | {n for n, _ in fields})).map(
                lambda t: {**t[1], "type": name, **dict(zip((n for n, _ in fields), t[0], strict=True))}
            )
            if self.objects_only:
                return as_object
            return st.one_of(as_object, values.map(lambda v: [name, *v]))

        return st.one_of(*(spell(name) for name in variants))

    def document_fields(self) -> Fields:
        indicators = st.dictionaries(
            names,
            self.record(
                [
                    ("type", names, True),
                    ("params", st.lists(numbers, max_size=3), False),
                    ("feed", st.one_of(st.none(), unit(FEEDS)), False),
                ]
            ),
            max_size=2,
        )
        sizing = self.tagged(
            {
                "fixed_fraction": [("fraction", numbers)],
                "fixed_qty": [("qty", numbers)],
                "fixed_cash": [("cash", numbers)],
                "vol_target": [("target_vol", numbers), ("lookback", counts)],
                "risk_per_trade": [("risk_pct", numbers)],
            }
        )
        slippage = self.tagged(
            {
                "fixed_bps": [("bps", numbers)],
                "spread": [],
                "volume_impact": [("coef", numbers)],
            }
        )
        costs = self.record(
            [
                ("maker_bps", numbers, False),
                ("taker_bps", numbers, False),
                ("slippage", slippage, False),
                ("funding", st.booleans(), False),
            ]
        )
        risk = self.record(
            [
                (name, nullable_numbers, False)
                for name in (
                    "stop_loss_pct",
                    "take_profit_pct",
                    "trailing_stop_pct",
                    "max_leverage",
                    "max_position_pct",
                )
            ]
            + [("liquidation", st.booleans(), False)]
        )
        execution = self.record(
            [
                ("order_type", unit(ORDER_TYPES), False),
                ("fill_timing", unit(FILL_TIMINGS), False),
                ("limit_offset_pct", nullable_numbers, False),
                ("stop_offset_pct", nullable_numbers, False),
                ("latency_bars", counts, False),
                ("partial_fills", st.booleans(), False),
                ("max_participation", nullable_numbers, False),
            ]
        )
        return [
            ("spec_version", counts, False),
            ("symbol", names, True),
            ("ref_symbol", st.one_of(st.none(), names), False),
            ("timeframe", names, True),
            ("indicators", indicators, True),
            ("entry", conditions, True),
            ("exit", conditions, True),
            ("short_entry", st.one_of(st.none(), conditions), False),
            ("short_exit", st.one_of(st.none(), conditions), False),
            ("sizing", sizing, True),
            ("costs", costs, False),
            ("risk", risk, False),
            ("execution", execution, False),
            ("warmup", st.one_of(st.none(), counts), False),
        ]

    def documents(self) -> st.SearchStrategy[Any]:
        """Documents whose members come from a few plain values but one,
        drawn from its full range: drawing every member in full makes each
        document costly to generate and no more telling."""
        fields = self.document_fields()
        plain = {
            name: st.sampled_from(values + ([] if self.objects_only else PLAIN_ARRAYS.get(name, [])))
            for name, values in PLAIN.items()
        }
        return st.one_of(
            *(
                self.record(
                    [(name, full if name == varied else plain[name], req) for name, full, req in fields]
                )
                for varied, _, _ in fields
            )
        )


documents = Spelling(objects_only=False).documents()
authored_documents = Spelling(objects_only=True).documents()

# ---------------------------------------------------------------------------
# Mutations

KNOWN_NAMES = sorted(
    {
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
        "type",
        "params",
        "feed",
        "price",
        "prev",
        "between",
        "rising",
        "falling",
        "all",
        "any",
        "not",
        "in_position",
        "bars_since_entry",
        "fixed_fraction",
        "fraction",
        "fixed_qty",
        "qty",
        "fixed_cash",
        "cash",
        "vol_target",
        "target_vol",
        "lookback",
        "risk_per_trade",
        "risk_pct",
        "maker_bps",
        "taker_bps",
        "slippage",
        "funding",
        "fixed_bps",
        "bps",
        "spread",
        "volume_impact",
        "coef",
        "stop_loss_pct",
        "take_profit_pct",
        "trailing_stop_pct",
        "max_leverage",
        "max_position_pct",
        "liquidation",
        "order_type",
        "fill_timing",
        "limit_offset_pct",
        "stop_offset_pct",
        "latency_bars",
        "partial_fills",
        "max_participation",
    }
    | set(FEEDS + PRICES + ARITH + PAIRS + ORDER_TYPES + FILL_TIMINGS)
)

# Values near the edges of what some place accepts.
EDGE_VALUES: list[Any] = [
    None,
    True,
    False,
    0,
    1,
    -1,
    1.5,
    2.0,
    U32_MAX,
    U32_MAX + 1,
    2**64,
    -(2**63),
    "",
    "x",
    "close",
    "gt",
    "spread",
    [],
    [1],
    ["x", 1],
    ["x", 1, 2],
    [["x", 1]],
    {},
    {"x": 1},
    {"close": None},
    {"close": 1},
    {"gt": ["a", 1]},
    {"gt": ["a", 1], "lt": ["b", 2]},
    {"type": "spread"},
    {"type": "fixed_qty"},
    {"price": "close"},
]
# Copied, since a later change may change what was put in. Null on its own,
# since many members differ in whether they take it.
replacements = st.one_of(
    st.none(), st.sampled_from(EDGE_VALUES), st.sampled_from(KNOWN_NAMES), json_values
).map(copy.deepcopy)
member_names = st.one_of(st.sampled_from(KNOWN_NAMES), st.sampled_from(KNOWN_NAMES).map(str.upper), names)
# Numbers near a count's bounds and spellings that a count refuses.
number_edges = st.sampled_from([0, -1, U32_MAX, U32_MAX + 1, 2.0, 0.5, -0.0, 2**64, None, "1"])


def _places(value: Any, path: tuple[Any, ...] = ()) -> list[tuple[Any, ...]]:
    """The path of every value inside `value`, `value` itself first."""
    out = [path]
    if isinstance(value, dict):
        for k, v in value.items():
            out += _places(v, path + (k,))
    elif isinstance(value, list):
        for i, v in enumerate(value):
            out += _places(v, path + (i,))
    return out


def _get(value: Any, path: tuple[Any, ...]) -> Any:
    for step in path:
        value = value[step]
    return value


def _changed(draw: st.DrawFn, doc: Any, target: Any) -> Any:
    """`target` (a part of `doc`) changed in a way that suits its kind, or
    replaced outright; a container may be changed in place and returned."""
    kind = draw(st.sampled_from(["replace", "transplant", "shape", "shape"]))
    if kind == "replace":
        return draw(replacements)
    if kind == "transplant":
        return copy.deepcopy(_get(doc, draw(st.sampled_from(_places(doc)))))
    if isinstance(target, dict):
        change = draw(st.sampled_from(["remove", "add", "rename", "as array"]))
        if change == "as array":
            return list(target.values())
        if change == "add" or not target:
            target[draw(member_names)] = draw(
                st.one_of(
                    replacements, st.sampled_from([copy.deepcopy(v) for v in target.values()] or [None])
                )
            )
            return target
        name = draw(st.sampled_from(list(target)))
        value = target.pop(name)
        if change == "rename":
            target[draw(member_names)] = value
        return target
    if isinstance(target, list):
        change = draw(st.sampled_from(["remove", "add", "as object"]))
        if change == "as object":
            return {str(i): v for i, v in enumerate(target)}
        if change == "remove" and target:
            del target[draw(st.integers(0, len(target) - 1))]
        else:
            target.insert(
                draw(st.integers(0, len(target))),
                draw(st.one_of(replacements, st.sampled_from([copy.deepcopy(v) for v in target] or [None]))),
            )
        return target
    if isinstance(target, (int, float)) and not isinstance(target, bool):
        return draw(number_edges)
    if isinstance(target, str):
        return draw(st.one_of(st.sampled_from(KNOWN_NAMES), member_names))
    return draw(replacements)


@st.composite
def mutated(draw: st.DrawFn, base: st.SearchStrategy[Any]) -> Any:
    """A document with one to three changes, each to a value suited to its
    kind: a number to a count's edges or a float, a string to a known name,
    an object's member removed, added or renamed, or the object turned into
    the array of its values, an array's element removed or added; or any
    value replaced (by an edge value, a name, random JSON or another part of
    the document)."""
    doc = copy.deepcopy(draw(base))
    for _ in range(draw(st.sampled_from([1, 1, 2, 3]))):
        places = _places(doc)
        # Containers hold most of the shape, so they are chosen as often as
        # all places together.
        containers = [p for p in places if isinstance(_get(doc, p), (dict, list))]
        path = draw(st.sampled_from(draw(st.sampled_from([places, containers or places]))))
        new = _changed(draw, doc, _get(doc, path))
        if not path:
            doc = new
        else:
            _get(doc, path[:-1])[path[-1]] = new
    return doc
