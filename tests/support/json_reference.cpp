#include "tests/support/json_reference.h"

#include <limits>
#include <vector>

#include "core/json/canonical.h"
#include "core/json/tape_reader.h"
#include "core/schema/describe.h"

namespace lantor::json {
namespace {

ReadResult<Value> read_array(Reader& r, int depth) {
  Array items;
  bool first = true;
  for (;;) {
    LANTOR_ASSIGN_OR_RETURN(const bool more, r.next_element(first));
    if (!more) break;
    LANTOR_ASSIGN_OR_RETURN(Value item, read_value(r, depth));
    items.push_back(std::move(item));
  }
  LANTOR_TRY(r.end_array());
  return Value::array(std::move(items));
}

ReadResult<Value> read_object(Reader& r, int depth) {
  Object object;
  bool first = true;
  std::string name;
  for (;;) {
    LANTOR_ASSIGN_OR_RETURN(const bool more, r.next_key(first, name));
    if (!more) break;
    LANTOR_TRY(r.colon());
    LANTOR_ASSIGN_OR_RETURN(Value value, read_value(r, depth));
    object.set(name, std::move(value));
  }
  LANTOR_TRY(r.end_object());
  return Value::object(std::move(object));
}

Value number_of(const Number& n) {
  switch (n.kind) {
    case Kind::UInt: return Value::uint(n.u);
    case Kind::NegInt: return Value::negint(n.i);
    default: return Value::floating(n.d);
  }
}

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

// Compact JSON text of `v`, its members in their order.
void write_in_order(std::string& out, const Value& v) {
  switch (v.kind()) {
    case Kind::Array: {
      out += '[';
      for (std::size_t i = 0; i < v.as_array().size(); ++i) {
        if (i) out += ',';
        write_in_order(out, v.as_array()[i]);
      }
      out += ']';
      return;
    }
    case Kind::Object: {
      out += '{';
      for (std::size_t i = 0; i < v.as_object().size(); ++i) {
        if (i) out += ',';
        append_json_string(out, v.as_object()[i].name);
        out += ':';
        write_in_order(out, v.as_object()[i].value);
      }
      out += '}';
      return;
    }
    default: append_canonical(out, v); return;
  }
}

void write_canonical(std::string& out, const Value& v) {
  switch (v.kind()) {
    case Kind::Null: out += "null"; return;
    case Kind::Bool: out += v.as_bool() ? "true" : "false"; return;
    case Kind::UInt: append_uint(out, v.as_uint()); return;
    case Kind::NegInt: append_int(out, v.as_negint()); return;
    case Kind::Float: append_float(out, v.as_float()); return;
    case Kind::String: append_json_string(out, v.as_string()); return;
    case Kind::Array: {
      out += '[';
      for (std::size_t i = 0; i < v.as_array().size(); ++i) {
        if (i) out += ',';
        write_canonical(out, v.as_array()[i]);
      }
      out += ']';
      return;
    }
    case Kind::Object: {
      std::vector<const Member*> order;
      for (const Member& m : v.as_object()) order.push_back(&m);
      std::stable_sort(order.begin(), order.end(),
                       [](const Member* a, const Member* b) { return a->name < b->name; });
      out += '{';
      for (std::size_t i = 0; i < order.size(); ++i) {
        if (i) out += ',';
        append_json_string(out, order[i]->name);
        out += ':';
        write_canonical(out, order[i]->value);
      }
      out += '}';
      return;
    }
  }
}

}  // namespace

ReadResult<Value> read_value(Reader& r, int depth) {
  const int c = r.peek_ws();
  switch (c) {
    case -1: return fail(r.syntax_peek_error(msg::kEofValue));
    case 'n': LANTOR_TRY(r.read_literal("null")); return Value();
    case 't': LANTOR_TRY(r.read_literal("true")); return Value::boolean(true);
    case 'f': LANTOR_TRY(r.read_literal("false")); return Value::boolean(false);
    case '"': {
      std::string s;
      LANTOR_TRY(r.read_string(s));
      return Value::string(std::move(s));
    }
    case '[': LANTOR_TRY(r.open(depth)); return read_array(r, depth + 1);
    case '{': LANTOR_TRY(r.open(depth)); return read_object(r, depth + 1);
    default:
      if (c == '-' || (c >= '0' && c <= '9')) {
        NumberSpelling spelling;
        Number n;
        LANTOR_TRY(r.read_number(spelling, n));
        return number_of(n);
      }
      return fail(r.syntax_peek_error(msg::kExpectedValue));
  }
}

Result<Value> parse_json(std::string_view text) {
  Reader r(text);
  ReadResult<Value> value = read_value(r, 0);
  if (!value) return fail(positioned(text, value.error()));
  if (ReadStatus end = r.finish(); !end) return fail(positioned(text, end.error()));
  return std::move(value).value();
}

void append_canonical(std::string& out, const Value& v) { write_canonical(out, v); }

std::string canonical_json(const Value& v) {
  std::string out;
  write_canonical(out, v);
  return out;
}

std::string describe(const Value& v) { return schema::describe(tape_from_value(v).root()); }

Tape tape_from_value(const Value& v) {
  // Through its text, read with room for any depth a value built in code
  // may have.
  std::string text;
  write_in_order(text, v);
  Reader r(text);
  Tape tape;
  if (!read_tape(r, std::numeric_limits<int>::min() / 2, tape)) return Tape();
  return tape;
}

Value value_from_tape(const Tape& tape) { return node_value(tape.root()); }

bool operator==(const Tape& a, const Value& b) { return node_equals(a.root(), b); }

}  // namespace lantor::json
