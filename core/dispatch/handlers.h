// The command handlers. Each takes the whole command text and the instance's
// state, and returns the response text or an error text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/base/result.h"
#include "core/dispatch/command_state.h"
#include "core/project/plan.h"
#include "core/request/request.h"

namespace lantor {

using HandlerResult = Result<std::string>;

HandlerResult handle_compile(std::string_view text, CommandState& state);
// The compile command once its request has been read.
HandlerResult run_compile(CompileReq&& req, CommandState& state);
// {"target":..,"path":..,"manifest":{..},"built":..}; "path" only when built.
std::string compile_response(const ProjectPlan& plan, const std::optional<std::string>& path);
HandlerResult handle_artifact_bytes(std::string_view text, CommandState& state);
HandlerResult handle_targets(std::string_view text, CommandState& state);
HandlerResult handle_version(std::string_view text, CommandState& state);
HandlerResult handle_reset(std::string_view text, CommandState& state);

}  // namespace lantor
