// Numbers: the one scan of number.h, with its syntax errors placed in the
// text.
#include "core/json/reader.h"

namespace lantor::json {

ReadStatus Reader::scan_number(NumberSpelling& spelling) {
  const char* const base = text_.data();
  const NumberScan scan = scan_number_text(base + pos_, base + text_.size(), spelling);
  pos_ = static_cast<std::size_t>(scan.at - base);
  switch (scan.syntax) {
    case NumberSyntax::Ok: return Ok{};
    case NumberSyntax::EofValue: return fail(syntax_error(msg::kEofValue));
    case NumberSyntax::InvalidNumber: break;
  }
  return fail(syntax_error(msg::kInvalidNumber));
}

}  // namespace lantor::json
