// The codes of the findings, each with its name and severity: the one list
// of them, which the checker module hands to the package (describe) for the
// command-line tool and the reference of the codes. An error's code follows
// from the kind its reading reported (code_of), or from the check that
// refused the request; a warning's from the lint that found it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "core/base/error_kind.h"

namespace lantor::diagnose {

enum class Severity { Error, Warning };

enum class Code : std::uint8_t {
  Syntax,
  NumberOutOfRange,
  TooDeep,
  MissingField,
  DuplicateField,
  UnknownVariant,
  InvalidType,
  InvalidValue,
  InvalidLength,
  NoOperandForm,
  InvalidCrateName,
  McuNotAllowed,
  UnknownMember,
  UndeclaredIndicator,
  UnusedIndicator,
  DuplicateMember,
  TooManyWarnings,
};

struct CodeInfo {
  Code code;
  std::string_view name;  // short kebab-case: "missing-field", "unused-indicator"
  Severity severity;
};

// Every code, in the order of Code.
inline constexpr CodeInfo kCodes[] = {
    {Code::Syntax, "syntax", Severity::Error},
    {Code::NumberOutOfRange, "number-out-of-range", Severity::Error},
    {Code::TooDeep, "too-deep", Severity::Error},
    {Code::MissingField, "missing-field", Severity::Error},
    {Code::DuplicateField, "duplicate-field", Severity::Error},
    {Code::UnknownVariant, "unknown-variant", Severity::Error},
    {Code::InvalidType, "invalid-type", Severity::Error},
    {Code::InvalidValue, "invalid-value", Severity::Error},
    {Code::InvalidLength, "invalid-length", Severity::Error},
    {Code::NoOperandForm, "no-operand-form", Severity::Error},
    {Code::InvalidCrateName, "invalid-crate-name", Severity::Error},
    {Code::McuNotAllowed, "mcu-not-allowed", Severity::Error},
    {Code::UnknownMember, "unknown-member", Severity::Warning},
    {Code::UndeclaredIndicator, "undeclared-indicator", Severity::Warning},
    {Code::UnusedIndicator, "unused-indicator", Severity::Warning},
    {Code::DuplicateMember, "duplicate-member", Severity::Warning},
    {Code::TooManyWarnings, "too-many-warnings", Severity::Warning},
};

constexpr bool in_code_order() {
  for (std::size_t i = 0; i < std::size(kCodes); ++i)
    if (static_cast<std::size_t>(kCodes[i].code) != i) return false;
  return true;
}
static_assert(in_code_order(), "kCodes lists every code at its enumerator's position");

constexpr const CodeInfo& code_info(Code code) { return kCodes[static_cast<std::size_t>(code)]; }

// The code of a failed reading: its kind, where a string that holds no
// Unicode text is a syntax error like any other the reader reports.
constexpr Code code_of(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::Syntax:
    case ErrorKind::BadUnicode: return Code::Syntax;
    case ErrorKind::NumberOutOfRange: return Code::NumberOutOfRange;
    case ErrorKind::TooDeep: return Code::TooDeep;
    case ErrorKind::MissingField: return Code::MissingField;
    case ErrorKind::DuplicateField: return Code::DuplicateField;
    case ErrorKind::UnknownVariant: return Code::UnknownVariant;
    case ErrorKind::InvalidType: return Code::InvalidType;
    case ErrorKind::InvalidValue: return Code::InvalidValue;
    case ErrorKind::InvalidLength: return Code::InvalidLength;
    case ErrorKind::NoOperandForm: return Code::NoOperandForm;
  }
  return Code::Syntax;
}

}  // namespace lantor::diagnose
