// The error value of the compile pipeline: a kind, shown as a prefix, and a
// message; for a strategy the readers refuse, also what is wrong with it and
// where, for whatever places the failure in the document.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "core/base/error_kind.h"
#include "core/json/tape.h"
#include "core/schema/describe.h"

namespace lantor {

struct CompileError {
  enum class Kind {
    BadStrategy,   // the strategy document: `message` is its reader's
    BadCrateName,  // the crate name, given or derived from the symbol
    BadSpec,       // anything else wrong with the spec
    BadTarget,     // a target outside the allow-list
    Build,
    Io,
  };

  Kind kind;
  std::string message;
  // For BadStrategy: the reader's kind of failure, the value of the
  // strategy's tape it arose at, and what it wanted there (schema::Error).
  ErrorKind cause = ErrorKind::Syntax;
  const json::TapeSlot* at = nullptr;
  std::string_view wanted = {};
  std::span<const schema::Variant> variants = {};

  static std::string_view prefix(Kind kind) {
    switch (kind) {
      case Kind::BadStrategy: return "bad spec: strategy is not a valid StrategySpec: ";
      case Kind::BadCrateName:
      case Kind::BadSpec: return "bad spec: ";
      case Kind::BadTarget: return "bad target: ";
      case Kind::Build: return "build: ";
      case Kind::Io: return "io: ";
    }
    return "";
  }

  // The text as it reaches the response: prefix, then message.
  std::string text() const {
    std::string out(prefix(kind));
    out += message;
    return out;
  }
};

}  // namespace lantor
