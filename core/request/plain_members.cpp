// Strings and booleans, with null as absent where a member allows it.
#include "core/json/describe.h"
#include "core/request/member_readers.h"

namespace lantor::request {

using json::ReadStatus;

ReadStatus read_string_member(json::Reader& r, std::string& out) {
  int c = r.peek_ws();
  if (c == '"') return r.read_string(out);
  if (c < 0) return fail(r.peek_error(json::msg::kEofValue));
  return fail(json::unexpected(r, "a string"));
}

ReadStatus read_optional_string(json::Reader& r, std::optional<std::string>& out) {
  if (r.peek_ws() == 'n') {
    r.bump();
    LANTOR_TRY(r.read_ident("ull"));
    out.reset();
    return Ok{};
  }
  std::string s;
  LANTOR_TRY(read_string_member(r, s));
  out = std::move(s);
  return Ok{};
}

ReadStatus read_bool_member(json::Reader& r, bool& out) {
  int c = r.peek_ws();
  if (c == 't' || c == 'f') {
    LANTOR_TRY(r.read_literal(c == 't' ? "true" : "false"));
    out = c == 't';
    return Ok{};
  }
  if (c < 0) return fail(r.peek_error(json::msg::kEofValue));
  return fail(json::unexpected(r, "a boolean"));
}

}  // namespace lantor::request
