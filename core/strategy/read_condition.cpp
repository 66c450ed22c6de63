// Conditions: an externally tagged enumeration of sixteen operators, every
// one carrying data, so the bare-name form is always rejected. The tree is
// read depth first in document order, so the first failing place wins.
#include <iterator>
#include <memory>
#include <utility>

#include "core/json/describe.h"
#include "core/strategy/external_tag.h"
#include "core/strategy/names.h"
#include "core/strategy/readers.h"
#include "core/strategy/scalars.h"
#include "core/strategy/tuple.h"

namespace lantor::strategy {

namespace {

// Positions in names::kCondition.
enum Op : std::size_t {
  kGt,
  kCrossBelow = 7,
  kBetween,
  kRising,
  kFalling,
  kAll,
  kAny,
  kNot,
  kInPosition,
  kBarsSinceEntry,
};
static_assert(std::size(names::kCondition) == kBarsSinceEntry + 1);

// Reads operand `i` of a tuple into the slot `slots[i]`. The tuple's
// elements sit two levels below the condition object.
template <std::size_t N>
auto into_operands(Operand* const (&slots)[N], std::size_t depth) {
  return [&slots, depth](std::size_t i, json::Node e) -> Status<> {
    auto operand = read_operand(e, depth + 2);
    LANTOR_TRY(operand);
    *slots[i] = std::move(*operand);
    return Ok{};
  };
}

Result<Condition> read_comparison(CompareOp op, json::Node data, std::size_t depth) {
  Comparison c{op, {}, {}};
  Operand* const slots[] = {&c.left, &c.right};
  LANTOR_TRY(read_tuple(data, 2, into_operands(slots, depth)));
  return Condition{std::move(c)};
}

Result<Condition> read_between(json::Node data, std::size_t depth) {
  Between b;
  Operand* const slots[] = {&b.value, &b.low, &b.high};
  LANTOR_TRY(read_tuple(data, 3, into_operands(slots, depth)));
  return Condition{std::move(b)};
}

Result<Condition> read_trend(Direction direction, json::Node data, std::size_t depth) {
  Trend t{direction, {}, 0};
  LANTOR_TRY(read_tuple(data, 2, [&](std::size_t i, json::Node e) -> Status<> {
    if (i == 0) {
      auto operand = read_operand(e, depth + 2);
      LANTOR_TRY(operand);
      t.value = std::move(*operand);
    } else {
      auto bars = read_u32(e);
      LANTOR_TRY(bars);
      t.bars = *bars;
    }
    return Ok{};
  }));
  return Condition{std::move(t)};
}

Result<Condition> read_group(Junction junction, json::Node data, std::size_t depth) {
  if (!data.is_array()) return fail(json::invalid_type(json::describe(data), "a sequence"));
  Group g{junction, {}};
  g.items.reserve(data.size());
  for (json::Node item : data.elements()) {
    auto c = read_condition(item, depth + 2);
    LANTOR_TRY(c);
    g.items.push_back(std::move(*c));
  }
  return Condition{std::move(g)};
}

Result<Condition> read_negation(json::Node data, std::size_t depth) {
  auto inner = read_condition(data, depth + 1);
  LANTOR_TRY(inner);
  return Condition{Negation{std::make_unique<Condition>(std::move(*inner))}};
}

// `BarsCmp`: five comparisons, each with a count.
Result<Condition> read_bars_since_entry(json::Node data) {
  auto variant = read_external_tag(data, names::kBarsCmp);
  LANTOR_TRY(variant);
  auto count = newtype_data(*variant);
  LANTOR_TRY(count);
  auto bars = read_u32(*count);
  LANTOR_TRY(bars);
  return Condition{BarsCmp{static_cast<BarsCmp::Op>(variant->index), *bars}};
}

}  // namespace

Result<Condition> read_condition(json::Node v, std::size_t depth) {
  if (depth > kMaxDepth) return fail(kRecursionLimit);
  auto variant = read_external_tag(v, names::kCondition);
  LANTOR_TRY(variant);
  auto data = newtype_data(*variant);
  LANTOR_TRY(data);
  json::Node d = *data;
  const std::size_t op = variant->index;
  if (op <= kCrossBelow) return read_comparison(static_cast<CompareOp>(op - kGt), d, depth);
  switch (op) {
    case kBetween:
      return read_between(d, depth);
    case kRising:
    case kFalling:
      return read_trend(op == kRising ? Direction::Rising : Direction::Falling, d, depth);
    case kAll:
    case kAny:
      return read_group(op == kAll ? Junction::All : Junction::Any, d, depth);
    case kNot:
      return read_negation(d, depth);
    case kInPosition: {
      auto b = read_bool(d);
      LANTOR_TRY(b);
      return Condition{InPosition{*b}};
    }
    default:
      return read_bars_since_entry(d);
  }
}

}  // namespace lantor::strategy
