#include "core/json/parse.h"

#include "core/json/reader.h"

namespace lantor::json {

Result<Value> parse_json(std::string_view text) {
  Reader r(text);
  ReadResult<Value> value = r.read_value(0);
  if (!value) return fail(positioned(text, value.error()));
  if (ReadStatus end = r.finish(); !end) return fail(positioned(text, end.error()));
  return std::move(value).value();
}

}  // namespace lantor::json
