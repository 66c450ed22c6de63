"""Pydantic v2 models of the compile request and strategy shapes, for the
Python peers of bench/run.py.

They check shapes only (types, required members, variant names); the texts of
their errors are pydantic's own. Unknown members are ignored, as the compiler
ignores them. The array forms of records are not modelled: the benchmark
documents never use them.

Written as a pydantic user after speed would write them: strict scalars,
every tagged choice a discriminated union (by a member's value for the
internally tagged ones, by the one key of the object for the externally
tagged ones, so that no variant is tried in vain), and one validator built
once (`COMPILE_REQ`). Validation runs on the value the peer has already
parsed, which it needs anyway to write the canonical texts; tuples are
therefore accepted from lists, their elements staying strict.
"""

from __future__ import annotations

from typing import Annotated, Any, Literal, TypeAlias

from pydantic import BaseModel, ConfigDict, Discriminator, Field, Strict, Tag, TypeAdapter


class Shape(BaseModel):
    model_config = ConfigDict(strict=True, extra="ignore")


class OneKey(BaseModel):
    """An externally tagged variant: an object with exactly one key."""

    model_config = ConfigDict(strict=True, extra="forbid")


def only_key(value: Any) -> Any:
    """The tag of an externally tagged value: the one key of its object, or
    None, which no variant has."""
    if isinstance(value, dict) and len(value) == 1:
        return next(iter(value))
    return None


def operand_form(value: Any) -> Any:
    """A name, a constant, or an expression tagged by its one key."""
    if isinstance(value, str):
        return "name"
    if isinstance(value, dict):
        return only_key(value)
    return "constant"


# Strict floats take integers too, never booleans or strings.
Number: TypeAlias = float
U32: TypeAlias = Annotated[int, Field(ge=0, le=4294967295)]
Feed = Literal["kline", "trade", "orderbook", "trade_quote", "derivatives", "cross_section"]
PriceSourceName = Literal["open", "high", "low", "close", "volume", "hlc3", "ohlc4"]


class Indicator(Shape):
    type: str
    params: list[Number] = []
    feed: Feed | None = None


class Price(OneKey):
    price: PriceSourceName | dict[PriceSourceName, None]


class Prev(OneKey):
    prev: Annotated[tuple[Operand, U32], Strict(False)]


class Add(OneKey):
    add: Pair


class Sub(OneKey):
    sub: Pair


class Mul(OneKey):
    mul: Pair


class Div(OneKey):
    div: Pair


Operand: TypeAlias = Annotated[
    Annotated[str, Tag("name")]
    | Annotated[Number, Tag("constant")]
    | Annotated[Price, Tag("price")]
    | Annotated[Prev, Tag("prev")]
    | Annotated[Add, Tag("add")]
    | Annotated[Sub, Tag("sub")]
    | Annotated[Mul, Tag("mul")]
    | Annotated[Div, Tag("div")],
    Discriminator(operand_form),
]
Pair: TypeAlias = Annotated[tuple[Operand, Operand], Strict(False)]


class BarsGt(OneKey):
    gt: U32


class BarsLt(OneKey):
    lt: U32


class BarsGe(OneKey):
    ge: U32


class BarsLe(OneKey):
    le: U32


class BarsEq(OneKey):
    eq: U32


BarsCmp: TypeAlias = Annotated[
    Annotated[BarsGt, Tag("gt")]
    | Annotated[BarsLt, Tag("lt")]
    | Annotated[BarsGe, Tag("ge")]
    | Annotated[BarsLe, Tag("le")]
    | Annotated[BarsEq, Tag("eq")],
    Discriminator(only_key),
]


class Gt(OneKey):
    gt: Pair


class Lt(OneKey):
    lt: Pair


class Ge(OneKey):
    ge: Pair


class Le(OneKey):
    le: Pair


class Eq(OneKey):
    eq: Pair


class Ne(OneKey):
    ne: Pair


class CrossAbove(OneKey):
    cross_above: Pair


class CrossBelow(OneKey):
    cross_below: Pair


class Between(OneKey):
    between: Annotated[tuple[Operand, Operand, Operand], Strict(False)]


class Rising(OneKey):
    rising: Annotated[tuple[Operand, U32], Strict(False)]


class Falling(OneKey):
    falling: Annotated[tuple[Operand, U32], Strict(False)]


class All(OneKey):
    all: list[Condition]


class AnyOf(OneKey):
    any: list[Condition]


class Not(OneKey):
    not_: Condition = Field(alias="not")


class InPosition(OneKey):
    in_position: bool


class BarsSinceEntry(OneKey):
    bars_since_entry: BarsCmp


Condition: TypeAlias = Annotated[
    Annotated[Gt, Tag("gt")]
    | Annotated[Lt, Tag("lt")]
    | Annotated[Ge, Tag("ge")]
    | Annotated[Le, Tag("le")]
    | Annotated[Eq, Tag("eq")]
    | Annotated[Ne, Tag("ne")]
    | Annotated[CrossAbove, Tag("cross_above")]
    | Annotated[CrossBelow, Tag("cross_below")]
    | Annotated[Between, Tag("between")]
    | Annotated[Rising, Tag("rising")]
    | Annotated[Falling, Tag("falling")]
    | Annotated[All, Tag("all")]
    | Annotated[AnyOf, Tag("any")]
    | Annotated[Not, Tag("not")]
    | Annotated[InPosition, Tag("in_position")]
    | Annotated[BarsSinceEntry, Tag("bars_since_entry")],
    Discriminator(only_key),
]


class FixedFraction(Shape):
    type: Literal["fixed_fraction"]
    fraction: Number


class FixedQty(Shape):
    type: Literal["fixed_qty"]
    qty: Number


class FixedCash(Shape):
    type: Literal["fixed_cash"]
    cash: Number


class VolTarget(Shape):
    type: Literal["vol_target"]
    target_vol: Number
    lookback: U32


class RiskPerTrade(Shape):
    type: Literal["risk_per_trade"]
    risk_pct: Number


Sizing: TypeAlias = Annotated[
    FixedFraction | FixedQty | FixedCash | VolTarget | RiskPerTrade, Field(discriminator="type")
]


class FixedBps(Shape):
    type: Literal["fixed_bps"]
    bps: Number


class Spread(Shape):
    type: Literal["spread"]


class VolumeImpact(Shape):
    type: Literal["volume_impact"]
    coef: Number


Slippage: TypeAlias = Annotated[FixedBps | Spread | VolumeImpact, Field(discriminator="type")]


class Costs(Shape):
    maker_bps: Number = 0.0
    taker_bps: Number = 0.0
    slippage: Slippage = FixedBps(type="fixed_bps", bps=0.0)
    funding: bool = False


class Risk(Shape):
    stop_loss_pct: Number | None = None
    take_profit_pct: Number | None = None
    trailing_stop_pct: Number | None = None
    max_leverage: Number | None = None
    max_position_pct: Number | None = None
    liquidation: bool = False


class Execution(Shape):
    order_type: Literal["market", "limit", "stop", "stop_limit"] = "market"
    fill_timing: Literal["next_open", "close"] = "next_open"
    limit_offset_pct: Number | None = None
    stop_offset_pct: Number | None = None
    latency_bars: U32 = 0
    partial_fills: bool = False
    max_participation: Number | None = None


class Strategy(Shape):
    spec_version: U32 = 1
    symbol: str
    ref_symbol: str | None = None
    timeframe: str
    indicators: dict[str, Indicator]
    entry: Condition
    exit: Condition
    short_entry: Condition | None = None
    short_exit: Condition | None = None
    sizing: Sizing
    costs: Costs = Costs()
    risk: Risk = Risk()
    execution: Execution = Execution()
    warmup: U32 | None = None


class Wasm(Shape):
    kind: Literal["wasm"]


class Binary(Shape):
    kind: Literal["binary"]


class NoStd(Shape):
    kind: Literal["no_std"]
    mcu: str


Target: TypeAlias = Annotated[Wasm | Binary | NoStd, Field(discriminator="kind")]


class CsvData(Shape):
    kind: Literal["csv"]
    path: str


class InlineData(Shape):
    kind: Literal["inline"]
    candles: list[Any]


class CompileSpec(Shape):
    strategy: Strategy
    target: Target
    opt_level: Literal["debug", "release", "size"] = "release"
    embed_data: Annotated[CsvData | InlineData, Field(discriminator="kind")] | None = None
    crate_name: str | None = None


class CompileReq(Shape):
    cmd: Literal["compile"]
    spec: CompileSpec
    dry_run: bool = False
    out_dir: str | None = None


RECURSIVE: tuple[type[BaseModel], ...] = (
    Prev,
    Add,
    Sub,
    Mul,
    Div,
    Gt,
    Lt,
    Ge,
    Le,
    Eq,
    Ne,
    CrossAbove,
    CrossBelow,
)
for model in RECURSIVE + (Between, Rising, Falling, All, AnyOf, Not, Strategy, CompileSpec, CompileReq):
    model.model_rebuild()

# The one validator of a whole compile command, built once.
COMPILE_REQ: TypeAdapter[CompileReq] = TypeAdapter(CompileReq)
