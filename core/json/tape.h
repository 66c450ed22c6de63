// A read-only JSON value stored flat: one array of 16-byte slots in document
// order (a container's slot is followed by its contents, each member as its
// name's slot and then its value's slots), one buffer of string bytes, and
// the value's canonical text, written while it was read. Reading a strategy
// into a tape costs a few growing buffers instead of a node per value,
// walking it reads memory in order, and dropping it frees a few blocks.
// Nodes are views into a tape, valid while it lives unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/json/kind.h"
#include "core/json/reader.h"

namespace lantor::json {

// One slot: the kind, flags and a count in the first word (string bytes,
// array elements, object members), the payload in the second (the scalar
// itself, a string's offset in the tape's bytes, or a container's number of
// slots counting its own).
struct TapeSlot {
  static constexpr std::uint64_t make_head(Kind kind, std::uint64_t count) {
    return static_cast<std::uint64_t>(kind) | (count << 16);
  }

  // The payload as raw bits: a bool in the low byte, a double's bits, or a
  // count or offset.
  constexpr TapeSlot(std::uint64_t head_word, std::uint64_t payload) : head(head_word), u(payload) {}

  std::uint64_t head;
  union {
    bool b;
    std::uint64_t u;
    std::int64_t i;
    double d;
  };

  Kind kind() const noexcept { return static_cast<Kind>(head & 0xFF); }
  std::uint64_t count() const noexcept { return head >> 16; }
  // The slots this value takes: its own and those of its contents.
  std::uint64_t span() const noexcept { return kind() == Kind::Array || kind() == Kind::Object ? u : 1; }
};
static_assert(sizeof(TapeSlot) == 16);

struct MemberRef;
class Elements;
class Members;

// A value in a tape, with accessors for each kind; those of one kind require
// that kind.
class Node {
 public:
  // Holds no value until assigned one.
  Node() noexcept = default;
  Node(const TapeSlot* slot, const char* bytes) noexcept : slot_(slot), bytes_(bytes) {}

  Kind kind() const noexcept { return slot_->kind(); }
  bool is_null() const noexcept { return kind() == Kind::Null; }
  bool is_bool() const noexcept { return kind() == Kind::Bool; }
  bool is_number() const noexcept {
    return kind() == Kind::UInt || kind() == Kind::NegInt || kind() == Kind::Float;
  }
  bool is_string() const noexcept { return kind() == Kind::String; }
  bool is_array() const noexcept { return kind() == Kind::Array; }
  bool is_object() const noexcept { return kind() == Kind::Object; }

  bool as_bool() const noexcept { return slot_->b; }
  std::uint64_t as_uint() const noexcept { return slot_->u; }
  std::int64_t as_negint() const noexcept { return slot_->i; }
  double as_float() const noexcept { return slot_->d; }
  // Any number as the nearest binary64.
  double to_double() const noexcept;
  std::string_view as_string() const noexcept {
    return {bytes_ + slot_->u, static_cast<std::size_t>(slot_->count())};
  }
  // Elements of an array, members of an object.
  std::size_t size() const noexcept { return static_cast<std::size_t>(slot_->count()); }
  Elements elements() const noexcept;
  Members members() const noexcept;
  // The value of the member named `name` of an object.
  std::optional<Node> find(std::string_view name) const noexcept;

  // The node after this one and its contents.
  Node next() const noexcept { return {slot_ + slot_->span(), bytes_}; }
  const TapeSlot* slot() const noexcept { return slot_; }
  const char* bytes() const noexcept { return bytes_; }

 private:
  const TapeSlot* slot_ = nullptr;
  const char* bytes_ = nullptr;
};

struct MemberRef {
  std::string_view name;
  Node value;
};

// The elements of an array, or its last ones: `count` values, one after the
// other from `first`, up to the array's end.
class Elements {
 public:
  class iterator {
   public:
    explicit iterator(Node at) noexcept : at_(at) {}
    Node operator*() const noexcept { return at_; }
    iterator& operator++() noexcept {
      at_ = at_.next();
      return *this;
    }
    bool operator==(const iterator& o) const noexcept { return at_.slot() == o.at_.slot(); }

   private:
    Node at_;
  };

  // No elements.
  Elements() noexcept = default;
  Elements(Node first, std::size_t count, const TapeSlot* end) noexcept
      : first_(first), count_(count), end_(end) {}
  std::size_t size() const noexcept { return count_; }
  bool empty() const noexcept { return count_ == 0; }
  Node front() const noexcept { return first_; }
  // All but the first; requires one.
  Elements rest() const noexcept { return {first_.next(), count_ - 1, end_}; }
  iterator begin() const noexcept { return iterator(first_); }
  iterator end() const noexcept { return iterator(Node(end_, first_.bytes())); }

 private:
  Node first_;
  std::size_t count_ = 0;
  const TapeSlot* end_ = nullptr;
};

// The members of an object, in order; a member is its name's slot followed
// by its value.
class Members {
 public:
  class iterator {
   public:
    explicit iterator(Node name) noexcept : name_(name) {}
    MemberRef operator*() const noexcept {
      return {name_.as_string(), Node(name_.slot() + 1, name_.bytes())};
    }
    iterator& operator++() noexcept {
      name_ = Node(name_.slot() + 1, name_.bytes()).next();
      return *this;
    }
    bool operator==(const iterator& o) const noexcept { return name_.slot() == o.name_.slot(); }

   private:
    Node name_;
  };

  Members(Node object) noexcept : object_(object) {}
  std::size_t size() const noexcept { return object_.size(); }
  bool empty() const noexcept { return object_.size() == 0; }
  MemberRef front() const noexcept { return *begin(); }
  iterator begin() const noexcept { return iterator(Node(object_.slot() + 1, object_.bytes())); }
  iterator end() const noexcept { return iterator(object_.next()); }

 private:
  Node object_;
};

class Tape {
 public:
  // Holds null.
  Tape() : canonical_("null") {}
  Node root() const noexcept {
    return slots_.empty() ? Node(&kNull, nullptr) : Node(slots_.data(), bytes_.data());
  }
  // The canonical text of the value, written while it was read. Empty for a
  // tape whose root a caller assembled (TapeReader::begin).
  const std::string& canonical_text() const noexcept { return canonical_; }

 private:
  friend class TapeReader;
  static const TapeSlot kNull;
  std::vector<TapeSlot> slots_;
  std::string bytes_;
  std::string canonical_;
};

inline Elements Node::elements() const noexcept {
  return {Node(slot_ + 1, bytes_), size(), slot_ + slot_->span()};
}
inline Members Node::members() const noexcept { return {*this}; }

}  // namespace lantor::json
