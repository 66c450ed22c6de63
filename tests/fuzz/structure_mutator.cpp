// A mutator that changes a JSON input one node at a time, so that the fuzzer
// reaches what a valid document holds deep down, where byte changes seldom
// keep the text valid. The input is read into the reference tree; one node,
// picked at random, is changed (its type swapped, an array's length
// changed, a member or a variant renamed to a real or a near name, a record
// moved into array form, the node nested one level deeper, or replaced by a
// copy of another node); the tree is written out again, members in their
// order. Inputs that are not JSON, and a share of those that are, go to
// libFuzzer's own byte mutations instead.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/json/reader.h"
#include "core/json/writer.h"
#include "core/request/tables.h"
#include "core/strategy/tables.h"
#include "tests/support/json_reference.h"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t max_size);

namespace {

using lantor::json::Array;
using lantor::json::Kind;
using lantor::json::Member;
using lantor::json::MemberList;
using lantor::json::Object;
using lantor::json::Value;

// Every member, variant and tag name of the request and strategy tables,
// and the command names.
const std::vector<std::string_view>& schema_names() {
  static const std::vector<std::string_view> names = [] {
    std::vector<std::string_view> out = {"cmd", "compile", "artifact_bytes", "targets", "version", "reset"};
    for (const auto* types : {&lantor::request::types(), &lantor::strategy::types()}) {
      for (const lantor::schema::TypeInfo& type : *types) {
        for (const lantor::schema::MemberInfo& m : type.members) out.push_back(m.name);
        for (const lantor::schema::Variant& v : type.variants) out.push_back(v.name);
        if (!type.tag.empty()) out.push_back(type.tag);
      }
    }
    return out;
  }();
  return names;
}

class Mutation {
 public:
  explicit Mutation(unsigned seed) : rng_(seed) {}

  std::size_t below(std::size_t n) {
    return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
  }
  bool one_in(std::size_t n) { return below(n) == 0; }

  // A real name, or one a byte away from a real one.
  std::string name() {
    const auto& names = schema_names();
    std::string n(names[below(names.size())]);
    if (one_in(2) || n.empty()) return n;
    const std::size_t at = below(n.size());
    switch (below(4)) {
      case 0: n.erase(at, 1); break;
      case 1: n.insert(at, 1, n[at]); break;
      case 2: n[at] = static_cast<char>(n[at] ^ 0x20); break;
      default: n[at] = static_cast<char>('a' + below(26)); break;
    }
    return n;
  }

  // A value of another kind than `v`: small scalars and empty containers,
  // a name where a string goes.
  Value other_kind(const Value& v) {
    for (;;) {
      Value w;
      switch (below(8)) {
        case 0: w = Value(); break;
        case 1: w = Value::boolean(one_in(2)); break;
        case 2: w = Value::uint(below(3) == 0 ? 4294967296ULL : below(100)); break;
        case 3: w = Value::negint(-static_cast<std::int64_t>(below(100)) - 1); break;
        case 4: w = Value::floating(one_in(2) ? 0.5 : 1e300); break;
        case 5: w = Value::string(name()); break;
        case 6: w = Value::array({}); break;
        default: w = Value::object(Object()); break;
      }
      if (w.kind() != v.kind()) return w;
    }
  }

  // Changes `v` in one of the ways that suit its kind; `donor` is another
  // node of the same document.
  void change(Value& v, const Value& donor) {
    switch (below(4)) {
      case 0: v = other_kind(v); return;
      case 1: v = donor; return;
      case 2: nest(v); return;
      default: break;
    }
    if (v.is_array()) return resize(v.as_array());
    if (v.is_object()) return one_in(2) ? rename(v) : to_array_form(v);
    if (v.is_string())
      v = Value::string(name());
    else
      v = other_kind(v);
  }

 private:
  void nest(Value& v) {
    if (one_in(2)) {
      Array a;
      a.push_back(std::move(v));
      v = Value::array(std::move(a));
    } else {
      Object o;
      o.set(name(), std::move(v));
      v = Value::object(std::move(o));
    }
  }

  void resize(Array& a) {
    if (a.empty() || one_in(3)) {
      a.push_back(a.empty() ? Value() : a[below(a.size())]);
    } else if (one_in(2)) {
      a.erase(a.begin() + static_cast<std::ptrdiff_t>(below(a.size())));
    } else {
      a.insert(a.begin() + static_cast<std::ptrdiff_t>(below(a.size())), a[below(a.size())]);
    }
  }

  // One member renamed; a name that is already there drops the other one.
  void rename(Value& v) {
    const Object& o = v.as_object();
    if (o.empty()) {
      Object added;
      added.set(name(), Value());
      v = Value::object(std::move(added));
      return;
    }
    const std::size_t at = below(o.size());
    Object renamed;
    for (std::size_t i = 0; i < o.size(); ++i) renamed.set(i == at ? name() : o[i].name, o[i].value);
    v = Value::object(std::move(renamed));
  }

  // A record's members' values in their order, as its array form holds them.
  static void to_array_form(Value& v) {
    Array a;
    for (const Member& m : v.as_object()) a.push_back(m.value);
    v = Value::array(std::move(a));
  }

  std::minstd_rand rng_;
};

// The nodes of `v` in document order.
void collect(Value& v, std::vector<Value*>& nodes) {
  nodes.push_back(&v);
  if (v.is_array()) {
    for (Value& e : v.as_array()) collect(e, nodes);
  } else if (v.is_object()) {
    // Members are reached by name, the one mutable way into an object.
    std::vector<std::string> names;
    for (const Member& m : v.as_object()) names.push_back(m.name);
    for (const std::string& n : names) collect(*v.as_object().find(n), nodes);
  }
}

// The tree as compact text, members in their order.
void write(lantor::json::Writer& w, const Value& v) {
  if (v.is_array()) {
    w.begin_array();
    for (const Value& e : v.as_array()) write(w, e);
    w.end_array();
  } else if (v.is_object()) {
    w.begin_object();
    for (const Member& m : v.as_object()) {
      w.key(m.name);
      write(w, m.value);
    }
    w.end_object();
  } else {
    w.raw(lantor::json::canonical_json(v));
  }
}

}  // namespace

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t max_size,
                                               unsigned int seed) {
  Mutation mutation(seed);
  // A quarter of the time, and whenever the input is not JSON, bytes.
  if (mutation.one_in(4)) return LLVMFuzzerMutate(data, size, max_size);
  lantor::json::Reader reader(std::string_view(reinterpret_cast<const char*>(data), size));
  lantor::json::ReadResult<Value> tree = lantor::json::read_value(reader, 0);
  if (!tree.ok() || !reader.finish().ok()) return LLVMFuzzerMutate(data, size, max_size);

  Value root = std::move(tree).value();
  std::vector<Value*> nodes;
  collect(root, nodes);
  const Value donor = *nodes[mutation.below(nodes.size())];
  mutation.change(*nodes[mutation.below(nodes.size())], donor);

  lantor::json::Writer w;
  write(w, root);
  const std::string out = w.take();
  if (out.size() > max_size) return LLVMFuzzerMutate(data, size, max_size);
  std::memcpy(data, out.data(), out.size());
  return out.size();
}
