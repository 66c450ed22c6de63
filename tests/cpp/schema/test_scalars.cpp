// The plain-value readers on a tape: what each takes, and the message for
// what it refuses, which a compile answers word for word after its prefix.
#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "core/json/reader.h"
#include "core/json/tape.h"
#include "core/json/tape_reader.h"
#include "core/schema/scalars.h"

namespace lantor::schema {
namespace {

// The value read, or the message of the refusal.
using Outcome = std::variant<double, std::string>;

json::Tape tape_of(const std::string& text) {
  json::Reader reader(text);
  json::Tape tape;
  EXPECT_TRUE(read_tape(reader, 0, tape).ok()) << text;
  return tape;
}

template <class Read>
Outcome outcome(const std::string& text, Read read) {
  const json::Tape tape = tape_of(text);
  auto result = read(tape.root());
  if (!result.ok()) {
    EXPECT_EQ(result.error().at, tape.root().slot()) << text;
    return result.error().message;
  }
  return static_cast<double>(result.value());
}

struct Row {
  const char* text;
  Outcome u32;
  Outcome f64;
};

TEST(Scalars, CountsTakeDigitsOnlyAndFloatsAnyNumber) {
  const std::vector<Row> rows = {
      {"0", 0.0, 0.0},
      {"4294967295", 4294967295.0, 4294967295.0},
      {"4294967296", "invalid value: integer `4294967296`, expected u32", 4294967296.0},
      {"-1", "invalid value: integer `-1`, expected u32", -1.0},
      {"20.0", "invalid type: floating point `20.0`, expected u32", 20.0},
      {"2e1", "invalid type: floating point `20.0`, expected u32", 20.0},
      {"1.5", "invalid type: floating point `1.5`, expected u32", 1.5},
      {R"("5")", R"(invalid type: string "5", expected u32)", R"(invalid type: string "5", expected f64)"},
      {"null", "invalid type: null, expected u32", "invalid type: null, expected f64"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(outcome(row.text, read_u32), row.u32) << row.text;
    EXPECT_EQ(outcome(row.text, read_f64), row.f64) << row.text;
  }
}

TEST(Scalars, StringsAndBooleansRefuseOtherKinds) {
  const json::Tape text = tape_of(R"("a")");
  const json::Tape number = tape_of("1");
  const json::Tape flag = tape_of("true");
  EXPECT_EQ(read_string(text.root()).value(), "a");
  EXPECT_EQ(read_string(number.root()).error().message, "invalid type: integer `1`, expected a string");
  EXPECT_TRUE(read_bool(flag.root()).value());
  EXPECT_EQ(read_bool(text.root()).error().message, R"(invalid type: string "a", expected a boolean)");
}

}  // namespace
}  // namespace lantor::schema
