#include "core/project/search_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/base/oserror.h"
#include "core/project/writer.h"

namespace lantor {
namespace {

bool is_executable_file(int dir, const std::string& path) {
  if (has_nul(path)) return false;
  struct stat st;
  return ::fstatat(dir, path.c_str(), &st, 0) == 0 && S_ISREG(st.st_mode) &&
         ::faccessat(dir, path.c_str(), X_OK, 0) == 0;
}

}  // namespace

std::vector<std::string> search_path_candidates(std::string_view name, const Environment& env) {
  if (name.find('/') != std::string_view::npos) return {std::string(name)};
  const char* path = env.find("PATH");
  std::string_view dirs = path != nullptr ? std::string_view(path) : kDefaultSearchPath;
  std::vector<std::string> candidates;
  while (true) {
    std::size_t colon = dirs.find(':');
    std::string_view dir = dirs.substr(0, colon);
    candidates.push_back(join_path(dir.empty() ? "." : dir, name));
    if (colon == std::string_view::npos) return candidates;
    dirs.remove_prefix(colon + 1);
  }
}

std::optional<std::string> find_on_search_path(std::string_view name, int cwd_dir, const Environment& env) {
  for (std::string& candidate : search_path_candidates(name, env)) {
    if (is_executable_file(cwd_dir, candidate)) return std::move(candidate);
  }
  return std::nullopt;
}

}  // namespace lantor
