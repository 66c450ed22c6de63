// The error value of the compile pipeline: a kind, shown as a prefix, and a message.
#pragma once

#include <string>
#include <string_view>

namespace lantor {

struct CompileError {
  enum class Kind { BadSpec, BadTarget, Build, Io };

  Kind kind;
  std::string message;

  static std::string_view prefix(Kind kind) {
    switch (kind) {
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
