// The reader's structure: literals, separators, the end of the text, and
// where an error is placed.
#include "core/json/reader.h"

#include "core/base/text_position.h"

namespace lantor::json {

std::string positioned(std::string_view text, const ReadError& error) {
  const LineColumn at = line_column(text, error.offset);
  std::string out = error.message;
  out += " at line ";
  out += std::to_string(at.line);
  out += " column ";
  out += std::to_string(at.byte_column - 1);
  return out;
}

ReadStatus Reader::read_ident(std::string_view rest) {
  for (char expected : rest) {
    if (pos_ >= text_.size()) return fail(syntax_error(msg::kEofValue));
    char got = text_[pos_++];
    if (got != expected) return fail(syntax_error(msg::kExpectedIdent));
  }
  return Ok{};
}

ReadResult<bool> Reader::next_key(bool& first, std::string& name) {
  ReadResult<bool> at_name = key_start(first);
  if (at_name.ok() && *at_name) LANTOR_TRY(read_string(name));
  return at_name;
}

ReadResult<bool> Reader::next_key_view(bool& first, std::string& scratch, std::string_view& name) {
  ReadResult<bool> at_name = key_start(first);
  if (at_name.ok() && *at_name) {
    LANTOR_ASSIGN_OR_RETURN(name, read_string_view(scratch));
  }
  return at_name;
}

ReadError Reader::key_start_error(int c, bool first) const {
  if (c < 0) return syntax_peek_error(msg::kEofObject);
  if (!first) return syntax_peek_error(msg::kExpectedObjectCommaOrEnd);
  return syntax_peek_error(msg::kKeyMustBeString);
}

ReadError Reader::key_after_comma_error(int c) const {
  if (c == '}') return syntax_peek_error(msg::kTrailingComma);
  if (c < 0) return syntax_peek_error(msg::kEofValue);
  return syntax_peek_error(msg::kKeyMustBeString);
}

ReadStatus Reader::colon_after_space() {
  int c = peek_ws();
  if (c == ':') {
    bump();
    return Ok{};
  }
  if (c < 0) return fail(syntax_peek_error(msg::kEofObject));
  return fail(syntax_peek_error(msg::kExpectedColon));
}

ReadError Reader::next_element_error(int c) const {
  if (c < 0) return syntax_peek_error(msg::kEofList);
  return syntax_peek_error(msg::kExpectedListCommaOrEnd);
}

ReadError Reader::element_after_comma_error(int c) const {
  if (c == ']') return syntax_peek_error(msg::kTrailingComma);
  return syntax_peek_error(msg::kEofValue);
}

ReadError Reader::end_object_error() const {
  int c = peek();
  if (c == ',') return peek_error(ErrorKind::Syntax, msg::kTrailingComma);
  if (c < 0) return syntax_peek_error(msg::kEofObject);
  return peek_error(ErrorKind::Syntax, msg::kTrailingCharacters);
}

ReadError Reader::end_array_error() {
  int c = peek();
  if (c == ',') {
    // A comma after the last wanted element: a closing bracket right after
    // it is a trailing comma, anything else an element too many.
    bump();
    if (peek_ws() == ']') return syntax_peek_error(msg::kTrailingComma);
    return peek_error(ErrorKind::Syntax, msg::kTrailingCharacters);
  }
  if (c < 0) return syntax_peek_error(msg::kEofList);
  return peek_error(ErrorKind::Syntax, msg::kTrailingCharacters);
}

ReadStatus Reader::finish() {
  if (peek_ws() >= 0) return fail(syntax_peek_error(msg::kTrailingCharacters));
  return Ok{};
}

}  // namespace lantor::json
