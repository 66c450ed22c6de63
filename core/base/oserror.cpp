#include "core/base/oserror.h"

#include <cstring>

namespace lantor {

std::string os_error_text(int errnum) {
  char buf[256];
  // The GNU strerror_r may return a static string instead of filling `buf`;
  // the XSI one fills `buf` and returns an int. Handle both.
  auto r = strerror_r(errnum, buf, sizeof buf);
  const char* msg;
  if constexpr (std::is_same_v<decltype(r), char*>) {
    msg = r;
  } else {
    msg = r == 0 ? buf : "Unknown error";  // NOLINT(modernize-use-nullptr): r is the XSI int here
  }
  std::string text(msg);
  text += " (os error ";
  text += std::to_string(errnum);
  text += ')';
  return text;
}

}  // namespace lantor
