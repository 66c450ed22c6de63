"""The words of the strategy document: a title and a description for every
type, member and variant, which the published JSON Schema and the reference
both show.

Only words: names, their order, types, bounds and defaults come from the
compiler's own tables (lantor_compile.schema.describe()).
gen_strategy_schema.py joins the two and fails on words for a name the
compiler does not have, and on a name without words.
"""

from __future__ import annotations

from dataclasses import dataclass


@dataclass(frozen=True)
class Words:
    title: str
    description: str


@dataclass(frozen=True)
class Named(Words):
    """A named type of the document, with the words of each of its members
    or variants."""

    parts: dict[str, Words]


@dataclass(frozen=True)
class Fields:
    """The words of the fields of an internally tagged choice's variant,
    which the variant itself introduces."""

    parts: dict[str, Words]


def _none(what: str) -> str:
    return f"{what} null or absent: none."


def _binary(title: str, sign: str) -> Words:
    return Words(title, f"[a, b]: a {sign} b.")


def _bars(title: str, sign: str) -> Words:
    return Words(title, f"Bars since entry {sign} the count.")


def _pct(title: str, what: str) -> Words:
    return Words(title, _none(what))


WORDS: dict[str, Named | Fields] = {
    "StrategySpec": Named(
        "Strategy document",
        "A trading strategy for lantor_compile: a symbol and timeframe, named indicators, entry "
        "and exit rules, and sizing, cost, risk and execution settings. Members of other names "
        "are kept in the embedded document without being looked at.",
        {
            "spec_version": Words(
                "Document version",
                "The version of the document format. Any unsigned 32-bit integer is accepted.",
            ),
            "symbol": Words(
                "Symbol",
                "The instrument the strategy trades, such as BTC-USDT. Any text. Unless the "
                "compile request names a crate_name, the crate's name is derived from it (ASCII "
                "letters lower-cased, digits kept, any other character becomes _), which then "
                "has to start with a letter.",
            ),
            "ref_symbol": Words(
                "Reference symbol", _none("A second instrument, as in a pair or spread strategy.")
            ),
            "timeframe": Words("Timeframe", "The bar interval, such as 1m, 1h or 1d. Any text."),
            "indicators": Words(
                "Indicators",
                "The indicators, by name; any text is a name and the object may be empty. "
                "Names in rules are not checked against them.",
            ),
            "entry": Words("Entry rule", "When a position is entered."),
            "exit": Words("Exit rule", "When the position is left."),
            "short_entry": Words("Short entry rule", _none("When a short position is entered.")),
            "short_exit": Words("Short exit rule", _none("When the short position is left.")),
            "sizing": Words("Sizing", "How large a position is."),
            "costs": Words("Costs", "Fees, funding and slippage. Absent: no fees, no funding, no slippage."),
            "risk": Words("Risk", "Stops, leverage and exposure limits. Absent: none set, no liquidation."),
            "execution": Words(
                "Execution",
                "Order type, fill timing and fill limits. Absent: market orders filled at the "
                "next bar's open, no latency, no partial fills.",
            ),
            "warmup": Words("Warm-up bars", _none("A warm-up period, in bars.")),
        },
    ),
    "IndicatorSpec": Named(
        "Indicator",
        "One indicator: its kind, its parameters and the data it reads.",
        {
            "type": Words(
                "Kind",
                "The indicator kind, such as ema, rsi or atr. Free text: the kinds belong to "
                "the backtest library and are not checked here.",
            ),
            "params": Words(
                "Parameters", "The indicator's numbers, such as its period. Integers are read as floats."
            ),
            "feed": Words("Feed", _none("The data stream the indicator reads.")),
        },
    ),
    "Feed": Named(
        "Feed",
        "The data stream an indicator reads.",
        {
            "kline": Words("Klines", "Candles: open, high, low, close and volume per bar."),
            "trade": Words("Trades", "The stream of trades."),
            "orderbook": Words("Order book", "The order book."),
            "trade_quote": Words("Trades and quotes", "Trades with the best bid and ask."),
            "derivatives": Words("Derivatives", "Derivatives data, such as funding rates."),
            "cross_section": Words("Cross-section", "Data across several instruments."),
        },
    ),
    "Operand": Named(
        "Operand",
        "A value a rule compares: a string is a name, a number a constant, a one-member object "
        "an expression, tried in that order. A string is therefore never a price: the close "
        'price is {"price": "close"}.',
        {
            "name": Words("Name", "An indicator or other series, by name; not checked against indicators."),
            "constant": Words("Constant", "A number; integers are read as floats."),
            "expression": Words("Expression", "A price, an earlier value or arithmetic."),
        },
    ),
    "Expr": Named(
        "Expression",
        "A price of the bar, an earlier bar's value, or arithmetic over two operands: a "
        "one-member object whose name is the variant.",
        {
            "price": Words("Price", 'A price of the bar, such as {"price": "close"}.'),
            "prev": Words("Earlier value", "[operand, bars]: the operand's value that many bars earlier."),
            "add": _binary("Sum", "+"),
            "sub": _binary("Difference", "-"),
            "mul": _binary("Product", "*"),
            "div": _binary("Quotient", "/"),
        },
    ),
    "PriceSource": Named(
        "Price source",
        "Which price of the bar.",
        {
            "open": Words("Open", "The bar's opening price."),
            "high": Words("High", "The bar's highest price."),
            "low": Words("Low", "The bar's lowest price."),
            "close": Words("Close", "The bar's closing price."),
            "volume": Words("Volume", "The bar's traded volume."),
            "hlc3": Words("Typical price", "(high + low + close) / 3."),
            "ohlc4": Words("Average price", "(open + high + low + close) / 4."),
        },
    ),
    "Condition": Named(
        "Condition",
        "A rule: a one-member object whose name is the operator and whose value is its data. "
        "Conditions nest through all, any and not.",
        {
            "gt": _binary("Greater than", ">"),
            "lt": _binary("Less than", "<"),
            "ge": _binary("Greater or equal", ">="),
            "le": _binary("Less or equal", "<="),
            "eq": _binary("Equal", "=="),
            "ne": _binary("Not equal", "!="),
            "cross_above": Words("Crosses above", "[a, b]: a crosses above b."),
            "cross_below": Words("Crosses below", "[a, b]: a crosses below b."),
            "between": Words("Between", "[x, low, high]: x lies between low and high."),
            "rising": Words("Rising", "[a, bars]: a has risen over that many bars."),
            "falling": Words("Falling", "[a, bars]: a has fallen over that many bars."),
            "all": Words("All", "[c1, c2, ...]: every condition holds; may be empty."),
            "any": Words("Any", "[c1, c2, ...]: at least one condition holds; may be empty."),
            "not": Words("Not", "The condition does not hold."),
            "in_position": Words("In position", "true: a position is open; false: none is."),
            "bars_since_entry": Words(
                "Bars since entry",
                'The number of bars since the position was entered, compared with a count: {"ge": 5}.',
            ),
        },
    ),
    "BarsCmp": Named(
        "Bars-since-entry comparison",
        'A comparison with a count of bars: a one-member object such as {"ge": 5}.',
        {
            "gt": _bars("More than", ">"),
            "lt": _bars("Fewer than", "<"),
            "ge": _bars("At least", ">="),
            "le": _bars("At most", "<="),
            "eq": _bars("Exactly", "=="),
        },
    ),
    "Sizing": Named(
        "Sizing",
        'How large a position is: an object whose member "type" names the rule, with the '
        "rule's fields beside it.",
        {
            "fixed_fraction": Words("Fixed fraction", "A fixed fraction of equity."),
            "fixed_qty": Words("Fixed quantity", "A fixed quantity of the instrument."),
            "fixed_cash": Words("Fixed cash", "A fixed amount of cash."),
            "vol_target": Words("Volatility target", "Sized to a target volatility."),
            "risk_per_trade": Words("Risk per trade", "Sized by what one trade may lose."),
        },
    ),
    "Sizing::FixedFraction": Fields({"fraction": Words("Fraction", "The fraction of equity.")}),
    "Sizing::FixedQty": Fields({"qty": Words("Quantity", "The quantity.")}),
    "Sizing::FixedCash": Fields({"cash": Words("Cash", "The amount of cash.")}),
    "Sizing::VolTarget": Fields(
        {
            "target_vol": Words("Target volatility", "The volatility aimed at."),
            "lookback": Words("Lookback", "The bars over which volatility is measured."),
        }
    ),
    "Sizing::RiskPerTrade": Fields(
        {"risk_pct": Words("Risk", "The share of equity one trade may lose, in percent.")}
    ),
    "Costs": Named(
        "Costs",
        "Fees, funding and slippage; every member is optional.",
        {
            "maker_bps": Words("Maker fee", "The fee for maker orders, in basis points."),
            "taker_bps": Words("Taker fee", "The fee for taker orders, in basis points."),
            "slippage": Words("Slippage", "The slippage model."),
            "funding": Words("Funding", "Whether funding payments are charged."),
        },
    ),
    "Slippage": Named(
        "Slippage",
        'The slippage model: an object whose member "type" names it, with its fields beside it.',
        {
            "fixed_bps": Words("Fixed", "A fixed slippage."),
            "spread": Words("Spread", "Slippage from the bid-ask spread; no fields."),
            "volume_impact": Words("Volume impact", "Slippage growing with the order's volume."),
        },
    ),
    "Slippage::FixedBps": Fields({"bps": Words("Basis points", "The slippage, in basis points.")}),
    "Slippage::VolumeImpact": Fields({"coef": Words("Coefficient", "The impact coefficient.")}),
    "Risk": Named(
        "Risk",
        "Stops, leverage and exposure limits; every member is optional.",
        {
            "stop_loss_pct": _pct("Stop loss", "The stop-loss distance, in percent."),
            "take_profit_pct": _pct("Take profit", "The take-profit distance, in percent."),
            "trailing_stop_pct": _pct("Trailing stop", "The trailing-stop distance, in percent."),
            "max_leverage": _pct("Maximum leverage", "The highest leverage allowed."),
            "max_position_pct": _pct("Maximum position", "The largest position, in percent of equity."),
            "liquidation": Words("Liquidation", "Whether positions can be liquidated."),
        },
    ),
    "Execution": Named(
        "Execution",
        "Order type, fill timing and fill limits; every member is optional.",
        {
            "order_type": Words("Order type", "The kind of order placed."),
            "fill_timing": Words("Fill timing", "When an order fills."),
            "limit_offset_pct": _pct("Limit offset", "The limit price's offset, in percent."),
            "stop_offset_pct": _pct("Stop offset", "The stop price's offset, in percent."),
            "latency_bars": Words("Latency", "Bars between a signal and its order."),
            "partial_fills": Words("Partial fills", "Whether orders may fill in part."),
            "max_participation": _pct(
                "Maximum participation", "The largest share of a bar's volume that an order may take."
            ),
        },
    ),
    "OrderType": Named(
        "Order type",
        "The kind of order placed.",
        {
            "market": Words("Market", "At the market price."),
            "limit": Words("Limit", "At a limit price or better."),
            "stop": Words("Stop", "A market order once a stop price is reached."),
            "stop_limit": Words("Stop limit", "A limit order once a stop price is reached."),
        },
    ),
    "FillTiming": Named(
        "Fill timing",
        "When an order fills.",
        {
            "next_open": Words("Next open", "At the next bar's open."),
            "close": Words("Close", "At the signal bar's close."),
        },
    ),
}
