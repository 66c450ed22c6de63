#include "core/describe/description.h"

#include <span>
#include <string_view>

#include "core/base/versions.h"
#include "core/diagnose/codes.h"
#include "core/json/writer.h"
#include "core/project/writer.h"
#include "core/request/request.h"
#include "core/request/tables.h"
#include "core/schema/listing.h"
#include "core/schema/scalars.h"
#include "core/schema/value_reader.h"
#include "core/strategy/tables.h"

namespace lantor::describe {

namespace {

// The description is written once in a while, so it is written through the
// out-of-line steps of schema/value_reader.h, which keeps its code small.
using schema::close_array;
using schema::close_object;
using schema::open_array;
using schema::open_object;
using schema::write_key;
using schema::write_name;

void text_member(json::Writer& w, std::string_view key, std::string_view value) {
  write_key(w, key);
  write_name(value, w);
}

std::string_view shape_name(schema::Shape shape) {
  switch (shape) {
    case schema::Shape::Record: return "record";
    case schema::Shape::InternallyTagged: return "internally_tagged";
    case schema::Shape::ExternallyTagged: return "externally_tagged";
    case schema::Shape::Untagged: break;
  }
  return "untagged";
}

void write_scalars(json::Writer& w) {
  open_array(w);
  for (const schema::ScalarType& s : schema::kScalarTypes) {
    open_object(w);
    text_member(w, "name", s.name);
    // "any" takes every JSON type: it names none.
    if (!s.json_type.empty()) text_member(w, "json_type", s.json_type);
    if (s.json_type == "integer") w.key("minimum").uint(0).key("maximum").uint(s.maximum);
    close_object(w);
  }
  close_array(w);
}

Status<std::string> write_member(std::string_view type, const schema::MemberInfo& m, json::Writer& w) {
  open_object(w);
  text_member(w, "name", m.name);
  text_member(w, "type", m.type);
  write_key(w, "required");
  schema::write_bool(m.required, w);
  if (!m.required) {
    if (m.default_json.empty())
      return fail("no default can be written for " + std::string(type) + "." + std::string(m.name));
    write_key(w, "default");
    w.raw(m.default_json);
  }
  close_object(w);
  return Ok{};
}

Status<std::string> write_type(const schema::TypeInfo& t, json::Writer& w) {
  open_object(w);
  text_member(w, "name", t.name);
  text_member(w, "shape", shape_name(t.shape));
  if (t.shape == schema::Shape::Record) {
    write_key(w, "members");
    open_array(w);
    for (const schema::MemberInfo& m : t.members) LANTOR_TRY(write_member(t.name, m, w));
  } else {
    if (!t.tag.empty()) text_member(w, "tag", t.tag);
    write_key(w, "variants");
    open_array(w);
    for (const schema::Variant& v : t.variants) {
      open_object(w);
      text_member(w, "name", v.name);
      write_key(w, "data");
      if (v.data.empty()) {
        schema::write_null(w);
      } else {
        write_name(v.data, w);
      }
      close_object(w);
    }
  }
  close_array(w);
  close_object(w);
  return Ok{};
}

void write_names(std::string_view key, std::span<const schema::Variant> variants, json::Writer& w) {
  write_key(w, key);
  open_array(w);
  for (const schema::Variant& v : variants) write_name(v.name, w);
  close_array(w);
}

void write_request_choices(json::Writer& w) {
  open_object(w);
  write_names("target_kinds", request::kTargetKinds, w);
  write_names("opt_levels", request::kOptLevels, w);
  text_member(w, "default_opt_level", opt_level_name(CompileSpec{}.opt_level));
  write_key(w, "mcus");
  open_array(w);
  for (std::string_view mcu : request::kMcuAllowlist) write_name(mcu, w);
  close_array(w);
  write_names("dataset_kinds", request::kDatasetKinds, w);
  text_member(w, "default_out_dir", kDefaultOutDir);
  write_key(w, "strategy_path");
  open_array(w);
  for (std::string_view name : request::kStrategyPath) write_name(name, w);
  close_array(w);
  close_object(w);
}

void write_codes(json::Writer& w) {
  open_array(w);
  for (const diagnose::CodeInfo& c : diagnose::kCodes) {
    open_object(w);
    text_member(w, "name", c.name);
    text_member(w, "severity", c.severity == diagnose::Severity::Error ? "error" : "warning");
    close_object(w);
  }
  close_array(w);
}

}  // namespace

Result<std::string> document_description() {
  json::Writer w;
  open_object(w);
  text_member(w, "compiler_version", kCompilerVersion);
  write_key(w, "scalars");
  write_scalars(w);
  write_key(w, "strategy");
  open_array(w);
  for (const schema::TypeInfo& t : strategy::types()) LANTOR_TRY(write_type(t, w));
  close_array(w);
  write_key(w, "request");
  write_request_choices(w);
  write_key(w, "codes");
  write_codes(w);
  close_object(w);
  return w.take();
}

}  // namespace lantor::describe
