#include "core/diagnose/tape_path.h"

namespace lantor::diagnose {
namespace {

bool holds(json::Node v, const json::TapeSlot* at) {
  return at >= v.slot() && at < v.slot() + v.slot()->span();
}

}  // namespace

std::vector<std::string> tape_path(json::Node root, const json::TapeSlot* at) {
  std::vector<std::string> tokens;
  if (at == nullptr || !holds(root, at)) return tokens;
  json::Node v = root;
  while (v.slot() != at) {
    bool found = false;
    if (v.is_array()) {
      std::size_t i = 0;
      for (const json::Node e : v.elements()) {
        if (holds(e, at)) {
          tokens.push_back(std::to_string(i));
          v = e;
          found = true;
          break;
        }
        ++i;
      }
    } else if (v.is_object()) {
      for (const json::MemberRef m : v.members()) {
        if (holds(m.value, at)) {
          tokens.emplace_back(m.name);
          v = m.value;
          found = true;
          break;
        }
      }
    }
    if (!found) break;  // a member's name slot: its value is as near as it gets
  }
  return tokens;
}

}  // namespace lantor::diagnose
