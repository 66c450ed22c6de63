#include "core/diagnose/diagnose.h"

#include <algorithm>
#include <iterator>
#include <span>
#include <utility>

#include "core/diagnose/failure_place.h"
#include "core/diagnose/lints.h"
#include "core/diagnose/path_tree.h"
#include "core/diagnose/pending.h"
#include "core/diagnose/plain_words.h"
#include "core/diagnose/tape_path.h"
#include "core/diagnose/text_walk.h"
#include "core/json/tape_reader.h"
#include "core/project/naming.h"
#include "core/project/plan.h"
#include "core/request/envelope.h"
#include "core/request/request.h"
#include "core/request/tables.h"
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

Pending error(Code code, std::string message) {
  Pending p;
  p.finding.severity = code_info(code).severity;
  p.finding.code = code;
  p.finding.message = std::move(message);
  return p;
}

// A reader's failure, placed by a walk over the text.
Pending reader_failure(std::string_view text, int depth, json::ReadError failure, std::uint64_t& steps) {
  TextPlace place = place_failure(text, depth, failure, steps);
  Pending p = error(code_of(failure.kind), std::move(failure.message));
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
    if (why.at != nullptr) {
      std::optional<std::string>& help = pending.front().finding.help;
      help = (help ? *help + "; " : std::string()) + "read as an expression, it fails at " +
             tree_.pointer(nodes[next]) + ": " + why.message;
    }
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
  Pending p = error(code_of(e.kind), e.message);
  p.slot = e.at != nullptr ? e.at : root.slot();
  p.finding.help = plain_help(root, e);
  p.finding.suggestion = variant_suggestion(root, e);
  if (e.kind == ErrorKind::NoOperandForm && e.at != nullptr) {
    if (std::optional<schema::Error> explained = strategy::explain_operand(json::Node(e.at, root.bytes()))) {
      why.at = explained->at != nullptr ? explained->at : e.at;
      why.message = std::move(explained->message);
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
        summary->code = Code::TooManyWarnings;
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

// The failure of a compile without `crate_name` whose strategy has no symbol
// that makes a crate name, at the symbol (or the strategy).
std::optional<Pending> crate_name_failure(CompileSpec& spec) {
  Result<std::string> name = derive_crate_name(spec);
  if (name) return std::nullopt;
  Pending p = error(Code::InvalidCrateName, std::move(name).error());
  const json::Node root = spec.strategy.root();
  const std::optional<json::Node> symbol = root.is_object() ? root.find("symbol") : std::nullopt;
  p.slot = symbol ? symbol->slot() : root.slot();
  p.finding.help =
      "a compile derives the crate name from `symbol` only when it sets no `crate_name`; "
      "one that names its own crate is not affected";
  return p;
}

// The help of an MCU outside the allow-list: the whole list.
std::string allowed_mcus() {
  std::string out = "the MCU triples a no_std target may name are ";
  for (const std::string_view mcu : request::kMcuAllowlist) {
    if (mcu != request::kMcuAllowlist[0]) out += ", ";
    schema::append_ticked(out, mcu);
  }
  return out;
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
    pending.push_back(reader_failure(text, kStrategyDepth, std::move(read).error(), work.steps));
  } else {
    const json::Node root = spec.strategy.root();
    StrategyLints lints(root, kSuggestionWorkPerByte * text.size() + kSuggestionWorkFloor);
    auto typed = [&] {
      const schema::ScopedObserver observing(lints);
      return strategy::parse_strategy(root);
    }();
    // Every failure the records went on past, then the one that ended the
    // reading, if any; the first of them all is the compile's. Only a
    // document read without one is checked further.
    std::vector<schema::Error>& failures = lints.recovered_errors();
    if (!typed.ok()) failures.push_back(typed.error());
    // Only the first failure's help tells why an operand fits no form.
    Why why;
    for (std::size_t i = 0; i < failures.size(); ++i) {
      Why unused;
      pending.push_back(strategy_failure(root, failures[i], i == 0 ? why : unused));
    }
    if (failures.empty()) {
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
  json::ReadResult<CompileReq> req = read_compile_req(command);
  if (!req) {
    pending.push_back(reader_failure(command, 0, std::move(req).error(), work.steps));
  } else {
    CompileSpec& spec = req.value().spec;
    // The strategy is the first member of each record on its path.
    const auto& [spec_name, strategy_name] = request::kStrategyPath;
    const std::size_t spec_at = tree.member_or_element(PathTree::kRoot, spec_name, 0);
    const std::size_t strategy_at = tree.member_or_element(spec_at, strategy_name, 0);
    const json::Node strategy = spec.strategy.root();
    Why why;
    std::size_t fallback = strategy_at;
    Result<std::string, CompileError> checked = check_spec(spec);
    if (checked) return std::nullopt;
    CompileError& e = checked.error();
    switch (e.kind) {
      case CompileError::Kind::BadStrategy:
        pending.push_back(strategy_failure(
            strategy, schema::Error{std::move(e.message), e.at, e.cause, e.wanted, e.variants}, why));
        break;
      case CompileError::Kind::BadCrateName:
        pending.push_back(error(Code::InvalidCrateName, std::move(e.message)));
        pending.back().node = spec.crate_name ? tree.member_or_element(spec_at, "crate_name", 4)
                                              : tree.member(strategy_at, "symbol");
        break;
      case CompileError::Kind::BadTarget: {
        const std::size_t target_at = tree.member_or_element(spec_at, "target", 1);
        pending.push_back(error(Code::McuNotAllowed, std::move(e.message)));
        pending.back().node = tree.member_or_element(target_at, "mcu", 1);
        pending.back().finding.help = allowed_mcus();
        fallback = target_at;
        break;
      }
      default: return std::nullopt;  // nothing else is checked before a build
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
