// Warnings about a strategy document that compiles but likely does not say
// what its author meant. None of them changes what a compile answers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/diagnose/diagnose.h"
#include "core/diagnose/located_text.h"
#include "core/json/tape.h"
#include "core/schema/observer.h"
#include "core/strategy/model.h"

namespace lantor::diagnose {

// Pointer and offset of a value of the tape whose text is `located`:
// `at_name` places a member at its name rather than its value.
struct Where {
  std::string pointer;
  std::size_t offset = 0;
};
Where where(const LocatedText& located, json::Node root, const json::TapeSlot* at, bool at_name = false);

// Learns, while the strategy is read, what the reading skipped and which
// names the rules read:
//   unknown-member        a member no field of its record is named
//   undeclared-indicator  an operand name that `indicators` does not declare
//   unused-indicator      a declared indicator that no rule reads
class StrategyLints final : public schema::ReadObserver {
 public:
  StrategyLints(json::Node root, const LocatedText& located) : root_(root), located_(located) {}

  void unknown_member(json::Node object, std::string_view name, json::Node value,
                      std::span<const std::string_view> known) override;
  void operand_name(json::Node name) override;

  // Once the whole document has read without error.
  void check_indicators(const strategy::IndicatorMap& declared);

  std::vector<Finding>& findings() { return findings_; }

 private:
  void warn(std::string code, std::string message, const Where& at, std::optional<std::string> help);

  json::Node root_;
  const LocatedText& located_;
  std::vector<json::Node> names_;  // the operand names, in reading order
  std::vector<Finding> findings_;
};

// duplicate-member: a member name an object repeats, whose earlier values
// are silently replaced by the last; one warning per earlier occurrence.
std::vector<Finding> duplicate_members(const LocatedText& located, std::string_view text);

}  // namespace lantor::diagnose
