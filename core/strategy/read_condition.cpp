// Conditions: an externally tagged choice of sixteen operators, every one
// carrying data, so the bare-name form is always rejected. The tree is read
// depth first in document order, so the first failing place wins.
//
// Each reader fills the condition its caller made (a rule of the document,
// an element of a group's list, the inner one of a negation), so a subtree
// is built where it stays and never moved on its way up.
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
  return [&slots, depth](std::size_t i, json::Node e) { return read_operand(e, depth + 2, *slots[i]); };
}

Status<schema::Error> read_comparison(CompareOp op, json::Node data, std::size_t depth, Comparison& c) {
  c.op = op;
  Operand* const slots[] = {&c.left, &c.right};
  return schema::read_tuple(data, 2, into_operands(slots, depth));
}

Status<schema::Error> read_between(json::Node data, std::size_t depth, Between& b) {
  Operand* const slots[] = {&b.value, &b.low, &b.high};
  return schema::read_tuple(data, 3, into_operands(slots, depth));
}

Status<schema::Error> read_trend(Direction direction, json::Node data, std::size_t depth, Trend& t) {
  t.direction = direction;
  return schema::read_tuple(data, 2, [&](std::size_t i, json::Node e) -> Status<schema::Error> {
    if (i == 0) return read_operand(e, depth + 2, t.value);
    LANTOR_ASSIGN_OR_RETURN(t.bars, schema::read_u32(e));
    return Ok{};
  });
}

Status<schema::Error> read_group(Junction junction, json::Node data, std::size_t depth, Group& g) {
  if (!data.is_array()) return fail(schema::unexpected(data, "a sequence"));
  g.junction = junction;
  g.items.reserve(data.size());
  for (json::Node item : data.elements()) LANTOR_TRY(read_condition(item, depth + 2, g.items.emplace_back()));
  return Ok{};
}

Status<schema::Error> read_negation(json::Node data, std::size_t depth, Negation& n) {
  n.inner = pool_make<Condition>();
  return read_condition(data, depth + 1, *n.inner);
}

// `BarsCmp`: five comparisons, each with a count.
Status<schema::Error> read_bars_since_entry(json::Node data, Condition& out) {
  LANTOR_ASSIGN_OR_RETURN(const schema::NewtypeVariant variant,
                          schema::read_newtype_variant(data, variants::kBarsCmpIndex));
  LANTOR_ASSIGN_OR_RETURN(const std::uint32_t bars, schema::read_u32(variant.data));
  out.value = BarsCmp{static_cast<BarsCmp::Op>(variant.index), bars};
  return Ok{};
}

}  // namespace

Status<schema::Error> read_condition(json::Node v, std::size_t depth, Condition& out) {
  if (too_deep(v, depth)) return fail(too_deep_error(v));
  LANTOR_ASSIGN_OR_RETURN(const schema::NewtypeVariant variant,
                          schema::read_newtype_variant(v, variants::kConditionIndex));
  const json::Node d = variant.data;
  const std::size_t op = variant.index;
  if (op <= kCrossBelow) {
    // A fresh condition already holds a comparison.
    Comparison* c = std::get_if<Comparison>(&out.value);
    return read_comparison(static_cast<CompareOp>(op - kGt), d, depth,
                           c ? *c : out.value.emplace<Comparison>());
  }
  switch (op) {
    case kBetween: return read_between(d, depth, out.value.emplace<Between>());
    case kRising:
    case kFalling:
      return read_trend(op == kRising ? Direction::Rising : Direction::Falling, d, depth,
                        out.value.emplace<Trend>());
    case kAll:
    case kAny:
      return read_group(op == kAll ? Junction::All : Junction::Any, d, depth, out.value.emplace<Group>());
    case kNot: return read_negation(d, depth, out.value.emplace<Negation>());
    case kInPosition: {
      LANTOR_ASSIGN_OR_RETURN(const bool b, schema::read_bool(d));
      out.value = InPosition{b};
      return Ok{};
    }
    default: return read_bars_since_entry(d, out);
  }
}

}  // namespace lantor::strategy
