// A compact JSON writer for responses: members are written in the order the
// caller gives them, with commas placed automatically.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/json/canonical.h"

namespace lantor::json {

class Writer {
 public:
  Writer() = default;
  // With room for `capacity` bytes of text, which spares growing it step by
  // step when the caller knows about how long its text gets.
  explicit Writer(std::size_t capacity) { out_.reserve(capacity); }

  Writer& begin_object() { return open('{'); }
  Writer& end_object() { return close('}'); }
  Writer& begin_array() { return open('['); }
  Writer& end_array() { return close(']'); }

  // The name of the next member; its value follows with one of the calls below.
  Writer& key(std::string_view name) {
    comma();
    append_json_string(out_, name);
    out_ += ':';
    after_key_ = true;
    return *this;
  }
  Writer& string(std::string_view s) {
    comma();
    append_json_string(out_, s);
    return *this;
  }
  Writer& uint(std::uint64_t u) {
    comma();
    append_uint(out_, u);
    return *this;
  }
  Writer& boolean(bool b) {
    comma();
    out_ += b ? "true" : "false";
    return *this;
  }
  // A value already written as JSON text.
  Writer& raw(std::string_view json) {
    comma();
    out_ += json;
    return *this;
  }

  std::string take() { return std::move(out_); }
  const std::string& text() const { return out_; }

 private:
  void comma() {
    if (after_key_) {
      after_key_ = false;
      return;
    }
    if (depth_ != 0) {
      if (!first()) out_ += ',';
      set_first(false);
    }
  }
  Writer& open(char c) {
    comma();
    out_ += c;
    ++depth_;
    set_first(true);
    return *this;
  }
  Writer& close(char c) {
    out_ += c;
    --depth_;
    return *this;
  }

  // Per open container, whether nothing has been written in it yet: the
  // levels of a response fit in one word; deeper ones spill to `deeper_`.
  static constexpr std::size_t kInWord = 64;
  bool first() const {
    const std::size_t level = depth_ - 1;
    return level < kInWord ? ((first_bits_ >> level) & 1) != 0 : deeper_[level - kInWord];
  }
  void set_first(bool value) {
    const std::size_t level = depth_ - 1;
    if (level < kInWord) {
      const std::uint64_t bit = std::uint64_t{1} << level;
      first_bits_ = value ? (first_bits_ | bit) : (first_bits_ & ~bit);
      return;
    }
    if (deeper_.size() <= level - kInWord) deeper_.resize(level - kInWord + 1);
    deeper_[level - kInWord] = value;
  }

  std::string out_;
  std::uint64_t first_bits_ = 0;
  std::vector<bool> deeper_;
  std::size_t depth_ = 0;
  bool after_key_ = false;
};

}  // namespace lantor::json
