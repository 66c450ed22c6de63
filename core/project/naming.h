// The generated crate's name, and whether a build target is acceptable.
#pragma once

#include <string>
#include <string_view>

#include "core/base/result.h"
#include "core/request/request.h"

namespace lantor {

// The name derived from a symbol, one character per character of the symbol:
// ASCII upper-case letters lowered, ASCII lower-case letters and digits kept,
// everything else (non-ASCII characters whatever their length included)
// turned into "_". The result is not checked.
std::string crate_name_from_symbol(std::string_view symbol);

// True for a non-empty name matching ^[a-z][a-z0-9_]*$.
bool is_valid_crate_name(std::string_view name);

// The given crate name verbatim, or the one derived from the strategy's string
// member "symbol"; then checked. The error is the message only (the builder
// reports it as a bad spec).
Result<std::string> derive_crate_name(const CompileSpec& spec);

// True when `mcu` is one of the allow-listed triples, compared byte for byte.
bool is_allowed_mcu(std::string_view mcu);

// Wasm and Binary always pass; NoStd only with an allow-listed triple. The
// error is the message only (the builder reports it as a bad target).
Status<> check_target(const Target& target);

}  // namespace lantor
