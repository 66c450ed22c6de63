#include "core/base/environment.h"

#include <cstdlib>
#include <cstring>
#include <string>

extern char** environ;

namespace lantor {

Environment Environment::snapshot() {
  Environment env;
  env.copied_ = true;
  std::size_t total = 0;
  std::size_t count = 0;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e, ++count) total += std::strlen(*e) + 1;
  env.text_ = std::make_unique<char[]>(total == 0 ? 1 : total);
  env.entries_.reserve(count + 1);
  char* out = env.text_.get();
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t len = std::strlen(environ[i]) + 1;
    std::memcpy(out, environ[i], len);
    env.entries_.push_back(out);
    out += len;
  }
  env.entries_.push_back(nullptr);
  return env;
}

const char* Environment::find(std::string_view name) const {
  if (!copied_) return std::getenv(std::string(name).c_str());
  for (char* entry : entries_) {
    if (entry == nullptr) break;
    if (std::strncmp(entry, name.data(), name.size()) == 0 && entry[name.size()] == '=')
      return entry + name.size() + 1;
  }
  return nullptr;
}

char* const* Environment::entries() const { return copied_ ? entries_.data() : environ; }

}  // namespace lantor
