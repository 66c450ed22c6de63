// libFuzzer harness over the CSV dataset reader. Every input is the content
// of a dataset file: it is written to a scratch file, read back by the
// reader, and named by a dry-run compile. The harness aborts when
//   - the reader accepts bytes that are not UTF-8 (by a plain decoder here),
//     refuses bytes that are, or gives back other bytes than the file holds;
//   - a refusal is not the error "reading {path}: stream did not contain
//     valid UTF-8" of kind Io;
//   - the dry run's src/candles.csv entry disagrees with the file (digest and
//     length), or its error is not the reader's, behind "io: ".
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/base/sha256.h"
#include "core/dispatch/dispatch.h"
#include "core/project/dataset.h"

namespace {

[[noreturn]] void violation(const char* what, std::string_view detail) {
  std::fprintf(stderr, "property violated: %s\ndetail: %.*s\n", what,
               static_cast<int>(detail.size() > 4000 ? 4000 : detail.size()), detail.data());
  std::abort();
}

// UTF-8 as its definition reads: shortest forms only, no surrogates,
// nothing past U+10FFFF.
bool plain_utf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    std::uint32_t cp = 0;
    if (b < 0x80) {
      ++i;
      continue;
    }
    if ((b & 0xE0) == 0xC0) {
      n = 1;
      cp = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
      n = 2;
      cp = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
      n = 3;
      cp = b & 0x07;
    } else {
      return false;
    }
    if (s.size() - i <= n) return false;
    for (std::size_t k = 1; k <= n; ++k) {
      const auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    static constexpr std::uint32_t kShortest[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kShortest[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n + 1;
  }
  return true;
}

// One scratch file per process (fork-mode jobs each have their own),
// removed when the process ends normally.
class ScratchFile {
 public:
  ScratchFile() {
    const char* dir = std::getenv("TMPDIR");
    path_ = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/lantor_fuzz_csv_" +
            std::to_string(getpid()) + ".csv";
  }
  ~ScratchFile() { std::remove(path_.c_str()); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void write_file(const std::string& path, std::string_view bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) violation("cannot write the scratch file", path);
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())
    violation("cannot write the scratch file", path);
  std::fclose(f);
}

void check_dry_run(const std::string& path, std::string_view bytes, bool valid) {
  const std::string command =
      R"({"cmd":"compile","dry_run":true,"spec":{"strategy":{"symbol":"BTC-USDT","timeframe":"1h",)"
      R"("indicators":{},"entry":{"in_position":false},"exit":{"in_position":true},)"
      R"("sizing":{"type":"fixed_qty","qty":1}},"target":{"kind":"wasm"},)"
      R"("embed_data":{"kind":"csv","path":")" +
      path + R"("}}})";
  lantor::CommandState state;
  const std::string response = lantor::dispatch(command, state);
  if (!valid) {
    if (response != lantor::error_response("io: reading " + path + ": stream did not contain valid UTF-8"))
      violation("dry-run error for a file that is not UTF-8", response);
    return;
  }
  const std::string entry = R"({"path":"src/candles.csv","sha256":")" + lantor::sha256_hex(bytes) +
                            R"(","bytes_len":)" + std::to_string(bytes.size()) + "}";
  if (response.find(entry) == std::string::npos) violation("src/candles.csv entry", response);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  static const ScratchFile scratch;
  const std::string& path = scratch.path();
  write_file(path, bytes);

  const bool valid = plain_utf8(bytes);
  lantor::Result<std::string, lantor::CompileError> read = lantor::read_csv_dataset(AT_FDCWD, path);
  if (read.ok() != valid) violation(valid ? "UTF-8 refused" : "not UTF-8 accepted", bytes);
  if (read.ok() && *read != bytes) violation("bytes read differ from the file", *read);
  if (!read.ok()) {
    const lantor::CompileError& e = read.error();
    if (e.kind != lantor::CompileError::Kind::Io ||
        e.message != "reading " + path + ": stream did not contain valid UTF-8")
      violation("reader error", e.message);
  }
  check_dry_run(path, bytes, valid);
  return 0;
}
