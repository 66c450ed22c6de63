"""Pydantic v2 models of the compile request and strategy shapes, for the
Python peers of bench/run.py.

They check shapes only (types, required members, variant names); the texts of
their errors are pydantic's own. Unknown members are ignored, as the compiler
ignores them. The array forms of records are not modelled: the benchmark
documents never use them.
"""

from __future__ import annotations

from typing import Any, Literal, Optional, Union

from pydantic import BaseModel, ConfigDict, Field, StrictBool, StrictFloat, StrictInt


class Shape(BaseModel):
    model_config = ConfigDict(extra="ignore")


class OneKey(BaseModel):
    """An externally tagged variant: an object with exactly one key."""

    model_config = ConfigDict(extra="forbid")


U32 = Field(ge=0, le=4294967295)
Number = Union[StrictInt, StrictFloat]
Feed = Literal["kline", "trade", "orderbook", "trade_quote", "derivatives", "cross_section"]
PriceSourceName = Literal["open", "high", "low", "close", "volume", "hlc3", "ohlc4"]


class Indicator(Shape):
    type: str
    params: list[Number] = []
    feed: Optional[Feed] = None


class Price(OneKey):
    price: Union[PriceSourceName, dict[PriceSourceName, None]]


class Prev(OneKey):
    prev: tuple["Operand", StrictInt]


class Add(OneKey):
    add: tuple["Operand", "Operand"]


class Sub(OneKey):
    sub: tuple["Operand", "Operand"]


class Mul(OneKey):
    mul: tuple["Operand", "Operand"]


class Div(OneKey):
    div: tuple["Operand", "Operand"]


Operand = Union[str, Number, Price, Prev, Add, Sub, Mul, Div]
Pair = tuple[Operand, Operand]


class BarsCmp(OneKey):
    gt: Optional[StrictInt] = None
    lt: Optional[StrictInt] = None
    ge: Optional[StrictInt] = None
    le: Optional[StrictInt] = None
    eq: Optional[StrictInt] = None


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
    all: list["Condition"]


class AnyOf(OneKey):
    any: list["Condition"]


class Not(OneKey):
    not_: "Condition" = Field(alias="not")


class InPosition(OneKey):
    in_position: StrictBool


class BarsSinceEntry(OneKey):
    bars_since_entry: BarsCmp


Condition = Union[Gt, Lt, Ge, Le, Eq, Ne, CrossAbove, CrossBelow, Between, Rising, Falling,
                  All, AnyOf, Not, InPosition, BarsSinceEntry]


class Sizing(Shape):
    type: Literal["fixed_fraction", "fixed_qty", "fixed_cash", "vol_target", "risk_per_trade"]
    fraction: Optional[Number] = None
    qty: Optional[Number] = None
    cash: Optional[Number] = None
    target_vol: Optional[Number] = None
    lookback: Optional[StrictInt] = None
    risk_pct: Optional[Number] = None


class Slippage(Shape):
    type: Literal["fixed_bps", "spread", "volume_impact"]
    bps: Optional[Number] = None
    coef: Optional[Number] = None


class Costs(Shape):
    maker_bps: Number = 0.0
    taker_bps: Number = 0.0
    slippage: Optional[Slippage] = None
    funding: StrictBool = False


class Risk(Shape):
    stop_loss_pct: Optional[Number] = None
    take_profit_pct: Optional[Number] = None
    trailing_stop_pct: Optional[Number] = None
    max_leverage: Optional[Number] = None
    max_position_pct: Optional[Number] = None
    liquidation: StrictBool = False


class Execution(Shape):
    order_type: Literal["market", "limit", "stop", "stop_limit"] = "market"
    fill_timing: Literal["next_open", "close"] = "next_open"
    limit_offset_pct: Optional[Number] = None
    stop_offset_pct: Optional[Number] = None
    latency_bars: StrictInt = 0
    partial_fills: StrictBool = False
    max_participation: Optional[Number] = None


class Strategy(Shape):
    spec_version: StrictInt = 1
    symbol: str
    ref_symbol: Optional[str] = None
    timeframe: str
    indicators: dict[str, Indicator]
    entry: Condition
    exit: Condition
    short_entry: Optional[Condition] = None
    short_exit: Optional[Condition] = None
    sizing: Sizing
    costs: Optional[Costs] = None
    risk: Optional[Risk] = None
    execution: Optional[Execution] = None
    warmup: Optional[StrictInt] = None


class Target(Shape):
    kind: Literal["wasm", "binary", "no_std"]
    mcu: Optional[str] = None


class CsvData(Shape):
    kind: Literal["csv"]
    path: str


class InlineData(Shape):
    kind: Literal["inline"]
    candles: list[Any]


class CompileSpec(Shape):
    strategy: Strategy
    target: Target
    opt_level: Optional[Literal["debug", "release", "size"]] = None
    embed_data: Optional[Union[CsvData, InlineData]] = Field(default=None, discriminator="kind")
    crate_name: Optional[str] = None


class CompileReq(Shape):
    cmd: Literal["compile"]
    spec: CompileSpec
    dry_run: StrictBool = False
    out_dir: Optional[str] = None


for model in (Prev, Add, Sub, Mul, Div, All, AnyOf, Not, Strategy, CompileSpec, CompileReq):
    model.model_rebuild()
