// What went wrong in a reading, set where the failure arises and carried
// beside its message and its place, so that whatever reports a failure in
// other words than its message (the checker's codes, its placing of a
// failure in the text) reads the kind and never the message.
#pragma once

#include <cstdint>

namespace lantor {

enum class ErrorKind : std::uint8_t {
  // A token the reader cannot take where it stands: the JSON grammar broken,
  // or valid JSON going on where the value wanted had ended.
  Syntax,
  // A string that holds no Unicode text at the reader's position: invalid
  // UTF-8, an escaped lone surrogate, a surrogate pair cut short.
  BadUnicode,
  // A number beyond the range of a binary64 float.
  NumberOutOfRange,
  // Arrays and objects nested deeper than json::kMaxDepth.
  TooDeep,
  // The typed readers': a required member absent, one given twice, a name
  // that is none of a choice's variants, a value of the wrong JSON type or
  // out of its type's range, an array of the wrong length.
  MissingField,
  DuplicateField,
  UnknownVariant,
  InvalidType,
  InvalidValue,
  InvalidLength,
  // An operand that is neither a name, a number nor an expression.
  NoOperandForm,
};

}  // namespace lantor
