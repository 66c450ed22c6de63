// Operands: a name (a JSON string), a constant (a JSON number) or an
// expression (an externally tagged `Expr`), tried in that order. Whatever
// goes wrong inside an expression, the operand reports one fixed message.
//
// Expressions are built where they will stay: each reader fills the node its
// caller made, so a tree is never moved on its way up.
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

Status<schema::Error> read_expr(json::Node v, std::size_t depth, Expr& out);

// Reads the two operands of an arithmetic variant from its data, which sits
// one level below the expression object.
Status<schema::Error> read_arith(ArithOp op, json::Node data, std::size_t depth, Arith& out) {
  out.op = op;
  return schema::read_tuple(data, 2, [&](std::size_t i, json::Node e) {
    return read_operand(e, depth + 2, i == 0 ? out.left : out.right);
  });
}

Status<schema::Error> read_prev(json::Node data, std::size_t depth, Prev& out) {
  return schema::read_tuple(data, 2, [&](std::size_t i, json::Node e) -> Status<schema::Error> {
    if (i == 0) return read_operand(e, depth + 2, out.value);
    LANTOR_ASSIGN_OR_RETURN(out.bars, schema::read_u32(e));
    return Ok{};
  });
}

Status<schema::Error> read_expr(json::Node v, std::size_t depth, Expr& out) {
  LANTOR_ASSIGN_OR_RETURN(const schema::NewtypeVariant variant,
                          schema::read_newtype_variant(v, variants::kExprIndex));
  switch (variant.index) {
    case 0: {
      LANTOR_ASSIGN_OR_RETURN(out.value,
                              schema::read_unit_enum<PriceSource>(variant.data, variants::kPriceSourceIndex));
      return Ok{};
    }
    case 1: return read_prev(variant.data, depth, out.value.emplace<Prev>());
    default:
      return read_arith(static_cast<ArithOp>(variant.index - 2), variant.data, depth,
                        out.value.emplace<Arith>());
  }
}

}  // namespace

std::optional<schema::Error> explain_operand(json::Node v) {
  for (;;) {
    Expr scratch;
    Status<schema::Error> expr = read_expr(v, 0, scratch);
    if (expr.ok()) return std::nullopt;
    schema::Error e = std::move(expr).error();
    // An operand nested in this one that fits no form: its own reason is the
    // deeper one.
    if (e.kind != ErrorKind::NoOperandForm || e.at == v.slot() || e.at == nullptr) return e;
    v = json::Node(e.at, v.bytes());
  }
}

Status<schema::Error> read_operand(json::Node v, std::size_t depth, Operand& out) {
  if (v.is_string()) {
    if (schema::ReadObserver* observer = schema::current_observer()) [[unlikely]]
      observer->operand_name(v);
    // A fresh operand holds a name already: its bytes are taken in place.
    if (std::string* name = std::get_if<std::string>(&out.value))
      name->assign(v.as_string());
    else
      out.value.emplace<std::string>(v.as_string());
    return Ok{};
  }
  if (v.is_number()) {
    out.value = v.to_double();
    return Ok{};
  }
  if (too_deep(v, depth)) return fail(too_deep_error(v));
  auto expr = pool_make<Expr>();
  if (!read_expr(v, depth, *expr).ok())
    return fail(schema::error_at(v, {ErrorKind::NoOperandForm, std::string(kOperandMismatch)}));
  out.value = std::move(expr);
  return Ok{};
}

}  // namespace lantor::strategy
