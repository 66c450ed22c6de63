#include "core/project/hashing.h"

#include <optional>

#include "core/base/sha256.h"
#include "core/json/canonical.h"
#include "core/request/hashed_form.h"

namespace lantor {

std::string spec_hash(const CompileSpec& spec, std::string_view spec_json, std::string_view candles_json) {
  // The members appear in byte order of their names, as the canonical text
  // sorts them; the small pieces go through a scratch buffer, the large texts
  // straight into the digest.
  Sha256 own;
  Sha256* digest = &own;
  std::optional<Sha256> streamed;
  std::string piece;
  const DatasetRef* data = spec.embed_data ? &*spec.embed_data : nullptr;
  if (data != nullptr && data->kind == DatasetRef::Kind::Inline) {
    if (data->streamed) {
      // Fed up to the end of the candles while they were read; carried on
      // in a copy, so that the request can be built again.
      digest = &streamed.emplace(*data->streamed->spec_digest);
    } else {
      digest->update(inline_hashed_form_head(spec.crate_name));
      digest->update(candles_json);
    }
    piece = R"(,"kind":"inline"},)";
  } else {
    piece = "{";
    if (spec.crate_name) {
      piece += R"("crate_name":)";
      json::append_json_string(piece, *spec.crate_name);
      piece += ',';
    }
    if (data != nullptr) {
      piece += R"("embed_data":{"kind":"csv","path":)";
      json::append_json_string(piece, data->path);
      piece += "},";
    }
  }
  piece += "\"opt_level\":";
  json::append_json_string(piece, opt_level_name(spec.opt_level));
  piece += ",\"strategy\":";
  digest->update(piece);
  digest->update(spec_json);

  piece = R"(,"target":{"kind":)";
  json::append_json_string(piece, target_kind_name(spec.target.kind));
  if (spec.target.kind == Target::Kind::NoStd) {
    piece += ",\"mcu\":";
    json::append_json_string(piece, spec.target.mcu);
  }
  piece += "}}";
  digest->update(piece);
  return digest->hex();
}

std::string project_hash(const std::vector<ManifestFile>& files) {
  // The listing is small (a few lines), so it is built whole and hashed in
  // one go rather than fed to the digest in many tiny pieces.
  std::string listing;
  for (const ManifestFile& file : files) {
    listing += file.path;
    listing += '\n';
    listing += file.sha256;
    listing += '\n';
  }
  return sha256_hex(listing);
}

}  // namespace lantor
