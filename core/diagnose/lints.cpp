#include "core/diagnose/lints.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "core/json/canonical.h"
#include "core/schema/describe.h"
#include "core/strategy/variants.h"

namespace lantor::diagnose {
namespace {

// The member a document may carry to name its JSON Schema, for editors.
constexpr std::string_view kSchemaMember = "$schema";

using schema::ticked;

bool is_price_source(std::string_view name) {
  return std::any_of(std::begin(strategy::variants::kPriceSource), std::end(strategy::variants::kPriceSource),
                     [&](const schema::Variant& v) { return v.name == name; });
}

// The `indicators` value of the document, in either of its forms.
std::optional<json::Node> indicators_of(json::Node root) {
  constexpr std::size_t kIndicatorsPosition = 4;
  if (root.is_object()) return root.find("indicators");
  if (!root.is_array() || root.size() <= kIndicatorsPosition) return std::nullopt;
  json::Node element = root.elements().front();
  for (std::size_t i = 0; i < kIndicatorsPosition; ++i) element = element.next();
  return element;
}

std::string did_you_mean(std::string_view nearest) { return "did you mean " + ticked(nearest) + "?"; }

}  // namespace

void StrategyLints::warn(Code code, std::string message, json::Node at, bool at_name,
                         std::optional<std::string> help, std::optional<std::string_view> suggested) {
  Pending pending;
  pending.finding.severity = code_info(code).severity;
  pending.finding.code = code;
  pending.finding.message = std::move(message);
  pending.finding.help = std::move(help);
  if (suggested) {
    pending.finding.suggestion.emplace();
    json::append_json_string(*pending.finding.suggestion, *suggested);
  }
  pending.slot = at.slot();
  pending.at_name = at_name;
  findings_.push_back(std::move(pending));
}

void StrategyLints::unknown_member(json::Node object, std::string_view name, json::Node value,
                                   std::span<const std::string_view> known) {
  if (object.slot() == root_.slot() && name == kSchemaMember) return;
  const std::optional<std::string_view> nearest = suggester_.nearest(name, Candidates(known));
  std::string help;
  if (nearest) {
    help = did_you_mean(*nearest);
  } else {
    std::string list;
    for (const std::string_view k : known) list += (list.empty() ? "" : ", ") + ticked(k);
    help = known.empty() ? "nothing is read here besides the tag" : "the members read here are " + list;
  }
  warn(Code::UnknownMember, "unknown member " + ticked(name) + ", ignored but kept in the embedded spec",
       value, true, std::move(help), nearest);
}

void StrategyLints::operand_name(json::Node name) { names_.push_back(name); }

bool StrategyLints::recovered(const schema::Error& failure) {
  recovered_.push_back(failure);
  return true;
}

void StrategyLints::check_indicators(const strategy::IndicatorMap& declared) {
  std::vector<std::string_view> declared_names;
  declared_names.reserve(declared.size());
  for (const auto& entry : declared) declared_names.push_back(entry.first);
  const Candidates candidates(declared_names);
  std::vector<std::string_view> read;
  read.reserve(names_.size());
  for (const json::Node name : names_) {
    const std::string_view text = name.as_string();
    read.push_back(text);
    if (declared.find(text) != nullptr) continue;
    const std::optional<std::string_view> nearest = suggester_.nearest(text, candidates);
    std::optional<std::string> help;
    if (nearest) {
      help = did_you_mean(*nearest);
    } else if (is_price_source(text)) {
      help = R"(a name refers to an indicator; the bar's price is written {"price": ")" + std::string(text) +
             "\"}";
    }
    warn(Code::UndeclaredIndicator,
         "operand " + ticked(text) + " names no indicator declared in `indicators`", name, false,
         std::move(help), nearest);
  }
  const std::optional<json::Node> indicators = indicators_of(root_);
  if (!indicators || !indicators->is_object()) return;
  std::sort(read.begin(), read.end());
  for (const json::MemberRef member : indicators->members()) {
    if (std::binary_search(read.begin(), read.end(), member.name)) continue;
    warn(Code::UnusedIndicator, "indicator " + ticked(member.name) + " is declared but no rule reads it",
         member.value, true, std::nullopt);
  }
}

}  // namespace lantor::diagnose
