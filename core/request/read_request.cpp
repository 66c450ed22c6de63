// The command bodies: their tables, the readers of their members, and the
// entry points.
#include <memory>
#include <optional>
#include <utility>

#include "core/base/large_buffer.h"
#include "core/base/short_text.h"
#include "core/json/canonical_stream.h"
#include "core/json/tape_reader.h"
#include "core/request/hashed_form.h"
#include "core/request/request.h"
#include "core/request/tables.h"
#include "core/schema/choice.h"
#include "core/schema/record.h"
#include "core/schema/scalars.h"

namespace lantor {

std::string_view opt_level_name(OptLevel level) {
  return request::kOptLevels[static_cast<std::size_t>(level)].name;
}

std::string_view target_kind_name(Target::Kind kind) {
  return request::kTargetKinds[static_cast<std::size_t>(kind)].name;
}

namespace request {
namespace {

using json::ReadStatus;
using schema::field;
using schema::kOptional;
using schema::kRequired;
using schema::nullable;
using schema::RecordKind;
using schema::TextValue;
namespace value = schema::value;

template <class T>
using TextField = schema::Field<TextValue, T>;
template <class T>
using TextRecord = schema::Record<TextValue, T>;
template <class T>
using NodeField = schema::Field<json::Node, T>;
template <class T>
using NodeRecord = schema::Record<json::Node, T>;

// A failure in the members that the choice starting at `start` set aside:
// placed by the record around the choice, and about the choice.
json::ReadError set_aside_failure(schema::Error e, std::size_t start) {
  json::ReadError out = schema::unplaced({e.kind, std::move(e.message)});
  out.value_at = start;
  return out;
}

// ---- Target -----------------------------------------------------------------

constexpr NodeField<Target> kNoStdFields[] = {field<&Target::mcu, value::kString>("mcu", kRequired)};
constexpr NodeRecord<Target> kNoStd = {"Target::NoStd", RecordKind::Variant, kNoStdFields};
// Wasm and Binary have no fields: other members are ignored, and the array
// form is the tag alone.
constexpr NodeRecord<Target> kNoFields = {"Target", RecordKind::Variant, {}};
constexpr schema::Choice kTarget = {"Target", "kind", kTargetKinds};

json::ReadResult<Target> read_target(TextValue v) {
  const std::size_t start = schema::start_of(v);
  schema::SetAside aside;
  LANTOR_ASSIGN_OR_RETURN(const schema::Tagged content, schema::read_internal_tag(v, kTarget, aside));
  Target out;
  out.kind = static_cast<Target::Kind>(content.index);
  const NodeRecord<Target>& fields = out.kind == Target::Kind::NoStd ? kNoStd : kNoFields;
  if (Status<schema::Error> s = schema::read_variant(content, fields, out); !s.ok())
    return fail(set_aside_failure(std::move(s).error(), start));
  return out;
}
constexpr schema::ValueReader<Target, TextValue> kTargetValue = {kTarget.name, &read_target, nullptr};

// ---- DatasetRef ---------------------------------------------------------------

// "candles" is only checked to be an array: its text is not set aside but
// hashed while it is read, by CandlesDigests.
Status<schema::Error> check_candles(json::Node v, DatasetRef&) {
  if (!v.is_array()) return fail(schema::unexpected(v, "a sequence"));
  return Ok{};
}

constexpr schema::InPlaceReader<DatasetRef, json::Node> kCandlesChecked = {"[any]", &check_candles};
constexpr NodeField<DatasetRef> kCsvFields[] = {field<&DatasetRef::path, value::kString>("path", kRequired)};
constexpr NodeField<DatasetRef> kInlineFields[] = {field<kCandlesChecked>("candles", kRequired)};
constexpr NodeRecord<DatasetRef> kCsv = {"DatasetRef::Csv", RecordKind::Variant, kCsvFields};
constexpr NodeRecord<DatasetRef> kInline = {"DatasetRef::Inline", RecordKind::Variant, kInlineFields};
constexpr schema::Choice kDataset = {"DatasetRef", "kind", kDatasetKinds};

// Hashes an inline dataset's canonical text as it comes: on its own for
// src/candles.json, and after the head of the hashed form for the spec hash.
class CandlesDigests final : public schema::Capture, public json::TextSink {
 public:
  explicit CandlesDigests(const std::optional<std::string>& crate_name) : crate_name_(crate_name) {}

  ReadStatus take(json::Reader& r, int depth) override {
    offset_ = r.offset();
    depth_ = depth;
    LANTOR_TRY(json::CanonicalStreamer(r).stream(depth, *this));
    size_ = r.offset() - offset_;
    return Ok{};
  }

  void write(std::string_view piece) override {
    if (!file_) {
      file_.emplace();
      spec_ = std::make_shared<Sha256>();
      spec_->update(inline_hashed_form_head(crate_name_));
    }
    file_->update(piece);
    spec_->update(piece);
    len_ += piece.size();
  }

  bool taken() const { return file_.has_value(); }

  StreamedCandles finish() {
    StreamedCandles out;
    out.offset = offset_;
    out.size = size_;
    out.depth = depth_;
    out.canonical_len = len_;
    out.canonical_sha256 = file_->hex();  // NOLINT(bugprone-unchecked-optional-access): only once taken()
    out.spec_digest = std::move(spec_);
    out.crate_name = crate_name_;
    return out;
  }

 private:
  std::optional<std::string> crate_name_;
  std::optional<Sha256> file_;
  std::shared_ptr<Sha256> spec_;
  std::uint64_t len_ = 0;
  std::size_t offset_ = 0;
  std::size_t size_ = 0;
  int depth_ = 0;
};

// Null means no dataset. The spec's crate name as read so far begins the
// digest of the spec hash.
ReadStatus read_embed_data(TextValue v, CompileSpec& out) {
  if (schema::is_null(v)) {
    LANTOR_TRY(schema::take_null(v));
    out.embed_data.reset();
    return Ok{};
  }
  const std::size_t start = schema::start_of(v);
  CandlesDigests digests(out.crate_name);
  schema::SetAside aside;
  aside.capture = &digests;
  aside.capture_member = "candles";
  aside.capture_variant = static_cast<std::size_t>(DatasetRef::Kind::Inline);
  aside.capture_position = 0;
  LANTOR_ASSIGN_OR_RETURN(const schema::Tagged content, schema::read_internal_tag(v, kDataset, aside));
  DatasetRef data;
  data.kind = static_cast<DatasetRef::Kind>(content.index);
  const NodeRecord<DatasetRef>& fields = data.kind == DatasetRef::Kind::Csv ? kCsv : kInline;
  if (Status<schema::Error> s = schema::read_variant(content, fields, data); !s.ok())
    return fail(set_aside_failure(std::move(s).error(), start));
  if (data.kind == DatasetRef::Kind::Inline && digests.taken()) data.streamed = digests.finish();
  out.embed_data = std::move(data);
  return Ok{};
}
constexpr auto kOptionalDataset = schema::wrapped<kDataset.name.size() + 1>("", kDataset.name, "?");
constexpr schema::InPlaceReader<CompileSpec, TextValue> kEmbedData = {kOptionalDataset.view(),
                                                                      &read_embed_data};

// ---- OptLevel -----------------------------------------------------------------

// The level named by the string at the position; the error is placed past it.
json::ReadResult<OptLevel> read_level_name(TextValue v) {
  LANTOR_ASSIGN_OR_RETURN(const std::string name, schema::take_string(v));
  for (std::size_t i = 0; i < std::size(kOptLevels); ++i)
    if (same_text(kOptLevels[i].name, name)) return static_cast<OptLevel>(i);
  return fail(schema::error_at(v, schema::unknown_variant(name, kOptLevels)));
}

// "debug", "release", "size", or the one-member object form {"size":null};
// anything else is not a value a level can start with.
json::ReadResult<OptLevel> read_opt_level(TextValue v) {
  json::Reader& r = *v.reader;
  int c = r.peek_ws();
  if (c == '"') return read_level_name(v);
  if (c < 0) return fail(r.peek_error(ErrorKind::Syntax, json::msg::kEofValue));
  if (c != '{') return fail(r.peek_error(ErrorKind::Syntax, json::msg::kExpectedValue));

  LANTOR_TRY(r.open(v.depth));
  const TextValue inner{&r, v.depth + 1};
  c = r.peek_ws();
  if (c < 0) return fail(r.peek_error(ErrorKind::Syntax, json::msg::kEofValue));
  if (c != '"') return fail(schema::unexpected_name(inner, "variant identifier"));
  LANTOR_ASSIGN_OR_RETURN(const OptLevel level, read_level_name(inner));
  LANTOR_TRY(r.colon());
  c = r.peek_ws();
  if (c < 0) return fail(r.peek_error(ErrorKind::Syntax, json::msg::kEofValue));
  if (c != 'n') return fail(schema::unexpected(inner, "unit"));
  LANTOR_TRY(r.read_literal("null"));
  c = r.peek_ws();
  if (c == '}') {
    r.bump();
    return level;
  }
  if (c < 0) return fail(r.error(ErrorKind::Syntax, json::msg::kEofObject));
  return fail(r.error(ErrorKind::Syntax, json::msg::kExpectedValue));
}
constexpr schema::ValueReader<OptLevel, TextValue> kOptLevel = {"OptLevel", &read_opt_level, nullptr};

// ---- The records --------------------------------------------------------------

// The strategy is read onto the spec's own tape, as any value.
ReadStatus read_strategy(TextValue v, CompileSpec& out) {
  return json::read_tape(*v.reader, v.depth, out.strategy);
}
constexpr schema::InPlaceReader<CompileSpec, TextValue> kStrategy = {schema::kAnyType.name, &read_strategy};

constexpr TextField<CompileSpec> kCompileSpecFields[] = {
    field<kStrategy>(kStrategyPath[1], kRequired),
    field<&CompileSpec::target, kTargetValue>("target", kRequired),
    field<&CompileSpec::opt_level, kOptLevel>("opt_level", kOptional),
    field<kEmbedData>("embed_data", kOptional),
    field<&CompileSpec::crate_name, nullable<value::kTextString>>("crate_name", kOptional),
};
constexpr TextRecord<CompileSpec> kCompileSpec = {"CompileSpec", RecordKind::Struct, kCompileSpecFields};

ReadStatus read_spec(TextValue v, CompileReq& out) { return schema::read_record(v, kCompileSpec, out.spec); }
constexpr schema::InPlaceReader<CompileReq, TextValue> kSpec = {kCompileSpec.name, &read_spec};

constexpr TextField<CompileReq> kCompileReqFields[] = {
    field<kSpec>(kStrategyPath[0], kRequired),
    field<&CompileReq::dry_run, value::kTextBool>("dry_run", kOptional),
    field<&CompileReq::out_dir, nullable<value::kTextString>>("out_dir", kOptional),
};
constexpr TextRecord<CompileReq> kCompileReq = {"CompileReq", RecordKind::Struct, kCompileReqFields};

constexpr TextField<BytesReq> kBytesReqFields[] = {
    field<&BytesReq::path, value::kTextString>("path", kRequired)};
constexpr TextRecord<BytesReq> kBytesReq = {"BytesReq", RecordKind::Struct, kBytesReqFields};

// Reads the whole text as one record and nothing after it.
template <class T>
json::ReadResult<T> read_body(std::string_view text, const TextRecord<T>& record) {
  json::Reader r(text);
  T out;
  ReadStatus s = schema::read_record(TextValue{&r, 0}, record, out);
  if (s.ok()) s = r.finish();
  if (!s.ok()) {
    json::ReadError e = std::move(s).error();
    if (e.offset == schema::kUnplaced) e.offset = r.offset();
    return fail(std::move(e));
  }
  return out;
}

// What a request needs of an inline dataset beyond its digests: its text,
// when the project is to be written, or when the spec names its crate after
// the dataset, which the digest of the spec hash could not know of.
ReadStatus keep_what_is_needed(std::string_view text, CompileReq& req) {
  std::optional<DatasetRef>& data = req.spec.embed_data;
  if (!data || !data->streamed) return Ok{};
  if (req.dry_run && data->streamed->crate_name == req.spec.crate_name) return Ok{};
  return keep_candles_text(text, *data);
}

}  // namespace
}  // namespace request

json::ReadResult<CompileReq> read_compile_req(std::string_view text) {
  LANTOR_ASSIGN_OR_RETURN(CompileReq req, request::read_body(text, request::kCompileReq));
  LANTOR_TRY(request::keep_what_is_needed(text, req));
  return req;
}

json::ReadResult<BytesReq> read_bytes_req(std::string_view text) {
  return request::read_body(text, request::kBytesReq);
}

CompileCommand read_compile_command(std::string_view text) {
  CompileCommand out;
  // Only the object form can hold "cmd"; anything else is left to the two
  // passes. So is a text that cannot be a whole object because it does not
  // end in a brace: checking the envelope costs much less than reading a
  // large body only to fail at its end.
  std::size_t last = text.find_last_not_of(" \t\n\r");
  if (last == std::string_view::npos || text[last] != '}') return out;
  json::Reader r(text);
  if (r.peek_ws() != '{') return out;
  // "cmd" is read as a member beside the body's own: it must be the string
  // "compile", once. Any other command is the two passes' to answer; the
  // messages are never shown.
  bool cmd_seen = false;
  auto cmd = [&](std::string_view name, schema::TextMembers& members, CompileReq&) -> json::ReadStatus {
    if (!same_text(name, "cmd")) return members.skip();
    if (cmd_seen) return fail(schema::unplaced(schema::duplicate_field(name)));
    cmd_seen = true;
    return members.read([](schema::TextValue v) -> json::ReadStatus {
      LANTOR_ASSIGN_OR_RETURN(const std::string value, schema::read_string(v));
      if (value != "compile")
        return fail(schema::error_at(v, {ErrorKind::InvalidValue, "not a compile command"}));
      return Ok{};
    });
  };
  CompileReq req;
  json::ReadStatus s = schema::read_record(schema::TextValue{&r, 0}, request::kCompileReq, req, cmd);
  if (s.ok()) s = r.finish();
  if (!s.ok()) {
    out.not_json = s.error().not_json;
    return out;
  }
  if (!cmd_seen || !request::keep_what_is_needed(text, req).ok()) return out;
  out.req = std::move(req);
  return out;
}

json::ReadStatus keep_candles_text(std::string_view command_text, DatasetRef& data) {
  if (!data.streamed) return Ok{};  // nothing was set aside to read again
  const StreamedCandles& streamed = *data.streamed;
  std::string text;
  text.reserve(streamed.canonical_len);
  advise_huge_pages(text.data(), text.capacity());
  json::Reader r(command_text.substr(streamed.offset, streamed.size));
  // The same bytes at the same depth were read without error once already,
  // so this cannot fail; if it did, the error would be reported, never a
  // wrong text.
  LANTOR_TRY(json::CanonicalStreamer(r).read(streamed.depth, text));
  LANTOR_TRY(r.finish());
  data.candles_json = std::move(text);
  data.streamed.reset();
  return Ok{};
}

namespace request {

const std::vector<schema::TypeInfo>& types() {
  using schema::record_info;
  static const std::vector<schema::TypeInfo> listed = {
      record_info(kCompileReq),
      record_info(kCompileSpec),
      schema::choice_info(kTarget),
      record_info(kNoStd),
      schema::enum_info(kOptLevel.type, kOptLevels),
      schema::choice_info(kDataset),
      record_info(kCsv),
      record_info(kInline),
      record_info(kBytesReq),
  };
  return listed;
}

}  // namespace request
}  // namespace lantor
