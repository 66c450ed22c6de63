// Target, DatasetRef and OptLevel.
#include <array>
#include <memory>
#include <optional>

#include "core/base/sha256.h"
#include "core/json/describe.h"
#include "core/request/hashed_form.h"
#include "core/request/member_readers.h"
#include "core/request/tagged_choice.h"

namespace lantor::request {
namespace {

using json::ReadStatus;

constexpr std::array<std::string_view, 3> kTargetVariants = {"wasm", "binary", "no_std"};
constexpr std::array<Target::Kind, 3> kTargetKinds = {Target::Kind::Wasm, Target::Kind::Binary,
                                                      Target::Kind::NoStd};
constexpr ChoiceNames kTargetNames = {"internally tagged enum Target", kTargetVariants.data(),
                                      kTargetVariants.size()};

constexpr std::array<std::string_view, 2> kDatasetVariants = {"csv", "inline"};
constexpr ChoiceNames kDatasetNames = {"internally tagged enum DatasetRef", kDatasetVariants.data(),
                                       kDatasetVariants.size()};

constexpr std::array<std::string_view, 3> kOptLevelNames = {"debug", "release", "size"};
constexpr std::array<OptLevel, 3> kOptLevels = {OptLevel::Debug, OptLevel::Release, OptLevel::Size};

bool is_string(const json::Value& v) { return v.is_string(); }
bool is_array(const json::Value& v) { return v.is_array(); }

// The level named by the string at the position; the error is placed past it.
json::ReadResult<OptLevel> read_level_name(json::Reader& r) {
  std::string name;
  LANTOR_TRY(r.read_string(name));
  for (std::size_t i = 0; i < kOptLevelNames.size(); ++i)
    if (kOptLevelNames[i] == name) return kOptLevels[i];
  return fail(r.error(json::unknown_variant(
      name, json::variant_list(kOptLevelNames.data(), kOptLevelNames.size()))));
}

}  // namespace

ReadStatus read_target(json::Reader& r, int depth, Target& out) {
  SetAside rest;
  json::ReadResult<std::size_t> variant = read_choice(r, depth, kTargetNames, rest);
  LANTOR_TRY(variant);
  out.kind = kTargetKinds[*variant];
  if (out.kind != Target::Kind::NoStd) return expect_no_members(rest);
  json::Value mcu;
  LANTOR_TRY(take_member(rest, "mcu", "struct variant Target::NoStd with 1 element", is_string,
                         "a string", mcu));
  out.mcu = std::move(mcu.as_string());
  return Ok{};
}

namespace {

// Hashes an inline dataset's canonical text as it comes: on its own for
// src/candles.json, and after the head of the hashed form for the spec hash.
class CandlesDigests final : public json::TextSink {
 public:
  explicit CandlesDigests(const std::optional<std::string>& crate_name) : crate_name_(crate_name) {}

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

  StreamedCandles finish(const SetAside& rest) {
    StreamedCandles out;
    out.offset = rest.sunk_offset;
    out.size = rest.sunk_size;
    out.depth = rest.sunk_depth;
    out.canonical_len = len_;
    out.canonical_sha256 = file_->hex();
    out.spec_digest = std::move(spec_);
    out.crate_name = crate_name_;
    return out;
  }

 private:
  std::optional<std::string> crate_name_;
  std::optional<Sha256> file_;
  std::shared_ptr<Sha256> spec_;
  std::uint64_t len_ = 0;
};

}  // namespace

ReadStatus read_dataset(json::Reader& r, int depth, DatasetRef& out, DatasetForm form,
                        const std::optional<std::string>& crate_name) {
  SetAside rest;
  std::optional<CandlesDigests> digests;
  if (form != DatasetForm::Tree) rest.canonical_member = "candles";
  if (form == DatasetForm::Digest) rest.sink = &digests.emplace(crate_name);
  json::ReadResult<std::size_t> variant = read_choice(r, depth, kDatasetNames, rest);
  LANTOR_TRY(variant);
  if (*variant == 0) {
    out.kind = DatasetRef::Kind::Csv;
    json::Value path;
    LANTOR_TRY(take_member(rest, "path", "struct variant DatasetRef::Csv with 1 element", is_string,
                           "a string", path));
    out.path = std::move(path.as_string());
    return Ok{};
  }
  out.kind = DatasetRef::Kind::Inline;
  LANTOR_TRY(take_member(rest, "candles", "struct variant DatasetRef::Inline with 1 element",
                         is_array, "a sequence", out.candles));
  if (rest.captured) {
    if (digests)
      out.streamed = digests->finish(rest);
    else
      out.candles_json = std::move(rest.canonical);
  }
  return Ok{};
}

ReadStatus read_opt_level(json::Reader& r, int depth, OptLevel& out) {
  int c = r.peek_ws();
  if (c == '"') {
    json::ReadResult<OptLevel> level = read_level_name(r);
    LANTOR_TRY(level);
    out = *level;
    return Ok{};
  }
  if (c < 0) return fail(r.peek_error(json::msg::kEofValue));
  // Only a string or a one-member object names a level.
  if (c != '{') return fail(r.peek_error(json::msg::kExpectedValue));

  LANTOR_TRY(r.open(depth));
  c = r.peek_ws();
  if (c < 0) return fail(r.peek_error(json::msg::kEofValue));
  if (c != '"') return fail(json::unexpected(r, "variant identifier"));
  json::ReadResult<OptLevel> level = read_level_name(r);
  LANTOR_TRY(level);
  LANTOR_TRY(r.colon());
  c = r.peek_ws();
  if (c < 0) return fail(r.peek_error(json::msg::kEofValue));
  if (c != 'n') return fail(json::unexpected(r, "unit"));
  r.bump();
  LANTOR_TRY(r.read_ident("ull"));
  c = r.peek_ws();
  if (c == '}') {
    r.bump();
    out = *level;
    return Ok{};
  }
  if (c < 0) return fail(r.error(json::msg::kEofObject));
  return fail(r.error(json::msg::kExpectedValue));
}

}  // namespace lantor::request
