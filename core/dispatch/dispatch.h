// The single entry behind Compiler.command: one command text in, one response
// text out. It never fails and never throws; every outcome is a JSON response.
#pragma once

#include <string>
#include <string_view>

#include "core/dispatch/command_state.h"

namespace lantor {

std::string dispatch(std::string_view command_text, CommandState& state);

// {"ok":false,"error":text}
std::string error_response(std::string_view text);

}  // namespace lantor
