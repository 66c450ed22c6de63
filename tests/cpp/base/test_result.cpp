// Result: a value or an error in shared storage; what moves and copies leave
// behind, including a move that throws.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "core/base/result.h"

namespace lantor {
namespace {

using Text = Result<std::string>;

TEST(Result, AssignmentAcrossSidesLeavesTheOtherSide) {
  const std::string long_text(100, 'v');  // on the heap, so a leak or double free shows
  Text value = long_text;
  Text error = fail("broken " + long_text);

  Text a = value;
  a = Text(fail(std::string("e")));
  ASSERT_FALSE(a.ok());
  EXPECT_EQ(a.error(), "e");
  a = value;
  ASSERT_TRUE(a.ok());
  EXPECT_EQ(*a, long_text);

  Text b = error;
  b = std::move(a);
  ASSERT_TRUE(b.ok());
  EXPECT_EQ(*b, long_text);
  b = error;
  ASSERT_FALSE(b.ok());
  EXPECT_EQ(b.error(), "broken " + long_text);

  Text c = std::move(b);
  EXPECT_EQ(c.error(), "broken " + long_text);
  Text& same = c;  // through a reference, as a self-assignment usually arrives
  c = same;
  EXPECT_EQ(c.error(), "broken " + long_text);
}

// A value whose move throws when asked to, owning memory so that a second
// destruction of it would be seen.
struct Fragile {
  std::unique_ptr<int> owned = std::make_unique<int>(7);
  bool throw_on_move = false;
  Fragile() = default;
  Fragile(const Fragile& other) : owned(std::make_unique<int>(*other.owned)) {}
  Fragile(Fragile&& other) : throw_on_move(other.throw_on_move) {
    if (other.throw_on_move) throw std::runtime_error("move");
    owned = std::move(other.owned);
  }
  Fragile& operator=(Fragile&&) = default;
};

TEST(Result, AThrowingMoveLeavesAnEmptyError) {
  Result<Fragile> source = Fragile();
  source->throw_on_move = true;
  Result<Fragile> target = fail("before");
  EXPECT_THROW(target = std::move(source), std::runtime_error);
  ASSERT_FALSE(target.ok());
  EXPECT_EQ(target.error(), "");
}

}  // namespace
}  // namespace lantor
