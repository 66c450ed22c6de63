// Failures and warnings that know their place. A compile answers a failure
// with a message alone; these functions say where it lies (a JSON Pointer
// and a byte offset into the text, with its line and columns) and, for the
// strategy checker, add warnings about documents that compile but likely do
// not mean what they say. They read the text again and never change what a
// compile answers.
//
// Their cost is proportional to the text (with a logarithmic factor for
// sorting): the text is walked a fixed number of times whatever it holds,
// the "did you mean" suggestions share a budget of work for the document,
// and the findings' texts together have one too (past it, the remaining
// warnings are summed up in one).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/text_position.h"
#include "core/diagnose/codes.h"

namespace lantor::diagnose {

struct Finding {
  Severity severity = Severity::Error;  // the code's
  Code code = Code::Syntax;
  std::string message;     // without any prefix or position
  std::string pointer;     // JSON Pointer of the value at fault
  std::size_t offset = 0;  // byte offset of the first byte of the character at fault
  std::optional<std::string> help;
  // What to put in place of the token at fault when a name near it is
  // meant (a misspelt member, an operand one edit from a declared
  // indicator): that name, written as the JSON string it replaces.
  std::optional<std::string> suggestion;
  // The bytes of the token at the offset: a scalar or a member's name whole,
  // a container's opening bracket, one character of a syntax error (none at
  // the end of the text).
  std::size_t length = 0;
  LineColumn position;  // of the offset
};

// What a check cost, counted rather than timed, for tests that bound it by
// the size of the text.
struct Work {
  std::uint64_t steps = 0;        // values walked in the text and slots in the tape
  std::uint64_t comparisons = 0;  // candidates and edit-distance cells of the suggestions
  std::uint64_t written = 0;      // bytes of the findings' messages, pointers, helps and suggestions
};

// Validates a strategy document's own text as a compile without `crate_name`
// would: at most one error (the first, with the message a compile gives
// after its prefix, or the reader's message for text that is not JSON) and
// any number of warnings, ordered by offset.
std::vector<Finding> check_strategy(std::string_view text, Work* work = nullptr);

// Where a compile command fails before anything is built (the request's
// shape, the strategy, the crate name, the target), pointer and offset in
// the command text; none for a command that gets that far or is no compile
// command at all.
std::optional<Finding> locate_compile_failure(std::string_view command, Work* work = nullptr);

}  // namespace lantor::diagnose
