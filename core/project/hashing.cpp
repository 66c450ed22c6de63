#include "core/project/hashing.h"

#include "core/base/sha256.h"
#include "core/json/canonical.h"

namespace lantor {

std::string spec_hash(const CompileSpec& spec, std::string_view spec_json,
                      std::string_view candles_json) {
  // The members appear in byte order of their names, as the canonical text
  // sorts them; the small pieces go through a scratch buffer, the large texts
  // straight into the digest.
  Sha256 digest;
  std::string piece = "{";
  if (spec.crate_name) {
    piece += "\"crate_name\":";
    json::append_json_string(piece, *spec.crate_name);
    piece += ',';
  }
  if (spec.embed_data) {
    const DatasetRef& data = *spec.embed_data;
    if (data.kind == DatasetRef::Kind::Csv) {
      piece += "\"embed_data\":{\"kind\":\"csv\",\"path\":";
      json::append_json_string(piece, data.path);
      piece += "},";
    } else {
      piece += "\"embed_data\":{\"candles\":";
      digest.update(piece);
      digest.update(candles_json);
      piece = ",\"kind\":\"inline\"},";
    }
  }
  piece += "\"opt_level\":";
  json::append_json_string(piece, opt_level_name(spec.opt_level));
  piece += ",\"strategy\":";
  digest.update(piece);
  digest.update(spec_json);

  piece = ",\"target\":{\"kind\":";
  json::append_json_string(piece, target_kind_name(spec.target.kind));
  if (spec.target.kind == Target::Kind::NoStd) {
    piece += ",\"mcu\":";
    json::append_json_string(piece, spec.target.mcu);
  }
  piece += "}}";
  digest.update(piece);
  return digest.hex();
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
