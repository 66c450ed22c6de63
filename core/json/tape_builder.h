// Appending values to a tape: what the tape's readers and its conversion
// from a Value share.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/json/tape.h"
#include "core/json/value.h"

namespace lantor::json {

// Appends values to a tape, in document order.
class TapeBuilder {
 public:
  explicit TapeBuilder(Tape& tape) : tape_(tape) {
    tape_.slots_.clear();
    tape_.bytes_.clear();
    tape_.canonical_.clear();
    tape_.has_canonical_ = false;
  }
  // Room for a value read from `bytes` of text: a slot takes at least two
  // bytes of it, and a string's bytes are no more than its text. Bounded,
  // since the value may be far shorter than the rest of a command.
  void reserve_for(std::size_t bytes) {
    bytes = std::min<std::size_t>(bytes, 16 * 1024);
    tape_.slots_.reserve(bytes / 2 + 1);
    tape_.bytes_.reserve(bytes);
  }

  // Slots are made in place in the list, word by word: a slot put together
  // elsewhere and copied in would be read back whole before its parts were
  // all stored.
  void scalar(const Value& v) {
    std::uint64_t bits = 0;
    switch (v.kind()) {
      case Kind::Bool: bits = v.as_bool() ? 1 : 0; break;
      case Kind::UInt: bits = v.as_uint(); break;
      case Kind::NegInt: bits = static_cast<std::uint64_t>(v.as_negint()); break;
      case Kind::Float: bits = std::bit_cast<std::uint64_t>(v.as_float()); break;
      default: break;
    }
    tape_.slots_.emplace_back(TapeSlot::make_head(v.kind(), 0, 0), bits);
  }
  // `plain` when `s` is known to hold no byte that JSON text must escape.
  void string(std::string_view s, bool plain = false) {
    tape_.slots_.emplace_back(
        TapeSlot::make_head(Kind::String, plain ? TapeSlot::kPlain : 0, s.size()),
        tape_.bytes_.size());
    tape_.bytes_.append(s);
  }
  // A string whose bytes the tape will hold from `offset` on: the caller
  // puts them there.
  void string_at(std::size_t offset, std::size_t size, bool plain) {
    tape_.slots_.emplace_back(TapeSlot::make_head(Kind::String, plain ? TapeSlot::kPlain : 0, size),
                              offset);
  }
  // The tape's bytes, all at once.
  void set_bytes(std::string_view bytes) { tape_.bytes_.assign(bytes); }
  // A container's slot, completed by close() once its contents are in.
  std::size_t open(Kind kind) {
    tape_.slots_.emplace_back(TapeSlot::make_head(kind, 0, 0), 0);
    return tape_.slots_.size() - 1;
  }
  void close(std::size_t at, std::size_t count) {
    TapeSlot& slot = tape_.slots_[at];
    slot.head = TapeSlot::make_head(slot.kind(), 0, count);
    slot.u = tape_.slots_.size() - at;
  }

  std::string_view name_at(std::size_t slot) const {
    const TapeSlot& s = tape_.slots_[slot];
    return {tape_.bytes_.data() + s.u, static_cast<std::size_t>(s.count())};
  }
  std::size_t size() const { return tape_.slots_.size(); }

  void value(const Value& v) {
    switch (v.kind()) {
      case Kind::String: string(v.as_string()); return;
      case Kind::Array: {
        std::size_t at = open(Kind::Array);
        for (const Value& e : v.as_array()) value(e);
        close(at, v.as_array().size());
        return;
      }
      case Kind::Object: {
        std::size_t at = open(Kind::Object);
        for (const Member& m : v.as_object()) {
          string(m.name);
          value(m.value);
        }
        close(at, v.as_object().size());
        return;
      }
      default: scalar(v); return;
    }
  }

 private:
  Tape& tape_;
};

}  // namespace lantor::json
