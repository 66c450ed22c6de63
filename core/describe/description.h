// The documents described for whatever is written about them outside the
// readers: the published JSON Schemas and the reference of the strategy
// document (tools/gen_strategy_schema.py), the choices a compile request
// offers, for the command-line tool, and the checker's codes. All of it comes from the tables the
// readers use, so nothing is restated beside them.
#pragma once

#include <string>

#include "core/base/result.h"

namespace lantor::describe {

// One JSON object:
//   "compiler_version"  the module's version
//   "scalars"           [{"name", "json_type"?, "minimum"?, "maximum"?}]: the
//                       scalar types (schema/scalars.h); "any" has no JSON
//                       type, an integer a range
//   "strategy"          the strategy document's types, the document first,
//                       as strategy::types() lists them: {"name", "shape",
//                       "members": [{"name", "type", "required", "default"?}]}
//                       for a record, {"name", "shape", "tag"?, "variants":
//                       [{"name", "data"}]} for a choice (data null for a
//                       variant without any); types written as listing.h
//                       writes them, shapes "record", "internally_tagged",
//                       "externally_tagged", "untagged"
//   "request"           the compile request's choices: "target_kinds",
//                       "opt_levels", "default_opt_level", "mcus",
//                       "dataset_kinds", "default_out_dir", and
//                       "strategy_path", the members leading from a compile
//                       command to its strategy
//   "codes"             [{"name", "severity"}]: the checker's diagnostic
//                       codes (diagnose/codes.h), "error" or "warning"
// An optional member's "default" is the member of a default-constructed
// record, written as JSON. Fails where one cannot be written.
Result<std::string> document_description();

}  // namespace lantor::describe
