// The tests' reference model of JSON values: null, boolean, three kinds of
// number (unsigned 64-bit, negative signed 64-bit, binary64), string, array,
// and object with insertion-ordered unique member names, as a tree. The core
// never holds values this way; the tests and the fuzzer read texts into it
// with the plain reader of json_reference.h and compare what the core does
// with what the tree says.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/json/kind.h"

namespace lantor::json {

class Value;
class Object;
struct Member;
using Array = std::vector<Value>;
// An object's members, in order.
using MemberList = std::vector<Member>;

class Value {
 public:
  Value() noexcept : kind_(Kind::Null), u_(0) {}
  Value(std::nullptr_t) noexcept : Value() {}
  static Value boolean(bool b) noexcept;
  static Value uint(std::uint64_t u) noexcept;
  // `i` must be negative; a non-negative integer is a uint.
  static Value negint(std::int64_t i) noexcept;
  static Value floating(double d) noexcept;
  static Value string(std::string s);
  static Value array(Array a);
  static Value object(Object o);

  Value(const Value& other);
  Value(Value&& other) noexcept : kind_(other.kind_), u_(other.u_) {
    other.kind_ = Kind::Null;
    other.u_ = 0;
  }
  Value& operator=(const Value& other);
  Value& operator=(Value&& other) noexcept;
  ~Value() { release(); }

  Kind kind() const noexcept { return kind_; }
  bool is_null() const noexcept { return kind_ == Kind::Null; }
  bool is_bool() const noexcept { return kind_ == Kind::Bool; }
  bool is_number() const noexcept {
    return kind_ == Kind::UInt || kind_ == Kind::NegInt || kind_ == Kind::Float;
  }
  bool is_integer() const noexcept { return kind_ == Kind::UInt || kind_ == Kind::NegInt; }
  bool is_string() const noexcept { return kind_ == Kind::String; }
  bool is_array() const noexcept { return kind_ == Kind::Array; }
  bool is_object() const noexcept { return kind_ == Kind::Object; }

  // Accessors; each requires the matching kind.
  bool as_bool() const noexcept { return b_; }
  std::uint64_t as_uint() const noexcept { return u_; }
  std::int64_t as_negint() const noexcept { return i_; }
  double as_float() const noexcept { return d_; }
  // Any number as the nearest binary64.
  double to_double() const noexcept;
  const std::string& as_string() const noexcept { return *s_; }
  std::string& as_string() noexcept { return *s_; }
  const Array& as_array() const noexcept { return *a_; }
  Array& as_array() noexcept { return *a_; }
  const Object& as_object() const noexcept { return *o_; }
  Object& as_object() noexcept { return *o_; }

  // Structural equality; numbers compare by kind and value.
  friend bool operator==(const Value& a, const Value& b);

 private:
  void release() noexcept {
    if (kind_ >= Kind::String) release_heap();
    kind_ = Kind::Null;
    u_ = 0;
  }
  void release_heap() noexcept;

  Kind kind_;
  union {
    bool b_;
    std::uint64_t u_;
    std::int64_t i_;
    double d_;
    std::string* s_;
    Array* a_;
    Object* o_;
  };
};

struct Member {
  std::string name;
  Value value;
};

// Members in insertion order with unique names. Setting a name that is
// already there keeps its place and replaces its value. Large objects build a
// name index so that setting stays linear in the number of members overall.
class Object {
 public:
  Object();
  Object(const Object& other);
  Object(Object&&) noexcept;
  Object& operator=(const Object& other);
  Object& operator=(Object&&) noexcept;
  ~Object();

  // Adds `name` at the end, or replaces the value of the member already named so.
  void set(std::string name, Value value);
  // Adds a member whose name the caller knows is not present yet.
  void push_unique(std::string name, Value value);
  // Replaces every member with `members`, whose names the caller knows are
  // unique; the list itself is taken over, so no member is moved.
  void assign_unique(MemberList&& members);

  const Value* find(std::string_view name) const;
  Value* find(std::string_view name);

  std::size_t size() const noexcept { return members_.size(); }
  bool empty() const noexcept { return members_.empty(); }
  const Member& operator[](std::size_t i) const { return members_[i]; }
  auto begin() const noexcept { return members_.begin(); }
  auto end() const noexcept { return members_.end(); }
  void reserve(std::size_t n) { members_.reserve(n); }

  friend bool operator==(const Object& a, const Object& b);

 private:
  struct Index;
  std::size_t find_index(std::string_view name) const;
  void build_index() const;

  MemberList members_;
  mutable std::unique_ptr<Index> index_;
};

}  // namespace lantor::json
