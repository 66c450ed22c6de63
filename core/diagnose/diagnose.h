// Failures and warnings that know their place. A compile answers a failure
// with a message alone; these functions say where it lies (a JSON Pointer
// and a byte offset into the text) and, for the strategy checker, add
// warnings about documents that compile but likely do not mean what they
// say. They read the text again and never change what a compile answers.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lantor::diagnose {

enum class Severity { Error, Warning };

struct Finding {
  Severity severity = Severity::Error;
  std::string code;        // short kebab-case name: "missing-field", "unused-indicator"
  std::string message;     // without any prefix or position
  std::string pointer;     // JSON Pointer of the value at fault
  std::size_t offset = 0;  // byte offset of its first byte in the text
  std::optional<std::string> help;
};

// Validates a strategy document's own text as a compile would: at most one
// error (the first, with the message a compile gives after its prefix, or the
// reader's message for text that is not JSON) and any number of warnings,
// ordered by offset.
std::vector<Finding> check_strategy(std::string_view text);

// Where a compile command fails before anything is built (the request's
// shape, the strategy, the crate name, the target), pointer and offset in
// the command text; none for a command that gets that far or is no compile
// command at all.
std::optional<Finding> locate_compile_failure(std::string_view command);

}  // namespace lantor::diagnose
