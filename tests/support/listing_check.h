// Checks a listing of document types (schema/listing.h) for names that
// resolve to nothing: every member's and variant's type must be a scalar, a
// form of other types (X?, [X], {X}, (X, Y)), or a type of the listing.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/schema/listing.h"

namespace lantor::testing {

inline void unresolved_in(std::string_view type, const std::set<std::string, std::less<>>& listed,
                          std::vector<std::string>& out) {
  static const std::set<std::string_view> kScalars = {"string", "bool", "u32", "f64", "any"};
  if (type.empty()) return;
  if (type.back() == '?') return unresolved_in(type.substr(0, type.size() - 1), listed, out);
  if ((type.front() == '[' && type.back() == ']') || (type.front() == '{' && type.back() == '}'))
    return unresolved_in(type.substr(1, type.size() - 2), listed, out);
  if (type.front() == '(' && type.back() == ')') {
    std::string_view items = type.substr(1, type.size() - 2);
    for (std::size_t comma; (comma = items.find(", ")) != std::string_view::npos;
         items.remove_prefix(comma + 2))
      unresolved_in(items.substr(0, comma), listed, out);
    return unresolved_in(items, listed, out);
  }
  if (kScalars.count(type) == 0 && listed.count(type) == 0) out.emplace_back(type);
}

// The type names of `types` that resolve to nothing.
inline std::vector<std::string> unresolved(const std::vector<schema::TypeInfo>& types) {
  std::set<std::string, std::less<>> listed;
  for (const schema::TypeInfo& t : types) listed.emplace(t.name);
  std::vector<std::string> out;
  for (const schema::TypeInfo& t : types) {
    for (const schema::MemberInfo& m : t.members) unresolved_in(m.type, listed, out);
    for (const schema::Variant& v : t.variants) unresolved_in(v.data, listed, out);
  }
  return out;
}

}  // namespace lantor::testing
