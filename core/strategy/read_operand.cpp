// Operands: a name (a JSON string), a constant (a JSON number) or an
// expression (an externally tagged `Expr`), tried in that order. Whatever
// goes wrong inside an expression, the operand reports one fixed message.
#include <memory>
#include <utility>

#include "core/strategy/external_tag.h"
#include "core/strategy/names.h"
#include "core/strategy/readers.h"
#include "core/strategy/scalars.h"
#include "core/strategy/tuple.h"

namespace lantor::strategy {

namespace {

Result<Expr> read_expr(json::Node v, std::size_t depth);

// Reads the two operands of an arithmetic variant from its data, which sits
// one level below the expression object.
Result<Expr> read_arith(ArithOp op, json::Node data, std::size_t depth) {
  Arith arith{op, {}, {}};
  LANTOR_TRY(read_tuple(data, 2, [&](std::size_t i, json::Node e) -> Status<> {
    auto operand = read_operand(e, depth + 2);
    LANTOR_TRY(operand);
    (i == 0 ? arith.left : arith.right) = std::move(*operand);
    return Ok{};
  }));
  return Expr{std::move(arith)};
}

Result<Expr> read_prev(json::Node data, std::size_t depth) {
  Prev prev;
  LANTOR_TRY(read_tuple(data, 2, [&](std::size_t i, json::Node e) -> Status<> {
    if (i == 0) {
      auto operand = read_operand(e, depth + 2);
      LANTOR_TRY(operand);
      prev.value = std::move(*operand);
    } else {
      auto bars = read_u32(e);
      LANTOR_TRY(bars);
      prev.bars = *bars;
    }
    return Ok{};
  }));
  return Expr{std::move(prev)};
}

Result<Expr> read_expr(json::Node v, std::size_t depth) {
  auto variant = read_external_tag(v, names::kExpr);
  LANTOR_TRY(variant);
  auto data = newtype_data(*variant);
  LANTOR_TRY(data);
  switch (variant->index) {
    case 0: {
      auto source = read_unit_enum<PriceSource>(*data, names::kPriceSource);
      LANTOR_TRY(source);
      return Expr{*source};
    }
    case 1:
      return read_prev(*data, depth);
    default:
      return read_arith(static_cast<ArithOp>(variant->index - 2), *data, depth);
  }
}

}  // namespace

Result<Operand> read_operand(json::Node v, std::size_t depth) {
  if (v.is_string()) return Operand{std::string(v.as_string())};
  if (v.is_number()) return Operand{v.to_double()};
  if (depth > kMaxDepth) return fail(kRecursionLimit);
  auto expr = read_expr(v, depth);
  if (!expr.ok()) return fail(kOperandMismatch);
  return Operand{std::make_unique<Expr>(std::move(*expr))};
}

}  // namespace lantor::strategy
