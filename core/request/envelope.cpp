// The command envelope. Only "cmd" is looked at; every other member is
// skipped with its syntax checked, so the envelope accepts any body and any
// depth of nesting in it.
#include "core/request/envelope.h"

#include "core/json/reader.h"

namespace lantor {

std::optional<std::string> read_envelope(std::string_view text) {
  json::Reader r(text);
  std::optional<std::string> cmd;
  int c = r.peek_ws();
  if (c == '[') {
    // The array form: exactly one element, the name.
    r.bump();
    if (r.peek_ws() != '"') return std::nullopt;
    std::string name;
    if (!r.read_string(name)) return std::nullopt;
    if (r.peek_ws() != ']') return std::nullopt;
    r.bump();
    cmd = std::move(name);
  } else if (c == '{') {
    r.bump();
    bool first = true;
    std::string name;
    for (;;) {
      json::ReadResult<bool> more = r.next_key(first, name);
      if (!more.ok()) return std::nullopt;
      if (!*more) break;
      if (!r.colon()) return std::nullopt;
      if (name == "cmd") {
        if (cmd || r.peek_ws() != '"') return std::nullopt;
        std::string value;
        if (!r.read_string(value)) return std::nullopt;
        cmd = std::move(value);
      } else if (!r.skip_value()) {
        return std::nullopt;
      }
    }
    r.bump();  // the closing brace next_key stopped at
  } else {
    return std::nullopt;
  }
  if (!cmd || !r.finish()) return std::nullopt;
  return cmd;
}

}  // namespace lantor
