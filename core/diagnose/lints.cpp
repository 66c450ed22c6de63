#include "core/diagnose/lints.h"

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

#include "core/diagnose/suggest.h"
#include "core/diagnose/tape_path.h"
#include "core/json/reader.h"
#include "core/schema/describe.h"
#include "core/strategy/variants.h"

namespace lantor::diagnose {
namespace {

// The member a document may carry to name its JSON Schema, for editors.
constexpr std::string_view kSchemaMember = "$schema";

using schema::ticked;

std::optional<std::string> did_you_mean(std::string_view name, std::span<const std::string_view> known) {
  const std::optional<std::string_view> nearest = nearest_name(name, known);
  if (!nearest) return std::nullopt;
  return "did you mean " + ticked(*nearest) + "?";
}

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

}  // namespace

Where where(const LocatedText& located, json::Node root, const json::TapeSlot* at, bool at_name) {
  const std::vector<std::string> tokens = tape_path(root, at);
  const std::size_t value = located.resolve(located.root(), tokens);
  if (value == kNoValue) {
    std::string pointer;
    for (const std::string& token : tokens) {
      pointer += '/';
      pointer += escape_pointer_token(token);
    }
    return {pointer, 0};
  }
  const LocatedValue& v = located[value];
  return {located.pointer(value), at_name && v.is_member() ? v.name_start : v.start};
}

void StrategyLints::warn(std::string code, std::string message, const Where& at,
                         std::optional<std::string> help) {
  findings_.push_back(Finding{Severity::Warning, std::move(code), std::move(message), at.pointer, at.offset,
                              std::move(help)});
}

void StrategyLints::unknown_member(json::Node object, std::string_view name, json::Node value,
                                   std::span<const std::string_view> known) {
  if (object.slot() == root_.slot() && name == kSchemaMember) return;
  std::optional<std::string> help = did_you_mean(name, known);
  if (!help) {
    std::string list;
    for (const std::string_view k : known) list += (list.empty() ? "" : ", ") + ticked(k);
    help = known.empty() ? "nothing is read here besides the tag" : "the members read here are " + list;
  }
  warn("unknown-member", "unknown member " + ticked(name) + ", ignored but kept in the embedded spec",
       where(located_, root_, value.slot(), true), std::move(help));
}

void StrategyLints::operand_name(json::Node name) { names_.push_back(name); }

void StrategyLints::check_indicators(const strategy::IndicatorMap& declared) {
  std::vector<std::string_view> declared_names;
  for (const auto& entry : declared) declared_names.push_back(entry.first);
  for (const json::Node name : names_) {
    const std::string_view text = name.as_string();
    if (declared.find(text) != nullptr) continue;
    std::optional<std::string> help = did_you_mean(text, declared_names);
    if (!help && is_price_source(text))
      help = R"(a name refers to an indicator; the bar's price is written {"price": ")" + std::string(text) +
             "\"}";
    warn("undeclared-indicator", "operand " + ticked(text) + " names no indicator declared in `indicators`",
         where(located_, root_, name.slot()), std::move(help));
  }
  const std::optional<json::Node> indicators = indicators_of(root_);
  if (!indicators || !indicators->is_object()) return;
  for (const json::MemberRef member : indicators->members()) {
    const bool read =
        std::any_of(names_.begin(), names_.end(), [&](json::Node n) { return n.as_string() == member.name; });
    if (read) continue;
    warn("unused-indicator", "indicator " + ticked(member.name) + " is declared but no rule reads it",
         where(located_, root_, member.value.slot(), true), std::nullopt);
  }
}

std::vector<Finding> duplicate_members(const LocatedText& located, std::string_view text) {
  std::vector<Finding> out;
  for (std::size_t i = 0; i < located.values().size(); ++i) {
    const LocatedValue& object = located[i];
    if (object.kind != LocatedValue::Kind::Object) continue;
    std::map<std::string_view, std::size_t> last;  // name to its last occurrence
    for (const std::size_t c : object.children) last[located[c].token] = c;
    for (const std::size_t c : object.children) {
      const std::size_t kept = last[located[c].token];
      if (kept == c) continue;
      const LocatedValue& member = located[c];
      out.push_back(
          Finding{Severity::Warning, "duplicate-member",
                  "member " + ticked(member.token) + " is given again later; only its last value counts",
                  located.pointer(c), member.name_start,
                  "the value that counts is the one on line " +
                      std::to_string(json::position_of(text, located[kept].start).line)});
    }
  }
  return out;
}

}  // namespace lantor::diagnose
