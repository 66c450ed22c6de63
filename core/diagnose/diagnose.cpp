#include "core/diagnose/diagnose.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "core/diagnose/lints.h"
#include "core/diagnose/located_text.h"
#include "core/diagnose/tape_path.h"
#include "core/json/tape_reader.h"
#include "core/project/naming.h"
#include "core/request/envelope.h"
#include "core/request/request.h"
#include "core/strategy/readers.h"
#include "core/strategy/strategy.h"

namespace lantor::diagnose {
namespace {

// A strategy stands two levels deep in a compile command
// ({"spec":{"strategy":...}}); read alone, it is read as deep.
constexpr int kStrategyDepth = 2;

// The code of a failure, from the start of its message.
std::string code_of(std::string_view message) {
  static constexpr std::pair<std::string_view, std::string_view> kCodes[] = {
      {"missing field", "missing-field"},
      {"duplicate field", "duplicate-field"},
      {"unknown variant", "unknown-variant"},
      {"invalid type", "invalid-type"},
      {"invalid value", "invalid-value"},
      {"invalid length", "invalid-length"},
      {strategy::kOperandMismatch, "no-operand-form"},
      {json::msg::kRecursionLimit, "too-deep"},
      {json::msg::kNumberOutOfRange, "number-out-of-range"},
  };
  for (const auto& [start, code] : kCodes)
    if (message.substr(0, start.size()) == start) return std::string(code);
  return "syntax";
}

Finding error(std::string code, std::string message, std::string pointer, std::size_t offset) {
  return Finding{Severity::Error,    std::move(code), std::move(message),
                 std::move(pointer), offset,          std::nullopt};
}

// Whether `message` is about the members a tagged choice set aside (its
// variant's fields, or the elements after its tag), which the reader places
// past the choice, or past the enclosing object when the choice is its last
// member.
bool about_set_aside(std::string_view message) {
  static constexpr std::string_view kTexts[] = {
      "missing field `mcu`", "missing field `path`", "missing field `candles`",
      "struct variant",      "in sequence",          "invalid type",
  };
  return std::any_of(std::begin(kTexts), std::end(kTexts),
                     [&](std::string_view t) { return message.find(t) != std::string_view::npos; });
}

// A reader that gave up at `at`: the value it had just read, the member it
// had just named, or the value it stood before; else the byte it stopped at
// and the innermost value around it. An object without a "kind" tag of its
// own that closes there with a failure of a choice's set-aside members
// points at its last member, the choice.
Finding reader_failure(const LocatedText& located, std::string message, std::size_t at) {
  LocatedText::Place place = located.place_of(at);
  if (place.around) place = located.place_of(at > 0 ? at - 1 : 0);
  // An object closed just past a tagged choice, its last member.
  if (!place.around && place.value != kNoValue && located[place.value].end == at &&
      located[place.value].kind == LocatedValue::Kind::Object && !located[place.value].children.empty() &&
      located.child(place.value, "kind") == kNoValue && about_set_aside(message)) {
    const std::size_t last = located[place.value].children.back();
    if (located[last].kind != LocatedValue::Kind::Scalar) place = {last, located[last].start, false};
  }
  std::string pointer = place.value == kNoValue ? "" : located.pointer(place.value);
  std::string code = code_of(message);
  return error(std::move(code), std::move(message), std::move(pointer), place.offset);
}

// A failure of the strategy read from `strategy`, which stands at the value
// `from` of `located`; an operand that fits no form is told why.
Finding strategy_failure(const LocatedText& located, std::size_t from, json::Node strategy,
                         const schema::Error& e) {
  auto place = [&](const json::TapeSlot* at) -> std::pair<std::string, std::size_t> {
    const std::size_t value = located.resolve(from, tape_path(strategy, at));
    if (value == kNoValue) return {located.pointer(from), from == kNoValue ? 0 : located[from].start};
    return {located.pointer(value), located[value].start};
  };
  auto [pointer, offset] = place(e.at);
  Finding out = error(code_of(e.message), e.message, std::move(pointer), offset);
  if (e.message == strategy::kOperandMismatch && e.at != nullptr) {
    const schema::Error why = strategy::explain_operand(json::Node(e.at, strategy.bytes()));
    if (!why.message.empty())
      out.help = "read as an expression, it fails at " + place(why.at).first + ": " + why.message;
  }
  return out;
}

// "{message} at line L column C" split into the message and the offset the
// position stands for in `text`.
std::pair<std::string, std::size_t> split_position(std::string_view text, std::string_view positioned) {
  const std::size_t at = positioned.rfind(" at line ");
  const std::size_t col = positioned.rfind(" column ");
  if (at == std::string_view::npos || col == std::string_view::npos || col < at)
    return {std::string(positioned), 0};
  std::size_t line = 0;
  std::size_t column = 0;
  const std::string_view line_text = positioned.substr(at + 9, col - at - 9);
  const std::string_view column_text = positioned.substr(col + 8);
  std::from_chars(line_text.data(), line_text.data() + line_text.size(), line);
  std::from_chars(column_text.data(), column_text.data() + column_text.size(), column);
  std::size_t line_start = 0;
  for (std::size_t l = 1; l < line && line_start < text.size(); ++l) {
    const std::size_t lf = text.find('\n', line_start);
    if (lf == std::string_view::npos) break;
    line_start = lf + 1;
  }
  return {std::string(positioned.substr(0, at)), std::min(line_start + column, text.size())};
}

}  // namespace

std::vector<Finding> check_strategy(std::string_view text) {
  std::vector<Finding> out;
  const LocatedText located(text, kStrategyDepth);
  json::Reader reader(text);
  json::Tape tape;
  json::ReadStatus read = json::read_tape(reader, kStrategyDepth, tape);
  if (read.ok()) read = reader.finish();
  if (!read.ok()) {
    json::ReadError e = std::move(read).error();
    out.push_back(reader_failure(located, std::move(e.message), e.offset));
  } else {
    const json::Node root = tape.root();
    StrategyLints lints(root, located);
    auto typed = [&] {
      const schema::ScopedObserver observing(lints);
      return strategy::parse_strategy(root);
    }();
    if (!typed.ok()) {
      out.push_back(strategy_failure(located, located.root(), root, typed.error()));
    } else {
      lints.check_indicators(typed.value().indicators);
    }
    for (Finding& f : lints.findings()) out.push_back(std::move(f));
  }
  for (Finding& f : duplicate_members(located, text)) out.push_back(std::move(f));
  std::stable_sort(out.begin(), out.end(),
                   [](const Finding& a, const Finding& b) { return a.offset < b.offset; });
  return out;
}

std::optional<Finding> locate_compile_failure(std::string_view command) {
  const std::optional<std::string> cmd = read_envelope(command);
  if (!cmd || *cmd != "compile") return std::nullopt;
  const LocatedText located(command);
  Result<CompileReq> req = read_compile_req(command);
  if (!req) {
    auto [message, offset] = split_position(command, req.error());
    return reader_failure(located, std::move(message), offset);
  }
  const CompileSpec& spec = req.value().spec;
  const std::size_t spec_at = located.member_or_element(located.root(), "spec", 0);
  const std::size_t strategy_at = located.member_or_element(spec_at, "strategy", 0);
  const json::Node strategy = spec.strategy.root();
  if (auto typed = strategy::parse_strategy(strategy); !typed.ok())
    return strategy_failure(located, strategy_at, strategy, typed.error());

  auto at = [&](std::size_t value, std::size_t fallback) {
    if (value == kNoValue) value = fallback;
    return std::pair<std::string, std::size_t>{located.pointer(value),
                                               value == kNoValue ? 0 : located[value].start};
  };
  if (Result<std::string> name = derive_crate_name(spec); !name) {
    const std::size_t value = spec.crate_name ? located.member_or_element(spec_at, "crate_name", 4)
                                              : located.child(strategy_at, "symbol");
    auto [pointer, offset] = at(value, strategy_at);
    return error("invalid-crate-name", std::move(name).error(), std::move(pointer), offset);
  }
  if (Status<> checked = check_target(spec.target); !checked) {
    const std::size_t target_at = located.member_or_element(spec_at, "target", 1);
    auto [pointer, offset] = at(located.member_or_element(target_at, "mcu", 1), target_at);
    return error("mcu-not-allowed", std::move(checked).error(), std::move(pointer), offset);
  }
  return std::nullopt;
}

}  // namespace lantor::diagnose
