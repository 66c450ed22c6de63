// artifact_bytes: read a whole file into the instance under a new handle and
// answer with its length and SHA-256 digest.
#include <string>

#include "core/base/file.h"
#include "core/base/oserror.h"
#include "core/base/sha256.h"
#include "core/dispatch/handlers.h"
#include "core/json/writer.h"
#include "core/request/request.h"

namespace lantor {

HandlerResult handle_artifact_bytes(std::string_view text, CommandState& state) {
  json::ReadResult<BytesReq> req = read_bytes_req(text);
  if (!req) return fail("bad artifact_bytes request: " + json::positioned(text, req.error()));
  const std::string& path = req->path;
  if (has_nul(path)) return fail("reading " + path + ": " + std::string(kNulInPathText));

  Result<ByteBuffer, int> bytes = read_whole_file(state.context.dir(), path);
  if (!bytes) return fail("reading " + path + ": " + os_error_text(bytes.error()));

  ByteBuffer& buf = bytes.value();
  std::string digest = sha256_hex(buf.view());
  const std::uint64_t handle = state.next_handle++;
  const std::size_t len = buf.size;
  state.artifacts[handle] = std::move(buf);

  json::Writer w;
  w.begin_object().key("handle").uint(handle).key("len").uint(len).key("sha256").string(digest).end_object();
  return w.take();
}

}  // namespace lantor
