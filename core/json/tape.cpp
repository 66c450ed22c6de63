#include "core/json/tape.h"

namespace lantor::json {

double Node::to_double() const noexcept {
  switch (kind()) {
    case Kind::UInt: return static_cast<double>(as_uint());
    case Kind::NegInt: return static_cast<double>(as_negint());
    case Kind::Float: return as_float();
    default: return 0.0;
  }
}

std::optional<Node> Node::find(std::string_view name) const noexcept {
  for (MemberRef m : members())
    if (m.name == name) return m.value;
  return std::nullopt;
}

const TapeSlot Tape::kNull(TapeSlot::make_head(Kind::Null, 0), 0);

}  // namespace lantor::json
