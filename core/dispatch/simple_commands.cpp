// The commands without a body: version, reset and targets.
#include "core/base/versions.h"
#include "core/dispatch/handlers.h"
#include "core/json/writer.h"
#include "core/request/tables.h"

namespace lantor {

HandlerResult handle_version(std::string_view, CommandState&) {
  json::Writer w;
  w.begin_object()
      .key("version")
      .string(kCompilerVersion)
      .key("backtest_dep")
      .string(kBacktestDep)
      .end_object();
  return w.take();
}

HandlerResult handle_reset(std::string_view, CommandState& state) {
  state.artifacts.clear();
  state.next_handle = 0;
  return std::string("{\"ok\":true}");
}

HandlerResult handle_targets(std::string_view, CommandState&) {
  json::Writer w;
  w.begin_object().key("targets").begin_array();
  for (const schema::Variant& kind : request::kTargetKinds) w.string(kind.name);
  w.end_array().key("mcus").begin_array();
  for (std::string_view mcu : request::kMcuAllowlist) w.string(mcu);
  w.end_array().end_object();
  return w.take();
}

}  // namespace lantor
