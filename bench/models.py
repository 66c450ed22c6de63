"""Pydantic v2 models of the compile request and strategy shapes, for the
Python peers of bench/run.py.

They check shapes only (types, required members, variant names); the texts of
their errors are pydantic's own. Unknown members are ignored, as the compiler
ignores them. The array forms of records are not modelled: the benchmark
documents never use them.
"""

from __future__ import annotations

from typing import Any, Literal, TypeAlias

from pydantic import BaseModel, ConfigDict, Field, StrictBool, StrictFloat, StrictInt


class Shape(BaseModel):
    model_config = ConfigDict(extra="ignore")


class OneKey(BaseModel):
    """An externally tagged variant: an object with exactly one key."""

    model_config = ConfigDict(extra="forbid")


U32 = Field(ge=0, le=4294967295)
Number: TypeAlias = StrictInt | StrictFloat
Feed = Literal["kline", "trade", "orderbook", "trade_quote", "derivatives", "cross_section"]
PriceSourceName = Literal["open", "high", "low", "close", "volume", "hlc3", "ohlc4"]


class Indicator(Shape):
    type: str
    params: list[Number] = []
    feed: Feed | None = None


class Price(OneKey):
    price: PriceSourceName | dict[PriceSourceName, None]


class Prev(OneKey):
    prev: tuple[Operand, StrictInt]


class Add(OneKey):
    add: tuple[Operand, Operand]


class Sub(OneKey):
    sub: tuple[Operand, Operand]


class Mul(OneKey):
    mul: tuple[Operand, Operand]


class Div(OneKey):
    div: tuple[Operand, Operand]


Operand: TypeAlias = str | Number | Price | Prev | Add | Sub | Mul | Div
Pair: TypeAlias = tuple[Operand, Operand]


class BarsCmp(OneKey):
    gt: StrictInt | None = None
    lt: StrictInt | None = None
    ge: StrictInt | None = None
    le: StrictInt | None = None
    eq: StrictInt | None = None


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
    between: tuple[Operand, Operand, Operand]


class Rising(OneKey):
    rising: tuple[Operand, StrictInt]


class Falling(OneKey):
    falling: tuple[Operand, StrictInt]


class All(OneKey):
    all: list[Condition]


class AnyOf(OneKey):
    any: list[Condition]


class Not(OneKey):
    not_: Condition = Field(alias="not")


class InPosition(OneKey):
    in_position: StrictBool


class BarsSinceEntry(OneKey):
    bars_since_entry: BarsCmp


Condition: TypeAlias = (
    Gt
    | Lt
    | Ge
    | Le
    | Eq
    | Ne
    | CrossAbove
    | CrossBelow
    | Between
    | Rising
    | Falling
    | All
    | AnyOf
    | Not
    | InPosition
    | BarsSinceEntry
)


class Sizing(Shape):
    type: Literal["fixed_fraction", "fixed_qty", "fixed_cash", "vol_target", "risk_per_trade"]
    fraction: Number | None = None
    qty: Number | None = None
    cash: Number | None = None
    target_vol: Number | None = None
    lookback: StrictInt | None = None
    risk_pct: Number | None = None


class Slippage(Shape):
    type: Literal["fixed_bps", "spread", "volume_impact"]
    bps: Number | None = None
    coef: Number | None = None


class Costs(Shape):
    maker_bps: Number = 0.0
    taker_bps: Number = 0.0
    slippage: Slippage | None = None
    funding: StrictBool = False


class Risk(Shape):
    stop_loss_pct: Number | None = None
    take_profit_pct: Number | None = None
    trailing_stop_pct: Number | None = None
    max_leverage: Number | None = None
    max_position_pct: Number | None = None
    liquidation: StrictBool = False


class Execution(Shape):
    order_type: Literal["market", "limit", "stop", "stop_limit"] = "market"
    fill_timing: Literal["next_open", "close"] = "next_open"
    limit_offset_pct: Number | None = None
    stop_offset_pct: Number | None = None
    latency_bars: StrictInt = 0
    partial_fills: StrictBool = False
    max_participation: Number | None = None


class Strategy(Shape):
    spec_version: StrictInt = 1
    symbol: str
    ref_symbol: str | None = None
    timeframe: str
    indicators: dict[str, Indicator]
    entry: Condition
    exit: Condition
    short_entry: Condition | None = None
    short_exit: Condition | None = None
    sizing: Sizing
    costs: Costs | None = None
    risk: Risk | None = None
    execution: Execution | None = None
    warmup: StrictInt | None = None


class Target(Shape):
    kind: Literal["wasm", "binary", "no_std"]
    mcu: str | None = None


class CsvData(Shape):
    kind: Literal["csv"]
    path: str


class InlineData(Shape):
    kind: Literal["inline"]
    candles: list[Any]


class CompileSpec(Shape):
    strategy: Strategy
    target: Target
    opt_level: Literal["debug", "release", "size"] | None = None
    embed_data: CsvData | InlineData | None = Field(default=None, discriminator="kind")
    crate_name: str | None = None


class CompileReq(Shape):
    cmd: Literal["compile"]
    spec: CompileSpec
    dry_run: StrictBool = False
    out_dir: str | None = None


for model in (Prev, Add, Sub, Mul, Div, All, AnyOf, Not, Strategy, CompileSpec, CompileReq):
    model.model_rebuild()
