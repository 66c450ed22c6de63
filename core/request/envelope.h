// The command envelope: an object with exactly one string member "cmd" (other
// members are only syntax-checked), or a one-element array holding the name.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lantor {

// The "cmd" string, unescaped, or nothing when the text is not a well-formed
// envelope. Why it is not is never reported.
std::optional<std::string> read_envelope(std::string_view text);

}  // namespace lantor
