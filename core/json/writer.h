// A compact JSON writer for responses: members are written in the order the
// caller gives them, with commas placed automatically.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/json/canonical.h"

namespace lantor::json {

class Writer {
 public:
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
    if (!first_.empty()) {
      if (!first_.back()) out_ += ',';
      first_.back() = false;
    }
  }
  Writer& open(char c) {
    comma();
    out_ += c;
    first_.push_back(true);
    return *this;
  }
  Writer& close(char c) {
    out_ += c;
    first_.pop_back();
    return *this;
  }

  std::string out_;
  std::vector<bool> first_;
  bool after_key_ = false;
};

}  // namespace lantor::json
