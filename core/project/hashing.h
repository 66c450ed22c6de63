// The two digests that identify a build: the spec hash over the compile
// spec's hashed form, and the project hash over the generated files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/project/plan.h"
#include "core/request/request.h"

namespace lantor {

// SHA-256 of the canonical text of the hashed form
//   {"crate_name":..,"embed_data":{..},"opt_level":"..","strategy":..,"target":{..}}
// where "crate_name" is there only when the request gives one and
// "embed_data" only with a dataset ({"kind":"csv","path":..} or
// {"candles":[..],"kind":"inline"}). The canonical texts of the strategy and
// of an inline dataset's candles are passed in already written, and the
// digest is fed piece by piece, so no large text is built or copied twice.
// `candles_json` is used only for an inline dataset, and not when the dataset
// was hashed as it was read (its digest must assume the spec's crate name).
std::string spec_hash(const CompileSpec& spec, std::string_view spec_json, std::string_view candles_json);

// SHA-256 over "path\nsha256\n" for each file, in the order given (which is
// ascending byte order of path in a plan).
std::string project_hash(const std::vector<ManifestFile>& files);

}  // namespace lantor
