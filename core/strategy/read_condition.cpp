// Conditions: an externally tagged choice of sixteen operators, every one
// carrying data, so the bare-name form is always rejected. The tree is read
// depth first in document order, so the first failing place wins.
#include <iterator>
#include <memory>
#include <utility>

#include "core/schema/choice.h"
#include "core/schema/scalars.h"
#include "core/schema/tuple.h"
#include "core/strategy/readers.h"
#include "core/strategy/variants.h"

namespace lantor::strategy {

namespace {

// Positions in variants::kCondition.
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
static_assert(std::size(variants::kCondition) == kBarsSinceEntry + 1);

// Reads operand `i` of a tuple into the slot `slots[i]`. The tuple's
// elements sit two levels below the condition object.
template <std::size_t N>
auto into_operands(Operand* const (&slots)[N], std::size_t depth) {
  return [&slots, depth](std::size_t i, json::Node e) -> Status<schema::Error> {
    LANTOR_ASSIGN_OR_RETURN(*slots[i], read_operand(e, depth + 2));
    return Ok{};
  };
}

Read<Condition> read_comparison(CompareOp op, json::Node data, std::size_t depth) {
  Comparison c{op, {}, {}};
  Operand* const slots[] = {&c.left, &c.right};
  LANTOR_TRY(schema::read_tuple(data, 2, into_operands(slots, depth)));
  return Condition{std::move(c)};
}

Read<Condition> read_between(json::Node data, std::size_t depth) {
  Between b;
  Operand* const slots[] = {&b.value, &b.low, &b.high};
  LANTOR_TRY(schema::read_tuple(data, 3, into_operands(slots, depth)));
  return Condition{std::move(b)};
}

Read<Condition> read_trend(Direction direction, json::Node data, std::size_t depth) {
  Trend t{direction, {}, 0};
  LANTOR_TRY(schema::read_tuple(data, 2, [&](std::size_t i, json::Node e) -> Status<schema::Error> {
    if (i == 0) {
      LANTOR_ASSIGN_OR_RETURN(t.value, read_operand(e, depth + 2));
    } else {
      LANTOR_ASSIGN_OR_RETURN(t.bars, schema::read_u32(e));
    }
    return Ok{};
  }));
  return Condition{std::move(t)};
}

Read<Condition> read_group(Junction junction, json::Node data, std::size_t depth) {
  if (!data.is_array()) return fail(schema::unexpected(data, "a sequence"));
  Group g{junction, {}};
  g.items.reserve(data.size());
  for (json::Node item : data.elements()) {
    // Bound where it lies, and moved once.
    LANTOR_ASSIGN_OR_RETURN(Condition && c, read_condition(item, depth + 2));
    g.items.push_back(std::move(c));
  }
  return Condition{std::move(g)};
}

Read<Condition> read_negation(json::Node data, std::size_t depth) {
  LANTOR_ASSIGN_OR_RETURN(Condition && inner, read_condition(data, depth + 1));
  return Condition{Negation{std::make_unique<Condition>(std::move(inner))}};
}

// `BarsCmp`: five comparisons, each with a count.
Read<Condition> read_bars_since_entry(json::Node data) {
  LANTOR_ASSIGN_OR_RETURN(const schema::TaggedVariant variant,
                          schema::read_external_tag(data, variants::kBarsCmp));
  LANTOR_ASSIGN_OR_RETURN(const json::Node count, schema::newtype_data(data, variant));
  LANTOR_ASSIGN_OR_RETURN(const std::uint32_t bars, schema::read_u32(count));
  return Condition{BarsCmp{static_cast<BarsCmp::Op>(variant.index), bars}};
}

}  // namespace

Read<Condition> read_condition(json::Node v, std::size_t depth) {
  if (too_deep(v, depth)) return fail(too_deep_error(v));
  LANTOR_ASSIGN_OR_RETURN(const schema::TaggedVariant variant,
                          schema::read_external_tag(v, variants::kCondition));
  LANTOR_ASSIGN_OR_RETURN(const json::Node d, schema::newtype_data(v, variant));
  const std::size_t op = variant.index;
  if (op <= kCrossBelow) return read_comparison(static_cast<CompareOp>(op - kGt), d, depth);
  switch (op) {
    case kBetween: return read_between(d, depth);
    case kRising:
    case kFalling: return read_trend(op == kRising ? Direction::Rising : Direction::Falling, d, depth);
    case kAll:
    case kAny: return read_group(op == kAll ? Junction::All : Junction::Any, d, depth);
    case kNot: return read_negation(d, depth);
    case kInPosition: {
      LANTOR_ASSIGN_OR_RETURN(const bool b, schema::read_bool(d));
      return Condition{InPosition{b}};
    }
    default: return read_bars_since_entry(d);
  }
}

}  // namespace lantor::strategy
