// The command bodies: what `compile` and `artifact_bytes` carry beside "cmd".
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/base/result.h"
#include "core/json/value.h"

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

struct DatasetRef {
  enum class Kind { Csv, Inline };
  Kind kind = Kind::Csv;
  std::string path;     // Csv: the file to read
  json::Value candles;  // Inline: the array as read
  // Inline, when the request was read with DatasetForm::Text: the canonical
  // text of the array, and `candles` is left an empty array.
  std::optional<std::string> candles_json;
};

struct CompileSpec {
  json::Value strategy;
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

// Read the whole command text as a body. The error is the reader's message
// followed by " at line L column C".
// An inline dataset is read as a tree of values (Tree) or straight into its
// canonical text (Text: much less memory and time for a large dataset, for
// callers that need nothing else of it).
enum class DatasetForm { Tree, Text };
Result<CompileReq> read_compile_req(std::string_view text, DatasetForm form = DatasetForm::Tree);
Result<BytesReq> read_bytes_req(std::string_view text);

// A whole compile command read in one pass, its "cmd" member with the body,
// the inline dataset as canonical text. `req` is set only when the text is an
// object whose one "cmd" member is the string "compile" and whose body reads
// without error: exactly when the envelope check and then read_compile_req
// would both succeed, with the same request. Otherwise nothing is decided,
// except that `not_json` tells that the text broke the JSON grammar, which
// no reading of it survives.
struct CompileCommand {
  std::optional<CompileReq> req;
  bool not_json = false;
};
CompileCommand read_compile_command(std::string_view text);

}  // namespace lantor
