// Operands: name, constant or expression, and the one message for an operand
// that fits none of them.
#include <memory>
#include <string>

#include "strategy_test_support.h"

namespace lantor::strategy::testing {
namespace {

TEST(Operands, AcceptedAndRejected) {
  const Row rows[] = {
      {R"("close")", kValid},
      {R"("price")", kValid},  // a string is always a name
      {R"("")", kValid},
      {R"(3)", kValid},
      {R"(3.0)", kValid},
      {R"(-1e-3)", kValid},
      {R"(-5)", kValid},
      {R"(18446744073709551615)", kValid},
      {R"({"price": "open"})", kValid},
      {R"({"price": "high"})", kValid},
      {R"({"price": "low"})", kValid},
      {R"({"price": "close"})", kValid},
      {R"({"price": "volume"})", kValid},
      {R"({"price": "hlc3"})", kValid},
      {R"({"price": "ohlc4"})", kValid},
      {R"({"price": {"open": null}})", kValid},
      {R"({"price": {"high": null}})", kValid},
      {R"({"price": {"low": null}})", kValid},
      {R"({"price": {"close": null}})", kValid},
      {R"({"price": {"volume": null}})", kValid},
      {R"({"price": {"hlc3": null}})", kValid},
      {R"({"price": {"ohlc4": null}})", kValid},
      {R"({"prev": ["rsi", 1]})", kValid},
      {R"({"prev": ["rsi", 0]})", kValid},
      {R"({"add": ["a", 1]})", kValid},
      {R"({"sub": ["a", 1]})", kValid},
      {R"({"mul": ["a", 1]})", kValid},
      {R"({"div": ["a", 1]})", kValid},
      {R"({"div": [{"add": ["a", 1]}, {"prev": [{"price": "hlc3"}, 4294967295]}]})", kValid},
      {R"(true)", kOperandMismatch},
      {R"(null)", kOperandMismatch},
      {R"([1, 2])", kOperandMismatch},
      {R"({})", kOperandMismatch},
      {R"({"price": "closing"})", kOperandMismatch},
      {R"({"price": "Close"})", kOperandMismatch},
      {R"({"price": null})", kOperandMismatch},
      {R"({"price": {"close": 1}})", kOperandMismatch},
      {R"("add")", kValid},
      {R"({"add": null})", kOperandMismatch},
      {R"({"prev": ["rsi", -1]})", kOperandMismatch},
      {R"({"prev": ["rsi", 1.5]})", kOperandMismatch},
      {R"({"prev": ["rsi", 1.0]})", kOperandMismatch},
      {R"({"prev": ["rsi", 4294967296]})", kOperandMismatch},
      {R"({"prev": ["rsi"]})", kOperandMismatch},
      {R"({"prev": ["rsi", 1, 2]})", kOperandMismatch},
      {R"({"prev": {"rsi": 1}})", kOperandMismatch},
      {R"({"prev": "rsi"})", kOperandMismatch},
      {R"({"add": ["a"]})", kOperandMismatch},
      {R"({"add": []})", kOperandMismatch},
      {R"({"add": ["a", 1, 2]})", kOperandMismatch},
      {R"({"add": ["a", true]})", kOperandMismatch},
      {R"({"add": ["a", 1], "sub": ["b", 2]})", kOperandMismatch},
      {R"({"pow": ["a", 2]})", kOperandMismatch},
      // A failure deep inside an expression surfaces as the same message.
      {R"({"add": ["a", {"mul": [1, {"sub": [{"price": "bad"}, 2]}]}]})", kOperandMismatch},
  };
  for (const auto& row : rows) EXPECT_EQ(operand_outcome(row.input), row.expected) << row.input;
}

// The untagged message also replaces errors of operands in every condition
// position.
TEST(Operands, EveryPositionOfEveryConditionUsesTheFixedMessage) {
  const Row rows[] = {
      {R"({"lt": ["a", {"x": 1}]})", kOperandMismatch},
      {R"({"cross_above": [null, "b"]})", kOperandMismatch},
      {R"({"between": ["a", 1, []]})", kOperandMismatch},
      {R"({"rising": [false, 3]})", kOperandMismatch},
  };
  for (const auto& row : rows) EXPECT_EQ(entry_outcome(row.input), row.expected) << row.input;
}

TEST(Operands, TypedTree) {
  auto spec = typed(with_member(
      "entry", R"({"gt": [{"div": [{"add": ["a", -2]}, {"prev": [{"price": "hlc3"}, 7]}]}, 3]})"));
  ASSERT_TRUE(spec.ok()) << spec.error().message;
  const auto& cmp = std::get<Comparison>(spec->entry.value);
  EXPECT_EQ(cmp.op, CompareOp::Gt);
  ASSERT_TRUE(cmp.right.is_constant());
  EXPECT_EQ(std::get<double>(cmp.right.value), 3.0);
  ASSERT_TRUE(cmp.left.is_expr());
  const auto& div = std::get<Arith>(std::get<Owned<Expr>>(cmp.left.value)->value);
  EXPECT_EQ(div.op, ArithOp::Div);
  const auto& add = std::get<Arith>(std::get<Owned<Expr>>(div.left.value)->value);
  EXPECT_EQ(add.op, ArithOp::Add);
  EXPECT_EQ(std::get<std::string>(add.left.value), "a");
  EXPECT_EQ(std::get<double>(add.right.value), -2.0);
  const auto& prev = std::get<Prev>(std::get<Owned<Expr>>(div.right.value)->value);
  EXPECT_EQ(prev.bars, 7u);
  const auto& price = std::get<Owned<Expr>>(prev.value.value)->value;
  EXPECT_EQ(std::get<PriceSource>(price), PriceSource::Hlc3);
}

}  // namespace
}  // namespace lantor::strategy::testing
