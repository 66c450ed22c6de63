// Numbers: the one scan of number.h, with its syntax errors placed in the
// text.
#include "core/json/reader.h"

namespace lantor::json {

ReadError Reader::number_error(NumberSyntax syntax) const {
  return syntax_error(syntax == NumberSyntax::EofValue ? msg::kEofValue : msg::kInvalidNumber);
}

}  // namespace lantor::json
