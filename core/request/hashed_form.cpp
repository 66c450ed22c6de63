#include "core/request/hashed_form.h"

#include "core/json/canonical.h"

namespace lantor {

std::string inline_hashed_form_head(const std::optional<std::string>& crate_name) {
  // Members in byte order of their names, as the canonical text sorts them.
  std::string head = "{";
  if (crate_name) {
    head += R"("crate_name":)";
    json::append_json_string(head, *crate_name);
    head += ',';
  }
  head += R"("embed_data":{"candles":)";
  return head;
}

}  // namespace lantor
