#include "core/project/search_path.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>

#include "core/base/oserror.h"
#include "core/project/writer.h"

namespace lantor {
namespace {

// What the C library searches when PATH is not set at all.
constexpr std::string_view kDefaultSearchPath = "/bin:/usr/bin";

bool is_executable_file(const std::string& path) {
  if (has_nul(path)) return false;
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::optional<std::string> find_on_search_path(std::string_view name, std::string_view cwd) {
  const char* env = std::getenv("PATH");
  std::string_view dirs = env != nullptr ? std::string_view(env) : kDefaultSearchPath;
  while (true) {
    std::size_t colon = dirs.find(':');
    std::string_view dir = dirs.substr(0, colon);
    // The path the child will start, from its own working directory, and the
    // same file as this process sees it.
    std::string candidate = join_path(dir.empty() ? "." : dir, name);
    std::string here = candidate.front() == '/' ? candidate : join_path(cwd, candidate);
    if (is_executable_file(here)) return candidate;
    if (colon == std::string_view::npos) return std::nullopt;
    dirs.remove_prefix(colon + 1);
  }
}

}  // namespace lantor
