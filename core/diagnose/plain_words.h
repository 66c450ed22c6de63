// Help for a reading's failure in the words of someone who writes strategies
// rather than readers: what the type a message names (`u32`, `f64`,
// `StrategySpec`, the operand's forms) takes, and the variant a misspelt name
// was likely meant to be. The message itself stays as the compile writes it.
#pragma once

#include <optional>
#include <string>

#include "core/json/tape.h"
#include "core/schema/source.h"

namespace lantor::diagnose {

// The help for `e`, a failure to read the strategy whose tape has `root`, or
// none when its message needs no other words.
std::optional<std::string> plain_help(json::Node root, const schema::Error& e);

// For a misspelt variant written as a string, the nearest variant's name as
// the JSON string to put in its place (the finding's suggestion); else none.
std::optional<std::string> variant_suggestion(json::Node root, const schema::Error& e);

}  // namespace lantor::diagnose
