// The command bodies: what `compile` and `artifact_bytes` carry beside "cmd".
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/base/result.h"
#include "core/base/sha256.h"
#include "core/json/reader.h"
#include "core/json/tape.h"

namespace lantor {

enum class OptLevel { Debug, Release, Size };

// "debug", "release", "size".
std::string_view opt_level_name(OptLevel level);

struct Target {
  enum class Kind { Wasm, Binary, NoStd };
  Kind kind = Kind::Wasm;
  std::string mcu;  // the target triple; used by NoStd only
};

// "wasm", "binary", "no_std".
std::string_view target_kind_name(Target::Kind kind);

// An inline dataset whose canonical text was hashed while it was read, and
// not kept.
struct StreamedCandles {
  // The array's text in the command, and the levels open around it there,
  // so that it can be read again (keep_candles_text).
  std::size_t offset = 0;
  std::size_t size = 0;
  int depth = 0;
  // Of the canonical text: its length and SHA-256 (src/candles.json).
  std::uint64_t canonical_len = 0;
  std::string canonical_sha256;
  // The spec hash's digest, fed with inline_hashed_form_head(crate_name) and
  // then the canonical text; valid while the spec's crate name is
  // `crate_name`, which is the one read before the dataset.
  std::shared_ptr<Sha256> spec_digest;
  std::optional<std::string> crate_name;
};

struct DatasetRef {
  enum class Kind { Csv, Inline };
  Kind kind = Kind::Csv;
  std::string path;  // Csv: the file to read
  // Inline: the array is never held as values. Its canonical text is hashed
  // as it is read (`streamed`), and kept only when the request needs it
  // (`candles_json`): exactly one of the two is set.
  std::optional<std::string> candles_json;
  std::optional<StreamedCandles> streamed;
};

struct CompileSpec {
  // Read flat: it is only validated, written canonically and hashed.
  json::Tape strategy;
  Target target;
  OptLevel opt_level = OptLevel::Release;
  std::optional<DatasetRef> embed_data;
  std::optional<std::string> crate_name;
};

struct CompileReq {
  CompileSpec spec;
  bool dry_run = false;
  std::optional<std::string> out_dir;
};

struct BytesReq {
  std::string path;
};

// Read the whole command text as a body. The error is placed in the text
// (json::positioned writes it as the response shows it). An inline dataset's
// text is kept when the project is to be written (not a dry run), or when the
// spec names its crate after the dataset, which the digest of the spec hash
// could not know of; otherwise only its digests are.
json::ReadResult<CompileReq> read_compile_req(std::string_view text);
json::ReadResult<BytesReq> read_bytes_req(std::string_view text);

// A whole compile command read in one pass, its "cmd" member with the body,
// the dataset as read_compile_req keeps it. `req` is set only when the text
// is an object whose one "cmd" member is the string "compile" and whose body
// reads without error: exactly when the envelope check and then
// read_compile_req would both succeed, with the same request. Otherwise
// nothing is decided, except that `not_json` tells that the text broke the
// JSON grammar, which no reading of it survives.
struct CompileCommand {
  std::optional<CompileReq> req;
  bool not_json = false;
};
CompileCommand read_compile_command(std::string_view text);

// Reads a streamed inline dataset again from `command_text`, the text it was
// read from, into its canonical text (candles_json), and forgets the digests.
json::ReadStatus keep_candles_text(std::string_view command_text, DatasetRef& data);

}  // namespace lantor
