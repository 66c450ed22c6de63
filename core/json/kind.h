// The kinds of JSON value.
#pragma once

#include <cstdint>

namespace lantor::json {

enum class Kind : std::uint8_t {
  Null,
  Bool,
  UInt,    // unsigned 64-bit integer
  NegInt,  // negative signed 64-bit integer (always < 0)
  Float,   // binary64
  String,
  Array,
  Object,
};

}  // namespace lantor::json
