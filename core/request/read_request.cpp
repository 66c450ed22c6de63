// The field tables of the command bodies and the two entry points.
#include <array>
#include <stdexcept>

#include "core/base/large_buffer.h"
#include "core/json/canonical_stream.h"
#include "core/json/tape_reader.h"
#include "core/request/member_readers.h"
#include "core/request/record.h"
#include "core/request/request.h"

namespace lantor {
namespace {

using json::ReadStatus;
using request::Field;
using request::RecordNames;

constexpr RecordNames kCompileSpecNames = {"struct CompileSpec", "struct CompileSpec with 5 elements"};
constexpr RecordNames kCompileReqNames = {"struct CompileReq", "struct CompileReq with 3 elements"};
// Never shown: every error of the one-pass read is answered by the two passes.
constexpr RecordNames kCompileCommandNames = {"compile command", "compile command"};
constexpr RecordNames kBytesReqNames = {"struct BytesReq", "struct BytesReq with 1 element"};

// The tables come in three forms that differ only in how an inline dataset is
// read (DatasetForm).
template <DatasetForm kForm>
const std::array<Field<CompileSpec>, 5> kCompileSpecFields = {{
    {"strategy", true,
     [](json::Reader& r, int depth, CompileSpec& out) {
       return json::read_tape(r, depth, out.strategy);
     }},
    {"target", true,
     [](json::Reader& r, int depth, CompileSpec& out) {
       return request::read_target(r, depth, out.target);
     }},
    {"opt_level", false,
     [](json::Reader& r, int depth, CompileSpec& out) {
       return request::read_opt_level(r, depth, out.opt_level);
     }},
    {"embed_data", false,
     [](json::Reader& r, int depth, CompileSpec& out) -> ReadStatus {
       // Null means no dataset.
       if (r.peek_ws() == 'n') {
         r.bump();
         LANTOR_TRY(r.read_ident("ull"));
         out.embed_data.reset();
         return Ok{};
       }
       DatasetRef data;
       LANTOR_TRY(request::read_dataset(r, depth, data, kForm, out.crate_name));
       out.embed_data = std::move(data);
       return Ok{};
     }},
    {"crate_name", false,
     [](json::Reader& r, int, CompileSpec& out) {
       return request::read_optional_string(r, out.crate_name);
     }},
}};

template <DatasetForm kForm>
const std::array<Field<CompileReq>, 3> kCompileReqFields = {{
    {"spec", true,
     [](json::Reader& r, int depth, CompileReq& out) {
       return request::read_record(r, depth, kCompileSpecNames, kCompileSpecFields<kForm>,
                                   out.spec);
     }},
    {"dry_run", false,
     [](json::Reader& r, int, CompileReq& out) { return request::read_bool_member(r, out.dry_run); }},
    {"out_dir", false,
     [](json::Reader& r, int, CompileReq& out) {
       return request::read_optional_string(r, out.out_dir);
     }},
}};

// The compile command whole: "cmd" must be the string "compile", and the
// other members are those of CompileReq.
struct CompileCommandBody {
  CompileReq req;
  bool cmd_seen = false;
};

template <std::size_t I>
ReadStatus read_req_member(json::Reader& r, int depth, CompileCommandBody& out) {
  return kCompileReqFields<DatasetForm::Digest>[I].read(r, depth, out.req);
}

constexpr std::string_view kNotCompile = "not a compile command";

const std::array<Field<CompileCommandBody>, 4> kCompileCommandFields = {{
    {"cmd", false,
     [](json::Reader& r, int, CompileCommandBody& out) -> ReadStatus {
       std::string cmd;
       LANTOR_TRY(request::read_string_member(r, cmd));
       // Any other command is the two-pass path's to answer; the message is
       // never shown.
       if (cmd != "compile") return fail(r.error(kNotCompile));
       out.cmd_seen = true;
       return Ok{};
     }},
    {"spec", true, read_req_member<0>},
    {"dry_run", false, read_req_member<1>},
    {"out_dir", false, read_req_member<2>},
}};

const std::array<Field<BytesReq>, 1> kBytesReqFields = {{
    {"path", true,
     [](json::Reader& r, int, BytesReq& out) { return request::read_string_member(r, out.path); }},
}};

// Reads the whole text as one record and nothing after it.
template <class T, std::size_t N>
Result<T> read_body(std::string_view text, const RecordNames& names,
                    const std::array<Field<T>, N>& fields) {
  json::Reader r(text);
  T out;
  ReadStatus s = request::read_record(r, 0, names, fields, out);
  if (s) s = r.finish();
  if (!s) {
    json::ReadError e = std::move(s).error();
    if (e.offset == request::kUnplaced) e.offset = r.offset();
    return fail(json::positioned(text, e));
  }
  return out;
}

}  // namespace

Result<CompileReq> read_compile_req(std::string_view text, DatasetForm form) {
  if (form == DatasetForm::Text)
    return read_body(text, kCompileReqNames, kCompileReqFields<DatasetForm::Text>);
  return read_body(text, kCompileReqNames, kCompileReqFields<DatasetForm::Tree>);
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
  CompileCommandBody body;
  ReadStatus s = request::read_record(r, 0, kCompileCommandNames, kCompileCommandFields, body);
  if (s) s = r.finish();
  if (!s) {
    out.not_json = s.error().not_json;
    return out;
  }
  if (!body.cmd_seen) return out;
  CompileReq& req = body.req;
  if (req.spec.embed_data && req.spec.embed_data->streamed) {
    // The text is needed after all when the project is to be written, and
    // the spec hash's digest is of no use when the crate was named after the
    // dataset.
    const StreamedCandles& streamed = *req.spec.embed_data->streamed;
    if (!req.dry_run || streamed.crate_name != req.spec.crate_name)
      keep_candles_text(text, *req.spec.embed_data);
  }
  out.req = std::move(req);
  return out;
}

void keep_candles_text(std::string_view command_text, DatasetRef& data) {
  const StreamedCandles& streamed = *data.streamed;
  std::string text;
  text.reserve(streamed.canonical_len);
  advise_huge_pages(text.data(), text.capacity());
  json::Reader r(command_text.substr(streamed.offset, streamed.size));
  // The same bytes at the same depth were read without error once already.
  if (!json::CanonicalStreamer(r).read(streamed.depth, text) || !r.finish())
    throw std::logic_error("an inline dataset read once could not be read again");
  data.candles_json = std::move(text);
  data.streamed.reset();
}

Result<BytesReq> read_bytes_req(std::string_view text) {
  return read_body(text, kBytesReqNames, kBytesReqFields);
}

}  // namespace lantor
