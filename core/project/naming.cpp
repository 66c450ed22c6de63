#include "core/project/naming.h"

#include <algorithm>
#include <optional>

#include "core/request/tables.h"
#include "core/schema/describe.h"

namespace lantor {
namespace {

constexpr std::string_view kNoSymbolText =
    "no crate_name and the strategy has no string `symbol` to derive one";

bool is_lower(unsigned char c) { return c >= 'a' && c <= 'z'; }
bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
bool is_upper(unsigned char c) { return c >= 'A' && c <= 'Z'; }

}  // namespace

std::string crate_name_from_symbol(std::string_view symbol) {
  std::string name;
  name.reserve(symbol.size());
  for (unsigned char c : symbol) {
    if (is_upper(c)) {
      name += static_cast<char>(c - 'A' + 'a');
    } else if (is_lower(c) || is_digit(c)) {
      name += static_cast<char>(c);
    } else if (c < 0x80 || c >= 0xC0) {
      // ASCII, or the lead byte of a multi-byte character: one "_" per
      // character. Continuation bytes (0x80-0xBF) add nothing.
      name += '_';
    }
  }
  return name;
}

bool is_valid_crate_name(std::string_view name) {
  if (name.empty() || !is_lower(static_cast<unsigned char>(name[0]))) return false;
  return std::all_of(name.begin() + 1, name.end(), [](char ch) {
    auto c = static_cast<unsigned char>(ch);
    return is_lower(c) || is_digit(c) || c == '_';
  });
}

Result<std::string> derive_crate_name(const CompileSpec& spec) {
  std::string candidate;
  if (spec.crate_name) {
    candidate = *spec.crate_name;
  } else {
    const json::Node strategy = spec.strategy.root();
    const std::optional<json::Node> symbol = strategy.is_object() ? strategy.find("symbol") : std::nullopt;
    if (!symbol || !symbol->is_string()) return fail(std::string(kNoSymbolText));
    candidate = crate_name_from_symbol(symbol->as_string());
  }
  if (!is_valid_crate_name(candidate)) {
    return fail("crate name " + schema::quoted(candidate) +
                " is not a valid identifier (^[a-z][a-z0-9_]*$); set `crate_name`");
  }
  return candidate;
}

bool is_allowed_mcu(std::string_view mcu) {
  return std::find(std::begin(request::kMcuAllowlist), std::end(request::kMcuAllowlist), mcu) !=
         std::end(request::kMcuAllowlist);
}

Status<> check_target(const Target& target) {
  if (target.kind != Target::Kind::NoStd || is_allowed_mcu(target.mcu)) return Ok{};
  return fail("mcu " + schema::quoted(target.mcu) + " is not in the allowlist");
}

}  // namespace lantor
