// libFuzzer harness over the dispatcher. Every input is one command text; the
// harness aborts when a response breaks one of the properties below.
//
// Inputs that would touch the file system are skipped before dispatch:
// readable artifact_bytes commands, and compile commands that are not dry runs
// or that name a CSV dataset. That decision is made with the system's own readers, so
// it agrees with what the handlers would do.
//
// Properties:
//   - every response parses as JSON and is either {"ok":false,"error":"..."}
//     (exactly those two members, in that order) or the success shape of the
//     command that was named;
//   - an unreadable envelope gives the one fixed envelope error, an unknown
//     name gives "unknown cmd: " with the name, and an unreadable body the
//     reader's own error text behind the command's prefix;
//   - a dry-run compile's manifest agrees with an independent computation of
//     its digests: spec_hash over the hashed form of the request's spec,
//     src/spec.json and src/candles.json over the canonical texts, and
//     project_hash over the listed files;
//   - the same text dispatched twice on fresh state gives the same bytes, and
//     the same bytes as the plain route (envelope, then body) gives;
//   - the canonical text of any value the tape reader accepts is a fixed
//     point of reading it again;
//   - the input read as a tape is accepted or rejected as the reference tree
//     reader decides, with the same error, and holds the same value with the
//     canonical text the reference writer makes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "core/base/sha256.h"
#include "core/dispatch/dispatch.h"
#include "core/json/reader.h"
#include "core/json/tape.h"
#include "core/json/tape_reader.h"
#include "core/request/envelope.h"
#include "core/request/request.h"
#include "tests/support/json_reference.h"

namespace {

using lantor::json::Kind;
using lantor::json::Object;
using lantor::json::Value;

[[noreturn]] void violation(const char* what, std::string_view input, std::string_view detail) {
  std::fprintf(stderr, "property violated: %s\ninput (%zu bytes): %.*s\ndetail: %.*s\n", what, input.size(),
               static_cast<int>(input.size() > 4000 ? 4000 : input.size()), input.data(),
               static_cast<int>(detail.size() > 4000 ? 4000 : detail.size()), detail.data());
  std::abort();
}

constexpr std::string_view kEnvelopeError =
    R"({"ok":false,"error":"invalid command envelope: expected {\"cmd\":...}"})";
constexpr std::string_view kVersion = R"({"version":"0.1.2","backtest_dep":"0.1.5"})";
constexpr std::string_view kReset = R"({"ok":true})";
constexpr std::string_view kTargets =
    R"({"targets":["wasm","binary","no_std"],"mcus":["thumbv6m-none-eabi","thumbv7m-none-eabi",)"
    R"("thumbv7em-none-eabi","thumbv7em-none-eabihf","thumbv8m.main-none-eabi",)"
    R"("thumbv8m.main-none-eabihf","riscv32imac-unknown-none-elf"]})";

// True when `o` has exactly the members `names`, in that order.
bool has_members(const Object& o, std::initializer_list<std::string_view> names) {
  if (o.size() != names.size()) return false;
  std::size_t i = 0;
  for (std::string_view n : names) {
    if (o[i++].name != n) return false;
  }
  return true;
}

bool is_hex64(const Value* v) {
  if (v == nullptr || !v->is_string() || v->as_string().size() != 64) return false;
  for (char c : v->as_string()) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

bool is_error_response(const Value& v) {
  return v.is_object() && has_members(v.as_object(), {"ok", "error"}) &&
         v.as_object()[0].value == Value::boolean(false) && v.as_object()[1].value.is_string();
}

// The target object a response shows for `t`.
Value target_value(const lantor::Target& t) {
  Object o;
  o.set("kind", Value::string(std::string(lantor::target_kind_name(t.kind))));
  if (t.kind == lantor::Target::Kind::NoStd) o.set("mcu", Value::string(t.mcu));
  return Value::object(std::move(o));
}

// An inline dataset's candles as the reference reads them from where the
// request found them in `input`.
Value reference_candles(std::string_view input, const lantor::DatasetRef& data) {
  if (!data.streamed) return Value::array({});
  lantor::Result<Value> candles =
      lantor::json::parse_json(input.substr(data.streamed->offset, data.streamed->size));
  if (!candles.ok()) violation("candles the request read do not read", input, candles.error());
  return std::move(candles).value();
}

// The object whose canonical text the spec hash is taken over.
Value hashed_form(const lantor::CompileSpec& spec, std::string_view input) {
  Object o;
  o.set("strategy", lantor::json::value_from_tape(spec.strategy));
  o.set("target", target_value(spec.target));
  o.set("opt_level", Value::string(std::string(lantor::opt_level_name(spec.opt_level))));
  if (spec.embed_data) {
    Object d;
    if (spec.embed_data->kind == lantor::DatasetRef::Kind::Csv) {
      d.set("kind", Value::string("csv"));
      d.set("path", Value::string(spec.embed_data->path));
    } else {
      d.set("kind", Value::string("inline"));
      d.set("candles", reference_candles(input, *spec.embed_data));
    }
    o.set("embed_data", Value::object(std::move(d)));
  }
  if (spec.crate_name) o.set("crate_name", Value::string(*spec.crate_name));
  return Value::object(std::move(o));
}

const Value* file_entry(const Value& files, std::string_view path) {
  for (const Value& f : files.as_array()) {
    if (f.as_object()[0].value.as_string() == path) return &f;
  }
  return nullptr;
}

// A file entry's digest and length agree with `content`.
bool entry_matches(const Value* entry, std::string_view content) {
  if (entry == nullptr) return false;
  const Object& o = entry->as_object();
  return o[1].value.as_string() == lantor::sha256_hex(content) && o[2].value.kind() == Kind::UInt &&
         o[2].value.as_uint() == content.size();
}

// Checks a dry-run compile success response against the request it answers.
void check_dry_run(const Value& v, const lantor::CompileReq& req, std::string_view input,
                   std::string_view response) {
  auto bad = [&](const char* what) { violation(what, input, response); };
  if (!v.is_object() || !has_members(v.as_object(), {"target", "manifest", "built"}))
    bad("dry-run compile members");
  const Object& top = v.as_object();
  const Value expected_target = target_value(req.spec.target);
  if (!(top[0].value == expected_target)) bad("compile target");
  if (!(top[2].value == Value::boolean(false))) bad("dry-run built flag");
  const Value& m = top[1].value;
  if (!m.is_object() || !has_members(m.as_object(), {"compiler_version", "target", "opt_level", "crate_name",
                                                     "spec_hash", "backtest_dep", "files", "project_hash"}))
    bad("manifest members");
  const Object& man = m.as_object();
  if (!(man[0].value == Value::string("0.1.2"))) bad("compiler_version");
  if (!(man[1].value == expected_target)) bad("manifest target");
  if (!(man[2].value == Value::string(std::string(lantor::opt_level_name(req.spec.opt_level)))))
    bad("opt_level");
  if (!man[3].value.is_string() || man[3].value.as_string().empty()) bad("crate_name");
  if (req.spec.crate_name && man[3].value.as_string() != *req.spec.crate_name)
    bad("given crate_name not used");
  if (!is_hex64(&man[4].value)) bad("spec_hash form");
  if (man[4].value.as_string() !=
      lantor::sha256_hex(lantor::json::canonical_json(hashed_form(req.spec, input))))
    bad("spec_hash value");
  if (!(man[5].value == Value::string("0.1.5"))) bad("backtest_dep");
  if (!man[6].value.is_array() || man[6].value.as_array().empty()) bad("files");
  if (!is_hex64(&man[7].value)) bad("project_hash form");

  std::string listing;
  const std::string* previous = nullptr;
  for (const Value& f : man[6].value.as_array()) {
    if (!f.is_object() || !has_members(f.as_object(), {"path", "sha256", "bytes_len"}))
      bad("file entry members");
    const Object& fo = f.as_object();
    if (!fo[0].value.is_string() || !is_hex64(&fo[1].value) || fo[2].value.kind() != Kind::UInt)
      bad("file entry types");
    const std::string& path = fo[0].value.as_string();
    if (previous != nullptr && !(*previous < path)) bad("files not in ascending byte order");
    previous = &path;
    listing += path;
    listing += '\n';
    listing += fo[1].value.as_string();
    listing += '\n';
  }
  if (man[7].value.as_string() != lantor::sha256_hex(listing)) bad("project_hash value");

  const Value& files = man[6].value;
  // Through the value tree, not the text the tape kept from its reading.
  if (!entry_matches(file_entry(files, "src/spec.json"),
                     lantor::json::canonical_json(lantor::json::value_from_tape(req.spec.strategy))))
    bad("src/spec.json digest");
  const Value* candles = file_entry(files, "src/candles.json");
  if (req.spec.embed_data) {
    if (!entry_matches(candles, lantor::json::canonical_json(reference_candles(input, *req.spec.embed_data))))
      bad("src/candles.json digest");
  } else if (candles != nullptr) {
    bad("src/candles.json without a dataset");
  }
}

// The canonical text of an accepted value is a fixed point.
void check_canonical_fixed_point(std::string_view input) {
  lantor::json::Reader first_reader(input);
  lantor::json::Tape first;
  if (!lantor::json::read_tape(first_reader, 0, first).ok()) return;
  const std::string& c1 = first.canonical_text();
  lantor::json::Reader second_reader(c1);
  lantor::json::Tape second;
  lantor::json::ReadStatus again = lantor::json::read_tape(second_reader, 0, second);
  if (!again.ok()) violation("canonical text does not read", input, c1 + " -> " + again.error().message);
  if (c1 != second.canonical_text())
    violation("canonical text is not a fixed point", input, c1 + " vs " + second.canonical_text());
}

// read_tape against the reference reader on the whole input.
void check_tape_agrees(std::string_view input) {
  lantor::json::Reader tree_reader(input);
  lantor::json::ReadResult<Value> tree = lantor::json::read_value(tree_reader, 0);
  lantor::json::Reader tape_reader(input);
  lantor::json::Tape tape;
  lantor::json::ReadStatus flat = lantor::json::read_tape(tape_reader, 0, tape);
  if (tree.ok() != flat.ok()) violation("tape and tree disagree on acceptance", input, "");
  if (!tree.ok()) {
    if (tree.error().message != flat.error().message || tree.error().offset != flat.error().offset ||
        tree.error().not_json != flat.error().not_json)
      violation("tape and tree errors differ", input, flat.error().message);
    return;
  }
  if (tree_reader.offset() != tape_reader.offset()) violation("tape and tree end apart", input, "");
  if (!(tape == *tree)) violation("tape and tree values differ", input, "");
  if (tape.canonical_text() != lantor::json::canonical_json(*tree))
    violation("tape and tree canonical texts differ", input, tape.canonical_text());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  check_canonical_fixed_point(input);
  check_tape_agrees(input);

  // Decide, with the system's own readers, whether dispatch could touch a file.
  // A body that fails to read is answered with the reader's own text.
  const std::optional<std::string> cmd = lantor::read_envelope(input);
  std::optional<lantor::CompileReq> dry_run;
  std::optional<std::string> body_error;
  if (cmd && *cmd == "artifact_bytes") {
    lantor::json::ReadResult<lantor::BytesReq> req = lantor::read_bytes_req(input);
    if (req) return 0;
    body_error = "bad artifact_bytes request: " + lantor::json::positioned(input, req.error());
  }
  if (cmd && *cmd == "compile") {
    lantor::json::ReadResult<lantor::CompileReq> req = lantor::read_compile_req(input);
    if (req) {
      if (!req->dry_run) return 0;
      if (req->spec.embed_data && req->spec.embed_data->kind == lantor::DatasetRef::Kind::Csv) return 0;
      dry_run = std::move(req).value();
    } else {
      body_error = "bad compile request: " + lantor::json::positioned(input, req.error());
    }
  }

  lantor::CommandState state;
  const std::string response = lantor::dispatch(input, state);
  lantor::CommandState fresh;
  if (lantor::dispatch(input, fresh) != response) violation("dispatch is not deterministic", input, response);
  lantor::CommandState plain;
  if (lantor::dispatch_in_two_passes(input, plain) != response)
    violation("the one-pass compile disagrees with the two passes", input, response);

  lantor::Result<Value> parsed = lantor::json::parse_json(response);
  if (!parsed) violation("response is not JSON", input, response + " -> " + parsed.error());
  const Value& v = *parsed;
  // The response writer is compact and already canonical in its spelling;
  // members are in the fixed orders, which are checked below.
  if (!cmd) {
    if (response != kEnvelopeError) violation("envelope error text", input, response);
    return 0;
  }
  if (body_error) {
    if (response != lantor::error_response(*body_error)) violation("body error text", input, response);
    if (!is_error_response(v) || v.as_object()[1].value.as_string() != *body_error)
      violation("body error does not read back", input, response);
    return 0;
  }
  if (is_error_response(v)) {
    const std::string& text = v.as_object()[1].value.as_string();
    const bool known = *cmd == "compile" || *cmd == "targets" || *cmd == "version" || *cmd == "reset";
    if (!known && text != "unknown cmd: " + *cmd) violation("unknown cmd text", input, response);
    if (*cmd == "version" || *cmd == "targets" || *cmd == "reset")
      violation("bodiless command failed", input, response);
    if (*cmd == "compile" && !(text.starts_with("bad compile request: ") || text.starts_with("bad spec: ") ||
                               text.starts_with("bad target: ")))
      violation("compile error prefix", input, response);
    if (*cmd == "compile" && dry_run && text.starts_with("bad compile request: "))
      violation("request read twice with different outcomes", input, response);
    return 0;
  }
  if (*cmd == "version") {
    if (response != kVersion) violation("version response", input, response);
  } else if (*cmd == "reset") {
    if (response != kReset) violation("reset response", input, response);
  } else if (*cmd == "targets") {
    if (response != kTargets) violation("targets response", input, response);
  } else if (*cmd == "compile") {
    if (!dry_run) violation("compile succeeded on an unreadable request", input, response);
    check_dry_run(v, *dry_run, input, response);
  } else {
    violation("unknown command answered with success", input, response);
  }
  if (!state.artifacts.empty() || state.next_handle != 0) violation("state changed", input, response);
  return 0;
}
