#include "core/schema/value_reader.h"

namespace lantor::schema {

void open_object(json::Writer& out, std::string_view tag, std::string_view variant) {
  out.begin_object();
  if (!tag.empty()) out.key(tag).string(variant);
}

void write_key(json::Writer& out, std::string_view name) { out.key(name); }

void close_object(json::Writer& out) { out.end_object(); }

void open_array(json::Writer& out) { out.begin_array(); }

void close_array(json::Writer& out) { out.end_array(); }

void write_null(json::Writer& out) { out.raw("null"); }

void write_name(std::string_view name, json::Writer& out) { out.string(name); }

}  // namespace lantor::schema
