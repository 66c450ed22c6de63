// The artifact_bytes handler has not landed yet: answer with an in-band error.
#include "core/dispatch/handlers.h"

namespace lantor {

HandlerResult handle_artifact_bytes(std::string_view, CommandState&) {
  return fail("artifact_bytes is not available in this build yet");
}

}  // namespace lantor
