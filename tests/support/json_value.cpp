#include "tests/support/json_value.h"

#include <new>
#include <unordered_map>

namespace lantor::json {
namespace {

template <class T, class... Args>
T* make(Args&&... args) {
  return new T(std::forward<Args>(args)...);
}

template <class T>
void destroy(T* p) noexcept {
  delete p;
}

}  // namespace

Value Value::boolean(bool b) noexcept {
  Value v;
  v.kind_ = Kind::Bool;
  v.b_ = b;
  return v;
}

Value Value::uint(std::uint64_t u) noexcept {
  Value v;
  v.kind_ = Kind::UInt;
  v.u_ = u;
  return v;
}

Value Value::negint(std::int64_t i) noexcept {
  Value v;
  v.kind_ = Kind::NegInt;
  v.i_ = i;
  return v;
}

Value Value::floating(double d) noexcept {
  Value v;
  v.kind_ = Kind::Float;
  v.d_ = d;
  return v;
}

Value Value::string(std::string s) {
  Value v;
  v.s_ = make<std::string>(std::move(s));
  v.kind_ = Kind::String;
  return v;
}

Value Value::array(Array a) {
  Value v;
  v.a_ = make<Array>(std::move(a));
  v.kind_ = Kind::Array;
  return v;
}

Value Value::object(Object o) {
  Value v;
  v.o_ = make<Object>(std::move(o));
  v.kind_ = Kind::Object;
  return v;
}

Value::Value(const Value& other) : kind_(other.kind_), u_(other.u_) {
  switch (kind_) {
    case Kind::String: s_ = make<std::string>(*other.s_); break;
    case Kind::Array: a_ = make<Array>(*other.a_); break;
    case Kind::Object: o_ = make<Object>(*other.o_); break;
    default: break;
  }
}

Value& Value::operator=(const Value& other) {
  if (this != &other) *this = Value(other);
  return *this;
}

Value& Value::operator=(Value&& other) noexcept {
  if (this != &other) {
    release();
    kind_ = other.kind_;
    u_ = other.u_;
    other.kind_ = Kind::Null;
    other.u_ = 0;
  }
  return *this;
}

void Value::release_heap() noexcept {
  switch (kind_) {
    case Kind::String: destroy(s_); break;
    case Kind::Array: destroy(a_); break;
    case Kind::Object: destroy(o_); break;
    default: break;
  }
  kind_ = Kind::Null;
  u_ = 0;
}

double Value::to_double() const noexcept {
  switch (kind_) {
    case Kind::UInt: return static_cast<double>(u_);
    case Kind::NegInt: return static_cast<double>(i_);
    case Kind::Float: return d_;
    default: return 0.0;
  }
}

bool operator==(const Value& a, const Value& b) {
  if (a.kind_ != b.kind_) return false;
  switch (a.kind_) {
    case Kind::Null: return true;
    case Kind::Bool: return a.b_ == b.b_;
    case Kind::UInt: return a.u_ == b.u_;
    case Kind::NegInt: return a.i_ == b.i_;
    case Kind::Float: return a.u_ == b.u_;  // bitwise: keeps -0.0 apart from 0.0
    case Kind::String: return *a.s_ == *b.s_;
    case Kind::Array: return *a.a_ == *b.a_;
    case Kind::Object: return *a.o_ == *b.o_;
  }
  return false;
}

// Past this many members a lookup by scanning costs more than keeping an index.
static constexpr std::size_t kIndexThreshold = 16;

struct Object::Index {
  std::unordered_map<std::string_view, std::size_t> by_name;
};

Object::Object(const Object& other) : members_(other.members_) {}

Object& Object::operator=(const Object& other) {
  if (this != &other) {
    members_ = other.members_;
    index_.reset();
  }
  return *this;
}

Object::Object() = default;
Object::Object(Object&&) noexcept = default;
Object& Object::operator=(Object&&) noexcept = default;
Object::~Object() = default;

void Object::build_index() const {
  index_ = std::make_unique<Index>();
  index_->by_name.reserve(members_.size() * 2);
  for (std::size_t i = 0; i < members_.size(); ++i) index_->by_name.emplace(members_[i].name, i);
}

std::size_t Object::find_index(std::string_view name) const {
  if (members_.size() < kIndexThreshold) {
    for (std::size_t i = 0; i < members_.size(); ++i)
      if (members_[i].name == name) return i;
    return members_.size();
  }
  if (!index_) build_index();
  auto it = index_->by_name.find(name);
  return it == index_->by_name.end() ? members_.size() : it->second;
}

void Object::set(std::string name, Value value) {
  std::size_t i = find_index(name);
  if (i < members_.size()) {
    members_[i].value = std::move(value);
    return;
  }
  push_unique(std::move(name), std::move(value));
}

void Object::push_unique(std::string name, Value value) {
  // The index holds views of the names: a reallocation of `members_` moves the
  // strings (short ones live inside the Member), so the index is dropped then
  // and rebuilt on the next lookup. Growth is geometric, so this stays linear.
  if (members_.size() == members_.capacity()) index_.reset();
  members_.push_back(Member{std::move(name), std::move(value)});
  if (index_) index_->by_name.emplace(members_.back().name, members_.size() - 1);
}

void Object::assign_unique(MemberList&& members) {
  index_.reset();
  members_ = std::move(members);
}

const Value* Object::find(std::string_view name) const {
  std::size_t i = find_index(name);
  return i < members_.size() ? &members_[i].value : nullptr;
}

Value* Object::find(std::string_view name) {
  std::size_t i = find_index(name);
  return i < members_.size() ? &members_[i].value : nullptr;
}

bool operator==(const Object& a, const Object& b) {
  if (a.members_.size() != b.members_.size()) return false;
  for (std::size_t i = 0; i < a.members_.size(); ++i) {
    if (a.members_[i].name != b.members_[i].name || !(a.members_[i].value == b.members_[i].value))
      return false;
  }
  return true;
}

}  // namespace lantor::json
