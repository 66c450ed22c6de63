"""The strategy document, type by type: every member and variant in the order
the validator declares them, with the words that the published JSON Schema
and the README's reference both show.

The order of members and variants matters (positional forms, the lists in
error messages); tests/cpp/strategy/test_published_schema.cpp holds the
generated schema to the validator's own tables.
"""

from __future__ import annotations

from dataclasses import dataclass
from typing import Any

# ---------------------------------------------------------------------------
# Value types


@dataclass(frozen=True)
class Scalar:
    """A JSON scalar with its schema and its name in the reference."""

    schema: dict[str, Any]
    label: str


U32 = Scalar({"type": "integer", "minimum": 0, "maximum": 4294967295}, "u32")
F64 = Scalar({"type": "number"}, "number")
STRING = Scalar({"type": "string"}, "string")
BOOL = Scalar({"type": "boolean"}, "boolean")


@dataclass(frozen=True)
class Ref:
    """A named type of this document."""

    name: str


@dataclass(frozen=True)
class Nullable:
    """The inner type, or null for "none"."""

    inner: Scalar | Ref


@dataclass(frozen=True)
class ListOf:
    """A JSON array of any length."""

    item: Scalar | Ref


@dataclass(frozen=True)
class MapOf:
    """A JSON object from any name to the value type."""

    value: Ref


@dataclass(frozen=True)
class Tuple:
    """A JSON array of exactly these elements."""

    items: tuple[Scalar | Ref, ...]
    label: str


Type = Scalar | Ref | Nullable | ListOf | MapOf | Tuple

NO_DEFAULT = object()


@dataclass(frozen=True)
class Member:
    name: str
    type: Type
    title: str
    description: str
    required: bool = False
    default: Any = NO_DEFAULT


@dataclass(frozen=True)
class Record:
    """Members in declaration order; written as an object or, in the exact
    flavour, as an array holding the members by position."""

    name: str
    title: str
    description: str
    members: tuple[Member, ...]


@dataclass(frozen=True)
class Variant:
    """One variant of a choice. `data` is None for a variant without data;
    `fields` are the members of an internally tagged variant."""

    name: str
    title: str
    description: str
    data: Type | None = None
    fields: tuple[Member, ...] = ()


@dataclass(frozen=True)
class Choice:
    """An enumeration. `tag` names the member of an internally tagged choice;
    otherwise the choice is externally tagged (a bare name for a variant
    without data, a one-member object otherwise)."""

    name: str
    title: str
    description: str
    variants: tuple[Variant, ...]
    tag: str | None = None


@dataclass(frozen=True)
class Alternative:
    title: str
    description: str
    type: Type


@dataclass(frozen=True)
class Untagged:
    """Alternatives told apart by their JSON form, tried in this order."""

    name: str
    title: str
    description: str
    alternatives: tuple[Alternative, ...]


Definition = Record | Choice | Untagged

# ---------------------------------------------------------------------------
# The document

OPERAND = Ref("Operand")
CONDITION = Ref("Condition")
PAIR = Tuple((OPERAND, OPERAND), "[Operand, Operand]")
COUNTED = Tuple((OPERAND, U32), "[Operand, u32]")


def _none(what: str) -> str:
    return f"{what} null or absent: none."


STRATEGY = Record(
    "StrategySpec",
    "Strategy document",
    "A trading strategy for lantor_compile: a symbol and timeframe, named indicators, entry "
    "and exit rules, and sizing, cost, risk and execution settings. Members of other names "
    "are kept in the embedded document without being looked at.",
    (
        Member(
            "spec_version",
            U32,
            "Document version",
            "The version of the document format. Any unsigned 32-bit integer is accepted.",
            default=1,
        ),
        Member(
            "symbol",
            STRING,
            "Symbol",
            "The instrument the strategy trades, such as BTC-USDT. Any text. Unless the "
            "compile request names a crate_name, the crate's name is derived from it (ASCII "
            "letters lower-cased, digits kept, any other character becomes _), which then "
            "has to start with a letter.",
            required=True,
        ),
        Member(
            "ref_symbol",
            Nullable(STRING),
            "Reference symbol",
            _none("A second instrument, as in a pair or spread strategy."),
            default=None,
        ),
        Member(
            "timeframe",
            STRING,
            "Timeframe",
            "The bar interval, such as 1m, 1h or 1d. Any text.",
            required=True,
        ),
        Member(
            "indicators",
            MapOf(Ref("IndicatorSpec")),
            "Indicators",
            "The indicators, by name; any text is a name and the object may be empty. "
            "Names in rules are not checked against them.",
            required=True,
        ),
        Member("entry", CONDITION, "Entry rule", "When a position is entered.", required=True),
        Member("exit", CONDITION, "Exit rule", "When the position is left.", required=True),
        Member(
            "short_entry",
            Nullable(CONDITION),
            "Short entry rule",
            _none("When a short position is entered."),
            default=None,
        ),
        Member(
            "short_exit",
            Nullable(CONDITION),
            "Short exit rule",
            _none("When the short position is left."),
            default=None,
        ),
        Member("sizing", Ref("Sizing"), "Sizing", "How large a position is.", required=True),
        Member(
            "costs",
            Ref("Costs"),
            "Costs",
            "Fees, funding and slippage. Absent: no fees, no funding, no slippage.",
            default={
                "maker_bps": 0.0,
                "taker_bps": 0.0,
                "slippage": {"type": "fixed_bps", "bps": 0.0},
                "funding": False,
            },
        ),
        Member(
            "risk",
            Ref("Risk"),
            "Risk",
            "Stops, leverage and exposure limits. Absent: none set, no liquidation.",
            default={"liquidation": False},
        ),
        Member(
            "execution",
            Ref("Execution"),
            "Execution",
            "Order type, fill timing and fill limits. Absent: market orders filled at the "
            "next bar's open, no latency, no partial fills.",
            default={
                "order_type": "market",
                "fill_timing": "next_open",
                "latency_bars": 0,
                "partial_fills": False,
            },
        ),
        Member("warmup", Nullable(U32), "Warm-up bars", _none("A warm-up period, in bars."), default=None),
    ),
)

INDICATOR = Record(
    "IndicatorSpec",
    "Indicator",
    "One indicator: its kind, its parameters and the data it reads.",
    (
        Member(
            "type",
            STRING,
            "Kind",
            "The indicator kind, such as ema, rsi or atr. Free text: the kinds belong to "
            "the backtest library and are not checked here.",
            required=True,
        ),
        Member(
            "params",
            ListOf(F64),
            "Parameters",
            "The indicator's numbers, such as its period. Integers are read as floats.",
            default=[],
        ),
        Member(
            "feed", Nullable(Ref("Feed")), "Feed", _none("The data stream the indicator reads."), default=None
        ),
    ),
)

FEED = Choice(
    "Feed",
    "Feed",
    "The data stream an indicator reads.",
    (
        Variant("kline", "Klines", "Candles: open, high, low, close and volume per bar."),
        Variant("trade", "Trades", "The stream of trades."),
        Variant("orderbook", "Order book", "The order book."),
        Variant("trade_quote", "Trades and quotes", "Trades with the best bid and ask."),
        Variant("derivatives", "Derivatives", "Derivatives data, such as funding rates."),
        Variant("cross_section", "Cross-section", "Data across several instruments."),
    ),
)

OPERAND_DEF = Untagged(
    "Operand",
    "Operand",
    "A value a rule compares: a string is a name, a number a constant, a one-member object "
    "an expression, tried in that order. A string is therefore never a price: the close "
    'price is {"price": "close"}.',
    (
        Alternative("Name", "An indicator or other series, by name; not checked against indicators.", STRING),
        Alternative("Constant", "A number; integers are read as floats.", F64),
        Alternative("Expression", "A price, an earlier value or arithmetic.", Ref("Expr")),
    ),
)


def _binary(name: str, title: str, sign: str) -> Variant:
    return Variant(name, title, f"[a, b]: a {sign} b.", PAIR)


EXPR = Choice(
    "Expr",
    "Expression",
    "A price of the bar, an earlier bar's value, or arithmetic over two operands: a "
    "one-member object whose name is the variant.",
    (
        Variant("price", "Price", 'A price of the bar, such as {"price": "close"}.', Ref("PriceSource")),
        Variant(
            "prev", "Earlier value", "[operand, bars]: the operand's value that many bars earlier.", COUNTED
        ),
        _binary("add", "Sum", "+"),
        _binary("sub", "Difference", "-"),
        _binary("mul", "Product", "*"),
        _binary("div", "Quotient", "/"),
    ),
)

PRICE_SOURCE = Choice(
    "PriceSource",
    "Price source",
    "Which price of the bar.",
    (
        Variant("open", "Open", "The bar's opening price."),
        Variant("high", "High", "The bar's highest price."),
        Variant("low", "Low", "The bar's lowest price."),
        Variant("close", "Close", "The bar's closing price."),
        Variant("volume", "Volume", "The bar's traded volume."),
        Variant("hlc3", "Typical price", "(high + low + close) / 3."),
        Variant("ohlc4", "Average price", "(open + high + low + close) / 4."),
    ),
)


CONDITION_DEF = Choice(
    "Condition",
    "Condition",
    "A rule: a one-member object whose name is the operator and whose value is its data. "
    "Conditions nest through all, any and not.",
    (
        _binary("gt", "Greater than", ">"),
        _binary("lt", "Less than", "<"),
        _binary("ge", "Greater or equal", ">="),
        _binary("le", "Less or equal", "<="),
        _binary("eq", "Equal", "=="),
        _binary("ne", "Not equal", "!="),
        Variant("cross_above", "Crosses above", "[a, b]: a crosses above b.", PAIR),
        Variant("cross_below", "Crosses below", "[a, b]: a crosses below b.", PAIR),
        Variant(
            "between",
            "Between",
            "[x, low, high]: x lies between low and high.",
            Tuple((OPERAND, OPERAND, OPERAND), "[Operand, Operand, Operand]"),
        ),
        Variant("rising", "Rising", "[a, bars]: a has risen over that many bars.", COUNTED),
        Variant("falling", "Falling", "[a, bars]: a has fallen over that many bars.", COUNTED),
        Variant("all", "All", "[c1, c2, ...]: every condition holds; may be empty.", ListOf(CONDITION)),
        Variant(
            "any", "Any", "[c1, c2, ...]: at least one condition holds; may be empty.", ListOf(CONDITION)
        ),
        Variant("not", "Not", "The condition does not hold.", CONDITION),
        Variant("in_position", "In position", "true: a position is open; false: none is.", BOOL),
        Variant(
            "bars_since_entry",
            "Bars since entry",
            'The number of bars since the position was entered, compared with a count: {"ge": 5}.',
            Ref("BarsCmp"),
        ),
    ),
)


def _bars(name: str, title: str, sign: str) -> Variant:
    return Variant(name, title, f"Bars since entry {sign} the count.", U32)


BARS_CMP = Choice(
    "BarsCmp",
    "Bars-since-entry comparison",
    'A comparison with a count of bars: a one-member object such as {"ge": 5}.',
    (
        _bars("gt", "More than", ">"),
        _bars("lt", "Fewer than", "<"),
        _bars("ge", "At least", ">="),
        _bars("le", "At most", "<="),
        _bars("eq", "Exactly", "=="),
    ),
)


def _number_field(name: str, title: str, description: str) -> Member:
    return Member(name, F64, title, description, required=True)


SIZING = Choice(
    "Sizing",
    "Sizing",
    'How large a position is: an object whose member "type" names the rule, with the '
    "rule's fields beside it.",
    (
        Variant(
            "fixed_fraction",
            "Fixed fraction",
            "A fixed fraction of equity.",
            fields=(_number_field("fraction", "Fraction", "The fraction of equity."),),
        ),
        Variant(
            "fixed_qty",
            "Fixed quantity",
            "A fixed quantity of the instrument.",
            fields=(_number_field("qty", "Quantity", "The quantity."),),
        ),
        Variant(
            "fixed_cash",
            "Fixed cash",
            "A fixed amount of cash.",
            fields=(_number_field("cash", "Cash", "The amount of cash."),),
        ),
        Variant(
            "vol_target",
            "Volatility target",
            "Sized to a target volatility.",
            fields=(
                _number_field("target_vol", "Target volatility", "The volatility aimed at."),
                Member(
                    "lookback", U32, "Lookback", "The bars over which volatility is measured.", required=True
                ),
            ),
        ),
        Variant(
            "risk_per_trade",
            "Risk per trade",
            "Sized by what one trade may lose.",
            fields=(
                _number_field("risk_pct", "Risk", "The share of equity one trade may lose, in percent."),
            ),
        ),
    ),
    tag="type",
)

SLIPPAGE = Choice(
    "Slippage",
    "Slippage",
    'The slippage model: an object whose member "type" names it, with its fields beside it.',
    (
        Variant(
            "fixed_bps",
            "Fixed",
            "A fixed slippage.",
            fields=(_number_field("bps", "Basis points", "The slippage, in basis points."),),
        ),
        Variant("spread", "Spread", "Slippage from the bid-ask spread; no fields."),
        Variant(
            "volume_impact",
            "Volume impact",
            "Slippage growing with the order's volume.",
            fields=(_number_field("coef", "Coefficient", "The impact coefficient."),),
        ),
    ),
    tag="type",
)

COSTS = Record(
    "Costs",
    "Costs",
    "Fees, funding and slippage; every member is optional.",
    (
        Member("maker_bps", F64, "Maker fee", "The fee for maker orders, in basis points.", default=0.0),
        Member("taker_bps", F64, "Taker fee", "The fee for taker orders, in basis points.", default=0.0),
        Member(
            "slippage",
            Ref("Slippage"),
            "Slippage",
            "The slippage model.",
            default={"type": "fixed_bps", "bps": 0.0},
        ),
        Member("funding", BOOL, "Funding", "Whether funding payments are charged.", default=False),
    ),
)


def _pct(name: str, title: str, what: str) -> Member:
    return Member(name, Nullable(F64), title, _none(what), default=None)


RISK = Record(
    "Risk",
    "Risk",
    "Stops, leverage and exposure limits; every member is optional.",
    (
        _pct("stop_loss_pct", "Stop loss", "The stop-loss distance, in percent."),
        _pct("take_profit_pct", "Take profit", "The take-profit distance, in percent."),
        _pct("trailing_stop_pct", "Trailing stop", "The trailing-stop distance, in percent."),
        _pct("max_leverage", "Maximum leverage", "The highest leverage allowed."),
        _pct("max_position_pct", "Maximum position", "The largest position, in percent of equity."),
        Member("liquidation", BOOL, "Liquidation", "Whether positions can be liquidated.", default=False),
    ),
)

EXECUTION = Record(
    "Execution",
    "Execution",
    "Order type, fill timing and fill limits; every member is optional.",
    (
        Member("order_type", Ref("OrderType"), "Order type", "The kind of order placed.", default="market"),
        Member("fill_timing", Ref("FillTiming"), "Fill timing", "When an order fills.", default="next_open"),
        _pct("limit_offset_pct", "Limit offset", "The limit price's offset, in percent."),
        _pct("stop_offset_pct", "Stop offset", "The stop price's offset, in percent."),
        Member("latency_bars", U32, "Latency", "Bars between a signal and its order.", default=0),
        Member("partial_fills", BOOL, "Partial fills", "Whether orders may fill in part.", default=False),
        _pct(
            "max_participation",
            "Maximum participation",
            "The largest share of a bar's volume that an order may take.",
        ),
    ),
)

ORDER_TYPE = Choice(
    "OrderType",
    "Order type",
    "The kind of order placed.",
    (
        Variant("market", "Market", "At the market price."),
        Variant("limit", "Limit", "At a limit price or better."),
        Variant("stop", "Stop", "A market order once a stop price is reached."),
        Variant("stop_limit", "Stop limit", "A limit order once a stop price is reached."),
    ),
)

FILL_TIMING = Choice(
    "FillTiming",
    "Fill timing",
    "When an order fills.",
    (
        Variant("next_open", "Next open", "At the next bar's open."),
        Variant("close", "Close", "At the signal bar's close."),
    ),
)

# The root first, then the named types in the order the document meets them.
DEFINITIONS: tuple[Definition, ...] = (
    STRATEGY,
    INDICATOR,
    FEED,
    OPERAND_DEF,
    EXPR,
    PRICE_SOURCE,
    CONDITION_DEF,
    BARS_CMP,
    SIZING,
    COSTS,
    SLIPPAGE,
    RISK,
    EXECUTION,
    ORDER_TYPE,
    FILL_TIMING,
)
