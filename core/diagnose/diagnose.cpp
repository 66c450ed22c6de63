#include "core/diagnose/diagnose.h"

#include <algorithm>
#include <charconv>
#include <span>
#include <utility>

#include "core/diagnose/failure_place.h"
#include "core/diagnose/lints.h"
#include "core/diagnose/path_tree.h"
#include "core/diagnose/pending.h"
#include "core/diagnose/tape_path.h"
#include "core/diagnose/text_walk.h"
#include "core/json/tape_reader.h"
#include "core/project/naming.h"
#include "core/request/envelope.h"
#include "core/request/request.h"
#include "core/strategy/readers.h"
#include "core/strategy/strategy.h"

namespace lantor::diagnose {
namespace {

// The work the suggestions of one document may take, and the bytes its
// findings' texts may take before the remaining warnings are summed up: both
// grow with the text, from a floor that no ordinary document reaches.
constexpr std::uint64_t kSuggestionWorkPerByte = 128;
constexpr std::uint64_t kSuggestionWorkFloor = std::uint64_t{1} << 16;
constexpr std::uint64_t kWrittenPerByte = 64;
constexpr std::uint64_t kWrittenFloor = std::uint64_t{1} << 16;

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

Pending error(std::string code, std::string message) {
  Pending p;
  p.finding.severity = Severity::Error;
  p.finding.code = std::move(code);
  p.finding.message = std::move(message);
  return p;
}

// A reader that gave up at `at`, placed by a walk over the text.
Pending reader_failure(std::string_view text, int depth, std::string message, std::size_t at,
                       std::uint64_t& steps) {
  TextPlace place = place_failure(text, depth, at, message, steps);
  std::string code = code_of(message);
  Pending p = error(std::move(code), std::move(message));
  p.finding.pointer = std::move(place.pointer);
  p.finding.offset = place.offset;
  p.finding.length = place.length;
  p.placed = true;
  p.pointer_given = true;
  return p;
}

// Why an operand fits no form of one, for the help of its failure: the
// place and message of the failure of its reading as an expression.
struct Why {
  const json::TapeSlot* at = nullptr;
  std::string message;
};

// Places findings in one text, read with `depth` levels open around it, by
// the paths of a tree: the tape slots they name are turned into paths in one
// walk over the tape, then every path is placed in one walk over the text.
class Placing {
 public:
  Placing(std::string_view text, int depth, PathTree& tree, std::uint64_t& steps)
      : text_(text), depth_(depth), tree_(tree), steps_(steps) {}

  // Every finding of `pending` that names a slot of the tape under `root`,
  // whose own node is `root_node`; a finding whose value is not found goes
  // to the root's place. With `why`, the first finding's help tells it.
  void by_slots(json::Node root, std::size_t root_node, std::vector<Pending>& pending, const Why& why) {
    std::vector<const json::TapeSlot*> targets;
    for (const Pending& p : pending)
      if (p.slot != nullptr) targets.push_back(p.slot);
    if (why.at != nullptr) targets.push_back(why.at);
    const std::vector<std::size_t> nodes = tape_nodes(root, targets, tree_, root_node, steps_);
    std::size_t next = 0;
    for (Pending& p : pending)
      if (p.slot != nullptr) p.node = nodes[next++];
    tree_.place_all(text_, depth_, steps_);
    for (Pending& p : pending)
      if (!p.placed) take_place(p, root_node);
    if (why.at != nullptr)
      pending.front().finding.help =
          "read as an expression, it fails at " + tree_.pointer(nodes[next]) + ": " + why.message;
  }

  // One finding whose node is given; `fallback` stands in for a value the
  // text does not have.
  void by_node(Pending& p, std::size_t fallback) {
    tree_.place_all(text_, depth_, steps_);
    take_place(p, fallback);
  }

 private:
  // The place of a finding's node, or of `fallback` when the text has no
  // such value, or else the whole text's.
  void take_place(Pending& p, std::size_t fallback) {
    if (!tree_.place(p.node).found) p.node = tree_.place(fallback).found ? fallback : PathTree::kRoot;
    const PathTree::Place& place = tree_.place(p.node);
    const bool at_name = p.at_name && place.name_length > 0;
    p.finding.offset = at_name ? place.name_start : place.start;
    p.finding.length = at_name ? place.name_length : place.length;
    p.placed = true;
  }

  std::string_view text_;
  int depth_;
  PathTree& tree_;
  std::uint64_t& steps_;
};

// A failure of the strategy read from the tape under `root`; an operand that
// fits no form is told why (`why`).
Pending strategy_failure(json::Node root, const schema::Error& e, Why& why) {
  Pending p = error(code_of(e.message), e.message);
  p.slot = e.at != nullptr ? e.at : root.slot();
  if (e.message == strategy::kOperandMismatch && e.at != nullptr) {
    schema::Error explained = strategy::explain_operand(json::Node(e.at, root.bytes()));
    if (!explained.message.empty()) {
      why.at = explained.at != nullptr ? explained.at : e.at;
      why.message = std::move(explained.message);
    }
  }
  return p;
}

// The findings in the order of their places, with lines, columns and
// pointers; warnings past the budget of written bytes are summed up in one.
std::vector<Finding> finish(std::string_view text, const PathTree& tree, std::vector<Pending> pending,
                            Work& work) {
  for (Pending& p : pending) p.finding.offset = character_start(text, p.finding.offset);
  std::stable_sort(pending.begin(), pending.end(),
                   [](const Pending& a, const Pending& b) { return a.finding.offset < b.finding.offset; });
  std::vector<std::size_t> offsets;
  offsets.reserve(pending.size());
  for (const Pending& p : pending) {
    offsets.push_back(p.finding.offset);
    if (p.help_line_at != kNoPlace) offsets.push_back(p.help_line_at);
  }
  const std::vector<LineColumn> positions = line_columns(text, offsets);
  const std::uint64_t budget = kWrittenPerByte * text.size() + kWrittenFloor;
  std::vector<Finding> out;
  std::size_t dropped = 0;
  std::optional<Finding> summary;
  std::size_t k = 0;
  for (Pending& p : pending) {
    Finding f = std::move(p.finding);
    f.position = positions[k++];
    const LineColumn* help_line = p.help_line_at != kNoPlace ? &positions[k++] : nullptr;
    if (f.severity == Severity::Warning && work.written > budget) {
      if (dropped++ == 0) {
        summary = std::move(f);
        summary->code = "too-many-warnings";
        summary->pointer.clear();
        summary->help = "the warnings before it already take many times the document's own size";
        summary->suggestion.reset();
      }
      continue;
    }
    if (!p.pointer_given) f.pointer = tree.pointer(p.node);
    if (help_line != nullptr && f.help) *f.help += std::to_string(help_line->line);
    work.written += f.message.size() + f.pointer.size() + (f.help ? f.help->size() : 0) +
                    (f.suggestion ? f.suggestion->size() : 0);
    out.push_back(std::move(f));
  }
  if (summary) {
    summary->message = std::to_string(dropped) + " more warnings from here on are not shown";
    const auto at = std::upper_bound(out.begin(), out.end(), summary->offset,
                                     [](std::size_t offset, const Finding& f) { return offset < f.offset; });
    out.insert(at, std::move(*summary));
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

// The failure of a compile without `crate_name` whose strategy has no symbol
// that makes a crate name, at the symbol (or the strategy).
std::optional<Pending> crate_name_failure(CompileSpec& spec) {
  Result<std::string> name = derive_crate_name(spec);
  if (name) return std::nullopt;
  Pending p = error("invalid-crate-name", std::move(name).error());
  const json::Node root = spec.strategy.root();
  const std::optional<json::Node> symbol = root.is_object() ? root.find("symbol") : std::nullopt;
  p.slot = symbol ? symbol->slot() : root.slot();
  p.finding.help =
      "a compile derives the crate name from `symbol` only when it sets no `crate_name`; "
      "one that names its own crate is not affected";
  return p;
}

}  // namespace

std::vector<Finding> check_strategy(std::string_view text, Work* work_out) {
  Work work;
  PathTree tree;
  std::vector<Pending> pending;
  // The strategy as a compile reads it, without a crate name of its own.
  CompileSpec spec;
  json::Reader reader(text);
  json::ReadStatus read = json::read_tape(reader, kStrategyDepth, spec.strategy);
  if (read.ok()) read = reader.finish();
  if (!read.ok()) {
    json::ReadError e = std::move(read).error();
    pending.push_back(reader_failure(text, kStrategyDepth, std::move(e.message), e.offset, work.steps));
  } else {
    const json::Node root = spec.strategy.root();
    StrategyLints lints(root, kSuggestionWorkPerByte * text.size() + kSuggestionWorkFloor);
    auto typed = [&] {
      const schema::ScopedObserver observing(lints);
      return strategy::parse_strategy(root);
    }();
    Why why;
    if (!typed.ok()) {
      pending.push_back(strategy_failure(root, typed.error(), why));
    } else {
      lints.check_indicators(typed.value().indicators);
      if (std::optional<Pending> crate = crate_name_failure(spec)) pending.push_back(std::move(*crate));
    }
    for (Pending& p : lints.findings()) pending.push_back(std::move(p));
    work.comparisons += lints.suggestion_work();
    Placing(text, kStrategyDepth, tree, work.steps).by_slots(root, PathTree::kRoot, pending, why);
  }
  find_duplicate_members(text, kStrategyDepth, tree, pending, work.steps);
  std::vector<Finding> out = finish(text, tree, std::move(pending), work);
  if (work_out != nullptr) *work_out = work;
  return out;
}

std::optional<Finding> locate_compile_failure(std::string_view command, Work* work_out) {
  const std::optional<std::string> cmd = read_envelope(command);
  if (!cmd || *cmd != "compile") return std::nullopt;
  Work work;
  PathTree tree;
  std::vector<Pending> pending;
  Result<CompileReq> req = read_compile_req(command);
  if (!req) {
    auto [message, offset] = split_position(command, req.error());
    pending.push_back(reader_failure(command, 0, std::move(message), offset, work.steps));
  } else {
    CompileSpec& spec = req.value().spec;
    const std::size_t spec_at = tree.member_or_element(PathTree::kRoot, "spec", 0);
    const std::size_t strategy_at = tree.member_or_element(spec_at, "strategy", 0);
    const json::Node strategy = spec.strategy.root();
    Why why;
    std::size_t fallback = strategy_at;
    if (auto typed = strategy::parse_strategy(strategy); !typed.ok()) {
      pending.push_back(strategy_failure(strategy, typed.error(), why));
    } else if (Result<std::string> name = derive_crate_name(spec); !name) {
      pending.push_back(error("invalid-crate-name", std::move(name).error()));
      pending.back().node = spec.crate_name ? tree.member_or_element(spec_at, "crate_name", 4)
                                            : tree.member(strategy_at, "symbol");
    } else if (Status<> checked = check_target(spec.target); !checked) {
      const std::size_t target_at = tree.member_or_element(spec_at, "target", 1);
      pending.push_back(error("mcu-not-allowed", std::move(checked).error()));
      pending.back().node = tree.member_or_element(target_at, "mcu", 1);
      fallback = target_at;
    } else {
      return std::nullopt;
    }
    Placing placing(command, 0, tree, work.steps);
    if (pending.back().slot != nullptr) {
      placing.by_slots(strategy, strategy_at, pending, why);
    } else {
      placing.by_node(pending.back(), fallback);
    }
  }
  std::vector<Finding> out = finish(command, tree, std::move(pending), work);
  if (work_out != nullptr) *work_out = work;
  return std::move(out.front());
}

}  // namespace lantor::diagnose
