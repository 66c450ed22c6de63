// Texts for failed file and process operations, as they appear inside error
// messages ("No such file or directory (os error 2)").
#pragma once

#include <string>
#include <string_view>

namespace lantor {

// The system's message for `errnum` followed by " (os error N)".
std::string os_error_text(int errnum);

// The text for a path that cannot be handed to the system because it holds a NUL.
inline constexpr std::string_view kNulInPathText = "file name contained an unexpected NUL byte";
// The text for a file read as text whose bytes are not UTF-8.
inline constexpr std::string_view kInvalidUtf8Text = "stream did not contain valid UTF-8";
// The text for a write that transferred nothing.
inline constexpr std::string_view kWriteZeroText = "failed to write whole buffer";

// True when `path` holds a NUL byte, and so cannot name a file.
inline bool has_nul(std::string_view path) { return path.find('\0') != std::string_view::npos; }

}  // namespace lantor
