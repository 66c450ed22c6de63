// Warnings about a strategy document that compiles but likely does not say
// what its author meant. None of them changes what a compile answers.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/diagnose/path_tree.h"
#include "core/diagnose/pending.h"
#include "core/diagnose/suggest.h"
#include "core/json/tape.h"
#include "core/schema/observer.h"
#include "core/schema/source.h"
#include "core/strategy/model.h"

namespace lantor::diagnose {

// Learns, while the strategy is read, what the reading skipped and which
// names the rules read:
//   unknown-member        a member no field of its record is named
//   undeclared-indicator  an operand name that `indicators` does not declare
//   unused-indicator      a declared indicator that no rule reads
// Its findings are placed by tape slot (Pending::slot).
class StrategyLints final : public schema::ReadObserver {
 public:
  // `suggestions`: the work all "did you mean" helps together may cost.
  StrategyLints(json::Node root, std::uint64_t suggestions) : root_(root), suggester_(suggestions) {}

  void unknown_member(json::Node object, std::string_view name, json::Node value,
                      std::span<const std::string_view> known) override;
  void operand_name(json::Node name) override;
  // Takes every failure a record can go on past, in reading order.
  bool recovered(const schema::Error& failure) override;

  // Once the whole document has read without error.
  void check_indicators(const strategy::IndicatorMap& declared);

  std::vector<Pending>& findings() { return findings_; }
  // The failures gone past, the first of them the one a compile reports.
  std::vector<schema::Error>& recovered_errors() { return recovered_; }
  std::uint64_t suggestion_work() const { return suggester_.spent(); }

 private:
  void warn(Code code, std::string message, json::Node at, bool at_name, std::optional<std::string> help,
            std::optional<std::string_view> suggested = std::nullopt);

  json::Node root_;
  Suggester suggester_;
  std::vector<json::Node> names_;  // the operand names, in reading order
  std::vector<Pending> findings_;
  std::vector<schema::Error> recovered_;
};

// duplicate-member: a member name an object of `text` repeats, whose earlier
// values are silently replaced by the last; one warning per earlier
// occurrence, its path added to `tree`. Values walked go to `steps`.
void find_duplicate_members(std::string_view text, int depth, PathTree& tree, std::vector<Pending>& out,
                            std::uint64_t& steps);

}  // namespace lantor::diagnose
