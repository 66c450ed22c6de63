#include "core/diagnose/plain_words.h"

#include <string_view>
#include <vector>

#include "core/diagnose/suggest.h"
#include "core/json/canonical.h"
#include "core/schema/scalars.h"
#include "core/strategy/tables.h"

namespace lantor::diagnose {
namespace {

// One misspelt variant name compared with a choice's few variants: far less
// than a document's budget, which this single suggestion does not share.
constexpr std::uint64_t kVariantSuggestionWork = std::uint64_t{1} << 16;

// The name an unknown variant was given as: the tag's string, or the one
// member's name of an externally tagged object.
std::optional<std::string_view> variant_name(json::Node at) {
  if (at.is_string()) return at.as_string();
  if (at.is_object() && at.size() == 1) return at.members().front().name;
  return std::nullopt;
}

// The variant nearest to the misspelt name at `at`, among those `e` lists.
std::optional<std::string_view> nearest_variant(json::Node at, const schema::Error& e) {
  const std::optional<std::string_view> name = variant_name(at);
  if (!name) return std::nullopt;
  std::vector<std::string_view> names;
  names.reserve(e.variants.size());
  for (const schema::Variant& v : e.variants) names.push_back(v.name);
  Suggester suggester(kVariantSuggestionWork);
  return suggester.nearest(*name, names);
}

// What a value of the type named `wanted` is.
std::optional<std::string> type_in_words(std::string_view wanted) {
  if (wanted == schema::kU32Type.name)
    return "`u32` is a whole number from 0 to " + std::to_string(schema::kU32Type.maximum);
  if (wanted == schema::kF64Type.name) return "`f64` is a number, whole or not, such as 14 or 0.5";
  if (wanted == strategy::kStrategySpec.name)
    return "`StrategySpec` is the strategy document itself: a JSON object of members such as `symbol`, "
           "`timeframe`, `entry` and `exit`";
  return std::nullopt;
}

}  // namespace

std::optional<std::string> plain_help(json::Node root, const schema::Error& e) {
  switch (e.kind) {
    case ErrorKind::UnknownVariant: {
      if (e.at == nullptr || e.variants.empty()) return std::nullopt;
      const std::optional<std::string_view> nearest = nearest_variant(json::Node(e.at, root.bytes()), e);
      if (!nearest) return std::nullopt;
      return "did you mean " + schema::ticked(*nearest) + "?";
    }
    case ErrorKind::NoOperandForm:
      return "an operand (`untagged enum Operand`) is an indicator's name, a number, or an expression "
             R"(object such as {"price": "close"} or {"add": [...]})";
    case ErrorKind::InvalidType:
    case ErrorKind::InvalidValue: return type_in_words(e.wanted);
    default: return std::nullopt;
  }
}

std::optional<std::string> variant_suggestion(json::Node root, const schema::Error& e) {
  if (e.kind != ErrorKind::UnknownVariant || e.at == nullptr || e.variants.empty()) return std::nullopt;
  const json::Node at(e.at, root.bytes());
  // Only a tag written as a string is replaced by a name; an externally
  // tagged object holds more than its name.
  if (!at.is_string()) return std::nullopt;
  const std::optional<std::string_view> nearest = nearest_variant(at, e);
  if (!nearest) return std::nullopt;
  std::string text;
  json::append_json_string(text, *nearest);
  return text;
}

}  // namespace lantor::diagnose
