#include "core/describe/description.h"

#include <span>
#include <string_view>
#include <vector>

#include "core/base/versions.h"
#include "core/json/writer.h"
#include "core/project/writer.h"
#include "core/request/request.h"
#include "core/request/tables.h"
#include "core/schema/listing.h"
#include "core/schema/scalars.h"
#include "core/strategy/tables.h"

namespace lantor::describe {

namespace {

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
  w.begin_array();
  for (const schema::ScalarType& s : schema::kScalarTypes) {
    w.begin_object().key("name").string(s.name);
    // "any" takes every JSON type: it names none.
    if (!s.json_type.empty()) w.key("json_type").string(s.json_type);
    if (s.json_type == "integer") w.key("minimum").uint(0).key("maximum").uint(s.maximum);
    w.end_object();
  }
  w.end_array();
}

Status<std::string> write_type(const schema::TypeInfo& t, json::Writer& w) {
  w.begin_object().key("name").string(t.name).key("shape").string(shape_name(t.shape));
  if (t.shape == schema::Shape::Record) {
    w.key("members").begin_array();
    for (const schema::MemberInfo& m : t.members) {
      w.begin_object()
          .key("name")
          .string(m.name)
          .key("type")
          .string(m.type)
          .key("required")
          .boolean(m.required);
      if (!m.required) {
        if (m.default_json.empty())
          return fail("no default can be written for " + std::string(t.name) + "." + std::string(m.name));
        w.key("default").raw(m.default_json);
      }
      w.end_object();
    }
    w.end_array().end_object();
    return Ok{};
  }
  if (!t.tag.empty()) w.key("tag").string(t.tag);
  w.key("variants").begin_array();
  for (const schema::Variant& v : t.variants) {
    w.begin_object().key("name").string(v.name).key("data");
    if (v.data.empty()) {
      w.raw("null");
    } else {
      w.string(v.data);
    }
    w.end_object();
  }
  w.end_array().end_object();
  return Ok{};
}

void write_names(std::span<const schema::Variant> variants, json::Writer& w) {
  w.begin_array();
  for (const schema::Variant& v : variants) w.string(v.name);
  w.end_array();
}

void write_request_choices(json::Writer& w) {
  w.begin_object().key("target_kinds");
  write_names(request::kTargetKinds, w);
  w.key("opt_levels");
  write_names(request::kOptLevels, w);
  w.key("default_opt_level").string(opt_level_name(CompileSpec{}.opt_level));
  w.key("mcus").begin_array();
  for (std::string_view mcu : request::kMcuAllowlist) w.string(mcu);
  w.end_array().key("dataset_kinds");
  write_names(request::kDatasetKinds, w);
  w.key("default_out_dir").string(kDefaultOutDir);
  w.end_object();
}

}  // namespace

Result<std::string> document_description() {
  json::Writer w;
  w.begin_object().key("compiler_version").string(kCompilerVersion).key("scalars");
  write_scalars(w);
  w.key("strategy").begin_array();
  for (const schema::TypeInfo& t : strategy::types()) LANTOR_TRY(write_type(t, w));
  w.end_array().key("request");
  write_request_choices(w);
  w.end_object();
  return w.take();
}

}  // namespace lantor::describe
