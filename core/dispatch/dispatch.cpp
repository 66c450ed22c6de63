#include "core/dispatch/dispatch.h"

#include <array>
#include <utility>

#include "core/dispatch/handlers.h"
#include "core/json/writer.h"
#include "core/request/envelope.h"

namespace lantor {
namespace {

using Handler = HandlerResult (*)(std::string_view, CommandState&);

constexpr std::array<std::pair<std::string_view, Handler>, 5> kCommands = {{
    {"compile", handle_compile},
    {"artifact_bytes", handle_artifact_bytes},
    {"targets", handle_targets},
    {"version", handle_version},
    {"reset", handle_reset},
}};

constexpr std::string_view kEnvelopeError = "invalid command envelope: expected {\"cmd\":...}";

std::string answer(HandlerResult result) {
  if (!result.ok()) return error_response(result.error());
  return std::move(result).value();
}

}  // namespace

std::string error_response(std::string_view text) {
  json::Writer w;
  w.begin_object().key("ok").boolean(false).key("error").string(text).end_object();
  return w.take();
}

std::string dispatch(std::string_view command_text, CommandState& state) {
  // A compile command is read once, envelope and body together, instead of
  // checking the whole text for the envelope and then reading it again: for
  // a large inline dataset that first pass was a quarter of the work. When
  // the one pass cannot vouch for its answer, the two passes give it.
  CompileCommand one_pass = read_compile_command(command_text);
  if (one_pass.req) return answer(run_compile(std::move(*one_pass.req), state));
  if (one_pass.not_json) return error_response(kEnvelopeError);
  return dispatch_in_two_passes(command_text, state);
}

std::string dispatch_in_two_passes(std::string_view command_text, CommandState& state) {
  std::optional<std::string> cmd = read_envelope(command_text);
  if (!cmd) return error_response(kEnvelopeError);
  for (const auto& [name, handler] : kCommands) {
    if (*cmd != name) continue;
    return answer(handler(command_text, state));
  }
  return error_response("unknown cmd: " + *cmd);
}

}  // namespace lantor
