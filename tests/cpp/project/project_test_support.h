// Helpers for the naming, template and builder tests: compile specs read from
// request text, and scratch files for CSV datasets.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "core/request/request.h"

namespace lantor::project_testing {

// A strategy that validates, with the symbol BTC-USDT.
inline constexpr std::string_view kStrategy = R"({"symbol":"BTC-USDT","timeframe":"1h","indicators":{},)"
                                              R"("entry":{"in_position":false},"exit":{"in_position":true},)"
                                              R"("sizing":{"type":"fixed_qty","qty":1}})";

// The compile spec of a request whose "spec" member is `spec_text`.
inline CompileSpec spec_of(std::string_view spec_text) {
  std::string text = "{\"cmd\":\"compile\",\"spec\":";
  text += spec_text;
  text += '}';
  auto req = read_compile_req(text);
  EXPECT_TRUE(req.ok()) << spec_text << ": " << (req.ok() ? "" : req.error().message);
  return req.ok() ? std::move(req).value().spec : CompileSpec{};
}

// A spec with kStrategy, the target object `target` and further members
// `extra` (each starting with a comma, or empty).
inline CompileSpec spec_with(std::string_view target, std::string_view extra = "") {
  std::string text = "{\"strategy\":";
  text += kStrategy;
  text += ",\"target\":";
  text += target;
  text += extra;
  text += '}';
  return spec_of(text);
}

// A fresh directory, removed with its content at the end of the test.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lantor_proj_XXXXXX").string();
    EXPECT_NE(::mkdtemp(pattern.data()), nullptr);
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // Writes `bytes` to `name` inside the directory and returns its path.
  std::string file(std::string_view name, std::string_view bytes) const {
    std::filesystem::path p = path_ / name;
    std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return p.string();
  }
  std::string str() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace lantor::project_testing
