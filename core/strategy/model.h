// The typed strategy document: what a strategy JSON value means once it has
// been checked. Enumerators follow the declaration order of the document's
// names, so an enumerator's value is its position in the matching name list.
//
// Conditions and expressions nest; the recursive links are owned through
// lists and Owned pointers (pool.h), which makes the tree types move-only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "core/strategy/pool.h"

namespace lantor::strategy {

// The model's lists and tree nodes take their storage from the pool
// (pool.h): a model is built and dropped within one command.
template <class T>
using List = std::vector<T, PoolAllocator<T>>;

// ---- Indicators ----------------------------------------------------------

// The data stream an indicator reads.
enum class Feed : std::uint8_t { Kline, Trade, Orderbook, TradeQuote, Derivatives, CrossSection };

struct IndicatorSpec {
  std::string type;  // the indicator kind, free text
  List<double> params;
  std::optional<Feed> feed;
};

// Indicators by name, in byte order of their names: a sorted list, made
// once from entries with distinct names already in that order (name_places
// tells where each one goes).
class IndicatorMap {
 public:
  using value_type = std::pair<std::string, IndicatorSpec>;
  using const_iterator = typename List<value_type>::const_iterator;

  IndicatorMap() = default;
  explicit IndicatorMap(List<value_type> entries);

  bool empty() const noexcept { return entries_.empty(); }
  std::size_t size() const noexcept { return entries_.size(); }
  const_iterator begin() const noexcept { return entries_.begin(); }
  const_iterator end() const noexcept { return entries_.end(); }
  // The indicator named `name`, or null.
  const IndicatorSpec* find(std::string_view name) const noexcept;

 private:
  List<value_type> entries_;
};

// The place in byte order of each of `names`, which are distinct: the name
// names[i] is the places[i]-th. `places` has room for every name.
void name_places(std::span<const std::string_view> names, std::span<std::uint32_t> places);

// ---- Operands ------------------------------------------------------------

struct Expr;

// A value a rule compares: an indicator (or other series) by name, a
// constant, or an expression over further operands.
struct Operand {
  std::variant<std::string, double, Owned<Expr>> value;

  bool is_name() const { return value.index() == 0; }
  bool is_constant() const { return value.index() == 1; }
  bool is_expr() const { return value.index() == 2; }
};

enum class PriceSource : std::uint8_t { Open, High, Low, Close, Volume, Hlc3, Ohlc4 };

// An operand's value `bars` bars earlier.
struct Prev {
  Operand value;
  std::uint32_t bars = 0;
};

enum class ArithOp : std::uint8_t { Add, Sub, Mul, Div };

struct Arith {
  ArithOp op = ArithOp::Add;
  Operand left;
  Operand right;
};

struct Expr {
  std::variant<PriceSource, Prev, Arith> value;
};

// ---- Conditions ----------------------------------------------------------

struct Condition;

// gt, lt, ge, le, eq, ne, cross_above, cross_below.
enum class CompareOp : std::uint8_t { Gt, Lt, Ge, Le, Eq, Ne, CrossAbove, CrossBelow };

struct Comparison {
  CompareOp op = CompareOp::Gt;
  Operand left;
  Operand right;
};

// `value` against the range [`low`, `high`], kept in the order written.
struct Between {
  Operand value;
  Operand low;
  Operand high;
};

enum class Direction : std::uint8_t { Rising, Falling };

// `value` rising or falling over `bars` bars.
struct Trend {
  Direction direction = Direction::Rising;
  Operand value;
  std::uint32_t bars = 0;
};

enum class Junction : std::uint8_t { All, Any };

// all / any over a possibly empty list.
struct Group {
  Junction junction = Junction::All;
  List<Condition> items;
};

struct Negation {
  Owned<Condition> inner;
};

struct InPosition {
  bool value = false;
};

// A comparison of the number of bars since the position was entered.
struct BarsCmp {
  enum class Op : std::uint8_t { Gt, Lt, Ge, Le, Eq };
  Op op = Op::Gt;
  std::uint32_t bars = 0;
};

struct Condition {
  std::variant<Comparison, Between, Trend, Group, Negation, InPosition, BarsCmp> value;
};

// ---- Sizing --------------------------------------------------------------

struct FixedFraction {
  double fraction = 0.0;
};
struct FixedQty {
  double qty = 0.0;
};
struct FixedCash {
  double cash = 0.0;
};
struct VolTarget {
  double target_vol = 0.0;
  std::uint32_t lookback = 0;
};
struct RiskPerTrade {
  double risk_pct = 0.0;
};

// How large a position is; alternatives in the order of the rule names.
using Sizing = std::variant<FixedFraction, FixedQty, FixedCash, VolTarget, RiskPerTrade>;

// ---- Costs ---------------------------------------------------------------

struct FixedBps {
  double bps = 0.0;
};
struct Spread {};
struct VolumeImpact {
  double coef = 0.0;
};

using Slippage = std::variant<FixedBps, Spread, VolumeImpact>;

struct Costs {
  double maker_bps = 0.0;
  double taker_bps = 0.0;
  Slippage slippage = FixedBps{0.0};
  bool funding = false;
};

// ---- Risk ----------------------------------------------------------------

struct Risk {
  std::optional<double> stop_loss_pct;
  std::optional<double> take_profit_pct;
  std::optional<double> trailing_stop_pct;
  std::optional<double> max_leverage;
  std::optional<double> max_position_pct;
  bool liquidation = false;
};

// ---- Execution -----------------------------------------------------------

enum class OrderType : std::uint8_t { Market, Limit, Stop, StopLimit };
enum class FillTiming : std::uint8_t { NextOpen, Close };

struct Execution {
  OrderType order_type = OrderType::Market;
  FillTiming fill_timing = FillTiming::NextOpen;
  std::optional<double> limit_offset_pct;
  std::optional<double> stop_offset_pct;
  std::uint32_t latency_bars = 0;
  bool partial_fills = false;
  std::optional<double> max_participation;
};

// ---- The document --------------------------------------------------------

struct StrategySpec {
  std::uint32_t spec_version = 1;
  std::string symbol;
  std::optional<std::string> ref_symbol;
  std::string timeframe;
  IndicatorMap indicators;  // ordered by name, bytewise
  Condition entry;
  Condition exit;
  std::optional<Condition> short_entry;
  std::optional<Condition> short_exit;
  Sizing sizing;
  Costs costs;
  Risk risk;
  Execution execution;
  std::optional<std::uint32_t> warmup;
};

}  // namespace lantor::strategy
