// Pieces of the hashed form of a compile spec that are needed before the
// whole spec is known: an inline dataset's canonical text can be fed to the
// spec hash while it is read, after the part of the form that precedes it.
#pragma once

#include <optional>
#include <string>

namespace lantor {

// The start of the hashed form of a spec that embeds an inline dataset, up
// to where the candles' canonical text goes:
//   {"crate_name":"..","embed_data":{"candles":
// with "crate_name" only when the spec names one.
std::string inline_hashed_form_head(const std::optional<std::string>& crate_name);

}  // namespace lantor
