// Appending values to a tape: what the tape's readers and its conversion
// from a Value share.
#pragma once

#include <algorithm>
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

  void scalar(const Value& v) {
    TapeSlot slot{TapeSlot::make_head(v.kind(), 0, 0), {}};
    switch (v.kind()) {
      case Kind::Bool: slot.b = v.as_bool(); break;
      case Kind::UInt: slot.u = v.as_uint(); break;
      case Kind::NegInt: slot.i = v.as_negint(); break;
      case Kind::Float: slot.d = v.as_float(); break;
      default: slot.u = 0; break;
    }
    tape_.slots_.push_back(slot);
  }
  // `plain` when `s` is known to hold no byte that JSON text must escape.
  void string(std::string_view s, bool plain = false) {
    TapeSlot slot{TapeSlot::make_head(Kind::String, plain ? TapeSlot::kPlain : 0, s.size()), {}};
    slot.u = tape_.bytes_.size();
    tape_.bytes_.append(s);
    tape_.slots_.push_back(slot);
  }
  // A string whose bytes the tape will hold from `offset` on: the caller
  // puts them there.
  void string_at(std::size_t offset, std::size_t size, bool plain) {
    TapeSlot slot{TapeSlot::make_head(Kind::String, plain ? TapeSlot::kPlain : 0, size), {}};
    slot.u = offset;
    tape_.slots_.push_back(slot);
  }
  // The tape's bytes, all at once.
  void set_bytes(std::string_view bytes) { tape_.bytes_.assign(bytes); }
  // A container's slot, completed by close() once its contents are in.
  std::size_t open(Kind kind) {
    tape_.slots_.push_back(TapeSlot{TapeSlot::make_head(kind, 0, 0), {}});
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
