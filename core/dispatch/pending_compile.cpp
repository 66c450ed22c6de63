// The compile handler has not landed yet: answer with an in-band error.
#include "core/dispatch/handlers.h"

namespace lantor {

HandlerResult handle_compile(std::string_view, CommandState&) {
  return fail("compile is not available in this build yet");
}

}  // namespace lantor
