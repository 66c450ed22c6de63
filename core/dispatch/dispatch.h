// The single entry behind Compiler.command: one command text in, one response
// text out. It never fails and never throws; every outcome is a JSON response.
#pragma once

#include <string>
#include <string_view>

#include "core/dispatch/command_state.h"

namespace lantor {

std::string dispatch(std::string_view command_text, CommandState& state);

// The same answer by the plain route: the envelope checked over the whole
// text, then the command's handler reading its body. dispatch() takes a
// shorter route for compile commands and must agree with this one byte for
// byte; tests and the fuzzer hold it to that.
std::string dispatch_in_two_passes(std::string_view command_text, CommandState& state);

// {"ok":false,"error":text}
std::string error_response(std::string_view text);

}  // namespace lantor
