#include "core/json/tape.h"

#include <string>
#include <utility>

#include "core/json/tape_builder.h"

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

Tape::Tape() { slots_.emplace_back(TapeSlot::make_head(Kind::Null, 0, 0), 0); }

Tape Tape::from_value(const Value& v) {
  Tape tape;
  TapeBuilder(tape).value(v);
  return tape;
}

namespace {

Value node_value(Node n) {
  switch (n.kind()) {
    case Kind::Null: return Value();
    case Kind::Bool: return Value::boolean(n.as_bool());
    case Kind::UInt: return Value::uint(n.as_uint());
    case Kind::NegInt: return Value::negint(n.as_negint());
    case Kind::Float: return Value::floating(n.as_float());
    case Kind::String: return Value::string(std::string(n.as_string()));
    case Kind::Array: {
      Array items;
      items.reserve(n.size());
      for (Node e : n.elements()) items.push_back(node_value(e));
      return Value::array(std::move(items));
    }
    case Kind::Object: {
      Object o;
      o.reserve(n.size());
      for (MemberRef m : n.members()) o.push_unique(std::string(m.name), node_value(m.value));
      return Value::object(std::move(o));
    }
  }
  return Value();
}

bool node_equals(Node a, const Value& b) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case Kind::Null: return true;
    case Kind::Bool: return a.as_bool() == b.as_bool();
    case Kind::UInt: return a.as_uint() == b.as_uint();
    case Kind::NegInt: return a.as_negint() == b.as_negint();
    // Bitwise, as Values compare: -0.0 is not 0.0.
    case Kind::Float: return a.slot()->u == b.as_uint();
    case Kind::String: return a.as_string() == b.as_string();
    case Kind::Array: {
      const Array& items = b.as_array();
      if (a.size() != items.size()) return false;
      std::size_t i = 0;
      for (Node e : a.elements())
        if (!node_equals(e, items[i++])) return false;
      return true;
    }
    case Kind::Object: {
      const Object& o = b.as_object();
      if (a.size() != o.size()) return false;
      std::size_t i = 0;
      for (MemberRef m : a.members()) {
        if (m.name != o[i].name || !node_equals(m.value, o[i].value)) return false;
        ++i;
      }
      return true;
    }
  }
  return false;
}

}  // namespace

Value Tape::to_value() const { return node_value(root()); }

bool operator==(const Tape& a, const Value& b) { return node_equals(a.root(), b); }

}  // namespace lantor::json
