// Operands: a name (a JSON string), a constant (a JSON number) or an
// expression (an externally tagged `Expr`), tried in that order. Whatever
// goes wrong inside an expression, the operand reports one fixed message.
#include <memory>
#include <optional>
#include <utility>

#include "core/schema/choice.h"
#include "core/schema/observer.h"
#include "core/schema/scalars.h"
#include "core/schema/tuple.h"
#include "core/strategy/readers.h"
#include "core/strategy/variants.h"

namespace lantor::strategy {

namespace {

Read<Expr> read_expr(json::Node v, std::size_t depth);

// Reads the two operands of an arithmetic variant from its data, which sits
// one level below the expression object.
Read<Expr> read_arith(ArithOp op, json::Node data, std::size_t depth) {
  Arith arith{op, {}, {}};
  LANTOR_TRY(schema::read_tuple(data, 2, [&](std::size_t i, json::Node e) -> Status<schema::Error> {
    LANTOR_ASSIGN_OR_RETURN((i == 0 ? arith.left : arith.right), read_operand(e, depth + 2));
    return Ok{};
  }));
  return Expr{std::move(arith)};
}

Read<Expr> read_prev(json::Node data, std::size_t depth) {
  Prev prev;
  LANTOR_TRY(schema::read_tuple(data, 2, [&](std::size_t i, json::Node e) -> Status<schema::Error> {
    if (i == 0) {
      LANTOR_ASSIGN_OR_RETURN(prev.value, read_operand(e, depth + 2));
    } else {
      LANTOR_ASSIGN_OR_RETURN(prev.bars, schema::read_u32(e));
    }
    return Ok{};
  }));
  return Expr{std::move(prev)};
}

Read<Expr> read_expr(json::Node v, std::size_t depth) {
  LANTOR_ASSIGN_OR_RETURN(const schema::TaggedVariant variant, schema::read_external_tag(v, variants::kExpr));
  LANTOR_ASSIGN_OR_RETURN(const json::Node data, schema::newtype_data(v, variant));
  switch (variant.index) {
    case 0: {
      LANTOR_ASSIGN_OR_RETURN(const PriceSource source,
                              schema::read_unit_enum<PriceSource>(data, variants::kPriceSource));
      return Expr{source};
    }
    case 1: return read_prev(data, depth);
    default: return read_arith(static_cast<ArithOp>(variant.index - 2), data, depth);
  }
}

}  // namespace

std::optional<schema::Error> explain_operand(json::Node v) {
  for (;;) {
    Read<Expr> expr = read_expr(v, 0);
    if (expr.ok()) return std::nullopt;
    schema::Error e = std::move(expr).error();
    // An operand nested in this one that fits no form: its own reason is the
    // deeper one.
    if (e.kind != ErrorKind::NoOperandForm || e.at == v.slot() || e.at == nullptr) return e;
    v = json::Node(e.at, v.bytes());
  }
}

Read<Operand> read_operand(json::Node v, std::size_t depth) {
  if (v.is_string()) {
    if (schema::ReadObserver* observer = schema::current_observer()) [[unlikely]]
      observer->operand_name(v);
    return Operand{std::string(v.as_string())};
  }
  if (v.is_number()) return Operand{v.to_double()};
  if (too_deep(v, depth)) return fail(too_deep_error(v));
  Read<Expr> expr = read_expr(v, depth);
  if (!expr.ok()) return fail(schema::error_at(v, {ErrorKind::NoOperandForm, std::string(kOperandMismatch)}));
  return Operand{std::make_unique<Expr>(std::move(expr).value())};
}

}  // namespace lantor::strategy
