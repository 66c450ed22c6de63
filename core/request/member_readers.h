// Readers for the members of the command bodies, each reading one value at
// the reader's position. `depth` is the nesting level of the record that
// holds the member.
#pragma once

#include <optional>
#include <string>

#include "core/json/reader.h"
#include "core/request/request.h"

namespace lantor::request {

// A JSON string, else "invalid type: ..., expected a string".
json::ReadStatus read_string_member(json::Reader& r, std::string& out);
// Null (absent) or a string.
json::ReadStatus read_optional_string(json::Reader& r, std::optional<std::string>& out);
// true or false, else "invalid type: ..., expected a boolean".
json::ReadStatus read_bool_member(json::Reader& r, bool& out);
// "debug", "release", "size", or the one-member object form {"size":null}.
json::ReadStatus read_opt_level(json::Reader& r, int depth, OptLevel& out);
// The tagged choices. Errors in their set-aside members come back unplaced.
json::ReadStatus read_target(json::Reader& r, int depth, Target& out);
// `crate_name` is the spec's crate name as read so far, for the Digest form.
json::ReadStatus read_dataset(json::Reader& r, int depth, DatasetRef& out,
                              DatasetForm form = DatasetForm::Tree,
                              const std::optional<std::string>& crate_name = std::nullopt);

}  // namespace lantor::request
