// The whole content of a file, for tests that compare or feed file texts.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace lantor::testing {

inline std::string read_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace lantor::testing
